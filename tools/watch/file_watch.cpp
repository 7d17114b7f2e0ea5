#include "tools/watch/file_watch.h"

#include <clocale>
#include <cstdio>
#include <filesystem>
#include <thread>

#include "common/data_folder.h"
#include "common/ascii_case.h"
#include "common/option_arg.h"
#include "tools/watch/scan_queue.h"
#include "tools/watch/tree_watch.h"
#include "platform/process/privilege.h"
#include "tools/watch/watch_log.h"

namespace watch {

namespace {

constexpr const char* kVersion = "(2.04)";
constexpr const char* kNotice = "VELQOR Server real-time folder watch\n\n";

std::string AsFolder(const std::string& entry) {
    std::string folder = std::filesystem::absolute(entry).string();
    if (folder.back() != '/') folder += '/';
    return folder;
}

// Entries separated by "," or ";"; an empty one is dropped, as it would
// stand for the whole root.
std::vector<std::string> SplitFolderList(const std::string& list) {
    std::vector<std::string> folders;
    for (size_t start = 0; start <= list.size();) {
        size_t end = list.find_first_of(",;", start);
        if (end == std::string::npos) end = list.size();
        if (end > start) folders.push_back(AsFolder(list.substr(start, end - start)));
        start = end + 1;
    }
    return folders;
}

}  // namespace

FileWatchSettings ParseFileArguments(int argc, char** argv) {
    FileWatchSettings settings;
    for (int i = 1; i < argc; ++i) {
        common::OptionArg option = common::ParseOptionArg(argv[i]);
        char letter = common::LowerAscii(option.letter);
        if (letter == 'd') settings.folders = SplitFolderList(option.value);
        if (letter == 'e') settings.dataRootVariable = option.value;
        if (letter == 'w') settings.logToFile = true;
    }
    return settings;
}

int FileWatchMain(int argc, char** argv) {
    std::printf("ORQFILE.EXE %s %s", kVersion, kNotice);
    std::fflush(stdout);
    if (argc < 2) return -1;
    FileWatchSettings settings = ParseFileArguments(argc, argv);
    platform::KeepOnlyWatcherCapabilities();

    static WatchContext context;
    context.dataRoot = StartWatchLog(settings.dataRootVariable, "filelog", settings.logToFile);
    context.dataFolder = common::DataFolderPath(context.dataRoot);
    context.logFolder = context.dataFolder + "filelog/";

    if (settings.folders.empty()) {
        WriteFileLog("no folder to watch (-d names none)\n");
        return -1;
    }

    static ScanQueue queue(ScanFileByPipe);
    std::thread(&ScanQueue::ScanFileThread, &queue).detach();
    for (const std::string& folder : settings.folders) {
        LogF("watchdog %s\n", folder.c_str());
        std::thread(WatchFolderThread, std::cref(context), std::ref(queue), folder).detach();
    }
    for (;;) std::this_thread::sleep_for(std::chrono::seconds(1));
}

}  // namespace watch
