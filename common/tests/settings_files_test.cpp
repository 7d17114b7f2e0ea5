// The keys of the settings files one program writes and another reads:
// each reader must be able to tell every key from the others.
#include <gtest/gtest.h>

#include <string_view>

#include "common/ascii_case.h"
#include "common/ldap_ini.h"
#include "common/sendmail_ini.h"

namespace {

// The engine and the LDAP page take a line for a key when the line begins
// with it, case ignored: a key that began another would take its lines.
TEST(LdapIniKeys, EveryKeyEndsInEqualsAndBeginsNoOther) {
    const auto& keys = common::ldap_ini::kAllKeys;
    for (size_t i = 0; i < keys.size(); ++i) {
        const std::string_view key = keys[i];
        ASSERT_FALSE(key.empty());
        EXPECT_EQ(key.back(), '=') << key;
        EXPECT_EQ(key.find_first_of(" \t"), std::string_view::npos) << key;
        for (size_t j = 0; j < keys.size(); ++j) {
            if (i == j) continue;
            EXPECT_FALSE(common::StartsWithIgnoringAsciiCase(keys[j], key)) << key << " begins " << keys[j];
        }
    }
}

// The mail sender compares the text before a line's first "=" with a key,
// whole and case ignored: a key holding "=" or a blank would never match,
// two keys equal but for case would read the same line.
TEST(SendmailIniKeys, EveryKeyIsOneWordDistinctFromTheOthers) {
    const auto& keys = common::sendmail_ini::kAllKeys;
    for (size_t i = 0; i < keys.size(); ++i) {
        const std::string_view key = keys[i];
        ASSERT_FALSE(key.empty());
        EXPECT_EQ(key.find_first_of("= \t'"), std::string_view::npos) << key;
        for (size_t j = i + 1; j < keys.size(); ++j)
            EXPECT_FALSE(common::EqualsIgnoringAsciiCase(keys[j], key)) << key << " twice";
    }
}

}  // namespace
