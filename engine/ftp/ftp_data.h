// Prepared FTP data channels: the meeting point of an FTP control relay
// (the FTP proxy, or an FTP control connection relayed by the SOCKS proxy),
// the data thread that serves the channel, and the SOCKS proxy, which
// takes a connection for FTP data only when a control relay has prepared a
// channel on its destination port.
//
// The control relay prepares a channel when it rewrites a PASV, EPSV, PORT
// or EPRT exchange: it binds the engine's data port (BindDataPort), puts
// the channel in the registry under that port, and, once the client's
// command that uses the channel (RETR, STOR, LIST ...) is known, sets the
// channel's plan. The data side looks the channel up, waits for the plan
// (bounded, and cut short when the control connection ends) and moves the
// bytes the plan's way.
//
// Channels are told apart by a serial number, never by a socket number: a
// descriptor number (and a data port) can be handed out again while an
// older channel on it is still being served.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <condition_variable>
#include <string>

#include "engine/ftp/cancel_signal.h"

namespace engine {

// What the command that uses a channel makes of it.
struct FtpDataPlan {
    // The server sends and the client receives (RETR, LIST, NLST, MLSD);
    // false: the client sends (STOR, STOU, APPE).
    bool download = true;
    // Serve the client the FTP cache file at cachePath in place of the
    // bytes that arrive; without it a non-empty cachePath is where the
    // transfer is stored for later.
    bool useCache = false;
    std::string cachePath;
};

enum class FtpDataWait {
    Ready,     // the plan is there
    TimedOut,  // the limit passed without a plan
    Cancelled  // the control connection ended (or gave the channel up)
};

class FtpDataChannel {
public:
    // Use PrepareFtpDataChannel.
    FtpDataChannel(uint64_t serial, int port, int controlSocket, bool passive, std::string listenAddress = {},
                   std::string serverHost = {});
    FtpDataChannel(const FtpDataChannel&) = delete;
    FtpDataChannel& operator=(const FtpDataChannel&) = delete;

    uint64_t serial() const { return serial_; }
    // The engine's local data port the data peer connects to.
    int port() const { return port_; }
    // The control connection's client socket: the number in log lines.
    int controlSocket() const { return controlSocket_; }
    // The client connects to the engine (PASV, EPSV); false: the server
    // does (PORT, EPRT).
    bool passive() const { return passive_; }
    // The numeric address the channel's listener is bound on (may be empty).
    const std::string& listenAddress() const { return listenAddress_; }
    // The FTP server as a SOCKS client named it for the control connection
    // (empty elsewhere).
    const std::string& serverHost() const { return serverHost_; }

    // Control side: the command that uses the channel is known.
    void SetPlan(const FtpDataPlan& plan);
    // Control side: ends every wait on the channel, now and later.
    void Cancel();
    // Control side: the transfer is called off (the client's ABOR, or a
    // final reply that says it failed): beyond the waits of Cancel, the
    // bytes under way stop too.
    void Abort();
    bool Aborted() const { return abort_.Cancelled(); }
    // Fires once the channel is aborted: polled beside the data sockets
    // while bytes move.
    const CancelSignal& abortSignal() const { return abort_; }
    // Control side: the server's final reply to the transfer came; complete
    // when it was positive (226, 250).
    void SetOutcome(bool complete);

    // Data side: waits at most `limit` for the plan.
    FtpDataWait WaitForPlan(std::chrono::milliseconds limit, FtpDataPlan& plan) const;
    // Data side: waits at most `limit` for the server's final reply. True
    // only when it came and was positive: a transfer that the client
    // aborted or the server cut short also ends its data connection in
    // order, and must not be kept as a whole file.
    bool WaitForCompleteTransfer(std::chrono::milliseconds limit) const;
    // Data side: takes the channel for one data connection. Only the first
    // claim succeeds; a cancelled channel can't be claimed.
    bool Claim();
    bool Cancelled() const;
    // Neither claimed nor cancelled: still waiting for its data connection.
    // The SOCKS proxy asks this when it looks a port up (without claiming:
    // the engine's own data listener claims the channel when the SOCKS
    // proxy's connection reaches it).
    bool Available() const;
    // A descriptor that becomes readable once the channel is cancelled, to
    // poll beside a socket (accept, connect and receive waits).
    int CancelDescriptor() const { return cancel_.descriptor(); }
    const CancelSignal& cancelSignal() const { return cancel_; }

    // Data side: bytes moved (or the data connection came, or it ended).
    // The control side waits for the transfer's final reply as long as the
    // transfer stays alive.
    void NoteProgress();
    void NoteEnd();
    // Control side: the data side has ended, and when it last moved.
    bool Ended() const { return end_.Cancelled(); }
    std::chrono::steady_clock::time_point LastProgress() const;
    // Not ended, and bytes moved within the limit: a relay in front of the
    // channel (SOCKS) that has nothing to move yet waits on.
    bool Moving(std::chrono::milliseconds limit) const;
    // Readable once the data side has ended: the control side polls it
    // beside the client's control connection while it holds a reply back.
    int EndDescriptor() const { return end_.descriptor(); }
    // The plan is known and sends the server's bytes to the client.
    bool Download() const;

    // Data side: the scan found `finding` in what the client sent; the
    // transfer was cut off at the server and nothing went on.
    void SetUploadFinding(const std::string& finding);
    std::string UploadFinding() const;

private:
    const uint64_t serial_;
    const int port_;
    const int controlSocket_;
    const bool passive_;
    const std::string listenAddress_;
    const std::string serverHost_;
    CancelSignal cancel_;
    CancelSignal abort_;
    CancelSignal end_;
    mutable std::mutex lock_;
    mutable std::condition_variable changed_;
    bool planned_ = false;
    bool cancelled_ = false;
    bool claimed_ = false;
    bool outcomeKnown_ = false;
    bool complete_ = false;
    FtpDataPlan plan_;
    std::string uploadFinding_;
    std::atomic<std::chrono::steady_clock::rep> lastProgress_;
};

using FtpDataChannelPtr = std::shared_ptr<FtpDataChannel>;

// Makes a channel on the local data port and puts it in the registry,
// where it stays until ForgetFtpDataChannel.
FtpDataChannelPtr PrepareFtpDataChannel(int port, int controlSocket, bool passive,
                                        const std::string& listenAddress = {}, const std::string& serverHost = {});

// The newest channel on the local port that is neither claimed nor
// cancelled, or null: only such a channel makes a connection FTP data.
// With a `host`, only a channel whose listener is bound on that address, or
// whose FTP server the SOCKS client named so: a client that takes the data
// port alone (EPSV, or a 227 whose address it skips) connects to the server
// of the control connection, and its connection belongs at the listener.
// Any other host on the same port is no FTP data.
FtpDataChannelPtr FindFtpDataChannel(int port, const std::string& host = {});

// The newest channel on the local port in whatever state, or null: the
// SOCKS proxy's relay in front of the data listener follows its progress.
FtpDataChannelPtr NewestFtpDataChannel(int port);

// Takes the channel out of the registry (the data side when it is done,
// the control side when it gives the channel up). Its holders keep it.
void ForgetFtpDataChannel(const FtpDataChannel& channel);

}  // namespace engine
