// Marking a mail found to be spam: the subject tag in front of its subject
// (or a Subject line of its own) and the check header
// "X-Tavrisk-SpamCheck: TRUE" at the end of its head.
#pragma once

#include <string>
#include <string_view>

namespace spam {

inline constexpr std::string_view kCheckHeaderName = "X-Tavrisk-SpamCheck:";
inline constexpr std::string_view kCheckHeaderLine = "X-Tavrisk-SpamCheck: TRUE";

// Rewrites the mail with the tag of the settings (or the one given). The
// marked mail is written whole beside the mail and renamed over it, so a
// failed write leaves the original as it was. True when the mail was
// marked.
bool MarkSpamMail(const std::string& mailPath);
bool MarkSpamMail(const std::string& mailPath, std::string_view subjectTag);

}  // namespace spam
