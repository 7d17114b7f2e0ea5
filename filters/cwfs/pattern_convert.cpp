#include "filters/cwfs/pattern_convert.h"

#include "platform/codepage/codepage.h"

namespace cwfs {
namespace {

constexpr size_t kUtf8PartLimit = 512;

bool IsLeadByte(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }
bool IsHalfWidthKatakana(unsigned char c) { return c >= 0xA1 && c <= 0xDF; }

// The JIS pair of a half-width katakana as code page 50220 writes it (the
// full-width character), escapes left out.
std::string HalfWidthAsJis(char c) {
    const std::string encoded = platform::ConvertText(platform::kCodePageShiftJis, platform::kCodePageIso2022Jp,
                                                      std::string_view(&c, 1));
    std::string pair;
    for (size_t at = 0; at < encoded.size(); ++at) {
        if (encoded[at] == '\x1b') {
            at += 2;  // ESC $ B / ESC ( B
            continue;
        }
        pair += encoded[at];
    }
    return pair;
}

std::string ConvertPart(std::string_view part, unsigned codePage) {
    if (codePage == platform::kCodePageUtf8) {
        std::string utf8 = platform::ConvertText(platform::kCodePageShiftJis, platform::kCodePageUtf8, part);
        if (utf8.size() > kUtf8PartLimit) {
            size_t cut = kUtf8PartLimit;
            while (cut > 0 && (static_cast<unsigned char>(utf8[cut]) & 0xC0) == 0x80) --cut;
            utf8.resize(cut);
        }
        return utf8;
    }
    const bool euc = codePage == platform::kCodePageEucJp;
    std::string out;
    out.reserve(part.size() + 8);
    for (size_t at = 0; at < part.size(); ++at) {
        const auto c = static_cast<unsigned char>(part[at]);
        if (IsHalfWidthKatakana(c)) {
            if (euc)
                out += "\x8e";
            else {
                out += HalfWidthAsJis(part[at]);
                continue;
            }
            out += part[at];
        } else if (IsLeadByte(c) && at + 1 < part.size()) {
            unsigned char j1 = 0, j2 = 0;
            ShiftJisToJisPair(c, static_cast<unsigned char>(part[++at]), j1, j2);
            if (euc) {
                j1 = static_cast<unsigned char>(j1 + 0x80);
                j2 = static_cast<unsigned char>(j2 + 0x80);
            }
            out += static_cast<char>(j1);
            out += static_cast<char>(j2);
        } else {
            out += part[at];  // single bytes, and a lead byte at the end
        }
    }
    return out;
}

}  // namespace

void ShiftJisToJisPair(unsigned char lead, unsigned char trail, unsigned char& j1, unsigned char& j2) {
    unsigned char x = static_cast<unsigned char>(lead * 2);
    if (x < 64) x = static_cast<unsigned char>(x - 128);
    if (trail > 158) {
        j1 = static_cast<unsigned char>(x - 96);
        j2 = static_cast<unsigned char>(trail - 126);
    } else {
        j1 = static_cast<unsigned char>(x - 97);
        j2 = static_cast<unsigned char>(trail < 127 ? trail - 31 : trail - 32);
    }
}

std::string ConvertPatternForPage(std::string_view pattern, unsigned codePage) {
    if (codePage != platform::kCodePageIso2022Jp && codePage != platform::kCodePageEucJp &&
        codePage != platform::kCodePageUtf8)
        return std::string(pattern);
    std::string out;
    for (size_t start = 0;;) {
        const size_t star = pattern.find('*', start);
        out += ConvertPart(pattern.substr(start, star == std::string_view::npos ? std::string_view::npos
                                                                                 : star - start),
                           codePage);
        if (star == std::string_view::npos) break;
        out += '*';
        start = star + 1;
    }
    return out;
}

}  // namespace cwfs
