#include "engine/access/numeric_host.h"

#include <gtest/gtest.h>

namespace {

TEST(DottedIPv4Host, EverySpellingOfAnAddressBecomesDotted) {
    for (const char* spelling : {"127.88.0.1", "127.88.1", "2136473601", "0x7f580001", "0X7F580001",
                                 "0177.0130.0.01", "127.88.0.001", "0x7f.88.0.1"})
        EXPECT_EQ(engine::DottedIPv4Host(spelling), "127.88.0.1") << spelling;
}

TEST(DottedIPv4Host, OtherHostsStayAsWritten) {
    for (const char* host : {"example.com", "1e100.net", "123abc", "deadbeef", "256.1.1.1", "1.2.3.4.5",
                             "127.0.0.1 x", "[::1]", "::1", "0x", "", "127.0.0.09"})
        EXPECT_EQ(engine::DottedIPv4Host(host), host) << host;
}

// The lists and the cache see one spelling of a host: a fully qualified
// name with its trailing dot is the name, an address in any spelling its
// dotted form.
TEST(ListedHost, TrailingDotsAndNumericSpellingsBecomeOneSpelling) {
    const struct {
        const char* written;
        const char* listed;
    } cases[] = {
        {"evil.test.", "evil.test"},    {"evil.test", "evil.test"},     {"EVIL.test.", "EVIL.test"},
        {"evil.test..", "evil.test"},   {"localhost.", "localhost"},    {"127.88.0.1.", "127.88.0.1"},
        {"0x7f580001.", "127.88.0.1"},  {"127.88.1", "127.88.0.1"},     {"a.b.example", "a.b.example"},
        {"[::1]", "[::1]"},             {".", "."},                     {"", ""},
        {".evil.test", ".evil.test"},   {"evil..test", "evil..test"},
    };
    for (const auto& c : cases) EXPECT_EQ(engine::ListedHost(c.written), c.listed) << c.written;
}

}  // namespace
