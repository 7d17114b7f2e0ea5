#include "common/publish_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

#include "platform/io/full_write.h"

namespace common {

namespace {

// A name beside `path` that no other writer in this or another process
// picks: pid and a counter, created exclusively.
std::string TemporaryName(const std::string& path) {
    static std::atomic<unsigned> counter{0};
    return path + "." + std::to_string(::getpid()) + "-" + std::to_string(++counter) + ".tmp";
}

bool Replace(const std::string& path, std::string_view bytes, mode_t mode, mode_t mostMode) {
    std::string temporary = TemporaryName(path);
    int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mostMode);
    if (fd < 0) return false;
    bool written = platform::WriteAll(fd, bytes);
    if (written && mode != 0) ::fchmod(fd, mode & mostMode);
    written = written && ::fsync(fd) == 0;
    written = ::close(fd) == 0 && written;
    if (written && ::rename(temporary.c_str(), path.c_str()) == 0) return true;
    ::unlink(temporary.c_str());
    return false;
}

}  // namespace

bool ReadWholeFile(const std::string& path, std::string& bytes) {
    bytes.clear();
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) return false;
    struct stat info;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return false;
    }
    char buffer[65536];
    bool ok = true;
    for (;;) {
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) ok = false;
        if (n <= 0) break;
        bytes.append(buffer, static_cast<size_t>(n));
    }
    ::close(fd);
    return ok;
}

PublishResult PublishFile(const std::string& path, std::string_view bytes, const std::string& previousCopy,
                          unsigned mostMode) {
    struct stat info;
    bool exists = ::lstat(path.c_str(), &info) == 0;
    mode_t mode = exists && S_ISREG(info.st_mode) ? (info.st_mode & 07777) : 0;
    std::string current;
    bool readable = exists && ReadWholeFile(path, current);
    const mode_t most = static_cast<mode_t>(mostMode) & 07777;
    if (readable && current == bytes) {
        // Unchanged content, but a file of secrets is still narrowed.
        if ((mode & ~most) != 0) ::chmod(path.c_str(), mode & most);
        return PublishResult::kUnchanged;
    }
    if (readable && !previousCopy.empty()) Replace(previousCopy, current, mode, most);
    return Replace(path, bytes, mode, most) ? PublishResult::kPublished : PublishResult::kFailed;
}

}  // namespace common
