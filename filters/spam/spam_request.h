// The two forms of a request on the spam pipe:
//   SMTP:        <mail path> TAB <client address> TAB <envelope sender>
//   POP3, IMAP4: <mail path> ? <list name>
#pragma once

#include <string>
#include <string_view>

#include "common/pipe_messages.h"

namespace spam {

struct SpamRequest {
    std::string text;      // the request without its list name (what the SPF check reads)
    std::string listName;  // relative to the data folder, ":" read as ";"; empty: none
    std::string mailPath;  // up to the first TAB
    bool smtpForm = false; // the text holds a TAB
    std::string shortName; // for log lines: "req-1-0007" of ".../cache/req-1-0007.dat"
};

// The text ends at its first NUL. The list name follows the last "?" of
// the part before the first TAB: the SMTP form never carries one, so a
// "?" in an envelope sender can never name a file to read.
SpamRequest ParseSpamRequest(std::string_view message);

using common::IsSafeListName;

}  // namespace spam
