#include "tools/backup/file_copy.h"

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "platform/io/full_write.h"
#include "tools/backup/backup_console.h"

namespace backup {
namespace {

std::string TemporaryName(const std::string& path) {
    return path + ".orqbackup-" + std::to_string(getpid());
}

// Copies one regular file's bytes and mode bits through a temporary file.
bool CopyFile(const std::string& from, const std::string& to, mode_t mode) {
    int in = open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) return false;
    const std::string temporary = TemporaryName(to);
    int out = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (out < 0) {
        int saved = errno;
        close(in);
        errno = saved;
        return false;
    }
    std::vector<char> buffer(1 << 16);
    bool ok = true;
    for (;;) {
        ssize_t n = read(in, buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) { ok = false; break; }
        if (n == 0) break;
        if (!platform::WriteAll(out, std::string_view(buffer.data(), static_cast<size_t>(n)))) { ok = false; break; }
    }
    int saved = errno;
    if (ok) ok = fchmod(out, mode & 07777) == 0 && fsync(out) == 0;
    if (!ok) saved = errno;
    if (close(out) != 0 && ok) { ok = false; saved = errno; }
    close(in);
    if (ok && rename(temporary.c_str(), to.c_str()) != 0) { ok = false; saved = errno; }
    if (!ok) {
        unlink(temporary.c_str());
        errno = saved;
    }
    return ok;
}

bool CopyLink(const std::string& from, const std::string& to) {
    std::string link(4096, '\0');
    ssize_t n = readlink(from.c_str(), link.data(), link.size() - 1);
    if (n < 0) return false;
    link.resize(static_cast<size_t>(n));
    const std::string temporary = TemporaryName(to);
    unlink(temporary.c_str());
    if (symlink(link.c_str(), temporary.c_str()) != 0) return false;
    if (rename(temporary.c_str(), to.c_str()) != 0) {
        int saved = errno;
        unlink(temporary.c_str());
        errno = saved;
        return false;
    }
    return true;
}

bool SameObject(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

struct Walk {
    bool skipBackupFolders;
    bool haveTargetRoot = false;
    struct stat targetRoot{};
};

void CopyFolder(Walk& walk, const std::string& source, const std::string& target) {
    const std::string targetFolder = target.empty() ? "." : target;
    if (mkdir(targetFolder.c_str(), 0777) != 0 && errno != EEXIST) {
        Out().Fail(targetFolder, strerror(errno));
        return;
    }
    struct stat targetStat;
    if (stat(targetFolder.c_str(), &targetStat) != 0 || !S_ISDIR(targetStat.st_mode)) {
        Out().Fail(targetFolder, errno ? strerror(errno) : strerror(ENOTDIR));
        return;
    }
    if (!walk.haveTargetRoot) {
        walk.targetRoot = targetStat;
        walk.haveTargetRoot = true;
    }
    const std::string sourceFolder = source.empty() ? "." : source;
    std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(sourceFolder.c_str()), closedir);
    if (!dir) {
        Out().Fail(sourceFolder, strerror(errno));
        return;
    }
    std::vector<std::string> names;
    errno = 0;
    while (dirent* entry = readdir(dir.get())) {
        std::string name = entry->d_name;
        if (name != "." && name != "..") names.push_back(std::move(name));
    }
    if (errno != 0) Out().Fail(sourceFolder, strerror(errno));
    dir.reset();

    for (const std::string& name : names) {
        const std::string from = source + name;
        const std::string to = target + name;
        struct stat st;
        if (lstat(from.c_str(), &st) != 0) {
            Out().Fail(from, strerror(errno));
            continue;
        }
        if (S_ISDIR(st.st_mode)) {
            if (walk.skipBackupFolders && strcasecmp(name.c_str(), "backup") == 0) continue;
            if (SameObject(st, walk.targetRoot)) continue;  // the copy's own target
            CopyFolder(walk, from + "/", to + "/");
            continue;
        }
        if (!S_ISREG(st.st_mode) && !S_ISLNK(st.st_mode)) {
            Out().SayBytes("Skip [" + from + "] (neither file, folder nor link)\n");
            continue;
        }
        struct stat existing;
        if (lstat(to.c_str(), &existing) == 0 && SameObject(st, existing)) continue;
        Out().SayBytes("Copy [" + to + "]\n");
        bool ok = S_ISLNK(st.st_mode) ? CopyLink(from, to) : CopyFile(from, to, st.st_mode);
        if (!ok) Out().Fail(to, strerror(errno));
    }
}

}  // namespace

bool MakePath(const std::string& path) {
    std::string prefix;
    for (size_t slash = path.find('/', 1); ; slash = path.find('/', slash + 1)) {
        prefix = path.substr(0, slash);
        if (!prefix.empty() && mkdir(prefix.c_str(), 0777) != 0 && errno != EEXIST) {
            Out().Fail(prefix, strerror(errno));
            return false;
        }
        if (slash == std::string::npos) break;
    }
    struct stat st;
    if (stat(path.c_str(), &st) != 0) {
        Out().Fail(path, strerror(errno));
        return false;
    }
    if (!S_ISDIR(st.st_mode)) {
        Out().Fail(path, strerror(ENOTDIR));
        return false;
    }
    return true;
}

bool WriteFileAtomically(const std::string& path, const std::string& bytes, unsigned mode) {
    const std::string temporary = TemporaryName(path);
    int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode);
    if (fd < 0) return false;
    bool ok = platform::WriteAll(fd, bytes) && fsync(fd) == 0;
    int saved = errno;
    if (close(fd) != 0 && ok) { ok = false; saved = errno; }
    if (ok && rename(temporary.c_str(), path.c_str()) != 0) { ok = false; saved = errno; }
    if (!ok) {
        unlink(temporary.c_str());
        errno = saved;
    }
    return ok;
}

void CopyTree(const std::string& source, const std::string& target, bool skipBackupFolders) {
    Walk walk{skipBackupFolders};
    CopyFolder(walk, source, target);
}

}  // namespace backup
