#include "service/run_service.h"

#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>

#include "common/data_folder.h"
#include "common/pipe_names.h"
#include "common/start_values.h"
#include "platform/pipe/pipe.h"
#include "platform/process/process.h"
#include "platform/registry/registry.h"
#include "platform/service/service.h"
#include "service/child_control.h"
#include "service/child_start_table.h"
#include "service/event_source.h"
#include "service/product_settings.h"
#include "service/service_context.h"
#include "service/service_control.h"
#include "service/service_log.h"
#include "service/service_names.h"
#include "service/version_banner.h"

namespace service {

namespace {

using namespace std::chrono_literals;

constexpr int kNetworkTries = 60;
// The longest time between two updater runs: far beyond any uptime, and a
// deadline this far ahead still fits the clock.
constexpr std::chrono::hours kLongestInterval{100 * 365 * 24};
// How often the run loop's wait looks for children that have ended.
constexpr std::chrono::milliseconds kReapInterval = 1s;
// The wake-up pipe carries nothing; a client's request is not read.
constexpr size_t kWakeupRequestSize = 1;

// The network stack is up once a socket can be made: 0, or the error.
int NetworkStartResult() {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return errno;
    ::close(fd);
    return 0;
}

void WaitForNetwork() {
    for (int attempt = 0; attempt < kNetworkTries; ++attempt) {
        int rc = NetworkStartResult();
        WriteServiceLog("WSAStartup() = " + std::to_string(rc) + "\n");
        if (rc == 0) return;
        if (!Stop().Pause(10000ms)) return;
    }
}

// One pass's wait: true when the loop goes on (a client came, or the time
// ran out), false when the service stops.
bool WaitForWakeup(platform::PipeServer& pipe, std::chrono::milliseconds interval) {
    // Every pass looks at the stop, even one whose wait is already over.
    if (Stop().raised()) return false;
    auto deadline = std::chrono::steady_clock::now() + interval;
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return !Stop().raised();
        // Waited out in parts, so that a child that ended meanwhile is
        // collected (and told) at once instead of staying a zombie until
        // the next pass.
        ReportEndedChildren();
        auto part = static_cast<uint32_t>(std::min<int64_t>(left.count(), kReapInterval.count()));
        switch (pipe.WaitForClient(part)) {
        case platform::PipeServer::WaitResult::Stopped: return false;
        case platform::PipeServer::WaitResult::Connected: pipe.Disconnect(); return true;
        case platform::PipeServer::WaitResult::TimedOut: break;
        }
    }
}

// A damaged hive reads as an empty one: every proxy off, every other
// setting at its default. Said once, so the administrator knows why. The
// log switch itself reads as off then; a log folder that an earlier run
// made shows where the administrator will look, so the line goes there too.
void ReportDamagedStore(const std::string& logFolder, bool logSwitch) {
    std::string damage = platform::DescribeHiveDamage(platform::HKEY_LOCAL_MACHINE);
    if (damage.empty()) return;
    std::string text = "registry store damaged: " + damage + "; no setting can be read, every one takes its default.";
    std::error_code ec;
    bool toFile = !logSwitch && std::filesystem::is_directory(logFolder, ec);
    if (toFile) ConfigureServiceLog(logFolder, true);
    WriteServiceLog(text + "\n");
    if (toFile) ConfigureServiceLog(logFolder, false);
    ReportServiceEvent(text, 300, "%s", EventType::Warning);
}

std::string WakeupPipeFailure(int error) {
    std::string reason = error == platform::kErrorPipeBusy ? "another copy of the service runs already"
                                                           : platform::Win32ErrorMessage(error);
    return "The named pipe could not be made: " + platform::PipeSocketPath(common::kWakeupPipeName) + ": " + reason + "\n";
}

}  // namespace

std::chrono::milliseconds UpdateInterval(int32_t hours) {
    if (hours <= 0) hours = static_cast<int32_t>(common::update_value::kHours.byDefault);
    return std::min<std::chrono::milliseconds>(std::chrono::hours(hours), kLongestInterval);
}

std::string InstallFolderOf(const std::string& imagePath) {
    size_t slash = imagePath.rfind('/');
    if (slash == std::string::npos || slash == 0) return "";
    return imagePath.substr(0, slash);
}

bool RunService() {
    InstallEventSource();

    const common::TextValue& workenv = common::kDataRootVariable;
    Settings().dataRootVariable = ReadProductString(kProductSettingsKey, workenv.name, workenv.byDefault, 256);
    bool logSwitch = ReadProductDword(kProductSettingsKey, kServiceName, 0) != 0;
    const std::string logFolder = DataRoot() + "/VELQOR/velqors";
    ConfigureServiceLog(logFolder, logSwitch);
    ReportDamagedStore(logFolder, logSwitch);

    std::string folder = InstallFolderOf(ReadProductPath(kServiceKey, "ImagePath", "", 256));
    if (!folder.empty() && ::chdir(folder.c_str()) != 0) {
        // The current folder stays; children are looked for there.
    }
    bool enginePresent = EnginePresent();
    const common::DwordValue& hours = common::update_value::kHours;
    auto interval =
        UpdateInterval(static_cast<int32_t>(ReadProductDword(kProductSettingsKey, hours.name, hours.byDefault)));

    for (int step = 0; step < 4; ++step)
        if (!ReportServiceStatus(platform::kServiceStartPending, 0, 3000)) return false;
    int pipeError = 0;
    // Everybody may wake the service up (a NULL DACL).
    auto pipe = platform::PipeServer::Create(common::kWakeupPipeName, kWakeupRequestSize, &pipeError, true);
    if (!pipe) {
        WriteServiceLog(WakeupPipeFailure(pipeError));
        ReportServiceEvent("The named pipe could not be made.", 202, "%s error: %d", EventType::Error,
                           static_cast<uint32_t>(pipeError));
        return false;
    }
    if (!ReportServiceStatus(platform::kServiceRunning, 0, 0)) return false;
    ReportServiceEvent(kDisplayName, 0, kVersionText, EventType::Information);
    Stop().PublishWakeupPipe(pipe.get());

    PrintVersionBanner(Settings().debug);
    WaitForNetwork();
    TerminateChildren(enginePresent);
    StartChildren(enginePresent);

    if (enginePresent && ReadProductDword(kProductSettingsKey, "", 0) == 0) {
        WriteProductDword(kProductSettingsKey, "", 1);
        RunUpdater();
    }
    do {
        // The connect is started before the updater runs, so that a wake-up
        // sent meanwhile is held and makes one more run.
        pipe->Listen();
        if (enginePresent) RunUpdater();
    } while (WaitForWakeup(*pipe, interval));

    Stop().PublishWakeupPipe(nullptr);
    return true;
}

void StopService() {
    bool enginePresent = EnginePresent();
    WriteConsole("Service Stoped.\n");
    Stop().Raise();
    TerminateChildren(enginePresent);
    RemoveSecretArguments();
    Stop().Finish();
}

}  // namespace service
