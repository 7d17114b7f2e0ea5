// "http-ldap.ini" in the data folder: the directory the HTTP and SOCKS
// proxies check their users against. The LDAP settings page writes it and
// reads it back, the engine reads it at start. Lines of "key=value" in
// CP932; a key is matched at the start of a line without regard to case,
// its "=" included, so no key is the start of another ("accountctl=" and
// "accountctlcode="). Each reader keeps its own value for a missing line.
#pragma once

#include <array>
#include <cstddef>

namespace common {
namespace ldap_ini {

inline constexpr const char* kFileName = "http-ldap.ini";
// The longest line read whole, its line end included.
inline constexpr size_t kLineLimit = 1023;

inline constexpr const char* kServer = "server=";
inline constexpr const char* kPort = "port=";
// The account and password the page searches the directory with.
inline constexpr const char* kId = "id=";
inline constexpr const char* kPassword = "pw=";
inline constexpr const char* kGroup = "group=";
inline constexpr const char* kAccountControl = "accountctl=";
inline constexpr const char* kAccountControlCode = "accountctlcode=";
inline constexpr const char* kObjectClass = "objectclass=";
inline constexpr const char* kSchemaRid = "schemarid=";
inline constexpr const char* kSchemaRpw = "schemarpw=";
// The attribute that forms a user's bind name, and the name's suffix.
inline constexpr const char* kSchemaRdn = "schemardn=";
inline constexpr const char* kSchemaDc = "schemadc=";
inline constexpr const char* kSchemaFilter = "schemafilter=";
inline constexpr const char* kSchemaHome = "schemahome=";
inline constexpr const char* kSchemaName = "schemaname=";
inline constexpr const char* kSchemaMember = "schemamember=";
// The engine's bind attempts and its pause after a failure: the page never
// writes them, an administrator may add them.
inline constexpr const char* kRetryTime = "retrytime=";
inline constexpr const char* kRetryMsec = "retrymsec=";

inline constexpr std::array kAllKeys = {
    kServer,     kPort,       kId,        kPassword,     kGroup,      kAccountControl, kAccountControlCode,
    kObjectClass, kSchemaRid, kSchemaRpw, kSchemaRdn,    kSchemaDc,   kSchemaFilter,   kSchemaHome,
    kSchemaName, kSchemaMember, kRetryTime, kRetryMsec,
};

}  // namespace ldap_ini
}  // namespace common
