#include "common/text.h"

#include <gtest/gtest.h>

namespace {

constexpr size_t npos = std::string_view::npos;

TEST(Base64, CharacterValues) {
    const std::pair<char, int> cases[] = {{'A', 0},  {'Z', 25}, {'a', 26}, {'z', 51}, {'0', 52},   {'9', 61},
                                          {'+', 62}, {'/', 63}, {'=', -1}, {' ', -2}, {'\n', -2}, {'-', -2},
                                          {'\x80', -2}};
    for (auto [c, value] : cases) EXPECT_EQ(common::Base64Value(c), value) << int(c);
}

TEST(Base64, Decodes) {
    struct Case {
        std::string source;
        size_t size;
        int result;
        std::string bytes;
    } cases[] = {
        {"YWJjZGVmZ2hp", 64, 9, "abcdefghi"},
        {"YWJjZGVm\r\nZ2hp", 64, 9, "abcdefghi"},  // line breaks skipped
        {"YWxhZGRpbjpvcGVuIHNlc2FtZQ==", 64, 19, "aladdin:open sesame"},
        {"YQ==", 64, 1, "a"},
        {"YWI=", 64, 2, "ab"},
        {"YWI=YWJj", 64, 2, "ab"},                 // "=" ends the text
        {"YWJ", 64, 0, ""},                        // incomplete group ignored
        {"", 64, 0, ""},
        {"YWJjZGVmZ2hp", 9, 6, "abcdef"},          // reads size - 1 characters only
        {"YWJj", 1, 0, ""},
        {"AA==", 64, 1, std::string(1, '\0')},     // binary-safe
        {"/w==", 64, 1, "\xFF"},
        {"=QQQ", 64, 0, ""},                       // not Base64: nothing
    };
    for (const auto& c : cases) {
        std::string out;
        EXPECT_EQ(common::Base64ToText(c.source, out, c.size), c.result) << c.source;
        EXPECT_EQ(out, c.bytes) << c.source;
    }
}

TEST(Base64, Encodes) {
    const std::pair<std::string, std::string> cases[] = {
        {"abc", "YWJj"}, {"ab", "YWI="}, {"a", "YQ=="}, {"", ""}, {std::string("\xFF\xFE\0", 3), "//4A"},
        {"alice:secret", "YWxpY2U6c2VjcmV0"},
    };
    for (const auto& [text, base64] : cases) EXPECT_EQ(common::TextToBase64(text), base64) << text;

    std::string every;
    for (int b = 0; b < 256; ++b) every += static_cast<char>(b);
    std::string back;
    EXPECT_EQ(common::Base64ToText(common::TextToBase64(every), back, 1024), 256);
    EXPECT_EQ(back, every);
}

TEST(StrIStr, FindsWithoutAsciiCase) {
    struct Case {
        std::string_view text, needle;
        size_t position;
    } cases[] = {
        {"Hello", "LL", 2},
        {"aab", "ab", 1},
        {"Content-Type: text/html", "content-type:", 0},
        {"Hello", "", npos},
        {"", "a", npos},
        {"abc", "abcd", npos},
        {"x\xC3\xA9", "\xC3\x89", npos},  // bytes above 0x7F are not folded
        {"\x82\xA0\x82\x60", "\x82\x60", 2},
    };
    for (const auto& c : cases) EXPECT_EQ(common::StrIStr(c.text, c.needle), c.position) << c.text << " / " << c.needle;
}

std::string Zeros(int count) {
    std::string out;
    for (int i = 0; i < count; ++i) out += "0.";
    return out;
}

TEST(ReverseQueryName, IPv4AndIPv6) {
    const std::string v6 = "1." + Zeros(23) + "8.b.d.0.1.0.0.2.";
    struct Case {
        std::string_view address;
        int kind;
        std::string name;
    } cases[] = {
        {"10.20.30.40", 1, "40.30.20.10."},
        {"192.0.2.1", 1, "1.2.0.192."},
        {"host.test", 1, "test.host."},
        {"host", 0, ""},
        {"2001:db8::1", 2, v6},                  // every nibble, as blocklist zones publish IPv6
        {"2001:DB8:0:0::0001", 2, v6},           // the same address however written
        {"::1", 2, "1." + Zeros(31)},
        {"::ffff:192.0.2.1", 1, "1.2.0.192."},   // IPv4-mapped: the IPv4 name
        {"fe80::1%eth0", 0, ""},
        {"2001:db8::1::2", 0, ""},
    };
    for (const auto& c : cases) {
        std::string name = "left over";
        EXPECT_EQ(common::MakeReverseQueryName(c.address, name), c.kind) << c.address;
        EXPECT_EQ(name, c.name) << c.address;
    }
}

TEST(ConvertCodePage, SizesAndCutOffs) {
    char out[16];
    // "あ" in UTF-8 to code page 932: two bytes and the terminator.
    EXPECT_EQ(common::ConvertCodePageFromUtf8(932, "あ", nullptr, 0), 4);  // size to provide
    EXPECT_EQ(common::ConvertCodePageFromUtf8(932, "あ", out, 4), 3);      // terminator counted
    EXPECT_EQ(std::string(out), "\x82\xA0");
    EXPECT_EQ(common::ConvertCodePageFromUtf8(932, "あ", out, 2), 1);      // cut to size - 1
    EXPECT_EQ(std::string(out), "\x82");
    EXPECT_EQ(common::ConvertCodePageFromUtf8(932, "ｱ", out, sizeof out), 2);
    EXPECT_EQ(std::string(out), "\xB1");

    EXPECT_EQ(common::ConvertCodePage(932, "\x83\x65\x83\x58\x83\x67", out, sizeof out, 1), 10);
    EXPECT_EQ(std::string(out), "テスト");
    EXPECT_EQ(common::ConvertCodePage(0, "\x82\xA0", out, sizeof out, 1), 4);  // ANSI is 932
    EXPECT_EQ(common::ConvertCodePage(50220, "\x1B$B$\"\x1B(B", out, sizeof out, 1), 4);
    EXPECT_EQ(std::string(out), "あ");

    EXPECT_EQ(common::ConvertCodePage(4242, "abc", out, sizeof out, 1), 0);
}

}  // namespace
