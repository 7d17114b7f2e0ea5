#include "common/secret_arguments.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/publish_file.h"
#include "platform/io/full_write.h"

namespace common {

namespace {

// A bound on what is read back: a handful of short values.
constexpr size_t kMostBytes = 64 * 1024;

}  // namespace

bool WriteSecretArguments(const std::string& path, const std::vector<std::string>& args) {
    std::string bytes;
    for (const auto& arg : args) bytes.append(arg).push_back('\0');
    ::unlink(path.c_str());
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    // The umask may only narrow the mode, but a group-wide default ACL of
    // the folder could widen it.
    bool ok = ::fchmod(fd, 0600) == 0 && platform::WriteAll(fd, bytes);
    ok = ::close(fd) == 0 && ok;
    if (!ok) ::unlink(path.c_str());
    return ok;
}

std::vector<std::string> ReadSecretArguments(const std::string& path) {
    std::vector<std::string> args;
    std::string bytes;
    if (!ReadWholeFile(path, bytes) || bytes.size() > kMostBytes) return args;
    size_t start = 0;
    for (size_t end = bytes.find('\0'); end != std::string::npos; end = bytes.find('\0', start)) {
        args.push_back(bytes.substr(start, end - start));
        start = end + 1;
    }
    return args;
}

}  // namespace common
