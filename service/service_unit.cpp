#include "service/service_unit.h"

#include <grp.h>
#include <pwd.h>
#include <spawn.h>
#include <sys/wait.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <vector>

#include "common/data_folder.h"
#include "platform/pipe/pipe.h"
#include "platform/process/privilege.h"
#include "platform/registry/registry.h"
#include "service/service_names.h"

namespace service {
namespace {

namespace fs = std::filesystem;

void Problem(std::string& problems, const std::string& what, const std::string& path, int err) {
    problems += what + " " + path + ": " + std::strerror(err) + "\n";
}

// Folders become 2770; files keep their owner's bits and give the group the
// same, others nothing.
void ShareEntry(const std::string& path, gid_t group, std::string& problems) {
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0) return Problem(problems, "cannot look at", path, errno);
    if (S_ISLNK(st.st_mode)) return;
    if (::lchown(path.c_str(), 0, group) != 0) return Problem(problems, "cannot give to the group", path, errno);
    mode_t mode = S_ISDIR(st.st_mode) ? 02770 : ((st.st_mode & 0700) | ((st.st_mode & 0700) >> 3));
    if (::chmod(path.c_str(), mode) != 0) Problem(problems, "cannot set the mode of", path, errno);
}

void ShareTree(const std::string& folder, gid_t group, std::string& problems) {
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (ec) return Problem(problems, "cannot create", folder, ec.value());
    ShareEntry(folder, group, problems);
    fs::recursive_directory_iterator it(folder, fs::directory_options::skip_permission_denied, ec), end;
    for (; !ec && it != end; it.increment(ec)) ShareEntry(it->path().string(), group, problems);
    if (ec) Problem(problems, "cannot walk", folder, ec.value());
}

bool WriteTmpfilesLine(const std::string& pipeFolder, std::string& problems) {
    std::string folder = TmpfilesFolder();
    std::string path = folder + "/velqor.conf";
    std::string temporary = path + ".tmp";
    {
        std::ofstream out(temporary, std::ios::trunc);
        out << "d " << pipeFolder << " 2770 root " << AdministratorsGroup() << " -\n";
        out.flush();
        if (!out) {
            ::unlink(temporary.c_str());
            Problem(problems, "cannot write", path, errno ? errno : EIO);
            return false;
        }
    }
    if (::chmod(temporary.c_str(), 0644) != 0 || ::rename(temporary.c_str(), path.c_str()) != 0) {
        Problem(problems, "cannot write", path, errno);
        ::unlink(temporary.c_str());
        return false;
    }
    return true;
}

// The servers drop to this user; being in the group, it writes what the
// group shares and nothing else.
void MakeServiceUser(gid_t group, std::string& problems) {
    const std::string name = platform::ServiceUserName();
    if (::getpwnam(name.c_str())) return;
    const std::string gid = std::to_string(group);
    std::vector<std::string> argv{"useradd", "--system", "--gid", gid, "--no-create-home", "--home-dir",
                                  "/nonexistent", "--shell", "/usr/sbin/nologin", name};
    std::vector<char*> pointers;
    for (auto& arg : argv) pointers.push_back(arg.data());
    pointers.push_back(nullptr);
    pid_t pid = -1;
    int status = 0;
    if (::posix_spawnp(&pid, "useradd", nullptr, nullptr, pointers.data(), environ) != 0 ||
        ::waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        problems += "cannot make the user " + name + " (useradd)\n";
}

}  // namespace

std::string AdministratorsGroup() {
    const char* name = std::getenv("VELQOR_GROUP");
    return name && *name ? name : kAdministratorsGroup;
}

std::optional<gid_t> AdministratorsGroupId() {
    std::vector<char> buffer(16384);
    group entry;
    group* found = nullptr;
    if (::getgrnam_r(AdministratorsGroup().c_str(), &entry, buffer.data(), buffer.size(), &found) != 0 || !found)
        return std::nullopt;
    return found->gr_gid;
}

platform::ServiceDefinition ServiceUnitFor(const std::string& programPath, const std::string& dataRootVariable) {
    platform::ServiceDefinition unit{kServiceName, kDisplayName, programPath, {}, ""};
    unit.environment.emplace_back(dataRootVariable, common::LookUpDataRoot(dataRootVariable).path);
    for (const char* name : {"VELQOR_REGISTRY_DIR", "VELQOR_PIPE_DIR"}) {
        const char* value = std::getenv(name);
        if (value && *value) unit.environment.emplace_back(name, value);
    }
    if (AdministratorsGroupId()) unit.umask = "0007";
    return unit;
}

bool ShareWithGroup(gid_t group, const std::string& dataFolder, std::string& problems) {
    problems.clear();
    MakeServiceUser(group, problems);
    ShareTree(platform::RegistryStoreFolder(), group, problems);
    ShareTree(dataFolder, group, problems);
    ShareTree(platform::PipeDirectory(), group, problems);
    WriteTmpfilesLine(platform::PipeDirectory(), problems);
    return problems.empty();
}

std::string TmpfilesFolder() {
    const char* value = std::getenv("VELQOR_TMPFILES_DIR");
    return value && *value ? value : "/etc/tmpfiles.d";
}

}  // namespace service
