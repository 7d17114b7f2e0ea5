#include "archiver/svt/password_sender.h"

#include <dirent.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <thread>
#include <vector>

#include "archiver/svt/archive_log.h"
#include "archiver/svt/file_moves.h"
#include "common/ascii_case.h"
#include "platform/pipe/pipe.h"
#include "platform/win32_errors.h"

namespace archiver {
namespace {

// A wake-up waits this long for the sender to take it; a sender in the
// middle of a pass takes the held request afterwards.
constexpr uint32_t kWakeupReplyWaitMs = 100;
constexpr int kBusyRetries = 500;  // 10 ms apart

}  // namespace

void SendPasswordFilebyPipe(const std::string& envelopePath) {
    std::string message = envelopePath.substr(0, std::min(envelopePath.size(), kWakeupPathLimit));
    message.resize(kWakeupMessageSize, '\0');
    for (int attempt = 0; attempt < kBusyRetries; ++attempt) {
        std::string reply;
        const int error = platform::CallNamedPipe(kSendMailPipeName, message, kWakeupMessageSize, reply,
                                                  platform::kPipeNoWait, kWakeupReplyWaitMs);
        // No reply in time means the sender holds the request and is busy
        // with a pass; it runs another one after it.
        if (error == 0 || error == platform::kErrorSemTimeout) {
            LogFormat("[SendPasswordFilebyPipe] CallNamedPipe(%s) Success.\n", envelopePath.c_str());
            return;
        }
        if (error != platform::kErrorPipeBusy) return;
        LogFormat("[SendPasswordFilebyPipe] CallNamedPipe(%s) fail. code = %lu\n", envelopePath.c_str(),
                  static_cast<unsigned long>(error));
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

std::unique_ptr<platform::PipeServer> CreateSenderPipe() {
    int error = 0;
    auto pipe = platform::PipeServer::Create(kSendMailPipeName, kWakeupMessageSize, &error);
    if (!pipe) LogLine("The named pipe could not be made.\n");
    return pipe;
}

void PasswordSenderThread(const ArchiveSettings& settings, platform::PipeServer& pipe) {
    const auto period = static_cast<uint32_t>(std::min<unsigned long>(settings.retrySeconds * 1000UL, 0xFFFFFFF0UL));
    while (!pipe.stopped()) {
        // A wake-up that comes during the pass is held, not refused.
        pipe.Listen();
        SendQueuedPasswordMails(settings);
        const auto result = pipe.WaitForClient(period);
        if (result == platform::PipeServer::WaitResult::Stopped) break;
        if (result == platform::PipeServer::WaitResult::Connected) {
            std::string request;
            if (pipe.ReadRequest(request, 1000) == 0) pipe.WriteReply("");
            pipe.Disconnect();
        }
    }
}

void SendQueuedPasswordMails(const ArchiveSettings& settings) {
    (void)settings;
}

}  // namespace archiver
