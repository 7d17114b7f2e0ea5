#include <gtest/gtest.h>

#include "archiver/svt/mail_text.h"
#include "common/text.h"
#include "platform/codepage/codepage.h"
#include "test_support.h"

namespace {

using archiver::ToIso2022Jp;

std::string Sjis(const char* utf8) { return platform::Utf8ToCp932(utf8); }

TEST(MailText, Iso2022JpAsTheWindowsCodePageWritesIt) {
    struct Case {
        const char* utf8;
        std::string expected;
    };
    for (const Case& c : {
             Case{"abc", "abc"},
             Case{"見積", "\x1b$B8+@Q\x1b(B"},
             // Half-width katakana become their full-width forms.
             Case{"ｱｲ", "\x1b$B%\"%$\x1b(B"},
             // NEC special row 13 stays inside the JIS plane.
             Case{"①Ⅰ", "\x1b$B-!-5\x1b(B"},
             Case{"a見\r\nb", "a\x1b$B8+\x1b(B\r\nb"},
         }) {
        EXPECT_EQ(ToIso2022Jp(Sjis(c.utf8)), c.expected) << c.utf8;
    }
    // The IBM extension form of a character goes out as its NEC-selected twin,
    // and our own reader gives back the same character.
    const std::string ibm = "\xfb\xfc";  // 髙 as CP932 writes it
    const std::string jis = ToIso2022Jp(ibm);
    EXPECT_EQ(jis.substr(0, 3), "\x1b$B");
    EXPECT_EQ(platform::Cp932ToUtf8(platform::ConvertText(50220, 932, jis)), "髙");
}

TEST(MailText, EncodedWordsReadBackByPythonsEmailModule) {
    const std::string word = archiver::Iso2022JpEncodedWord(Sjis("見積書 ｶﾀｶﾅ.pdf"));
    EXPECT_EQ(word.substr(0, 16), "=?ISO-2022-JP?B?");
    EXPECT_EQ(word.substr(word.size() - 2), "?=");
    testsupport::TempDir dir;
    testsupport::WriteFile(dir / "word.txt", word);
    auto result = testsupport::RunCommand(
        "/usr/bin/python3 -c \"import email.header,sys; "
        "print(str(email.header.make_header(email.header.decode_header(open(sys.argv[1]).read()))))\" " +
        dir / "word.txt");
    EXPECT_EQ(result.output, "見積書 カタカナ.pdf\n");

    // The archive name: subject, dot and extension, as Base64 of ISO-2022-JP.
    std::string bytes;
    const std::string name = archiver::EncodedArchiveName(Sjis("見積"), "ZIP");
    common::Base64ToText(name, bytes, 1024);
    EXPECT_EQ(bytes, "\x1b$B8+@Q\x1b(B.ZIP");
    EXPECT_EQ(archiver::EncodedArchiveName("", "ZIP"), common::TextToBase64(".ZIP"));
}

TEST(MailText, HeaderValuesDecodedIntoTheLocalCodePage) {
    struct Case {
        const char* value;
        const char* utf8;
    };
    for (const Case& c : {
             Case{"=?ISO-2022-JP?B?GyRCOCtAURsoQg==?=.pdf", "見積.pdf"},
             Case{"=?utf-8?Q?=E8=A6=8B_1?= menu", "見_1 menu"},
             Case{"=?EUC-JP?B?uKvA0Q==?=", "見積"},
             Case{"=?x-unknown?B?YWJj?=", "abc"},
             Case{"\x1b$B8+@Q\x1b(B.txt", "見積.txt"},
         }) {
        EXPECT_EQ(platform::Cp932ToUtf8(archiver::DecodeHeaderText(c.value)), c.utf8) << c.value;
    }
}

TEST(MailText, Base64LinesBothWays) {
    std::string data;
    for (int i = 0; i < 1000; ++i) data += static_cast<char>(i * 7);
    std::string encoded;
    archiver::Base64LineWriter writer;
    writer.Add(data.substr(0, 10), encoded);
    writer.Add(data.substr(10, 500), encoded);
    writer.Add(data.substr(510), encoded);
    writer.Finish(encoded);
    size_t lines = 0;
    for (size_t at = 0; at < encoded.size();) {
        const size_t end = encoded.find("\r\n", at);
        ASSERT_NE(end, std::string::npos);
        EXPECT_LE(end - at, 64u);
        if (end - at < 64) {
            EXPECT_EQ(end + 2, encoded.size()) << "only the last line is shorter";
        }
        at = end + 2;
        ++lines;
    }
    EXPECT_EQ(lines, (data.size() + 47) / 48);

    // Lines of any length, groups split across lines, stray characters.
    const std::string flat = common::TextToBase64(data);
    std::string cut;
    for (size_t at = 0; at < flat.size(); at += 301) cut += flat.substr(at, 301) + " \r\n";
    std::string decoded;
    archiver::Base64StreamDecoder decoder;
    for (size_t at = 0; at < cut.size(); at += 77) decoder.Add(cut.substr(at, 77), decoded);
    EXPECT_EQ(decoded, data);
}

}  // namespace
