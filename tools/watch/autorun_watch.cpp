#include "tools/watch/autorun_watch.h"

#include <clocale>
#include <cstdio>
#include <filesystem>
#include <thread>

#include "common/local_time.h"
#include "common/ascii_case.h"
#include "common/option_arg.h"
#include "tools/watch/autostart_places.h"
#include "tools/watch/pipe_transaction.h"
#include "tools/watch/running_programs.h"
#include "platform/process/privilege.h"
#include "tools/watch/watch_log.h"

namespace watch {

namespace {

constexpr const char* kVersion = "(2.04)";
constexpr const char* kNotice = "VELQOR Server autostart watch\n\n";
constexpr auto kWaitStep = std::chrono::seconds(30);

}  // namespace

MemoSettings ParseMemoArguments(int argc, char** argv) {
    MemoSettings settings;
    for (int i = 1; i < argc; ++i) {
        common::OptionArg option = common::ParseOptionArg(argv[i]);
        char letter = common::LowerAscii(option.letter);
        if (letter == 'e') settings.dataRootVariable = option.value;
        if (letter == 't') settings.intervalMinutes = static_cast<uint32_t>(common::ParseDecimal(option.value));
        if (letter == 'w') settings.logToFile = true;
    }
    return settings;
}

std::string ScanAutostartText(const std::string& text) {
    if (!FitsScanRequest(text)) return "";
    std::string reply;
    CallPipeTransaction(text, reply, common::kScanPipeName, {.accessDeniedIsClean = true});
    return reply;
}

void RunAutostartRound() {
    common::LocalTime t = common::NowLocal();
    std::printf("start time: %02d:%02d:%02d\n", t.hour, t.minute, t.second);
    std::fflush(stdout);
    ScanRunningPrograms();
    ScanRunKeys();
    ScanStartupFolders();
}

int AutorunWatchMain(int argc, char** argv) {
    std::printf("ORQMEMO.EXE %s %s", kVersion, kNotice);
    std::fflush(stdout);
    MemoSettings settings = ParseMemoArguments(argc, argv);
    platform::KeepOnlyWatcherCapabilities();
    const auto interval = std::chrono::minutes(settings.intervalMinutes);

    StartWatchLog(settings.dataRootVariable, "memolog", settings.logToFile);

    for (;;) {
        RunAutostartRound();
        // On the monotonic clock: a changed wall clock neither skips nor
        // stretches the wait. Rounds are at least one step apart.
        auto deadline = std::chrono::steady_clock::now() + interval;
        do {
            std::this_thread::sleep_for(kWaitStep);
        } while (std::chrono::steady_clock::now() < deadline);
    }
}

}  // namespace watch
