// The walk of an on-demand scan, apart from its window: the count pass and
// the scan pass over the targets, the scan requests, the findings and the
// scan log. It runs on the scan thread; what it has to show goes out
// through ScanFeed, which the window posts to its own thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

namespace panel {

struct ScanFeed {
    std::function<void(const std::string& text)> status;
    std::function<void(uint32_t maximum)> progressRange;
    std::function<void(uint32_t position)> progressPosition;
    std::function<void(const std::string& tip)> tip;
    // A finding: its name, the path the list shows ("<zip>/<member>" for a
    // member) and the file a delete or move acts on.
    std::function<void(const std::string& finding, const std::string& shownPath, const std::string& file)> finding;
};

class OnDemandScan {
public:
    // An empty target scans the watched places of drivepath and honours the
    // folder white lists; a given one is scanned whole, white lists aside.
    OnDemandScan(std::string target, std::string dataFolder, ScanFeed feed);

    // The scan thread's work, from "フォルダの構成を確認中..." to the final
    // text. Returns early once cancelled.
    void OnDemandScanThread();
    void Cancel() { cancel_ = true; }

    uint32_t ScanFolder(const std::string& path, uint32_t counter, uint32_t total, bool scanPass, bool useWhiteList);

    uint32_t fileCount() const { return fileCount_; }
    uint32_t findingCount() const { return findingCount_; }
    // The scan server stopped answering: the scan ended without a verdict.
    bool serverLost() const { return serverLost_; }

    // How long one file may keep the scan server busy before the scan
    // counts the server as gone.
    static constexpr uint32_t kReplyTimeoutMs = 60000;

private:
    bool Stopped() const { return cancel_ || serverLost_; }
    void ScanFile(const std::string& path, bool scanPass, uint32_t counter);
    void HandleReply(const std::string& request, const std::string& path, const std::string& reply);

    std::string target_, dataFolder_;
    ScanFeed feed_;
    std::atomic<bool> cancel_{false};
    std::atomic<bool> serverLost_{false};
    std::atomic<uint32_t> fileCount_{0}, findingCount_{0};
};

// Appends "[hh:mm:ss] <text>" to scanresult.log in the data folder (code
// page 932, CR LF). With `fresh` the file is emptied first.
void WriteScanLog(const std::string& dataFolder, const std::string& text, bool fresh = false);

}  // namespace panel
