#include "filters/cwfs/rating_levels.h"

#include <cstddef>
#include <limits>

namespace cwfs {
namespace {

struct LevelBits {
    LetterGroup group;
    uint32_t bits[5];
};

// Kept as the rating services' letters fall; not every row grows with the
// level.
const LevelBits kLevelBits[kCategoryCount] = {
    {kGroupN, {0x40, 0x40, 0x18000000, 0x60000000, 0x80000000}},         // nudity
    {kGroupN, {0x40, 0x800000, 0x800000, 0x3000000, 0x4000000}},         // sex
    {kGroupV, {0x40, 0x1E00000, 0x1E00000, 0xE000000, 0xF0000000}},      // violence
    {kGroupL, {0x40, 0x20000000, 0x40000000, 0x40000000, 0x80000000}},   // language
    {kGroupO, {0x40, 0xB1000000, 0xE000000, 0x20000000, 0x20000000}},    // other
    {kGroupC, {0x80000040, 0x60000000, 0x60000000, 0x60000000, 0x60000000}},  // communication
};

// A signed decimal number from text[at]: blanks, a sign, digits. Sets at to
// where the reading stopped.
int ReadNumber(std::string_view text, size_t& at) {
    while (at < text.size() && (text[at] == ' ' || text[at] == '\t')) ++at;
    bool negative = false;
    if (at < text.size() && (text[at] == '-' || text[at] == '+')) negative = text[at++] == '-';
    long long value = 0;
    while (at < text.size() && text[at] >= '0' && text[at] <= '9') {
        if (value < std::numeric_limits<int>::max()) value = value * 10 + (text[at] - '0');
        ++at;
    }
    if (value > std::numeric_limits<int>::max()) value = std::numeric_limits<int>::max();
    return static_cast<int>(negative ? -value : value);
}

}  // namespace

RatingLevels ParseLevelList(std::string_view text) {
    RatingLevels levels;
    size_t at = 0;
    for (int category = 0; category < kCategoryCount; ++category) {
        const int level = ReadNumber(text, at);
        ++at;  // the separator, whatever it is
        levels.level[category] = level;
        if (level >= 0 && level <= 4) levels.word[kLevelBits[category].group] |= kLevelBits[category].bits[level];
    }
    return levels;
}

}  // namespace cwfs
