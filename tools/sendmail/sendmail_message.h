// The message's text: header values, body lines and attachment lines, as
// they go out after DATA.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "sendmail_settings.h"

namespace sendmail {

// Empty when every header and envelope value is one line; otherwise the
// message saying which value holds a line break (nothing is then sent).
std::string FindLineBreakValue(const SendmailSettings& settings);

// A header text: unchanged when it is plain ASCII, else one encoded word
// "=?iso-2022-jp?B?...?=" of the whole text.
std::string EncodeHeaderText(std::string_view utf8);

// The header lines in their order, each ending in CR LF, the last one
// followed by the empty line.
std::vector<std::string> BuildHeaders(const SendmailSettings& settings, const std::string& boundary,
                                      const std::string& date);

// "%s" becomes the insert text and "%%" one "%"; any other "%" stays.
std::string SubstituteInsert(std::string_view line, std::string_view insert);

// One body line ready to send: insert substituted, ISO-2022-JP, a leading
// "." doubled, CR LF appended.
std::string BodyLine(std::string_view line, std::string_view insert);

// The body lines of the message text or of the input file; false when the
// input file cannot be read.
bool ReadBodyLines(const SendmailSettings& settings, std::vector<std::string>& lines);

// Base64 lines of 64 characters (48 bytes each), each ending in CR LF.
std::vector<std::string> AttachmentLines(const std::string& data);

// The text after the last "/".
std::string AttachmentName(std::string_view path);

}  // namespace sendmail
