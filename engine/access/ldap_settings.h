// The directory that proxy users are checked against with -a=<n> (n not
// 0): "http-ldap.ini" in the data folder, read once at start-up.
#pragma once

#include <string>

#include "platform/ldap/ldap.h"

namespace engine {

struct LdapSettings {
    std::string server;          // "server=": empty means "localhost"
    long port = 389;             // "port="
    std::string id;              // "id=", "pw=": the settings pages' account,
    std::string pw;              //   not used for the proxy checks
    std::string schemaRdn = "cn";  // "schemardn=": attribute that forms the bind DN
    std::string schemaDc;        // "schemadc=": DN suffix after the user
    std::string schemaFilter;    // "schemafilter=", "schemahome=", "schemaname=",
    std::string schemaHome;      // "schemamember=": the settings pages' search,
    std::string schemaName;      //   not used for the proxy checks
    std::string schemaMember;
    long retryTime = 10;         // "retrytime=": bind attempts
    long retryMsec = 6000;       // "retrymsec=": pause after a retryable failure
    // Not in the file: how long one connect and one bind may take.
    platform::LdapTimeouts timeouts;
};

// The defaults, overridden by the file at path when the path is not empty
// and the file exists. Keys are matched at the start of a line without
// regard to case; a later line with the same key wins; other keys are
// ignored.
LdapSettings ReadLdapSettings(const std::string& path);

// The engine's record: filled by start-up before any worker runs, read
// only afterwards.
LdapSettings& ProcessLdapSettings();

}  // namespace engine
