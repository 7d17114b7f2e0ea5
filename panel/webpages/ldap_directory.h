// The directory seen from the control panel: the LDAP settings every page
// shares while the panel runs, the bind that opens a connection, and the
// users the user list pages show in LDAP mode.
#pragma once

#include <QString>
#include <memory>
#include <string>
#include <vector>

#include "panel/webpages/ldap_settings_file.h"
#include "platform/ldap/ldap.h"

namespace panel {

// The LDAP page's fields as it shows them, edits included, saved or not;
// empty texts and zero numbers until the page (or a user list page) has
// filled it.
LdapFields& SharedLdapSettings();
// True once the file was read into SharedLdapSettings (or the LDAP page
// edited it).
bool& SharedLdapSettingsLoaded();
// Set by every edit of the LDAP page; a user list page that reloads its
// list clears it.
bool& LdapSettingsChanged();

// Fills SharedLdapSettings as the LDAP page would show it (its defaults,
// then "http-ldap.ini" of the data folder) when nothing has filled it yet.
void EnsureSharedLdapSettings();

// Opens a plain connection to host:port (an empty host is this machine),
// protocol version 3, and binds simply as id with pw (an empty text is
// sent as none). Null when the directory can't be reached, refuses the
// options or the bind; the reason goes to standard output. The domain is
// accepted for the callers' sake: only the simple bind is offered here.
std::unique_ptr<platform::LdapConnection> TestLdapLogin(const std::string& host, uint32_t port,
                                                        const std::string& id, const std::string& domain,
                                                        const std::string& pw);

struct DirectoryUser {
    QString name;
    QString id;
    QString password;
};

// The users under the settings' base DN that match their filter and have
// an ID value; empty when the directory can't be reached or searched.
std::vector<DirectoryUser> LoadDirectoryUsers(const LdapFields& settings);

}  // namespace panel
