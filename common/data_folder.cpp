#include "common/data_folder.h"

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

std::string DataRootFallbackNote(const std::string& variableName) {
    return "environment variable " + variableName + " is not set; data root " + kFallbackDataRoot;
}

}  // namespace common
