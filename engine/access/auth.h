// Proxy authentication (option -a): the local user list "<p>-auth.ini"
// (-a or -a=0) and a simple bind to an LDAP directory (-a=<other>).
// HTTP clients send "Proxy-Authorization: Basic <token>"; SOCKS 5 clients
// send the user and password of their sub-negotiation, which the SOCKS
// code joins as "<user>:<password>".
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/access/ldap_settings.h"
#include "platform/ldap/ldap.h"

namespace engine {

// What the worker needs of a check.
struct ProxyAuthResult {
    bool passed = false;
    // ProxyUserName: the user of the credentials presented (also when the
    // check failed), for the word-filter rule set and the access log.
    std::string userName;
};

// The tokens of the "Proxy-Authorization: Basic " lines (prefix without
// regard to case) of a request, in order. The search ends with the head:
// lines of the request body are never taken for credentials.
std::vector<std::string> FindProxyAuthorizationTokens(std::string_view request);

// Local user list. A line of the list is "<id>:<password>,<name>"; the
// part before the first comma is compared, the file is read at every
// check, a missing file fails every check.
// HTTP: the token must equal the Base64 text of a line's id and password.
ProxyAuthResult ComperTokenB64(int clientSocket, std::string_view token, const std::string& userFile);
// SOCKS 5: "<user>:<password>" must equal a line's id and password.
bool ComperToken(int clientSocket, std::string_view credentials, const std::string& userFile);

// An LDAP logon, split from "<user>[@|%<domain>]:<password>".
struct LdapLogonRequest {
    std::string server;  // the "server=" setting, or "localhost"
    long port = 389;
    std::string domain;  // after the first "@" (else "%") of the user part; kept, not bound
    std::string user;
    std::string password;
    bool hasPassword = false;  // the credentials held a colon
};

// The password is the text after the last colon, so a user part keeps any
// earlier colons.
LdapLogonRequest SplitLdapCredentials(std::string_view credentials, const LdapSettings& settings);

// A connection bound as the user, or null. Credentials with an empty user
// or password are refused before anything is sent: directories take a DN
// with an empty password as an unauthenticated bind and report success.
std::unique_ptr<platform::LdapConnection> ConnetLDAP(const LdapLogonRequest& request,
                                                     const LdapSettings& settings);

// True when ConnetLDAP binds; logs the outcome (never the password).
bool LDAP_LOGON(const LdapLogonRequest& request, const LdapSettings& settings);

// The HTTP check of one request with -a: each Basic line of the head in
// turn until one passes. authKind 0 checks the local list at userFile,
// any other kind the directory.
ProxyAuthResult CheckProxyAuthorization(int clientSocket, std::string_view request, int authKind,
                                        const std::string& userFile, const LdapSettings& ldap);

}  // namespace engine
