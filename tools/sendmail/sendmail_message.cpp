#include "sendmail_message.h"

#include <fstream>

#include "common/text.h"
#include "sendmail_text.h"

namespace sendmail {
namespace {

bool HasLineBreak(std::string_view value) { return value.find_first_of("\r\n") != std::string_view::npos; }

}  // namespace

std::string FindLineBreakValue(const SendmailSettings& s) {
    const std::pair<const char*, const std::string*> values[] = {
        {"subject", &s.subject},  {"insert", &s.insert},       {"reply-to", &s.replyTo},
        {"from", &s.fromAddress}, {"from name", &s.fromName},  {"recipient", &s.recipients},
        {"charset", &s.charset},
    };
    for (const auto& [name, value] : values)
        if (HasLineBreak(*value)) return std::string("The ") + name + " holds a line break; nothing was sent.";
    return {};
}

std::string EncodeHeaderText(std::string_view utf8) {
    std::string jis = ToIso2022Jp(utf8);
    if (jis == utf8) return std::string(utf8);
    return "=?iso-2022-jp?B?" + common::TextToBase64(jis) + "?=";
}

namespace {

// A display name as a phrase: encoded words when it is not ASCII, a quoted
// string when it holds a character that would end or split the phrase (a
// comma would make two addresses of one).
std::string DisplayName(std::string_view utf8) {
    const std::string encoded = EncodeHeaderText(utf8);
    if (encoded != utf8 || utf8.find_first_of("()<>[]:;@\\,.\"") == std::string_view::npos) return encoded;
    std::string quoted = "\"";
    for (char c : utf8) {
        if (c == '"' || c == '\\') quoted += '\\';
        quoted += c;
    }
    return quoted + "\"";
}

}  // namespace

std::vector<std::string> BuildHeaders(const SendmailSettings& s, const std::string& boundary,
                                      const std::string& date) {
    std::vector<std::string> h;
    h.push_back("From: " + DisplayName(s.fromName) + " <" + s.fromAddress + ">\r\n");
    size_t comma = s.recipients.find(',');
    if (comma != std::string::npos)
        h.push_back("To: " + s.recipients.substr(0, comma) + "\r\nCC: " + s.recipients.substr(comma + 1) + "\r\n");
    else if (!s.insert.empty())
        h.push_back("To: " + DisplayName(s.insert) + " <" + s.recipients + ">\r\n");
    else
        h.push_back("To: " + s.recipients + "\r\n");
    if (!s.replyTo.empty()) h.push_back("Reply-To: " + s.replyTo + "\r\n");
    h.push_back("Date: " + date + "\r\n");
    if (!s.attachments.empty())
        h.push_back("Content-Type: multipart/mixed;\r\n\tboundary=\"" + boundary + "\"\r\n");
    else
        h.push_back(std::string("Content-Type: text/") + (s.html ? "html" : "plain") + "; charset=" + s.charset +
                    "\r\n");
    h.push_back("MIME-Version: 1.0\r\n");
    h.push_back("X-Mailer: orqnote v2.00\r\n");
    h.push_back("Subject: " + EncodeHeaderText(s.subject) + "\r\n\r\n");
    return h;
}

std::string SubstituteInsert(std::string_view line, std::string_view insert) {
    std::string out;
    for (size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '%' && i + 1 < line.size() && line[i + 1] == 's') {
            out += insert;
            ++i;
        } else if (line[i] == '%' && i + 1 < line.size() && line[i + 1] == '%') {
            out += '%';
            ++i;
        } else {
            out += line[i];
        }
    }
    return out;
}

std::string BodyLine(std::string_view line, std::string_view insert) {
    std::string out = ToIso2022Jp(SubstituteInsert(line, insert));
    // A line "." would end the data early (RFC 5321, 4.5.2).
    if (!out.empty() && out.front() == '.') out.insert(out.begin(), '.');
    return out + "\r\n";
}

bool ReadBodyLines(const SendmailSettings& s, std::vector<std::string>& lines) {
    if (s.inputFile.empty()) {
        std::string_view message = s.message;
        if (message.size() >= 2 && message.substr(message.size() - 2) == "\r\n") message.remove_suffix(2);
        if (!s.message.empty()) lines.push_back(BodyLine(LocaleToUtf8(message), s.insert));
        return true;
    }
    std::ifstream file(s.inputFile, std::ios::binary);
    if (!file) return false;
    for (std::string line; std::getline(file, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(BodyLine(LocaleToUtf8(line), s.insert));
    }
    return true;
}

std::vector<std::string> AttachmentLines(const std::string& data) {
    std::vector<std::string> lines;
    for (size_t i = 0; i < data.size(); i += 48)
        lines.push_back(common::TextToBase64(std::string_view(data).substr(i, 48)) + "\r\n");
    return lines;
}

std::string AttachmentName(std::string_view path) {
    size_t slash = path.rfind('/');
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

}  // namespace sendmail
