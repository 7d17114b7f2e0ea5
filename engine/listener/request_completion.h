// Decides when a client's HTTP request has fully arrived, following the
// bytes as they are received, so the capture file never has to be read
// back after each receive. Every request is framed alike, whatever its
// method: its body, by Content-Length or chunked, is its own, and never
// read as a request of its own. A head the engine cannot read one way
// only is refused before anything of it goes on.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/http/chunked.h"

namespace engine {

// Why a request is not served: the answer the client gets before the
// connection ends, and what the daily log says of it.
struct RequestRefusal {
    int status = 0;           // 0: not refused
    const char* reason = "";  // the status line's reason phrase
    const char* why = "";     // what was wrong with the request
};

class RequestCompletion {
public:
    // Takes the next received bytes; true once the request is complete or
    // refused. Bytes fed after that are not the request's (see Unused).
    bool Feed(std::string_view bytes);
    // How many bytes at the end of the last Feed came after the request's
    // end: the start of a pipelined next request.
    std::size_t Unused() const { return unused_; }

    bool Complete() const { return stage_ == Stage::Done; }
    const RequestRefusal& Refusal() const { return refusal_; }

    // True when the first line announces an upload ("POST " or "PUT ") or
    // the head frames a body.
    bool BodyExpected() const { return bodyExpected_; }
    // The request line without its line end (at most 16,384 characters).
    const std::string& FirstLine() const { return firstLine_; }
    // The head has ended, an HTTP/1.1 client waits for "100 Continue"
    // before it sends the body ("Expect: 100-continue"), and the body is
    // still to come.
    bool AwaitsContinue() const { return expectContinue_ && (stage_ == Stage::Body || stage_ == Stage::Chunked); }

    // The body's framing, once the head is complete: the head's length
    // (where the body begins), whether Content-Length or Transfer-Encoding
    // came at all, whether the body is chunked, and its data bytes (a
    // chunked body's counted as they arrive, without the framing).
    std::uint64_t HeadLength() const { return headLength_; }
    bool Framed() const { return lengthSeen_ || codings_ > 0; }
    bool Chunked() const { return chunked_; }
    std::uint64_t BodyLength() const { return bodyLength_; }

private:
    enum class Stage { FirstLine, Head, Body, Chunked, Done, Refused };

    void FeedHead(std::string_view& bytes);
    // Handles one whole line of the head, its line end included.
    void TakeLine(std::string_view line);
    void TakeHeaderLine(std::string_view content);
    void TakeContentLength(std::string_view value);
    void TakeTransferEncoding(std::string_view value);
    void EndHead();
    void Refuse(int status, const char* reason, const char* why);

    Stage stage_ = Stage::FirstLine;
    RequestRefusal refusal_;
    bool bodyExpected_ = false;
    bool expectContinue_ = false;
    std::uint64_t headLength_ = 0;
    std::size_t headerLines_ = 0;
    int hostLines_ = 0;
    bool lengthSeen_ = false;
    std::uint64_t contentLength_ = 0;
    int codings_ = 0;           // transfer codings named, over every Transfer-Encoding line
    bool lastCodingChunked_ = false;
    bool encodingLineSeen_ = false;
    bool chunked_ = false;
    std::uint64_t remaining_ = 0;  // Content-Length body bytes still to come
    std::uint64_t bodyLength_ = 0;
    ChunkedBody chunkedBody_;
    std::string chunkData_;     // what one Feed of the chunked body holds, counted and let go
    std::size_t unused_ = 0;
    std::string line_;          // the line being received (bounded by the head's bound)
    std::string firstLine_;
};

}  // namespace engine
