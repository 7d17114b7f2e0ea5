#include "service/child_control.h"

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>

#include "common/pipe_messages.h"
#include "common/pipe_names.h"
#include "common/start_values.h"
#include "platform/pipe/pipe.h"
#include "platform/process/process.h"
#include "platform/win32_errors.h"
#include "service/product_settings.h"
#include "service/service_context.h"
#include "service/service_log.h"
#include "service/service_names.h"

namespace service {

namespace {

using namespace std::chrono_literals;

// A program that outlives this many end requests, a second apart, is
// given up on so the stop goes on with the others.
constexpr int kTerminateRounds = 10;
// The updater is waited for 100 ms at a time, about 500 s in all.
constexpr int kUpdaterWaitRounds = 4992;
// A probe waits this long for the pipe to be free and as long again for
// the answer; a scan server that scans one small file takes far less.
constexpr uint32_t kProbeWaitMs = 10000;

constexpr auto kFirstRestartPause = std::chrono::seconds(1);
constexpr auto kLongestRestartPause = std::chrono::seconds(60);
// A server that ran this long before it ended is started again after the
// first pause, as if it had never ended before.
constexpr auto kRunTimeThatResetsThePause = std::chrono::minutes(10);

using Clock = std::chrono::steady_clock;

struct WatchedChild {
    std::string name;
    std::string path;
    std::vector<std::string> argv;
    Clock::time_point started;
    Clock::duration pause{};  // the pause before the last restart; 0: none yet
};

// The servers started and not yet seen to end, by process id.
std::map<pid_t, WatchedChild>& Watched() {
    static std::map<pid_t, WatchedChild> watched;
    return watched;
}

// Servers that ended, waiting for their restart.
struct PendingRestart {
    WatchedChild child;
    Clock::time_point due;
};

std::vector<PendingRestart>& Pending() {
    static std::vector<PendingRestart> pending;
    return pending;
}

void ScheduleRestart(WatchedChild child) {
    const Clock::time_point now = Clock::now();
    if (child.pause == Clock::duration{} || now - child.started >= kRunTimeThatResetsThePause)
        child.pause = kFirstRestartPause;
    else
        child.pause = std::min<Clock::duration>(child.pause * 2, kLongestRestartPause);
    const Clock::time_point due = now + child.pause;
    Pending().push_back({std::move(child), due});
}

void RestartDueChildren() {
    const Clock::time_point now = Clock::now();
    auto& pending = Pending();
    for (auto it = pending.begin(); it != pending.end();) {
        if (it->due > now) {
            ++it;
            continue;
        }
        WatchedChild child = std::move(it->child);
        it = pending.erase(it);
        const pid_t pid = Stop().StartChild(child.path, child.argv);
        if (pid <= 0) continue;  // the stop was raised, or the program is gone
        WriteServiceLog("restart " + child.name + ".\n");
        child.started = now;
        Watched()[pid] = std::move(child);
    }
}

std::string ExitStatusText(int status) {
    if (WIFEXITED(status)) return "exit code " + std::to_string(WEXITSTATUS(status));
    if (WIFSIGNALED(status)) return "signal " + std::to_string(WTERMSIG(status));
    return "status " + std::to_string(status);
}

std::string CurrentFolder() {
    char buf[4096];
    return ::getcwd(buf, sizeof buf) ? buf : ".";
}

}  // namespace

std::vector<std::string> KillList(bool enginePresent) {
    std::vector<std::string> names;
    if (enginePresent) names.push_back("orqavs");
    names.insert(names.end(), {"orqspam", "orqsvt"});
    if (enginePresent) names.insert(names.end(), {"autoupdate", "orqmemo", "orqfile"});
    names.insert(names.end(), {"orqcwfs", "orqhprx", "orqsprx", "orqpprx", "orqiprx", "orqfprx", "orqcprx"});
    return names;
}

void TerminateChildren(bool enginePresent) {
    std::string folder = CurrentFolder();
    for (const auto& name : KillList(enginePresent)) {
        auto running = platform::FindProcesses(name, folder);
        if (running.empty()) continue;
        for (pid_t pid : running) {
            WriteConsole("teminate " + name + "\n");
            platform::TerminateProcess(pid, false);
        }
        bool gone = false;
        for (int round = 0; round < kTerminateRounds && !gone; ++round) {
            // A program that ignores the end request is killed outright.
            if (round > 0)
                for (pid_t pid : platform::FindProcesses(name, folder)) platform::TerminateProcess(pid, true);
            for (int look = 0; look < 50 && !gone; ++look) {
                gone = platform::FindProcesses(name, folder).empty();
                if (!gone) ::usleep(20 * 1000);
            }
        }
        if (!gone) WriteConsole("teminate " + name + ": still running, given up\n");
    }
}

bool IsProcessAbsent(const std::string& name) { return platform::FindProcesses(name, CurrentFolder()).empty(); }

bool ProbeScanEngine(const std::string& path, std::string* reply) {
    std::string answer;
    int rc = platform::CallNamedPipe(common::kScanPipeName, common::BuildPlainMessage(path), common::kPlainMessageSize,
                                     answer, kProbeWaitMs, kProbeWaitMs);
    if (rc != platform::kErrorSuccess && rc != platform::kErrorMoreData) return false;
    if (reply) *reply = answer.substr(0, answer.find('\0'));
    return true;
}

void WatchChild(pid_t pid, const std::string& name, const std::string& path, const std::vector<std::string>& argv) {
    if (pid > 0) Watched()[pid] = WatchedChild{name, path, argv, Clock::now()};
}

void ReportEndedChildren() {
    platform::ReapChildren();
    for (const auto& child : platform::TakeEndedChildren()) {
        auto it = Watched().find(child.pid);
        if (it == Watched().end()) continue;
        // A server that ends of its own accord leaves its service (or a
        // listening port) missing; the administrator needs to know.
        if (!Stop().raised()) {
            WriteServiceLog(it->second.name + " ended (" + ExitStatusText(child.status) + ").\n");
            ScheduleRestart(std::move(it->second));
        }
        Watched().erase(it);
    }
    if (Stop().raised())
        Pending().clear();
    else
        RestartDueChildren();
}

std::vector<std::string> UpdaterArguments() {
    std::vector<std::string> args;
    args.push_back("-m=" + std::to_string(static_cast<int32_t>(ReadProductDword(kProductSettingsKey, "UpdateDB", 0))));
    namespace update = common::update_value;
    if (ReadProductDword(kProductSettingsKey, update::kProxyUsed.name, update::kProxyUsed.byDefault) != 0) {
        std::string name =
            ReadProductString(kProductSettingsKey, update::kProxyName.name, update::kProxyName.byDefault, 256);
        auto port = static_cast<int32_t>(
            ReadProductDword(kProductSettingsKey, update::kProxyPort.name, update::kProxyPort.byDefault));
        args.push_back("-x=" + name + ":" + std::to_string(port));
    }
    // Passed whole, the path needs no quotes even when it holds blanks.
    if (ReadProductDword(kProductSettingsKey, update::kLog.name, update::kLog.byDefault) != 0)
        args.push_back("-l=" + DataRoot() + "/VELQOR/updatelog/velqors.log");
    return args;
}

void RunUpdater() {
    const common::DwordValue& scanMode = common::scan_value::kScanMode;
    if (ReadProductDword(kProductSettingsKey, scanMode.name, scanMode.byDefault) != 1) return;
    WriteServiceLog("start updater.\n");
    std::vector<std::string> argv{"./autoupdate"};
    for (auto& a : UpdaterArguments()) argv.push_back(std::move(a));
    if (Stop().StartChild("./autoupdate", argv) < 0) return;
    for (int round = 0; round < kUpdaterWaitRounds; ++round) {
        if (IsProcessAbsent("autoupdate")) return;
        if (!Stop().Pause(100ms)) return;  // the stop ends the updater itself
    }
    WriteServiceLog("updater still running; not waiting for it any longer.\n");
}

bool EnginePresent() {
    FILE* f = std::fopen("orqavs", "rb");
    if (!f) return false;
    std::fclose(f);
    return true;
}

}  // namespace service
