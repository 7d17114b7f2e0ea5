#include "socks_engine.h"

#include <sys/socket.h>

#include <filesystem>

namespace sockstest {

SocksEngine::SocksEngine(const Files& files, const std::vector<std::string>& extra, const std::string& listTail,
                         const std::vector<std::string>& launcher) {
    dataFolder_ = root_.path() + "/VELQOR/";
    testsupport::MakeDirs(dataFolder_ + "cache");
    port_ = testsupport::FreeTcpPort();
    for (const auto& [name, content] : files) testsupport::WriteFile(dataFolder_ + name, content);
    testsupport::WriteFile(dataFolder_ + "socks.ini", "127.0.0.1 " + std::to_string(port_) + listTail + "\r\n");
    std::vector<std::string> argv = launcher;
    argv.insert(argv.end(), {testsupport::BinPath("orqcprx"), "-e=VELQOR_SOCKS_TEST_ROOT", "-p=5", "-f", "-v"});
    argv.insert(argv.end(), extra.begin(), extra.end());
    testsupport::Process::Options options;
    options.env["VELQOR_SOCKS_TEST_ROOT"] = root_.path();
    testsupport::MakeDirs(root_.path() + "/pipes");
    options.env["VELQOR_PIPE_DIR"] = root_.path() + "/pipes";
    process_ = std::make_unique<testsupport::Process>(argv, options);
    testsupport::WaitForTcpPort(port_);
}

bool SocksEngine::waitForLog(const std::string& text) const {
    return testsupport::WaitUntil([&] { return log().find(text) != std::string::npos; });
}

bool SocksEngine::waitForEmptyCache() const {
    return testsupport::WaitUntil([&] {
        std::error_code error;
        return std::filesystem::is_empty(dataFolder_ + "cache", error) && !error;
    });
}

Peer::Peer(std::vector<std::string> argv) {
    process_ = std::make_unique<testsupport::Process>(std::move(argv), testsupport::Process::Options{});
    testsupport::WaitUntil([&] {
        const std::string out = process_->out();
        if (out.rfind("port ", 0) != 0 || out.find('\n') == std::string::npos) return false;
        port_ = std::stoi(out.substr(5));
        return true;
    });
}

Peer EchoServer(const std::string& kind, const std::string& host) {
    return Peer({"/usr/bin/python3", testsupport::SourcePath("engine/socks/tests/echo_server.py"), kind, host});
}

bool ReadExactly(listenertest::Client& client, std::size_t size, std::string& out) {
    out.clear();
    char buffer[4096];
    while (out.size() < size) {
        if (!client.readable(std::chrono::seconds(10))) return false;
        const ssize_t n = ::recv(client.fd(), buffer, std::min(sizeof buffer, size - out.size()), 0);
        if (n <= 0) return false;
        out.append(buffer, static_cast<std::size_t>(n));
    }
    return true;
}

}  // namespace sockstest
