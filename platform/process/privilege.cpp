#include "platform/process/privilege.h"

#include <fcntl.h>
#include <grp.h>
#include <linux/capability.h>
#include <linux/securebits.h>
#include <pwd.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

namespace platform {

namespace {

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "cannot give up root: %s\n", what);
    std::_Exit(1);
}

std::string EffectiveUserName() {
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    const uid_t uid = ::geteuid();
    if (::getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) == 0 && found) return found->pw_name;
    return "user " + std::to_string(uid);
}

}  // namespace

std::string ServiceUserName() {
    const char* name = std::getenv("VELQOR_USER");
    return name && *name ? name : "velqor";
}

bool DropToServiceUser() {
    if (::geteuid() != 0) return false;
    const std::string name = ServiceUserName();
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwnam_r(name.c_str(), &entry, buffer.data(), buffer.size(), &found) != 0 || !found) return false;
    if (found->pw_uid == 0) return false;
    const gid_t group = found->pw_gid;
    if (::setgroups(1, &group) != 0 || ::setresgid(group, group, group) != 0) Fail("groups");
    if (::setresuid(found->pw_uid, found->pw_uid, found->pw_uid) != 0) Fail("user");
    // Made sure of: no way back to root remains.
    if (::setuid(0) == 0 || ::geteuid() == 0) Fail("root is still reachable");
    // Core dumps and /proc of the process stay closed to the user's other
    // processes: the servers hold passwords in memory.
    ::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
    return true;
}

bool KeepOnlyWatcherCapabilities() {
    if (::geteuid() != 0) return false;
    constexpr int kKept[] = {CAP_DAC_READ_SEARCH, CAP_KILL, CAP_SYS_PTRACE};
    auto kept = [&](int cap) {
        for (int k : kKept)
            if (k == cap) return true;
        return false;
    };
    // A root user id alone gives back nothing on exec; keep it so.
    if (::prctl(PR_SET_SECUREBITS, SECBIT_NOROOT | SECBIT_NOROOT_LOCKED, 0, 0, 0) != 0) Fail("secure bits");
    // Out of the bounding set, a capability cannot come back through an
    // exec of a set-user-id or file-capability program either.
    for (int cap = 0; cap <= CAP_LAST_CAP; ++cap)
        if (!kept(cap) && ::prctl(PR_CAPBSET_DROP, cap, 0, 0, 0) != 0) Fail("bounding set");
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3] = {};
    for (int cap : kKept) {
        data[CAP_TO_INDEX(cap)].effective |= CAP_TO_MASK(cap);
        data[CAP_TO_INDEX(cap)].permitted |= CAP_TO_MASK(cap);
    }
    if (::syscall(SYS_capset, &header, data) != 0) Fail("capabilities");
    return true;
}

std::string FolderProblem(const std::string& folder) {
    std::error_code made;
    std::filesystem::create_directories(folder, made);
    int error = made.value();
    // Checked with the ids the process works with, as its opens will be.
    if (error == 0 && ::faccessat(AT_FDCWD, folder.c_str(), W_OK | X_OK, AT_EACCESS) != 0) error = errno;
    if (error == 0) return "";
    return "cannot use the folder " + folder + " as " + EffectiveUserName() + ": " + std::strerror(error) + "\n";
}

}  // namespace platform
