// The body of a stored response in chunks of the -m buffer size less one
// byte. Every check counts hits per chunk, and the keyword check walks the
// chunks once per keyword, so chunks already read are kept in memory up to
// a bound and read again from the file beyond it. A body the server framed
// in chunks or compressed is matched decoded (in memory, bounded).
//
// Chunks overlap by the length of the longest keyword, so that a keyword
// that straddles the place where one chunk ends is whole in the next one;
// and a chunk is matched with every byte it holds, NUL bytes included, so
// that a NUL in front of a keyword cannot hide it.
#pragma once

#include <sys/types.h>

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "filters/cwfs/body_decoding.h"

namespace cwfs {

// The most of a decoded body that is matched, and of a coded body read to
// decode it.
inline constexpr size_t kDecodedBodyLimit = 32 * 1024 * 1024;

class BodyChunks {
public:
    // file is positioned at the start of the body; buffer is the server's
    // chunk buffer, one byte larger than a chunk.
    BodyChunks(FILE* file, std::vector<char>& buffer, const BodyCoding& coding = {});

    // How many bytes each chunk repeats of the one before it (at most half
    // a chunk). Chunks read so far are read again.
    void SetOverlap(size_t bytes);

    // Chunk `index`: false past the end of the body (or on a read error).
    // text is valid until the next call.
    bool Get(size_t index, std::string_view& text);

    // True when chunk `index` is held in memory (its text stays valid).
    bool InMemory(size_t index) const { return decoded_ || index < kept_.size(); }

    // The text of the first chunk; false when the body is empty.
    bool First(std::string& text);

private:
    static constexpr size_t kKeepLimit = 32 * 1024 * 1024;

    size_t ChunkSize() const { return buffer_.size() - 1; }
    size_t Step() const { return ChunkSize() - overlap_; }

    FILE* file_;
    std::vector<char>& buffer_;
    off_t bodyStart_ = 0;
    size_t overlap_ = 0;
    bool decoded_ = false;
    std::string body_;        // the decoded body, when decoded_
    std::vector<std::string> kept_;  // chunks 0 .. kept_.size()-1 read from the file
    size_t keptBytes_ = 0;
    bool endKnown_ = false;
    size_t chunkCount_ = 0;   // valid once endKnown_
};

}  // namespace cwfs
