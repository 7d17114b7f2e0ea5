#include "panel/app/service_ops.h"

#include <cstdio>

#include "panel/app/tray_icon_record.h"
#include "panel/framework/panel_state.h"
#include "panel/framework/strings.h"
#include "platform/registry/registry.h"
#include "platform/service/service.h"
#include "platform/win32_errors.h"
#include "service/service_unit.h"

namespace panel {
namespace {

void Notice(const char* text) { TrayNotice(ServiceBalloonTitle(), QString::fromUtf8(text)); }

// The service's state, or false when it has no unit or cannot be read.
bool ReadState(const std::string& name, uint32_t& state) {
    return platform::QueryServiceState(name, &state) == platform::kErrorSuccess;
}

void DeleteEventSourceKey() {
    platform::RegDeleteKeyA(platform::HKEY_LOCAL_MACHINE, kEventSourceKey);
}

}  // namespace

QString ServiceBalloonTitle() { return LoadString(136); }

int QueryServiceState(const std::string& name) {
    uint32_t state = 0;
    if (!ReadState(name, state)) return -1;
    if (state == platform::kServiceRunning) return 1;
    if (state == platform::kServiceStopped) return 0;
    return -1;
}

int StartServiceByName(const std::string& name) {
    if (platform::OpenService(name) != platform::kErrorSuccess) {
        Notice("未登録です。");
    } else if (QueryServiceState(name) == 0) {
        Notice(platform::StartService(name) == platform::kErrorSuccess ? "開始しました。" : "開始できませんでした。");
    }
    return QueryServiceState(name);
}

int StopServiceByName(const std::string& name) {
    if (platform::OpenService(name) != platform::kErrorSuccess) {
        Notice("未登録です。");
    } else if (QueryServiceState(name) == 1) {
        Notice(platform::ControlServiceStop(name) == platform::kErrorSuccess ? "停止しました。" : "停止できませんでした。");
    }
    return QueryServiceState(name);
}

int DeleteServiceByName(const std::string& name) {
    if (platform::OpenServiceManager() != platform::kErrorSuccess) return QueryServiceState(name);
    if (platform::OpenService(name) != platform::kErrorSuccess) {
        Notice("未登録です。");
        return QueryServiceState(name);
    }
    bool stopped = false;  // stopped, or it accepted the stop request
    bool deleted = false;
    uint32_t state = 0;
    if (ReadState(name, state)) {
        if (state == platform::kServiceStopped)
            stopped = true;
        else if (state == platform::kServiceRunning)
            stopped = platform::ControlServiceStop(name) == platform::kErrorSuccess;
    }
    if (stopped) deleted = platform::DeleteService(name) == platform::kErrorSuccess;
    if (deleted) {
        DeleteEventSourceKey();
        Notice("削除しました。");
    } else {
        Notice(stopped ? "削除できません。" : "停止されていないため、削除できません。");
    }
    return QueryServiceState(name);
}

int RegisterServiceByName(const std::string& name) {
    if (platform::OpenServiceManager() != platform::kErrorSuccess) return QueryServiceState(name);
    if (platform::OpenService(name) == platform::kErrorSuccess) {
        Notice("既に登録済みです。");
        return QueryServiceState(name);
    }
    platform::ServiceDefinition unit =
        service::ServiceUnitFor(State().programFolder + "/velqors", State().dataRootVariable);
    unit.name = name;
    if (platform::CreateService(unit) != platform::kErrorSuccess) {
        Notice("登録できません。");
    } else {
        // The unit stands; without the link it starts by hand only.
        if (platform::EnableService(name) != platform::kErrorSuccess)
            std::fprintf(stderr, "velqorctl: %s is registered but could not be enabled\n", name.c_str());
        Notice("登録しました。");
    }
    return QueryServiceState(name);
}

}  // namespace panel
