#include "engine/tests/avstub/avstub.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>

#include "platform/pipe/pipe.h"
#include "platform/win32_errors.h"
#include "test_support.h"

namespace {

using namespace std::chrono_literals;

class AvStubTest : public ::testing::Test {
protected:
    void SetUp() override {
        ::setenv("VELQOR_PIPE_DIR", pipeDir().c_str(), 1);
        testsupport::WriteFile(infected(), std::string("attachment ") + avstub::kEicarTestString + "\r\n");
        testsupport::WriteFile(clean(), "nothing to see\r\n");
    }
    std::string pipeDir() const { return dir_ / "run"; }
    std::string log() const { return dir_ / "requests.log"; }
    std::string infected() const { return dir_ / "req-1-0007.dat"; }
    std::string clean() const { return dir_ / "clean.dat"; }
    avstub::Options options() const { return {pipeDir(), log()}; }

    testsupport::TempDir dir_;
};

// The plain form (path in 512 bytes), or the engine's form (path, TAB and
// the source text, in 521 bytes).
std::string Request(const std::string& path, const char* source = nullptr) {
    std::string request = path;
    if (source) request += std::string("\t") + source;
    request.resize(source ? 521 : 512, '\0');
    return request;
}

struct Answer {
    int error;
    std::string reply;
};
Answer Scan(const std::string& request, size_t capacity = 521, uint32_t timeoutMs = platform::kPipeWaitForever) {
    Answer answer;
    answer.error = platform::CallNamedPipe("\\\\.\\pipe\\orqavs", request, capacity, answer.reply, timeoutMs);
    return answer;
}

TEST_F(AvStubTest, AnswersByTheFileAndRecordsEachRequest) {
    auto stub = avstub::Start(options());
    struct Case {
        std::string request;
        std::string reply;
        std::string logLine;
    };
    const Case cases[] = {
        {Request(infected()), "EICAR-Test-File", "512\t-\t" + infected()},
        {Request(clean()), "", "512\t-\t" + clean()},
        {Request(infected(), "3"), "EICAR-Test-File", "521\t3\t" + infected()},
        {Request(clean(), "1"), "", "521\t1\t" + clean()},
        {Request(clean(), ""), "", "521\tTAB\t" + clean()},  // the SOCKS relay's form
        {Request(dir_ / "gone.dat", "2"), "AVS_ACCESSDENIED", "521\t2\t" + (dir_ / "gone.dat")},
    };
    std::string expectedLog;
    for (const Case& c : cases) {
        Answer answer = Scan(c.request);
        EXPECT_EQ(answer.error, platform::kErrorSuccess) << c.logLine;
        EXPECT_EQ(answer.reply, c.reply) << c.logLine;
        expectedLog += c.logLine + "\n";
    }
    EXPECT_EQ(testsupport::ReadFile(log()), expectedLog);
}

// A watcher asks about every program of the machine: only the test's own
// folder can hold findings, so nobody else's program is reported.
TEST_F(AvStubTest, MarkerAndOnlyBelowOneFolder) {
    testsupport::MakeDirs(dir_ / "mine");
    testsupport::WriteFile(dir_ / "mine/protected.exe", std::string("MZ ") + avstub::kPasswordProtectedMarker);
    testsupport::WriteFile(dir_ / "mine/infected.exe", avstub::kEicarTestString);
    avstub::Options o = options();
    o.onlyBelow = dir_ / "mine";
    auto stub = avstub::Start(o);
    EXPECT_EQ(Scan(Request(dir_ / "mine/protected.exe")).reply, "Password-protected-EXE");
    EXPECT_EQ(Scan(Request(dir_ / "mine/infected.exe")).reply, "EICAR-Test-File");
    EXPECT_EQ(Scan(Request(dir_ / "mine/gone.exe")).reply, "AVS_ACCESSDENIED");
    EXPECT_EQ(Scan(Request(infected())).reply, "");
    EXPECT_EQ(Scan(Request(dir_ / "mine-not/x")).reply, "");
}

TEST_F(AvStubTest, AccessDeniedModeAnswersEveryFileSo) {
    avstub::Options o = options();
    o.accessDenied = true;
    auto stub = avstub::Start(o);
    EXPECT_EQ(Scan(Request(infected(), "1")).reply, "AVS_ACCESSDENIED");
    EXPECT_EQ(Scan(Request(clean())).reply, "AVS_ACCESSDENIED");
}

TEST_F(AvStubTest, LongFindingOverrunsTheEngineReplyBuffer) {
    avstub::Options o = options();
    o.longFinding = true;
    auto stub = avstub::Start(o);
    Answer cut = Scan(Request(infected(), "1"), 521);
    EXPECT_EQ(cut.error, platform::kErrorMoreData);
    EXPECT_EQ(cut.reply.size(), 521u);
    EXPECT_EQ(cut.reply.rfind("EICAR-Test-File", 0), 0u);
    EXPECT_EQ(Scan(Request(infected(), "1"), 4096).reply.size(), 600u);
    EXPECT_EQ(Scan(Request(clean(), "1")).reply, "");
}

TEST_F(AvStubTest, DelayedAnswerKeepsThePipeBusy) {
    avstub::Options o = options();
    o.delayMs = 500;
    auto stub = avstub::Start(o);
    auto slow = std::async(std::launch::async, [&] { return Scan(Request(infected(), "3")); });
    ASSERT_TRUE(testsupport::WaitUntil([&] { return !testsupport::ReadFile(log()).empty(); }));
    EXPECT_EQ(Scan(Request(clean()), 521, platform::kPipeNoWait).error, platform::kErrorPipeBusy);
    EXPECT_EQ(slow.get().reply, "EICAR-Test-File");
}

TEST_F(AvStubTest, SecondCopyExitsAndTermEndsTheFirstCleanly) {
    auto stub = avstub::Start(options());
    testsupport::Process::Options env;
    env.env["VELQOR_PIPE_DIR"] = pipeDir();
    testsupport::Process second({avstub::ProgramPath()}, env);
    EXPECT_EQ(second.wait(), 1);
    EXPECT_EQ(Scan(Request(infected())).reply, "EICAR-Test-File");

    stub->terminate();
    EXPECT_EQ(stub->wait(), 0);
    EXPECT_FALSE(testsupport::FileExists(pipeDir() + "/orqavs"));
}

}  // namespace
