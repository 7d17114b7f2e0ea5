// When a command or a reply of a line protocol is complete. Each scanner
// is fed the growing text of one command or reply and resumes where it
// stopped, so a large answer (a retrieved mail) is looked at once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace engine {

inline constexpr std::size_t kIncomplete = std::string_view::npos;

// Which answer a reply is.
enum class ReplyKind {
    SmtpReply,      // one reply: lines "ddd-..." up to the final "ddd ..." line
    Pop3Single,     // a status line
    Pop3Multi,      // a status line; after "+OK", lines up to "." alone
    ImapTagged,     // untagged lines (with {n} literals) up to the line of the tag
    ImapCommand,    // as ImapTagged, or a "+" continuation request
    FtpReply,       // one reply: "ddd-..." up to "ddd ...", or one "ddd ..." line
};

class ReplyScanner {
public:
    ReplyScanner(ReplyKind kind, std::string tag = {}) : kind_(kind), tag_(std::move(tag)) {}

    // The length of the complete reply at the start of `data`, or
    // kIncomplete. `data` only grows between calls.
    std::size_t Scan(std::string_view data);
    // The reply was a continuation request ("+ ...").
    bool continuation() const { return continuation_; }
    // Whether a reply of `size` bytes, still incomplete, is past any real
    // reply of its kind. Only status replies are bounded: a mail, a
    // listing or an IMAP answer with literals may be of any size.
    bool Overlong(std::size_t size) const;

private:
    std::size_t ScanSmtp(std::string_view data);
    std::size_t ScanPop3(std::string_view data);
    std::size_t ScanImap(std::string_view data);
    std::size_t ScanFtp(std::string_view data);

    ReplyKind kind_;
    std::string tag_;
    std::size_t pos_ = 0;        // the start of the first line not yet judged
    std::size_t lineStart_ = 0;  // IMAP: the start of the logical line pos_ is in
    bool continuation_ = false;
};

// Whether a POP3 command's positive answer has several lines: RETR, TOP,
// CAPA, and AUTH, LIST and UIDL without an argument.
bool Pop3AnswerIsMultiLine(std::string_view command);

// The literal size a line announces at its end ("{n}" or "{n+}" before the
// line end), or -1.
long long ImapLiteralAtEnd(std::string_view line);

// The lines of a text, each with its line end (the last may have none).
std::vector<std::string_view> SplitLines(std::string_view text);

// The length of the first line of `data` with its LF, or kIncomplete.
std::size_t FirstLineLength(std::string_view data);

// IMAP client command completion: the command line, and every literal the
// line announces with the rest of the line behind it. A synchronising
// literal ("{n}") waits for the server's "+": `awaitingContinuation` tells
// the caller to relay the line and the server's answer first.
class ImapCommandScanner {
public:
    // Resumes a command whose literal of `owed` bytes comes next.
    explicit ImapCommandScanner(std::uint64_t owed = 0) : owed_(owed) {}
    std::size_t Scan(std::string_view data);
    // After Scan returned a length: the literal the client still owes once
    // the server agrees (0 when the command is whole).
    std::uint64_t owed() const { return owed_; }

private:
    std::size_t pos_ = 0;
    std::uint64_t owed_;
};

}  // namespace engine
