// The start-up message of scripts/run-server.sh names the listeners of the
// http.ini it runs with, read as the engine reads them, whoever wrote it:
// the script's first-run line, the settings pages, or an administrator.
#include <gtest/gtest.h>

#include "test_support.h"

namespace {

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
