// What one user fetched through the HTTP cache never reaches another, and
// two resources never share a copy: each pair of requests goes through
// orqhprx (-m=10) and, beside it, through a real Squid started by the
// test, each with an origin of its own that numbers its answers, so a copy
// served from a cache shows as the number of the request before.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "engine_process.h"
#include "test_support.h"

namespace {

using namespace std::chrono_literals;

// Answers "<path> #<n>" with an Expires an hour ahead, so any cache may
// keep it; paths below /auth/ do so for credentials alone, /cookie/ sets a
// cookie and varies by it, /varyua/ varies by User-Agent, /varystar/ by
// everything.
constexpr const char* kOrigin = R"(import email.utils, http.server, itertools, sys, time
counter = itertools.count(1)
class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    def do_GET(self):
        body = ("%s #%d" % (self.path, next(counter))).encode()
        self.send_response(200)
        self.send_header("Content-Type", "text/plain")
        self.send_header("Content-Length", str(len(body)))
        self.send_header("Expires", email.utils.formatdate(time.time() + 3600, usegmt=True))
        if self.path.startswith("/cookie/"):
            self.send_header("Set-Cookie", "session=%d" % time.time_ns())
            self.send_header("Vary", "Cookie")
        elif self.path.startswith("/varyua/"):
            self.send_header("Vary", "User-Agent")
        elif self.path.startswith("/varystar/"):
            self.send_header("Vary", "*")
        self.end_headers()
        self.wfile.write(body)
    def log_message(self, *args):
        pass
server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
print("port", server.server_address[1], flush=True)
server.serve_forever()
)";

class Origin {
public:
    explicit Origin(const testsupport::TempDir& dir) {
        testsupport::WriteFile(dir / "origin.py", kOrigin);
        process_ = std::make_unique<testsupport::Process>(std::vector<std::string>{"/usr/bin/python3", dir / "origin.py"}, testsupport::Process::Options{});
        testsupport::WaitUntil([&] { return process_->out().find('\n') != std::string::npos || !process_->running(); });
        const std::string out = process_->out();
        if (out.rfind("port ", 0) == 0) port_ = std::stoi(out.substr(5));
    }
    int port() const { return port_; }

private:
    std::unique_ptr<testsupport::Process> process_;
    int port_ = 0;
};

struct Pair {
    const char* name;
    std::string first, firstHeaders, second, secondHeaders;
    bool shared;  // the second may get the first's copy
};

std::vector<Pair> Pairs() {
    const std::string longPath = "/plain/" + std::string(1100, 'a');
    const std::string alice = "-H 'Authorization: Basic YWxpY2U6cA=='", bob = "-H 'Authorization: Basic Ym9iOnA='";
    return {
        {"a cacheable page is served from the cache", "/plain/page", "", "/plain/page", "", true},
        {"credentials, then none", "/auth/a", alice, "/auth/a", "", false},
        {"credentials of two users", "/auth/b", alice, "/auth/b", bob, false},
        {"a session cookie", "/cookie/a", "-H 'Cookie: user=alice'", "/cookie/a", "-H 'Cookie: user=bob'", false},
        {"a cookie, then none", "/cookie/b", "-H 'Cookie: user=alice'", "/cookie/b", "", false},
        {"varies by User-Agent", "/varyua/a", "-A one", "/varyua/a", "-A two", false},
        {"varies by everything", "/varystar/a", "", "/varystar/a", "", false},
        {"case in the path", "/plain/CaseTest", "", "/plain/casetest", "", false},
        {"case in a folder", "/plain/Dir/x", "", "/plain/dir/x", "", false},
        {"case in the query", "/plain/q?id=AbCdEf", "", "/plain/q?id=aBcDeF", "", false},
        {"URLs that differ past 1,023 characters", longPath + "1", "", longPath + "2", "", false},
    };
}

// The body of a GET through the proxy.
std::string Fetch(int proxy, int origin, const std::string& path, const std::string& headers) {
    return testsupport::RunCommand("curl -sS --max-time 20 -x http://127.0.0.1:" + std::to_string(proxy) + " " +
                                       headers + " 'http://127.0.0.1:" + std::to_string(origin) + path + "'",
                                   30s)
        .output;
}

void CheckPairs(const char* proxyName, int proxy, int origin) {
    for (const Pair& p : Pairs()) {
        const std::string first = Fetch(proxy, origin, p.first, p.firstHeaders);
        const std::string second = Fetch(proxy, origin, p.second, p.secondHeaders);
        ASSERT_EQ(first.rfind(p.first + " #", 0), 0u) << proxyName << ": " << p.name << ": " << first;
        if (p.shared) {
            EXPECT_EQ(second, first) << proxyName << ": " << p.name;
        } else {
            EXPECT_EQ(second.rfind(p.second + " #", 0), 0u) << proxyName << ": " << p.name << ": " << second;
            EXPECT_NE(second, first) << proxyName << ": " << p.name;
        }
    }
}

TEST(SharedCache, NoUserGetsAnothersCopyAndNoTwoResourcesShareOne) {
    testsupport::TempDir dir;
    Origin engineOrigin(dir);
    ASSERT_NE(engineOrigin.port(), 0);
    listenertest::EngineOptions options;
    options.extra = {"-m=10"};
    const int enginePort = testsupport::FreeTcpPort();
    listenertest::EngineProcess engine("127.0.0.1 " + std::to_string(enginePort) + "=\r\n", options);
    ASSERT_TRUE(testsupport::WaitForTcpPort(enginePort)) << engine.log();
    CheckPairs("orqhprx", enginePort, engineOrigin.port());

    if (!std::filesystem::exists("/usr/sbin/squid")) GTEST_SKIP() << "squid is not installed";
    testsupport::TempDir squidDir;
    ::chmod(squidDir.path().c_str(), 0777);
    const int squidPort = testsupport::FreeTcpPort();
    testsupport::WriteFile(squidDir / "squid.conf",
                           "http_port 127.0.0.1:" + std::to_string(squidPort) +
                               "\nhttp_access allow localhost\nhttp_access deny all\ncache_mem 16 MB\n"
                               "access_log none\ncache_log " + squidDir / "cache.log" + "\npid_filename " +
                               squidDir / "squid.pid" + "\ncoredump_dir " + squidDir.path() + "\n");
    testsupport::Process squid({"/usr/sbin/squid", "-N", "-f", squidDir / "squid.conf"}, {});
    ASSERT_TRUE(testsupport::WaitForTcpPort(squidPort, 30s)) << squid.err();
    Origin squidOrigin(dir);
    ASSERT_NE(squidOrigin.port(), 0);
    CheckPairs("squid", squidPort, squidOrigin.port());
}

}  // namespace
