// The pipe loop of the archiving server: one request at a time, the mail
// moved into the work folder, rewritten there, moved back, its envelope
// taken over as a password-mail queue entry.
#pragma once

#include <string>

#include "archiver/svt/archive_settings.h"

namespace platform {
class PipeServer;
}

namespace archiver {

inline constexpr const char* kArchiveReplyCompressed = "Compressed";
inline constexpr size_t kArchiveRequestLimit = 512;

// Handles one request text (the bytes read from the pipe); returns the reply
// text, "Compressed" or empty.
std::string HandleArchiveRequest(const ArchiveSettings& settings, const std::string& request);

// Serves the pipe until it is stopped.
void ServeArchiveRequests(const ArchiveSettings& settings, platform::PipeServer& server);

}  // namespace archiver
