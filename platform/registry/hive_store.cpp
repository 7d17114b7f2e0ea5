#include "platform/registry/hive_store.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>

#include "platform/io/full_write.h"
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

// The rest of the file from fd.
bool ReadAll(int fd, std::string* text) {
    char buffer[65536];
    for (;;) {
        ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) return true;
        text->append(buffer, static_cast<size_t>(n));
    }
}

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
    bool read = ReadAll(fd, text);
    int error = errno;
    close(fd);
    errno = error;
    return read;
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

namespace {

// What tells one version of a hive file from another: writers never change
// a file in place but rename a new one over it.
struct FileIdentity {
    bool exists = false;
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    timespec modified{}, changed{};
    bool operator==(const FileIdentity& o) const {
        return exists == o.exists && device == o.device && inode == o.inode && size == o.size &&
               modified.tv_sec == o.modified.tv_sec && modified.tv_nsec == o.modified.tv_nsec &&
               changed.tv_sec == o.changed.tv_sec && changed.tv_nsec == o.changed.tv_nsec;
    }
};

FileIdentity IdentityOf(const struct stat& st) {
    return {true, st.st_dev, st.st_ino, st.st_size, st.st_mtim, st.st_ctim};
}

// The last hive read or written by this process, kept while its file is
// the same: reads parse a hive only after someone changed it.
struct CachedHive {
    std::mutex mutex;
    std::string path;
    FileIdentity identity;
    std::shared_ptr<RegKeyNode> root;
};

CachedHive& Cache(Hive hive) {
    static CachedHive cache[2];
    return cache[hive == Hive::kLocalMachine ? 0 : 1];
}

void Remember(Hive hive, const std::string& path, const FileIdentity& identity, std::shared_ptr<RegKeyNode> root) {
    CachedHive& cache = Cache(hive);
    std::lock_guard<std::mutex> guard(cache.mutex);
    cache.path = path;
    cache.identity = identity;
    cache.root = std::move(root);
}

// The hive as its file holds it now.
LONG ReadCommitted(Hive hive, std::shared_ptr<RegKeyNode>* root) {
    const std::string path = HiveFilePath(hive);
    CachedHive& cache = Cache(hive);
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    FileIdentity identity;
    struct stat st;
    if (fd < 0 && errno != ENOENT) return kErrorCantRead;
    if (fd >= 0) {
        if (fstat(fd, &st) != 0) {
            close(fd);
            return kErrorCantRead;
        }
        identity = IdentityOf(st);
    }
    {
        std::lock_guard<std::mutex> guard(cache.mutex);
        if (cache.root && cache.path == path && cache.identity == identity) {
            if (fd >= 0) close(fd);
            *root = cache.root;
            return kErrorSuccess;
        }
    }
    // Read from the file opened above: the text belongs to that identity.
    std::string text;
    if (fd >= 0) {
        bool read = ReadAll(fd, &text);
        close(fd);
        if (!read) return kErrorCantRead;
    }
    auto fresh = std::make_shared<RegKeyNode>();
    if (!ParseHive(text, HiveRootName(hive), fresh.get())) return kErrorRegistryCorrupt;
    Remember(hive, path, identity, fresh);
    *root = std::move(fresh);
    return kErrorSuccess;
}

// Writes the tree as the hive file and keeps it as the hive's last version.
LONG Commit(Hive hive, const std::string& folder, std::shared_ptr<RegKeyNode> root) {
    const std::string path = HiveFilePath(hive);
    if (LONG error = ReplaceFile(folder, path, FormatHive(*root, HiveRootName(hive))); error != kErrorSuccess)
        return error;
    struct stat st;
    if (stat(path.c_str(), &st) == 0) Remember(hive, path, IdentityOf(st), std::move(root));
    return kErrorSuccess;
}

// The changes this thread makes inside a RegistryBatch: each hive is
// locked at its first change and written once when the batch ends.
struct Batch {
    int depth = 0;
    struct Held {
        std::unique_ptr<StoreLock> lock;
        std::string folder;
        std::shared_ptr<RegKeyNode> root;
        bool changed = false;
    } held[2];
    Held& Of(Hive hive) { return held[hive == Hive::kLocalMachine ? 0 : 1]; }
};

Batch& ThisThreadsBatch() {
    thread_local Batch batch;
    return batch;
}

}  // namespace

LONG LoadHive(Hive hive, std::shared_ptr<RegKeyNode>* root) {
    Batch& batch = ThisThreadsBatch();
    if (batch.depth > 0 && batch.Of(hive).root) {
        *root = batch.Of(hive).root;
        return kErrorSuccess;
    }
    return ReadCommitted(hive, root);
}

LONG ModifyHive(Hive hive, const HiveChange& change) {
    Batch& batch = ThisThreadsBatch();
    Batch::Held* held = batch.depth > 0 ? &batch.Of(hive) : nullptr;
    if (held && held->root) {
        bool changed = false;
        LONG result = change(*held->root, changed);
        held->changed = held->changed || changed;
        return result;
    }

    std::string folder = StoreFolder();
    if (!MakeFolders(folder)) return WriteErrorFromErrno();
    auto lock = std::make_unique<StoreLock>(folder + "/" + HiveRootName(hive) + ".lock");
    if (lock->error() != kErrorSuccess) return lock->error();
    std::shared_ptr<RegKeyNode> committed;
    if (LONG error = ReadCommitted(hive, &committed); error != kErrorSuccess) return error;
    // Readers may hold the committed tree: changes go to a copy.
    auto root = std::make_shared<RegKeyNode>(*committed);
    bool changed = false;
    LONG result = change(*root, changed);
    if (held) {
        *held = {std::move(lock), folder, std::move(root), changed};
        return result;
    }
    if (result != kErrorSuccess || !changed) return result;
    return Commit(hive, folder, std::move(root));
}

void BeginBatch() { ++ThisThreadsBatch().depth; }

LONG EndBatch() {
    Batch& batch = ThisThreadsBatch();
    if (batch.depth == 0 || --batch.depth > 0) return kErrorSuccess;
    LONG result = kErrorSuccess;
    for (Hive hive : {Hive::kLocalMachine, Hive::kCurrentUser}) {
        Batch::Held& held = batch.Of(hive);
        if (held.root && held.changed) {
            LONG error = Commit(hive, held.folder, std::move(held.root));
            if (result == kErrorSuccess) result = error;
        }
        held = {};  // releases the lock
    }
    return result;
}

}  // namespace platform::registry_detail
