// One SMTP or ESMTP dialogue over a plain or TLS connection.
#pragma once

#include <string>

#include "sendmail_settings.h"

namespace sendmail {

// Connects, runs the dialogue and sends the message; true only when the
// server accepted the message.
bool SendMail(const SendmailSettings& settings, const std::string& boundary);

}  // namespace sendmail
