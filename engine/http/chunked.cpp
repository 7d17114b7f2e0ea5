#include "engine/http/chunked.h"

#include <algorithm>

#include "common/hex_digit.h"

namespace engine {

namespace {

// A size line longer than this (extensions included) is not a size line.
constexpr size_t kSizeLineLimit = 4096;
// Sixteen hex digits would overflow the count; no real chunk comes close.
constexpr size_t kSizeDigitsLimit = 15;

}  // namespace

// The size line is complete (its LF taken): reads the hex size and sets
// the next state. False when it is no size line.
bool ChunkedBody::EndSizeLine() {
    std::string_view line(line_);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    size_t digits = 0;
    uint64_t size = 0;
    while (digits < line.size() && common::HexValue(line[digits]) >= 0) {
        size = size * 16 + static_cast<uint64_t>(common::HexValue(line[digits]));
        ++digits;
    }
    if (digits == 0 || digits > kSizeDigitsLimit) return false;
    // Only blanks and chunk extensions may follow the size.
    std::string_view rest = line.substr(digits);
    size_t afterBlanks = rest.find_first_not_of(" \t");
    if (afterBlanks != std::string_view::npos && rest[afterBlanks] != ';') return false;
    line_.clear();
    remaining_ = size;
    if (size == 0) {
        state_ = State::TrailerLine;
        trailerLength_ = 0;
    } else {
        state_ = State::Data;
    }
    return true;
}

size_t ChunkedBody::Feed(std::string_view bytes, std::string& data) {
    size_t at = 0;
    while (at < bytes.size()) {
        switch (state_) {
        case State::SizeLine: {
            // A size line begins with a hex digit.
            if (line_.empty() && common::HexValue(bytes[at]) < 0) {
                state_ = State::Failed;
                return at;
            }
            size_t lf = bytes.find('\n', at);
            size_t end = lf == std::string_view::npos ? bytes.size() : lf;
            line_.append(bytes.substr(at, end - at));
            if (line_.size() > kSizeLineLimit) {
                state_ = State::Failed;
                return at;
            }
            if (lf == std::string_view::npos) return bytes.size();
            if (!EndSizeLine()) {
                state_ = State::Failed;
                return at;
            }
            at = lf + 1;
            break;
        }
        case State::Data: {
            size_t take = static_cast<size_t>(std::min<uint64_t>(remaining_, bytes.size() - at));
            data.append(bytes.substr(at, take));
            at += take;
            remaining_ -= take;
            if (remaining_ == 0) state_ = State::DataEnd;
            break;
        }
        case State::DataEnd:
            // The CR LF (or bare LF) behind a chunk's data.
            if (bytes[at] == '\r' && line_.empty()) {
                line_ = "\r";
                ++at;
            } else if (bytes[at] == '\n') {
                line_.clear();
                state_ = State::SizeLine;
                ++at;
            } else {
                state_ = State::Failed;
                return at;
            }
            break;
        case State::TrailerLine: {
            // Trailer lines up to the empty line that ends the body.
            char c = bytes[at++];
            if (c == '\n') {
                if (trailerLength_ == 0) {
                    state_ = State::Done;
                    return at;
                }
                trailerLength_ = 0;
            } else if (c != '\r') {
                ++trailerLength_;
            }
            break;
        }
        case State::Done:
        case State::Failed:
            return at;
        }
    }
    return at;
}

}  // namespace engine
