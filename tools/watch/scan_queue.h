// Files waiting to be scanned. Each path is waiting at most once, however
// many change records name it; it is scanned when its size has stayed the
// same over one settling pause. One thread settles and scans them all, in
// the order they came: a burst of thousands of files costs memory for
// their paths, not a thread each.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <unordered_set>

namespace watch {

inline constexpr std::chrono::seconds kSettlePause{3};

class ScanQueue {
public:
    // scan: the scan-and-alert exchange for one settled path.
    explicit ScanQueue(std::function<void(const std::string& path)> scan,
                       std::chrono::milliseconds settlePause = kSettlePause);

    // A file was seen with `size` bytes. Nothing happens while the path is
    // already waiting.
    void Add(const std::string& path, off_t size);

    // The scan thread: runs for ever.
    void ScanFileThread();

private:
    struct Entry {
        std::string path;
        off_t size = 0;
        int result = 0;  // of the size query: 0 or -1
        bool firstRound = true;
        std::chrono::steady_clock::time_point due;
    };
    // One settling round; true when the file is ready for its scan.
    bool Settled(Entry& entry);
    void Scan(const std::string& path);

    const std::function<void(const std::string&)> scan_;
    const std::chrono::milliseconds settlePause_;
    std::mutex lock_;
    std::condition_variable changed_;
    std::deque<Entry> entries_;  // due times never decrease along the queue
    std::unordered_set<std::string> waiting_;
};

// The file is scanned as it stands; its findings go to the alert pipe.
void ScanFileByPipe(const std::string& path);

}  // namespace watch
