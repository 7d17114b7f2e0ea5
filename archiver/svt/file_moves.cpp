#include "archiver/svt/file_moves.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <set>
#include <vector>

#include "archiver/svt/archive_log.h"
#include "common/ascii_case.h"
#include "common/file_retry.h"

namespace archiver {

namespace {

bool EndsWith(const std::string& name, std::string_view ending) {
    return name.size() > ending.size() &&
           common::EqualsIgnoringAsciiCase(std::string_view(name).substr(name.size() - ending.size()), ending);
}

}  // namespace

void CleanWorkFolder(const std::string& folder) {
    std::error_code ec;
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) names.push_back(entry.path().filename());
    // The names of the queued mails, up to their extension.
    std::set<std::string> queued;
    for (const std::string& name : names)
        if (EndsWith(name, ".rcp")) queued.insert(name.substr(0, name.size() - 3));
    for (const std::string& name : names) {
        const size_t dot = name.rfind('.');
        const bool ofQueuedMail = dot != std::string::npos && queued.count(name.substr(0, dot + 1)) != 0;
        if (ofQueuedMail && !EndsWith(name, ".tmp")) continue;
        const std::string path = folder + "/" + name;
        std::filesystem::remove_all(path, ec);
        LogFormat("Deleted the leftover %s.\n", path.c_str());
    }
}

bool CopyFileWhole(const std::string& from, const std::string& to) {
    common::FilePtr in(std::fopen(from.c_str(), "rb"));
    if (!in) return false;
    common::FilePtr out(std::fopen(to.c_str(), "wb"));
    if (!out) return false;
    std::vector<char> buffer(256 * 1024);
    bool ok = true;
    for (;;) {
        const size_t got = std::fread(buffer.data(), 1, buffer.size(), in.get());
        if (got > 0 && std::fwrite(buffer.data(), 1, got, out.get()) != got) ok = false;
        if (!ok || got < buffer.size()) break;
    }
    ok = ok && !std::ferror(in.get());
    ok = std::fclose(out.release()) == 0 && ok;
    if (!ok) std::remove(to.c_str());
    return ok;
}

bool MoveFileAcross(const std::string& from, const std::string& to) {
    if (std::rename(from.c_str(), to.c_str()) == 0) return true;
    if (errno != EXDEV) return false;
    if (!CopyFileWhole(from, to)) return false;
    std::remove(from.c_str());
    return true;
}

void DeleteFileRetrying(const std::string& path) {
    // Only a file can be held for a moment; a folder in its place never goes.
    struct stat info{};
    if (::lstat(path.c_str(), &info) != 0 || S_ISDIR(info.st_mode)) return;
    common::DeleteWithRetry(path, std::chrono::milliseconds(50));
}

}  // namespace archiver
