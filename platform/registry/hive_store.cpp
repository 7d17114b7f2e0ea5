#include "platform/registry/hive_store.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/registry/hive_text.h"

namespace platform::registry_detail {

namespace {

LONG WriteErrorFromErrno() {
    return (errno == EACCES || errno == EPERM || errno == EROFS) ? kErrorAccessDenied : kErrorCantWrite;
}

bool MakeFolders(const std::string& path) {
    for (size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
        std::string prefix = path.substr(0, slash);
        if (mkdir(prefix.c_str(), 0777) != 0 && errno != EEXIST) return false;
        if (slash == std::string::npos) return true;
    }
}

bool WriteAll(int fd, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

// Writes the text next to the hive file, flushes it to disk and moves it
// over the hive file, keeping the old file's permissions.
LONG ReplaceFile(const std::string& folder, const std::string& path, const std::string& text) {
    std::string temp = path + ".tmp";
    int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) return WriteErrorFromErrno();
    struct stat old;
    if (stat(path.c_str(), &old) == 0) fchmod(fd, old.st_mode & 07777);
    bool ok = WriteAll(fd, text) && fsync(fd) == 0;
    ok = close(fd) == 0 && ok;
    if (!ok || rename(temp.c_str(), path.c_str()) != 0) {
        LONG error = WriteErrorFromErrno();
        unlink(temp.c_str());
        return error;
    }
    int dir = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        fsync(dir);
        close(dir);
    }
    return kErrorSuccess;
}

// An exclusive flock held for the object's lifetime.
class StoreLock {
public:
    explicit StoreLock(const std::string& path) {
        fd_ = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
        if (fd_ < 0) {
            error_ = WriteErrorFromErrno();
            return;
        }
        while (flock(fd_, LOCK_EX) != 0) {
            if (errno != EINTR) {
                error_ = kErrorCantWrite;
                return;
            }
        }
    }
    ~StoreLock() {
        if (fd_ >= 0) close(fd_);  // releases the lock
    }
    StoreLock(const StoreLock&) = delete;
    StoreLock& operator=(const StoreLock&) = delete;
    LONG error() const { return error_; }

private:
    int fd_ = -1;
    LONG error_ = kErrorSuccess;
};

}  // namespace

const char* HiveRootName(Hive hive) {
    return hive == Hive::kLocalMachine ? "HKEY_LOCAL_MACHINE" : "HKEY_CURRENT_USER";
}

std::string HiveFilePath(Hive hive) {
    return StoreFolder() + "/" + HiveRootName(hive) + ".reg";
}

std::string StoreFolder() {
    const char* folder = std::getenv("VELQOR_REGISTRY_DIR");
    return (folder && *folder) ? folder : "/var/lib/velqor/registry";
}

// The hive file's text; a missing file is an empty text. False with errno
// set when it cannot be read.
bool ReadHiveText(Hive hive, std::string* text) {
    text->clear();
    int fd = open(HiveFilePath(hive).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return errno == ENOENT;
    char buffer[65536];
    for (;;) {
        ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            int error = errno;
            close(fd);
            errno = error;
            return false;
        }
        if (n == 0) break;
        text->append(buffer, static_cast<size_t>(n));
    }
    close(fd);
    return true;
}

LONG LoadHive(Hive hive, RegKeyNode* root) {
    std::string text;
    if (!ReadHiveText(hive, &text)) return kErrorCantRead;
    return ParseHive(text, HiveRootName(hive), root) ? kErrorSuccess : kErrorRegistryCorrupt;
}

std::string DescribeHiveDamage(Hive hive) {
    std::string path = HiveFilePath(hive);
    std::string text;
    if (!ReadHiveText(hive, &text)) return path + ": " + std::strerror(errno);
    RegKeyNode root;
    HiveDamage damage;
    if (ParseHive(text, HiveRootName(hive), &root, &damage)) return "";
    return path + ", line " + std::to_string(damage.line) + ": " + damage.reason;
}

LONG ModifyHive(Hive hive, const HiveChange& change) {
    std::string folder = StoreFolder();
    if (!MakeFolders(folder)) return WriteErrorFromErrno();
    StoreLock lock(folder + "/" + HiveRootName(hive) + ".lock");
    if (lock.error() != kErrorSuccess) return lock.error();

    RegKeyNode root;
    if (LONG error = LoadHive(hive, &root); error != kErrorSuccess) return error;
    bool changed = false;
    if (LONG result = change(root, changed); result != kErrorSuccess || !changed) return result;
    return ReplaceFile(folder, HiveFilePath(hive), FormatHive(root, HiveRootName(hive)));
}

}  // namespace platform::registry_detail
