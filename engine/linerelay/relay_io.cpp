#include "engine/linerelay/relay_io.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>

#include "engine/client_io/client_send.h"
#include "engine/core/daily_log.h"
#include "engine/core/engine_settings.h"
#include "engine/core/socket_wait.h"
#include "engine/tls/tls.h"
#include "platform/io/full_write.h"

namespace engine {
namespace {

// Large reads: a retrieved or sent mail then costs few calls.
constexpr std::size_t kReadSize = 4 * kWorkBufferData;
// Reads below this size are logged with their text.
constexpr int kLoggedTextLimit = 257;

int Receive(int socket, TlsSession* tls, int timeoutMs, std::string& into) {
    std::array<char, kReadSize> buffer;
    const int n = SecureRecv(socket, tls, buffer.data(), static_cast<int>(buffer.size()), timeoutMs);
    if (n > 0) into.append(buffer.data(), static_cast<std::size_t>(n));
    return n;
}

// Waits for the server's bytes while the FTP hooks watch the client too,
// handing them what the client sends meanwhile. False when the server sent
// nothing within timeoutMs.
bool AwaitServer(LineRelayState& state, int timeoutMs) {
    const Deadline deadline = Deadline::After(timeoutMs);
    TlsSession* serverTls = state.record->Tls.server.get();
    TlsSession* clientTls = state.record->Tls.client.get();
    while (state.ftp && state.ftp->WatchesClient(state)) {
        if (serverTls && serverTls->HasPending()) return true;
        if (clientTls && clientTls->HasPending()) {
            state.ftp->OnClientWhileWaiting(state);
            continue;
        }
        pollfd sides[2] = {{state.server, POLLIN, 0}, {state.client, POLLIN, 0}};
        const int ready = ::poll(sides, 2, deadline.RemainingMs());
        if (ready < 0 && errno == EINTR) continue;
        if (ready < 0 || sides[0].revents != 0) return true;
        if (sides[1].revents != 0) state.ftp->OnClientWhileWaiting(state);
        if (deadline.RemainingMs() == 0) return false;
    }
    return true;
}

}  // namespace

void LogShortText(const char* function, int clientSocket, std::string_view text) {
    if (text.size() < static_cast<std::size_t>(kLoggedTextLimit))
        WriteLogF("[%s] [%04d] %s", function, clientSocket, ClientText(text).c_str());
}

int ReceiveFromClient(LineRelayState& state, std::string& into, const char* function) {
    return ReceiveFromClientWithin(state, into, function, Settings().timeouts.clientPlain);
}

int ReceiveFromClientWithin(LineRelayState& state, std::string& into, const char* function, int timeoutMs) {
    const std::size_t before = into.size();
    errno = 0;
    const int n = Receive(state.client, state.record->Tls.client.get(), timeoutMs, into);
    if (n < 0 && errno == ETIMEDOUT) return kReceiveTimedOut;
    if (n < 0) {
        WriteLogF("[%s] [%04d] S:recv:%d bytes. / error = %d\n", function, state.client, n, errno);
        return -1;
    }
    if (n > 0) {
        WriteLogF("[%s] [%04d] C:recv:%d bytes.\n", function, state.client, n);
        if (n < kLoggedTextLimit) LogShortText(function, state.client, std::string_view(into).substr(before));
    }
    return n;
}

int ReceiveFromServer(LineRelayState& state, std::string& into, const char* function) {
    const std::size_t before = into.size();
    const int timeoutMs = Settings().timeouts.serverPlain;
    int n;
    do {
        if (AwaitServer(state, timeoutMs)) {
            n = Receive(state.server, state.record->Tls.server.get(), timeoutMs, into);
        } else {
            n = -1;
            errno = ETIMEDOUT;
        }
    } while (n < 0 && errno == ETIMEDOUT && state.ftp && state.ftp->ServerWaitGoesOn(state));
    if (n < 0) {
        WriteLogF("[%s] [%04d] S:recv(%04d):%d bytes. / error = %d\n", function, state.client, state.server, n,
                  errno);
        return -1;
    }
    if (n > 0) {
        WriteLogF("[%s] [%04d] S:recv(%04d):%d bytes.\n", function, state.client, state.server, n);
        if (n < kLoggedTextLimit) LogShortText(function, state.client, std::string_view(into).substr(before));
    }
    return n;
}

bool SendToClient(LineRelayState& state, std::string_view bytes, const char* function) {
    if (bytes.empty()) return true;
    const ssize_t sent = SecureSendData(state.client, state.record->Tls.client.get(), bytes.data(), bytes.size(),
                                        ClientSendTimeout(Settings()));
    if (sent != static_cast<ssize_t>(bytes.size())) {
        WriteLogF("[%s] [%04d] C:send: error = %d\n", function, state.client, errno);
        return false;
    }
    WriteLogF("[%s] [%04d] C:send:%d bytes.\n", function, state.client, static_cast<int>(sent));
    return true;
}

bool SendToServer(LineRelayState& state, std::string_view bytes, const char* function) {
    if (bytes.empty()) return true;
    const ssize_t sent = SecureSendData(state.server, state.record->Tls.server.get(), bytes.data(), bytes.size(),
                                        ClientSendTimeout(Settings()));
    if (sent != static_cast<ssize_t>(bytes.size())) {
        WriteLogF("[%s] [%04d] C:send(%04d): error = %d\n", function, state.client, state.server, errno);
        return false;
    }
    WriteLogF("[%s] [%04d] C:send(%04d):%d bytes.\n", function, state.client, state.server, static_cast<int>(sent));
    return true;
}

bool ReadWholeFile(const std::string& path, std::string& content) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    content.clear();
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            ::close(fd);
            return false;
        }
        if (n == 0) break;
        content.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return true;
}

int OpenForRewrite(const std::string& path) { return ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600); }

bool EndFileAt(int fd, std::uint64_t size) {
    struct stat info;
    if (::fstat(fd, &info) != 0) return false;
    return static_cast<std::uint64_t>(info.st_size) <= size || ::ftruncate(fd, static_cast<off_t>(size)) == 0;
}

bool WriteWholeFile(const std::string& path, std::string_view content) {
    const int fd = OpenForRewrite(path);
    if (fd < 0) return false;
    if (!platform::WriteAll(fd, content)) {
        ::close(fd);
        return false;
    }
    const bool ended = EndFileAt(fd, content.size());
    return ::close(fd) == 0 && ended;
}

}  // namespace engine
