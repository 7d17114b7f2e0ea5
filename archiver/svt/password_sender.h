// The password-mail queue in the work folder and the thread that sends it:
// once at start, after every wake-up through the internal pipe, and after
// every retry period without one.
#pragma once

#include <memory>
#include <string>

#include "archiver/svt/archive_settings.h"

namespace platform {
class PipeServer;
}

namespace archiver {

inline constexpr size_t kWakeupMessageSize = 521;
inline constexpr size_t kWakeupPathLimit = 260;

// Wakes the sender thread for a new queue entry. Returns once the wake-up is
// delivered, without waiting for a send pass that is running.
void SendPasswordFilebyPipe(const std::string& envelopePath);

// Makes the thread's pipe; null (logged) when it cannot be made.
std::unique_ptr<platform::PipeServer> CreateSenderPipe();

// The thread body: runs until the pipe is stopped.
void PasswordSenderThread(const ArchiveSettings& settings, platform::PipeServer& pipe);

// One pass over the queue folder.
void SendQueuedPasswordMails(const ArchiveSettings& settings);

}  // namespace archiver
