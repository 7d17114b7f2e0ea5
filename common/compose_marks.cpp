#include "common/compose_marks.h"

#include <algorithm>
#include <iterator>

namespace common {
namespace {

constexpr char16_t kVoicedMark = 0x3099;      // combining dakuten
constexpr char16_t kSemiVoicedMark = 0x309A;  // combining handakuten
constexpr char16_t kBreve = 0x0306;
constexpr char16_t kDiaeresis = 0x0308;

struct Composition {
    char16_t base;
    char16_t mark;
    char16_t composed;
};

// Sorted by base, then mark.
constexpr Composition kCompositions[] = {
    {0x0415, kDiaeresis, 0x0401}, {0x0418, kBreve, 0x0419}, {0x0435, kDiaeresis, 0x0451},
    {0x0438, kBreve, 0x0439},
};

// The kana that take the voiced mark: the k, s, t rows and the h row (which
// also takes the semi-voiced mark), hiragana and katakana alike.
bool TakesVoicedMark(char16_t kana) {
    if (kana >= 0x304B && kana <= 0x3062) return (kana - 0x304B) % 2 == 0;  // ka .. chi
    if (kana == 0x3064 || kana == 0x3066 || kana == 0x3068) return true;    // tsu, te, to
    if (kana >= 0x306F && kana <= 0x307B) return (kana - 0x306F) % 3 == 0;  // ha .. ho
    return false;
}

bool IsHRow(char16_t kana) { return kana >= 0x306F && kana <= 0x307B && (kana - 0x306F) % 3 == 0; }

char16_t ComposedKana(char16_t base, char16_t mark) {
    constexpr char16_t kKatakanaOffset = 0x60;
    const bool katakana = base >= 0x30A1 && base <= 0x30FE;
    const char16_t hiragana = katakana ? static_cast<char16_t>(base - kKatakanaOffset) : base;
    const char16_t shift = katakana ? kKatakanaOffset : 0;
    if (mark == kVoicedMark) {
        if (TakesVoicedMark(hiragana)) return static_cast<char16_t>(base + 1);
        if (hiragana == 0x3046) return static_cast<char16_t>(0x3094 + shift);  // u -> vu
        if (hiragana == 0x309D) return static_cast<char16_t>(base + 1);        // iteration mark
        if (katakana && base >= 0x30EF && base <= 0x30F2) return static_cast<char16_t>(base + 8);  // wa wi we wo
    } else if (mark == kSemiVoicedMark && IsHRow(hiragana)) {
        return static_cast<char16_t>(base + 2);
    }
    return 0;
}

char16_t Composed(char16_t base, char16_t mark) {
    if (mark == kVoicedMark || mark == kSemiVoicedMark) return ComposedKana(base, mark);
    const auto* found = std::find_if(std::begin(kCompositions), std::end(kCompositions),
                                     [&](const Composition& c) { return c.base == base && c.mark == mark; });
    return found == std::end(kCompositions) ? 0 : found->composed;
}

}  // namespace

void ComposeCombiningMarks(std::u16string& text) {
    size_t out = 0;
    for (size_t at = 0; at < text.size(); ++at) {
        const char16_t c = text[at];
        if (out > 0) {
            if (const char16_t composed = Composed(text[out - 1], c)) {
                text[out - 1] = composed;
                continue;
            }
        }
        text[out++] = c;
    }
    text.resize(out);
}

}  // namespace common
