// The data port walk of -n and the registry of prepared data channels.
#include <gtest/gtest.h>

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "engine/core/engine_settings.h"
#include "engine/ftp/data_port.h"
#include "engine/ftp/ftp_data.h"
#include "test_support.h"

namespace engine {
namespace {

// A range of `count` loopback ports that were free a moment ago.
int FreeRange(int count) {
    for (int attempt = 0; attempt < 50; ++attempt) {
        int low = testsupport::FreeTcpPort();
        if (low + count > 65535) continue;
        bool free = true;
        std::vector<int> held;
        for (int p = low; p < low + count && free; ++p) {
            int fd = ::socket(AF_INET, SOCK_STREAM, 0);
            sockaddr_in a{};
            a.sin_family = AF_INET;
            a.sin_port = htons(static_cast<uint16_t>(p));
            free = ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
            held.push_back(fd);
        }
        for (int fd : held) ::close(fd);
        if (free) return low;
    }
    return 0;
}

class FtpDataPortTest : public ::testing::Test {
protected:
    void SetRange(int low, int high) {
        Settings().dataPortLow = low;
        Settings().dataPortHigh = high;
        ResetDataPortCounter();
    }
    void TearDown() override {
        for (int fd : held_) ::close(fd);
        SetRange(0, 0);
    }
    int Take(int& port) {
        int fd = BindDataPort(AF_INET, SOCK_STREAM, port);
        if (fd >= 0) held_.push_back(fd);
        return fd;
    }
    std::vector<int> held_;
};

TEST_F(FtpDataPortTest, WalksTheRangeInTurnSkipsBusyPortsAndWraps) {
    int low = FreeRange(3);
    ASSERT_NE(low, 0);
    SetRange(low, low + 2);
    int port = 0;
    ASSERT_GE(Take(port), 0);
    EXPECT_EQ(port, low);
    // The next port is busy (held by someone else): skipped.
    int other = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(low + 1));
    ASSERT_EQ(::bind(other, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    ASSERT_EQ(::listen(other, 1), 0);
    held_.push_back(other);
    ASSERT_GE(Take(port), 0);
    EXPECT_EQ(port, low + 2);
    // Every port busy: one pass, then a failure instead of an endless walk.
    EXPECT_EQ(Take(port), -1);
    EXPECT_EQ(errno, EADDRINUSE);
    // A port given back is found again from the low end.
    ::close(held_.front());
    held_.erase(held_.begin());
    ASSERT_GE(Take(port), 0);
    EXPECT_EQ(port, low);
}

TEST_F(FtpDataPortTest, WithoutARangeTheSystemChooses) {
    SetRange(0, 0);
    int port = 0;
    ASSERT_GE(Take(port), 0);
    EXPECT_GT(port, 0);
}

TEST_F(FtpDataPortTest, ThreadsNeverGetTheSamePort) {
    int low = FreeRange(8);
    ASSERT_NE(low, 0);
    SetRange(low, low + 7);
    std::vector<int> ports(8), fds(8);
    std::vector<std::thread> threads;
    for (int i = 0; i < 8; ++i) threads.emplace_back([&, i] { fds[i] = BindDataPort(AF_INET, SOCK_STREAM, ports[i]); });
    for (auto& t : threads) t.join();
    for (int fd : fds) {
        ASSERT_GE(fd, 0);
        held_.push_back(fd);
    }
    std::sort(ports.begin(), ports.end());
    EXPECT_EQ(std::unique(ports.begin(), ports.end()), ports.end());
    EXPECT_EQ(ports.front(), low);
    EXPECT_EQ(ports.back(), low + 7);
}

TEST(FtpDataChannelTest, PlanWaitsEndByPlanTimeOrCancel) {
    auto channel = PrepareFtpDataChannel(40001, 7, true);
    FtpDataPlan plan;
    EXPECT_EQ(channel->WaitForPlan(std::chrono::milliseconds(20), plan), FtpDataWait::TimedOut);
    std::thread setter([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        channel->SetPlan({false, false, "/tmp/x.dat"});
    });
    EXPECT_EQ(channel->WaitForPlan(std::chrono::seconds(10), plan), FtpDataWait::Ready);
    setter.join();
    EXPECT_FALSE(plan.download);
    EXPECT_EQ(plan.cachePath, "/tmp/x.dat");

    auto other = PrepareFtpDataChannel(40002, 8, false);
    std::thread canceller([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        other->Cancel();
    });
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(other->WaitForPlan(std::chrono::seconds(10), plan), FtpDataWait::Cancelled);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    canceller.join();
    pollfd cancelled{other->CancelDescriptor(), POLLIN, 0};
    EXPECT_EQ(::poll(&cancelled, 1, 0), 1);
    EXPECT_FALSE(other->Claim());
    ForgetFtpDataChannel(*channel);
    ForgetFtpDataChannel(*other);
}

TEST(FtpDataChannelTest, AReusedPortFindsOnlyTheChannelStillWaiting) {
    EXPECT_EQ(FindFtpDataChannel(40003), nullptr);
    auto first = PrepareFtpDataChannel(40003, 9, true);
    EXPECT_EQ(FindFtpDataChannel(40003), first);
    ASSERT_TRUE(first->Claim());
    EXPECT_FALSE(first->Claim());
    // The first is still being served when the port comes round again.
    EXPECT_EQ(FindFtpDataChannel(40003), nullptr);
    auto second = PrepareFtpDataChannel(40003, 9, true);
    EXPECT_NE(first->serial(), second->serial());
    EXPECT_EQ(FindFtpDataChannel(40003), second);
    ForgetFtpDataChannel(*first);
    EXPECT_EQ(FindFtpDataChannel(40003), second);
    ForgetFtpDataChannel(*second);
    EXPECT_EQ(FindFtpDataChannel(40003), nullptr);
}

TEST(FtpDataChannelTest, OnlyAConnectionToTheListenerOrTheFtpServerFindsTheChannel) {
    // Without a data port range the port number alone is shared with every
    // other host: a SOCKS CONNECT elsewhere on it is no FTP data. The FTP
    // server as the client named it is where a client that took only the
    // port connects.
    auto four = PrepareFtpDataChannel(40004, 9, true, "127.0.0.1", "ftp.example");
    auto six = PrepareFtpDataChannel(40005, 9, true, "::1", "192.0.2.9");
    struct Case {
        int port;
        const char* host;
        bool found;
    };
    for (const Case& c : {Case{40004, "127.0.0.1", true}, Case{40004, "::ffff:127.0.0.1", true},
                          Case{40004, "127.0.0.2", false}, Case{40004, "192.0.2.7", false},
                          Case{40004, "ftp.example", true}, Case{40004, "FTP.Example", true},
                          Case{40004, "other.example", false}, Case{40004, "", true}, Case{40005, "::1", true},
                          Case{40005, "0:0::1", true}, Case{40005, "192.0.2.9", true}, Case{40005, "::2", false},
                          Case{40005, "127.0.0.1", false}, Case{40006, "127.0.0.1", false}}) {
        SCOPED_TRACE(std::string(c.host) + " " + std::to_string(c.port));
        EXPECT_EQ(FindFtpDataChannel(c.port, c.host) != nullptr, c.found);
    }
    ForgetFtpDataChannel(*four);
    ForgetFtpDataChannel(*six);
}

}  // namespace
}  // namespace engine
