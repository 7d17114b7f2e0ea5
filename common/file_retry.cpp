#include "common/file_retry.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <thread>

namespace common {

FilePtr OpenWithRetry(const std::string& path, const char* mode, const OpenRetry& retry) {
    const unsigned long tries = retry.tries == 0 ? 1 : retry.tries;
    for (unsigned long attempt = 1;; ++attempt) {
        if (FILE* f = std::fopen(path.c_str(), mode)) return FilePtr(f);
        int error = errno;
        if ((error == ENOENT && retry.stopWhenMissing) || attempt >= tries) {
            errno = error;
            return nullptr;
        }
        std::this_thread::sleep_for(retry.interval);
    }
}

FilePtr OpenRegularFile(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return nullptr;
    struct stat info{};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        errno = EINVAL;
        return nullptr;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    FILE* file = ::fdopen(fd, "rb");
    if (!file) ::close(fd);
    return FilePtr(file);
}

bool DeleteWithRetry(const std::string& path, std::chrono::milliseconds interval, int maxTries) {
    for (int attempt = 1;; ++attempt) {
        if (::unlink(path.c_str()) == 0 || errno == ENOENT) return true;
        if (attempt >= maxTries) return false;
        std::this_thread::sleep_for(interval);
    }
}

}  // namespace common
