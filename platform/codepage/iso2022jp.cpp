// ISO-2022-JP as the Windows code pages 50220-50222 read and write it.
// glibc's ISO-2022-JP refuses half-width katakana and the NEC special rows
// that Japanese mail written on Windows carries, so the escape sequences are
// handled here and the characters themselves go through CP932: a JIS X 0208
// pair and its Shift_JIS double byte are the same character by arithmetic.
#include "platform/codepage/iconv_convert.h"

#include <cstdint>
#include <map>

namespace platform::codepage_detail {
namespace {

bool IsShiftJisLead(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }
bool IsJisByte(unsigned char c) { return c >= 0x21 && c <= 0x7E; }

// U+FF61..U+FF9F, each as the full-width character code page 50220 writes
// for it (sound marks stay separate characters, as Windows leaves them).
constexpr char16_t kFullWidthKana[] =
    u"。「」、・ヲァィゥェォャュョッーアイウエオカキクケコサシスセソタチツテトナニヌネノハヒフヘホマミムメモヤユヨラリルレロワン゛゜";
static_assert(sizeof(kFullWidthKana) / sizeof(char16_t) == 0xFF9F - 0xFF61 + 2);

// CP932 writes the IBM extension characters with lead bytes 0xFA-0xFC,
// outside the JIS plane; code page 50220 writes them as their NEC-selected
// twins (lead bytes 0xED-0xEE), which are inside it. The pairing comes from
// CP932 itself: each NEC-selected code decodes to a character that CP932
// encodes back as its IBM twin.
const std::map<uint16_t, uint16_t>& IbmToNecSelected() {
    static const std::map<uint16_t, uint16_t> table = [] {
        std::map<uint16_t, uint16_t> map;
        for (unsigned lead = 0xED; lead <= 0xEE; ++lead) {
            for (unsigned trail = 0x40; trail <= 0xFC; ++trail) {
                const char nec[2] = {static_cast<char>(lead), static_cast<char>(trail)};
                std::u16string wide;
                std::string ibm;
                IconvDecode("CP932", std::string_view(nec, 2), wide, true);
                if (wide.size() != 1 || wide[0] == u'\uFFFD') continue;
                IconvEncode("CP932", wide, "", ibm);
                if (ibm.size() == 2 && static_cast<unsigned char>(ibm[0]) >= 0xFA) {
                    map[static_cast<uint16_t>((static_cast<unsigned char>(ibm[0]) << 8) |
                                              static_cast<unsigned char>(ibm[1]))] =
                        static_cast<uint16_t>((lead << 8) | trail);
                }
            }
        }
        return map;
    }();
    return table;
}

}  // namespace

void JisToShiftJis(unsigned char j1, unsigned char j2, unsigned char& s1, unsigned char& s2) {
    unsigned lead = ((j1 - 0x21u) >> 1) + 0x81u;
    if (lead > 0x9F) lead += 0x40;
    unsigned trail;
    if (j1 & 1) {
        trail = j2 + 0x1Fu;
        if (trail >= 0x7F) ++trail;
    } else {
        trail = j2 + 0x7Eu;
    }
    s1 = static_cast<unsigned char>(lead);
    s2 = static_cast<unsigned char>(trail);
}

bool ShiftJisToJis(unsigned char s1, unsigned char s2, unsigned char& j1, unsigned char& j2) {
    unsigned row;
    if (s1 >= 0x81 && s1 <= 0x9F) {
        row = s1 - 0x81u;
    } else if (s1 >= 0xE0 && s1 <= 0xEF) {
        row = s1 - 0xC1u;
    } else {
        return false;  // user-defined and IBM extension rows lie outside the JIS plane
    }
    if (s2 >= 0x9F && s2 <= 0xFC) {
        j1 = static_cast<unsigned char>(row * 2 + 0x22);
        j2 = static_cast<unsigned char>(s2 - 0x7E);
    } else if (s2 >= 0x40 && s2 <= 0x9E && s2 != 0x7F) {
        j1 = static_cast<unsigned char>(row * 2 + 0x21);
        j2 = static_cast<unsigned char>(s2 - (s2 >= 0x80 ? 0x20 : 0x1F));
    } else {
        return false;
    }
    return true;
}

void DecodeIso2022Jp(std::string_view in, std::u16string& out) {
    enum class Set { Ascii, Kanji, Katakana, Supplementary };
    Set set = Set::Ascii;
    bool shiftedOut = false;  // SO ... SI katakana of code page 50222
    std::string pending;      // CP932 bytes not yet decoded
    auto flush = [&] {
        std::u16string part;
        IconvDecode("CP932", pending, part, true);
        out += part;
        pending.clear();
    };
    out.clear();
    for (size_t i = 0; i < in.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(in[i]);
        if (c == 0x1B) {
            std::string_view rest = in.substr(i + 1);
            auto take = [&](std::string_view seq, Set next) {
                if (rest.substr(0, seq.size()) != seq) return false;
                set = next;
                i += seq.size();
                return true;
            };
            if (take("(B", Set::Ascii) || take("(J", Set::Ascii) || take("(H", Set::Ascii) ||
                take("(I", Set::Katakana) || take("$B", Set::Kanji) || take("$@", Set::Kanji) ||
                take("$(D", Set::Supplementary)) {
                continue;
            }
            if (rest.substr(0, 2) == "&@") {  // announces the 1990 revision; ESC $ B follows
                i += 2;
                continue;
            }
            pending += static_cast<char>(c);
            continue;
        }
        if (c == 0x0E || c == 0x0F) {
            shiftedOut = c == 0x0E;
            continue;
        }
        if ((shiftedOut || set == Set::Katakana) && c >= 0x21 && c <= 0x5F) {
            pending += static_cast<char>(c + 0x80);
            continue;
        }
        if ((set == Set::Kanji || set == Set::Supplementary) && IsJisByte(c) && i + 1 < in.size() &&
            IsJisByte(static_cast<unsigned char>(in[i + 1]))) {
            unsigned char j2 = static_cast<unsigned char>(in[++i]);
            if (set == Set::Kanji) {
                unsigned char s1, s2;
                JisToShiftJis(c, j2, s1, s2);
                pending += static_cast<char>(s1);
                pending += static_cast<char>(s2);
            } else {
                flush();  // JIS X 0212 has no CP932 counterpart
                out += u'\uFFFD';
            }
            continue;
        }
        // ASCII, line ends and stray 8-bit bytes (taken as Shift_JIS, as
        // mail that claims ISO-2022-JP often carries).
        pending += static_cast<char>(c);
    }
    flush();
}

void EncodeIso2022Jp(std::u16string_view in, std::string& out) {
    std::u16string wide(in);
    for (char16_t& ch : wide) {
        if (ch >= 0xFF61 && ch <= 0xFF9F) ch = kFullWidthKana[ch - 0xFF61];
    }
    std::string sjis;
    IconvEncode("CP932", wide, "?", sjis);
    out.clear();
    bool inKanji = false;
    auto toAscii = [&] {
        if (inKanji) out += "\x1B(B";
        inKanji = false;
    };
    for (size_t i = 0; i < sjis.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(sjis[i]);
        if (IsShiftJisLead(c) && i + 1 < sjis.size()) {
            unsigned char trail = static_cast<unsigned char>(sjis[++i]);
            if (c >= 0xFA) {
                auto twin = IbmToNecSelected().find(static_cast<uint16_t>((c << 8) | trail));
                if (twin != IbmToNecSelected().end()) {
                    c = static_cast<unsigned char>(twin->second >> 8);
                    trail = static_cast<unsigned char>(twin->second & 0xFF);
                }
            }
            unsigned char j1, j2;
            bool mapped = ShiftJisToJis(c, trail, j1, j2);
            if (!mapped) {
                toAscii();
                out += '?';
                continue;
            }
            if (!inKanji) out += "\x1B$B";
            inKanji = true;
            out += static_cast<char>(j1);
            out += static_cast<char>(j2);
            continue;
        }
        toAscii();
        out += static_cast<char>(c);
    }
    toAscii();
}

}  // namespace platform::codepage_detail
