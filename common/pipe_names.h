// The pipes between the suite's programs, each named once: the anti-virus
// scan server, the spam check, the content word filter and the attachment
// archiving server (asked by the engine, the watchers, the service and the
// panel), the panel's alert pipe (told by the watchers), the service's
// wake-up pipe and the archiver's own password-mail wake-up.
#pragma once

namespace common {

inline constexpr const char* kScanPipeName = "\\\\.\\pipe\\orqavs";
inline constexpr const char* kSpamPipeName = "\\\\.\\pipe\\orqspam";
inline constexpr const char* kWordFilterPipeName = "\\\\.\\pipe\\orqcwfs";
inline constexpr const char* kArchivePipeName = "\\\\.\\pipe\\orqsvt";
inline constexpr const char* kAlertPipeName = "\\\\.\\pipe\\orqalert";
inline constexpr const char* kWakeupPipeName = "\\\\.\\pipe\\Tavrisk VELQORS";
inline constexpr const char* kSendMailPipeName = "\\\\.\\pipe\\orqsendmail";

}  // namespace common
