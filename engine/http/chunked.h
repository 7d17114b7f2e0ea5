// Reading a chunked response body as it arrives: where it ends (after the
// last chunk and its trailer lines) and what its data is, without keeping
// more than the current line. The bytes themselves are relayed unchanged
// by the caller.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace engine {

class ChunkedBody {
public:
    // Takes the next bytes of the body. Returns how many of them belong to
    // it: all of them, or fewer when the body ended (or turned out
    // malformed) inside them. The chunks' data is appended to `data`.
    size_t Feed(std::string_view bytes, std::string& data);

    // The last chunk and the empty line after its trailers have been read.
    bool done() const { return state_ == State::Done; }
    // The framing could not be read; nothing after that point was taken.
    bool failed() const { return state_ == State::Failed; }

private:
    enum class State { SizeLine, Data, DataEnd, TrailerLine, Done, Failed };

    bool EndSizeLine();

    State state_ = State::SizeLine;
    std::string line_;        // the size line read so far (without its LF)
    uint64_t remaining_ = 0;  // data bytes left in the current chunk
    size_t trailerLength_ = 0;
};

}  // namespace engine
