// The GET road on a data disk that fills up: a small tmpfs mounted over the
// engine's cache folder. A response whose copy could not be written whole
// is never relayed as complete and never passes unscanned.
#include <gtest/gtest.h>
#include <sys/mount.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>

#include "avstub.h"
#include "engine_process.h"
#include "test_support.h"

namespace {

using namespace std::chrono_literals;

constexpr size_t kPage = 4096;
constexpr size_t kMiB = 1024 * 1024;
constexpr size_t kDiskSize = 8 * kMiB;

class FullDisk : public ::testing::Test, protected listenertest::ScannedEngine {
protected:
    void SetUp() override {
        listenertest::EngineOptions options;
        options.extra = {"-!=0"};
        StartEngine(options);
        cache_ = engine_->dataFolder() + "cache";
        if (::mount("tmpfs", cache_.c_str(), "tmpfs", 0, ("size=" + std::to_string(kDiskSize)).c_str()) != 0)
            GTEST_SKIP() << "a tmpfs can't be mounted here: " << std::strerror(errno);
        mounted_ = true;
    }
    void TearDown() override {
        if (mounted_) ::umount2(cache_.c_str(), MNT_DETACH);
    }

    // Leaves free bytes on the disk (a multiple of the page size).
    void LeaveFree(size_t free) { testsupport::WriteFile(cache_ + "/filler", std::string(kDiskSize - free, 'f')); }

    // curl through the engine: the status line and headers, then the body.
    std::string Get(const std::string& url) {
        return testsupport::RunCommand(
                   "curl -sS -i --max-time 20 -x http://127.0.0.1:" + std::to_string(port_) + " '" + url + "'", 30s)
            .output;
    }

    // curl through the engine into a file: the exit code, the status and
    // how many body bytes arrived.
    struct Download {
        int exitCode;
        std::string status;
        size_t bytes;
    };
    Download Fetch(const std::string& url) {
        const std::string file = work_ / "fetched";
        std::filesystem::remove(file);
        const testsupport::CommandResult result = testsupport::RunCommand(
            "curl -s --max-time 20 -o " + file + " -w '%{http_code}' -x http://127.0.0.1:" + std::to_string(port_) +
                " '" + url + "'",
            30s);
        return {result.exitCode, result.output,
                testsupport::FileExists(file) ? static_cast<size_t>(std::filesystem::file_size(file)) : 0};
    }

    testsupport::TempDir work_;
    std::string cache_;
    bool mounted_ = false;
    listenertest::OriginServer origin_;
};

TEST_F(FullDisk, AResponseThatCannotBeSpooledWholeGets503) {
    LeaveFree(16 * kPage);
    const std::string reply = Get(origin_.url("close/data-1000000"));
    EXPECT_EQ(reply.rfind("HTTP/1.1 503 Service Unavailable\r\n", 0), 0u) << reply.substr(0, 400) << engine_->log();
    EXPECT_TRUE(engine_->waitForLog("] spool file not written. (" + cache_ + "/req-0-")) << engine_->log();
    EXPECT_TRUE(engine_->waitForLog("No space left on device")) << engine_->log();
}

// With room for the request but not for the body's scan copy, the EICAR
// file must not go out as it came.
TEST_F(FullDisk, AnUnscannedBodyNeverReachesTheClient) {
    LeaveFree(kPage);
    const std::string reply = Get(origin_.url("length/eicar"));
    EXPECT_EQ(reply.find("EICAR-STANDARD"), std::string::npos) << reply << engine_->log();
    EXPECT_EQ(reply.rfind("HTTP/1.1 503 Service Unavailable\r\n", 0), 0u) << reply << engine_->log();
}

// A download too large to wait for, on a disk with room for only part of
// its scan copy: whatever its framing and wherever its virus lies (or with
// none), the client gets 503 while nothing has gone out, else a reset
// before the held tail; never the whole unscanned body. With 300 KiB free
// a chunked or close-delimited body fills the disk before it streams, a
// Content-Length one after; with 5 MiB free all three are streaming.
TEST_F(FullDisk, ADownloadWhoseScanCopyFillsTheDiskNeverArrivesWhole) {
    const struct {
        size_t free;
        size_t size;
        std::string form;
        bool answered503;
    } cases[] = {
        {300 * 1024, 3 * kMiB, "length", false},
        {300 * 1024, 3 * kMiB, "chunked", true},
        {300 * 1024, 3 * kMiB, "close", true},
        {5 * kMiB, 6 * kMiB, "length", false},
        {5 * kMiB, 6 * kMiB, "chunked", false},
        {5 * kMiB, 6 * kMiB, "close", false},
    };
    for (const auto& c : cases) {
        LeaveFree(c.free);
        for (const std::string body : {"eicarstart", "eicarend", "data"}) {
            const std::string name = c.form + "/" + body + "-" + std::to_string(c.size);
            const std::string where = name + " with " + std::to_string(c.free) + " bytes free";
            const Download got = Fetch(origin_.url(name));
            EXPECT_LT(got.bytes, c.size) << where;
            if (c.answered503) {
                EXPECT_EQ(got.status, "503") << where;
                EXPECT_EQ(got.exitCode, 0) << where;
            } else {
                // How much arrived depends on how far curl read before the
                // reset, which drops what it had not read yet.
                EXPECT_NE(got.exitCode, 0) << where << ": the cut body looks whole";
            }
            EXPECT_TRUE(engine_->waitForEmptyCache()) << where << engine_->log();
        }
    }
    EXPECT_TRUE(engine_->waitForLog("No space left on device")) << engine_->log();
    EXPECT_TRUE(engine_->waitForLog("] C:reset (the answer could not be stored for its scan).")) << engine_->log();
}

// A full disk answers 503 instead of closing in silence, and the engine
// serves again once there is room.
TEST_F(FullDisk, ServesAgainWhenThereIsRoom) {
    LeaveFree(0);
    std::string reply = Get(origin_.url("length/data-10"));
    EXPECT_EQ(reply.rfind("HTTP/1.1 503 Service Unavailable\r\n", 0), 0u) << reply << engine_->log();
    std::filesystem::remove(cache_ + "/filler");
    reply = Get(origin_.url("length/hello"));
    EXPECT_EQ(reply.rfind("HTTP/1.1 200 OK\r\n", 0), 0u) << reply << engine_->log();
    EXPECT_NE(reply.find("\r\n\r\nhello\n"), std::string::npos) << reply;
}

}  // namespace
