#include "common/file_retry.h"

#include <cerrno>
#include <thread>
#include <unistd.h>

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

bool DeleteWithRetry(const std::string& path, std::chrono::milliseconds interval, int maxTries) {
    for (int attempt = 1;; ++attempt) {
        if (::unlink(path.c_str()) == 0 || errno == ENOENT) return true;
        if (attempt >= maxTries) return false;
        std::this_thread::sleep_for(interval);
    }
}

}  // namespace common
