// The password-mail sender's SMTP client: one connection, one dialogue, one
// mail, with the result codes the log reports.
#pragma once

#include <string>
#include <vector>

#include "archiver/svt/archive_settings.h"

namespace archiver {

inline constexpr int kSmtpSent = 0;
inline constexpr int kSmtpGreetingFailed = 0x8001;
inline constexpr int kSmtpHelloFailed = 0x8002;
inline constexpr int kSmtpMailFromFailed = 0x8003;
inline constexpr int kSmtpRcptFailed = 0x8004;
inline constexpr int kSmtpDataFailed = 0x8005;
inline constexpr int kSmtpDataEndFailed = 0x8006;
inline constexpr int kSmtpAuthFailed = 0x8007;

struct QueuedMail {
    std::string dataPath;  // the password mail, ending with its "." line
    std::string sender;
    std::vector<std::string> recipients;
};

// Connects to the -s server; the socket, or -1 (logged "connect fail.").
int ConnectSmtpServer(const ArchiveSettings& settings);

// One dialogue on a connected socket; kSmtpSent or the code of the step
// that failed. The result line and QUIT always end it.
int SmtpSendMail(const ArchiveSettings& settings, int socket, const QueuedMail& mail);

}  // namespace archiver
