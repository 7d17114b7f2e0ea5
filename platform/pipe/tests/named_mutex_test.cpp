#include "platform/pipe/named_mutex.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/pipe/pipe.h"
#include "platform/win32_errors.h"
#include "test_support.h"

namespace platform {
namespace {

class NamedMutexTest : public ::testing::Test {
protected:
    void SetUp() override { ::setenv("VELQOR_PIPE_DIR", (dir_ / "run").c_str(), 1); }
    testsupport::TempDir dir_;
};

TEST_F(NamedMutexTest, SecondCopyFindsItAlreadyExists) {
    NamedMutex first("Tavrisk VELQOR Server V2");
    EXPECT_EQ(first.error(), kErrorSuccess);
    EXPECT_TRUE(first.owned());
    EXPECT_TRUE(testsupport::FileExists(dir_ / "run/Tavrisk VELQOR Server V2.lock"));

    NamedMutex second("Tavrisk VELQOR Server V2");
    EXPECT_EQ(second.error(), kErrorAlreadyExists);
    EXPECT_FALSE(second.owned());
    auto other = testsupport::RunCommand("flock -n '" + (dir_ / "run/Tavrisk VELQOR Server V2.lock") + "' true");
    EXPECT_EQ(other.exitCode, 1) << "another process could take the mutex";

    first.Release();
    NamedMutex third("Tavrisk VELQOR Server V2");
    EXPECT_EQ(third.error(), kErrorSuccess);
}

TEST_F(NamedMutexTest, ServerTakesItsMutexAndItsPipeOfTheSameName) {
    NamedMutex guard("orqsvt");
    ASSERT_EQ(guard.error(), kErrorSuccess);
    int error = -1;
    auto server = PipeServer::Create("\\\\.\\pipe\\orqsvt", 512, &error);
    EXPECT_NE(server, nullptr) << error;
}

TEST_F(NamedMutexTest, ChildProcessesDoNotKeepIt) {
    auto mutex = std::make_unique<NamedMutex>("orqcwfs");
    ASSERT_EQ(mutex->error(), kErrorSuccess);
    testsupport::Process child({"/bin/sleep", "30"}, {});
    // Until its exec the child shares every descriptor; after it, only those
    // without close-on-exec.
    ASSERT_TRUE(testsupport::WaitUntil(
        [&] { return testsupport::ReadFile("/proc/" + std::to_string(child.pid()) + "/comm") == "sleep\n"; }));
    mutex.reset();
    NamedMutex again("orqcwfs");
    EXPECT_EQ(again.error(), kErrorSuccess);
}

TEST_F(NamedMutexTest, NameThatCannotBeAFileIsRefused) {
    EXPECT_EQ(NamedMutex("a/b").error(), kErrorInvalidParameter);
    EXPECT_EQ(NamedMutex("").error(), kErrorInvalidParameter);
}

}  // namespace
}  // namespace platform
