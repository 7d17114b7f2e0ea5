#include "engine/socks/socks_session.h"

#include <string>
#include <vector>

#include "common/connect_table.h"
#include "common/file_retry.h"
#include "engine/access/auth.h"
#include "engine/access/ldap_settings.h"
#include "engine/core/address.h"
#include "engine/core/daily_log.h"
#include "engine/core/engine_settings.h"
#include "engine/ftp/ftp_data.h"
#include "engine/socks/socks_bind.h"
#include "engine/socks/socks_client.h"
#include "engine/socks/socks_connect.h"
#include "engine/socks/socks_protocol.h"
#include "engine/socks/socks_replies.h"
#include "engine/socks/socks_udp.h"
#include "engine/socks/socks_wire.h"

namespace engine {
namespace {

constexpr int kOnlySocks4 = 1;
constexpr int kOnlySocks5 = 2;

// The user and password of the sub-negotiation, checked by the local user
// list or the directory as -a says.
bool CheckCredentials(ConnectionRecord* record, const std::string& user, const std::string& password) {
    const EngineSettings& settings = Settings();
    AssignField(record->ProxyUserName, user, kHostNameWidth);
    const std::string credentials = user + ":" + password;
    if (settings.authKind == 0) return ComperToken(record->ClientSocket, credentials, settings.proxyUserFile);
    const LdapSettings& ldap = ProcessLdapSettings();
    return LDAP_LOGON(SplitLdapCredentials(credentials, ldap), ldap);
}

// SOCKS 5 up to the request: the method, and the user check when the
// method asks for one. False when the client is not to be served.
bool NegotiateSocks5(SocksClient& client) {
    const EngineSettings& settings = Settings();
    std::vector<unsigned char> methods;
    std::size_t length = 0;
    if (!client.ReadUntil([&](std::string_view bytes) { return ParseSocks5Greeting(bytes, methods, length); }))
        return false;
    client.Consume(length, true);
    const unsigned char method = ChooseSocks5Method(methods, settings.proxyAuth);
    const char answer[2] = {'\5', static_cast<char>(method)};
    if (!client.Send(std::string_view(answer, 2), true)) return false;
    if (method == kSocksMethodNoneAcceptable) {
        WriteLogF("[PROXYMain] [%04d] SOCKS5 no acceptable method offered.\n", client.socket());
        return false;
    }
    if (method != kSocksMethodPassword) return true;

    std::string user, password;
    if (!client.ReadUntil([&](std::string_view bytes) {
            return ParseSocks5Credentials(bytes, user, password, length);
        }))
        return false;
    // The password never reaches the request file on disk.
    client.Consume(length, false);
    const bool passed = !settings.proxyAuth || CheckCredentials(client.record(), user, password);
    const char status[2] = {'\1', static_cast<char>(passed ? 0 : 2)};
    client.Send(std::string_view(status, 2), true);
    if (!passed) WriteLogF("[PROXYMain] [%04d] SOCKS5 authentication failed. [%s]\n", client.socket(), user.c_str());
    return passed;
}

// Reads the request of either version. False when there is none to serve
// (the client has had its refusal where there is one to send).
bool ReadRequest(SocksClient& client, SocksRequest& request) {
    const EngineSettings& settings = Settings();
    int version = 0;
    if (!client.ReadUntil([&](std::string_view bytes) {
            if (bytes.empty()) return SocksParse::kIncomplete;
            version = static_cast<unsigned char>(bytes[0]);
            return version == 4 || version == 5 ? SocksParse::kComplete : SocksParse::kBad;
        })) {
        if (client.lastParse() == SocksParse::kBad)
            WriteLogF("[PROXYMain] [%04d] SOCKS version %d is not served.\n", client.socket(), version);
        return false;
    }
    const int only = settings.socksVersions;
    const bool served = only == 0 || (version == 4 && only == kOnlySocks4) || (version == 5 && only == kOnlySocks5);
    if (!served) {
        WriteLogF("[PROXYMain] [%04d] SOCKS%d is not served (-o=%d).\n", client.socket(), version,
                  settings.socksVersions);
        return false;
    }
    if (version == 4) {
        if (!client.ReadUntil([&](std::string_view bytes) { return ParseSocks4Request(bytes, request); }))
            return false;
        client.Consume(request.length, true);
        // SOCKS 4 carries no password: with authentication on it would pass
        // every client unchecked.
        if (settings.proxyAuth) {
            WriteLogF("[PROXYMain] [%04d] SOCKS4 refused: authentication is required.\n", client.socket());
            SocksReplyRefused(client, request, kSocks4Failed);
            return false;
        }
        return true;
    }
    if (!NegotiateSocks5(client)) return false;
    if (!client.ReadUntil([&](std::string_view bytes) { return ParseSocks5Request(bytes, request); })) {
        if (client.lastParse() == SocksParse::kBad) {
            const bool knownType = request.addressType == kSocksIPv4 || request.addressType == kSocksDomain ||
                                   request.addressType == kSocksIPv6;
            request.addressField.clear();
            SocksReplyRefused(client, request, knownType ? kSocks5GeneralFailure : kSocks5AddressTypeNotSupported);
            WriteLogF("[PROXYMain] [%04d] SOCKS5 request refused (address type %d).\n", client.socket(),
                      request.addressType);
        }
        return false;
    }
    client.Consume(request.length, true);
    return true;
}

void TakeRequest(ConnectionRecord* record, const SocksRequest& request) {
    const EngineSettings& settings = Settings();
    record->SocksVersion = request.version;
    record->SocksAddressLength = static_cast<int>(request.addressField.size());
    AssignField(record->SocksAddress, request.host, kHostNameWidth);
    record->SocksPort = request.port;
    int encrypted = 0;
    record->SocksProtocol = QuerySocksProtocol(settings.socksProtocolFile, request.host, request.port,
                                               settings.dataPortLow, settings.dataPortHigh, encrypted);
    // Only a channel an FTP control relay has prepared is FTP data: any
    // other connection to such a port would wait for a plan that never
    // comes. Without a data port range the system chose the channel's
    // port, which only the prepared channel tells: tunnelled as unknown,
    // the client would wait past its time-out while the engine gathers
    // and scans the transfer. A connection to another host on that port
    // never reaches the channel's listener: it is no FTP data.
    if (record->SocksProtocol == kSocksKindFtpData || record->SocksProtocol == kSocksKindUnknown)
        record->SocksProtocol =
            FindFtpDataChannel(request.port, request.host) ? kSocksKindFtpData : kSocksKindUnknown;
    record->DestinationEncrypted = encrypted;
    // Only the mail relay names the client (in its trace line): a reverse
    // lookup for every other connection would only slow it down.
    if (record->SocksProtocol == kSocksKindSmtp)
        AssignField(record->ClientHostName, ReverseName(record->ClientAddress), kHostNameWidth);
    WriteLogF("[PROXYMain] [%04d] SOCKS%d command=%d %s %d protocol=%d encrypted=%d\n", record->ClientSocket,
              request.version, request.command, request.host.c_str(), request.port, record->SocksProtocol, encrypted);
}

// A listen entry whose line names a server relays every CONNECT there.
bool NamesFixedServer(const ConnectionRecord& record) {
    const common::ConnectTableLookup lookup = common::GetConnectTable(
        Settings().connectTableFile, record.ListenAddress, record.ListenPort, [](const std::string& line) {
            WriteLog(line);
        });
    if (!lookup.entry) return false;
    const std::string& server = lookup.entry->server;
    return server.find_first_not_of(' ') != std::string::npos;
}

}  // namespace

void ServeSocks(ConnectionRecord* record, SocksHttpLoop serveHttp) {
    record->FixedRelay = NamesFixedServer(*record) ? 1 : 0;
    {
        SocksClient client(record);
        SocksRequest request;
        if (ReadRequest(client, request)) {
            TakeRequest(record, request);
            switch (request.command) {
            case kSocksBind:
                SocksBindMain(client, request);
                break;
            case kSocksUdpAssociate:
                if (request.version == 5) {
                    UDPMain(client, request);
                    break;
                }
                [[fallthrough]];
            default:
                SocksConnect(client, request, serveHttp);
                break;
            }
        }
    }
    common::DeleteWithRetry(record->RequestFile);
}

}  // namespace engine
