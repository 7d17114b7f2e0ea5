// The connection list as the settings pages write it, end to end: the
// listen entries a real orqhprx takes from it, the server each line names
// (none, a second engine, Squid as the parent), and a listen port that is
// taken already. curl is the client, origin_server.py the origin.
#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "engine_process.h"
#include "test_support.h"

namespace {

using listenertest::EngineOptions;
using listenertest::EngineProcess;
using namespace std::chrono_literals;

// The settings pages' default connection name, in the code page they write.
const char kDefaultName[] = "\x90\xda\x91\xb1\x90\xe6\x96\xbc\x8f\xcc";
// What the origin answers for its default path.
const char kBody[] = "hello\n";

const listenertest::OriginServer& Origin() {
    static const listenertest::OriginServer origin;
    return origin;
}

std::string Port(int port) { return std::to_string(port); }

std::string CurlThrough(int proxyPort, const std::string& url) {
    return testsupport::RunCommand("curl -sS --max-time 15 -x http://127.0.0.1:" + Port(proxyPort) + " " + url, 20s)
        .output;
}

// The settings pages write a row without an upstream proxy with an empty
// server and port: a blank alone between two commas.
TEST(ConnectionList, PageLineWithoutUpstreamServesCurlDirectly) {
    const int port = testsupport::FreeTcpPort();
    EngineProcess engine("127.0.0.1 " + Port(port) + "=, ," + kDefaultName + "\r\n");
    ASSERT_TRUE(testsupport::WaitForTcpPort(port)) << engine.log();

    EXPECT_EQ(CurlThrough(port, Origin().url()), kBody) << engine.log();
    EXPECT_TRUE(engine.waitForLog("[GetConnectTable] [Hit] " + std::string(kDefaultName))) << engine.log();
    EXPECT_EQ(engine.count("Cannot resolve address"), 0) << engine.log();
}

// Two blanks before the listen port, or one before "=", still make a
// listener of the line.
TEST(ConnectionList, ListenLinesWithExtraBlanksServeCurl) {
    const int first = testsupport::FreeTcpPort(), second = testsupport::FreeTcpPort();
    EngineProcess engine("127.0.0.1  " + Port(first) + "=, ,two blanks\r\n" + "127.0.0.1 " + Port(second) +
                         " =, ,blank before the equals sign\r\n");
    ASSERT_TRUE(testsupport::WaitForTcpPort(first)) << engine.log();
    ASSERT_TRUE(testsupport::WaitForTcpPort(second)) << engine.log();
    EXPECT_EQ(CurlThrough(first, Origin().url()), kBody) << engine.log();
    EXPECT_EQ(CurlThrough(second, Origin().url()), kBody) << engine.log();
}

// A listen port that another program holds ends the engine with the
// system's reason in the log.
TEST(ConnectionList, BusyListenPortLogsTheReason) {
    const int holder = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(holder, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(holder, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(holder, 1), 0);
    socklen_t length = sizeof address;
    ASSERT_EQ(::getsockname(holder, reinterpret_cast<sockaddr*>(&address), &length), 0);
    const int port = ntohs(address.sin_port);

    EngineProcess engine("127.0.0.1 " + Port(port) + "=\r\n");
    EXPECT_EQ(engine.process().wait(20s), 0) << engine.log();
    EXPECT_EQ(engine.count(std::string("[AcceptClients] bind() failed with error ") + Port(EADDRINUSE) + ": " +
                           std::strerror(EADDRINUSE) + "\n"),
              1)
        << engine.log();
    ::close(holder);
}

// Squid on a loopback port with its own configuration in a folder of the
// test's; running() is false when it could not be started.
class Squid {
public:
    Squid() {
        if (::access(kProgram, X_OK) != 0) return;
        port_ = testsupport::FreeTcpPort();
        // Started as root, Squid runs as its own user: that user writes
        // the logs and the pid file here.
        ::chmod(dir_.path().c_str(), 0777);
        testsupport::WriteFile(dir_ / "squid.conf",
                               "http_port 127.0.0.1:" + Port(port_) + "\n"
                               "pid_filename " + dir_ / "squid.pid" + "\n"
                               "cache_log " + dir_ / "cache.log" + "\n"
                               "access_log " + dir_ / "access.log" + "\n"
                               "coredump_dir " + dir_.path() + "\n"
                               "cache deny all\n"
                               "cache_mem 8 MB\n"
                               "pinger_enable off\n"
                               "shutdown_lifetime 1 seconds\n"
                               "visible_hostname velqor-test\n"
                               "http_access allow localhost\n"
                               "http_access deny all\n");
        process_ = std::make_unique<testsupport::Process>(
            std::vector<std::string>{kProgram, "-N", "-f", dir_ / "squid.conf"}, testsupport::Process::Options{});
        if (!testsupport::WaitForTcpPort(port_, 20s)) process_.reset();
    }
    ~Squid() {
        if (!process_) return;
        process_->terminate();
        if (process_->wait(15s) < 0) process_->terminate(9);
    }
    bool running() const { return process_ != nullptr; }
    int port() const { return port_; }
    std::string accessLog() const {
        return testsupport::FileExists(dir_ / "access.log") ? testsupport::ReadFile(dir_ / "access.log") : "";
    }
    std::string cacheLog() const {
        return testsupport::FileExists(dir_ / "cache.log") ? testsupport::ReadFile(dir_ / "cache.log") : "";
    }

private:
    static constexpr const char* kProgram = "/usr/sbin/squid";
    testsupport::TempDir dir_;
    std::unique_ptr<testsupport::Process> process_;
    int port_ = 0;
};

// An engine whose connection list names a second engine as its upstream
// proxy. The origin, both engines and the client's request all name
// 127.0.0.1: only the line, not the host's name, says the request goes
// through a proxy.
TEST(UpstreamChain, TwoEnginesByTheConnectionList) {
    const int parentPort = testsupport::FreeTcpPort(), childPort = testsupport::FreeTcpPort();
    EngineProcess parent("127.0.0.1 " + Port(parentPort) + "=, ,parent\r\n");
    ASSERT_TRUE(testsupport::WaitForTcpPort(parentPort)) << parent.log();
    EngineProcess child("127.0.0.1 " + Port(childPort) + "=,127.0.0.1 " + Port(parentPort) + ",to the parent\r\n");
    ASSERT_TRUE(testsupport::WaitForTcpPort(childPort)) << child.log();

    const std::string url = Origin().url("length/chained");
    EXPECT_EQ(CurlThrough(childPort, url), kBody) << child.log() << parent.log();
    // The parent got the absolute form and asked the origin in origin form.
    EXPECT_TRUE(parent.waitForLog("GET " + url + " HTTP/1.1")) << parent.log();
    EXPECT_NE(Origin().heads().find("\"head\": \"GET /length/chained HTTP/1.1\\r\\n"), std::string::npos)
        << Origin().heads();
}

// The same chain with the parent named by option -s.
TEST(UpstreamChain, TwoEnginesByOptionS) {
    const int parentPort = testsupport::FreeTcpPort(), childPort = testsupport::FreeTcpPort();
    EngineProcess parent("127.0.0.1 " + Port(parentPort) + "=\r\n");
    ASSERT_TRUE(testsupport::WaitForTcpPort(parentPort)) << parent.log();
    EngineOptions options;
    options.extra = {"-s=127.0.0.1 " + Port(parentPort)};
    EngineProcess child("127.0.0.1 " + Port(childPort) + "=, ,child\r\n", options);
    ASSERT_TRUE(testsupport::WaitForTcpPort(childPort)) << child.log();

    const std::string url = Origin().url("length/by-option-s");
    EXPECT_EQ(CurlThrough(childPort, url), kBody) << child.log() << parent.log();
    EXPECT_TRUE(parent.waitForLog("GET " + url + " HTTP/1.1")) << parent.log();
}

// Squid as the parent: it refuses a request in origin form, so only a
// request sent as to a proxy gets the origin's answer.
TEST(UpstreamChain, SquidAsTheParent) {
    Squid squid;
    if (!squid.running()) GTEST_SKIP() << "squid could not be started on a loopback port: " << squid.cacheLog();
    const int port = testsupport::FreeTcpPort();
    EngineProcess engine("127.0.0.1 " + Port(port) + "=,127.0.0.1 " + Port(squid.port()) + ",squid\r\n");
    ASSERT_TRUE(testsupport::WaitForTcpPort(port)) << engine.log();

    const std::string url = Origin().url("length/through-squid");
    EXPECT_EQ(CurlThrough(port, url), kBody) << engine.log() << squid.cacheLog();
    EXPECT_TRUE(testsupport::WaitUntil([&] { return squid.accessLog().find(url) != std::string::npos; }))
        << squid.accessLog();
}

}  // namespace
