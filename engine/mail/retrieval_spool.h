// A retrieved mail on its way from the server to the client goes through a
// spool file rather than memory: the answer to a POP3 RETR or an IMAP4
// FETCH may be of any size (or, from a hostile server, without end), and
// only the disk bounds it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/linerelay/line_relay.h"

namespace engine {

// One literal of an IMAP4 answer as it lies in the spool file.
struct SpooledLiteral {
    std::uint64_t sizeAt = 0;  // the "{" that announces its size
    std::uint64_t offset = 0;  // its first byte
    std::uint64_t size = 0;    // as announced
    std::string item;          // the FETCH item it answers, upper-cased ("BODY[TEXT]", "RFC822" ...)
};

struct SpooledAnswer {
    std::uint64_t size = 0;
    bool complete = false;  // the answer's end arrived (else the server ended first)
    std::vector<SpooledLiteral> literals;
};

// Finds the end of one retrieval answer fed in pieces, without holding it:
// POP3, a status line and, after "+OK", the lines up to "." alone; IMAP4,
// untagged lines with their literals up to the line of `tag`.
class RetrievalAnswerEnd {
public:
    RetrievalAnswerEnd(LineProtocol protocol, std::string tag) : imap_(protocol == LineProtocol::Imap4), tag_(std::move(tag)) {}
    // How many bytes of `piece` belong to the answer once its end is in
    // `piece`, else std::string_view::npos (all of it belongs).
    std::size_t Feed(std::string_view piece);
    const std::vector<SpooledLiteral>& literals() const { return literals_; }

private:
    std::size_t FeedPop3(std::string_view piece);
    std::size_t FeedImap(std::string_view piece);

    bool imap_;
    std::string tag_;
    std::uint64_t offset_ = 0;  // bytes fed before this piece
    // POP3
    bool statusSeen_ = false;
    std::string status_;
    std::string window_;  // the last bytes fed, where a "\n.\r\n" may begin
    // IMAP4
    std::uint64_t owed_ = 0;  // literal bytes still to come
    std::string segment_;     // the line's text since its start or its last literal (its tail when long)
    std::string lineHead_;    // the first bytes of the logical line
    std::vector<SpooledLiteral> literals_;
};

// The FETCH item a literal answers: the word before its "{n}" (with its
// bracketed section and partial range), upper-cased.
std::string FetchItemBefore(std::string_view text);

// Receives the server's answer to a retrieval into the file at `path`.
// Bytes behind the answer stay in state.serverAhead. False (logged) when
// nothing came, the file can't be written or the data folder's disk runs
// short: the relay then ends.
bool SpoolServerAnswer(LineRelayState& state, const std::string& path, SpooledAnswer& answer,
                       const char* function);

// Sends bytes [from, to) of the open file to the client.
bool SendFileRange(LineRelayState& state, int fd, std::uint64_t from, std::uint64_t to, const char* function);

// Copies bytes [from, from + length) of the open file into a new file.
bool CopyFileRange(int fd, std::uint64_t from, std::uint64_t length, const std::string& to);

// Reads bytes [from, from + length) of the open file.
bool ReadFileRange(int fd, std::uint64_t from, std::uint64_t length, std::string& into);

}  // namespace engine
