#include "engine/listener/request_completion.h"

#include <algorithm>
#include <limits>

#include "common/ascii_case.h"
#include "common/text.h"

namespace engine {
namespace {

// The longest request line kept for the log and the scan line; longer
// lines are still followed to their end, only their tail is not kept.
constexpr std::size_t kKeptLineLength = 16384;
// Sizes beyond this are not a real upload but a broken or hostile head.
constexpr std::uint64_t kSizeLimit = std::uint64_t{1} << 60;

// The leading decimal of a header value; a value without digits is 0.
std::uint64_t LeadingDecimal(std::string_view text) {
    std::uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') break;
        value = std::min(kSizeLimit, value * 10 + static_cast<std::uint64_t>(c - '0'));
    }
    return value;
}

// The size of a chunk-size line; false when the line starts with no hex digit.
bool ChunkSize(std::string_view line, std::uint64_t& size) {
    line = common::SkipBlanks(line);
    size = 0;
    std::size_t digits = 0;
    for (char c : line) {
        int v;
        if (c >= '0' && c <= '9') v = c - '0';
        else if (c >= 'a' && c <= 'f') v = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F') v = c - 'A' + 10;
        else break;
        size = size * 16 + static_cast<std::uint64_t>(v);
        if (size >= kSizeLimit) return false;
        ++digits;
    }
    return digits > 0;
}

bool IsEmptyLine(const std::string& line) { return line == "\r\n" || line == "\n"; }

}  // namespace

bool RequestCompletion::Feed(std::string_view bytes) {
    while (!bytes.empty() && stage_ != Stage::Done) {
        if (stage_ == Stage::Body || stage_ == Stage::ChunkData) {
            std::uint64_t take = std::min<std::uint64_t>(remaining_, bytes.size());
            bytes.remove_prefix(static_cast<std::size_t>(take));
            remaining_ -= take;
            if (remaining_ == 0) stage_ = stage_ == Stage::Body ? Stage::Done : Stage::ChunkDataEnd;
            continue;
        }
        std::size_t lf = bytes.find('\n');
        std::size_t take = lf == std::string_view::npos ? bytes.size() : lf + 1;
        std::size_t room = line_.size() < kKeptLineLength + 2 ? kKeptLineLength + 2 - line_.size() : 0;
        line_.append(bytes.substr(0, std::min(take, room)));
        bytes.remove_prefix(take);
        if (lf != std::string_view::npos) {
            TakeLine(line_);
            line_.clear();
        }
    }
    unused_ = bytes.size();
    return Complete();
}

void RequestCompletion::TakeLine(const std::string& line) {
    switch (stage_) {
    case Stage::FirstLine: {
        bodyExpected_ =
            common::StartsWithIgnoringAsciiCase(line, "post ") || common::StartsWithIgnoringAsciiCase(line, "put ");
        std::size_t end = line.find_first_of("\r\n");
        firstLine_ = line.substr(0, std::min(end, kKeptLineLength));
        stage_ = Stage::Head;
        break;
    }
    case Stage::Head:
        // Only CR LF ends the head: a client that ends its lines with a
        // bare LF is served once it stops sending.
        if (line == "\r\n") {
            if (!bodyExpected_) stage_ = Stage::Done;
            else if (chunked_) stage_ = Stage::ChunkSize;
            else if (contentLength_ > 0) {
                remaining_ = contentLength_;
                stage_ = Stage::Body;
            } else stage_ = Stage::Done;
        } else if (common::StartsWithIgnoringAsciiCase(line, "content-length:")) {
            contentLength_ = LeadingDecimal(common::SkipBlanks(std::string_view(line).substr(15)));
        } else if (common::StartsWithIgnoringAsciiCase(line, "transfer-encoding:")) {
            chunked_ = common::StrIStr(std::string_view(line).substr(18), "chunked") != std::string_view::npos;
        }
        break;
    case Stage::ChunkSize: {
        std::uint64_t size;
        if (!ChunkSize(line, size)) {
            // Broken framing: nothing more can be counted, hand over what came.
            stage_ = Stage::Done;
        } else if (size == 0) {
            stage_ = Stage::Trailer;
        } else {
            remaining_ = size;
            stage_ = Stage::ChunkData;
        }
        break;
    }
    case Stage::ChunkDataEnd:
        stage_ = Stage::ChunkSize;
        break;
    case Stage::Trailer:
        if (IsEmptyLine(line)) stage_ = Stage::Done;
        break;
    case Stage::Body:
    case Stage::ChunkData:
    case Stage::Done:
        break;
    }
}

}  // namespace engine
