#include "platform/pipe/pipe_internal.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "platform/pipe/pipe.h"
#include "platform/win32_errors.h"

namespace platform::pipe_internal {

bool IsUsableName(std::string_view name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string_view::npos &&
           name.find('\0') == std::string_view::npos;
}

bool SocketAddress(const std::string& path, sockaddr_un* addr) {
    std::memset(addr, 0, sizeof *addr);
    addr->sun_family = AF_UNIX;
    if (path.size() >= sizeof addr->sun_path) return false;
    std::memcpy(addr->sun_path, path.data(), path.size());
    return true;
}

int LockFile(const std::string& path, int* fd) {
    *fd = -1;
    std::error_code ec;
    std::filesystem::create_directories(PipeDirectory(), ec);
    if (ec) return Win32ErrorFromErrno(ec.value());
    int f = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (f < 0) return Win32ErrorFromErrno(errno);
    int rc;
    do {
        rc = ::flock(f, LOCK_EX | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        int err = errno;
        ::close(f);
        return err == EWOULDBLOCK ? kErrorAlreadyExists : Win32ErrorFromErrno(err);
    }
    *fd = f;
    return kErrorSuccess;
}

int WaitReadable(pollfd* fds, int count, uint32_t timeoutMs) {
    using Clock = std::chrono::steady_clock;
    auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        int wait = -1;
        if (timeoutMs != kPipeWaitForever) {
            auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
            wait = left > 0 ? static_cast<int>(left) : 0;
        }
        int rc = ::poll(fds, static_cast<nfds_t>(count), wait);
        if (rc < 0 && errno != EINTR) return -1;
        for (int i = 0; rc > 0 && i < count; ++i)
            if (fds[i].revents) return i;
        if (rc == 0 && wait >= 0) return -1;
    }
}

int SendMessage(int fd, std::string_view text) {
    std::string frame;
    frame.reserve(text.size() + 1);
    frame += kMessageHeader;
    frame += text;
    ssize_t n;
    do {
        n = ::send(fd, frame.data(), frame.size(), MSG_NOSIGNAL);
    } while (n < 0 && errno == EINTR);
    return n < 0 ? Win32ErrorFromErrno(errno) : kErrorSuccess;
}

int ReceiveMessage(int fd, size_t capacity, std::string& text) {
    text.clear();
    std::string buffer(capacity + 1, '\0');
    iovec iov{buffer.data(), buffer.size()};
    msghdr msg{};
    msg.msg_iov = &iov;
    msg.msg_iovlen = 1;
    ssize_t n;
    do {
        n = ::recvmsg(fd, &msg, 0);
    } while (n < 0 && errno == EINTR);
    if (n < 0) return Win32ErrorFromErrno(errno);
    if (n == 0) return kErrorBrokenPipe;  // closed: a message always has its header
    if (buffer[0] != kMessageHeader) return kErrorBadPipe;
    text.assign(buffer, 1, static_cast<size_t>(n) - 1);
    return (msg.msg_flags & MSG_TRUNC) ? kErrorMoreData : kErrorSuccess;
}

int Win32ErrorFromErrno(int err) {
    switch (err) {
    case 0: return kErrorSuccess;
    case ENOENT: return kErrorFileNotFound;
    case ENOTDIR:
    case ENAMETOOLONG: return kErrorPathNotFound;
    case EACCES:
    case EPERM:
    case EROFS: return kErrorAccessDenied;
    case ENOMEM:
    case ENOBUFS: return kErrorNotEnoughMemory;
    case EPIPE:
    case ECONNRESET: return kErrorBrokenPipe;
    case ENOTCONN: return kErrorPipeNotConnected;
    case EINVAL: return kErrorInvalidParameter;
    default: return kErrorBadPipe;
    }
}

}  // namespace platform::pipe_internal
