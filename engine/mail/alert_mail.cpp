#include "engine/mail/alert_mail.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <vector>

#include "common/ascii_case.h"
#include "engine/core/daily_log.h"
#include "engine/linerelay/relay_io.h"
#include "engine/linerelay/reply_completion.h"

namespace engine {
namespace {

using common::StartsWithIgnoringAsciiCase;

bool IsEmptyLine(std::string_view line) { return line == "\r\n" || line == "\n"; }
bool IsFolded(std::string_view line) { return !line.empty() && (line[0] == ' ' || line[0] == '\t'); }

// The mail's header, rewritten: one new Subject, the multipart Content-Type
// in place of the old one, and no Content-Transfer-Encoding, which on a
// multipart would tell readers to decode the parts' plain text. Returns
// the index of the first body line.
std::size_t WriteHeader(const std::vector<std::string_view>& lines, std::size_t first, bool pop3,
                        const std::string& finding, const std::string& boundary, std::string& out) {
    enum class In { None, Subject, ContentType, Dropped } in = In::None;
    bool subjectWritten = false;
    bool typeWritten = false;
    const std::string subject = "Subject: Virus alert [" + finding + "]\r\n";
    const std::string type = "Content-Type: multipart/mixed;\r\n\tboundary=\"" + boundary + "\"\r\n";
    std::size_t i = first;
    for (; i < lines.size(); ++i) {
        const std::string_view line = lines[i];
        if (pop3 && line == ".\r\n") break;
        if (IsEmptyLine(line)) {
            if (!subjectWritten) out += subject;
            if (!typeWritten) out += type;
            out += "\r\n";
            return i + 1;
        }
        if (IsFolded(line) && in != In::None) continue;
        if (StartsWithIgnoringAsciiCase(line, "subject:")) {
            if (!subjectWritten) out += subject;
            subjectWritten = true;
            in = In::Subject;
        } else if (StartsWithIgnoringAsciiCase(line, "content-type:")) {
            if (!typeWritten) out += type;
            typeWritten = true;
            in = In::ContentType;
        } else if (StartsWithIgnoringAsciiCase(line, "content-transfer-encoding:")) {
            in = In::Dropped;
        } else {
            out += line;
            in = In::None;
        }
    }
    return i;
}

std::size_t StuffedBytes(std::string_view mail) {
    std::size_t count = 0;
    for (std::string_view line : SplitLines(mail))
        if (line.size() >= 2 && line[0] == '.' && line[1] == '.') ++count;
    return count;
}

}  // namespace

std::string AlertBoundary() {
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    const int millis = static_cast<int>(
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000);
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    char text[64];
    std::snprintf(text, sizeof text, "----%s_%04d%02d%02d%02d%02d%02d%03d==", "", utc.tm_year + 1900, utc.tm_mon + 1,
                  utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec, millis);
    return text;
}

std::string AlertText(const std::string& finding) { return "'" + finding + "' was found.\r\n"; }

std::string AlertMail(std::string_view mail, const std::string& finding, bool keepBody, const std::string& boundary,
                      bool dotEnded) {
    const std::vector<std::string_view> lines = SplitLines(mail);
    std::string body;
    WriteHeader(lines, 0, dotEnded, finding, boundary, body);
    body += "--" + boundary + "\r\nContent-Type: text/plain\r\n\r\n" + AlertText(finding) + "\r\n";
    body += "--" + boundary + "\r\nContent-Type: message/rfc822\r\n\r\n";
    // The attached mail keeps its header; its body, which carries what was
    // found, only with -d.
    for (std::string_view line : lines) {
        if (dotEnded && line == ".\r\n") break;
        body += line;
        if (!keepBody && IsEmptyLine(line)) {
            body += "Sorry, deleted body...\r\n\r\n";
            break;
        }
    }
    // A mail cut short still ends its last line before the boundary.
    if (!body.empty() && body.back() != '\n') body += "\r\n";
    body += "--" + boundary + "--\r\n";
    return body;
}

std::size_t Pop3Octets(std::string_view mail) { return mail.size() - StuffedBytes(mail); }

std::string BuildAlertAnswer(std::string_view answer, const std::string& finding, LineProtocol protocol,
                             bool keepBody, const std::string& boundary) {
    const bool pop3 = protocol != LineProtocol::Imap4;
    const std::size_t statusLength = FirstLineLength(answer);
    if (statusLength == kIncomplete) return std::string(answer);
    std::string_view status = answer.substr(0, statusLength);
    std::string_view mail = answer.substr(statusLength);
    std::string_view closing;
    if (!pop3) {
        const long long literal = ImapLiteralAtEnd(status);
        if (literal < 0) return std::string(answer);
        // A message the server cut short is replaced all the same: what
        // arrived of it carries the finding.
        const std::size_t size = std::min(static_cast<std::size_t>(literal), mail.size());
        closing = mail.substr(size);
        mail = mail.substr(0, size);
    }
    const std::string body = AlertMail(mail, finding, keepBody, boundary, pop3);
    if (pop3) {
        // The octet count is the mail's own size, as a client counts it:
        // without the dot-stuffing and without the final "." line.
        return "+OK " + std::to_string(Pop3Octets(body)) + " octets\r\n" + body + ".\r\n";
    }
    std::string line(status);
    const std::size_t open = line.rfind('{');
    const std::size_t close = line.find('}', open);
    line.replace(open + 1, close - open - 1, std::to_string(body.size()));
    return line + body + std::string(closing);
}

void MakeMail(const std::string& spoolPath, std::string& answer, const std::string& finding, LineProtocol protocol,
              bool keepBody) {
    WriteLogF("[MakeMail] Start. [%s] VIRUS result [%s]\n", spoolPath.c_str(), finding.c_str());
    answer = BuildAlertAnswer(answer, finding, protocol, keepBody, AlertBoundary());
    // Written beside and renamed: the spool never holds half an alert.
    const std::string work = spoolPath + ".tmp";
    if (!WriteWholeFile(work, answer) || std::rename(work.c_str(), spoolPath.c_str()) != 0) {
        WriteLogF("[MakeMail] %s --- File open err = %d\n", spoolPath.c_str(), errno);
        std::remove(work.c_str());
    }
}

}  // namespace engine
