// The product data folder: "VELQOR" below the data root, the data root
// being the value of the environment variable that option -e (or the
// service's workenv value) names.
#pragma once

#include <string>

namespace common {

inline constexpr const char* kProductFolderName = "VELQOR";
// Stands in for the common application data folder when the variable is
// not set (usual on Linux for ALLUSERSPROFILE).
inline constexpr const char* kFallbackDataRoot = "/var/lib";

struct DataRoot {
    std::string path;        // the variable's value, or the fallback
    bool fellBack = false;   // the variable was unset or empty
};

// Looks the variable up now; an unset or empty variable gives the fallback.
DataRoot LookUpDataRoot(const std::string& variableName);

// "<root>/VELQOR/", ending with "/" so that names can be appended directly.
std::string DataFolderPath(const std::string& root);

// True when path names a regular file (not a link, FIFO or device) lying
// directly in the data folder's "cache" folder, where the proxy engine
// keeps the files it hands to its servers. A server that took any path a
// local client names could be made to read, rewrite or move any file, or
// to block for good opening a FIFO.
bool IsCacheFile(const std::string& dataFolder, const std::string& path);

// The text a program logs when it fell back, without bracketed caller or
// line end: "environment variable X is not set; data root /var/lib".
std::string DataRootFallbackNote(const std::string& variableName);

}  // namespace common
