#include "platform/process/process.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <set>

extern char** environ;

namespace platform {

namespace {

// The kernel keeps at most this many characters of a program's name.
constexpr size_t kCommLength = 15;

std::mutex startedLock;
std::set<pid_t> started;  // children of StartChild not yet reaped
std::deque<EndedChild> ended;  // reaped, not yet taken
constexpr size_t kEndedKept = 64;

// /proc files of a process that is just ending can fail to read (ESRCH);
// that only means the process is gone.
bool ReadSmallFile(const std::string& path, std::string& text) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    char buf[1024];
    ssize_t n;
    while ((n = ::read(fd, buf, sizeof buf)) < 0 && errno == EINTR) {
    }
    ::close(fd);
    if (n < 0) return false;
    text.assign(buf, static_cast<size_t>(n));
    return true;
}

// The state letter of /proc/PID/stat; the name field before it may hold
// blanks and parentheses, so the letter follows the last ')'.
char ProcessState(pid_t pid) {
    std::string stat;
    if (!ReadSmallFile("/proc/" + std::to_string(pid) + "/stat", stat)) return 0;
    size_t close = stat.rfind(')');
    if (close == std::string::npos || close + 2 >= stat.size()) return 0;
    return stat[close + 2];
}

// The file the process runs from, as /proc shows it; empty when unreadable.
std::string ExecutablePath(pid_t pid) {
    char buf[PATH_MAX];
    std::string link = "/proc/" + std::to_string(pid) + "/exe";
    ssize_t n = ::readlink(link.c_str(), buf, sizeof buf - 1);
    if (n <= 0) return "";
    std::string path(buf, static_cast<size_t>(n));
    // A program whose file was replaced (a rebuild) still runs from it.
    static const std::string deleted = " (deleted)";
    if (path.size() > deleted.size() && path.compare(path.size() - deleted.size(), deleted.size(), deleted) == 0)
        path.resize(path.size() - deleted.size());
    return path;
}

std::string FolderOf(const std::string& path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? "" : path.substr(0, slash == 0 ? 1 : slash);
}

std::string BaseName(const std::string& path) { return path.substr(path.rfind('/') + 1); }

std::string CanonicalFolder(const std::string& folder) {
    char buf[PATH_MAX];
    if (::realpath(folder.c_str(), buf)) return buf;
    return folder;
}

// A script runs as its interpreter: the kernel names the process after the
// script and hands the script's path to the interpreter as an argument.
// That path (made absolute against the process's folder), or empty.
std::string ScriptPath(pid_t pid, const std::string& comm) {
    std::string proc = "/proc/" + std::to_string(pid);
    int fd = ::open((proc + "/cmdline").c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return "";
    std::string cmdline;
    char buf[4096];
    for (ssize_t n; cmdline.size() < 65536 && (n = ::read(fd, buf, sizeof buf)) != 0;) {
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) break;
        cmdline.append(buf, static_cast<size_t>(n));
    }
    ::close(fd);
    // Every argument after the interpreter's own name.
    for (size_t at = cmdline.find('\0'); at != std::string::npos && at + 1 < cmdline.size();) {
        size_t end = cmdline.find('\0', at + 1);
        std::string arg = cmdline.substr(at + 1, end == std::string::npos ? std::string::npos : end - at - 1);
        at = end;
        if (arg.empty() || !ProcessNameMatches(comm, BaseName(arg))) continue;
        if (arg[0] == '/') return arg;
        char cwd[PATH_MAX];
        ssize_t n = ::readlink((proc + "/cwd").c_str(), cwd, sizeof cwd - 1);
        return n > 0 ? std::string(cwd, static_cast<size_t>(n)) + "/" + arg : "";
    }
    return "";
}

// True when the process was started from a program file in `folder`: its
// executable, or for a script the script.
bool StartedFrom(pid_t pid, const std::string& comm, const std::string& folder) {
    std::string exe = ExecutablePath(pid);
    if (exe.empty()) return false;
    if (FolderOf(exe) == folder) return true;
    if (ProcessNameMatches(comm, BaseName(exe))) return false;
    std::string script = ScriptPath(pid, comm);
    return !script.empty() && CanonicalFolder(FolderOf(script)) == folder;
}

// Attributes every child starts with: no signal blocked, none ignored,
// whatever this process does with its own signals.
struct SpawnSetup {
    posix_spawnattr_t attr;
    posix_spawn_file_actions_t actions;
    SpawnSetup() {
        posix_spawnattr_init(&attr);
        posix_spawn_file_actions_init(&actions);
        sigset_t none, all;
        sigemptyset(&none);
        sigfillset(&all);
        sigdelset(&all, SIGKILL);
        sigdelset(&all, SIGSTOP);
        posix_spawnattr_setsigmask(&attr, &none);
        posix_spawnattr_setsigdefault(&attr, &all);
        posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    }
    ~SpawnSetup() {
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attr);
    }
    SpawnSetup(const SpawnSetup&) = delete;
    SpawnSetup& operator=(const SpawnSetup&) = delete;
};

std::vector<char*> ArgvPointers(const std::vector<std::string>& argv) {
    std::vector<char*> ptrs;
    for (const auto& a : argv) ptrs.push_back(const_cast<char*>(a.c_str()));
    ptrs.push_back(nullptr);
    return ptrs;
}

}  // namespace

bool ProcessNameMatches(const std::string& comm, const std::string& name) {
    std::string want = name.substr(0, kCommLength);
    if (comm.size() != want.size()) return false;
    for (size_t i = 0; i < want.size(); ++i) {
        unsigned char a = static_cast<unsigned char>(comm[i]), b = static_cast<unsigned char>(want[i]);
        if (std::tolower(a) != std::tolower(b)) return false;
    }
    return true;
}

std::vector<ProcessEntry> ListProcesses() {
    ReapChildren();
    std::vector<ProcessEntry> list;
    DIR* proc = ::opendir("/proc");
    if (!proc) return list;
    while (dirent* e = ::readdir(proc)) {
        char* end = nullptr;
        long pid = std::strtol(e->d_name, &end, 10);
        if (pid <= 0 || *end != '\0') continue;
        std::string comm;
        if (!ReadSmallFile("/proc/" + std::string(e->d_name) + "/comm", comm)) continue;
        if (!comm.empty() && comm.back() == '\n') comm.pop_back();
        char state = ProcessState(static_cast<pid_t>(pid));
        if (state == 0 || state == 'Z' || state == 'X') continue;
        list.push_back({static_cast<pid_t>(pid), comm});
    }
    ::closedir(proc);
    return list;
}

std::vector<pid_t> FindProcesses(const std::string& name, const std::string& folder) {
    std::string where = folder.empty() ? "" : CanonicalFolder(folder);
    std::vector<pid_t> found;
    for (const auto& p : ListProcesses()) {
        if (!ProcessNameMatches(p.name, name)) continue;
        if (!where.empty() && !StartedFrom(p.pid, p.name, where)) continue;
        found.push_back(p.pid);
    }
    return found;
}

bool TerminateProcess(pid_t pid, bool force) {
    if (pid <= 0) return false;
    return ::kill(pid, force ? SIGKILL : SIGTERM) == 0;
}

pid_t StartChild(const std::string& path, const std::vector<std::string>& argv, const std::string& workFolder) {
    SpawnSetup setup;
    if (!workFolder.empty()) posix_spawn_file_actions_addchdir_np(&setup.actions, workFolder.c_str());
    posix_spawn_file_actions_addclosefrom_np(&setup.actions, 3);
    // Started by its absolute path, a script child shows the folder it came
    // from among its interpreter's arguments, wherever it moves later.
    std::string program = path;
    if (!program.empty() && program[0] != '/') {
        std::string base = workFolder;
        char cwd[PATH_MAX];
        if ((base.empty() || base[0] != '/') && ::getcwd(cwd, sizeof cwd))
            base = base.empty() ? std::string(cwd) : std::string(cwd) + "/" + base;
        if (!base.empty()) program = base + "/" + program;
    }
    auto args = ArgvPointers(argv);
    pid_t pid = -1;
    // The lock is held over the spawn so ReapChildren cannot collect the
    // child before it is remembered.
    std::lock_guard<std::mutex> guard(startedLock);
    int rc = ::posix_spawn(&pid, program.c_str(), &setup.actions, &setup.attr, args.data(), environ);
    if (rc != 0) {
        errno = rc;
        return -1;
    }
    started.insert(pid);
    return pid;
}

void ReapChildren() {
    std::lock_guard<std::mutex> guard(startedLock);
    for (auto it = started.begin(); it != started.end();) {
        int status;
        pid_t r = ::waitpid(*it, &status, WNOHANG);
        if (r == *it) {
            ended.push_back({r, status});
            if (ended.size() > kEndedKept) ended.pop_front();
        }
        if (r == *it || (r < 0 && errno == ECHILD))
            it = started.erase(it);
        else
            ++it;
    }
}

std::vector<EndedChild> TakeEndedChildren() {
    std::lock_guard<std::mutex> guard(startedLock);
    std::vector<EndedChild> taken(ended.begin(), ended.end());
    ended.clear();
    return taken;
}

ProgramResult RunProgram(const std::vector<std::string>& argv, std::chrono::milliseconds timeout) {
    ProgramResult result;
    if (argv.empty()) return result;
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return result;
    SpawnSetup setup;
    posix_spawn_file_actions_addopen(&setup.actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&setup.actions, fds[1], 1);
    posix_spawn_file_actions_adddup2(&setup.actions, fds[1], 2);
    posix_spawn_file_actions_addclosefrom_np(&setup.actions, 3);
    auto args = ArgvPointers(argv);
    pid_t pid = -1;
    int rc = ::posix_spawnp(&pid, argv[0].c_str(), &setup.actions, &setup.attr, args.data(), environ);
    ::close(fds[1]);
    if (rc != 0) {
        ::close(fds[0]);
        return result;
    }
    auto deadline = std::chrono::steady_clock::now() + timeout;
    bool timedOut = false;
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            timedOut = true;
            break;
        }
        pollfd p{fds[0], POLLIN, 0};
        int n = ::poll(&p, 1, static_cast<int>(std::min<long long>(left.count(), 1000)));
        if (n < 0 && errno != EINTR) break;
        if (n <= 0) continue;
        char buf[4096];
        ssize_t got = ::read(fds[0], buf, sizeof buf);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        result.output.append(buf, static_cast<size_t>(got));
    }
    ::close(fds[0]);
    if (timedOut) ::kill(pid, SIGKILL);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (!timedOut && WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
    return result;
}

}  // namespace platform
