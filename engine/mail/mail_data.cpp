#include "engine/mail/mail_data.h"

namespace engine {

std::size_t MailDataLines::Feed(std::string_view in, std::string& out) {
    std::size_t used = 0;
    while (used < in.size() && !ended_) {
        if (!heldCr_) {
            // The run of ordinary bytes up to the next CR or LF in one go.
            std::size_t run = used;
            while (run < in.size() && in[run] != '\r' && in[run] != '\n') ++run;
            if (run > used) {
                dotLine_ = lineLength_ == 0 && run - used == 1 && in[used] == '.';
                lineLength_ += run - used;
                out.append(in.substr(used, run - used));
                used = run;
                continue;
            }
        }
        const char c = in[used++];
        if (c == '\n') {
            heldCr_ = false;
            out += "\r\n";
            ended_ = dotLine_;
            lineLength_ = 0;
            dotLine_ = false;
            continue;
        }
        if (heldCr_) {
            // A CR inside a line stays what it is.
            out += '\r';
            ++lineLength_;
            dotLine_ = false;
        }
        if (c == '\r') {
            heldCr_ = true;
            continue;
        }
        heldCr_ = false;
        out += c;
        dotLine_ = lineLength_ == 0 && c == '.';
        ++lineLength_;
    }
    return used;
}

}  // namespace engine
