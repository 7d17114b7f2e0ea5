#include "platform/codepage/codepage.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace {

using platform::ConvertText;

struct Case {
    unsigned codePage;
    std::string bytes;  // in the code page
    std::string utf8;
};

TEST(CodePage, DecodesToUtf8) {
    const Case cases[] = {
        {932, "\x5C\x7E", "\\~"},  // Microsoft's table: no yen sign, no overline
        {932, "\x82\xA0\x8A\xBF", "あ漢"},
        {932, "\xB1\xDF", "ｱﾟ"},
        {932, "\x87\x40\x87\x8A", "①㈱"},  // NEC special row
        {932, "\xFA\x40", "ⅰ"},           // IBM extension
        {932, "\x81\x20x", "\xEF\xBF\xBD x"},  // bad trail byte: replaced, not failed
        {932, "a\x82", "a\xEF\xBF\xBD"},       // lead byte cut off at the end
        {0, "\x82\xA0", "あ"},                 // the ANSI code page is 932
        {65001, "a\xFF" "b", "a\xEF\xBF\xBD" "b"},
        {51932, "\xA4\xA2\xAD\xA1", "あ①"},
        {20932, "\xA4\xA2", "あ"},
        {28591, "\xE9", "é"},
        {1252, "\x80", "€"},
        {50220, "a\x1B$B$\"4A\x1B(Bb", "aあ漢b"},
        {50221, "\x1B(I1_\x1B(B", "ｱﾟ"},
        {50222, "\x1B$B%\"\x1B(B\x0E" "1\x0F" "a", "アｱa"},
        {50220, "\x1B$B-!\x1B(B", "①"},
        {50220, "\x1B$(D\x30\x21\x1B(Bz", "\xEF\xBF\xBDz"},  // JIS X 0212: no CP932 counterpart
        {50220, "\x1B$B$\"\r\n", "あ\r\n"},                  // missing end escape
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ConvertText(c.codePage, 65001, c.bytes), c.utf8) << "code page " << c.codePage << " " << c.utf8;
    }
}

TEST(CodePage, EncodesFromUtf8) {
    const Case cases[] = {
        {932, "\x82\xA0\x5C\x7E", "あ\\~"},
        {932, "?x", "😀x"},  // one default character for a surrogate pair
        {932, "?", "é"},
        {28591, "\xE9?", "éあ"},
        {50220, "abc", "abc"},
        {50220, "a\x1B$B$\"4A\x1B(Bb", "aあ漢b"},
        {50220, "\x1B$B%\"%3!+\x1B(B", "ｱｺﾞ"},  // half-width katakana become full-width
        {50220, "\x1B$B-!-j\x1B(B", "①㈱"},     // NEC special row kept
        {50220, "\x1B$B|q\x1B(B", "ⅰ"},          // IBM extension as its NEC-selected twin
        {50220, "a?", "a\xEE\x80\x80"},            // user-defined area: outside ISO-2022-JP
        {50220, "\x1B$B$\"\x1B(B\r\n", "あ\r\n"},
        {51932, "\xA4\xA2", "あ"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ConvertText(65001, c.codePage, c.utf8), c.bytes) << "code page " << c.codePage << " " << c.utf8;
    }
}

TEST(CodePage, EveryKnownCodePageConverts) {
    const unsigned codePages[] = {0,     932,   437,   850,   862,   874,   936,   949,   950,   1250,
                                  1251,  1252,  1253,  1254,  1255,  1256,  1257,  1258,  10000, 20127,
                                  20866, 21866, 20932, 28591, 28592, 28593, 28594, 28595, 28596, 28597,
                                  28598, 28599, 28603, 28605, 51932, 51949, 54936, 65001, 50220, 50221,
                                  50222};
    for (unsigned cp : codePages) {
        EXPECT_TRUE(platform::IsCodePageSupported(cp)) << cp;
        EXPECT_EQ(ConvertText(cp, 65001, "Abc 123"), "Abc 123") << cp;
        EXPECT_EQ(ConvertText(65001, cp, "Abc 123"), "Abc 123") << cp;
    }
    EXPECT_FALSE(platform::IsCodePageSupported(12345));
    EXPECT_EQ(ConvertText(12345, 65001, "abc"), "");
}

// Converters are kept between calls: a text left in a shifted state (SO
// without SI, an open UTF-7 run) must not change how the next one reads,
// and threads converting at once must each get the whole of their own text.
TEST(CodePage, KeptConvertersStartEachTextAfreshOnEveryThread) {
    struct Case {
        unsigned codePage;
        std::string broken;  // ends inside a shifted run
        std::string bytes;
        std::string utf8;
    } cases[] = {
        {50225, "\x1b$)C\x0e\x30\x21", "\x1b$)Cab\x0e\x30\x21\x0f", "ab\xea\xb0\x80"},
        {65000, "+AKQ", "a+AOk-b", "a\xc3\xa9" "b"},
        {932, "\x82", "\x82\xa0x", "\xe3\x81\x82x"},
    };
    auto sweep = [&cases](int rounds) {
        int wrong = 0;
        for (int round = 0; round < rounds; ++round) {
            for (const Case& c : cases) {
                ConvertText(c.codePage, 65001, c.broken);
                wrong += ConvertText(c.codePage, 65001, c.bytes) != c.utf8;
                wrong += ConvertText(65001, 65001, "plain") != "plain";
            }
        }
        return wrong;
    };
    EXPECT_EQ(sweep(1), 0);
    for (const Case& c : cases) EXPECT_EQ(ConvertText(c.codePage, 65001, c.bytes), c.utf8) << c.codePage;
    std::vector<int> wrong(4, 0);
    std::vector<std::thread> threads;
    for (int& w : wrong) threads.emplace_back([&w, &sweep] { w = sweep(200); });
    for (std::thread& t : threads) t.join();
    EXPECT_EQ(wrong, std::vector<int>(4, 0));
}

TEST(CodePage, Iso2022JpPairsMatchShiftJis) {
    // Every JIS X 0208 pair that CP932 knows decodes to the same character
    // through code page 50220, and encodes back to a pair that decodes alike.
    for (int j1 = 0x21; j1 <= 0x7E; ++j1) {
        for (int j2 = 0x21; j2 <= 0x7E; ++j2) {
            std::string jis = std::string("\x1B$B") + char(j1) + char(j2) + "\x1B(B";
            std::u16string wide;
            ASSERT_TRUE(platform::DecodeText(50220, jis, wide));
            ASSERT_EQ(wide.size(), 1u) << j1 << "," << j2;
            if (wide[0] == u'\uFFFD') continue;
            std::string again;
            ASSERT_TRUE(platform::EncodeText(50220, wide, again));
            std::u16string back;
            platform::DecodeText(50220, again, back);
            EXPECT_EQ(back, wide) << j1 << "," << j2;
        }
    }
}

TEST(CodePage, WindowsCallConventions) {
    const char* text = "\x82\xA0\x82\xA2";  // "あい"
    EXPECT_EQ(platform::MultiByteToWideChar(932, text, -1, nullptr, 0), 3);  // terminator counted
    char16_t wide[3] = {1, 1, 1};
    EXPECT_EQ(platform::MultiByteToWideChar(932, text, -1, wide, 2), 0);  // too small
    EXPECT_EQ(platform::MultiByteToWideChar(932, text, -1, wide, 3), 3);
    EXPECT_EQ(std::u16string(wide, 3), std::u16string(u"あい\0", 3));
    EXPECT_EQ(platform::MultiByteToWideChar(932, text, 2, wide, 3), 1);  // explicit length: no terminator
    EXPECT_EQ(platform::MultiByteToWideChar(932, text, 0, wide, 3), 0);
    EXPECT_EQ(platform::MultiByteToWideChar(4242, text, -1, wide, 3), 0);

    EXPECT_EQ(platform::WideCharToMultiByte(65001, u"あい", -1, nullptr, 0), 7);
    char bytes[7];
    EXPECT_EQ(platform::WideCharToMultiByte(65001, u"あい", -1, bytes, 6), 0);
    EXPECT_EQ(platform::WideCharToMultiByte(65001, u"あい", -1, bytes, 7), 7);
    EXPECT_STREQ(bytes, "あい");
    const char16_t lone[] = {u'a', 0xD800, u'b', 0};
    EXPECT_EQ(platform::WideCharToMultiByte(65001, lone, -1, bytes, 7), 6);
    EXPECT_STREQ(bytes, "a\xEF\xBF\xBD" "b");
}

TEST(CodePage, StringHelpers) {
    EXPECT_EQ(platform::Cp932ToUtf8("C:\\data\\\x83\x65\x83\x58\x83\x67.txt"), "C:\\data\\テスト.txt");
    EXPECT_EQ(platform::Utf8ToCp932("C:\\data\\テスト.txt"), "C:\\data\\\x83\x65\x83\x58\x83\x67.txt");
    EXPECT_EQ(platform::Cp932ToUtf8(""), "");
}

}  // namespace
