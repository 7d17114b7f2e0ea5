#include "filters/cwfs/body_decoding.h"

#include <zlib.h>

#include <algorithm>

#include "common/ascii_case.h"
#include "common/hex_digit.h"
#include "common/text.h"

namespace cwfs {
namespace {

constexpr size_t kInflateStep = 64 * 1024;

// The last coding of a comma-separated list: the one applied last.
std::string_view LastToken(std::string_view value) {
    const size_t comma = value.rfind(',');
    if (comma != std::string_view::npos) value.remove_prefix(comma + 1);
    return common::TrimBlanks(value);
}

// windowBits: 15 + 32 reads a gzip or a zlib stream, -15 a raw deflate one.
// False when not one byte could be decoded.
bool InflateWith(int windowBits, std::string_view data, size_t limit, std::string& out) {
    z_stream stream{};
    if (inflateInit2(&stream, windowBits) != Z_OK) return false;
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    stream.avail_in = static_cast<uInt>(std::min<size_t>(data.size(), UINT32_MAX));
    bool any = false;
    while (out.size() < limit) {
        const size_t before = out.size();
        const size_t room = std::min(kInflateStep, limit - before);
        out.resize(before + room);
        stream.next_out = reinterpret_cast<Bytef*>(out.data() + before);
        stream.avail_out = static_cast<uInt>(room);
        const int result = inflate(&stream, Z_NO_FLUSH);
        out.resize(before + room - stream.avail_out);
        if (out.size() > before || result == Z_STREAM_END) any = true;
        if (result == Z_STREAM_END) {
            // Members of a gzip file follow one another.
            if (stream.avail_in == 0 || windowBits < 0 || inflateReset(&stream) != Z_OK) break;
            continue;
        }
        if (result != Z_OK) break;  // damaged or cut short: what came so far
        if (stream.avail_in == 0 && stream.avail_out != 0) break;
    }
    inflateEnd(&stream);
    return any;
}

}  // namespace

BodyCoding CodingOf(std::string_view transferEncoding, std::string_view contentEncoding) {
    BodyCoding coding;
    coding.chunked = common::EqualsIgnoringAsciiCase(LastToken(transferEncoding), "chunked");
    const std::string_view content = common::TrimBlanks(contentEncoding);
    if (common::EqualsIgnoringAsciiCase(content, "gzip") || common::EqualsIgnoringAsciiCase(content, "x-gzip"))
        coding.compression = Compression::Gzip;
    else if (common::EqualsIgnoringAsciiCase(content, "deflate"))
        coding.compression = Compression::Deflate;
    return coding;
}

std::string Dechunk(std::string_view raw) {
    std::string out;
    out.reserve(raw.size());
    size_t at = 0;
    while (at < raw.size()) {
        const size_t lineEnd = raw.find('\n', at);
        if (lineEnd == std::string_view::npos) break;
        // The size in hexadecimal, then perhaps extensions after ";".
        size_t size = 0;
        size_t digit = at;
        for (; digit < lineEnd && common::HexValue(raw[digit]) >= 0 && size <= raw.size(); ++digit)
            size = size * 16 + static_cast<size_t>(common::HexValue(raw[digit]));
        if (digit == at) break;
        const std::string_view rest = common::TrimBlanks(raw.substr(digit, lineEnd - digit));
        if (!rest.empty() && rest != "\r" && rest[0] != ';') break;
        if (size == 0) return out;  // the trailer holds no page text
        const size_t data = lineEnd + 1;
        if (size > raw.size() - data) {
            out.append(raw.substr(data));  // cut short: what arrived
            return out;
        }
        out.append(raw.substr(data, size));
        at = data + size;
        if (raw.compare(at, 2, "\r\n") == 0)
            at += 2;
        else if (raw.compare(at, 1, "\n") == 0)
            at += 1;
        else if (at < raw.size())
            break;
    }
    out.append(raw.substr(at));
    return out;
}

std::string Inflate(std::string_view data, Compression compression, size_t limit) {
    if (compression == Compression::None) return std::string(data);
    std::string out;
    if (InflateWith(15 + 32, data, limit, out)) return out;
    out.clear();
    if (compression == Compression::Deflate && InflateWith(-15, data, limit, out)) return out;
    return std::string(data.substr(0, limit));
}

std::string DecodeBody(std::string_view raw, const BodyCoding& coding, size_t limit) {
    if (!coding.chunked) return Inflate(raw, coding.compression, limit);
    return Inflate(Dechunk(raw), coding.compression, limit);
}

}  // namespace cwfs
