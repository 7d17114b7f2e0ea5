#include "common/text.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/codepage/codepage.h"

namespace common {
namespace {

constexpr char kBase64Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

char FoldAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// Dot-separated parts from the last to the first, each followed by a dot.
std::string ReversedParts(std::string_view text) {
    std::vector<std::string_view> parts;
    for (size_t start = 0;;) {
        size_t dot = text.find('.', start);
        parts.push_back(text.substr(start, dot == std::string_view::npos ? std::string_view::npos : dot - start));
        if (dot == std::string_view::npos) break;
        start = dot + 1;
    }
    std::string out;
    for (auto part = parts.rbegin(); part != parts.rend(); ++part) {
        out.append(*part);
        out += '.';
    }
    return out;
}

}  // namespace

int Base64Value(char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    if (c == '=') return -1;
    return -2;
}

int Base64ToText(std::string_view source, std::string& destination, size_t destinationSize) {
    destination.clear();
    if (destinationSize == 0) return 0;
    source = source.substr(0, destinationSize - 1);
    if (source.empty()) return 0;
    int group[4];
    int filled = 0;
    auto put = [&](int byte) {
        if (destination.size() + 1 >= destinationSize) return false;  // keep room for the terminator
        destination += static_cast<char>(byte & 0xFF);
        return true;
    };
    for (char c : source) {
        int value = Base64Value(c);
        if (value == -2) continue;
        group[filled++] = value;
        if (filled < 4) continue;
        filled = 0;
        // "=" can only close a group; in its first two places the text is
        // not Base64 any more.
        if (group[0] < 0 || group[1] < 0) break;
        if (!put((group[0] << 2) | (group[1] >> 4))) return -1;
        if (group[2] < 0) break;
        if (!put(((group[1] & 15) << 4) | (group[2] >> 2))) return -1;
        if (group[3] < 0) break;
        if (!put(((group[2] & 3) << 6) | group[3])) return -1;
    }
    return static_cast<int>(destination.size());
}

std::string TextToBase64(std::string_view source) {
    std::string out;
    out.reserve((source.size() + 2) / 3 * 4);
    size_t i = 0;
    for (; i + 2 < source.size(); i += 3) {
        unsigned bits = (static_cast<unsigned char>(source[i]) << 16) |
                        (static_cast<unsigned char>(source[i + 1]) << 8) | static_cast<unsigned char>(source[i + 2]);
        for (int shift = 18; shift >= 0; shift -= 6) out += kBase64Alphabet[(bits >> shift) & 63];
    }
    size_t rest = source.size() - i;
    if (rest > 0) {
        unsigned bits = static_cast<unsigned char>(source[i]) << 16;
        if (rest == 2) bits |= static_cast<unsigned char>(source[i + 1]) << 8;
        out += kBase64Alphabet[(bits >> 18) & 63];
        out += kBase64Alphabet[(bits >> 12) & 63];
        out += rest == 2 ? kBase64Alphabet[(bits >> 6) & 63] : '=';
        out += '=';
    }
    return out;
}

size_t StrIStr(std::string_view text, std::string_view needle) {
    if (needle.empty() || text.size() < needle.size()) return std::string_view::npos;
    // The places of the needle's first character (in either case) are
    // found with memchr: a keyword is looked for in every line of a mail,
    // and a character-by-character search was a tenth of the spam check.
    const char lower = FoldAscii(needle[0]);
    const char upper = lower >= 'a' && lower <= 'z' ? static_cast<char>(lower - 'a' + 'A') : lower;
    const std::string_view rest = needle.substr(1);
    const size_t last = text.size() - needle.size();  // the last place the needle can start
    auto next = [&](char c, size_t from) {
        const void* at = std::memchr(text.data() + from, c, last + 1 - from);
        return at == nullptr ? std::string_view::npos : static_cast<size_t>(static_cast<const char*>(at) - text.data());
    };
    size_t nextLower = next(lower, 0);
    size_t nextUpper = upper == lower ? std::string_view::npos : next(upper, 0);
    while (nextLower != std::string_view::npos || nextUpper != std::string_view::npos) {
        const size_t at = std::min(nextLower, nextUpper);
        if (std::equal(rest.begin(), rest.end(), text.begin() + static_cast<std::ptrdiff_t>(at + 1),
                       [](char a, char b) { return FoldAscii(a) == FoldAscii(b); }))
            return at;
        if (at == last) break;
        if (at == nextLower) nextLower = next(lower, at + 1);
        if (at == nextUpper) nextUpper = next(upper, at + 1);
    }
    return std::string_view::npos;
}

int MakeReverseQueryName(std::string_view address, std::string& destination) {
    destination.clear();
    if (address.find(':') == std::string_view::npos) {
        if (address.find('.') == std::string_view::npos) return 0;
        destination = ReversedParts(address);
        return 1;
    }
    in6_addr parsed;
    if (inet_pton(AF_INET6, std::string(address).c_str(), &parsed) != 1) return 0;
    if (IN6_IS_ADDR_V4MAPPED(&parsed)) {
        char dotted[INET_ADDRSTRLEN];
        inet_ntop(AF_INET, parsed.s6_addr + 12, dotted, sizeof dotted);
        destination = ReversedParts(dotted);
        return 1;
    }
    static constexpr char kHex[] = "0123456789abcdef";
    for (int i = 15; i >= 0; --i) {
        destination += kHex[parsed.s6_addr[i] & 15];
        destination += '.';
        destination += kHex[parsed.s6_addr[i] >> 4];
        destination += '.';
    }
    return 2;
}

int ConvertCodePage(unsigned codePage, std::string_view source, char* destination, size_t destinationSize,
                    int direction) {
    source = source.substr(0, source.find('\0'));
    std::string text(source);
    text += '\0';  // converted along, so every count includes it
    unsigned from = direction == 1 ? codePage : platform::kCodePageUtf8;
    unsigned to = direction == 1 ? platform::kCodePageUtf8 : codePage;
    std::u16string wide;
    std::string converted;
    if (!platform::DecodeText(from, text, wide) || wide.empty()) return 0;
    if (!platform::EncodeText(to, wide, converted) || converted.empty()) return 0;
    if (destinationSize == 0) return static_cast<int>(converted.size() + 1);
    if (!destination) return 0;
    size_t copied = std::min(destinationSize - 1, converted.size());
    std::memcpy(destination, converted.data(), copied);
    destination[copied] = '\0';
    return static_cast<int>(copied);
}

}  // namespace common
