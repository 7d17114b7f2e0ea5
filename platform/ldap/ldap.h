// A directory connection for simple binds, on OpenLDAP's client library.
// Result codes keep the numbering that callers test for: the protocol's
// own result codes as they are, and the client-side failures (server
// down, time-out, connect error, ...) as 0x51 and upward.
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

struct ldap;  // OpenLDAP's connection handle (LDAP)

namespace platform {

constexpr int kLdapSuccess = 0x00;
constexpr int kLdapInvalidCredentials = 0x31;
constexpr int kLdapUnavailable = 0x34;
constexpr int kLdapUnwillingToPerform = 0x35;
constexpr int kLdapServerDown = 0x51;
constexpr int kLdapLocalError = 0x52;
constexpr int kLdapTimeout = 0x55;
constexpr int kLdapParamError = 0x59;
constexpr int kLdapConnectError = 0x5b;

// Turns an OpenLDAP result code into the numbering above.
int MapLdapResult(int openldapCode);

struct LdapTimeouts {
    int connectMs = 5000;     // establishing the TCP connection
    int operationMs = 10000;  // waiting for the reply of one operation
};

class LdapConnection {
public:
    // Prepares a plain (no TLS) connection to host:port; the TCP
    // connection itself is made by the first operation. Null on failure,
    // with the mapped code in *error. Host names longer than DNS allows
    // are refused.
    static std::unique_ptr<LdapConnection> Open(const std::string& host, int port, int* error);
    // Unbinds and releases the connection.
    ~LdapConnection();
    LdapConnection(const LdapConnection&) = delete;
    LdapConnection& operator=(const LdapConnection&) = delete;

    // Protocol version 3 and the two time-outs; returns the mapped code.
    int SetOptions(const LdapTimeouts& timeouts);

    // Simple bind as dn with password; the password is sent whole (its
    // length counted, not cut at a NUL). Returns the mapped result code.
    int SimpleBind(const std::string& dn, const std::string& password);

    // One entry of a search: its DN and each attribute with its values, in
    // the order the directory sent them.
    struct Entry {
        std::string dn;
        std::vector<std::pair<std::string, std::vector<std::string>>> attributes;
    };
    // Subtree search under base with filter, every attribute with its
    // values, at most maxEntries entries (the rest is not asked for).
    // Returns the mapped result code; entries are filled on success.
    int SearchSubtree(const std::string& base, const std::string& filter, int maxEntries,
                      std::vector<Entry>& entries);

    // The library handle, for searches on a bound connection.
    ::ldap* native() const { return ld_; }

private:
    explicit LdapConnection(::ldap* ld) : ld_(ld) {}
    ::ldap* ld_;
};

}  // namespace platform
