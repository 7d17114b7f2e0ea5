// One request of the spam pipe: the checks in their order and the reply.
#pragma once

#include <optional>
#include <string>

#include "common/pipe_messages.h"

namespace spam {

inline constexpr const char* kSpfDetected = "SPF detected.";
inline constexpr const char* kBodyDetected = "BODY detected.";
inline constexpr const char* kDateDetected = "Date detected.";

// The reply for one request ("" when the mail is not spam or was checked
// before); a mail judged spam has been marked.
std::string JudgeMail(const common::SpamRequest& request);

// The pipe handler: nothing (no reply) for a request that holds no text.
std::optional<std::string> HandleSpamRequest(const std::string& message, int readError);

// Start-up, banner and the pipe loop; the process's exit code.
int SpamCheckServerMain(int argc, char** argv);

}  // namespace spam
