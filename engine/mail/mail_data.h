// The data part of an SMTP mail as it arrives from the client, in pieces of
// any size: its lines are given CR LF ends, and it ends at the line "."
// however that line (or the one before it) was ended. A server that takes a
// bare LF as a line end then sees exactly the one mail the relay checked,
// ending where the relay's mail ended.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace engine {

class MailDataLines {
public:
    // Appends the data in `in` up to and including the "." line to `out`,
    // each line ended by CR LF; returns the bytes of `in` used (all of them
    // until the end is seen). A CR at the end of `in` is held back until the
    // next byte shows whether it ends a line.
    std::size_t Feed(std::string_view in, std::string& out);
    bool ended() const { return ended_; }

private:
    std::size_t lineLength_ = 0;  // bytes of the current line so far
    bool dotLine_ = false;        // the current line so far is "."
    bool heldCr_ = false;
    bool ended_ = false;
};

}  // namespace engine
