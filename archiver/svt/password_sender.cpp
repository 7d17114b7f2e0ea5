#include "archiver/svt/password_sender.h"

#include <dirent.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <thread>
#include <vector>

#include "archiver/svt/archive_log.h"
#include "archiver/svt/file_moves.h"
#include "archiver/svt/mail_lines.h"
#include "archiver/svt/smtp_client.h"
#include "common/ascii_case.h"
#include "common/pipe_names.h"
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
        const int error = platform::CallNamedPipe(common::kSendMailPipeName, message, kWakeupMessageSize, reply,
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
    auto pipe = platform::PipeServer::Create(common::kSendMailPipeName, kWakeupMessageSize, &error);
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

namespace {

// The envelope as the engine writes it: the Message-ID line, the
// "Return-path: " line and one "Recipient: " line per recipient.
bool ReadEnvelope(const std::string& path, QueuedMail& mail) {
    LineReader in(path);
    if (!in.ok()) return false;
    std::string line;
    for (int number = 1; in.Next(line); ++number) {
        const std::string_view text = WithoutLineEnd(line);
        if (number == 1) continue;
        if (number == 2) {
            mail.sender = text.size() > 13 ? std::string(text.substr(13)) : std::string();
        } else if (text.size() > 11) {
            mail.recipients.emplace_back(text.substr(11));
        }
    }
    return true;
}

bool EndsWithRcp(const std::string& name) {
    return name.size() > 4 && common::EqualsIgnoringAsciiCase(std::string_view(name).substr(name.size() - 4), ".rcp");
}

bool SendOneMail(const ArchiveSettings& settings, const QueuedMail& mail) {
    const int socket = ConnectSmtpServer(settings);
    if (socket < 0) return false;
    if (settings.testMode) LogLine("connect success.\n");
    const int code = SmtpSendMail(settings, socket, mail);
    if (code != kSmtpSent && settings.testMode) LogLine("send fail.\n");
    ::shutdown(socket, SHUT_RDWR);
    ::close(socket);
    return code == kSmtpSent;
}

}  // namespace

void SendQueuedPasswordMails(const ArchiveSettings& settings) {
    const std::string& folder = settings.workFolder;
    const std::string extension = settings.mailExtension.empty() ? std::string("EML") : settings.mailExtension;
    LogFormat("Start send passwod. [%s]\n", folder.c_str());
    std::vector<std::string> envelopes;
    if (DIR* dir = ::opendir(folder.c_str())) {
        while (const dirent* entry = ::readdir(dir)) {
            if (EndsWithRcp(entry->d_name)) envelopes.push_back(folder + "/" + entry->d_name);
        }
        ::closedir(dir);
    }
    std::sort(envelopes.begin(), envelopes.end());
    for (const std::string& envelope : envelopes) {
        QueuedMail mail;
        mail.dataPath = envelope.substr(0, envelope.size() - 3) + extension;
        if (::access(mail.dataPath.c_str(), R_OK) != 0) {
            LogFormat("%s not found.", mail.dataPath.c_str());
            continue;
        }
        if (!ReadEnvelope(envelope, mail)) continue;
        if (SendOneMail(settings, mail)) {
            DeleteFileRetrying(envelope);
            DeleteFileRetrying(mail.dataPath);
        }
    }
}

}  // namespace archiver
