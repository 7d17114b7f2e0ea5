#include "engine/ftp/ftp_data_main.h"

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/file_retry.h"
#include "engine/cache/cache_store.h"
#include "engine/core/connection.h"
#include "engine/core/daily_log.h"
#include "engine/core/engine_settings.h"
#include "engine/core/pipe_clients.h"
#include "engine/ftp/data_socket.h"
#include "engine/ftp/ftp_client.h"

namespace engine {

namespace {

std::string DataSpoolPath() {
    char name[64];
    std::snprintf(name, sizeof name, "req-%d-%04d.dat", Settings().protocol, NextSpoolNumber());
    return Settings().dataFolder + "cache/" + name;
}

// Copies the file `from` over `to`, published whole.
bool CopyFile(const std::string& from, const std::string& to, int socket) {
    FILE* source = std::fopen(from.c_str(), "rb");
    if (!source) return false;
    bool stored = StoreInCache(to, source, socket, socket, NextSpoolNumber());
    std::fclose(source);
    return stored;
}

// Ends a connection with a reset rather than in order: a peer that is
// told the stream ended in order takes what it got as the whole file.
void Reset(int socket) {
    sockaddr unspecified{};
    unspecified.sa_family = AF_UNSPEC;
    ::connect(socket, &unspecified, sizeof unspecified);
}

// Moves the bytes one way: `from` is read to its end into the spool, the
// spool scanned (and taken from or put in the cache), then sent to `to`.
// towardsAccepted: the bytes flow from the connected peer to the accepted
// one (ClientToServerDataSession and its log lines), else the other way
// (ServerToClientDataSession).
bool DataSession(bool towardsAccepted, int from, int to, const FtpDataPlan& plan, const DataChannelParams& params) {
    const EngineSettings& settings = Settings();
    FtpDataChannel& channel = *params.channel;
    const char* name = towardsAccepted ? "ClientToServerDataSession" : "ServerToClientDataSession";
    const char* recvLabel = towardsAccepted ? "C:recv" : "S:recv";
    WriteLogF("[%s] sockSv=[%04d], sockCl=[%04d] start.\n", name, towardsAccepted ? to : from,
              towardsAccepted ? from : to);
    const std::string spool = DataSpoolPath();
    FILE* file = std::fopen(spool.c_str(), "w+b");
    if (!file) {
        WriteLogF("[%s] [%04d] spool not open. (%s)\n", name, from, spool.c_str());
        return false;
    }
    const auto onChunk = [&](const char* data, size_t size) {
        channel.NoteProgress();
        WriteLogF("[%s] %s(%04d):%d bytes.\n", name, recvLabel, from, static_cast<int>(size));
        if (size <= 256) WriteLogF("%.*s\n", static_cast<int>(size), data);
    };
    const CancelSignal* aborted = &channel.abortSignal();
    ReceiveResult received = ReceiveToFile(from, file, aborted, FtpWaitMs(), onChunk, to);
    // Under SOCKS the bytes come through the SOCKS relay, which gathers
    // them before it sends them on: while it moves them, the wait goes on.
    while (received.error == ETIMEDOUT && channel.Moving(std::chrono::milliseconds(FtpWaitMs()))) {
        const uint64_t before = received.bytes;
        received = ReceiveToFile(from, file, aborted, FtpWaitMs(), onChunk, to);
        received.bytes += before;
    }
    if (!received.ended)
        WriteLogF("[%s] %s(%04d):%d bytes. / WSAGetLastError() = %d\n", name, recvLabel, from, -1, received.error);
    const bool whole = received.ended && std::fflush(file) == 0;
    std::fclose(file);
    if (received.receiverGone || channel.Aborted()) {
        // Nobody takes the rest (the receiver went, or the client aborted
        // the transfer or the server failed it): the sender stops now, the
        // receiver gets nothing, and the spool goes.
        WriteLogF("[%s] [%04d] %s after %llu bytes: transfer aborted.\n", name, from,
                  received.receiverGone ? "receiver gone" : "called off",
                  static_cast<unsigned long long>(received.bytes));
        Reset(from);
        if (!received.receiverGone) Reset(to);
        common::DeleteWithRetry(spool);
        return false;
    }

    std::string finding;
    ScanFile(settings, params.scanProtocol, channel.controlSocket(), spool, finding);
    WriteLogF("[%s] [%04d] [%s] VIRUS result [%s]\n", name, from, spool.c_str(),
              finding.empty() ? "CLEAN" : finding.c_str());
    if (!finding.empty() && !plan.download) {
        // An upload with a finding never reaches the server, not even as
        // the finding's text under the client's file name: the server is
        // told the transfer failed, the control side tells the client why.
        channel.SetUploadFinding(finding);
        Reset(to);
        common::DeleteWithRetry(spool);
        return false;
    }
    if (!finding.empty()) {
        // The receiver gets the finding in place of the data.
        FILE* found = std::fopen(spool.c_str(), "wb");
        if (found) {
            std::fprintf(found, "Found %s\r\n", finding.c_str());
            std::fclose(found);
        }
    } else if (plan.useCache && !plan.cachePath.empty()) {
        WriteLogF("[%s] [%04d] FTP cash useing. %s\n", name, from, plan.cachePath.c_str());
        CopyFile(plan.cachePath, spool, from);
    }

    bool sent = false;
    if (whole || !finding.empty() || plan.useCache) {
        FILE* out = std::fopen(spool.c_str(), "rb");
        if (out) {
            sent = SendFileToSocket(
                out, to, FtpWaitMs(),
                [&](size_t read, ssize_t bytes) {
                    channel.NoteProgress();
                    if (towardsAccepted)
                        WriteLogF("[%s] S:send(%04d): fread %d bytes. / %d bytes. / WSAGetLastError() = %d\n", name,
                                  to, static_cast<int>(read), static_cast<int>(bytes), bytes < 0 ? errno : 0);
                    else
                        WriteLogF("[%s] C:send(%04d):%d bytes.\n", name, to, static_cast<int>(bytes));
                },
                aborted);
            std::fclose(out);
            if (!sent && channel.Aborted()) {
                // What the receiver has is part of the file: it must not
                // end in order, as a whole file would.
                WriteLogF("[%s] [%04d] send called off: transfer aborted.\n", name, to);
                Reset(to);
            }
        }
    }
    // Only a clean transfer that arrived whole, as the server's final reply
    // confirms, is served again later. The receiver has its copy already.
    if (finding.empty() && !plan.useCache && !plan.cachePath.empty() && whole &&
        channel.WaitForCompleteTransfer(std::chrono::milliseconds(FtpWaitMs()))) {
        WriteLogF("[%s] [%04d] FTP cash making. %s\n", name, from, plan.cachePath.c_str());
        CopyFile(spool, plan.cachePath, from);
    }
    common::DeleteWithRetry(spool);
    return sent;
}

}  // namespace

int FTPDataDispatch(int accepted, const DataChannelParams& params) {
    const FtpDataChannel& channel = *params.channel;
    const int control = channel.controlSocket();
    const std::string peerHost = AddressText(params.connectTo);
    const int peerPort = AddressPort(params.connectTo);
    WriteLogF("[FTPDataDispatch] [%04d] start. %s %d\n", accepted, peerHost.c_str(), peerPort);

    int connected = ConnectDataPeer(params.connectTo, &channel.cancelSignal(), FtpWaitMs());
    if (connected < 0) {
        WriteLogF("[FTPDataDispatch] [%04d] Connect Server fail. [%04d]\n", accepted, -1);
        return 0;
    }
    WriteLogF("[FTPDataDispatch] [%04d] [%04d] sender connect success.\n", accepted, connected);

    // The client's command that uses the channel may come after its data
    // connection (passive mode: connect, then RETR).
    FtpDataPlan plan;
    FtpDataWait wait = channel.WaitForPlan(std::chrono::milliseconds(FtpWaitMs()), plan);
    if (wait == FtpDataWait::Ready) {
        // In passive mode the client connected to us; in active mode the
        // server did. A download flows from the server to the client.
        const bool towardsAccepted = channel.passive() == plan.download;
        if (towardsAccepted)
            DataSession(true, connected, accepted, plan, params);
        else
            DataSession(false, accepted, connected, plan, params);
    } else {
        WriteLogF("[FTPDataDispatch] [%04d] no command for the data connection (%s).\n", control,
                  wait == FtpDataWait::Cancelled ? "control connection ended" : "time-out");
    }
    ::shutdown(connected, SHUT_RDWR);
    ::close(connected);
    WriteLogF("[FTPDataDispatch] [%04d] Close Server socket. [%04d]\n", accepted, connected);
    return 0;
}

int FTPDataMain(DataChannelParams params) {
    const FtpDataChannelPtr channel = params.channel;
    const int control = channel->controlSocket();
    WriteLogF("[FTPDataMain] [%04d] ls.mIP = %s / ls.mSvIP = %s\n", control, params.listenAddress.c_str(),
              AddressText(params.connectTo).c_str());
    WriteLogF("[FTPDataMain] [%04d] wait select()\n", control);
    int accepted = AcceptDataPeer(params.listenSocket, params.acceptFrom, &channel->cancelSignal(), FtpWaitMs());
    int result = 1;
    if (accepted < 0) {
        WriteLogF("[FTPDataMain] accept(%04d) failed. WSAGetLastError() = %d\n", params.listenSocket, errno);
    } else if (!channel->Claim()) {
        ::close(accepted);
    } else {
        WriteLogF("[FTPDataMain] Accept Client sokect.(%08x)(%08x)\n", accepted, params.listenSocket);
        channel->NoteProgress();
        FTPDataDispatch(accepted, params);
        ::shutdown(accepted, SHUT_RDWR);
        ::close(accepted);
    }
    ::close(params.listenSocket);
    channel->NoteEnd();
    ForgetFtpDataChannel(*channel);
    return result;
}

}  // namespace engine
