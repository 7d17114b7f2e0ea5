#include "engine/ftp/ftp_control.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <ctime>
#include <thread>
#include <vector>

#include "common/ascii_case.h"
#include "common/file_retry.h"
#include "engine/cache/cache_store.h"
#include "engine/core/daily_log.h"
#include "engine/core/engine_settings.h"
#include "engine/core/open_binds.h"
#include "engine/ftp/data_address.h"
#include "engine/ftp/data_port.h"
#include "engine/ftp/data_socket.h"
#include "engine/ftp/ftp_client.h"
#include "engine/ftp/ftp_data.h"
#include "engine/ftp/ftp_data_main.h"
#include "engine/ftp/ftp_reply.h"
#include "engine/ftp/thread_start.h"
#include "engine/linerelay/relay_io.h"
#include "engine/mail/relay_sessions.h"

namespace engine {

namespace {

constexpr const char* kCantOpen = "425 Can't open data connection. \r\n";
constexpr const char* kFunction = "ServerToClientSession";
constexpr size_t kUserLimit = 1023;
constexpr size_t kFolderLimit = 255;
// An ABOR, telnet marks and all, is far shorter.
constexpr size_t kAbortLineLimit = 64;

bool Starts(const std::string& text, std::string_view prefix) {
    return common::StartsWithIgnoringAsciiCase(text, prefix);
}

bool IsIPv4(const SocketAddress& address) { return AddressText(address).find('.') != std::string::npos; }

bool ToSocketAddress(const DataAddress& data, SocketAddress& address) {
    address = SocketAddress{};
    if (data.host.find(':') == std::string::npos) {
        auto& in = reinterpret_cast<sockaddr_in&>(address.address);
        in.sin_family = AF_INET;
        if (::inet_pton(AF_INET, data.host.c_str(), &in.sin_addr) != 1) return false;
        address.length = sizeof in;
    } else {
        auto& in6 = reinterpret_cast<sockaddr_in6&>(address.address);
        in6.sin6_family = AF_INET6;
        if (::inet_pton(AF_INET6, data.host.c_str(), &in6.sin6_addr) != 1) return false;
        address.length = sizeof in6;
    }
    SetAddressPort(address, data.port);
    return true;
}

// The last line of a reply (with its line end).
std::string_view FinalLine(std::string_view reply) {
    const std::size_t end = reply.size() >= 2 ? reply.rfind('\n', reply.size() - 2) : std::string_view::npos;
    return end == std::string_view::npos ? reply : reply.substr(end + 1);
}

// The text after the command word, without its line end.
std::string Argument(const std::string& command) {
    size_t blank = command.find(' ');
    return blank == std::string::npos ? "" : command.substr(blank + 1);
}

// The features of TLS on the control connection: the relay can't look
// into TLS, so they are never offered (a client that tried them would
// hang, its handshake cut into lines).
bool IsTlsFeature(std::string_view line) {
    while (!line.empty() && line.front() == ' ') line.remove_prefix(1);
    for (std::string_view word : {"AUTH", "PBSZ", "PROT"})
        if (common::StartsWithIgnoringAsciiCase(line, word) &&
            (line.size() == word.size() || line[word.size()] == ' ' || line[word.size()] == '\r' ||
             line[word.size()] == '\n'))
            return true;
    return false;
}

std::string WithoutTlsFeatures(const std::string& reply) {
    std::string out;
    for (size_t at = 0; at < reply.size();) {
        size_t end = reply.find('\n', at);
        end = end == std::string::npos ? reply.size() : end + 1;
        const std::string_view line(reply.data() + at, end - at);
        // Only the feature lines between the first and the last line.
        if (at == 0 || end == reply.size() || !IsTlsFeature(line)) out.append(line);
        at = end;
    }
    return out;
}

class FtpControl : public FtpControlHooks {
public:
    bool OnClientCommand(LineRelayState& state, std::string& command) override;
    void OnServerReply(LineRelayState& state, std::string& reply) override;
    void ClearDataChannel(LineRelayState& state) override { Reap(state); }
    void OnRelayEnd(LineRelayState& state) override;
    bool ServerWaitGoesOn(LineRelayState& state) override;
    bool WatchesClient(LineRelayState& state) override;
    void OnClientWhileWaiting(LineRelayState& state) override;
    bool OwedReplyComes(LineRelayState& state) override;

private:
    struct DataThread {
        FtpDataChannelPtr channel;
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> done;
    };

    // Binds a data listener facing bindFacing's peer and starts its thread;
    // the new channel becomes the pending one. 0 on failure.
    int StartChannel(LineRelayState& state, const char* function, bool passive, const SocketAddress& bindAddress,
                     std::vector<SocketAddress> acceptFrom, const SocketAddress& connectTo);
    void TakePortCommand(LineRelayState& state, std::string& command, bool extended);
    void SetPlan(LineRelayState& state, std::string& command);
    void FollowFolder(const std::string& argument);
    // The command goes on as NOOP, and the server's answer to it reaches the
    // client as `reply`.
    void AnswerInstead(std::string& command, const std::string& reply) {
        command = "NOOP\r\n";
        replyOverride_ = reply;
    }
    void Reap(LineRelayState& state);
    // The transfer's final reply came: a failed transfer's data channel
    // goes at once, and only a download that really runs holds the reply
    // back until the client has the data.
    void EndTransfer(LineRelayState& state, int code, const std::string& uploadFinding);
    // Holds the final reply of a download until its data side has ended,
    // for as long as it keeps moving, or until the client aborts it.
    void HoldUntilDataEnds(LineRelayState& state);
    // The upload the scan stopped: the client learns why, the server's copy
    // of what came before the stop goes.
    void RefuseInfectedUpload(LineRelayState& state, const std::string& finding, std::string& reply);

    std::string user_;
    std::string folder_ = "/";
    FtpDataChannelPtr pending_;
    // The channel of the transfer under way, told the server's final reply.
    FtpDataChannelPtr transfer_;
    // The server has opened the transfer (its 1xx reply came).
    bool opened_ = false;
    // The client closed or sent a command other than ABOR during the
    // transfer: it is read again only after the final reply.
    bool clientQuiet_ = false;
    // An ABOR passed on during the transfer: its own reply follows the
    // transfer's final one.
    std::string owedCommand_;
    // A REST with an offset came: the next RETR fetches part of a file.
    bool partial_ = false;
    std::vector<DataThread> threads_;
    std::string replyOverride_;
};

void FtpControl::FollowFolder(const std::string& argument) {
    if (argument.empty()) return;
    if (argument.front() == '/') {
        folder_ = argument.substr(0, kFolderLimit);
    } else if (argument == "..") {
        size_t slash = folder_.rfind('/');
        folder_ = slash == 0 || slash == std::string::npos ? "/" : folder_.substr(0, slash);
    } else if (argument != ".") {
        if (folder_.size() + 1 + argument.size() < 254) folder_ += (folder_ == "/" ? "" : "/") + argument;
    }
    if (folder_.size() > 1 && folder_.back() == '/') folder_.pop_back();
}

int FtpControl::StartChannel(LineRelayState& state, const char* function, bool passive,
                             const SocketAddress& bindAddress, std::vector<SocketAddress> acceptFrom,
                             const SocketAddress& connectTo) {
    const EngineSettings& settings = Settings();
    int port = 0;
    SocketAddress local = bindAddress;
    SetAddressPort(local, 0);
    int listener = BindDataPort(reinterpret_cast<const sockaddr*>(&local.address), local.length, SOCK_STREAM, port, 1);
    if (listener < 0) {
        WriteLogF("[FTPDataMain] [%04d] bind() failed with error. WSAGetLastError() = %d\n", state.client, errno);
        return 0;
    }
    if (pending_) pending_->Cancel();
    DataChannelParams params;
    const bool socks = settings.protocol == kProtocolSocks && state.record;
    params.channel = PrepareFtpDataChannel(port, state.client, passive, AddressText(bindAddress),
                                           socks ? std::string(state.record->SocksAddress) : std::string());
    params.listenSocket = listener;
    params.listenAddress = AddressText(bindAddress);
    params.acceptFrom = std::move(acceptFrom);
    params.connectTo = connectTo;
    params.scanProtocol = settings.protocol;

    DataThread running;
    running.channel = params.channel;
    running.done = std::make_shared<std::atomic<bool>>(false);
    WriteLogF("[%s] [%04d] _beginthread(FTPDataMain) start.\n", function, state.client);
    auto done = running.done;
    const bool started = StartThreadWithRetries(
        running.thread, std::max(1UL, settings.retryCount),
        [params, done] {
            FTPDataMain(params);
            done->store(true);
        },
        [&](int error) {
            WriteLogF("[%s] [%04d] FTPDataMain() beginthread failed.(%d)\n", function, state.client, error);
        });
    if (!started) {
        ::close(listener);
        ForgetFtpDataChannel(*params.channel);
        return 0;
    }
    pending_ = params.channel;
    threads_.push_back(std::move(running));
    return port;
}

void FtpControl::TakePortCommand(LineRelayState& state, std::string& command, bool extended) {
    DataAddress announced;
    const std::string argument = Argument(state.lastCommand);
    const bool parsed = extended ? ParseEprtArgument(argument, announced) : ParsePortArgument(argument, announced);
    SocketAddress clientPeer, serverPeer, towardsServer, dataPeer;
    if (!parsed || !ToSocketAddress(announced, dataPeer)) {
        AnswerInstead(command, "501 Syntax error in parameters or arguments.\r\n");
        return;
    }
    if (extended)
        WriteLogF("[ClientToServerSession] [%04d] from Client[%04d]=%s\n", state.client, state.client,
                  argument.c_str());
    else
        WriteLogF("[ClientToServerSession] [%04d] from Client=%s\n", state.client, argument.c_str());
    if (!PeerAddress(state.client, clientPeer) || !PeerAddress(state.server, serverPeer) ||
        !LocalAddress(state.server, towardsServer)) {
        AnswerInstead(command, kCantOpen);
        return;
    }
    // The data connection goes only to the client itself, or to the SOCKS
    // BIND it holds on the engine: an address of another host would make
    // the engine attack it (FTP bounce).
    if (!SameHost(dataPeer, clientPeer) && !ClaimSocksBind(AddressText(clientPeer), announced.host, announced.port)) {
        WriteLogF("[ClientToServerSession] [%04d] data address of another host refused: %s\n", state.client,
                  announced.host.c_str());
        AnswerInstead(command, "500 Illegal PORT command.\r\n");
        return;
    }
    int port = StartChannel(state, "ClientToServerSession", false, towardsServer, {serverPeer}, dataPeer);
    if (port == 0) {
        AnswerInstead(command, kCantOpen);
        return;
    }
    const std::string own = AddressText(towardsServer);
    // Raw commands keep the client's word where the address allows it;
    // otherwise the form follows the server's family.
    const bool usePort = own.find('.') != std::string::npos && !(Settings().ftpRawCommands && extended);
    command = usePort ? "PORT " + CommaAddress(own, port) + "\r\n" : "EPRT " + EprtArgument(own, port) + "\r\n";
    WriteLogF("[ClientToServerSession] [%04d] to Server[%04d]=%s", state.client, state.server, command.c_str());
}

void FtpControl::SetPlan(LineRelayState& state, std::string& command) {
    const std::string& line = state.lastCommand;
    const bool upload = Starts(line, "stor ") || Starts(line, "appe ") || Starts(line, "stou");
    const bool download = Starts(line, "retr ") || Starts(line, "list") || Starts(line, "nlst") || Starts(line, "mlsd");
    if (!pending_ || (!upload && !download)) return;
    FtpDataPlan plan;
    plan.download = download;

    const EngineSettings& settings = Settings();
    // Part of a file (after REST) is never a cache entry, nor served from one.
    const bool partial = partial_;
    partial_ = false;
    if (Starts(line, "retr ") && settings.cacheMinutes != 0 && state.record && !partial) {
        const ConnectionRecord& record = *state.record;
        const std::string file = Argument(line);
        // The server is part of the key: the same user and path on another
        // server is another file.
        SocketAddress server;
        const std::string serverPart =
            PeerAddress(state.server, server) ? AddressText(server) + "," + std::to_string(AddressPort(server)) : "";
        std::string key = "ftp," + user_ + "," + record.ListenAddress + "," + std::to_string(record.ListenPort) + "," +
                          serverPart + "," + folder_ + "/" + file;
        key = key.substr(0, kCacheKeyLimit);
        if (Query_NoCache(settings.noCacheFile, state.client, key) != 1) {
            plan.cachePath = settings.dataFolder + "ftpcache/" + Md5Hex(key) + ".dat";
            struct stat info {};
            if (::stat(plan.cachePath.c_str(), &info) == 0) {
                const std::time_t now = std::time(nullptr);
                const std::time_t expires = info.st_mtime + static_cast<std::time_t>(settings.cacheMinutes) * 60;
                const bool fresh = now <= expires;
                WriteLogF("[ClientToServerSession] [%04d] [Cache] FTP = %s. (%llu <= %llu)\n", state.client,
                          fresh ? "using" : "expired", static_cast<unsigned long long>(now),
                          static_cast<unsigned long long>(expires));
                if (fresh) {
                    // The server lists the file instead of sending it; the
                    // data thread sends the cached copy in its place.
                    plan.useCache = true;
                    command = "LIST " + file + "\r\n";
                } else {
                    WriteLogF("[ClientToServerSession] [%04d] [Cache] Delete = %s.\n", state.client,
                              plan.cachePath.c_str());
                    common::DeleteWithRetry(plan.cachePath);
                }
            }
        }
    }
    pending_->SetPlan(plan);
    if (transfer_) transfer_->SetOutcome(false);
    transfer_ = std::move(pending_);
    opened_ = false;
    clientQuiet_ = false;
    owedCommand_.clear();
}

bool FtpControl::OnClientCommand(LineRelayState& state, std::string& command) {
    Reap(state);
    replyOverride_.clear();
    // A CR alone ends a command too: ABOR sent as urgent data may arrive
    // without its LF, and the command after it must not be joined to it.
    const size_t cr = command.find('\r');
    if (cr != std::string::npos && cr + 1 < command.size() && command[cr + 1] != '\n') {
        state.clientAhead.insert(0, command, cr + 1, std::string::npos);
        command.erase(cr);
        state.lastCommand = command;
        command += "\r\n";
    }
    const std::string& line = state.lastCommand;
    if (Starts(line, "auth ") || common::EqualsIgnoringAsciiCase(line, "auth")) {
        // Passed on, the server would start TLS with a relay that can't.
        AnswerInstead(command, "534 TLS not available.\r\n");
    } else if (Starts(line, "user ")) {
        user_ = Argument(line).substr(0, kUserLimit);
    } else if (Starts(line, "cwd ")) {
        FollowFolder(Argument(line));
    } else if (common::EqualsIgnoringAsciiCase(line, "cdup")) {
        FollowFolder("..");
    } else if (Starts(line, "rest ")) {
        const std::string offset = Argument(line);
        partial_ = offset.find_first_not_of('0') != std::string::npos;
    } else if (Starts(line, "lprt ") || common::EqualsIgnoringAsciiCase(line, "lpsv")) {
        // The long forms would take the data connection past the engine.
        AnswerInstead(command, "502 Command not implemented.\r\n");
    } else if (Starts(line, "port ")) {
        TakePortCommand(state, command, false);
    } else if (Starts(line, "eprt ")) {
        TakePortCommand(state, command, true);
    } else if (!Settings().ftpRawCommands &&
               (common::EqualsIgnoringAsciiCase(line, "pasv") || common::EqualsIgnoringAsciiCase(line, "epsv"))) {
        SocketAddress clientPeer, serverPeer;
        if (PeerAddress(state.client, clientPeer) && PeerAddress(state.server, serverPeer)) {
            const bool pasv = common::EqualsIgnoringAsciiCase(line, "pasv");
            if (pasv && IsIPv4(clientPeer) && !IsIPv4(serverPeer)) {
                command = "EPSV\r\n";
                WriteLogF("[ClientToServerSession] [%04d] from Client=%s convert=EPSV\n", state.client, line.c_str());
            } else if (!pasv && !IsIPv4(clientPeer) && IsIPv4(serverPeer)) {
                command = "PASV\r\n";
                WriteLogF("[ClientToServerSession] [%04d] from Client=%s convert=PASV\n", state.client, line.c_str());
            }
        }
    } else {
        SetPlan(state, command);
    }
    return true;
}

void FtpControl::OnServerReply(LineRelayState& state, std::string& reply) {
    if (!replyOverride_.empty()) {
        reply = replyOverride_;
        replyOverride_.clear();
        return;
    }
    if (common::EqualsIgnoringAsciiCase(state.lastCommand, "feat")) reply = WithoutTlsFeatures(reply);
    if (transfer_) {
        const int code = FtpReplyCode(reply);
        // The opening 1xx reply says nothing yet; the final one does.
        if (code >= 100 && code < 200) {
            opened_ = true;
        } else if (code >= 200) {
            const std::string finding = transfer_->UploadFinding();
            EndTransfer(state, code, finding);
            if (!finding.empty()) RefuseInfectedUpload(state, finding, reply);
        }
    }
    // A multi-line reply carries its code and the address on its last line:
    // passed on unread, it would lead the client past the engine's scan.
    const std::string_view last = FinalLine(reply);
    const bool passive227 = last.rfind("227 ", 0) == 0, passive229 = last.rfind("229 ", 0) == 0;
    if (!passive227 && !passive229) return;
    WriteLogF("[ServerToClientSession] [%04d] [%04d] from Server[%04d]=%s", state.client, state.server, state.server,
              reply.c_str());
    DataAddress announced;
    SocketAddress clientPeer, serverPeer, towardsClient;
    if (!ParsePassiveReply(last, announced) || !PeerAddress(state.client, clientPeer) ||
        !PeerAddress(state.server, serverPeer) || !LocalAddress(state.client, towardsClient)) {
        reply = kCantOpen;
        return;
    }
    // The data connection goes to the server of the control connection,
    // whatever host the reply names.
    SocketAddress dataPeer = serverPeer;
    SetAddressPort(dataPeer, announced.port);
    const std::string own = AddressText(towardsClient);
    WriteLogF("[ServerToClientSession] [%04d] [%04d] %s = Global:[%s]\n", state.client, state.server,
              state.record ? state.record->ListenAddress.c_str() : "", own.c_str());
    // Under SOCKS the client's data connection reaches the listener through
    // the engine's own SOCKS relay.
    std::vector<SocketAddress> acceptFrom{clientPeer};
    if (Settings().protocol == kProtocolSocks) acceptFrom.push_back(towardsClient);
    int port = StartChannel(state, "ServerToClientSession", true, towardsClient, std::move(acceptFrom), dataPeer);
    if (port == 0) {
        reply = kCantOpen;
        return;
    }
    // A client that asked PASV gets the 227 it can read, one that asked
    // EPSV the 229 of RFC 2428.
    const bool clientAskedPasv = common::EqualsIgnoringAsciiCase(state.lastCommand, "pasv");
    reply = clientAskedPasv && own.find('.') != std::string::npos ? Reply227(own, port) : Reply229(port);
    WriteLogF("[ServerToClientSession] [%04d] [%04d] to Client=%s", state.client, state.server, reply.c_str());
}

void FtpControl::RefuseInfectedUpload(LineRelayState& state, const std::string& finding, std::string& reply) {
    const std::string file = Argument(state.lastCommand);
    WriteLogF("[ClientToServerSession] [%04d] [%04d] upload of %s refused: Virus found '%s'.\n", state.client,
              state.server, file.c_str(), finding.c_str());
    if (!file.empty() && !BreaksCommandLine(file) && SendToServer(state, "DELE " + file + "\r\n", kFunction)) {
        std::string answer;
        ReadServerReply(state, answer, kFunction);
    }
    reply = "552 Requested file action aborted: Virus found '" + finding + "'.\r\n";
}

void FtpControl::EndTransfer(LineRelayState& state, int code, const std::string& uploadFinding) {
    transfer_->SetOutcome(uploadFinding.empty() && (code == 226 || code == 250));
    if (code >= 400) {
        // Nothing more comes of the transfer: its data connections end now
        // rather than wait out their time-outs for bytes or a peer.
        transfer_->Abort();
    } else if (opened_ && transfer_->Download() && owedCommand_.empty()) {
        // The server's final reply to a download comes once the engine has
        // the bytes, before the client has them: passed on at once, a
        // client in active mode that the engine has not reached yet takes
        // the transfer for failed, and any client could take a file still
        // on its way for complete. In active mode the server's connection
        // may still wait to be taken by the data thread as its 1xx comes:
        // the hold does not ask whether it was.
        HoldUntilDataEnds(state);
    }
    transfer_.reset();
    opened_ = false;
}

void FtpControl::HoldUntilDataEnds(LineRelayState& state) {
    const std::chrono::milliseconds idle(FtpWaitMs());
    while (!transfer_->Ended() && !transfer_->Aborted()) {
        const auto left = transfer_->LastProgress() + idle - std::chrono::steady_clock::now();
        const long long leftMs = std::chrono::duration_cast<std::chrono::milliseconds>(left).count();
        if (leftMs <= 0) return;
        const bool watch = WatchesClient(state);
        TlsSession* clientTls = state.record ? state.record->Tls.client.get() : nullptr;
        if (watch && clientTls && clientTls->HasPending()) {
            OnClientWhileWaiting(state);
            continue;
        }
        pollfd waits[2] = {{transfer_->EndDescriptor(), POLLIN, 0}, {watch ? state.client : -1, POLLIN, 0}};
        const int ready = ::poll(waits, 2, static_cast<int>(leftMs));
        if (ready > 0 && waits[1].revents != 0) OnClientWhileWaiting(state);
    }
}

bool FtpControl::WatchesClient(LineRelayState& state) {
    (void)state;
    return transfer_ && opened_ && !clientQuiet_ && owedCommand_.empty();
}

void FtpControl::OnClientWhileWaiting(LineRelayState& state) {
    std::string& ahead = state.clientAhead;
    const int n = ReceiveFromClientWithin(state, ahead, "ClientToServerSession", 1);
    if (n == kReceiveTimedOut) return;
    if (n <= 0) {
        // Gone or failed: the next command read tells.
        clientQuiet_ = true;
        return;
    }
    const size_t end = ahead.find_first_of("\r\n");
    if (end == std::string::npos || (ahead[end] == '\r' && end + 1 == ahead.size())) {
        // Not a whole line yet; a longer one is no ABOR and waits its turn.
        if (ahead.size() > kAbortLineLimit) clientQuiet_ = true;
        return;
    }
    std::string_view word(ahead.data(), end);
    // Telnet's "interrupt process" and "data mark" may come before it.
    while (word.size() >= 2 && static_cast<unsigned char>(word[0]) == 0xFF) word.remove_prefix(2);
    if (!common::EqualsIgnoringAsciiCase(word, "abor")) {
        // Any other command is answered after the transfer, in its turn.
        clientQuiet_ = true;
        return;
    }
    const std::string abort(word);
    const std::string command = ahead.substr(0, end) + "\r\n";
    ahead.erase(0, end + (ahead.compare(end, 2, "\r\n") == 0 ? 2 : 1));
    WriteLogF("[ClientToServerSession] [%04d] ABOR during the transfer: passed on at once.\n", state.client);
    // The data side stops too: a client that aborts takes no more bytes,
    // and a server still sending learns of the end from its connection.
    transfer_->Abort();
    if (!SendToServer(state, command, "ClientToServerSession")) {
        clientQuiet_ = true;
        return;
    }
    owedCommand_ = abort;
}

bool FtpControl::OwedReplyComes(LineRelayState& state) {
    if (owedCommand_.empty()) return false;
    std::string command;
    command.swap(owedCommand_);
    // A server that answers the ABOR and the transfer in one reply owes
    // nothing more: the client's next command then takes its turn.
    bool comes = !state.serverAhead.empty();
    if (!comes) {
        const int waitMs = Settings().timeouts.serverPlain > 0 ? Settings().timeouts.serverPlain : FtpWaitMs();
        pollfd sides[2] = {{state.server, POLLIN, 0}, {state.client, POLLIN, 0}};
        int ready;
        do {
            ready = ::poll(sides, 2, waitMs);
        } while (ready < 0 && errno == EINTR);
        comes = ready > 0 && sides[0].revents != 0;
    }
    if (comes) state.lastCommand = command;
    return comes;
}

bool FtpControl::ServerWaitGoesOn(LineRelayState& state) {
    (void)state;
    if (!transfer_) return false;
    const auto now = std::chrono::steady_clock::now();
    // A transfer that moves keeps the wait for its final reply going, for
    // no longer than its own data connection would wait for bytes; once
    // it has ended, the reply has the usual time.
    const int limitMs = transfer_->Ended() ? Settings().timeouts.serverPlain : FtpWaitMs();
    return now - transfer_->LastProgress() < std::chrono::milliseconds(limitMs);
}

void FtpControl::Reap(LineRelayState& state) {
    (void)state;
    for (auto it = threads_.begin(); it != threads_.end();) {
        if (it->done->load()) {
            it->thread.join();
            it = threads_.erase(it);
        } else {
            ++it;
        }
    }
}

void FtpControl::OnRelayEnd(LineRelayState& state) {
    (void)state;
    // Channels still waiting for their connection or their command end
    // now; a transfer under way ends by itself, within its time-outs.
    if (transfer_) transfer_->SetOutcome(false);
    for (DataThread& running : threads_) running.channel->Cancel();
    for (DataThread& running : threads_) running.thread.join();
    threads_.clear();
    pending_.reset();
}

}  // namespace

std::unique_ptr<FtpControlHooks> MakeFtpControlHooks(LineRelayState& state) {
    // ABOR sent as urgent data: its last byte stays in line with the rest.
    const int on = 1;
    ::setsockopt(state.client, SOL_SOCKET, SO_OOBINLINE, &on, sizeof on);
    // Replies and commands are small and often come two in a row (the
    // opening and the final reply of a transfer): held back until the
    // peer's delayed acknowledgement, each transfer would wait for it.
    ::setsockopt(state.client, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    ::setsockopt(state.server, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    return std::make_unique<FtpControl>();
}

}  // namespace engine
