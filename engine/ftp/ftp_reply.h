// Reading FTP replies on a control connection: a reply ends with the line
// that carries its code and a blank ("226 Transfer complete."), however
// many lines come before it. Every read is bounded: a line by its length
// (the rest of a longer line is dropped), a reply by its number of lines,
// and each wait for the server by a time-out.
#pragma once

#include <string>

namespace engine {

class CancelSignal;

// The most bytes of a reply line that are kept.
inline constexpr size_t kFtpReplyLineLimit = 16384;
// The most lines of one reply.
inline constexpr int kFtpReplyLineCount = 10000;

struct FtpReply {
    int code = 0;          // the three digits; 0 when no reply came
    std::string lastLine;  // the final line, with its line end
};

class FtpReplyReader {
public:
    // timeoutMs bounds each wait for the server (0: no limit); cancel may
    // end a wait early.
    FtpReplyReader(int socket, int timeoutMs, const CancelSignal* cancel = nullptr)
        : socket_(socket), timeoutMs_(timeoutMs), cancel_(cancel) {}

    // Reads one whole reply. False when the connection ended, failed, timed
    // out or sent more than a reply may hold before it was complete; reply
    // then holds what came.
    bool Read(FtpReply& reply);
    // One line with its line end (cut at kFtpReplyLineLimit bytes). False
    // on an end, failure or time-out before the line end.
    bool ReadLine(std::string& line);

private:
    int socket_;
    int timeoutMs_;
    const CancelSignal* cancel_;
    std::string buffer_;
    size_t start_ = 0;
};

// The code of a reply line: its three leading digits, or 0.
int FtpReplyCode(const std::string& line);

// Decodes %XX escapes (either case) in place; a "%" without two hex digits
// after it is dropped; stops after `limit` bytes of output.
void PercentDecode(std::string& text, size_t limit);

// True when the text holds a CR, an LF or a NUL: such a text would end an
// FTP command early and start another one.
bool BreaksCommandLine(const std::string& text);

}  // namespace engine
