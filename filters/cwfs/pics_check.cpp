#include "filters/cwfs/pics_check.h"

#include <cstdio>
#include <string_view>

#include "common/ascii_case.h"
#include "common/file_retry.h"
#include "common/filter_text.h"
#include "filters/cwfs/cwfs_log.h"
#include "filters/cwfs/cwfs_settings.h"
#include "filters/cwfs/rating_levels.h"

namespace cwfs {
namespace {

constexpr size_t kPicsIniLineLimit = 255;

// The decimal number right after the first occurrence of token in the
// ratings; 0 when the token is missing.
int TokenValue(std::string_view ratings, std::string_view token) {
    const size_t at = ratings.find(token);
    if (at == std::string_view::npos) return 0;
    size_t digit = at + token.size();
    bool negative = false;
    if (digit < ratings.size() && (ratings[digit] == '-' || ratings[digit] == '+'))
        negative = ratings[digit++] == '-';
    int value = 0;
    while (digit < ratings.size() && ratings[digit] >= '0' && ratings[digit] <= '9' && value < 100000)
        value = value * 10 + (ratings[digit++] - '0');
    return negative ? -value : value;
}

bool HasToken(std::string_view ratings, std::string_view token) { return ratings.find(token) != std::string_view::npos; }

// The first of the tokens that occurs gives the value.
int FirstTokenValue(std::string_view ratings, std::initializer_list<std::string_view> tokens) {
    for (std::string_view token : tokens)
        if (HasToken(ratings, token)) return TokenValue(ratings, token);
    return 0;
}

// True when a letter token of group letter G ("Gx 1") is in violation of
// the group's threshold word.
bool LetterViolation(std::string_view ratings, char group, uint32_t word) {
    for (char letter = 'a'; letter <= 'z'; ++letter) {
        const char token[3] = {group, letter, ' '};
        const size_t at = ratings.find(std::string_view(token, 3));
        if (at == std::string_view::npos || at + 3 >= ratings.size() || ratings[at + 3] != '1') continue;
        if (word < LetterBit(letter)) return true;
    }
    return false;
}

RatingLevels LevelsFor(const std::optional<std::string>& listName) {
    if (!listName) return Settings().levels;
    const std::string path = Settings().dataFolder + *listName + ".pics.ini";
    WriteLog(path + "\n");
    const common::FilePtr file = common::OpenRegularFile(path);
    if (!file) return Settings().levels;
    std::string line;
    if (!common::ReadWholeLine(file.get(), line, kPicsIniLineLimit)) line.clear();
    line = line.substr(0, line.find_first_of("\r\n"));
    return ParseLevelList(line);
}

}  // namespace

int Query_PICS_LABEL(std::string& chunk, const std::optional<std::string>& url, std::string& label,
                     const std::optional<std::string>& listName) {
    const RatingLevels levels = LevelsFor(listName);
    const int* level = levels.level;

    for (char& c : chunk) c = common::LowerAscii(c);
    const size_t headEnd = chunk.find("</head>");
    if (headEnd != std::string::npos) chunk.resize(headEnd);

    size_t element = std::string::npos;
    for (const char* start : {"<meta http-equiv=\"pics-labels\"", "<meta http-equiv=pics-labels",
                              "<meta http-equiv=\"pics-label\"", "<meta http-equiv=pics-label"}) {
        element = chunk.find(start);
        if (element != std::string::npos) break;
    }
    if (element == std::string::npos) return 0;
    const std::string marker = url ? " for \"http://" + *url : std::string();

    // The ratings of a vocabulary, or empty when it is absent or has none.
    // Cutting at the closing ")" ends every later search there too.
    auto ratingsOf = [&](const char* service) -> std::string {
        size_t from = chunk.find(service, element);
        if (from == std::string::npos) return std::string();
        if (url) {
            const size_t at = chunk.find(marker, from);
            if (at != std::string::npos) from = at;
        }
        size_t r = chunk.find("r (", from);
        if (r == std::string::npos) r = chunk.find("r(", from);
        if (r == std::string::npos) return std::string();
        const size_t close = chunk.find(')', r);
        if (close != std::string::npos) chunk.resize(close);
        std::string ratings = chunk.substr(r);
        label = std::string(service) + " " + ratings + ")";
        return ratings;
    };

    int result = 0;
    if (std::string r = ratingsOf(kSafeSurfService); !r.empty()) {
        const int values[kCategoryCount] = {
            TokenValue(r, "ss~~004 "), FirstTokenValue(r, {"ss~~002 ", "ss~~003 "}), TokenValue(r, "ss~~005 "),
            TokenValue(r, "ss~~001 "), FirstTokenValue(r, {"ss~~007 ", "ss~~008 ", "ss~~009 "}),
            TokenValue(r, "ss~~000 ")};
        for (int category = 0; category < kCategoryCount; ++category)
            if (values[category] > level[category] + 1) result = 1;
    }
    if (std::string r = ratingsOf(kRsacService); !r.empty()) {
        if (TokenValue(r, "n ") > level[kNudity] || TokenValue(r, "s ") > level[kSex] ||
            TokenValue(r, "v ") > level[kViolence] || TokenValue(r, "l ") > level[kLanguage])
            result = 1;
    }
    if (std::string r = ratingsOf(kEncService); !r.empty()) {
        if (TokenValue(r, "n ") > level[kNudity] || TokenValue(r, "s ") > level[kSex] ||
            TokenValue(r, "v ") > level[kViolence] || TokenValue(r, "l ") > level[kLanguage] ||
            TokenValue(r, "e ") > level[kOther])
            result = 1;
    }
    if (std::string r = ratingsOf(kIaJapanService); !r.empty()) {
        const int value = TokenValue(r, "lv ");
        for (int category = kNudity; category <= kOther; ++category)
            if (value > level[category]) result = 1;
    }
    if (std::string r = ratingsOf(kIcraV02Service); !r.empty()) {
        const bool violation =
            LetterViolation(r, 'n', levels.word[kGroupN]) || LetterViolation(r, 'v', levels.word[kGroupV]) ||
            LetterViolation(r, 'l', levels.word[kGroupL]) || LetterViolation(r, 'o', levels.word[kGroupO]) ||
            LetterViolation(r, 'c', levels.word[kGroupC]);
        return violation ? 1 : result;
    }
    std::string v03 = ratingsOf(kIcraV03VocabularyService);
    if (v03.empty()) v03 = ratingsOf(kIcraV03Service);
    if (const std::string& r = v03; !r.empty()) {
        if (LetterViolation(r, 'o', levels.word[kGroupO])) return 1;
        if (TokenValue(r, "n ") > level[kNudity] || TokenValue(r, "s ") > level[kSex] ||
            TokenValue(r, "v ") > level[kViolence] || TokenValue(r, "l ") > level[kLanguage] ||
            TokenValue(r, "c ") > level[kCommunication])
            result = 1;
    }
    return result;
}

}  // namespace cwfs
