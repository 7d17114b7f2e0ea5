// "http-ldap.ini" (common/ldap_ini.h) as the LDAP page writes and reads
// it: sixteen "key=value" lines in CP932 with CR LF.
#pragma once

#include <QString>
#include <cstdint>
#include <string>
#include <vector>

#include "common/ldap_ini.h"

namespace panel {

struct LdapFields {
    QString server;
    uint32_t port = 389;
    QString id = QStringLiteral("administrator");
    QString pw;
    QString group;
    QString accountctl;
    uint32_t accountctlcode = 66080;
    QString objectclass = QStringLiteral("user");
    QString schemarid = QStringLiteral("samaccountname");
    QString schemarpw = QStringLiteral("userpassword");
    QString schemardn = QStringLiteral("cn");
    QString schemadc = QStringLiteral("dc=xxxx,dc=jp");
    QString schemafilter = QStringLiteral(
        "(&(objectCategory=person)(objectClass=user)(memberof=cn=quorvagroup,cn=users,dc=xxxx,dc=jp))");
    QString schemahome = QStringLiteral("homedirectory");
    QString schemaname = QStringLiteral("displayname");
    QString schemamember = QStringLiteral("member");
};

// One line of the file: its key with "=", and the field it holds (a text
// or one of the two numbers), in the order the lines are written.
struct LdapKey {
    const char* key;
    QString LdapFields::*text;
    uint32_t LdapFields::*number;
};
const std::vector<LdapKey>& LdapKeys();

// The file's bytes: the sixteen lines in order.
std::string FormatLdapSettings(const LdapFields& fields);

// Reads the file into `fields` key by key (other keys and comment lines
// are passed over, a later key wins). False when the file cannot be
// opened: the fields keep their values.
bool ReadLdapSettingsFile(const std::string& path, LdapFields& fields);

}  // namespace panel
