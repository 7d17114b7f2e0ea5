// The body of a stored response as the browser will read it: the whole
// copy the proxy stores keeps the server's framing and compression, which a
// keyword must not be able to hide behind.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace cwfs {

enum class Compression { None, Gzip, Deflate };

struct BodyCoding {
    bool chunked = false;  // Transfer-Encoding: chunked
    Compression compression = Compression::None;

    bool any() const { return chunked || compression != Compression::None; }
};

// From the lowered Transfer-Encoding and Content-Encoding values. Only a
// single gzip (x-gzip) or deflate coding is undone; any other content
// coding is matched as it stands.
BodyCoding CodingOf(std::string_view transferEncoding, std::string_view contentEncoding);

// The data of a chunked body without its framing. Where the framing breaks
// off, the rest follows as it stands, so nothing after it goes unseen.
std::string Dechunk(std::string_view raw);

// The inflated data (gzip or zlib stream; for deflate also a raw deflate
// stream, as some servers send it), at most `limit` bytes of it; a stream
// cut short gives what was decoded up to there. The data unchanged when
// nothing of it can be decoded.
std::string Inflate(std::string_view data, Compression compression, size_t limit);

// Both steps, in the order the server applied them in reverse.
std::string DecodeBody(std::string_view raw, const BodyCoding& coding, size_t limit);

}  // namespace cwfs
