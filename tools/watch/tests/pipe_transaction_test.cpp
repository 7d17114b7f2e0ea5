// The watchers' pipe call against the stand-in peers, its log lines read
// from the daily log file.
#include "tools/watch/pipe_transaction.h"

#include <future>

#include "common/daily_log.h"
#include "tools/watch/watch_log.h"
#include "watch_fixture.h"

namespace {

using namespace std::chrono_literals;

class PipeTransactionTest : public watchtest::WatcherFixture {
protected:
    void SetUp() override {
        WatcherFixture::SetUp();
        ::setenv("VELQOR_PIPE_DIR", pipeDir().c_str(), 1);
        watch::ConfigureFileLog(t("log"), true);
    }
    std::string LogText() const { return testsupport::ReadFile(common::DailyFilePath(t("log"), common::NowLocal())); }
    size_t LogCount(const std::string& line) const {
        std::string text = LogText();
        size_t count = 0;
        for (size_t at = 0; (at = text.find(line, at)) != std::string::npos; at += line.size()) ++count;
        return count;
    }
};

// While the panel's pop-up holds the pipe, a second sender waits for it and
// says so once, not once per try.
TEST_F(PipeTransactionTest, BusyPipeIsWaitedForAndLoggedOnce) {
    StartPeers({}, 1500);
    auto first = std::async(std::launch::async, [] { watch::SendAlert("First", "/x/one"); });
    ASSERT_TRUE(testsupport::WaitUntil([&] { return Alerts().size() == 1; }));
    std::string reply;
    EXPECT_TRUE(watch::CallPipeTransaction("[Second] /x/two", reply, common::kAlertPipeName));
    first.get();
    EXPECT_EQ(reply, "O");
    EXPECT_EQ(LogCount("[Second] /x/two --- pipe err = 231\n"), 1u) << LogText();
    EXPECT_EQ(LogCount("[Second] /x/two --- O\n"), 1u);
    EXPECT_EQ(Alerts(), (std::vector<std::string>{"[First] /x/one", "[Second] /x/two"}));
}

TEST_F(PipeTransactionTest, FailureIsLoggedAndGivesNoReply) {
    std::string reply = "stale";
    EXPECT_FALSE(watch::CallPipeTransaction("/x/file", reply, common::kScanPipeName));
    EXPECT_EQ(reply, "");
    EXPECT_EQ(LogCount("/x/file --- pipe err = 2\n"), 1u) << LogText();
}

TEST_F(PipeTransactionTest, RepliesAsEachWatcherReadsThem) {
    testsupport::WriteFile(t("infected"), eicar_);
    {
        avstub::Options o;
        o.longFinding = true;
        StartPeers(o);
        std::string reply;
        EXPECT_TRUE(watch::CallPipeTransaction(t("infected"), reply, common::kScanPipeName));
        EXPECT_EQ(reply.size(), common::kPlainMessageSize);  // longer than the buffer: still a finding
        EXPECT_EQ(reply.rfind(avstub::kFinding, 0), 0u);
        scanner_.reset();
        alerter_.reset();
    }
    avstub::Options o;
    o.fixedReply = "avs_accessdenied: locked";
    StartPeers(o);
    std::string reply;
    EXPECT_TRUE(watch::CallPipeTransaction(t("infected"), reply, common::kScanPipeName));
    EXPECT_EQ(reply, "avs_accessdenied: locked");
    EXPECT_TRUE(watch::CallPipeTransaction(t("infected"), reply, common::kScanPipeName, {.accessDeniedIsClean = true}));
    EXPECT_EQ(reply, "");
    EXPECT_EQ(LogCount(t("infected") + " --- avs_accessdenied: locked\n"), 2u);
    // The request is the text in 512 bytes.
    EXPECT_EQ(testsupport::ReadFile(scanLog()).substr(0, 6), "512\t-\t");
}

}  // namespace
