#include "engine/mail/retrieval_relay.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <map>

#include "common/ascii_case.h"
#include "common/file_retry.h"
#include "common/pipe_messages.h"
#include "engine/core/daily_log.h"
#include "engine/core/engine_settings.h"
#include "engine/core/header_text.h"
#include "engine/core/pipe_clients.h"
#include "engine/linerelay/relay_io.h"
#include "engine/mail/alert_mail.h"
#include "engine/mail/reply_rewrite.h"
#include "engine/mail/retrieval_spool.h"

namespace engine {
namespace {

constexpr const char* kFunction = "ServerToClientSession";
constexpr std::size_t kLineChunk = 256 * 1024;

class SpoolFile {
public:
    explicit SpoolFile(const std::string& path) : fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {}
    ~SpoolFile() {
        if (fd_ >= 0) ::close(fd_);
    }
    SpoolFile(const SpoolFile&) = delete;
    SpoolFile& operator=(const SpoolFile&) = delete;
    int fd() const { return fd_; }

private:
    int fd_;
};

// Calls line(offset, length, head) for each line of the file from `from`,
// head holding its first (up to three) bytes, until it returns false.
template <typename Line>
bool ForEachLine(int fd, std::uint64_t from, std::uint64_t size, Line line) {
    std::string chunk;
    std::uint64_t lineStart = from;
    std::string head;
    for (std::uint64_t at = from; at < size;) {
        if (!ReadFileRange(fd, at, std::min<std::uint64_t>(kLineChunk, size - at), chunk)) return false;
        for (std::size_t i = 0; i < chunk.size();) {
            const std::size_t lf = chunk.find('\n', i);
            const std::size_t stop = lf == std::string::npos ? chunk.size() : lf + 1;
            if (head.size() < 3) head.append(chunk, i, std::min<std::size_t>(3 - head.size(), stop - i));
            i = stop;
            if (lf == std::string::npos) break;
            const std::uint64_t next = at + stop;
            if (!line(lineStart, next - lineStart, std::string_view(head))) return true;
            lineStart = next;
            head.clear();
        }
        at += chunk.size();
    }
    if (lineStart < size) line(lineStart, size - lineStart, std::string_view(head));
    return true;
}

std::string ReadStatusLine(int fd, std::uint64_t size) {
    std::string start;
    ReadFileRange(fd, 0, std::min<std::uint64_t>(size, 1024), start);
    const std::size_t lf = start.find('\n');
    return lf == std::string::npos ? start : start.substr(0, lf + 1);
}

std::string SpamListRequest(const LineRelayState& state) {
    return common::BuildSpamListRequest(state.capturePath, "spamkeyword/" + SafeFileNamePart(state.popUser) + ".db");
}

void LogResult(const LineRelayState& state, const char* check, const std::string& finding) {
    WriteLogF("[%s] [%04d] [%04d] [%s] %s result [%s]\n", kFunction, state.client, state.server,
              state.record->MailId.c_str(), check, finding.empty() ? "CLEAN" : finding.c_str());
}

std::string VirusFinding(const LineRelayState& state, const std::string& path) {
    std::string finding;
    ScanFile(Settings(), static_cast<int>(state.protocol), state.client, path, finding);
    LogResult(state, "VIRUS", finding);
    return finding;
}

}  // namespace

FetchContent FetchItemContent(const std::string& item) {
    if (item == "RFC822") return FetchContent::WholeMail;
    if (item == "RFC822.TEXT") return FetchContent::Part;
    const bool body = item.rfind("BODY[", 0) == 0;
    if (!body && item.rfind("BINARY[", 0) != 0) return FetchContent::None;
    const std::size_t open = item.find('[');
    const std::size_t close = item.find(']', open);
    if (close == std::string::npos) return FetchContent::None;
    std::string section = item.substr(open + 1, close - open - 1);
    if (section.empty()) return FetchContent::WholeMail;
    const std::size_t fields = section.find(" (");
    if (fields != std::string::npos) section.erase(fields);
    const std::size_t dot = section.rfind('.');
    const std::string last = dot == std::string::npos ? section : section.substr(dot + 1);
    // A header (or a part's MIME header) carries no content of the mail.
    if (last == "MIME" || last == "HEADER" || section.find("HEADER.FIELDS") != std::string::npos)
        return FetchContent::None;
    return FetchContent::Part;
}

bool MeasurePop3Answer(int fd, std::uint64_t size, long long topLines, Pop3Extent& extent) {
    extent = Pop3Extent{};
    bool status = true;
    bool inBody = false;
    long long bodyLines = 0;
    extent.end = size;
    const bool read = ForEachLine(fd, 0, size, [&](std::uint64_t offset, std::uint64_t length, std::string_view head) {
        if (status) {
            status = false;
            extent.statusEnd = offset + length;
            return true;
        }
        if ((length == 3 && head == ".\r\n") || (length == 2 && head == ".\n")) {
            extent.end = offset;
            extent.addEnd = true;
            return false;
        }
        if (inBody) {
            if (topLines >= 0 && bodyLines >= topLines) {
                extent.end = offset;
                extent.addEnd = true;
                return false;
            }
            ++bodyLines;
        } else if (head == "\r\n" || head == "\n") {
            inBody = true;
        }
        extent.octets += length - (head.size() >= 2 && head[0] == '.' && head[1] == '.' ? 1 : 0);
        return true;
    });
    // The TOP form always ends with its "." line, also of a mail cut short.
    if (topLines >= 0) extent.addEnd = true;
    return read;
}

std::string Pop3StatusWithOctets(const std::string& status, std::uint64_t octets) {
    if (!common::StartsWithIgnoringAsciiCase(status, "+ok ")) return status;
    std::size_t digits = 4;
    while (digits < status.size() && status[digits] >= '0' && status[digits] <= '9') ++digits;
    if (digits == 4) return status;
    return status.substr(0, 4) + std::to_string(octets) + status.substr(digits);
}

bool RelayPop3Retrieval(LineRelayState& state) {
    const std::string& path = state.capturePath;
    SpooledAnswer answer;
    if (!SpoolServerAnswer(state, path, answer, kFunction)) return false;
    std::string status;
    {
        SpoolFile file(path);
        status = ReadStatusLine(file.fd(), answer.size);
        state.lastReplyLine = std::string(WithoutLineEnd(status));
        if (common::StartsWithIgnoringAsciiCase(status, "-err")) return SendFileRange(state, file.fd(), 0, answer.size, kFunction);
    }
    const EngineSettings& settings = Settings();
    std::string spam;
    ScanSpamFile(settings, state.client, SpamListRequest(state), spam);
    LogResult(state, "SPAM", spam);
    // A marked mail is the file the spam server rewrote, of another size.
    bool changed = !spam.empty() || state.topForm;
    const std::string finding = VirusFinding(state, path);
    if (!finding.empty()) {
        std::string whole;
        if (!ReadWholeFile(path, whole)) return false;
        MakeMail(path, whole, finding, state.protocol, settings.keepVirusBody);
        changed = true;
    }
    SpoolFile file(path);
    const off_t size = ::lseek(file.fd(), 0, SEEK_END);
    if (size < 0) return false;
    if (!changed) return SendFileRange(state, file.fd(), 0, static_cast<std::uint64_t>(size), kFunction);
    status = ReadStatusLine(file.fd(), static_cast<std::uint64_t>(size));
    Pop3Extent extent;
    if (!MeasurePop3Answer(file.fd(), static_cast<std::uint64_t>(size), state.topForm ? static_cast<long long>(state.topLines) : -1,
                           extent))
        return false;
    return SendToClient(state, Pop3StatusWithOctets(status, extent.octets), kFunction) &&
           SendFileRange(state, file.fd(), extent.statusEnd, extent.end, kFunction) &&
           (!extent.addEnd || SendToClient(state, ".\r\n", kFunction));
}

bool RelayImapFetch(LineRelayState& state) {
    const std::string& path = state.capturePath;
    SpooledAnswer answer;
    if (!SpoolServerAnswer(state, path, answer, kFunction)) return false;
    const EngineSettings& settings = Settings();
    SpoolFile file(path);
    // The replacement of each infected literal, by its place in the answer.
    std::map<std::size_t, std::string> alerts;
    const std::string part = path + ".lit";
    std::string boundary;
    for (std::size_t i = 0; i < answer.literals.size(); ++i) {
        SpooledLiteral& literal = answer.literals[i];
        // A literal the server cut short is checked as far as it came.
        literal.size = std::min(literal.size, answer.size - std::min(answer.size, literal.offset));
        const FetchContent content = FetchItemContent(literal.item);
        if (content == FetchContent::None) continue;
        // A literal that can't be spooled on its own can't be scanned: it doesn't go on.
        if (!CopyFileRange(file.fd(), literal.offset, literal.size, part)) {
            WriteLogF("[%s] [%04d] capture file write failed. (%s)\n", kFunction, state.client, part.c_str());
            common::DeleteWithRetry(part);
            return false;
        }
        const std::string finding = VirusFinding(state, part);
        common::DeleteWithRetry(part);
        if (finding.empty()) continue;
        WriteLogF("[MakeMail] Start. [%s] VIRUS result [%s]\n", path.c_str(), finding.c_str());
        if (content == FetchContent::Part) {
            alerts[i] = AlertText(finding);
            continue;
        }
        std::string mail;
        if (!ReadFileRange(file.fd(), literal.offset, literal.size, mail)) return false;
        if (boundary.empty()) boundary = AlertBoundary();
        alerts[i] = AlertMail(mail, finding, settings.keepVirusBody, boundary, false);
    }
    std::uint64_t at = 0;
    for (const auto& [index, alert] : alerts) {
        const SpooledLiteral& literal = answer.literals[index];
        if (!SendFileRange(state, file.fd(), at, literal.sizeAt, kFunction) ||
            !SendToClient(state, "{" + std::to_string(alert.size()) + "}\r\n" + alert, kFunction))
            return false;
        at = literal.offset + literal.size;
    }
    if (!SendFileRange(state, file.fd(), at, answer.size, kFunction)) return false;
    std::string last;
    ReadFileRange(file.fd(), answer.size - std::min<std::uint64_t>(answer.size, 512), std::min<std::uint64_t>(answer.size, 512), last);
    while (!last.empty() && (last.back() == '\n' || last.back() == '\r')) last.pop_back();
    state.lastReplyLine = last.substr(last.rfind('\n') == std::string::npos ? 0 : last.rfind('\n') + 1);
    return true;
}

}  // namespace engine
