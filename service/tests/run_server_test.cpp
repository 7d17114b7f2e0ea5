// scripts/run-server.sh after its build (run-server-in.sh): its start-up
// message names the listeners of the http.ini it runs with, read as the
// engine reads them, whoever wrote it (the script's first-run line, the
// settings pages, or an administrator); and on a machine where the service
// user exists the servers it starts serve the set-up example.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <sstream>

#include "platform/process/process.h"
#include "service_user.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using testsupport::Process;
using testsupport::TempDir;

std::string ListenEntries(const std::string& connectionList) {
    testsupport::TempDir dir;
    testsupport::WriteFile(dir / "http.ini", connectionList);
    auto result = testsupport::RunCommand("bash '" + testsupport::SourcePath("scripts/listen-entries.sh") + "' '" +
                                          (dir / "http.ini") + "'");
    EXPECT_EQ(result.exitCode, 0) << result.output;
    return result.output;
}

}  // namespace

TEST(RunServerTest, TheStartUpMessageNamesTheListenersOfTheConnectionList) {
    struct Case {
        const char* what;
        std::string list;
        std::string entries;
    };
    const Case cases[] = {
        {"the first run's line", "127.0.0.1 8080=\r\n", "127.0.0.1:8080\n"},
        {"an earlier run's file with another port", "127.0.0.1 3128=\r\n", "127.0.0.1:3128\n"},
        {"the settings pages' line without an upstream", "192.168.0.1 8080=, ,office\r\n", "192.168.0.1:8080\n"},
        {"with an upstream", "0.0.0.0 8080=192.168.0.1,proxy.example 3128,office\r\n", "0.0.0.0:8080\n"},
        {"two blanks before the port, one before =", "127.0.0.1  8081 =\r\n", "127.0.0.1:8081\n"},
        {"a TLS listener", "127.0.0.1 8443+server.pem\tserver.key=\r\n", "127.0.0.1:8443\n"},
        {"IPv6", "::1 8080=\n", "[::1]:8080\n"},
        {"comments, empty lines and a line without a port",
         "' listeners\r\n\r\n \"indented\r\n\"quoted 1\r\n127.0.0.1 =\r\n127.0.0.1 8080=\r\n127.0.0.1 8081=",
         "127.0.0.1:8080\n127.0.0.1:8081\n"},
        {"nothing to listen on", "' none\r\n", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(ListenEntries(c.list), c.entries) << c.what;
}

namespace {

// The real user id of a process ("Uid:" of /proc/PID/status), -1 when gone.
long RealUserId(pid_t pid) {
    std::istringstream in(testsupport::ReadFile("/proc/" + std::to_string(pid) + "/status"));
    for (std::string line; std::getline(in, line);)
        if (line.rfind("Uid:\t", 0) == 0) return std::stol(line.substr(5));
    return -1;
}

// Ends whatever a failed run left of the programs in `folder`, so that no
// server outlives the test or keeps its user from being removed.
struct EndLeftPrograms {
    std::string folder;
    std::vector<std::string> names;
    ~EndLeftPrograms() {
        auto left = [&] {
            std::vector<pid_t> pids;
            for (const std::string& name : names)
                for (pid_t pid : platform::FindProcesses(name, folder)) pids.push_back(pid);
            return pids;
        };
        for (pid_t pid : left()) platform::TerminateProcess(pid, true);
        testsupport::WaitUntil([&] { return left().empty(); });
    }
};

}  // namespace

// With the service user present, as after velqors -install, the servers
// drop to it and still write under ROOT, which the script gives to the
// user's group; where a folder above ROOT keeps the user out, they stay
// root. Either way the example's file comes through the proxy and no
// server ends.
TEST(RunServerTest, WhereTheServiceUserExistsTheServersItStartsServeTheExample) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root: it makes a user";
    const std::vector<std::string> programs{"velqors", "orqhprx", "orqcwfs", "orqspam", "orqsvt"};
    for (const std::string& program : programs)
        if (!fs::exists(testsupport::BinPath(program))) GTEST_SKIP() << program << " is not built";
    struct Case {
        const char* what;
        bool reachable;
    };
    for (const Case& c : {Case{"ROOT reachable by the user", true}, Case{"ROOT below a folder closed to others", false}}) {
        SCOPED_TRACE(c.what);
        servicetest::ServiceUser user;
        if (const std::string problem = user.Make(); !problem.empty()) GTEST_SKIP() << "useradd: " << problem;
        const uid_t uid = std::stoul(testsupport::RunCommand("id -u " + user.name).output);

        TempDir dir;  // 0700
        if (c.reachable) ::chmod(dir.path().c_str(), 0711);
        // An install folder of the test's own: the service ends and starts
        // its servers by name in that folder only.
        const std::string bin = dir / "bin", root = dir / "run";
        fs::create_directories(bin);
        for (const std::string& program : programs) fs::copy_file(testsupport::BinPath(program), bin + "/" + program);
        // A port of the test's own instead of the first run's 8080.
        const int port = testsupport::FreeTcpPort();
        fs::create_directories(root + "/data/VELQOR");
        testsupport::WriteFile(root + "/data/VELQOR/http.ini", "127.0.0.1 " + std::to_string(port) + "=\r\n");

        TempDir site;
        testsupport::WriteFile(site / "hello.txt", "hello\n");
        const int sitePort = testsupport::FreeTcpPort();
        Process web({"/usr/bin/python3", "-m", "http.server", std::to_string(sitePort), "--bind", "127.0.0.1",
                     "--directory", site.path()},
                    {});
        ASSERT_TRUE(testsupport::WaitForTcpPort(sitePort));

        EndLeftPrograms leftovers{bin, programs};
        Process script({"/bin/bash", testsupport::SourcePath("scripts/run-server-in.sh"), root, bin},
                       {{{"VELQOR_USER", user.name}, {"NOTIFY_SOCKET", ""}, {"INVOCATION_ID", ""}}, dir.path()});
        // Each server up, as the user or as root.
        const long expected = c.reachable ? static_cast<long>(uid) : 0;
        for (const char* program : {"orqspam", "orqsvt", "orqhprx", "orqcwfs"})
            EXPECT_TRUE(testsupport::WaitUntil(
                [&] {
                    const auto pids = platform::FindProcesses(program, bin);
                    return pids.size() == 1 && RealUserId(pids.front()) == expected;
                },
                30s))
                << program << "\n" << script.out() << script.err();
        ASSERT_TRUE(testsupport::WaitForTcpPort(port, 30s)) << script.out() << script.err();

        auto curl = testsupport::RunCommand("curl -sS -m 20 -x http://127.0.0.1:" + std::to_string(port) +
                                            " http://127.0.0.1:" + std::to_string(sitePort) + "/hello.txt 2>&1");
        EXPECT_EQ(curl.output, "hello\n") << script.out() << script.err();
        EXPECT_EQ(script.out().find(" ended ("), std::string::npos) << script.out();
        EXPECT_EQ(script.out().find("the servers stay root") == std::string::npos, c.reachable) << script.out();

        script.terminate(SIGINT);
        EXPECT_EQ(script.wait(30s), 0) << script.out() << script.err();
        for (const std::string& program : programs)
            EXPECT_TRUE(platform::FindProcesses(program, bin).empty()) << program << " left running";
    }
}
