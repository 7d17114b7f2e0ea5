// Reading a server's HTTP response as it arrives, piece by piece: where
// its head ends (CR LF or bare LF line ends), how its body is framed and
// where the response ends, so the receive loop can stop there without
// reading the spool back, and what the body is, for the scan.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "engine/core/header_text.h"
#include "engine/http/chunked.h"

namespace engine {

// A response head that has not ended within this many bytes (the interim
// 1xx heads before it included) is taken as no head at all: the whole
// response is then body.
inline constexpr size_t kResponseHeadReadLimit = kHeadByteLimit;

// How the body of a response is delimited.
enum class BodyFraming {
    None,     // no body: 204, 304, 101, or the answer to HEAD
    Length,   // Content-Length
    Chunked,  // Transfer-Encoding: chunked
    Close,    // up to the server's close (also: no head was found)
};

struct ResponseHead {
    int status = 0;
    bool http10 = false;             // "HTTP/1.0" status line
    bool connectionClose = false;    // "Connection: close"
    bool connectionKeepAlive = false;
    bool chunked = false;
    std::optional<uint64_t> contentLength;
    // Content-Length lines that disagree: nothing tells where the body
    // ends (a client may take either length), so it is not relayed.
    bool lengthsDiffer = false;
};

// Parses the head text (status line and header lines, up to and including
// the empty line). Lines may end with CR LF or LF.
ResponseHead ParseResponseHead(std::string_view head);

// Ends the head at the first empty line: the offset just behind it, or
// npos when the text holds no complete head yet.
size_t FindHeadEnd(std::string_view text, size_t searchFrom = 0);

class ResponseReader {
public:
    // bodyless: the request was HEAD, so no response carries a body.
    explicit ResponseReader(bool bodyless = false) : bodyless_(bodyless) {}

    // Takes the next bytes received from the server. Returns how many of
    // them belong to the response: all of them, or fewer when it ended
    // inside them. The body's bytes (chunked data without its framing)
    // are appended to `body`.
    size_t Feed(std::string_view bytes, std::string& body);

    // The server ended the stream. A response whose head never ended is
    // then all body: those bytes are appended to `body`.
    void FinishAtClose(std::string& body);

    bool headComplete() const { return headComplete_; }
    // The response has all its bytes (by its framing, or by the close).
    bool ended() const { return ended_; }
    // The close came before the framing said the response was whole, or
    // the framing could not be read.
    bool truncated() const { return truncated_; }

    // The final head (interim 1xx heads are passed over).
    const ResponseHead& head() const { return head_; }
    BodyFraming framing() const { return framing_; }
    bool headFound() const { return headFound_; }
    // Every head byte from the start of the response (interim heads too).
    const std::string& headText() const { return headText_; }
    // Body bytes expected after the head for a Content-Length response.
    uint64_t contentLength() const { return head_.contentLength.value_or(0); }

    // The server connection can carry another request after this response.
    bool reusable() const;

private:
    size_t FeedHead(std::string_view bytes, std::string& body);
    void TakeHead(size_t end);
    void TakeAllAsBody(std::string& body);
    void StartBody();
    size_t FeedBody(std::string_view bytes, std::string& body);

    bool bodyless_;
    bool headComplete_ = false;
    bool headFound_ = false;
    bool ended_ = false;
    bool truncated_ = false;
    std::string pending_;     // head bytes of the current head so far
    std::string headText_;    // every complete head
    ResponseHead head_;
    BodyFraming framing_ = BodyFraming::Close;
    uint64_t lengthLeft_ = 0;
    ChunkedBody chunked_;
};

}  // namespace engine
