#include "tools/watch/file_watch.h"

#include <clocale>
#include <cstdio>
#include <filesystem>
#include <thread>

#include "common/data_folder.h"
#include "common/option_arg.h"
#include "tools/watch/scan_queue.h"
#include "tools/watch/tree_watch.h"
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

}  // namespace

FileWatchSettings ParseFileArguments(int argc, char** argv) {
    FileWatchSettings settings;
    for (int i = 1; i < argc; ++i) {
        common::OptionArg option = common::ParseOptionArg(argv[i]);
        switch (option.letter) {
            case 'd':
            case 'D': {
                settings.folders.clear();
                size_t start = 0;
                const std::string& list = option.value;
                while (start <= list.size()) {
                    size_t end = list.find_first_of(",;", start);
                    if (end == std::string::npos) end = list.size();
                    if (end > start) settings.folders.push_back(AsFolder(list.substr(start, end - start)));
                    start = end + 1;
                }
                break;
            }
            case 'e':
            case 'E':
                settings.dataRootVariable = option.value;
                break;
            case 'w':
            case 'W':
                settings.logToFile = true;
                break;
            default:
                break;
        }
    }
    return settings;
}

int FileWatchMain(int argc, char** argv) {
    std::printf("ORQFILE.EXE %s %s", kVersion, kNotice);
    std::fflush(stdout);
    if (argc < 2) return -1;
    FileWatchSettings settings = ParseFileArguments(argc, argv);

    static WatchContext context;
    context.dataRoot = common::LookUpDataRoot(settings.dataRootVariable).path;
    context.dataFolder = common::DataFolderPath(context.dataRoot);
    context.logFolder = context.dataFolder + "filelog/";
    std::error_code ec;
    std::filesystem::create_directories(context.logFolder, ec);
    std::printf("%s\n", context.logFolder.c_str());
    ConfigureFileLog(context.logFolder, settings.logToFile);

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
