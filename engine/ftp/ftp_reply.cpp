#include "engine/ftp/ftp_reply.h"

#include <cctype>
#include <cerrno>
#include <poll.h>
#include <sys/socket.h>

#include "common/hex_digit.h"
#include "engine/ftp/cancel_signal.h"

namespace engine {

int FtpReplyCode(const std::string& line) {
    if (line.size() < 3) return 0;
    for (int i = 0; i < 3; ++i)
        if (!std::isdigit(static_cast<unsigned char>(line[i]))) return 0;
    return (line[0] - '0') * 100 + (line[1] - '0') * 10 + (line[2] - '0');
}

bool FtpReplyReader::ReadLine(std::string& line) {
    line.clear();
    bool cut = false;
    for (;;) {
        size_t lf = buffer_.find('\n', start_);
        size_t end = lf == std::string::npos ? buffer_.size() : lf + 1;
        size_t room = kFtpReplyLineLimit - line.size();
        if (!cut) {
            line.append(buffer_, start_, std::min(room, end - start_));
            if (end - start_ > room) cut = true;
        }
        start_ = end;
        if (start_ == buffer_.size()) {
            buffer_.clear();
            start_ = 0;
        }
        if (lf != std::string::npos) {
            // A cut line keeps its line end, so it still reads as a line.
            if (cut) line.replace(line.size() - 2, 2, "\r\n");
            return true;
        }
        if (WaitSocketOrCancel(socket_, POLLIN, cancel_, timeoutMs_) != 1) return false;
        char chunk[4096];
        ssize_t n = ::recv(socket_, chunk, sizeof chunk, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        buffer_.append(chunk, static_cast<size_t>(n));
    }
}

bool FtpReplyReader::Read(FtpReply& reply) {
    reply = FtpReply{};
    int first = 0;
    for (int lines = 0; lines < kFtpReplyLineCount; ++lines) {
        std::string line;
        if (!ReadLine(line)) {
            reply.lastLine = line;
            return false;
        }
        reply.lastLine = line;
        int code = FtpReplyCode(line);
        if (code == 0) continue;  // a text line inside a multi-line reply
        if (first == 0) first = code;
        // The reply ends at "xyz " with the code it began with (a one-line
        // reply ends at once); "xyz-" lines and other codes inside it don't.
        if (code == first && line.size() > 3 && line[3] != '-') {
            reply.code = code;
            return true;
        }
    }
    return false;
}

void PercentDecode(std::string& text, size_t limit) {
    std::string out;
    for (size_t i = 0; i < text.size() && out.size() < limit; ++i) {
        if (text[i] != '%') {
            out += text[i];
            continue;
        }
        if (i + 2 < text.size() && common::HexValue(text[i + 1]) >= 0 && common::HexValue(text[i + 2]) >= 0) {
            out += static_cast<char>(common::HexValue(text[i + 1]) * 16 + common::HexValue(text[i + 2]));
            i += 2;
        }
    }
    text = out;
}

bool BreaksCommandLine(const std::string& text) {
    return text.find_first_of(std::string("\r\n\0", 3)) != std::string::npos;
}

}  // namespace engine
