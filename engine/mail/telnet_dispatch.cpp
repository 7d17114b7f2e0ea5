#include "engine/mail/telnet_dispatch.h"

#include <string>

#include "common/ascii_case.h"
#include "common/file_retry.h"
#include "engine/client_io/client_send.h"
#include "engine/core/daily_log.h"
#include "engine/core/engine_settings.h"
#include "engine/core/live_connections.h"
#include "engine/mail/mail_spool.h"
#include "engine/mail/relay_sessions.h"
#include "engine/relay/tunnel_relay.h"
#include "engine/upstream/connect_host.h"

namespace engine {
namespace {

constexpr const char* kFunction = "TelnetDispatch";
// The SOCKS-detected protocol of an FTP data connection.
constexpr int kSocksFtpData = 5;
// Commands of one connection: far beyond any real dialogue, a bound on a
// client that loops for ever.
constexpr long kCommandLimit = 10'000'000;

bool IsLineProtocol(int protocol) {
    return protocol == kProtocolSmtp || protocol == kProtocolPop3 || protocol == kProtocolImap4 ||
           protocol == kProtocolFtp;
}

bool StartsWith(const std::string& text, std::string_view prefix) {
    return common::StartsWithIgnoringAsciiCase(text, prefix);
}

void RunTunnelRelay(ConnectionRecord* record) {
    const EngineSettings& settings = Settings();
    const TunnelSides sides{record->ClientSocket, record->Tls.client.get(), record->ServerSocket,
                            record->Tls.server.get()};
    const TunnelTimeouts timeouts{ClientSendTimeout(settings), ClientSendTimeout(settings),
                                  settings.timeouts.serverPlain};
    const int client = record->ClientSocket;
    const int server = record->ServerSocket;
    Tunnel tunnel(sides, timeouts);
    RunTunnel(tunnel, settings.retryCount, [client, server](int error) {
        WriteLogF("[TelnetDispatch] [%04d] [%04d] ServerSession() beginthread failed.(%d)\n", client, server, error);
    });
}

// FTP: the reply that opened a transfer ("150 ", "125 ") is followed by
// the transfer's final reply before the client's next command, and by the
// reply to an ABOR that the client sent during the transfer.
bool RelayTransferEnd(LineRelayState& state) {
    if (state.protocol != LineProtocol::Ftp) return true;
    const std::string& line = state.lastReplyLine;
    if (line.rfind("150 ", 0) == 0 || line.rfind("125 ", 0) == 0) {
        const int mode = state.lastResult == kRelayRetrieval ? kReplyRetrieval : kReplyCommand;
        if (!ServerToClientSession(state, mode)) return false;
        state.ftp->ClearDataChannel(state);
        if (state.ftp->OwedReplyComes(state) && !ServerToClientSession(state, kReplyCommand)) return false;
    } else if (line.find("226 ") != std::string::npos) {
        state.ftp->ClearDataChannel(state);
    } else if (line.find("200 ") != std::string::npos) {
        WriteLogF("[TelnetDispatch] [%04d] hit\n", state.client);
    }
    return true;
}

void RunLineRelay(LineRelayState& state) {
    ConnectionRecord* record = state.record;
    state.tls.offerToClient =
        !record->Tls.client && !record->Tls.certificateFile.empty() && !record->Tls.privateKeyFile.empty();
    state.tls.towardsServer = record->ServerUseStartTls != 0 && !record->Tls.server;

    // The server's greeting.
    if (state.protocol == LineProtocol::Imap4 && state.tls.towardsServer) {
        if (!RelayImapGreetingOverTls(state)) return;
    } else {
        if (!ServerToClientSession(state, kReplyCommand)) return;
        if (state.protocol == LineProtocol::Pop3 && state.tls.towardsServer && !StartTlsTowardsServer(state, ""))
            return;
    }

    for (long commands = 0; commands < kCommandLimit; ++commands) {
        if (!RelayTransferEnd(state)) break;
        int result = ClientToServerSession(state, 0);
        state.lastResult = result;
        if (result == kRelayStartTlsAnswered) {
            if (!StartTlsTowardsClient(state)) break;
            continue;
        }
        if (result == kRelayAnswered) continue;
        if (result == kRelayFailed) break;
        if (result == kRelayQuit || (state.protocol == LineProtocol::Ftp && StartsWith(state.lastCommand, "quit"))) {
            ServerToClientSession(state, kReplyCommand);
            break;
        }
        int mode = result == kRelayRetrieval ? kReplyRetrieval : kReplyCommand;
        if (state.protocol == LineProtocol::Smtp && result == kRelayRetrieval) {
            // A stop waits for the mail's answer to reach the client.
            HoldLiveConnection(record);
            result = ClientToServerSession(state, 1);
            const bool answered = result != kRelayMailRefused && result != kRelayFailed &&
                                  ServerToClientSession(state, kReplyCommand);
            ReleaseLiveConnection(record);
            if (result == kRelayMailRefused) continue;
            if (!answered) break;
            continue;
        }
        // An empty line is a command too (an empty SASL answer), not the end.
        if (!ServerToClientSession(state, mode)) break;
    }
}

}  // namespace

void TelnetDispatch(ConnectionRecord* record, const LineRelayPlugins& plugins) {
    const EngineSettings& settings = Settings();
    const SocksDispatchSteps* socks = plugins.socks;
    const int client = record->ClientSocket;

    LineRelayState state;
    state.record = record;
    state.client = client;
    state.capturePath = record->RequestFile;
    const int protocol = socks ? record->SocksProtocol : settings.protocol;

    std::string host;
    int port = 80;
    if (socks && !socks->settled && socks->readRequest && !socks->readRequest(host, port)) return;

    const int server = ConnectHost(record, host, port);
    if (server == kNoSocket) {
        if (socks && socks->connectFailed) socks->connectFailed();
        WriteLogF("[TelnetDispatch] [%04d] connect fail.\n", client);
        return;
    }
    state.server = server;
    if (!socks || !socks->connected || socks->connected()) {
        WriteLogF("[TelnetDispatch] [%04d] [%04d] sender connect success.\n", client, server);
        if (socks && protocol == kSocksFtpData && !socks->settled && socks->dataRelay) {
            socks->dataRelay(client, server);
        } else if (record->DestinationEncrypted || (socks && socks->settled) || !IsLineProtocol(protocol)) {
            RunTunnelRelay(record);
        } else {
            state.protocol = static_cast<LineProtocol>(protocol);
            if (state.protocol == LineProtocol::Ftp) {
                if (plugins.ftp) state.ftp = plugins.ftp(state);
                if (!state.ftp) state.ftp = std::make_unique<FtpControlHooks>();
            }
            RunLineRelay(state);
            if (state.ftp) state.ftp->OnRelayEnd(state);
        }
    }

    CloseServerConnection(record, kFunction);
    state.lastCommand.clear();
    // The capture file held this connection's commands, replies and mails.
    common::DeleteWithRetry(state.capturePath);
    // A mail that never reached the server leaves no envelope behind.
    if (protocol == kProtocolSmtp && !record->MailId.empty()) {
        DeleteMailEnvelope(record->MailId);
        record->MailId.clear();
    }
}

}  // namespace engine
