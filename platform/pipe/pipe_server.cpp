#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

#include "platform/pipe/pipe.h"
#include "platform/pipe/pipe_internal.h"
#include "platform/win32_errors.h"

namespace platform {

using namespace pipe_internal;

namespace {

void CloseFd(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

// A failing accept leaves the client queued; the wait pauses this long
// before it ends, so a caller that waits in a loop cannot spin.
constexpr uint32_t kAcceptFailurePauseMs = 100;

}  // namespace

std::unique_ptr<PipeServer> PipeServer::Create(std::string_view name, size_t maxRequest, int* error,
                                               bool everybody) {
    auto fail = [error](int err) {
        if (error) *error = err;
        return nullptr;
    };
    std::string base = PipeBaseName(name);
    std::unique_ptr<PipeServer> server(new PipeServer());
    server->socketPath_ = PipeSocketPath(base);
    server->maxRequest_ = maxRequest;
    sockaddr_un addr;
    if (!IsUsableName(base) || !SocketAddress(server->socketPath_, &addr)) return fail(kErrorInvalidParameter);

    // One server per name, in whatever process. The lock file is not the
    // named mutex of the same name, which the servers take as well.
    int err = LockFile(server->socketPath_ + ".pipe.lock", &server->lockFd_);
    if (err == kErrorAlreadyExists) return fail(kErrorPipeBusy);
    if (err != kErrorSuccess) return fail(err);
    // Holding the lock, a socket file found here is a dead server's.
    if (::unlink(server->socketPath_.c_str()) != 0 && errno != ENOENT) return fail(Win32ErrorFromErrno(errno));

    server->listenFd_ = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    server->stopFd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (server->listenFd_ < 0 || server->stopFd_ < 0) return fail(Win32ErrorFromErrno(errno));
    if (::bind(server->listenFd_, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(server->listenFd_, 0) != 0)
        return fail(Win32ErrorFromErrno(errno));
    // Connecting takes write permission on the socket file, which the umask
    // has narrowed; until this widens it, fewer may connect, never more.
    if (everybody && ::chmod(server->socketPath_.c_str(), 0777) != 0) return fail(Win32ErrorFromErrno(errno));
    server->ArmIdleGuard();
    if (error) *error = kErrorSuccess;
    return server;
}

PipeServer::~PipeServer() {
    Disconnect();
    CloseFd(idleGuardFd_);
    CloseFd(listenFd_);
    CloseFd(stopFd_);
    if (lockFd_ >= 0) ::unlink(socketPath_.c_str());  // ours: we still hold the lock
    CloseFd(lockFd_);
}

// A listen queue of backlog 0 holds one connection. While the server is not
// waiting for a client, a connection of its own fills that place, so a
// client's connect fails at once with EAGAIN (busy) instead of queueing
// unseen. A client that took the place first just waits in the queue for
// the next WaitForClient.
void PipeServer::ArmIdleGuard() {
    sockaddr_un addr;
    if (idleGuardFd_ >= 0 || !SocketAddress(socketPath_, &addr)) return;
    int fd = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return;
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0)
        idleGuardFd_ = fd;
    else
        ::close(fd);
}

void PipeServer::DrainIdleGuard() {
    if (idleGuardFd_ < 0) return;
    CloseFd(idleGuardFd_);
    // The guard's connection is the only one in the queue.
    int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd >= 0) ::close(fd);
}

void PipeServer::Listen() {
    Disconnect();
    DrainIdleGuard();
}

PipeServer::WaitResult PipeServer::WaitForClient(uint32_t timeoutMs) {
    Disconnect();
    if (stopped()) return WaitResult::Stopped;
    DrainIdleGuard();
    WaitResult result = WaitResult::TimedOut;
    for (;;) {
        pollfd fds[2] = {{stopFd_, POLLIN, 0}, {listenFd_, POLLIN, 0}};
        int ready = WaitReadable(fds, 2, timeoutMs);
        if (ready == 0) {
            result = WaitResult::Stopped;
        } else if (ready == 1) {
            clientFd_ = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
            if (clientFd_ < 0 && (errno == EAGAIN || errno == EINTR || errno == ECONNABORTED)) continue;
            if (clientFd_ >= 0) {
                result = WaitResult::Connected;
            } else {
                // Out of descriptors or memory: the client stays queued and
                // poll would report it again at once, so a caller that waits
                // in a loop would spin. Pause (a stop still ends the pause).
                pollfd stop = {stopFd_, POLLIN, 0};
                if (WaitReadable(&stop, 1, kAcceptFailurePauseMs) == 0) result = WaitResult::Stopped;
            }
        }
        break;
    }
    ArmIdleGuard();
    return result;
}

int PipeServer::ReadRequest(std::string& request, uint32_t timeoutMs) {
    request.clear();
    if (clientFd_ < 0) return kErrorPipeNotConnected;
    pollfd fds[2] = {{stopFd_, POLLIN, 0}, {clientFd_, POLLIN, 0}};
    int ready = WaitReadable(fds, 2, timeoutMs);
    if (ready == 0) return kErrorOperationAborted;
    if (ready < 0) return kErrorSemTimeout;
    return ReceiveMessage(clientFd_, maxRequest_, request);
}

int PipeServer::WriteReply(std::string_view reply) {
    if (clientFd_ < 0) return kErrorPipeNotConnected;
    return SendMessage(clientFd_, reply);
}

void PipeServer::Disconnect() {
    if (clientFd_ >= 0) ::shutdown(clientFd_, SHUT_RDWR);
    CloseFd(clientFd_);
}

bool PipeServer::ServeOne(const Handler& handler, uint32_t requestWaitMs) {
    if (WaitForClient() != WaitResult::Connected) return false;
    std::string request;
    int readError = ReadRequest(request, requestWaitMs);
    if (readError == kErrorOperationAborted) {
        Disconnect();
        return false;
    }
    std::optional<std::string> reply = handler(request, readError);
    if (reply) WriteReply(*reply);
    Disconnect();
    return true;
}

void PipeServer::Stop() {
    stopped_ = true;
    uint64_t one = 1;
    if (::write(stopFd_, &one, sizeof one) < 0) {
        // Already signalled to the limit: the wait wakes all the same.
    }
}

bool PipeServer::stopped() const { return stopped_; }

}  // namespace platform
