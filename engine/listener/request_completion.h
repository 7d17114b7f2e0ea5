// Decides when a client's HTTP request has fully arrived, following the
// bytes as they are received, so the capture file never has to be read
// back after each receive.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace engine {

class RequestCompletion {
public:
    // Takes the next received bytes; true once the request is complete.
    // Bytes fed after completion are not the request's (see Unused).
    bool Feed(std::string_view bytes);
    // How many bytes at the end of the last Feed came after the request's
    // end: the start of a pipelined next request.
    std::size_t Unused() const { return unused_; }

    bool Complete() const { return stage_ == Stage::Done; }
    // True when the first line announces an upload ("POST " or "PUT ").
    bool BodyExpected() const { return bodyExpected_; }
    // The request line without its line end (at most 16,384 characters).
    const std::string& FirstLine() const { return firstLine_; }

private:
    enum class Stage { FirstLine, Head, Body, ChunkSize, ChunkData, ChunkDataEnd, Trailer, Done };

    // Handles one whole line (line end included, possibly cut short) of
    // the head or of the chunked framing.
    void TakeLine(const std::string& line);

    Stage stage_ = Stage::FirstLine;
    bool bodyExpected_ = false;
    bool chunked_ = false;
    std::uint64_t contentLength_ = 0;
    std::uint64_t remaining_ = 0;  // body or chunk bytes still to come
    std::size_t unused_ = 0;
    std::string line_;             // the line being received, kept up to a bound
    std::string firstLine_;
};

}  // namespace engine
