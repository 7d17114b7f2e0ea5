// The folder watcher orqfile: watches folder trees for new, changed and
// moved-in files and has each one scanned once it has stopped growing.
#pragma once

#include <string>
#include <vector>

namespace watch {

struct FileWatchSettings {
    std::vector<std::string> folders;  // each absolute and ending in "/"
    std::string dataRootVariable = "ALLUSERSPROFILE";
    bool logToFile = false;
};

// -d=<folders separated by "," or ";">, -e=<variable>, -w; other arguments
// are ignored. Empty entries are dropped (an empty one would mean the
// whole root), each entry ends in "/".
FileWatchSettings ParseFileArguments(int argc, char** argv);

// What the watch and scan threads share, fixed at start.
struct WatchContext {
    std::string dataRoot;    // the variable's value
    std::string dataFolder;  // "<root>/VELQOR/"
    std::string logFolder;   // "<dataFolder>filelog/": never scanned, each log line would feed it back
};

int FileWatchMain(int argc, char** argv);

}  // namespace watch
