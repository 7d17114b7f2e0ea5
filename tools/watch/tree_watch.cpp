#include "tools/watch/tree_watch.h"

#include <dirent.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fcntl.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <set>
#include <thread>
#include <unordered_map>
#include <utility>
#include <vector>

#include "common/folder_white_list.h"
#include "tools/watch/watch_log.h"

namespace watch {

namespace {

// Room for the change records of one read.
constexpr size_t kChangeBufferSize = 10000;
constexpr auto kPlaceRetry = std::chrono::seconds(1);
constexpr uint32_t kFolderEvents = IN_CREATE | IN_CLOSE_WRITE | IN_MOVED_TO | IN_MOVED_FROM | IN_MOVE_SELF |
                                   IN_DONT_FOLLOW | IN_ONLYDIR | IN_EXCL_UNLINK;
// Files changed this long before the queue was last read empty still count as changed
// after lost records: file times and the clock are not read together.
constexpr time_t kChangeTimeSlackSeconds = 1;

const char* const kNeverEntered[] = {"/proc/", "/sys/", "/dev/", "/run/"};
// The kernel's mount table of this process: poll() tells of each mount and
// unmount with POLLPRI.
constexpr const char* kMountTable = "/proc/self/mountinfo";

bool IsBelow(const std::string& path, const std::string& folder) {
    return path.compare(0, folder.size(), folder) == 0;
}

timespec RealNow() {
    timespec now;
    ::clock_gettime(CLOCK_REALTIME, &now);
    return now;
}

bool NotBefore(const timespec& t, const timespec& since) {
    return t.tv_sec > since.tv_sec || (t.tv_sec == since.tv_sec && t.tv_nsec >= since.tv_nsec);
}

// A mount point as the mount table writes it: blanks, tabs, line ends and
// backslashes as three octal digits after a backslash.
std::string UnescapeMountPoint(const std::string& field) {
    std::string path;
    for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size()) {
            int value = 0;
            bool octal = true;
            for (size_t k = 1; k <= 3; ++k) {
                char c = field[i + k];
                octal = octal && c >= '0' && c <= '7';
                value = value * 8 + (c - '0');
            }
            if (octal) {
                path += static_cast<char>(value);
                i += 3;
                continue;
            }
        }
        path += field[i];
    }
    return path;
}

// Each mount as (mount id, mount point ending in "/"): a mount made again
// at the same point has a new id.
using MountSet = std::set<std::pair<std::string, std::string>>;

// The mounts of the table read from fd (read again from its start).
MountSet ReadMounts(int fd) {
    MountSet mounts;
    std::string text;
    char buffer[8192];
    if (::lseek(fd, 0, SEEK_SET) != 0) return mounts;
    for (;;) {
        ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        text.append(buffer, static_cast<size_t>(got));
    }
    // id parent major:minor root mount-point ...
    for (size_t start = 0; start < text.size();) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::vector<std::string> fields;
        for (size_t at = start; at < end && fields.size() < 5;) {
            size_t blank = text.find(' ', at);
            if (blank == std::string::npos || blank > end) blank = end;
            fields.push_back(text.substr(at, blank - at));
            at = blank + 1;
        }
        if (fields.size() == 5) {
            std::string point = UnescapeMountPoint(fields[4]);
            if (point.empty() || point.back() != '/') point += '/';
            mounts.emplace(fields[0], point);
        }
        start = end + 1;
    }
    return mounts;
}

class TreeWatch {
public:
    enum class FilesAre { Known, New, ChangedSince };

    TreeWatch(const WatchContext& context, ScanQueue& queue, std::string place, FilesAre firstFiles)
        : context_(context), queue_(queue), place_(std::move(place)), firstFiles_(firstFiles) {}
    ~TreeWatch() {
        if (fd_ >= 0) ::close(fd_);
        if (mountTable_ >= 0) ::close(mountTable_);
    }

    // Watches the tree until its place goes away; false when the watch
    // could not be set up at all.
    bool Run();

private:
    void AddTree(const std::string& top, FilesAre files, timespec since = {});
    void Offer(const std::string& path);
    void Handle(const inotify_event& event);
    bool RenameTree(const std::string& from, const std::string& to);
    void DropTree(const std::string& folder);
    void Overflow();
    void MountsChanged();
    bool ReadChanges();
    bool NeverEntered(const std::string& folder) const;
    bool MoreRecordsWaiting() const;

    const WatchContext& context_;
    ScanQueue& queue_;
    const std::string place_;
    const FilesAre firstFiles_;
    int fd_ = -1;
    int mountTable_ = -1;
    MountSet mounts_;  // at, above or below the place
    int rootWd_ = -1;
    bool placeGone_ = false;
    bool limitLogged_ = false;
    timespec caughtUp_{};  // when the last record waiting had been read
    std::unordered_map<int, std::string> folders_;        // watch -> folder path ending in "/"
    std::unordered_map<uint32_t, std::string> movedAway_;  // rename cookie -> old folder path
};

bool TreeWatch::NeverEntered(const std::string& folder) const {
    if (IsBelow(folder, context_.logFolder)) return true;
    for (const char* system : kNeverEntered)
        if (IsBelow(folder, system)) return true;
    return false;
}

// Every folder of the tree gets its watch before it is read, so a file
// made meanwhile is seen either by the walk or by a record, and the
// queue takes it once either way.
void TreeWatch::AddTree(const std::string& top, FilesAre files, timespec since) {
    std::vector<std::string> stack{top};
    while (!stack.empty()) {
        std::string folder = std::move(stack.back());
        stack.pop_back();
        if (NeverEntered(folder)) continue;
        int wd = ::inotify_add_watch(fd_, folder.c_str(), kFolderEvents);
        if (wd < 0) {
            if (errno == ENOSPC && !limitLogged_) {
                limitLogged_ = true;
                LogF("WatchFolderThread(%s) watch limit reached at %s: raise fs.inotify.max_user_watches\n",
                     place_.c_str(), folder.c_str());
            }
            continue;
        }
        folders_[wd] = folder;
        if (folder == place_) rootWd_ = wd;
        DIR* dir = ::opendir(folder.c_str());
        if (dir == nullptr) continue;
        while (dirent* entry = ::readdir(dir)) {
            if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
            std::string path = folder + entry->d_name;
            unsigned char type = entry->d_type;
            struct stat st;
            bool haveStat = false;
            if (type == DT_UNKNOWN || (type == DT_REG && files == FilesAre::ChangedSince)) {
                if (::lstat(path.c_str(), &st) != 0) continue;
                haveStat = true;
                type = S_ISDIR(st.st_mode) ? DT_DIR : S_ISREG(st.st_mode) ? DT_REG : DT_UNKNOWN;
            }
            if (type == DT_DIR) {
                stack.push_back(path + "/");
            } else if (type == DT_REG && files != FilesAre::Known) {
                if (files == FilesAre::ChangedSince && haveStat && !NotBefore(st.st_ctim, since)) continue;
                Offer(path);
            }
        }
        ::closedir(dir);
    }
}

void TreeWatch::Offer(const std::string& path) {
    if (path.empty() || IsBelow(path, context_.logFolder)) return;
    struct stat st;
    // Only plain files: a symlink's target is scanned where it lies, and a
    // FIFO would hang the scan.
    if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return;

    common::WhiteFolderCheck check = common::CheckWhiteFolder(context_.dataFolder, context_.dataRoot, path);
    LogF("Start WhiteList() [%s]\n", check.listPath.c_str());
    LogF("Folder [%s]\n", check.folder.c_str());
    LogF("WhiteList() %s folder [%s]\n", check.white ? "pass" : "check", check.folder.c_str());
    if (check.white) return;
    LogF("Start WhiteExtensionList() [%s]\n", path.c_str());
    bool whiteExtension = common::IsWhiteExtension(context_.dataFolder, path);
    LogF("WhiteExtensionList() %s file [%s]\n", whiteExtension ? "pass" : "check", path.c_str());
    if (whiteExtension) return;
    queue_.Add(path, st.st_size);
}

// False when no watch was under the old name: the folder went away before
// its watch could be set (made and renamed at once).
bool TreeWatch::RenameTree(const std::string& from, const std::string& to) {
    bool moved = false;
    for (auto& [wd, folder] : folders_) {
        if (!IsBelow(folder, from)) continue;
        folder = to + folder.substr(from.size());
        moved = true;
    }
    return moved;
}

void TreeWatch::DropTree(const std::string& folder) {
    for (auto it = folders_.begin(); it != folders_.end();) {
        if (IsBelow(it->second, folder)) {
            ::inotify_rm_watch(fd_, it->first);
            it = folders_.erase(it);
        } else {
            ++it;
        }
    }
}

// Records were lost: walk the tree again (a folder made meanwhile gets its
// watch) and take every file changed since the last records were read.
void TreeWatch::Overflow() {
    LogF("WatchFolderThread(%s) change records lost (queue overflow): rescanning the tree\n", place_.c_str());
    timespec since = caughtUp_;
    since.tv_sec -= kChangeTimeSlackSeconds;
    auto old = std::move(folders_);
    folders_.clear();
    movedAway_.clear();
    rootWd_ = -1;
    AddTree(place_, FilesAre::ChangedSince, since);
    for (const auto& [wd, folder] : old)
        if (!folders_.count(wd)) ::inotify_rm_watch(fd_, wd);
    if (rootWd_ < 0) placeGone_ = true;
}

void TreeWatch::Handle(const inotify_event& event) {
    if (event.mask & IN_Q_OVERFLOW) {
        Overflow();
        return;
    }
    if (event.mask & IN_IGNORED) {
        folders_.erase(event.wd);
        if (event.wd == rootWd_) placeGone_ = true;
        return;
    }
    if ((event.mask & IN_MOVE_SELF) && event.wd == rootWd_) {
        placeGone_ = true;  // the paths under the old name no longer lead there
        return;
    }
    auto it = folders_.find(event.wd);
    if (it == folders_.end() || event.len == 0) return;
    std::string path = it->second + event.name;
    if (event.mask & IN_ISDIR) {
        if (event.mask & IN_MOVED_FROM) {
            movedAway_[event.cookie] = path + "/";
        } else if (event.mask & IN_MOVED_TO) {
            auto from = movedAway_.find(event.cookie);
            bool renamed = from != movedAway_.end() && RenameTree(from->second, path + "/");
            if (from != movedAway_.end()) movedAway_.erase(from);
            if (!renamed) AddTree(path + "/", FilesAre::New);
        } else if (event.mask & IN_CREATE) {
            AddTree(path + "/", FilesAre::New);
        }
        return;
    }
    if (event.mask & (IN_CREATE | IN_CLOSE_WRITE | IN_MOVED_TO)) Offer(path);
}

// A drive mounted at or below the place hides the folder its watches are
// on, and its unmount brings that folder back: each such tree is watched
// anew and what it holds is new to the watcher. A mount above the place
// changes what the place's path leads to, so the whole place is.
void TreeWatch::MountsChanged() {
    MountSet now;
    for (const auto& mount : ReadMounts(mountTable_))
        if (IsBelow(mount.second, place_) || IsBelow(place_, mount.second)) now.insert(mount);
    std::set<std::string> changed;
    for (const auto& mount : now)
        if (!mounts_.count(mount)) changed.insert(mount.second);
    for (const auto& mount : mounts_)
        if (!now.count(mount)) changed.insert(mount.second);
    mounts_ = std::move(now);
    std::string previous;  // a changed tree already taken holds the ones below it
    for (const std::string& point : changed) {
        if (!previous.empty() && IsBelow(point, previous)) continue;
        previous = point;
        const std::string top = IsBelow(place_, point) ? place_ : point;
        LogF("WatchFolderThread(%s) mounts changed at %s: watching %s anew\n", place_.c_str(), point.c_str(),
             top.c_str());
        DropTree(top);
        if (top == place_) rootWd_ = -1;
        AddTree(top, FilesAre::New);
        if (rootWd_ < 0) placeGone_ = true;
        if (top == place_) break;
    }
}

bool TreeWatch::MoreRecordsWaiting() const {
    pollfd p{fd_, POLLIN, 0};
    return ::poll(&p, 1, 0) > 0;
}

// Reads and handles the records waiting; false when reading fails.
bool TreeWatch::ReadChanges() {
    alignas(inotify_event) char buffer[kChangeBufferSize];
    ssize_t got = ::read(fd_, buffer, sizeof buffer);
    if (got < 0) {
        if (errno == EINTR || errno == EAGAIN) return true;
        LogF("WatchFolderThread(%s) wait for changes failed: error %d\n", place_.c_str(), errno);
        return false;
    }
    for (ssize_t offset = 0; offset < got && !placeGone_;) {
        const auto* event = reinterpret_cast<const inotify_event*>(buffer + offset);
        Handle(*event);
        offset += sizeof(inotify_event) + event->len;
    }
    // Every record of a change before this moment has been read: a
    // later loss can only be of later changes.
    timespec now = RealNow();
    if (MoreRecordsWaiting()) return true;
    caughtUp_ = now;
    // A folder moved away without arriving in the tree has left it;
    // its other half would have been in this read.
    if (!movedAway_.empty()) {
        for (const auto& [cookie, folder] : movedAway_) DropTree(folder);
        movedAway_.clear();
    }
    return true;
}

bool TreeWatch::Run() {
    fd_ = ::inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
    if (fd_ < 0) {
        LogF("WatchFolderThread(%s) cannot watch: error %d\n", place_.c_str(), errno);
        return false;
    }
    // Without the mount table (no /proc) the place is still watched; only
    // drives mounted later go unseen.
    mountTable_ = ::open(kMountTable, O_RDONLY | O_CLOEXEC);
    if (mountTable_ >= 0)
        for (const auto& mount : ReadMounts(mountTable_))
            if (IsBelow(mount.second, place_) || IsBelow(place_, mount.second)) mounts_.insert(mount);
    caughtUp_ = RealNow();
    AddTree(place_, firstFiles_);
    if (rootWd_ < 0) return false;
    LogF("WatchFolderThread(%s) watching %zu folders\n", place_.c_str(), folders_.size());
    while (!placeGone_) {
        pollfd waits[2] = {{fd_, POLLIN, 0}, {mountTable_, POLLPRI, 0}};
        if (::poll(waits, mountTable_ >= 0 ? 2 : 1, -1) < 0) {
            if (errno == EINTR) continue;
            LogF("WatchFolderThread(%s) wait for changes failed: error %d\n", place_.c_str(), errno);
            return false;
        }
        if ((waits[0].revents & POLLIN) && !ReadChanges()) return false;
        if (!placeGone_ && (waits[1].revents & (POLLPRI | POLLERR))) MountsChanged();
    }
    return true;
}

bool IsFolder(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

void WatchFolderThread(const WatchContext& context, ScanQueue& queue, std::string place) {
    // What the place holds at start-up is known; what it holds when it
    // comes back after going away was put there meanwhile (a folder made
    // anew, a clone or an unpacked archive in its place), so it is new.
    auto files = TreeWatch::FilesAre::Known;
    for (;;) {
        while (!IsFolder(place)) std::this_thread::sleep_for(kPlaceRetry);
        TreeWatch tree(context, queue, place, files);
        if (tree.Run())
            files = TreeWatch::FilesAre::New;
        else
            std::this_thread::sleep_for(kPlaceRetry);
    }
}

}  // namespace watch
