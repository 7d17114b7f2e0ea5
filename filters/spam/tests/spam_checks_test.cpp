// The checks that need no DNS: the short mail name of the log, the MIME
// walk with its keyword list, link hosts, the names a blocklist walk asks,
// the pass list, the Date header and the marking of a mail.
#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

#include "common/local_time.h"
#include "filters/spam/body_check.h"
#include "filters/spam/date_check.h"
#include "filters/spam/mark_mail.h"
#include "filters/spam/spam_request.h"
#include "filters/spam/spf_check.h"
#include "platform/codepage/codepage.h"
#include "spam_test_setup.h"

namespace {

using testsupport::ReadFile;
using testsupport::WriteFile;

TEST(SpamRequest, TheLogNamesAMailByItsFileNameUpToTheFirstDot) {
    for (auto [path, shortName] : {std::pair{"/d/cache/req-1-0007.dat", "req-1-0007"}, {"req-2.x.dat", "req-2"},
                                   {"/d/cache/noext", "noext"}, {"/d.x/cache/m", "m"}, {"", ""}})
        EXPECT_EQ(spam::ShortMailName(path), shortName) << path;
}

TEST(MailDate, FormsAsWritten) {
    struct Case {
        const char* text;
        int year, month, day, hour, minute, second;
    };
    const Case cases[] = {
        {"Tue, 8 Dec 2026 10:00:00 +0900", 2026, 12, 8, 10, 0, 0},
        {"8 Dec 26 10:11:12 +0900", 26, 12, 8, 10, 11, 12},
        {"Wed,  9 jan 2025 01:02:03 -0500 (EST)", 2025, 1, 9, 1, 2, 3},
        {"2026-12-08 23:59:58", 2026, 12, 8, 23, 59, 58},
        {"garbage", 0, 0, 0, 0, 0, 0},
    };
    for (const Case& c : cases) {
        spam::MailDate date = spam::ParseMailDate(c.text);
        EXPECT_EQ(date.year, c.year) << c.text;
        EXPECT_EQ(date.month, c.month) << c.text;
        EXPECT_EQ(date.day, c.day) << c.text;
        EXPECT_EQ(date.hour, c.hour) << c.text;
        EXPECT_EQ(date.minute, c.minute) << c.text;
        EXPECT_EQ(date.second, c.second) << c.text;
    }
}

TEST(MailDate, OnlyThisYearPassesAndAHitIsMarked) {
    spamtest::DataFolder data;
    const int year = common::NowLocal().year;
    struct Case {
        std::string head;
        int hit;
    };
    const Case cases[] = {
        {"Date: Tue, 8 Dec " + std::to_string(year) + " 10:00:00 +0900\r\n", 0},
        {"Date: Tue, 8 Dec " + std::to_string(year + 1) + " 10:00:00 +0900\r\n", 1},
        {"Date: 8 Dec " + std::to_string(year % 100) + " 10:00:00 +0900\r\n", 1},
        {"", 1},
    };
    for (const Case& c : cases) {
        std::string path = data / "mail.dat";
        WriteFile(path, "From: a@b.example\r\n" + c.head + "Subject: Hi\r\n\r\nbody\r\n");
        EXPECT_EQ(spam::QueryRightDate(path), c.hit) << c.head;
        EXPECT_EQ(ReadFile(path).find("X-Tavrisk-SpamCheck: TRUE") != std::string::npos, c.hit == 1) << c.head;
    }
}

TEST(MarkSpamMail, OnlyTheSubjectAndTheCheckHeaderChange) {
    spamtest::DataFolder data;
    const std::string longLine(5000, 'x');
    struct Case {
        const char* what;
        std::string tag, mail, marked;
    };
    const Case cases[] = {
        {"tagged subject", "[SPAM]", "From: a\r\nSubject: Hello\r\n\r\nbody\r\n" + longLine + "\r\n",
         "From: a\r\nSubject: [SPAM]Hello\r\nX-Tavrisk-SpamCheck: TRUE\r\n\r\nbody\r\n" + longLine + "\r\n"},
        {"no blank after the colon", "[SPAM]", "subject:Hello\r\n\r\nb\r\n",
         "Subject: [SPAM]Hello\r\nX-Tavrisk-SpamCheck: TRUE\r\n\r\nb\r\n"},
        {"no subject", "[SPAM]", "From: a\r\n\r\nb\r\n", "From: a\r\nSubject: [SPAM]\r\nX-Tavrisk-SpamCheck: TRUE\r\n\r\nb\r\n"},
        {"empty tag", "", "Subject: Hello\r\n\r\nb\r\n", "Subject: Hello\r\nX-Tavrisk-SpamCheck: TRUE\r\n\r\nb\r\n"},
        {"long subject line and continuation", "[SPAM]", "Subject: " + longLine + "\r\n more\r\n\r\n",
         "Subject: [SPAM]" + longLine + "\r\n more\r\nX-Tavrisk-SpamCheck: TRUE\r\n\r\n"},
        {"all head, no line end", "[SPAM]", "Subject: Hi", "Subject: [SPAM]Hi\r\nX-Tavrisk-SpamCheck: TRUE\r\n"},
        {"LF line ends and a body that looks like a head", "[SPAM]", "Subject: A\n\nSubject: B\n",
         "Subject: [SPAM]A\nX-Tavrisk-SpamCheck: TRUE\r\n\nSubject: B\n"},
        // A Japanese tag (CP932 "[迷惑]") goes in as an encoded word.
        {"Japanese tag", "[\x96\xc0\x98\x66]", "Subject: news\r\n\nb\r\n",
         "Subject: =?ISO-2022-JP?B?WxskQkxCT0cbKEJd?= news\r\nX-Tavrisk-SpamCheck: TRUE\r\n\nb\r\n"},
        {"Japanese tag, no subject", "[\x96\xc0\x98\x66]", "From: a\r\n\r\nb\r\n",
         "From: a\r\nSubject: =?ISO-2022-JP?B?WxskQkxCT0cbKEJd?=\r\nX-Tavrisk-SpamCheck: TRUE\r\n\r\nb\r\n"},
    };
    for (const Case& c : cases) {
        std::string path = data / "mail.dat";
        WriteFile(path, c.mail);
        EXPECT_TRUE(spam::MarkSpamMail(path, c.tag)) << c.what;
        EXPECT_EQ(ReadFile(path), c.marked) << c.what;
        EXPECT_FALSE(testsupport::FileExists(path + ".tmp")) << c.what;
    }
}

TEST(MarkSpamMail, AFailedWriteKeepsTheMail) {
    spamtest::DataFolder data;
    const std::string mail = "Subject: Hi\r\n\r\nbody\r\n";
    WriteFile(data / "mail.dat", mail);
    // A disk that takes no more than the original's size.
    struct rlimit old {};
    getrlimit(RLIMIT_FSIZE, &old);
    signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = mail.size();
    setrlimit(RLIMIT_FSIZE, &small);
    bool marked = spam::MarkSpamMail(data / "mail.dat", "[SPAM]");
    setrlimit(RLIMIT_FSIZE, &old);
    signal(SIGXFSZ, SIG_DFL);
    EXPECT_FALSE(marked);
    EXPECT_EQ(ReadFile(data / "mail.dat"), mail);
}

TEST(ExtractUrlHost, LinksAddressesAndShortLinks) {
    const std::vector<std::string> shortUrls{"' comment", "short.example/abc12 spam.example",
                                             "short.example/abc spam2.example"};
    struct Case {
        const char* line;
        const char* host;  // nullptr: none
    };
    const Case cases[] = {
        {"Visit http://a.b.spam.example/offer", "a.b.spam.example"},
        {"see www.shop.example today", "www.shop.example"},
        {"write to bob@mail.example", "mail.example"},
        {"http://www=2ebad=2eexample/x", "www.bad.example"},
        {"http://%77ww.pct.example/", "www.pct.example"},
        {"go to http://short.example/abc12 now", "spam.example"},
        {"go to http://SHORT.example/ABC12?x=1", "spam.example"},
        {"go to http://short.example/abc123", "short.example"},
        {"http://host.example:8080/x", "host.example"},
        {"plain bad.example text", nullptr},
        {"no host here", nullptr},
        {"http://", nullptr},
    };
    for (const Case& c : cases) {
        std::string host;
        int found = spam::ExtractUrlHost(host, c.line, shortUrls);
        EXPECT_EQ(found, c.host ? 1 : 0) << c.line;
        if (c.host) {
            EXPECT_EQ(host, c.host) << c.line;
        }
    }
}

TEST(QueryDnsblZone, NamesInTheOrderAsked) {
    using Names = std::vector<std::string>;
    EXPECT_EQ(spam::DnsblQueryNames("a.b.spam.example", 2), (Names{"spam.example", "b.spam.example", "a.b.spam.example"}));
    EXPECT_EQ(spam::DnsblQueryNames("x.a.b.spam.example", 1), (Names{"spam.example", "b.spam.example", "a.b.spam.example"}));
    EXPECT_EQ(spam::DnsblQueryNames("a.b.spam.example", 0), (Names{"a.b.spam.example"}));
    EXPECT_EQ(spam::DnsblQueryNames("spam.example", 2), (Names{"spam.example"}));
    EXPECT_EQ(spam::DnsblQueryNames("192.0.2.9", 2), (Names{"9.2.0.192", "192.0.2.9"}));
    EXPECT_EQ(spam::DnsblQueryNames("192.0.2.9", 0), (Names{"9.2.0.192"}));
    EXPECT_EQ(spam::DnsblQueryNames("localhost", 2), Names{});
}

TEST(QueryPassSpf, SendersAndClients) {
    spamtest::DataFolder data;
    data.Write("passspf.db",
               "' exempt senders and clients\r\n*@friend.example\r\nboss@work.example\r\n192.0.2.5\r\n"
               "198.51.100.0/25\r\n203.0.113.*\r\n2001:db8::/32\r\n");
    const std::string file = data / "passspf.db";
    struct Case {
        const char* value;
        int mode, listed;
    };
    const Case cases[] = {
        {"anyone@friend.example", 0, 1}, {"anyone@FRIEND.example", 0, 1}, {"anyone@unfriend.example.org", 0, 0},
        {"BOSS@work.example", 0, 1},     {"boss@work.example.org", 0, 0}, {"192.0.2.5", 1, 1},
        {"192.0.2.50", 1, 0},            {"198.51.100.127", 1, 1},        {"198.51.100.128", 1, 0},
        {"203.0.113.77", 1, 1},          {"2001:db8::25", 1, 1},          {"::ffff:192.0.2.5", 1, 1},
    };
    for (const Case& c : cases) EXPECT_EQ(spam::QueryPassSpf(file, c.value, c.mode), c.listed) << c.value;
    EXPECT_EQ(spam::QueryPassSpf(data / "missing.db", "192.0.2.5", 1), 0);
}

// The walk through a mail's parts with a keyword list and no zones.
class MimeWalk : public ::testing::Test {
protected:
    int Check(const std::string& mail, const std::string& listName = "") {
        std::string path = data_ / "mail.dat";
        WriteFile(path, mail);
        return spam::CheckSpamBody(path, listName);
    }
    spamtest::DataFolder data_;
};

TEST_F(MimeWalk, KeywordsInEveryEncoding) {
    data_.Write("spamkeyword.db", "' spam words\r\n*cheap pills*\r\n" +
                                      platform::Utf8ToCp932("*出会い*") + "\r\n");
    const std::string jis = platform::ConvertText(65001, 50220, "素敵な出会いを");
    struct Case {
        const char* what;
        std::string mail;
        int hit;
    };
    const Case cases[] = {
        {"plain", "Subject: x\r\n\r\nbuy cheap pills now\r\n", 1},
        {"clean", "Subject: x\r\n\r\nhello\r\n", 0},
        {"ISO-2022-JP body", "Subject: x\r\nContent-Type: text/plain; charset=ISO-2022-JP\r\n\r\n" + jis + "\r\n", 1},
        {"Base64 part",
         "Content-Type: multipart/mixed; boundary=\"b1\"\r\n\r\n--b1\r\nContent-Transfer-Encoding: base64\r\n\r\n"
         "YnV5IGNoZWFwIHBpbGxzIG5vdw==\r\n--b1--\r\n", 1},
        {"7bit part after a Base64 part",
         "Content-Type: multipart/mixed;\r\n boundary=b2; charset=x\r\n\r\n--b2\r\nContent-Transfer-Encoding: base64\r\n\r\n"
         "aGVsbG8=\r\n--b2\r\nContent-Type: text/plain\r\n\r\nbuy cheap pills now\r\n--b2--\r\n", 1},
        {"after the closing boundary", "Content-Type: multipart/mixed; boundary=b3\r\n\r\n--b3\r\n\r\nhi\r\n--b3--\r\n"
                                       "buy cheap pills now\r\n", 0},
        {"quoted-printable", "Content-Transfer-Encoding: quoted-printable\r\n\r\nbuy cheap=20pills now\r\n", 1},
        {"5,000-character line", "Subject: x\r\n\r\n" + std::string(4000, 'a') + " cheap pills " + std::string(1000, 'b') + "\r\n", 1},
        {"checked before", "X-Tavrisk-SpamCheck: TRUE\r\n\r\nbuy cheap pills now\r\n", 0},
        {"a header named only by its beginning", "X\r\nX-Tav\r\n\r\nbuy cheap pills now\r\n", 1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Check(c.mail), c.hit) << c.what;
        EXPECT_EQ(ReadFile(data_ / "mail.dat").find("X-Tavrisk-SpamCheck: TRUE\r\n\r\n") != std::string::npos,
                  c.hit == 1 || std::string(c.what) == "checked before")
            << c.what;
    }
}

// The mail is read a block at a time: lines across a block's end, and what
// follows a line past the 64 KiB that a line is looked at.
TEST_F(MimeWalk, LongLinesAndLinesAcrossReadBlocks) {
    data_.Write("spamkeyword.db", "*cheap pills*\r\n");
    const std::string head = "Subject: x\r\n\r\n";
    struct Case {
        const char* what;
        std::string mail;
        int hit;
    };
    const Case cases[] = {
        {"a keyword across a block's end", head + std::string(65530 - head.size(), 'a') + " cheap pills\r\n", 1},
        {"the line after an overlong one", head + std::string(70000, 'a') + "\r\nbuy cheap pills now\r\n", 1},
        {"a keyword past the part of a line looked at", head + std::string(70000, 'a') + " cheap pills\r\n", 0},
        {"a last line without its line end", head + "hello\r\nbuy cheap pills", 1},
    };
    for (const Case& c : cases) EXPECT_EQ(Check(c.mail), c.hit) << c.what;
}

TEST_F(MimeWalk, TheRequestsListWhenItExists) {
    data_.Write("spamkeyword.db", "*common word*\r\n");
    testsupport::MakeDirs(data_ / "spamkeyword");
    data_.Write("spamkeyword/10.0.0.5.db", "*own word*\r\n");
    EXPECT_EQ(Check("\r\nan own word\r\n", "spamkeyword/10.0.0.5.db"), 1);
    EXPECT_EQ(Check("\r\na common word\r\n", "spamkeyword/10.0.0.5.db"), 0);
    EXPECT_EQ(Check("\r\na common word\r\n", "spamkeyword/10.0.0.6.db"), 1);
    EXPECT_EQ(Check("\r\na common word\r\n", "../spamkeyword.db"), 1);
    EXPECT_EQ(Check("\r\nan own word\r\n"), 0);
}

}  // namespace
