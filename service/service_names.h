// The names the service is known by: to the service manager, in the
// registry, on its pipe and in its messages.
#pragma once

namespace service {

inline constexpr const char* kServiceName = "VELQORSV2";
inline constexpr const char* kServiceNameLower = "velqorsv2";
inline constexpr const char* kDisplayName = "Tavrisk VELQOR Server V2 Service";
inline constexpr const char* kVersionText = "(2.03)";

// ProductSettingsKey and the service's own key under HKEY_LOCAL_MACHINE.
inline constexpr const char* kProductSettingsKey = "SOFTWARE\\TAVRISK\\VELQOR_SERVER";
inline constexpr const char* kServiceKey = "SYSTEM\\CurrentControlSet\\Services\\VELQORSV2";
inline constexpr const char* kEventSourceKey = "SYSTEM\\CurrentControlSet\\Services\\Eventlog\\Application\\VELQORSV2";

}  // namespace service
