// The checks of a retrieved mail between the server and the client: the
// answer goes through its spool file, is scanned there (POP3 also through
// the spam check) and is sent from it, an infected mail or part replaced
// by the virus alert.
#pragma once

#include <cstdint>
#include <string>

#include "engine/linerelay/line_relay.h"

namespace engine {

// The answer to a POP3 RETR (or a TOP, sent as RETR). False when the
// relay can't go on.
bool RelayPop3Retrieval(LineRelayState& state);

// The answer to an IMAP4 FETCH: every literal that carries the content of
// a message (the whole mail, its text, any part) is scanned on its own.
bool RelayImapFetch(LineRelayState& state);

// What an IMAP4 FETCH item's literal holds.
enum class FetchContent { None, WholeMail, Part };
FetchContent FetchItemContent(const std::string& item);

// How a POP3 mail answer in its file is sent: bytes [statusEnd, end),
// then ".\r\n" when `addEnd`, under a status line with `octets`.
struct Pop3Extent {
    std::uint64_t statusEnd = 0;
    std::uint64_t end = 0;
    bool addEnd = false;
    std::uint64_t octets = 0;  // the mail's size as sent, without stuffed dots
};
// topLines < 0: the whole mail; else its TOP form: the header, the empty
// line and that many lines of the body.
bool MeasurePop3Answer(int fd, std::uint64_t size, long long topLines, Pop3Extent& extent);

// The status line with its octet count replaced ("+OK 123 octets").
std::string Pop3StatusWithOctets(const std::string& status, std::uint64_t octets);

}  // namespace engine
