#include "service/service_entry.h"

#include <strings.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "common/data_folder.h"
#include "common/start_values.h"
#include "platform/pipe/pipe.h"
#include "platform/registry/registry.h"
#include "platform/service/service.h"
#include "platform/win32_errors.h"
#include "service/event_source.h"
#include "service/product_settings.h"
#include "service/service_control.h"
#include "service/service_names.h"
#include "service/service_unit.h"
#include "service/version_banner.h"

namespace service {

namespace {

// A stop is polled once a second; systemd ends a stop that hangs long
// before this many looks.
constexpr int kRemoveStopLooks = 600;

void Print(const std::string& text) {
    std::fputs(text.c_str(), stdout);
    std::fflush(stdout);
}

// A unit installed from a shell with other settings (or none) than the
// one that ran the service by hand reads other folders: tell which.
void PrintServiceFolders(const std::string& dataRootVariable) {
    std::string root = common::LookUpDataRoot(dataRootVariable).path;
    Print("The service will use:\n  registry store  " + platform::RegistryStoreFolder() + "\n  data folder     " +
          root + "/" + common::kProductFolderName + " (" + dataRootVariable + "=" + root + ")\n  pipe folder     " +
          platform::PipeDirectory() + "\n");
}

void InstallService() {
    std::string path = OwnProgramPath();
    if (path.empty() || path.size() >= 512) {
        Print(std::string("Unable to install ") + kDisplayName + " - " + LastErrorText(platform::kErrorFileNotFound) +
              "\n");
        return;
    }
    int rc = platform::OpenServiceManager();
    if (rc != platform::kErrorSuccess) {
        Print("OpenSCManager failed - " + LastErrorText(rc) + "\n");
        return;
    }
    const common::TextValue& workenv = common::kDataRootVariable;
    std::string variable = ReadProductString(kProductSettingsKey, workenv.name, workenv.byDefault, 256);
    rc = platform::CreateService(ServiceUnitFor(path, variable));
    if (rc == platform::kErrorSuccess) {
        Print(std::string(kDisplayName) + " installed.\n");
        PrintServiceFolders(variable);
        // The administrators' group shares the store, the data and the pipes.
        std::string problems;
        if (auto group = AdministratorsGroupId();
            group && !ShareWithGroup(*group, common::DataFolderPath(common::LookUpDataRoot(variable).path), problems))
            Print(problems);
    } else {
        Print("CreateService failed - " + LastErrorText(rc) + "\n");
    }
}

void RemoveService() {
    int rc = platform::OpenServiceManager();
    if (rc != platform::kErrorSuccess) {
        Print("OpenSCManager failed - " + LastErrorText(rc) + "\n");
        return;
    }
    rc = platform::OpenService(kServiceName);
    if (rc != platform::kErrorSuccess) {
        Print("OpenService failed - " + LastErrorText(rc) + "\n");
        return;
    }
    if (platform::ControlServiceStop(kServiceName) == platform::kErrorSuccess) {
        Print(std::string("Stopping ") + kDisplayName + ".");
        uint32_t state = platform::kServiceStopPending;
        for (int look = 0; look < kRemoveStopLooks; ++look) {
            ::sleep(1);
            if (platform::QueryServiceState(kServiceName, &state) != platform::kErrorSuccess ||
                state != platform::kServiceStopPending)
                break;
            Print(".");
        }
        if (state == platform::kServiceStopped)
            Print(std::string("\n") + kDisplayName + " stopped.\n");
        else
            Print(std::string("\n") + kDisplayName + " failed to stop.\n");
    }
    rc = platform::DeleteService(kServiceName);
    if (rc == platform::kErrorSuccess)
        Print(std::string(kDisplayName) + " removed.\n");
    else
        Print("DeleteService failed - " + LastErrorText(rc) + "\n");
}

void PrintUsage() {
    for (const char* command : {" -install          Inserts service.\n", " -remove           Removes service.\n",
                                " -debug            Executes as the console application.\n",
                                " -version          Displays a version.\n"})
        Print(std::string(kServiceNameLower) + command);
    Print("\nSeveral seconds or the debug mode borrows to end.\n");
    Print("waiting...\n");
}

// "-install" or "/install", any case.
bool IsCommand(const char* arg, const char* command) {
    return (arg[0] == '-' || arg[0] == '/') && strcasecmp(arg + 1, command) == 0;
}

}  // namespace

std::string LastErrorText(int error) {
    // The system's message ends with a line end, which is not shown; the
    // whole must fit 256 bytes.
    std::string message = platform::Win32ErrorMessage(error);
    if (message.size() + 2 + 14 > 256) return "";
    char code[16];
    std::snprintf(code, sizeof code, "%x", static_cast<unsigned>(error));
    return message + " (0x" + code + ")";
}

int ServiceEntry(int argc, char** argv) {
    if (argc > 1) {
        const char* arg = argv[1];
        if (IsCommand(arg, "install")) {
            InstallService();
            return 0;
        }
        if (IsCommand(arg, "remove")) {
            RemoveService();
            return 0;
        }
        if (IsCommand(arg, "debug")) {
            // A run that could not start (another copy runs) says why on
            // the console and fails, so a script or terminal can tell.
            return DebugService() ? 0 : 1;
        }
        if (IsCommand(arg, "version")) {
            Print(VersionText());
            return 0;
        }
    }
    PrintUsage();
    int rc = platform::StartServiceCtrlDispatcher(kServiceName, ServiceMain, argc, argv);
    if (rc != platform::kErrorSuccess)
        ReportServiceEvent("StartServiceCtrlDispatcher failed.", 200, "%s error: %d", EventType::Error,
                           static_cast<uint32_t>(rc));
    return 0;
}

}  // namespace service
