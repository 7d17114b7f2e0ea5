// Opening and deleting files that another step (a thread, a pipe server)
// may still hold for a moment: try again after a pause, a bounded number
// of times.
#pragma once

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>

namespace common {

struct FileCloser {
    void operator()(FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<FILE, FileCloser>;

inline constexpr std::chrono::milliseconds kOpenRetryInterval{50};
inline constexpr std::chrono::milliseconds kDeleteRetryInterval{100};
// Enough for a holder to let go; a file that stays undeletable longer is
// left behind rather than hanging the caller.
inline constexpr int kDeleteRetryLimit = 100;

struct OpenRetry {
    unsigned long tries = 1;  // attempts in all; at least one is made
    std::chrono::milliseconds interval = kOpenRetryInterval;
    // Give up at once when the file does not exist (a reader of a file
    // that is gone); false waits for the file to appear.
    bool stopWhenMissing = true;
};

// fopen with retries; null (errno set) when every attempt failed.
FilePtr OpenWithRetry(const std::string& path, const char* mode, const OpenRetry& retry);

// fopen(path, "rb") of a regular file (a link to one included); null, with
// errno EINVAL, for a FIFO, whose opening would wait for a writer that may
// never come, a device or a folder.
FilePtr OpenRegularFile(const std::string& path);

// Deletes the file, trying again after interval while deletion fails for
// another reason than the file being missing. True when the file is gone.
bool DeleteWithRetry(const std::string& path,
                     std::chrono::milliseconds interval = kDeleteRetryInterval,
                     int maxTries = kDeleteRetryLimit);

}  // namespace common
