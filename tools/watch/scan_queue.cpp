#include "tools/watch/scan_queue.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <thread>

#include "common/pipe_messages.h"
#include "tools/watch/pipe_transaction.h"
#include "tools/watch/watch_log.h"

namespace watch {

namespace {

constexpr int kScanTries = 3;
constexpr auto kRetryPause = std::chrono::milliseconds(100);

bool IsCleanAnswer(const std::string& reply) {
    return reply == common::kScanReplyPasswordProtected || reply == common::kScanReplyAccessDenied;
}

}  // namespace

ScanQueue::ScanQueue(std::function<void(const std::string&)> scan, std::chrono::milliseconds settlePause)
    : scan_(std::move(scan)), settlePause_(settlePause) {}

void ScanQueue::Add(const std::string& path, off_t size) {
    std::lock_guard<std::mutex> guard(lock_);
    if (!waiting_.insert(path).second) return;
    entries_.push_back(Entry{path, size, 0, true, std::chrono::steady_clock::now() + settlePause_});
    changed_.notify_one();
}

bool ScanQueue::Settled(Entry& entry) {
    struct stat st;
    int result = ::stat(entry.path.c_str(), &st) == 0 ? 0 : -1;
    off_t size = result == 0 ? st.st_size : 0;
    LogF("VirusScan(%s) size[0](%d) = %lu / size[1](%d) = %lu\n", entry.path.c_str(), entry.result,
         static_cast<unsigned long>(entry.size), result, static_cast<unsigned long>(size));
    // A file still empty at first sight is only compared by size: it may
    // be about to be written.
    bool failed = entry.result != 0 || result != 0;
    bool settled = entry.size == size || (failed && !(entry.firstRound && entry.size == 0));
    entry.size = size;
    entry.result = result;
    entry.firstRound = false;
    return settled;
}

void ScanQueue::Scan(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    if (fd >= 0) {
        ::close(fd);
    } else {
        int err = errno;
        LogF("%s --- File open err = %d\n", path.c_str(), err);
        if (err == ENOENT || err == ENOTDIR) return;  // gone meanwhile: nothing to scan
    }
    scan_(path);
}

void ScanQueue::ScanFileThread() {
    for (;;) {
        Entry entry;
        {
            std::unique_lock<std::mutex> guard(lock_);
            changed_.wait(guard, [&] { return !entries_.empty(); });
            while (std::chrono::steady_clock::now() < entries_.front().due)
                changed_.wait_until(guard, entries_.front().due);
            entry = std::move(entries_.front());
            entries_.pop_front();
        }
        bool settled = Settled(entry);
        {
            std::lock_guard<std::mutex> guard(lock_);
            if (!settled) {
                entry.due = std::chrono::steady_clock::now() + settlePause_;
                entries_.push_back(std::move(entry));
                continue;
            }
            // From here on a new change of the file is a new scan.
            waiting_.erase(entry.path);
        }
        Scan(entry.path);
    }
}

void ScanFileByPipe(const std::string& path) {
    if (!FitsScanRequest(path)) return;
    std::string reply;
    for (int tries = 1; tries <= kScanTries; ++tries) {
        LogF("ScanFilebyPipe(%s) AV_ENGINE\n", path.c_str());
        CallPipeTransaction(path, reply, common::kScanPipeName);
        if (!IsCleanAnswer(reply)) break;
        std::this_thread::sleep_for(kRetryPause);
    }
    if (reply.empty() || IsCleanAnswer(reply)) return;
    LogF("ScanFilebyPipe(%s) AV_ALERT\n", common::BuildAlert(reply, path).c_str());
    SendAlert(reply, path);
}

}  // namespace watch
