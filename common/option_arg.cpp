#include "common/option_arg.h"

#include <limits>

namespace common {

OptionArg ParseOptionArg(std::string_view arg) {
    OptionArg result;
    if (arg.size() > 1) result.letter = arg[1];
    if (arg.size() > 2) result.separator = arg[2];
    if (arg.size() > 3) result.value = std::string(arg.substr(3));
    return result;
}

int64_t ParseDecimal(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == '\n' ||
                               text[i] == '\r' || text[i] == '\f' || text[i] == '\v'))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    // Accumulate on the negative side so that INT64_MIN is reachable.
    constexpr int64_t kMin = std::numeric_limits<int64_t>::min();
    int64_t value = 0;
    bool saturated = false;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        int digit = text[i] - '0';
        if (value < (kMin + digit) / 10) {
            saturated = true;
            break;
        }
        value = value * 10 - digit;
    }
    if (saturated) return negative ? kMin : std::numeric_limits<int64_t>::max();
    if (negative) return value;
    return value == kMin ? std::numeric_limits<int64_t>::max() : -value;
}

}  // namespace common
