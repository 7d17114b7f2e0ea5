#include "filters/spam/mark_mail.h"

#include "common/ascii_case.h"
#include "common/publish_file.h"
#include "common/text.h"
#include "platform/codepage/codepage.h"
#include "filters/spam/spam_log.h"
#include "filters/spam/spam_settings.h"

namespace spam {
namespace {

// The line without its line end (LF, or CR LF).
std::string_view Content(std::string_view line) {
    if (!line.empty() && line.back() == '\n') line.remove_suffix(1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    return line;
}

// The tag as a header may carry it. An ASCII tag goes in as it is; one
// with Japanese text (CP932, as the service passes it) would be raw 8-bit
// bytes no mail reader decodes, so it becomes an ISO-2022-JP encoded word,
// followed by the blank that separates an encoded word from the text after
// it.
struct HeaderTag {
    std::string text;
    bool encoded = false;
};

HeaderTag ToHeaderTag(std::string_view tag) {
    bool ascii = true;
    for (unsigned char c : tag) ascii = ascii && c < 0x80;
    if (ascii) return {std::string(tag), false};
    std::string jis = platform::ConvertText(platform::kCodePageShiftJis, platform::kCodePageIso2022Jp, tag);
    if (jis.empty()) return {std::string(tag), false};
    return {"=?ISO-2022-JP?B?" + common::TextToBase64(jis) + "?=", true};
}

std::string Tagged(const HeaderTag& tag, std::string_view subject) {
    if (tag.encoded && !subject.empty()) return tag.text + " " + std::string(subject);
    return tag.text + std::string(subject);
}

// "Subject:" with its one separating blank (or none, "Subject:Hello")
// becomes "Subject: <tag>", the subject text itself untouched.
std::string TaggedSubject(std::string_view content, const HeaderTag& tag) {
    std::string_view rest = content.substr(8);
    if (!rest.empty() && (rest[0] == ' ' || rest[0] == '\t')) rest.remove_prefix(1);
    return "Subject: " + Tagged(tag, rest);
}

std::string MarkedMailText(std::string_view mail, std::string_view subjectTag) {
    const HeaderTag tag = ToHeaderTag(subjectTag);
    std::string marked;
    marked.reserve(mail.size() + tag.text.size() + 64);
    bool subjectSeen = false;
    auto addHeaders = [&]() {
        if (!marked.empty() && marked.back() != '\n') marked += "\r\n";
        if (!subjectSeen) marked += "Subject: " + tag.text + "\r\n";
        marked += std::string(kCheckHeaderLine) + "\r\n";
    };
    size_t at = 0;
    while (at < mail.size()) {
        size_t end = mail.find('\n', at);
        end = end == std::string_view::npos ? mail.size() : end + 1;
        std::string_view line = mail.substr(at, end - at);
        std::string_view content = Content(line);
        if (content.empty()) {
            addHeaders();
            marked += mail.substr(at);  // the empty line and the body as they are
            return marked;
        }
        if (common::StartsWithIgnoringAsciiCase(content, "subject:")) {
            subjectSeen = true;
            if (!tag.text.empty()) {
                marked += TaggedSubject(content, tag);
                marked += line.substr(content.size());
                at = end;
                continue;
            }
        }
        marked += line;
        at = end;
    }
    // A mail that is all head still gets the check header, or every later
    // request would tag it once more.
    addHeaders();
    return marked;
}

}  // namespace

bool MarkSpamMail(const std::string& mailPath) { return MarkSpamMail(mailPath, Settings().subjectTag); }

bool MarkSpamMail(const std::string& mailPath, std::string_view subjectTag) {
    std::string mail;
    if (!common::ReadWholeFile(mailPath, mail)) {
        WriteLogF("MarkSpamMail(%s) open fail.\n", mailPath.c_str());
        return false;
    }
    // Written whole beside the mail and renamed over it: a write that fails
    // (a full disk) leaves the mail as it was.
    if (common::PublishFile(mailPath, MarkedMailText(mail, subjectTag)) == common::PublishResult::kFailed) {
        WriteLogF("MarkSpamMail(%s) write fail.\n", mailPath.c_str());
        return false;
    }
    return true;
}

}  // namespace spam
