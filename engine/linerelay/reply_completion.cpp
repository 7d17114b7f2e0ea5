#include "engine/linerelay/reply_completion.h"

#include "common/ascii_case.h"
#include "engine/core/header_text.h"

namespace engine {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Far beyond any status reply of SMTP, POP3 or FTP (a few lines of text):
// a server that sends more is broken or hostile, and holding it would
// let it fill the engine's memory.
constexpr std::size_t kStatusReplyLimit = 1 << 20;

}  // namespace

std::vector<std::string_view> SplitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const std::size_t lf = text.find('\n');
        const std::size_t length = lf == std::string_view::npos ? text.size() : lf + 1;
        lines.push_back(text.substr(0, length));
        text.remove_prefix(length);
    }
    return lines;
}

std::size_t FirstLineLength(std::string_view data) {
    const std::size_t lf = data.find('\n');
    return lf == std::string_view::npos ? kIncomplete : lf + 1;
}

bool Pop3AnswerIsMultiLine(std::string_view command) {
    const std::string_view word = WithoutLineEnd(command);
    if (common::StartsWithIgnoringAsciiCase(word, "retr ") || common::StartsWithIgnoringAsciiCase(word, "top ")) return true;
    // LIST and UIDL list every message only without an argument; AUTH
    // without one lists the server's mechanisms.
    for (std::string_view whole : {"list", "uidl", "capa", "auth"}) {
        std::string_view rest = word;
        while (!rest.empty() && rest.back() == ' ') rest.remove_suffix(1);
        if (rest.size() == whole.size() && common::StartsWithIgnoringAsciiCase(rest, whole)) return true;
    }
    return false;
}

long long ImapLiteralAtEnd(std::string_view line) {
    line = WithoutLineEnd(line);
    if (line.empty() || line.back() != '}') return -1;
    line.remove_suffix(1);
    if (!line.empty() && line.back() == '+') line.remove_suffix(1);
    std::size_t digits = 0;
    while (digits < line.size() && IsDigit(line[line.size() - 1 - digits])) ++digits;
    if (digits == 0 || digits > 18 || digits == line.size() || line[line.size() - 1 - digits] != '{') return -1;
    return std::stoll(std::string(line.substr(line.size() - digits)));
}

std::size_t ReplyScanner::Scan(std::string_view data) {
    switch (kind_) {
    case ReplyKind::SmtpReply: return ScanSmtp(data);
    case ReplyKind::Pop3Single:
    case ReplyKind::Pop3Multi: return ScanPop3(data);
    case ReplyKind::ImapTagged:
    case ReplyKind::ImapCommand: return ScanImap(data);
    case ReplyKind::FtpReply: return ScanFtp(data);
    }
    return kIncomplete;
}

bool ReplyScanner::Overlong(std::size_t size) const {
    const bool status = kind_ == ReplyKind::SmtpReply || kind_ == ReplyKind::FtpReply || kind_ == ReplyKind::Pop3Single;
    return status && size > kStatusReplyLimit;
}

// The final line of a reply carries its code and a blank (or its code
// alone); "ddd-" lines continue it, also when they come in several reads.
std::size_t ReplyScanner::ScanSmtp(std::string_view data) {
    for (;;) {
        const std::size_t lf = data.find('\n', pos_);
        if (lf == std::string_view::npos) return kIncomplete;
        const std::string_view line = data.substr(pos_, lf + 1 - pos_);
        pos_ = lf + 1;
        if (line.size() < 4 || line[3] != '-') return pos_;
    }
}

std::size_t ReplyScanner::ScanPop3(std::string_view data) {
    if (pos_ == 0) {
        const std::size_t first = FirstLineLength(data);
        if (first == kIncomplete) return kIncomplete;
        if (kind_ == ReplyKind::Pop3Single || common::StartsWithIgnoringAsciiCase(data, "-err")) return first;
        // A multi-line answer ends with "." alone on a line; the status
        // line's own line end starts the search.
        pos_ = first - 1;
    }
    const std::size_t end = data.find("\n.\r\n", pos_);
    if (end == std::string_view::npos) {
        if (data.size() > 4) pos_ = data.size() - 4;
        return kIncomplete;
    }
    return end + 4;
}

// Lines may carry literals ("{n}" at the line end, then n bytes that belong
// to the line); a literal never ends a reply, whatever bytes it holds.
std::size_t ReplyScanner::ScanImap(std::string_view data) {
    for (;;) {
        const std::size_t lf = data.find('\n', pos_);
        if (lf == std::string_view::npos) return kIncomplete;
        const std::string_view part = data.substr(pos_, lf + 1 - pos_);
        const long long literal = ImapLiteralAtEnd(part);
        if (literal >= 0) {
            const std::size_t after = lf + 1 + static_cast<std::size_t>(literal);
            if (after > data.size()) return kIncomplete;
            pos_ = after;  // the logical line goes on behind the literal
            continue;
        }
        const std::string_view line = data.substr(lineStart_, lf + 1 - lineStart_);
        pos_ = lf + 1;
        lineStart_ = pos_;
        if (!tag_.empty() && line.compare(0, tag_.size(), tag_) == 0) return pos_;
        if (kind_ == ReplyKind::ImapCommand && (line.compare(0, 2, "+ ") == 0 || WithoutLineEnd(line) == "+")) {
            continuation_ = true;
            return pos_;
        }
    }
}

// A reply is one line "ddd text", or lines from "ddd-text" up to the line
// that begins with the same code and a blank.
std::size_t ReplyScanner::ScanFtp(std::string_view data) {
    for (;;) {
        const std::size_t lf = data.find('\n', pos_);
        if (lf == std::string_view::npos) return kIncomplete;
        const std::string_view line = data.substr(pos_, lf + 1 - pos_);
        const bool first = pos_ == 0;
        pos_ = lf + 1;
        if (first) {
            if (line.size() < 4 || line[3] != '-') return pos_;
            continue;
        }
        if (line.size() >= 4 && line[3] == ' ' && line.compare(0, 3, data.substr(0, 3)) == 0) return pos_;
    }
}

std::size_t ImapCommandScanner::Scan(std::string_view data) {
    for (;;) {
        if (owed_ > 0) {
            if (data.size() < pos_ + owed_) return kIncomplete;
            pos_ += owed_;
            owed_ = 0;
        }
        const std::size_t lf = data.find('\n', pos_);
        if (lf == std::string_view::npos) return kIncomplete;
        const std::string_view line = data.substr(pos_, lf + 1 - pos_);
        pos_ = lf + 1;
        const long long literal = ImapLiteralAtEnd(line);
        if (literal < 0) return pos_;
        owed_ = static_cast<std::uint64_t>(literal);
        // A synchronising literal waits for the server's "+" first.
        if (WithoutLineEnd(line).size() < 2 || WithoutLineEnd(line)[WithoutLineEnd(line).size() - 2] != '+')
            return pos_;
    }
}

}  // namespace engine
