// Service control dispatcher, status reports and console control events.
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>

#include "platform/service/service.h"
#include "platform/service/signal_watcher.h"
#include "platform/win32_errors.h"

namespace platform {

namespace {

std::mutex controlLock;
ServiceControlHandler controlHandler = nullptr;
bool stopArrivedEarly = false;

void DeliverStopControl(int) {
    ServiceControlHandler handler;
    {
        std::lock_guard<std::mutex> guard(controlLock);
        handler = controlHandler;
        if (!handler) stopArrivedEarly = true;
    }
    if (handler) handler(kServiceControlStop);
}

// Only NOTIFY_SOCKET counts: the unit is Type=notify, and INVOCATION_ID is
// inherited by shells in desktop terminals, where the program must print its
// usage rather than run as the service.
bool StartedByServiceManager() {
    const char* value = std::getenv("NOTIFY_SOCKET");
    return value && *value;
}

// One datagram to systemd's notification socket, as sd_notify sends it.
bool NotifyServiceManager(const std::string& text) {
    const char* path = std::getenv("NOTIFY_SOCKET");
    if (!path || !*path) return true;
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    size_t length = std::strlen(path);
    if (length >= sizeof addr.sun_path) return false;
    std::memcpy(addr.sun_path, path, length);
    if (path[0] == '@') addr.sun_path[0] = '\0';  // abstract namespace
    int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    auto size = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + length);
    ssize_t sent = ::sendto(fd, text.data(), text.size(), MSG_NOSIGNAL, reinterpret_cast<sockaddr*>(&addr), size);
    ::close(fd);
    return sent == static_cast<ssize_t>(text.size());
}

std::mutex consoleLock;
std::atomic<ConsoleCtrlHandler> consoleHandler{nullptr};
std::unique_ptr<SignalWatcher> consoleWatcher;

uint32_t ConsoleEventOf(int sig) {
    if (sig == SIGINT) return kCtrlCEvent;
    if (sig == SIGQUIT) return kCtrlBreakEvent;
    return kCtrlCloseEvent;
}

void DeliverConsoleEvent(int sig) {
    ConsoleCtrlHandler handler = consoleHandler;
    if (handler && handler(ConsoleEventOf(sig))) return;
    // Not handled: the signal has its usual effect.
    ::signal(sig, SIG_DFL);
    sigset_t one;
    sigemptyset(&one);
    sigaddset(&one, sig);
    pthread_sigmask(SIG_UNBLOCK, &one, nullptr);
    ::raise(sig);
}

}  // namespace

int StartServiceCtrlDispatcher(const std::string&, ServiceMainFunction serviceMain, int argc, char** argv) {
    if (!StartedByServiceManager()) return kErrorFailedServiceControllerConnect;
    {
        SignalWatcher watcher({SIGTERM}, DeliverStopControl);
        serviceMain(argc, argv);
    }
    std::lock_guard<std::mutex> guard(controlLock);
    controlHandler = nullptr;
    stopArrivedEarly = false;
    return kErrorSuccess;
}

bool RegisterServiceCtrlHandler(const std::string&, ServiceControlHandler handler) {
    if (!handler) return false;
    bool deliverNow;
    {
        std::lock_guard<std::mutex> guard(controlLock);
        controlHandler = handler;
        deliverNow = stopArrivedEarly;
        stopArrivedEarly = false;
    }
    if (deliverNow) handler(kServiceControlStop);
    return true;
}

bool SetServiceStatus(const ServiceStatus& status) {
    std::string text;
    switch (status.currentState) {
    case kServiceStartPending: text = "STATUS=Starting\n"; break;
    case kServiceRunning: text = "READY=1\nSTATUS=Running\n"; break;
    case kServiceStopPending: text = "STOPPING=1\nSTATUS=Stopping\n"; break;
    default:
        text = "STATUS=Stopped";
        if (status.win32ExitCode != 0) text += " (error " + std::to_string(status.win32ExitCode) + ")";
        text += "\n";
        break;
    }
    return NotifyServiceManager(text);
}

bool SetConsoleCtrlHandler(ConsoleCtrlHandler handler, bool add) {
    std::lock_guard<std::mutex> guard(consoleLock);
    if (add) {
        if (!handler) return false;
        consoleHandler = handler;
        if (!consoleWatcher)
            consoleWatcher = std::make_unique<SignalWatcher>(std::initializer_list<int>{SIGINT, SIGQUIT, SIGTERM, SIGHUP},
                                                             DeliverConsoleEvent);
        return true;
    }
    if (handler && handler != consoleHandler.load()) return false;
    consoleWatcher.reset();
    consoleHandler = nullptr;
    return true;
}

}  // namespace platform
