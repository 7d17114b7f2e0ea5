// Option arguments as every server and watcher of the suite reads them:
// a dash, a letter in the second character and, for options that carry a
// value, "=" and the value from the fourth character on.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace common {

struct OptionArg {
    char letter = '\0';     // second character as written ('\0' when missing)
    char separator = '\0';  // third character ('\0' when missing); normally '='
    std::string value;      // from the fourth character on; empty when shorter
};

// Splits one argument. The first character is not looked at, and an
// argument too short to hold a value yields an empty one.
OptionArg ParseOptionArg(std::string_view arg);

// A leading signed decimal integer, as the option values are read: blanks
// first, an optional sign, then digits; text that is not a number reads as
// 0, and a number too large for 64 bits stops at the nearest limit.
int64_t ParseDecimal(std::string_view text);

}  // namespace common
