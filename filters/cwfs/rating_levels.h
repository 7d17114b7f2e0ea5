// The allowed rating levels of the six categories and the threshold words
// derived from them.
#pragma once

#include <cstdint>
#include <string_view>

namespace cwfs {

// Categories in the order of the level list: nudity, sex, violence,
// language, other, communication.
enum Category { kNudity, kSex, kViolence, kLanguage, kOther, kCommunication, kCategoryCount };
// Letter groups of the threshold words; nudity and sex share the n word.
enum LetterGroup { kGroupN, kGroupV, kGroupL, kGroupO, kGroupC, kGroupCount };

struct RatingLevels {
    int level[kCategoryCount] = {};
    uint32_t word[kGroupCount] = {0x40, 0x40, 0x40, 0x40, 0x40};
};

// Six decimal numbers, each read from one character after where the
// previous one ended ("4,4,4,4,3,2"); a missing number reads as 0. Each
// level ORs its bits into its group's word; a level outside 0..4 adds none.
RatingLevels ParseLevelList(std::string_view text);

// The bit of a letter in a threshold word: bit 31 for 'a' down to bit 6 for 'z'.
inline uint32_t LetterBit(char letter) { return uint32_t{1} << (31 - (letter - 'a')); }

}  // namespace cwfs
