#include "common/data_folder.h"

#include <sys/stat.h>

#include <climits>
#include <cstdlib>

namespace common {

DataRoot LookUpDataRoot(const std::string& variableName) {
    const char* value = variableName.empty() ? nullptr : std::getenv(variableName.c_str());
    if (value == nullptr || *value == '\0') return {kFallbackDataRoot, true};
    return {value, false};
}

std::string DataFolderPath(const std::string& root) {
    std::string folder = root;
    if (folder.empty() || folder.back() != '/') folder += '/';
    return folder + kProductFolderName + "/";
}

namespace {

std::string RealFolder(const std::string& path) {
    char resolved[PATH_MAX];
    if (::realpath(path.c_str(), resolved) == nullptr) return {};
    return resolved;
}

}  // namespace

bool IsCacheFile(const std::string& dataFolder, const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos || slash + 1 >= path.size()) return false;
    const std::string cache = RealFolder(dataFolder + "cache");
    if (cache.empty() || RealFolder(path.substr(0, slash + 1)) != cache) return false;
    struct stat info{};
    return ::lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

std::string DataRootFallbackNote(const std::string& variableName) {
    return "environment variable " + variableName + " is not set; data root " + kFallbackDataRoot;
}

}  // namespace common
