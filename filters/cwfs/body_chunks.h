// The body of a stored response in chunks of the -m buffer size less one
// byte, each read as NUL-terminated text: a NUL byte in the body ends its
// chunk's text early. Every check counts hits per chunk, and the keyword
// check walks the chunks once per keyword, so chunks already read are kept
// in memory up to a bound and read again from the file beyond it.
#pragma once

#include <sys/types.h>

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace cwfs {

class BodyChunks {
public:
    // file is positioned at the start of the body; buffer is the server's
    // chunk buffer, one byte larger than a chunk.
    BodyChunks(FILE* file, std::vector<char>& buffer);

    // Chunk `index`: false past the end of the body (or on a read error).
    // bytes is the number of body bytes the chunk holds, text its text up to
    // its first NUL; both stay valid until the next call.
    bool Get(size_t index, std::string_view& text, size_t& bytes);

    // True when chunk `index` is held in memory (its text stays valid).
    bool InMemory(size_t index) const { return index < kept_.size(); }

    // The text of the first chunk; false when the body is empty.
    bool First(std::string& text);

private:
    struct Kept {
        std::string text;
        size_t bytes;
    };
    static constexpr size_t kKeepLimit = 32 * 1024 * 1024;

    FILE* file_;
    std::vector<char>& buffer_;
    off_t bodyStart_ = 0;
    std::vector<Kept> kept_;  // chunks 0 .. kept_.size()-1
    size_t keptBytes_ = 0;
    bool endKnown_ = false;
    size_t chunkCount_ = 0;   // valid once endKnown_
};

}  // namespace cwfs
