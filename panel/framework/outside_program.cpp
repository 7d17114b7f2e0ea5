#include "panel/framework/outside_program.h"

#include <unistd.h>

#include <cstdlib>
#include <sstream>
#include <utility>

#include "platform/process/process.h"

namespace panel {
namespace {

std::string FindInPath(const std::string& program) {
    if (program.find('/') != std::string::npos) return program;
    const char* path = std::getenv("PATH");
    std::stringstream folders(path ? path : "/usr/bin:/bin");
    std::string folder;
    while (std::getline(folders, folder, ':')) {
        std::string candidate = (folder.empty() ? "." : folder) + "/" + program;
        if (::access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    return "";
}

}  // namespace

std::string CommandPrefix(const char* overrideVariable, const std::string& fallback) {
    const char* value = std::getenv(overrideVariable);
    return value && *value ? value : fallback;
}

std::string EditorPrefix() { return CommandPrefix("VELQOR_EDITOR", "l3afpad --codeset=CP932"); }

bool StartOutsideProgram(const std::string& prefix, const std::vector<std::string>& arguments) {
    std::vector<std::string> argv;
    std::stringstream words(prefix);
    for (std::string word; words >> word;) argv.push_back(word);
    if (argv.empty()) return false;
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    return StartProgram(std::move(argv));
}

bool StartProgram(std::vector<std::string> argv) {
    ReapOutsidePrograms();
    if (argv.empty()) return false;
    std::string program = FindInPath(argv[0]);
    if (program.empty()) return false;
    return platform::StartChild(program, argv) > 0;
}

void ReapOutsidePrograms() { platform::ReapChildren(); }

}  // namespace panel
