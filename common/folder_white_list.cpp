#include "common/folder_white_list.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <limits>

#include "common/ascii_case.h"
#include "common/list_file.h"

namespace common {

namespace {

constexpr const char* kWhiteFolder = "fwhite";
constexpr const char* kDriveName = "root";  // the one drive, "/"
constexpr const char* kListSuffix = ".db";
constexpr const char* kBuildSuffix = ".~b";
constexpr const char* kLineEnd = "\r\n";  // the panel's text files end lines in CR LF

// Lines are read whole: a folder cut short would leave out its siblings.
ListFileRules WholeLines() {
    ListFileRules rules;
    rules.maxLineLength = std::numeric_limits<size_t>::max();
    return rules;
}

// The first-level folder name of an absolute path, empty when the path
// lies directly in "/".
std::string_view FirstFolder(std::string_view path) {
    if (path.empty() || path.front() != '/') return {};
    size_t slash = path.find('/', 1);
    if (slash == std::string_view::npos) return {};
    return path.substr(1, slash - 1);
}

std::string AsFolder(std::string_view line) {
    std::string folder(line);
    if (folder.back() != '/') folder += '/';
    return folder;
}

bool WriteLines(const std::string& path, const std::vector<std::string>& lines) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return false;
    bool ok = true;
    for (const std::string& line : lines) {
        ok = ok && std::fputs(line.c_str(), file) >= 0 && std::fputs(kLineEnd, file) >= 0;
    }
    ok = std::fflush(file) == 0 && ok;
    ok = std::fclose(file) == 0 && ok;
    return ok;
}

}  // namespace

std::string FolderListPath(const std::string& dataFolder, std::string_view path) {
    std::string base = dataFolder + kWhiteFolder + "/" + kDriveName;
    std::string_view first = FirstFolder(path);
    if (first.empty()) return base + kListSuffix;
    return base + "/" + std::string(first) + kListSuffix;
}

std::vector<std::string> ReadFolderList(const std::string& listPath) {
    std::vector<std::string> folders;
    ForEachListLine(listPath, WholeLines(), [&](std::string_view line) {
        folders.push_back(AsFolder(line));
        return true;
    });
    return folders;
}

bool IsPathInWatchList(const std::string& dataFolder, const std::string& folder) {
    std::error_code ec;
    std::filesystem::create_directories(dataFolder + kWhiteFolder + "/" + kDriveName, ec);
    bool found = false;
    ForEachListLine(FolderListPath(dataFolder, folder), WholeLines(), [&](std::string_view line) {
        found = line == folder;
        return !found;
    });
    return found;
}

WhiteFolderCheck CheckWhiteFolder(const std::string& dataFolder, const std::string& dataRoot,
                                  const std::string& filePath) {
    WhiteFolderCheck check;
    check.listPath = FolderListPath(dataFolder, filePath);
    check.folder = filePath.substr(0, filePath.rfind('/') + 1);
    for (const std::string& listed : ReadFolderList(check.listPath)) {
        if (check.folder.starts_with(listed)) {
            check.white = true;
            return check;
        }
    }
    std::string wct = dataRoot;
    if (wct.empty() || wct.back() != '/') wct += '/';
    check.white = check.folder.starts_with(wct + "wct/");
    return check;
}

std::string PathExtension(const std::string& path) {
    size_t dot = path.rfind('.');
    return dot == std::string::npos ? std::string() : path.substr(dot);
}

bool IsWhiteExtension(const std::string& dataFolder, const std::string& path) {
    std::string extension = PathExtension(path);
    if (extension.empty()) return false;
    bool white = false;
    ForEachListLine(dataFolder + kExtensionWhiteListName, WholeLines(), [&](std::string_view line) {
        white = EqualsIgnoringAsciiCase(line, extension);
        return !white;
    });
    return white;
}

bool SaveFolderList(const std::string& dataFolder, const std::string& firstFolder,
                    const std::vector<std::string>& excluded, bool keepOld) {
    const std::string listPath = FolderListPath(dataFolder, firstFolder);
    const std::string buildPath = listPath.substr(0, listPath.size() - std::string(kListSuffix).size()) + kBuildSuffix;
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(listPath).parent_path(), ec);

    std::vector<std::string> lines = excluded;
    if (keepOld) {
        ForEachListLine(listPath, WholeLines(), [&](std::string_view line) {
            if (std::find(lines.begin(), lines.end(), line) == lines.end()) lines.emplace_back(line);
            return true;
        });
    }
    std::filesystem::remove(buildPath, ec);
    if (!WriteLines(buildPath, lines)) {
        std::filesystem::remove(buildPath, ec);
        return false;
    }
    std::filesystem::rename(buildPath, listPath, ec);
    if (!ec) return true;
    std::filesystem::remove(buildPath, ec);
    return false;
}

}  // namespace common
