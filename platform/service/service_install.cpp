// Installing, removing and asking after the service as a systemd unit.
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "platform/process/process.h"
#include "platform/registry/registry.h"
#include "platform/service/service.h"
#include "platform/win32_errors.h"

namespace platform {

namespace {

constexpr const char* kServicesKey = "SYSTEM\\CurrentControlSet\\Services\\";

std::string EnvOr(const char* name, const char* fallback) {
    const char* value = std::getenv(name);
    return value && *value ? value : fallback;
}

std::string UnitName(const std::string& serviceName) {
    std::string unit = serviceName;
    for (char& c : unit) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return unit + ".service";
}

ProgramResult Systemctl(std::vector<std::string> args) {
    args.insert(args.begin(), EnvOr("VELQOR_SYSTEMCTL", "systemctl"));
    return RunProgram(args, std::chrono::seconds(30));
}

// One word of a unit file line: quoted, with the characters that systemd
// would read as escapes or specifiers written so it reads them back as is.
std::string UnitWord(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') out += '\\';
        if (c == '%') out += '%';
        out += c;
    }
    return out + "\"";
}

std::string UnitText(const ServiceDefinition& d) {
    // The service's own network wait passes as soon as a socket can be made,
    // which needs no interface; servers that listen on the office's
    // addresses need those up first.
    std::string text = "[Unit]\nDescription=" + d.displayName +
                       "\nWants=network-online.target\nAfter=network-online.target\n\n[Service]\nType=notify\n";
    text += "ExecStart=" + UnitWord(d.binaryPath) + "\n";
    for (const auto& [name, value] : d.environment) text += "Environment=" + UnitWord(name + "=" + value) + "\n";
    if (!d.umask.empty()) text += "UMask=" + d.umask + "\n";
    // The service ends its own children; whatever is left after it has
    // stopped is ended by systemd.
    text += "KillMode=mixed\n";
    // The servers give up root themselves and never need it back; the
    // service writes only below /var and /run.
    text += "NoNewPrivileges=yes\nProtectSystem=full\nPrivateTmp=yes\n"
            "RestrictAddressFamilies=AF_UNIX AF_INET AF_INET6 AF_NETLINK\n";
    text += "\n[Install]\nWantedBy=multi-user.target\n";
    return text;
}

int Win32ErrorFromErrno(int err) {
    switch (err) {
    case ENOENT: return kErrorPathNotFound;
    case EACCES:
    case EPERM:
    case EROFS: return kErrorAccessDenied;
    default: return kErrorAccessDenied;
    }
}

bool WriteFileAtomically(const std::string& path, const std::string& text) {
    std::string temp = path + ".tmp";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out << text;
        out.flush();
        if (!out) {
            ::unlink(temp.c_str());
            return false;
        }
    }
    if (::rename(temp.c_str(), path.c_str()) != 0) {
        ::unlink(temp.c_str());
        return false;
    }
    return true;
}

// The path is a Linux file name (UTF-8), not code page 932 text.
LONG WriteImagePath(const ServiceDefinition& d) {
    HKEY key = nullptr;
    LONG rc = RegCreateKeyExA(HKEY_LOCAL_MACHINE, (kServicesKey + d.name).c_str(), 0, nullptr,
                              REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &key, nullptr);
    if (rc != kErrorSuccess) return rc;
    rc = RegSetValueUtf8(key, "ImagePath", REG_EXPAND_SZ, d.binaryPath);
    RegCloseKey(key);
    return rc;
}

}  // namespace

std::string ServiceUnitFolder() { return EnvOr("VELQOR_SYSTEMD_DIR", "/etc/systemd/system"); }

std::string ServiceUnitPath(const std::string& serviceName) {
    return ServiceUnitFolder() + "/" + UnitName(serviceName);
}

int OpenServiceManager() {
    struct stat st;
    std::string folder = ServiceUnitFolder();
    if (::stat(folder.c_str(), &st) != 0) return Win32ErrorFromErrno(errno);
    if (!S_ISDIR(st.st_mode)) return kErrorPathNotFound;
    if (::access(folder.c_str(), W_OK | X_OK) != 0) return Win32ErrorFromErrno(errno);
    return kErrorSuccess;
}

int CreateService(const ServiceDefinition& definition) {
    std::string path = ServiceUnitPath(definition.name);
    if (::access(path.c_str(), F_OK) == 0) return kErrorServiceExists;
    if (!WriteFileAtomically(path, UnitText(definition))) return Win32ErrorFromErrno(errno);
    LONG rc = WriteImagePath(definition);
    if (rc != kErrorSuccess) {
        ::unlink(path.c_str());
        return rc;
    }
    // Without a running systemd there is nothing to tell; it reads the
    // unit when it starts.
    Systemctl({"daemon-reload"});
    return kErrorSuccess;
}

int OpenService(const std::string& serviceName) {
    return ::access(ServiceUnitPath(serviceName).c_str(), F_OK) == 0 ? kErrorSuccess : kErrorServiceDoesNotExist;
}

int QueryServiceState(const std::string& serviceName, uint32_t* state) {
    int rc = OpenService(serviceName);
    if (rc != kErrorSuccess) return rc;
    auto result = Systemctl({"is-active", UnitName(serviceName)});
    std::string word = result.output.substr(0, result.output.find_first_of("\r\n"));
    if (word == "active" || word == "reloading")
        *state = kServiceRunning;
    else if (word == "activating")
        *state = kServiceStartPending;
    else if (word == "deactivating")
        *state = kServiceStopPending;
    else
        *state = kServiceStopped;
    return kErrorSuccess;
}

int ControlServiceStop(const std::string& serviceName) {
    uint32_t state = kServiceStopped;
    int rc = QueryServiceState(serviceName, &state);
    if (rc != kErrorSuccess) return rc;
    if (state != kServiceRunning && state != kServiceStartPending) return kErrorServiceNotActive;
    if (Systemctl({"stop", "--no-block", UnitName(serviceName)}).exitCode != 0) return kErrorServiceNotActive;
    return kErrorSuccess;
}

int StartService(const std::string& serviceName) {
    int rc = OpenService(serviceName);
    if (rc != kErrorSuccess) return rc;
    return Systemctl({"start", "--no-block", UnitName(serviceName)}).exitCode == 0 ? kErrorSuccess
                                                                                   : kErrorServiceNotActive;
}

int EnableService(const std::string& serviceName) {
    int rc = OpenService(serviceName);
    if (rc != kErrorSuccess) return rc;
    return Systemctl({"enable", UnitName(serviceName)}).exitCode == 0 ? kErrorSuccess : kErrorServiceNotActive;
}

int DeleteService(const std::string& serviceName) {
    std::string path = ServiceUnitPath(serviceName);
    if (::unlink(path.c_str()) != 0)
        return errno == ENOENT ? kErrorServiceDoesNotExist : Win32ErrorFromErrno(errno);
    Systemctl({"daemon-reload"});
    HKEY key = nullptr;
    std::string keyPath = kServicesKey + serviceName;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, KEY_ALL_ACCESS, &key) == kErrorSuccess) {
        RegDeleteValueA(key, "ImagePath");
        RegCloseKey(key);
        // A key that others gave sub-keys keeps them; only ours goes.
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, keyPath.c_str());
    }
    return kErrorSuccess;
}

std::string Win32ErrorMessage(int error) {
    switch (error) {
    case kErrorSuccess: return "The operation completed successfully.";
    case kErrorFileNotFound: return "The system cannot find the file specified.";
    case kErrorPathNotFound: return "The system cannot find the path specified.";
    case kErrorAccessDenied: return "Access is denied.";
    case kErrorInvalidHandle: return "The handle is invalid.";
    case kErrorInvalidParameter: return "The parameter is incorrect.";
    case kErrorServiceAlreadyRunning: return "An instance of the service is already running.";
    case kErrorServiceDoesNotExist: return "The specified service does not exist as an installed service.";
    case kErrorServiceNotActive: return "The service has not been started.";
    case kErrorFailedServiceControllerConnect:
        return "The service process could not connect to the service controller.";
    case kErrorServiceExists: return "The specified service already exists.";
    default: return "Error " + std::to_string(error) + ".";
    }
}

}  // namespace platform
