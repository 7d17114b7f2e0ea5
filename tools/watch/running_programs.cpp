#include "tools/watch/running_programs.h"

#include <dirent.h>
#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "tools/watch/autorun_watch.h"
#include "tools/watch/pipe_transaction.h"
#include "tools/watch/watch_log.h"

namespace watch {

namespace {

struct RunningProgram {
    pid_t pid = 0;
    std::string name;
    int threads = 0;
    std::vector<std::string> modules;  // the program file first
    // What the scan server is asked for the program file: its own path, or
    // the process's link to it when the file has been deleted (its path
    // then leads nowhere, or to another file).
    std::string programScanPath;
};

constexpr std::string_view kDeletedMark = " (deleted)";

bool NamesDeletedFile(const std::string& link) {
    return link.size() > kDeletedMark.size() &&
           link.compare(link.size() - kDeletedMark.size(), kDeletedMark.size(), kDeletedMark) == 0;
}

std::string ReadLink(const std::string& path) {
    std::vector<char> buffer(4096);
    ssize_t got = ::readlink(path.c_str(), buffer.data(), buffer.size());
    return got > 0 ? std::string(buffer.data(), static_cast<size_t>(got)) : std::string();
}

std::string ProcText(pid_t pid, const char* file) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/" + file, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

RunningProgram Describe(pid_t pid) {
    RunningProgram program;
    program.pid = pid;
    program.name = ProcText(pid, "comm");
    if (!program.name.empty() && program.name.back() == '\n') program.name.pop_back();
    std::istringstream status(ProcText(pid, "status"));
    for (std::string line; std::getline(status, line);)
        if (line.rfind("Threads:", 0) == 0) program.threads = std::atoi(line.c_str() + 8);

    const std::string exeLink = "/proc/" + std::to_string(pid) + "/exe";
    std::string exe = ReadLink(exeLink);
    if (exe.empty()) return program;  // a kernel thread, or gone
    program.modules.push_back(exe);
    program.programScanPath = NamesDeletedFile(exe) ? exeLink : exe;
    std::istringstream maps(ProcText(pid, "maps"));
    for (std::string line; std::getline(maps, line);) {
        // address perms offset dev inode path
        std::istringstream fields(line);
        std::string address, perms, offset, device, inode;
        fields >> address >> perms >> offset >> device >> inode;
        if (perms.size() < 3 || perms[2] != 'x') continue;
        std::string path;
        std::getline(fields >> std::ws, path);
        if (path.empty() || path.front() != '/') continue;
        bool known = false;
        for (const std::string& module : program.modules) known = known || module == path;
        if (!known) program.modules.push_back(path);
    }
    return program;
}

int OpenPidFd(pid_t pid) { return static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)); }

// Through the descriptor taken before the program was looked at, so the
// signal can only reach that program, never one that got its pid later.
void EndProgram(const RunningProgram& program, int pidfd) {
    if (program.pid == ::getpid() || program.pid == 1) {
        LogF("EndProgram(%d %s) left running: %s\n", program.pid, program.name.c_str(),
             program.pid == 1 ? "the init process" : "this program");
        return;
    }
    if (pidfd < 0 || ::syscall(SYS_pidfd_send_signal, pidfd, SIGKILL, nullptr, 0) != 0)
        LogF("EndProgram(%d %s) failed: error %d\n", program.pid, program.name.c_str(),
             pidfd < 0 ? EBADF : errno);
}

std::vector<pid_t> ListPids() {
    std::vector<pid_t> pids;
    DIR* proc = ::opendir("/proc");
    if (proc == nullptr) return pids;
    while (dirent* entry = ::readdir(proc)) {
        char* end = nullptr;
        long pid = std::strtol(entry->d_name, &end, 10);
        if (end != entry->d_name && *end == '\0' && pid > 0) pids.push_back(static_cast<pid_t>(pid));
    }
    ::closedir(proc);
    return pids;
}

}  // namespace

void ScanRunningPrograms() {
    std::printf("PID  Name             Number of threads\n%s\n", std::string(39, '-').c_str());
    for (pid_t pid : ListPids()) {
        int pidfd = OpenPidFd(pid);
        if (pidfd < 0) continue;  // ended meanwhile
        RunningProgram program = Describe(pid);
        std::printf("%-5d%-17s%d\n", program.pid, program.name.c_str(), program.threads);
        std::fflush(stdout);
        bool ended = false;
        for (size_t i = 0; i < program.modules.size(); ++i) {
            const std::string& module = program.modules[i];
            std::string finding = ScanAutostartText(i == 0 ? program.programScanPath : module);
            if (finding.empty()) continue;
            if (!ended) EndProgram(program, pidfd);
            ended = true;
            SendAlert(finding, module);
        }
        ::close(pidfd);
    }
    std::printf("%s\n", std::string(34, '-').c_str());
    std::fflush(stdout);
}

}  // namespace watch
