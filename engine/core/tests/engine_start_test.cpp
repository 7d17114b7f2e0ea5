#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>

#include "common/daily_log.h"
#include "test_support.h"

namespace {

using testsupport::FileExists;

std::string Lower(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// The engine's first run on a fresh data root without a connection list:
// it makes its folders, logs its settings to the console and the day's
// file, and ends, having nothing to listen on.
TEST(EngineStart, FirstRunWithoutConnectionList) {
    testsupport::TempDir root;
    const std::string data = root.path() + "/VELQOR/";
    common::LocalTime before = common::NowLocal();
    testsupport::Process engine({testsupport::BinPath("orqhprx"), "-v", "-e=VR", "-p=0", "-f", "-w"},
                                {{{"VR", root.path()}}, root.path(), true});
    ASSERT_EQ(engine.wait(std::chrono::seconds(30)), 0) << engine.err();
    common::LocalTime after = common::NowLocal();

    const std::string notFound = "] [GetOption] file notfound (" + data + "http.ini)\n";
    const std::string lines[] = {
        notFound,
        "]  v2.15 VELQOR Server proxy engine for Linux\n",
        "] Connection            = 0\n",
        "] Timeout Server(Plain) = 3500\n",
        "] Log Folder            = " + data + "httplog\n",
    };
    std::string file = testsupport::ReadFile(common::DailyFilePath(data + "httplog", after));
    if (file.empty()) file = testsupport::ReadFile(common::DailyFilePath(data + "httplog", before));
    for (const auto& line : lines) {
        EXPECT_TRUE(Contains(engine.err(), line)) << line << engine.err();
        EXPECT_TRUE(Contains(file, line)) << line << file;
    }
    EXPECT_TRUE(Contains(engine.out(), "orqhprx\nHTTP PROXY")) << engine.out();
    for (const char* folder : {"cache", "httpcache", "ftpcache", "ncsalog", "httplog"})
        EXPECT_TRUE(FileExists(data + folder)) << folder;
}

// The banner follows the program's name, whatever its letter case; the
// protocol is still the one -p chose. (No connection list: the engine has
// nothing to listen on and ends.)
TEST(EngineStart, BannerFollowsTheProgramName) {
    testsupport::TempDir dir;
    struct Case {
        const char* name;
        const char* banner;
    } cases[] = {{"ORQFPRX", "FTP PROXY"}, {"orqcprx", "SOCKS PROXY"}, {"orqiprx", "IMAP PROXY"},
                 {"proxy", "HTTP PROXY"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string link = dir / c.name;
        ASSERT_EQ(symlink(testsupport::BinPath("orqhprx").c_str(), link.c_str()), 0);
        testsupport::Process engine({link, "-e=VR", "-p=0", "-f"}, {{{"VR", dir.path()}}, dir.path(), true});
        ASSERT_EQ(engine.wait(std::chrono::seconds(30)), 0);
        EXPECT_TRUE(Contains(engine.out(), Lower(link) + "\n" + c.banner)) << engine.out();
    }
}

// A serving engine ignores SIGPIPE: a write to a socket its peer has
// closed (the directory's, the resolver's) fails instead of ending it.
TEST(EngineStart, ServingEngineIgnoresSigpipe) {
    testsupport::TempDir root;
    const int port = testsupport::FreeTcpPort();
    testsupport::MakeDirs(root.path() + "/VELQOR");
    testsupport::WriteFile(root.path() + "/VELQOR/http.ini", "127.0.0.1 " + std::to_string(port) + "=\r\n");
    testsupport::Process engine({testsupport::BinPath("orqhprx"), "-e=VR", "-p=0", "-f"},
                                {{{"VR", root.path()}}, root.path(), true});
    ASSERT_TRUE(testsupport::WaitForTcpPort(port)) << engine.err();

    std::ifstream status("/proc/" + std::to_string(engine.pid()) + "/status");
    std::string line;
    unsigned long long ignored = 0;
    while (std::getline(status, line))
        if (line.rfind("SigIgn:", 0) == 0) std::istringstream(line.substr(7)) >> std::hex >> ignored;
    EXPECT_NE(ignored & (1ULL << (SIGPIPE - 1)), 0u) << std::hex << ignored;
}

}  // namespace
