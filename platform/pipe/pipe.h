// Named pipes the way the servers and their clients use them: one server
// instance per name, one request message and at most one reply message per
// connection, errors as Win32 numbers.
//
// A pipe "\\.\pipe\NAME" is a Unix-domain SOCK_SEQPACKET socket at
// $VELQOR_PIPE_DIR/NAME (default /run/velqor). Every message carries a
// one-byte header, so a reply of zero bytes of text is told apart from a
// server that closed without replying.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

// Client wait times, as CallNamedPipe takes them.
constexpr uint32_t kPipeWaitForever = 0xFFFFFFFF;  // NMPWAIT_WAIT_FOREVER
constexpr uint32_t kPipeUseDefaultWait = 0;        // NMPWAIT_USE_DEFAULT_WAIT: the servers' 1000 ms
constexpr uint32_t kPipeNoWait = 1;                // NMPWAIT_NOWAIT
// How long ServeOne waits for the request of a connected client.
constexpr uint32_t kServeRequestWaitMs = 5000;

// "\\.\pipe\orqavs" and "orqavs" both give "orqavs"; blanks are kept.
std::string PipeBaseName(std::string_view name);
// $VELQOR_PIPE_DIR, or /run/velqor when unset or empty.
std::string PipeDirectory();
// Where the socket of the pipe lies.
std::string PipeSocketPath(std::string_view name);

// One transaction: connect, send the whole request, read one reply of at
// most replyCapacity bytes, close. While the server is busy with another
// client, waits up to timeoutMs for it to become free; the reply is waited
// for up to replyTimeoutMs (by default without limit, as on Windows).
// Returns 0 with the reply (possibly empty), or:
//   kErrorPipeBusy (231)     still busy when the wait ran out
//   kErrorFileNotFound (2)   nobody serves the pipe
//   kErrorMoreData (234)     the reply was longer; `reply` holds the part that fits
//   kErrorBrokenPipe (109)   the server ended the connection without a reply
//   kErrorSemTimeout (121)   no reply within replyTimeoutMs
int CallNamedPipe(std::string_view name, std::string_view request, size_t replyCapacity,
                  std::string& reply, uint32_t timeoutMs, uint32_t replyTimeoutMs = kPipeWaitForever);

// The one instance of a pipe. Between the waits for a client the instance
// counts as busy: a client then gets 231 (or keeps waiting, as its wait
// time says) instead of queueing unseen behind the client being served.
class PipeServer {
public:
    // Serves `name`; requests are read up to maxRequest bytes. Returns null
    // with *error set when the pipe cannot be made; kErrorPipeBusy when
    // another server (of any process) already serves the name. The socket
    // lets in whom the umask allows, or with `everybody` every user who can
    // reach the pipe folder (a NULL DACL: the folder's permissions govern).
    static std::unique_ptr<PipeServer> Create(std::string_view name, size_t maxRequest, int* error,
                                              bool everybody = false);
    ~PipeServer();
    PipeServer(const PipeServer&) = delete;
    PipeServer& operator=(const PipeServer&) = delete;

    enum class WaitResult { Connected, TimedOut, Stopped };
    // Waits for the next client (dropping one still connected), at most
    // timeoutMs, or without limit with kPipeWaitForever.
    WaitResult WaitForClient(uint32_t timeoutMs = kPipeWaitForever);
    // Drops a client still connected and lets the next one connect now,
    // before the wait for it: like a connect started ahead of the wait, the
    // client's connection is held until the next WaitForClient takes it,
    // instead of being refused as busy meanwhile.
    void Listen();
    // Reads the connected client's request: 0; kErrorMoreData when it was cut
    // to maxRequest bytes; kErrorBrokenPipe when the client sent nothing;
    // kErrorOperationAborted when the server was stopped meanwhile;
    // kErrorSemTimeout when nothing came within timeoutMs.
    int ReadRequest(std::string& request, uint32_t timeoutMs = kPipeWaitForever);
    // Sends the reply message: 0, or kErrorBrokenPipe when the client has gone.
    int WriteReply(std::string_view reply);
    void Disconnect();

    // The handler gets the request and ReadRequest's result, and returns
    // the reply, or nothing to close the connection without a reply.
    using Handler = std::function<std::optional<std::string>(const std::string& request, int readError)>;
    // Wait, read, handle, reply, disconnect. False once the server is stopped.
    // A client sends its request as soon as it is connected; one that says
    // nothing for requestWaitMs is handled as a failed read (the handler
    // gets kErrorSemTimeout), so it cannot hold a single-threaded server and
    // every client behind it.
    bool ServeOne(const Handler& handler, uint32_t requestWaitMs = kServeRequestWaitMs);

    // Makes the current and every later wait return Stopped. Safe to call
    // from another thread and from a signal handler.
    void Stop();
    bool stopped() const;

private:
    PipeServer() = default;
    void ArmIdleGuard();
    void DrainIdleGuard();

    std::string socketPath_;
    size_t maxRequest_ = 0;
    int lockFd_ = -1;
    int listenFd_ = -1;
    int stopFd_ = -1;
    int clientFd_ = -1;
    int idleGuardFd_ = -1;
    std::atomic<bool> stopped_{false};
};

}  // namespace platform
