#include <sys/socket.h>
#include <sys/un.h>
#include <syslog.h>
#include <time.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <ctime>

#include "platform/service/service.h"

namespace platform {

namespace {

// One datagram in the form syslog(3) sends to /dev/log, to the socket that
// $VELQOR_SYSLOG_SOCKET names (tests listen there instead of the system's
// log). False when there is no such socket to send to.
bool SendToLogSocket(const char* path, int priority, const std::string& source, const std::string& message) {
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (std::strlen(path) >= sizeof addr.sun_path) return false;
    std::strcpy(addr.sun_path, path);
    int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    time_t now = ::time(nullptr);
    tm local{};
    ::localtime_r(&now, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%b %e %H:%M:%S", &local);
    std::string line = "<" + std::to_string(LOG_DAEMON | priority) + ">" + stamp + " " + source + "[" +
                       std::to_string(::getpid()) + "]: " + message;
    ssize_t sent = ::sendto(fd, line.data(), line.size(), MSG_NOSIGNAL, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    ::close(fd);
    return sent == static_cast<ssize_t>(line.size());
}

}  // namespace

void ReportEvent(const std::string& source, uint16_t type, const std::string& message) {
    int priority = type == kEventLogErrorType ? LOG_ERR : type == kEventLogWarningType ? LOG_WARNING : LOG_INFO;
    if (const char* socket = std::getenv("VELQOR_SYSLOG_SOCKET"); socket && *socket) {
        SendToLogSocket(socket, priority, source, message);
        return;
    }
    // syslog keeps the ident pointer until closelog.
    openlog(source.c_str(), LOG_PID | LOG_NDELAY, LOG_DAEMON);
    syslog(priority, "%s", message.c_str());
    closelog();
}

}  // namespace platform
