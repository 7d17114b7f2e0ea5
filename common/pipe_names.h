// The pipes of the suite's own servers: the anti-virus scan server, the
// spam check, the content word filter and the attachment archiving server.
// The engine asks them; the service also asks the scan server whether it
// is up.
#pragma once

namespace common {

inline constexpr const char* kScanPipeName = "\\\\.\\pipe\\orqavs";
inline constexpr const char* kSpamPipeName = "\\\\.\\pipe\\orqspam";
inline constexpr const char* kWordFilterPipeName = "\\\\.\\pipe\\orqcwfs";
inline constexpr const char* kArchivePipeName = "\\\\.\\pipe\\orqsvt";

}  // namespace common
