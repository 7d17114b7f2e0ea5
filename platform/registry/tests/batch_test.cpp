// Batches of changes: written to the store once at their end, seen before
// that only by the thread that made them, and never half.
#include "registry_fixture.h"

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <thread>

namespace registry_test {
namespace {

ino_t InodeOf(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

LONG SetDword(HKEY key, const std::string& name, DWORD value) {
    return RegSetValueExA(key, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
}

// Whether another thread (reading the store, not the batch) finds the value.
bool OthersSee(const char* path, const char* name) {
    bool found = false;
    std::thread reader([&] {
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, &key) != kErrorSuccess) return;
        found = RegQueryValueExA(key, name, nullptr, nullptr, nullptr, nullptr) == kErrorSuccess;
        RegCloseKey(key);
    });
    reader.join();
    return found;
}

TEST_F(RegistryTest, BatchIsWrittenOnceAtItsEndAndReadByItsOwnThreadMeanwhile) {
    HKEY key = Create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Batch");
    ASSERT_EQ(kErrorSuccess, SetDword(key, "before", 1));
    const ino_t before = InodeOf(HiveFile());
    {
        RegistryBatch batch;
        for (int i = 0; i < 50; ++i) ASSERT_EQ(kErrorSuccess, SetDword(key, "v" + std::to_string(i), i));
        HKEY sub = Create(key, "Sub");
        ASSERT_EQ(kErrorSuccess, RegSetValueUtf8(sub, "Path", REG_SZ, "/opt/ä"));
        RegCloseKey(sub);
        ASSERT_EQ(kErrorSuccess, RegDeleteValueA(key, "before"));

        EXPECT_EQ(QueryA(key, "v49"), std::make_pair(REG_DWORD, std::vector<BYTE>{49, 0, 0, 0}));
        EXPECT_EQ(QueryA(key, "before").first, REG_NONE);
        EXPECT_EQ(InodeOf(HiveFile()), before) << "the store file was replaced inside the batch";
        EXPECT_FALSE(OthersSee("SOFTWARE\\Batch", "v0"));
        EXPECT_TRUE(OthersSee("SOFTWARE\\Batch", "before"));
        {
            RegistryBatch inner;  // joins the outer one
            ASSERT_EQ(kErrorSuccess, SetDword(key, "inner", 7));
        }
        EXPECT_FALSE(OthersSee("SOFTWARE\\Batch", "inner"));
        EXPECT_EQ(kErrorSuccess, batch.Commit());
    }
    EXPECT_NE(InodeOf(HiveFile()), before);
    EXPECT_TRUE(OthersSee("SOFTWARE\\Batch", "v49"));
    EXPECT_TRUE(OthersSee("SOFTWARE\\Batch", "inner"));
    EXPECT_TRUE(OthersSee("SOFTWARE\\Batch\\Sub", "Path"));
    EXPECT_FALSE(OthersSee("SOFTWARE\\Batch", "before"));
    const std::string text = testsupport::ReadFile(HiveFile());
    EXPECT_NE(text.find("\"v49\"=dword:00000031"), std::string::npos) << text;
    RegCloseKey(key);
}

// A process killed inside a batch leaves the store as it was before the
// batch, and the next writer is not held up.
TEST_F(RegistryTest, KilledBatchLeavesTheStoreAsItWas) {
    HKEY key = Create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Batch");
    ASSERT_EQ(kErrorSuccess, SetDword(key, "kept", 1));
    int ready[2];
    ASSERT_EQ(0, ::pipe(ready));
    pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        RegistryBatch batch;
        for (int i = 0; i < 100; ++i) SetDword(key, "lost" + std::to_string(i), i);
        SetDword(key, "kept", 2);
        (void)!::write(ready[1], "x", 1);
        ::pause();
        _exit(0);
    }
    char byte;
    ASSERT_EQ(1, ::read(ready[0], &byte, 1));
    ::kill(pid, SIGKILL);
    ASSERT_EQ(pid, ::waitpid(pid, nullptr, 0));
    ::close(ready[0]);
    ::close(ready[1]);

    EXPECT_EQ(QueryA(key, "kept").second, (std::vector<BYTE>{1, 0, 0, 0}));
    EXPECT_EQ(QueryA(key, "lost0").first, REG_NONE);
    EXPECT_EQ(kErrorSuccess, SetDword(key, "after", 3));
    RegCloseKey(key);
}

}  // namespace
}  // namespace registry_test
