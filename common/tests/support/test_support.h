// Shared helpers for the project's tests: temporary folders, loopback
// ports and child processes that always end.
#pragma once

#include <chrono>
#include <map>
#include <string>
#include <vector>
#include <sys/types.h>

namespace testsupport {

// A fresh folder under /tmp, removed with everything in it on destruction.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& content);
bool FileExists(const std::string& path);
void MakeDirs(const std::string& path);

// A loopback port (TCP and UDP) that was free a moment ago, outside the range
// the kernel gives client sockets, and handed to no other test program.
int FreeTcpPort();
// True once something accepts on 127.0.0.1:port (or address:port, an IPv4
// address), false after the time-out.
bool WaitForTcpPort(int port, std::chrono::milliseconds timeout = std::chrono::seconds(10));
bool WaitForTcpPort(const std::string& address, int port, std::chrono::milliseconds timeout);

// Where the build put the programs and the test helpers.
std::string BinPath(const std::string& program);
std::string SourcePath(const std::string& relative);

// A child process with its output captured to files; killed (and reaped)
// on destruction if still running.
class Process {
public:
    struct Options {
        std::map<std::string, std::string> env;  // added to (or replacing in) the parent's environment
        std::string cwd;
        bool closeStdin = true;
        // When set, the end of the Process asks with SIGTERM and waits this
        // long before SIGKILL: for peers that must stop what they started
        // (a daemon outside their process group).
        std::chrono::milliseconds stopGrace{0};
    };
    Process(std::vector<std::string> argv, Options options);
    ~Process();
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    pid_t pid() const { return pid_; }
    bool running();
    // Exit status (0..255), 128+signal when killed, or -1 on time-out.
    int wait(std::chrono::milliseconds timeout = std::chrono::seconds(30));
    void terminate(int signal = 15);
    std::string out() const;
    std::string err() const;

private:
    pid_t pid_ = -1;
    int status_ = -1;
    bool reaped_ = false;
    std::string outPath_, errPath_;
    std::chrono::milliseconds stopGrace_{0};
};

struct CommandResult {
    int exitCode;   // -1 on time-out
    std::string output;  // stdout and stderr together
};
// Runs a shell command line with a time-out.
CommandResult RunCommand(const std::string& command, std::chrono::milliseconds timeout = std::chrono::seconds(30));

// Polls cond every 20 ms until it holds or the time-out passes.
template <typename Cond>
bool WaitUntil(Cond cond, std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
    auto end = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < end) {
        if (cond()) return true;
        struct timespec ts{0, 20 * 1000 * 1000};
        nanosleep(&ts, nullptr);
    }
    return cond();
}

// True when this machine has an IPv6 loopback (::1) to test against: CI
// machines may run with IPv6 turned off.
bool HaveIPv6Loopback();

// Sets TZ for a test's duration and restores the previous value.
class ZoneScope {
public:
    explicit ZoneScope(const char* zone);
    ~ZoneScope();
    ZoneScope(const ZoneScope&) = delete;
    ZoneScope& operator=(const ZoneScope&) = delete;

private:
    bool had_ = false;
    std::string old_;
};

}  // namespace testsupport
