#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "common/option_arg.h"

namespace {

TEST(OptionArg, SplitsLetterSeparatorAndValue) {
    struct Case {
        const char* arg;
        char letter;
        char separator;
        const char* value;
    } cases[] = {
        {"-p=0", 'p', '=', "0"},
        {"-l=10.0.0.1,10.0.0.2 3128", 'l', '=', "10.0.0.1,10.0.0.2 3128"},
        {"-w", 'w', '\0', ""},        // a switch: nothing after the letter
        {"-p=", 'p', '=', ""},        // separator but no value
        {"-", '\0', '\0', ""},        // too short for a letter
        {"", '\0', '\0', ""},
        {"-pX5", 'p', 'X', "5"},      // the third character is not checked
        {"/V", 'V', '\0', ""},        // the first character is not checked
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arg);
        common::OptionArg a = common::ParseOptionArg(c.arg);
        EXPECT_EQ(a.letter, c.letter);
        EXPECT_EQ(a.separator, c.separator);
        EXPECT_EQ(a.value, c.value);
    }
}

TEST(OptionArg, DecimalReadsALeadingSignedInteger) {
    struct Case {
        const char* text;
        int64_t value;
    } cases[] = {
        {"12", 12},
        {"  -5x", -5},
        {"+7", 7},
        {"1000-2000", 1000},
        {"abc", 0},
        {"", 0},
        {"-", 0},
        {"9223372036854775807", std::numeric_limits<int64_t>::max()},
        {"99999999999999999999", std::numeric_limits<int64_t>::max()},
        {"-9223372036854775808", std::numeric_limits<int64_t>::min()},
        {"-99999999999999999999", std::numeric_limits<int64_t>::min()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(common::ParseDecimal(c.text), c.value);
    }
}

}  // namespace
