#include "panel/app/on_demand_scan.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "common/folder_white_list.h"
#include "common/pipe_messages.h"
#include "common/start_values.h"
#include "panel/app/scan_request.h"
#include "panel/framework/folder_view.h"
#include "panel/framework/registry_ops.h"
#include "panel/framework/strings.h"
#include "platform/codepage/codepage.h"

namespace panel {
namespace {

// Pseudo file systems: their "files" are the kernel's, and reading some of
// them never ends.
bool IsSystemFolder(const std::string& path) {
    static const char* const folders[] = {"/proc/", "/sys/", "/dev/", "/run/"};
    return std::any_of(std::begin(folders), std::end(folders), [&](const char* f) { return path == f; });
}

bool IsDirectory(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

void WriteScanLog(const std::string& dataFolder, const std::string& text, bool fresh) {
    static std::mutex mutex;
    std::lock_guard<std::mutex> lock(mutex);
    std::ofstream log(dataFolder + "scanresult.log", std::ios::binary | (fresh ? std::ios::trunc : std::ios::app));
    if (!log) return;
    time_t now = time(nullptr);
    struct tm local;
    localtime_r(&now, &local);
    char stamp[16];
    snprintf(stamp, sizeof stamp, "[%02d:%02d:%02d] ", local.tm_hour, local.tm_min, local.tm_sec);
    std::string line = stamp + text;
    std::string out;
    for (char c : platform::Utf8ToCp932(line)) {
        if (c == '\n') out += '\r';
        out += c;
    }
    log << out;
}

OnDemandScan::OnDemandScan(std::string target, std::string dataFolder, ScanFeed feed)
    : target_(std::move(target)), dataFolder_(std::move(dataFolder)), feed_(std::move(feed)) {}

void OnDemandScan::OnDemandScanThread() {
    std::vector<std::string> places;
    bool useWhiteList = false;
    if (target_.empty()) {
        std::string drivePath;
        const common::TextValue& value = common::watch_value::kDrivePath;
        RegReadString(RegRoot::LocalMachine, kProductSettingsKey, value.name, value.byDefault, drivePath, 1 << 20);
        places = DrivePathEntries(drivePath);
        useWhiteList = true;
    } else {
        // A path may hold "," or ";": a given target is one place.
        places = {target_};
    }
    for (std::string& place : places)
        if (place.back() != '/' && IsDirectory(place)) place += '/';

    feed_.status("フォルダの構成を確認中...");
    uint32_t counter = 0;
    for (const std::string& place : places) {
        if (Stopped()) return;
        counter = ScanFolder(place, counter, 0, false, useWhiteList);
    }
    if (Stopped()) return;
    feed_.progressRange(counter);
    const uint32_t total = counter;
    counter = 0;
    for (const std::string& place : places) {
        if (Stopped()) break;
        counter = ScanFolder(place, counter, total, true, useWhiteList);
    }
    if (cancel_) return;
    std::string text;
    if (serverLost_) {
        // Without a verdict on every file, "nothing found" would be a lie.
        text = LoadString(178).toStdString();
        WriteScanLog(dataFolder_, text + "\n");
    } else {
        text = "ウィルススキャンが終了しました。\u3000スキャン総数 " + std::to_string(fileCount_) + "件\r\n";
        if (findingCount_ > 0)
            text += "ウィルスが、" + std::to_string(findingCount_) + "件発見されました。\r\n駆除するにはリストから削除を行って下さい。";
        else
            text += "ウィルスは発見されませんでした。";
    }
    feed_.status(text);
    feed_.tip(text);
}

uint32_t OnDemandScan::ScanFolder(const std::string& path, uint32_t counter, uint32_t total, bool scanPass,
                                  bool useWhiteList) {
    struct stat st;
    if (stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode)) {
        ++counter;
        if (S_ISREG(st.st_mode)) ScanFile(path, scanPass, counter);
        return counter;
    }
    std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(path.c_str()), closedir);
    if (!dir) return counter;
    std::vector<std::string> names;
    while (dirent* entry = readdir(dir.get())) {
        std::string name = entry->d_name;
        if (name != "." && name != "..") names.push_back(std::move(name));
    }
    dir.reset();
    for (const std::string& name : names) {
        if (Stopped()) break;
        const std::string entryPath = path + name;
        if (lstat(entryPath.c_str(), &st) != 0) continue;
        if (S_ISDIR(st.st_mode)) {
            ++counter;
            const std::string folder = entryPath + "/";
            if (IsSystemFolder(folder)) continue;
            if (useWhiteList && common::IsPathInWatchList(dataFolder_, folder)) continue;
            counter = ScanFolder(folder, counter, total, scanPass, useWhiteList);
            if (scanPass) {
                feed_.progressPosition(counter);
                // A folder made between the passes can take the count past the
                // total, and a total of 0 says nothing.
                if (total > 0)
                    feed_.tip(std::to_string(std::min<uint64_t>(100, uint64_t{counter} * 100 / total)) +
                              "% スキャン実行中....");
            }
        } else if (S_ISREG(st.st_mode) && scanPass) {
            // Links are not followed and FIFOs, sockets and devices never
            // sent: the scanner would wait on them for ever.
            ScanFile(entryPath, true, counter);
        }
        std::this_thread::yield();
    }
    return counter;
}

void OnDemandScan::ScanFile(const std::string& path, bool scanPass, uint32_t counter) {
    const std::string request = path + "\t";
    if (!scanPass) {
        feed_.status(request);
        return;
    }
    feed_.progressPosition(counter);
    feed_.status(request);
    ++fileCount_;
    std::string reply;
    int rc = AvScanRequest(request, reply, kReplyTimeoutMs);
    if (rc < 0) {
        WriteScanLog(dataFolder_, request + "パスが長すぎるため検査できませんでした。\n");
        return;
    }
    if (rc == 0) {
        serverLost_ = true;
        return;
    }
    HandleReply(request, path, reply);
}

void OnDemandScan::HandleReply(const std::string& request, const std::string& path, const std::string& reply) {
    if (reply.empty() || reply == common::kScanReplyPasswordProtected || reply == common::kScanReplyAccessDenied)
        return;
    if (reply[0] != '?') {
        ++findingCount_;
        feed_.finding(reply, path, path);
        WriteScanLog(dataFolder_, request + reply + "\n");
        return;
    }
    // The findings inside an archive, one "finding TAB member" line each.
    const std::string report = reply.substr(1);
    struct stat st;
    if (lstat(report.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return;
    std::ifstream in(report, std::ios::binary);
    if (!in) return;
    std::string line;
    while (std::getline(in, line)) {
        line = line.substr(0, line.find_first_of("\r\n"));
        size_t tab = line.find('\t');
        if (line.empty() || tab == std::string::npos) continue;
        const std::string finding = line.substr(0, tab);
        const std::string shown = path + "/" + line.substr(tab + 1);
        ++findingCount_;
        feed_.finding(finding, shown, path);
        WriteScanLog(dataFolder_, shown + "\t" + finding + "\n");
    }
    in.close();
    unlink(report.c_str());
}

}  // namespace panel
