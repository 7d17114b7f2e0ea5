#include "engine/listener/request_completion.h"

#include <algorithm>

#include "common/ascii_case.h"
#include "common/text.h"
#include "engine/core/connection.h"
#include "engine/core/header_text.h"

namespace engine {
namespace {

// The longest request line the record holds (RequestLine less its NUL).
constexpr std::size_t kRequestLineLimit = kRequestLineWidth - 1;
// Lengths beyond this are not a real upload but a broken or hostile head.
constexpr std::size_t kLengthDigitsLimit = 18;

static_assert(kRequestFileStartLimit >= kHeadByteLimit, "the record keeps every head the worker takes");

// The characters a header name may hold (a "token").
bool IsNameCharacter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
}

// Calls visit for each non-empty comma-separated element of a header value,
// trimmed; stops when visit returns false.
template <typename Visit>
void ForEachElement(std::string_view value, Visit visit) {
    while (true) {
        std::size_t comma = value.find(',');
        std::string_view element = common::TrimBlanks(value.substr(0, comma));
        if (!element.empty() && !visit(element)) return;
        if (comma == std::string_view::npos) return;
        value.remove_prefix(comma + 1);
    }
}

}  // namespace

bool RequestCompletion::Feed(std::string_view bytes) {
    while (!bytes.empty() && stage_ != Stage::Done && stage_ != Stage::Refused) {
        if (stage_ == Stage::Body) {
            std::uint64_t take = std::min<std::uint64_t>(remaining_, bytes.size());
            bytes.remove_prefix(static_cast<std::size_t>(take));
            remaining_ -= take;
            if (remaining_ == 0) stage_ = Stage::Done;
        } else if (stage_ == Stage::Chunked) {
            std::size_t used = chunkedBody_.Feed(bytes, chunkData_);
            bodyLength_ += chunkData_.size();
            chunkData_.clear();
            bytes.remove_prefix(used);
            if (chunkedBody_.failed()) Refuse(400, "Bad Request", "a broken chunked body");
            else if (chunkedBody_.done()) stage_ = Stage::Done;
        } else {
            FeedHead(bytes);
        }
    }
    unused_ = bytes.size();
    return stage_ == Stage::Done || stage_ == Stage::Refused;
}

// Takes head bytes up to the end of the current line (or all of them).
// What can't be a head is refused as soon as it arrives, not when its line
// ends: a client that never ends a line must not be waited for.
void RequestCompletion::FeedHead(std::string_view& bytes) {
    const std::size_t lf = bytes.find('\n');
    const std::string_view piece = bytes.substr(0, lf == std::string_view::npos ? bytes.size() : lf + 1);
    bytes.remove_prefix(piece.size());
    if (piece.find('\0') != std::string_view::npos) return Refuse(400, "Bad Request", "a NUL byte in the head");
    const std::size_t from = line_.empty() ? 0 : line_.size() - 1;
    line_.append(piece);
    headLength_ += piece.size();
    // A CR ends a line only together with the LF behind it.
    for (std::size_t cr = line_.find('\r', from); cr != std::string::npos && cr + 1 < line_.size();
         cr = line_.find('\r', cr + 1)) {
        if (line_[cr + 1] != '\n') return Refuse(400, "Bad Request", "a CR without LF in the head");
    }
    const std::size_t lineEnd = lf == std::string_view::npos ? 0 : (line_.size() >= 2 && line_[line_.size() - 2] == '\r' ? 2 : 1);
    // Until its LF has come, a line may still lose a CR at its end.
    const std::size_t content = line_.size() - (lf == std::string_view::npos ? (line_.back() == '\r' ? 1 : 0) : lineEnd);
    if (stage_ == Stage::FirstLine && content > kRequestLineLimit)
        return Refuse(414, "URI Too Long", "a request line too long");
    if (headLength_ > kHeadByteLimit) return Refuse(431, "Request Header Fields Too Large", "a head over its bound");
    if (lf == std::string_view::npos) return;
    std::string line;
    line.swap(line_);
    TakeLine(std::string_view(line).substr(0, content));
}

void RequestCompletion::TakeLine(std::string_view content) {
    if (stage_ == Stage::FirstLine) {
        if (content.empty()) return Refuse(400, "Bad Request", "no request line");
        bodyExpected_ =
            common::StartsWithIgnoringAsciiCase(content, "post ") || common::StartsWithIgnoringAsciiCase(content, "put ");
        firstLine_ = std::string(content);
        stage_ = Stage::Head;
        return;
    }
    // A bare LF ends the head as CR LF does.
    if (content.empty()) return EndHead();
    if (++headerLines_ > kHeadLineLimit) return Refuse(431, "Request Header Fields Too Large", "too many header lines");
    TakeHeaderLine(content);
}

void RequestCompletion::TakeHeaderLine(std::string_view content) {
    // A line that continues the one before it would let the engine and the
    // server read different fields out of the same head.
    if (content.front() == ' ' || content.front() == '\t') return Refuse(400, "Bad Request", "a folded header line");
    const std::size_t colon = content.find(':');
    if (colon == std::string_view::npos) return Refuse(400, "Bad Request", "a header line without a colon");
    const std::string_view name = content.substr(0, colon);
    // "Transfer-Encoding :" is a name some servers read and others don't.
    if (name.empty() || !std::all_of(name.begin(), name.end(), IsNameCharacter))
        return Refuse(400, "Bad Request", "a header name with a blank or a stray character");
    const std::string_view value = common::TrimBlanks(content.substr(colon + 1));
    if (common::EqualsIgnoringAsciiCase(name, "content-length")) {
        TakeContentLength(value);
    } else if (common::EqualsIgnoringAsciiCase(name, "transfer-encoding")) {
        TakeTransferEncoding(value);
    } else if (common::EqualsIgnoringAsciiCase(name, "host") && ++hostLines_ > 1) {
        Refuse(400, "Bad Request", "more than one Host line");
    } else if (common::EqualsIgnoringAsciiCase(name, "expect")) {
        // An HTTP/1.0 client's expectation is passed over.
        const std::size_t lastBlank = firstLine_.rfind(' ');
        expectContinue_ = common::EqualsIgnoringAsciiCase(value, "100-continue") && lastBlank != std::string::npos &&
                          !common::EqualsIgnoringAsciiCase(std::string_view(firstLine_).substr(lastBlank + 1), "HTTP/1.0");
    }
}

// Every Content-Length value, on one line or on several, must be the same
// number: otherwise the engine and the server may each take another one.
void RequestCompletion::TakeContentLength(std::string_view value) {
    bool valid = true;
    bool any = false;
    ForEachElement(value, [&](std::string_view element) {
        any = true;
        if (element.size() > kLengthDigitsLimit ||
            !std::all_of(element.begin(), element.end(), [](char c) { return c >= '0' && c <= '9'; })) {
            valid = false;
            return false;
        }
        std::uint64_t length = 0;
        for (char c : element) length = length * 10 + static_cast<std::uint64_t>(c - '0');
        if (lengthSeen_ && length != contentLength_) {
            Refuse(400, "Bad Request", "Content-Length values that differ");
            return false;
        }
        lengthSeen_ = true;
        contentLength_ = length;
        return true;
    });
    if (stage_ == Stage::Refused) return;
    if (!valid || !any) Refuse(400, "Bad Request", "a Content-Length that is no number");
}

void RequestCompletion::TakeTransferEncoding(std::string_view value) {
    encodingLineSeen_ = true;
    ForEachElement(value, [&](std::string_view element) {
        ++codings_;
        lastCodingChunked_ = common::EqualsIgnoringAsciiCase(element, "chunked");
        return true;
    });
}

void RequestCompletion::EndHead() {
    if (encodingLineSeen_) {
        if (lengthSeen_) return Refuse(400, "Bad Request", "both Content-Length and Transfer-Encoding");
        if (codings_ == 0) return Refuse(400, "Bad Request", "an empty Transfer-Encoding");
        // Without chunked last, nothing tells where the body ends.
        if (!lastCodingChunked_) return Refuse(400, "Bad Request", "a Transfer-Encoding that does not end in chunked");
        if (codings_ > 1) return Refuse(501, "Not Implemented", "a transfer coding other than chunked");
        chunked_ = true;
        bodyExpected_ = true;
        stage_ = Stage::Chunked;
        return;
    }
    bodyLength_ = contentLength_;
    if (contentLength_ == 0) {
        stage_ = Stage::Done;
        return;
    }
    bodyExpected_ = true;
    remaining_ = contentLength_;
    stage_ = Stage::Body;
}

void RequestCompletion::Refuse(int status, const char* reason, const char* why) {
    refusal_ = RequestRefusal{status, reason, why};
    stage_ = Stage::Refused;
    line_.clear();
}

}  // namespace engine
