#include "panel/app/update_check.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <fstream>
#include <mutex>
#include <netdb.h>
#include <poll.h>
#include <strings.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include <QCoreApplication>
#include <QMetaObject>
#include <QString>
#include <QTimer>

#include "common/start_values.h"
#include "panel/app/own_version.h"
#include "panel/app/tray_icon_record.h"
#include "panel/framework/cp932_text.h"
#include "panel/framework/registry_ops.h"

namespace panel {
namespace {

using Clock = std::chrono::steady_clock;

// Threads of the checks, and the flag that ends their waits.
struct Checks {
    std::mutex mutex;
    std::condition_variable wake;
    bool stopping = false;
    std::vector<std::thread> threads;
    std::mutex running;  // one check at a time
};

Checks& TheChecks() {
    static Checks checks;
    return checks;
}

bool Stopping() {
    std::lock_guard<std::mutex> lock(TheChecks().mutex);
    return TheChecks().stopping;
}

// Waits `duration`; false when the panel is ending.
bool Pause(std::chrono::milliseconds duration) {
    Checks& checks = TheChecks();
    std::unique_lock<std::mutex> lock(checks.mutex);
    return !checks.wake.wait_for(lock, duration, [&] { return checks.stopping; });
}

std::string UpdateHost() {
    const char* host = std::getenv("VELQOR_UPDATE_HOST");
    return host && *host ? host : kUpdateHost;
}

// Host text and port of "name[:port]".
void SplitHostPort(const std::string& text, std::string& host, int& port) {
    size_t colon = text.find(':');
    host = text.substr(0, colon);
    if (colon != std::string::npos) {
        int number = std::atoi(text.c_str() + colon + 1);
        if (number > 0 && number < 65536) port = number;
    }
}

// Waits until the socket is ready for `events` or the deadline passes.
bool WaitReady(int fd, short events, Clock::time_point deadline) {
    for (;;) {
        if (Stopping()) return false;
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) return false;
        pollfd p{fd, events, 0};
        int n = ::poll(&p, 1, static_cast<int>(std::min<long long>(left, 200)));
        if (n > 0) return true;
        if (n < 0 && errno != EINTR) return false;
    }
}

int ConnectOnce(const addrinfo* address, int timeoutSeconds) {
    int fd = ::socket(address->ai_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    int rc = ::connect(fd, address->ai_addr, address->ai_addrlen);
    if (rc != 0 && errno != EINPROGRESS) {
        ::close(fd);
        return -1;
    }
    if (rc != 0) {
        if (!WaitReady(fd, POLLOUT, Clock::now() + std::chrono::seconds(timeoutSeconds))) {
            ::close(fd);
            return -1;
        }
        int error = 0;
        socklen_t length = sizeof error;
        if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0 || error != 0) {
            ::close(fd);
            return -1;
        }
    }
    return fd;
}

// Three tries at once, after 15 s and after 30 s, as a server that was
// just starting gets a moment.
int Connect(const std::string& target, int port, int timeoutSeconds) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    for (int attempt = 0; attempt < 3 && !found; ++attempt) {
        if (::getaddrinfo(target.c_str(), std::to_string(port).c_str(), &hints, &found) != 0) found = nullptr;
    }
    if (!found) return -1;
    int fd = -1;
    const int waits[] = {0, 15, 30};
    for (int wait : waits) {
        if (wait && !Pause(std::chrono::seconds(wait))) break;
        fd = ConnectOnce(found, timeoutSeconds);
        if (fd >= 0) break;
    }
    ::freeaddrinfo(found);
    return fd;
}

bool SendAll(int fd, const std::string& text, Clock::time_point deadline) {
    size_t sent = 0;
    while (sent < text.size()) {
        if (!WaitReady(fd, POLLOUT, deadline)) return false;
        ssize_t n = ::send(fd, text.data() + sent, text.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (n <= 0) return false;
        sent += static_cast<size_t>(n);
    }
    return true;
}

// Where the head ends in `data`: behind CR LF CR LF, else LF LF, else CR CR;
// only the bytes from `from` on (and the three before them, where an end
// may begin) are looked at, so a head that comes in many reads is searched
// once.
size_t HeadEnd(const std::string& data, size_t from) {
    const size_t start = from > 3 ? from - 3 : 0;
    size_t at = data.find("\r\n\r\n", start);
    if (at != std::string::npos) return at + 4;
    at = data.find("\n\n", start);
    if (at != std::string::npos) return at + 2;
    at = data.find("\r\r", start);
    if (at != std::string::npos) return at + 2;
    return std::string::npos;
}

int StatusOf(const std::string& head) {
    size_t blank = head.find(' ');
    return head.rfind("HTTP/", 0) == 0 && blank != std::string::npos ? std::atoi(head.c_str() + blank + 1) : 0;
}

// The Content-Length of a head, or -1.
long long ContentLength(const std::string& head) {
    size_t start = 0;
    while (start < head.size()) {
        size_t end = head.find('\n', start);
        std::string line = head.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (line.size() > 15 && strncasecmp(line.c_str(), "Content-Length:", 15) == 0) return std::atoll(line.c_str() + 15);
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return -1;
}

bool WriteWhole(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    return static_cast<bool>(out);
}

void ShowUpdateBalloon(const QString& title, const QString& text, int triesLeft) {
    TrayIconRecord* record = TrayRecord();
    if (!record) {
        // The first settings window may still be open: the icon comes later.
        if (triesLeft > 0)
            QTimer::singleShot(1000, QCoreApplication::instance(),
                               [title, text, triesLeft] { ShowUpdateBalloon(title, text, triesLeft - 1); });
        return;
    }
    const QString line = TimeStamp() + QStringLiteral(" ") + text;
    record->SetTip(CutToUnits(line, TrayIconRecord::kTipUnits));
    record->ShowBalloon(CutToUnits(title, TrayIconRecord::kTitleUnits), CutToUnits(line, TrayIconRecord::kBalloonUnits));
}

std::string WithoutLineEnd(std::string line) {
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    return line;
}

}  // namespace

std::string BuildHttpRequest(const std::string& host, const std::string& path, bool throughProxy) {
    const std::string agent = "User-Agent: Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0)\r\n";
    if (throughProxy)
        return "GET http://" + host + "/" + path + " HTTP/1.0\r\n" + agent + "Host: " + host +
               "\r\nContent-Length: 0\r\nProxy-Connection: Keep-Alive\r\nPragma: no-cache\r\n\r\n";
    return "GET /" + path + " HTTP/1.0\r\nAccept: */*\r\nAccept-Language: ja\r\n" + agent + "Host: " + host +
           "\r\nProxy-Connection: Keep-Alive\r\n\r\n";
}

int HttpFetchToFile(const std::string& host, const std::string& path, const std::string& localName,
                    const std::string& proxy, int timeoutSeconds, std::chrono::milliseconds totalLimit) {
    if (timeoutSeconds <= 0) timeoutSeconds = 600;
    // A server that sends a byte now and then never lets a wait for the
    // next one run out: the whole fetch has its own end.
    const Clock::time_point giveUp = Clock::now() + totalLimit;
    std::string address;
    int port = 80;
    SplitHostPort(host, address, port);
    if (!proxy.empty()) SplitHostPort(proxy, address, port);
    int fd = Connect(address, port, timeoutSeconds);
    if (fd < 0) return 0;

    const auto timeout = std::chrono::seconds(timeoutSeconds);
    auto deadline = [&] { return std::min(Clock::now() + timeout, giveUp); };
    bool ok = SendAll(fd, BuildHttpRequest(host, path, !proxy.empty()), deadline());
    std::string head, body;
    bool headSeen = false, complete = false;
    long long length = -1;
    bool mark = false;
    std::vector<char> chunk(4096);
    while (ok) {
        if (!WaitReady(fd, POLLIN, deadline())) {
            ok = false;
            break;
        }
        ssize_t n = ::recv(fd, chunk.data(), chunk.size(), 0);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            ok = false;
            break;
        }
        if (n == 0) {
            complete = headSeen && (length < 0 || static_cast<long long>(body.size()) >= length);
            break;
        }
        std::string_view piece(chunk.data(), static_cast<size_t>(n));
        if (!headSeen) {
            const size_t searched = head.size();
            head.append(piece);
            size_t end = HeadEnd(head, searched);
            if (end != std::string::npos) {
                headSeen = true;
                body = head.substr(end);
                head.resize(end);
                length = ContentLength(head);
            }
        } else {
            body.append(piece);
        }
        // The version file is three short lines: anything this large is not
        // one, and is not kept in memory.
        if ((!headSeen && head.size() > kUpdateHeadLimit) || body.size() > kUpdateBodyLimit ||
            length > static_cast<long long>(kUpdateBodyLimit)) {
            ok = false;
            break;
        }
        if (headSeen && length >= 0 && static_cast<long long>(body.size()) >= length) {
            // A keep-alive peer would hold the connection open: the length says
            // the body is all here.
            body.resize(static_cast<size_t>(length));
            complete = true;
            break;
        }
        if (!proxy.empty()) {
            if (mark && piece == "\r\n") {
                complete = headSeen;
                break;
            }
            mark = !mark ? piece.size() >= 2 && piece.substr(piece.size() - 2) == "\r\n" : false;
        }
    }
    ::close(fd);
    WriteWhole(localName + ".had", head.substr(0, kUpdateHeadLimit));
    if (!ok || !complete || StatusOf(head) != 200) return ok && complete ? 1 : 0;
    const std::string temporary = localName + ".part";
    if (!WriteWhole(temporary, body) || std::rename(temporary.c_str(), localName.c_str()) != 0) {
        std::remove(temporary.c_str());
        return 0;
    }
    return 1;
}

PublishedVersion ReadVersionLine(const std::string& line) {
    PublishedVersion version;
    size_t comma = line.find(',');
    if (comma == std::string::npos || line.size() < 3) return version;
    version.mostSignificant = static_cast<uint32_t>(std::strtoul(line.c_str() + 2, nullptr, 16));
    if (comma + 3 <= line.size())
        version.leastSignificant = static_cast<uint32_t>(std::strtoul(line.c_str() + comma + 3, nullptr, 16));
    return version;
}

void RunUpdateCheck() {
    std::lock_guard<std::mutex> one(TheChecks().running);
    if (Stopping()) return;
    uint32_t ownMs = 0, ownLs = 0;
    GetOwnFileVersion(ownMs, ownLs);
    std::string proxy;
    namespace update = common::update_value;
    if (RegReadDword(kProductSettingsKey, update::kProxyUsed.name, update::kProxyUsed.byDefault) != 0) {
        std::string name;
        RegReadString(RegRoot::LocalMachine, kProductSettingsKey, update::kProxyName.name, update::kProxyName.byDefault,
                      name, 512);
        proxy = name + ":" +
                std::to_string(RegReadDword(kProductSettingsKey, update::kProxyPort.name, update::kProxyPort.byDefault));
    }
    HttpFetchToFile(UpdateHost(), kUpdatePath, kUpdateLocalName, proxy, 300);

    std::ifstream in(kUpdateLocalName);
    if (!in) return;
    std::string lines[3];
    for (std::string& line : lines) {
        if (!std::getline(in, line)) break;
        if (line.size() > 254) line.resize(254);
    }
    PublishedVersion published = ReadVersionLine(lines[0]);
    if (published.mostSignificant == 0) return;
    uint64_t theirs = (uint64_t{published.mostSignificant} << 32) | published.leastSignificant;
    uint64_t ours = (uint64_t{ownMs} << 32) | ownLs;
    if (theirs <= ours) return;
    // The published file is ANSI text of the maker's system: code page 932.
    const QString title = FromCp932(WithoutLineEnd(lines[1]));
    const QString text = FromCp932(WithoutLineEnd(lines[2]));
    if (QCoreApplication* application = QCoreApplication::instance())
        QMetaObject::invokeMethod(application, [title, text] { ShowUpdateBalloon(title, text, 3600); },
                                  Qt::QueuedConnection);
}

void StartUpdateCheck() {
    Checks& checks = TheChecks();
    std::lock_guard<std::mutex> lock(checks.mutex);
    if (checks.stopping) return;
    checks.threads.emplace_back([] {
        if (Pause(std::chrono::milliseconds(5000))) RunUpdateCheck();
    });
}

void StopUpdateChecks() {
    Checks& checks = TheChecks();
    std::vector<std::thread> threads;
    {
        std::lock_guard<std::mutex> lock(checks.mutex);
        checks.stopping = true;
        threads.swap(checks.threads);
    }
    checks.wake.notify_all();
    for (std::thread& thread : threads) thread.join();
}

}  // namespace panel
