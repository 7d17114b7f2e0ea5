#include "engine/core/daily_log.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "test_support.h"

namespace {

// Control bytes that client text brings into a line are shown as "?";
// the engine's own lines, a logged head's CR LF and LF line ends, TABs and
// Shift_JIS bytes stay as they are.
TEST(EngineDailyLog, ControlBytesShowAsQuestionMarks) {
    testsupport::TempDir dir;
    engine::EngineLog().setFolder(dir / "log");
    engine::EngineLog().setToFile(true);
    engine::EngineLog().setToConsole(false);
    struct {
        std::string written, shown;
    } cases[] = {
        {"[GetDispatch] [0005] blacklist [GET http://h/a\rb\x1b[2K HTTP/1.1]\n",
         "[GetDispatch] [0005] blacklist [GET http://h/a?b?[2K HTTP/1.1]\n"},
        {"[ConnectHost] [0005] Server=h\x07\x7f\tx Port=80\n", "[ConnectHost] [0005] Server=h??\tx Port=80\n"},
        {"[GetDispatch] [0005] Requestheader [0006] [\nGET / HTTP/1.1\r\nX-A: 1\r2\nHost: h\r\n\r\n]\n",
         "[GetDispatch] [0005] Requestheader [0006] [\nGET / HTTP/1.1\r\nX-A: 1?2\nHost: h\r\n\r\n]\n"},
        {std::string("[Proxy_Dispatch] [0005] GET \x83\x65 \0x HTTP/1.1\r\n\n", 40),
         std::string("[Proxy_Dispatch] [0005] GET \x83\x65 ?x HTTP/1.1\r\n\n", 40)},
        {"[AcceptClients] [0005] START [0006]\n", "[AcceptClients] [0005] START [0006]\n"},
    };
    for (const auto& c : cases) engine::WriteLog(c.written);
    std::string log;
    for (const auto& entry : std::filesystem::directory_iterator(dir / "log")) log += testsupport::ReadFile(entry.path());
    for (const auto& c : cases) EXPECT_NE(log.find("] " + c.shown), std::string::npos) << c.shown << "\n" << log;

    EXPECT_EQ(engine::ClientText("alice\r\n[12:00:00:000] forged\tx"), "alice??[12:00:00:000] forged\tx");
}

}  // namespace
