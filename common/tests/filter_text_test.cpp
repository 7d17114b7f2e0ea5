#include "common/filter_text.h"

#include <gtest/gtest.h>

#include "platform/codepage/codepage.h"
#include "test_support.h"

namespace {

using common::FilterTextUser;

std::string Sjis(const char* utf8) { return platform::Utf8ToCp932(utf8); }

TEST(CodePageFromCharset, Table) {
    struct Case {
        const char* name;
        FilterTextUser user;
        unsigned codePage;
    } cases[] = {
        {"shift_jis", FilterTextUser::WordFilter, 932},
        {"Windows-31J", FilterTextUser::WordFilter, 932},
        {"x-ms-cp932", FilterTextUser::WordFilter, 932},
        {"EUC-JP", FilterTextUser::WordFilter, 51932},
        {"iso-2022-jp", FilterTextUser::WordFilter, 50220},
        {"utf-8", FilterTextUser::WordFilter, 65001},
        {"us-ascii", FilterTextUser::WordFilter, 20127},
        {"us-acii", FilterTextUser::WordFilter, 20127},
        {" utf-8 ", FilterTextUser::WordFilter, 65001},      // trimmed
        {"csISOLatin2", FilterTextUser::WordFilter, 28592},  // once listed with a trailing blank
        {"windows-1252", FilterTextUser::WordFilter, 28591},
        {"csisolatin5", FilterTextUser::WordFilter, 28595},  // the first row that names it
        {"koi8-r", FilterTextUser::WordFilter, 20866},
        {"x-unknown", FilterTextUser::WordFilter, 0},
        {"", FilterTextUser::WordFilter, 0},
        {"windows-31j", FilterTextUser::SpamCheck, 932},
        {"euc-jp", FilterTextUser::SpamCheck, 51932},
        {"x-euc-jp", FilterTextUser::SpamCheck, 51932},
        {"euc-jp", FilterTextUser::Archiver, 51932},
    };
    for (const auto& c : cases) EXPECT_EQ(common::CodePageFromCharset(c.name, nullptr, c.user), c.codePage) << c.name;
}

TEST(CodePageFromCharset, Iso2022KrGetsItsDesignationOnce) {
    std::string text = "\x0e!!\x0f";
    EXPECT_EQ(common::CodePageFromCharset("ISO-2022-KR", &text), 50225u);
    EXPECT_EQ(text, "\x1b$)C\x0e!!\x0f");
    EXPECT_EQ(common::CodePageFromCharset("csiso2022kr", &text), 50225u);
    EXPECT_EQ(text, "\x1b$)C\x0e!!\x0f");
}

TEST(QuotedPrintable, Decodes) {
    const std::pair<const char*, const char*> cases[] = {
        {"a=3Db", "a=b"},
        {"a=3db", "a=b"},  // lower-case hex, as many mailers write it
        {"soft=\r\nbreak", "softbreak"},
        {"soft=\nbreak", "softbreak"},
        {"stray=zz", "strayzz"},
        {"end=", "end"},
        {"end=4", "end4"},
        {"under_score", "under_score"},
        {"=82=A0", "\x82\xa0"},
    };
    for (auto [in, out] : cases) EXPECT_EQ(common::DecodeQuotedPrintable(in), out) << in;
}

TEST(EncodedWordQ, DecodesHexAndCharacterReferences) {
    const std::pair<const char*, const char*> cases[] = {
        {"=41=62c", "Abc"},
        {"=e3=81=82", "\xe3\x81\x82"},
        {"&#65;&#066;", "AB"},
        {"&#6;x", "&#6;x"},  // one digit is not a reference
        {"&#300;", "&#300;"},
        {"ab?=cd", "ab"},
        {"=G1", "=G1"},
    };
    for (auto [in, out] : cases) EXPECT_EQ(common::DecodeEncodedWordQ(in), out) << in;
}

TEST(ConvertToCodePage, EncodedWordsAndRawJapanese) {
    const std::string hello = Sjis("こんにちは");
    const std::string iso = platform::ConvertText(932, 50220, hello);
    const std::string euc = platform::ConvertText(932, 51932, hello);
    const std::string isoB64 = common::TextToBase64(iso);
    struct Case {
        std::string value;
        FilterTextUser user;
        std::string expected;
    } cases[] = {
        {"=?ISO-2022-JP?B?" + isoB64 + "?=", FilterTextUser::WordFilter, hello},
        {"=?iso-2022-jp?b?" + isoB64 + "?=", FilterTextUser::SpamCheck, hello},
        {"=?utf-8?Q?=E3=81=93=E3=82=93?= x", FilterTextUser::WordFilter, Sjis("こん") + " x"},
        {"=?utf-8?q?=e3=81=93?=", FilterTextUser::Archiver, Sjis("こ")},
        {"=?euc-jp?B?" + common::TextToBase64(euc) + "?=", FilterTextUser::Archiver, hello},
        {"a " + iso + " b", FilterTextUser::WordFilter, "a " + hello + " b"},
        {"a " + iso + " b", FilterTextUser::SpamCheck, "a " + hello + " b"},
        {"x" + euc + "y", FilterTextUser::WordFilter, "x" + hello + "y"},
        {"x" + euc + "y", FilterTextUser::SpamCheck, "x" + euc + "y"},
        {"=?broken", FilterTextUser::WordFilter, "=?broken"},
        {"=??B?QUJD?=", FilterTextUser::Archiver, "=??B?QUJD?="},
        {"text/html; charset=Shift_JIS", FilterTextUser::WordFilter, "text/html; charset=Shift_JIS"},
    };
    for (const auto& c : cases) EXPECT_EQ(common::ConvertToCodePage(c.value, c.user), c.expected) << c.value;
}

TEST(EucJpToShiftJis, MatchesTheCodePageLayer) {
    const std::string text = Sjis("漢字とｶﾀｶﾅ and ASCII");
    EXPECT_EQ(common::EucJpToShiftJis(platform::ConvertText(932, 51932, text)), text);
}

TEST(ReadHeaderValue, CollectsDecodesAndStopsAtTheHeadEnd) {
    testsupport::TempDir dir;
    const std::string hello = Sjis("こんにちは");
    const std::string b64 = common::TextToBase64(platform::ConvertText(932, 50220, hello));
    const std::string path = dir / "mail.txt";
    testsupport::WriteFile(path, "X-Long: " + std::string(5000, 'a') + "\r\n"  // a long line is one line
                          "Subject: =?ISO-2022-JP?B?" + b64 + "?=\r\n"
                          "\t=?ISO-2022-JP?B?" + b64 + "?=\r\n"
                          "Content-Type: TEXT/HTML;\r\n"
                          " charset=EUC-JP\r\n"
                          "\r\n"
                          "Subject: body\r\n");
    EXPECT_EQ(common::ReadHeaderValue("subject:", path, 1024), hello + hello);
    EXPECT_EQ(common::ReadHeaderValue("content-type:", path, 256), "TEXT/HTML;charset=EUC-JP");
    EXPECT_EQ(common::ReadHeaderValue("content-type:", path, 5), "TEXT");
    EXPECT_EQ(common::ReadHeaderValue("x-missing:", path, 256), "");
    EXPECT_EQ(common::ReadHeaderValue("subject:", dir / "none", 256), "");

    // A head line longer than any buffer must not be taken for two lines: its
    // tail would otherwise read as the header it happens to spell.
    testsupport::WriteFile(path, "X-Long: " + std::string(3000, 'a') + "Content-Type: image/png\r\n\r\n");
    EXPECT_EQ(common::ReadHeaderValue("content-type:", path, 256), "");
}

TEST(MatchPattern, LastPartAndJapanese) {
    EXPECT_TRUE(common::MatchPattern("*abc", "abcabc"));
    EXPECT_TRUE(common::MatchPattern("*abc*", "xxABCxx"));
    EXPECT_FALSE(common::MatchPattern("*abc", "abcab"));
    const std::string page = Sjis("これはＡ社の広告です。出会いのページ");
    EXPECT_TRUE(common::MatchPattern(Sjis("*Ａ社*出会い*"), page));
    EXPECT_FALSE(common::MatchPattern(Sjis("*出会い*Ａ社*"), page));
}

TEST(DecodeBase64, ReadsAtMostTheOutputSizeLessOne) {
    std::string out;
    EXPECT_EQ(common::DecodeBase64("QUJD", out, 64), 3);
    EXPECT_EQ(out, "ABC");
    EXPECT_EQ(common::DecodeBase64("QUJDREVG", out, 5), 3);
    EXPECT_EQ(out, "ABC");
}

}  // namespace
