#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "common/file_retry.h"
#include "test_support.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

TEST(FileRetry, OpenGivesUpAtOnceOnAMissingFile) {
    testsupport::TempDir dir;
    auto start = Clock::now();
    common::FilePtr f = common::OpenWithRetry(dir / "missing", "rb", {1000, 50ms, true});
    EXPECT_FALSE(f);
    EXPECT_LT(Clock::now() - start, 1s);
}

TEST(FileRetry, OpenWaitsForAFileThatAppears) {
    testsupport::TempDir dir;
    std::thread writer([&dir] {
        std::this_thread::sleep_for(100ms);
        testsupport::WriteFile(dir / "late", "x");
    });
    common::FilePtr f = common::OpenWithRetry(dir / "late", "rb", {200, 10ms, false});
    writer.join();
    ASSERT_TRUE(f);
    EXPECT_EQ(std::fgetc(f.get()), 'x');
}

TEST(FileRetry, OpenStopsAfterItsTries) {
    testsupport::TempDir dir;
    // Opening a folder for writing fails every time.
    auto start = Clock::now();
    common::FilePtr f = common::OpenWithRetry(dir.path(), "wb", {4, 20ms, true});
    auto took = Clock::now() - start;
    EXPECT_FALSE(f);
    EXPECT_GE(took, 60ms);  // three pauses between four tries
    EXPECT_LT(took, 2s);
    // Zero tries still makes one attempt.
    testsupport::WriteFile(dir / "there", "y");
    EXPECT_TRUE(common::OpenWithRetry(dir / "there", "rb", {0, 20ms, true}));
}

TEST(FileRetry, DeleteEndsWhenGoneOrAfterItsBound) {
    testsupport::TempDir dir;
    testsupport::WriteFile(dir / "spool", "data");
    EXPECT_TRUE(common::DeleteWithRetry(dir / "spool"));
    EXPECT_FALSE(testsupport::FileExists(dir / "spool"));
    EXPECT_TRUE(common::DeleteWithRetry(dir / "spool"));  // already gone

    // A folder can't be unlinked: the bound ends the retries.
    testsupport::MakeDirs(dir / "folder");
    auto start = Clock::now();
    EXPECT_FALSE(common::DeleteWithRetry(dir / "folder", 10ms, 3));
    EXPECT_LT(Clock::now() - start, 2s);
    EXPECT_TRUE(testsupport::FileExists(dir / "folder"));
}

}  // namespace
