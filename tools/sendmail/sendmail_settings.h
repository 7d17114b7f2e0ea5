// The mail sender's settings: built-in defaults, then "sendmail.ini" as the
// control panel writes it, then the command line.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "common/sendmail_ini.h"

namespace sendmail {

// Text settings hold UTF-8: the settings file is converted from CP932 as it
// is read.
struct SendmailSettings {
    int family = 0;                       // 0 = IPv4, anything else IPv6
    std::string fromAddress;
    std::string fromName;
    std::string charset = common::sendmail_ini::kCharsetName;
    std::string smtpServer;
    uint16_t port = 25;
    bool esmtp = false;
    std::string authId;
    std::string authPass;
    bool ssl = false;
    int64_t timeout = 300;                // seconds; 0 waits without limit
    bool debug = false;
    std::string recipients;               // comma-separated
    std::string replyTo;
    std::string subject;
    std::string message;                  // one body line, "\r\n" included
    std::string inputFile;
    bool html = false;
    bool deleteInputFile = false;
    std::string attachments;              // comma-separated paths
    std::string logFile;                  // empty: no send log
    std::string insert;
};

// Reads the settings file at `path` into `settings`. Returns 1 when the file
// was read, 0 when it could not be opened (the settings are then untouched).
int LoadSendmailIni(SendmailSettings& settings, const std::string& path = common::sendmail_ini::kFileName);

}  // namespace sendmail
