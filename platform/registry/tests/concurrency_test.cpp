// Several writers at once (processes and threads) and writers killed in
// the middle of a change.
#include "registry_fixture.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <set>
#include <thread>

namespace registry_test {
namespace {

constexpr int kValuesPerWriter = 60;

// Sets kValuesPerWriter values named "<prefix>-<n>", each through its own
// open, as the settings writers do.
void WriteValues(const std::string& prefix) {
    for (int i = 0; i < kValuesPerWriter; ++i) {
        HKEY key = nullptr;
        if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Shared\\", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                            nullptr) != kErrorSuccess) {
            _exit(2);
        }
        const DWORD value = static_cast<DWORD>(i);
        std::string name = prefix + "-" + std::to_string(i);
        if (RegSetValueExA(key, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), 4) != kErrorSuccess) {
            _exit(3);
        }
        RegCloseKey(key);
    }
}

// Two processes, each with two threads, write at the same time while this
// process keeps reading: nothing is lost and no read sees a broken file.
TEST_F(RegistryTest, ConcurrentWritersLoseNothing) {
    std::vector<pid_t> children;
    for (int process = 0; process < 2; ++process) {
        pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            std::string prefix = "p" + std::to_string(process);
            std::thread other([&] { WriteValues(prefix + "t1"); });
            WriteValues(prefix + "t0");
            other.join();
            _exit(0);
        }
        children.push_back(pid);
    }

    int badReads = 0;
    size_t finished = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (finished < children.size() && std::chrono::steady_clock::now() < deadline) {
        HKEY key = nullptr;
        LONG result = RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Shared", 0, KEY_READ, &key);
        if (result == kErrorSuccess) {
            RegCloseKey(key);
        } else if (result != kErrorFileNotFound) {
            ++badReads;
        }
        for (pid_t& pid : children) {
            int status = 0;
            if (pid > 0 && waitpid(pid, &status, WNOHANG) == pid) {
                EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
                pid = -1;
                ++finished;
            }
        }
    }
    for (pid_t pid : children) {
        if (pid > 0) kill(pid, SIGKILL), waitpid(pid, nullptr, 0);
    }
    ASSERT_EQ(children.size(), finished) << "writers did not finish in time";
    EXPECT_EQ(0, badReads);

    HKEY key = nullptr;
    ASSERT_EQ(kErrorSuccess, RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Shared", 0, KEY_READ, &key));
    std::set<std::string> names;
    char name[32];
    DWORD length = sizeof name;
    for (DWORD i = 0; RegEnumValueA(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) == kErrorSuccess; ++i) {
        names.insert(std::string(name, length));
        length = sizeof name;
    }
    RegCloseKey(key);
    EXPECT_EQ(4u * kValuesPerWriter, names.size());
}

// A writer killed at any moment leaves the previous or the next whole hive,
// never a part of one.
TEST_F(RegistryTest, KilledWriterNeverLeavesHalfAHive) {
    HKEY key = Create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Crash");
    RegCloseKey(key);
    for (int round = 0; round < 6; ++round) {
        pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            // Large values make each write take a while, so the kill lands
            // inside one.
            std::vector<BYTE> big(64 * 1024, static_cast<BYTE>(round));
            for (int i = 0;; ++i) {
                HKEY child = nullptr;
                RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Crash", 0, KEY_WRITE, &child);
                std::string name = "v" + std::to_string(i % 8);
                RegSetValueExA(child, name.c_str(), 0, REG_BINARY, big.data(), static_cast<DWORD>(big.size()));
                RegCloseKey(child);
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(30 + 20 * round));
        kill(pid, SIGKILL);
        int status = 0;
        ASSERT_EQ(pid, waitpid(pid, &status, 0));

        ASSERT_EQ(kErrorSuccess, RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Crash", 0, KEY_ALL_ACCESS, &key));
        DWORD size = 0;
        LONG result = RegQueryValueExA(key, "v0", nullptr, nullptr, nullptr, &size);
        EXPECT_TRUE(result == kErrorSuccess || result == kErrorFileNotFound) << result;
        // The next writer is not held up by what the killed one left.
        const DWORD one = 1;
        EXPECT_EQ(kErrorSuccess, RegSetValueExA(key, "after", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), 4));
        RegCloseKey(key);
    }
}

}  // namespace
}  // namespace registry_test
