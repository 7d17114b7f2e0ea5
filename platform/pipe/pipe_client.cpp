#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <thread>

#include "platform/pipe/pipe.h"
#include "platform/pipe/pipe_internal.h"
#include "platform/win32_errors.h"

namespace platform {

using namespace pipe_internal;

namespace {

constexpr std::string_view kPipePrefix = "\\\\.\\pipe\\";
constexpr uint32_t kServerDefaultWaitMs = 1000;  // every server's default time-out
// How often a waiting client looks whether the busy server has become free:
// soon at first, since a server that has just answered the client before is
// back at its wait within a fraction of a millisecond (a fixed 5 ms made
// every back-to-back request of a busy proxy wait that long), then less
// often, so a server at work on a long request is not asked all the time.
constexpr auto kFirstBusyPoll = std::chrono::microseconds(100);
constexpr auto kLongestBusyPoll = std::chrono::microseconds(5000);

// One connect attempt, without waiting: 0 with *fd, kErrorPipeBusy while
// the server's one queue place is taken, kErrorFileNotFound when nobody
// listens there.
int ConnectOnce(const sockaddr_un& addr, int* fd) {
    int s = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (s < 0) return Win32ErrorFromErrno(errno);
    int rc;
    do {
        rc = ::connect(s, reinterpret_cast<const sockaddr*>(&addr), sizeof addr);
    } while (rc != 0 && errno == EINTR);
    if (rc == 0) {
        ::fcntl(s, F_SETFL, ::fcntl(s, F_GETFL) & ~O_NONBLOCK);
        *fd = s;
        return kErrorSuccess;
    }
    int err = errno;
    ::close(s);
    if (err == EAGAIN) return kErrorPipeBusy;
    if (err == ENOENT || err == ECONNREFUSED) return kErrorFileNotFound;  // refused: a stale socket file
    return Win32ErrorFromErrno(err);
}

}  // namespace

std::string PipeBaseName(std::string_view name) {
    if (name.substr(0, kPipePrefix.size()) == kPipePrefix) name.remove_prefix(kPipePrefix.size());
    return std::string(name);
}

std::string PipeDirectory() {
    const char* dir = std::getenv("VELQOR_PIPE_DIR");
    return dir && *dir ? dir : "/run/velqor";
}

std::string PipeSocketPath(std::string_view name) { return PipeDirectory() + "/" + PipeBaseName(name); }

int CallNamedPipe(std::string_view name, std::string_view request, size_t replyCapacity,
                  std::string& reply, uint32_t timeoutMs, uint32_t replyTimeoutMs) {
    reply.clear();
    sockaddr_un addr;
    if (!IsUsableName(PipeBaseName(name)) || !SocketAddress(PipeSocketPath(name), &addr))
        return kErrorInvalidParameter;

    uint32_t waitMs = timeoutMs == kPipeUseDefaultWait ? kServerDefaultWaitMs : timeoutMs;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
    int fd = -1;
    auto poll = kFirstBusyPoll;
    for (;;) {
        int err = ConnectOnce(addr, &fd);
        if (err != kErrorPipeBusy) {
            if (err != kErrorSuccess) return err;
            break;
        }
        if (waitMs != kPipeWaitForever && std::chrono::steady_clock::now() >= deadline) return kErrorPipeBusy;
        std::this_thread::sleep_for(poll);
        poll = std::min(poll * 2, kLongestBusyPoll);
    }

    int err = SendMessage(fd, request);
    pollfd wait{fd, POLLIN, 0};
    if (err == kErrorSuccess && replyTimeoutMs != kPipeWaitForever && WaitReadable(&wait, 1, replyTimeoutMs) != 0)
        err = kErrorSemTimeout;
    if (err == kErrorSuccess) err = ReceiveMessage(fd, replyCapacity, reply);
    ::close(fd);
    if (err != kErrorSuccess && err != kErrorMoreData) reply.clear();
    return err;
}

}  // namespace platform
