#include "engine/access/auth.h"

#include <chrono>
#include <thread>

#include "common/list_file.h"
#include "common/text.h"
#include "engine/core/daily_log.h"

namespace engine {

namespace {

constexpr std::string_view kBasicPrefix = "Proxy-Authorization: Basic ";
// How much of a token each check decodes.
constexpr size_t kUserNameDecodeChars = 254;
constexpr size_t kLdapDecodeChars = 16383;
// Bind DNs and host names beyond what a directory or DNS takes.
constexpr size_t kMaxDnLength = 255;
constexpr size_t kUserListLineLength = 511;

// The decoded text of the token's first maxChars characters.
std::string DecodeToken(std::string_view token, size_t maxChars) {
    std::string decoded;
    if (common::Base64ToText(token, decoded, maxChars + 1) < 0) decoded.clear();
    return decoded;
}

// Calls match with the first field ("<id>:<password>") of each entry of
// the user list that has an ID until it returns true; false when the file
// is missing or nothing matched.
template <typename Match>
bool FindUserLine(const std::string& userFile, Match match, std::string* id) {
    common::ListFileRules rules;
    rules.maxLineLength = kUserListLineLength;
    bool found = false;
    common::ForEachListLine(userFile, rules, [&](std::string_view line) {
        std::string_view field = line.substr(0, line.find(','));
        // An empty ID is what a client sends when its user leaves the login
        // prompt empty: such a line never lets anyone in.
        std::string_view lineId = field.substr(0, field.find(':'));
        if (lineId.empty() || !match(field)) return true;
        *id = std::string(lineId);
        found = true;
        return false;
    });
    return found;
}

// The retry set: the directory could not be reached or did not answer.
bool IsRetryableBindResult(int result) {
    return result == platform::kLdapTimeout || result == platform::kLdapUnavailable ||
           result == platform::kLdapServerDown || result == platform::kLdapConnectError;
}

// The user as a log line shows it: the client chose every byte of it, so a
// control character (a line end above all) is shown as "?" and can't
// start a line of its own.
std::string LoggedUser(const LdapLogonRequest& request) {
    std::string user = request.user;
    for (char& c : user)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '?';
    return user;
}

std::string MaskedPassword(const LdapLogonRequest& request) {
    return request.password.empty() ? std::string() : std::string("********");
}

}  // namespace

std::vector<std::string> FindProxyAuthorizationTokens(std::string_view request) {
    std::vector<std::string> tokens;
    // The first line is the request line, not a header.
    size_t at = request.find('\n');
    while (at != std::string_view::npos) {
        std::string_view rest = request.substr(at + 1);
        size_t end = rest.find('\n');
        std::string_view line = rest.substr(0, end);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.empty()) break;  // the blank line that ends the head
        if (common::StrIStr(line, kBasicPrefix) == 0) {
            std::string_view token = line.substr(kBasicPrefix.size());
            tokens.emplace_back(token.substr(0, token.find_first_of("\r\n")));
        }
        if (end == std::string_view::npos) break;
        at += 1 + end;
    }
    return tokens;
}

ProxyAuthResult ComperTokenB64(int clientSocket, std::string_view token, const std::string& userFile) {
    ProxyAuthResult result;
    std::string user = DecodeToken(token, kUserNameDecodeChars);
    result.userName = user.substr(0, user.find(':'));
    std::string id;
    result.passed = FindUserLine(
        userFile, [&](std::string_view field) { return common::TextToBase64(field) == token; }, &id);
    if (result.passed)
        WriteLogF("[ComperTokenB64] [%04d] Proxy-Authorization success. [%s]\n", clientSocket, id.c_str());
    return result;
}

bool ComperToken(int clientSocket, std::string_view credentials, const std::string& userFile) {
    std::string id;
    bool passed = FindUserLine(
        userFile, [&](std::string_view field) { return field == credentials; }, &id);
    if (passed)
        WriteLogF("[ComperToken] [%04d] Proxy-Authorization success. [%s]\n", clientSocket, id.c_str());
    return passed;
}

LdapLogonRequest SplitLdapCredentials(std::string_view credentials, const LdapSettings& settings) {
    LdapLogonRequest request;
    request.server = settings.server.empty() ? "localhost" : settings.server;
    request.port = settings.port;
    std::string_view user = credentials;
    size_t colon = credentials.rfind(':');
    if (colon != std::string_view::npos) {
        request.password = std::string(credentials.substr(colon + 1));
        request.hasPassword = true;
        user = credentials.substr(0, colon);
    }
    size_t cut = user.find('@');
    if (cut == std::string_view::npos) cut = user.find('%');
    if (cut != std::string_view::npos) {
        request.domain = std::string(user.substr(cut + 1));
        user = user.substr(0, cut);
    }
    request.user = std::string(user);
    return request;
}

std::unique_ptr<platform::LdapConnection> ConnetLDAP(const LdapLogonRequest& request,
                                                     const LdapSettings& settings) {
    // Nothing to bind as: an empty password would make an unauthenticated
    // bind, which directories answer with success. A NUL would cut the DN
    // short inside the library.
    if (request.user.empty() || request.password.empty() ||
        request.user.find('\0') != std::string::npos)
        return nullptr;

    std::string dn = common::StrIStr(request.user, "cn=") == 0
                         ? request.user
                         : settings.schemaRdn + "=" + request.user + "," + settings.schemaDc;
    if (dn.size() > kMaxDnLength) return nullptr;

    WriteLogF("[ConnetLDAP] Connecting to server %s....\n", request.server.c_str());
    const long attempts = settings.retryTime > 1 ? settings.retryTime : 1;
    std::unique_ptr<platform::LdapConnection> connection;
    int result = platform::kLdapSuccess;
    for (long attempt = 1;; ++attempt) {
        // A fresh connection for every attempt: the library does not
        // connect again on a handle whose connection failed.
        int error = 0;
        connection = platform::LdapConnection::Open(request.server, static_cast<int>(request.port), &error);
        if (!connection) {
            WriteLogF("[ConnetLDAP] ld failed with 0x%x.\n", error);
            return nullptr;
        }
        result = connection->SetOptions(settings.timeouts);
        if (result != platform::kLdapSuccess) {
            WriteLogF("[ConnetLDAP] ldap_set_option() returned 0x%x\n", result);
            return nullptr;
        }
        result = connection->SimpleBind(dn, request.password);
        if (!IsRetryableBindResult(result)) break;
        if (settings.retryMsec > 0) std::this_thread::sleep_for(std::chrono::milliseconds(settings.retryMsec));
        if (attempt >= attempts) break;
    }
    WriteLogF("[ConnetLDAP] ldap_simple_bind_s() bind returned 0x%x\n", result);
    if (result != platform::kLdapSuccess) return nullptr;
    return connection;
}

bool LDAP_LOGON(const LdapLogonRequest& request, const LdapSettings& settings) {
    // The user name comes decoded from the client: it may hold line ends.
    const std::string user = ClientText(LoggedUser(request));
    if (ConnetLDAP(request, settings)) {
        WriteLogF("[LDAP_LOGON] id=<%s> ... OK.\n", user.c_str());
        return true;
    }
    WriteLogF("[LDAP_LOGON] id=<%s> pw=<%s>... NG.\n", user.c_str(), MaskedPassword(request).c_str());
    return false;
}

ProxyAuthResult CheckProxyAuthorization(int clientSocket, std::string_view request, int authKind,
                                        const std::string& userFile, const LdapSettings& ldap) {
    ProxyAuthResult result;
    for (const std::string& token : FindProxyAuthorizationTokens(request)) {
        if (authKind == 0) {
            result = ComperTokenB64(clientSocket, token, userFile);
        } else {
            std::string credentials = DecodeToken(token, kLdapDecodeChars);
            result.passed = LDAP_LOGON(SplitLdapCredentials(credentials, ldap), ldap);
        }
        if (result.passed) break;
    }
    return result;
}

}  // namespace engine
