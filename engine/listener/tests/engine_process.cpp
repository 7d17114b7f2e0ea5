#include "engine_process.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <sstream>

#include "avstub.h"
#include "platform/io/full_write.h"

namespace listenertest {

EngineProcess::EngineProcess(const std::string& httpIni, const EngineOptions& engineOptions) {
    dataFolder_ = root_.path() + "/VELQOR/";
    testsupport::MakeDirs(dataFolder_);
    testsupport::WriteFile(dataFolder_ + "http.ini", httpIni);
    for (const auto& [name, content] : engineOptions.files) testsupport::WriteFile(dataFolder_ + name, content);
    std::vector<std::string> argv{testsupport::BinPath("orqhprx"), "-e=VELQOR_LISTENER_TEST_ROOT", "-p=0", "-f",
                                  "-v"};
    argv.insert(argv.end(), engineOptions.extra.begin(), engineOptions.extra.end());
    if (engineOptions.fileLimit > 0) {
        std::string line = "ulimit -n " + std::to_string(engineOptions.fileLimit) + " && exec";
        for (const std::string& arg : argv) line += " '" + arg + "'";
        argv = {"/bin/sh", "-c", line};
    }
    argv.insert(argv.begin(), engineOptions.launcher.begin(), engineOptions.launcher.end());
    testsupport::Process::Options options;
    options.env = engineOptions.env;
    options.env["VELQOR_LISTENER_TEST_ROOT"] = root_.path();
    // Pipes (the scan server's among them) live in the test's own folder.
    if (!options.env.count("VELQOR_PIPE_DIR")) {
        testsupport::MakeDirs(root_.path() + "/pipes");
        options.env["VELQOR_PIPE_DIR"] = root_.path() + "/pipes";
    }
    process_ = std::make_unique<testsupport::Process>(argv, options);
}

int EngineProcess::count(const std::string& text) const {
    std::string all = log();
    int n = 0;
    for (std::size_t at = all.find(text); at != std::string::npos; at = all.find(text, at + text.size())) ++n;
    return n;
}

bool EngineProcess::waitForLog(const std::string& text, int times, std::chrono::milliseconds timeout) const {
    return testsupport::WaitUntil([&] { return count(text) >= times; }, timeout);
}

bool EngineProcess::waitForEmptyCache(std::chrono::milliseconds timeout) const {
    return testsupport::WaitUntil(
        [&] {
            std::error_code ec;
            for (const auto& entry : std::filesystem::directory_iterator(dataFolder_ + "cache", ec)) {
                if (entry.path().filename().string().rfind("req-", 0) == 0) return false;
            }
            return true;
        },
        timeout);
}

std::string OriginPattern(size_t size) {
    std::string unit = "0\r\n\r\n";
    for (int i = 0; i < 256; ++i) unit.push_back(static_cast<char>(i));
    std::string data;
    while (data.size() < size) data += unit;
    return data.substr(0, size);
}

OriginServer::OriginServer() {
    process_ = std::make_unique<testsupport::Process>(
        std::vector<std::string>{"/usr/bin/python3", testsupport::SourcePath("engine/http/tests/origin_server.py"),
                                 log_},
        testsupport::Process::Options{});
    testsupport::WaitUntil([&] {
        std::string out = process_->out();
        if (out.rfind("port ", 0) != 0 || out.find('\n') == std::string::npos) return false;
        port_ = std::stoi(out.substr(5));
        return true;
    });
}

std::string OriginServer::url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + "/" + path;
}

std::string OriginServer::heads() const { return testsupport::FileExists(log_) ? testsupport::ReadFile(log_) : ""; }

std::vector<int> OriginServer::connections() const {
    std::vector<int> numbers;
    std::istringstream lines(heads());
    for (std::string line; std::getline(lines, line);) numbers.push_back(std::stoi(line.substr(9)));
    return numbers;
}

void OriginServer::release() const { testsupport::WriteFile(log_ + ".go", ""); }

bool OriginServer::readerGone() const { return testsupport::FileExists(log_ + ".gone"); }

void ScannedEngine::StartScanServer() {
    avstub::Options stubOptions;
    stubOptions.pipeDir = pipes_.path();
    stubOptions.logFile = pipes_ / "scans.log";
    stubOptions.hang = hungScanServer_;
    stubOptions.delayMs = scanDelayMs_;
    stub_ = avstub::Start(stubOptions);
}

void ScannedEngine::StartEngine(EngineOptions options, bool scanServer) {
    if (scanServer) StartScanServer();
    port_ = testsupport::FreeTcpPort();
    options.env["VELQOR_PIPE_DIR"] = pipes_.path();
    engine_ = std::make_unique<EngineProcess>("127.0.0.1 " + std::to_string(port_) + "=\r\n", options);
    ASSERT_TRUE(testsupport::WaitForTcpPort(port_)) << engine_->log();
}

std::string ScannedEngine::Scans() const {
    return testsupport::FileExists(pipes_ / "scans.log") ? testsupport::ReadFile(pipes_ / "scans.log") : "";
}

Client::Client(const std::string& host, int port, const std::string& from) {
    sockaddr_storage address{};
    socklen_t length;
    if (host.find(':') != std::string::npos) {
        auto* v6 = reinterpret_cast<sockaddr_in6*>(&address);
        v6->sin6_family = AF_INET6;
        v6->sin6_port = htons(static_cast<uint16_t>(port));
        inet_pton(AF_INET6, host.c_str(), &v6->sin6_addr);
        length = sizeof *v6;
    } else {
        auto* v4 = reinterpret_cast<sockaddr_in*>(&address);
        v4->sin_family = AF_INET;
        v4->sin_port = htons(static_cast<uint16_t>(port));
        inet_pton(AF_INET, host.c_str(), &v4->sin_addr);
        length = sizeof *v4;
    }
    fd_ = ::socket(address.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd_ >= 0 && !from.empty()) {
        sockaddr_in local{};
        local.sin_family = AF_INET;
        inet_pton(AF_INET, from.c_str(), &local.sin_addr);
        if (::bind(fd_, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) close();
    }
    if (fd_ >= 0 && ::connect(fd_, reinterpret_cast<sockaddr*>(&address), length) != 0) close();
}

Client::~Client() { close(); }

void Client::close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

bool Client::send(const std::string& bytes) { return platform::SendAll(fd_, bytes); }

void Client::halfClose() { ::shutdown(fd_, SHUT_WR); }

bool Client::readable(std::chrono::milliseconds timeout) const {
    pollfd p{fd_, POLLIN, 0};
    return ::poll(&p, 1, static_cast<int>(timeout.count())) > 0;
}

std::string Client::readToEnd(int& error, std::chrono::milliseconds timeout) {
    std::string data;
    auto end = std::chrono::steady_clock::now() + timeout;
    char buffer[4096];
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
        if (left.count() <= 0 || !readable(left)) {
            error = ETIMEDOUT;
            return data;
        }
        ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
        if (n == 0) {
            error = 0;
            return data;
        }
        if (n < 0) {
            error = errno;
            return data;
        }
        data.append(buffer, static_cast<std::size_t>(n));
    }
}

}  // namespace listenertest
