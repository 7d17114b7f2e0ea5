#include "service/event_source.h"

#include <unistd.h>

#include <atomic>
#include <climits>
#include <cstdlib>

#include "platform/registry/registry.h"
#include "platform/service/service.h"
#include "service/service_names.h"

namespace service {

namespace {

std::atomic<uint32_t> savedError{0};

std::string FillFirstText(const std::string& format) {
    std::string out;
    for (size_t i = 0; i < format.size(); ++i) {
        if (format[i] == '%' && i + 1 < format.size() && format[i + 1] == 's') {
            out += kServiceName;
            ++i;
        } else if (format[i] == '%' && i + 1 < format.size() && format[i + 1] == 'd') {
            out += std::to_string(static_cast<int32_t>(savedError.load()));
            ++i;
        } else {
            out += format[i];
        }
    }
    return out;
}

}  // namespace

std::string OwnProgramPath() {
    char buf[PATH_MAX];
    if (!::realpath("/proc/self/exe", buf)) return "";
    return buf;
}

std::string EventMessageFilePath(const std::string& programPath) {
    size_t slash = programPath.rfind('/');
    size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    // Only a dot of the file name starts an extension, not one of a folder.
    size_t dot = programPath.rfind('.');
    std::string stem = dot != std::string::npos && dot > nameStart ? programPath.substr(0, dot) : programPath;
    return stem + ".dll";
}

int InstallEventSource() {
    platform::HKEY key = nullptr;
    if (platform::RegOpenKeyExA(platform::HKEY_LOCAL_MACHINE, kEventSourceKey, 0, platform::KEY_READ, &key) ==
        platform::kErrorSuccess) {
        platform::RegCloseKey(key);
        return 0;
    }
    // The key and its values reach the store in one write.
    platform::RegistryBatch batch;
    int rc = platform::RegCreateKeyExA(platform::HKEY_LOCAL_MACHINE, kEventSourceKey, 0, nullptr,
                                       platform::REG_OPTION_NON_VOLATILE, platform::KEY_ALL_ACCESS, nullptr, &key,
                                       nullptr);
    if (rc != platform::kErrorSuccess) return rc;
    platform::DWORD types = 7;
    rc = platform::RegSetValueExA(key, "TypesSupported", 0, platform::REG_DWORD,
                                  reinterpret_cast<const platform::BYTE*>(&types), sizeof types);
    if (rc == platform::kErrorSuccess) {
        // A path, stored so that it reads back in whatever letters it has.
        rc = platform::RegSetValueUtf8(key, "EventMessageFile", platform::REG_EXPAND_SZ,
                                       EventMessageFilePath(OwnProgramPath()));
    }
    platform::RegCloseKey(key);
    const int written = batch.Commit();
    return rc != platform::kErrorSuccess ? rc : written;
}

// Every event number has the same message, "%1 %2", so the number picks nothing.
void ReportServiceEvent(const std::string& text, int /*eventNumber*/, const std::string& firstTextFormat, EventType type,
                        uint32_t lastError) {
    if (type == EventType::Error) savedError = lastError;
    // The message of every event is "%1 %2": the two texts.
    uint16_t kind = type == EventType::Error     ? platform::kEventLogErrorType
                    : type == EventType::Warning ? platform::kEventLogWarningType
                                                 : platform::kEventLogInformationType;
    platform::ReportEvent(kServiceName, kind, FillFirstText(firstTextFormat) + " " + text);
}

uint32_t SavedError() { return savedError; }

}  // namespace service
