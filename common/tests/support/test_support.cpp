#include "test_support.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <random>
#include <sstream>
#include <stdexcept>
#include <utility>

extern char** environ;

namespace testsupport {

namespace fs = std::filesystem;

TempDir::TempDir() {
    char tmpl[] = "/tmp/velqor-test-XXXXXX";
    if (!mkdtemp(tmpl)) throw std::runtime_error("mkdtemp failed");
    path_ = tmpl;
}

TempDir::~TempDir() {
    std::error_code ec;
    fs::remove_all(path_, ec);
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void WriteFile(const std::string& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
}

bool FileExists(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

void MakeDirs(const std::string& path) {
    std::error_code ec;
    fs::create_directories(path, ec);
}

namespace {

// The kernel hands out ports of this range for every outgoing connection and
// every bind to port 0, so a port picked there can be taken by any of the
// suite's thousands of client sockets before the server under test binds it.
std::pair<int, int> EphemeralPortRange() {
    std::ifstream in("/proc/sys/net/ipv4/ip_local_port_range");
    int low = 32768, high = 60999;
    if (!(in >> low >> high) || low > high) return {32768, 60999};
    return {low, high};
}

bool PortBindsOnLoopback(int port, int type) {
    int fd = ::socket(AF_INET, type | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<uint16_t>(port));
    bool ok = ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    ::close(fd);
    return ok;
}

// Test programs run side by side pick from one range; a byte lock per port
// in one shared file, held for the life of the process that picked it, keeps
// two of them from being handed the same port before either binds it.
bool ClaimPortForThisProcess(int port) {
    static int lockFd = ::open("/tmp/velqor-test-ports.lock", O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (lockFd < 0) return true;
    struct flock lock{};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    lock.l_start = port;
    lock.l_len = 1;
    return ::fcntl(lockFd, F_OFD_SETLK, &lock) == 0;
}

}  // namespace

int FreeTcpPort() {
    auto [ephemeralLow, ephemeralHigh] = EphemeralPortRange();
    int low = 10000, high = ephemeralLow - 1;
    if (high - low < 1000) {  // a machine whose ephemeral range starts low: take what lies above it
        low = ephemeralHigh + 1;
        high = 65535;
    }
    static std::mutex guard;
    std::lock_guard lock(guard);
    static std::mt19937 random(std::random_device{}() ^ static_cast<unsigned>(::getpid()));
    std::uniform_int_distribution<int> pick(low, high);
    for (int attempt = 0; attempt < 2000; ++attempt) {
        int port = pick(random);
        if (!PortBindsOnLoopback(port, SOCK_STREAM) || !PortBindsOnLoopback(port, SOCK_DGRAM)) continue;
        if (ClaimPortForThisProcess(port)) return port;
    }
    throw std::runtime_error("no free loopback port outside the ephemeral range");
}

bool WaitForTcpPort(int port, std::chrono::milliseconds timeout) { return WaitForTcpPort("127.0.0.1", port, timeout); }

bool WaitForTcpPort(const std::string& address, int port, std::chrono::milliseconds timeout) {
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    if (::inet_pton(AF_INET, address.c_str(), &addr.sin_addr) != 1) return false;
    return WaitUntil([&addr] {
        int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
        ::close(fd);
        return ok;
    }, timeout);
}

std::string BinPath(const std::string& program) { return std::string(VELQOR_BIN_DIR) + "/" + program; }
std::string SourcePath(const std::string& relative) { return std::string(VELQOR_SOURCE_DIR) + "/" + relative; }

static int outputCounter = 0;

Process::Process(std::vector<std::string> argv, Options options) : stopGrace_(options.stopGrace) {
    char tmpl[] = "/tmp/velqor-proc-XXXXXX";
    int fd = mkstemp(tmpl);
    if (fd >= 0) ::close(fd);
    std::string base = tmpl;
    outPath_ = base + ".out" + std::to_string(outputCounter);
    errPath_ = base + ".err" + std::to_string(outputCounter++);
    ::unlink(tmpl);

    std::map<std::string, std::string> env;
    for (char** e = environ; *e; ++e) {
        const char* eq = std::strchr(*e, '=');
        if (eq) env[std::string(*e, static_cast<size_t>(eq - *e))] = eq + 1;
    }
    for (auto& [k, v] : options.env) env[k] = v;
    std::vector<std::string> envText;
    for (auto& [k, v] : env) envText.push_back(k + "=" + v);

    std::vector<char*> argvC, envC;
    for (auto& a : argv) argvC.push_back(a.data());
    argvC.push_back(nullptr);
    for (auto& e : envText) envC.push_back(e.data());
    envC.push_back(nullptr);

    pid_ = ::fork();
    if (pid_ == 0) {
        if (!options.cwd.empty() && ::chdir(options.cwd.c_str()) != 0) _exit(126);
        int in = ::open("/dev/null", O_RDONLY);
        int out = ::open(outPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int err = ::open(errPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (options.closeStdin) ::dup2(in, 0);
        ::dup2(out, 1);
        ::dup2(err, 2);
        ::setpgid(0, 0);
        ::execve(argvC[0], argvC.data(), envC.data());
        _exit(127);
    }
}

Process::~Process() {
    if (pid_ > 0 && !reaped_ && stopGrace_.count() > 0) {
        ::kill(pid_, SIGTERM);
        wait(stopGrace_);
    }
    if (pid_ > 0 && !reaped_) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, &status_, 0);
    }
    ::unlink(outPath_.c_str());
    ::unlink(errPath_.c_str());
}

bool Process::running() {
    if (reaped_) return false;
    int st;
    pid_t r = ::waitpid(pid_, &st, WNOHANG);
    if (r == pid_) {
        status_ = st;
        reaped_ = true;
        return false;
    }
    return true;
}

int Process::wait(std::chrono::milliseconds timeout) {
    if (!WaitUntil([this] { return !running(); }, timeout)) return -1;
    if (WIFEXITED(status_)) return WEXITSTATUS(status_);
    if (WIFSIGNALED(status_)) return 128 + WTERMSIG(status_);
    return -1;
}

void Process::terminate(int signal) {
    if (!reaped_) ::kill(pid_, signal);
}

std::string Process::out() const { return ReadFile(outPath_); }
std::string Process::err() const { return ReadFile(errPath_); }

CommandResult RunCommand(const std::string& command, std::chrono::milliseconds timeout) {
    Process p({"/bin/sh", "-c", command + " 2>&1"}, {});
    int code = p.wait(timeout);
    if (code < 0) p.terminate(9);
    return {code, p.out()};
}

bool HaveIPv6Loopback() {
    int fd = ::socket(AF_INET6, SOCK_STREAM, 0);
    if (fd < 0) return false;
    sockaddr_in6 address{};
    address.sin6_family = AF_INET6;
    address.sin6_addr = in6addr_loopback;
    bool ok = ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return ok;
}

ZoneScope::ZoneScope(const char* zone) {
    const char* old = std::getenv("TZ");
    had_ = old != nullptr;
    if (had_) old_ = old;
    setenv("TZ", zone, 1);
    tzset();
}

ZoneScope::~ZoneScope() {
    if (had_)
        setenv("TZ", old_.c_str(), 1);
    else
        unsetenv("TZ");
    tzset();
}

}  // namespace testsupport
