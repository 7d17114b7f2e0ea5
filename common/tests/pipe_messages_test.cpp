#include "common/pipe_messages.h"

#include <gtest/gtest.h>

namespace {

using namespace std::string_literals;

// Fields that a careless split would take for separators or lose: blanks,
// commas, non-ASCII bytes (UTF-8 and code page 932), empty fields.
const std::string kOddPath = "/d/cache/a b,c \xe3\x81\x82\x82\xa0.dat";

TEST(ScanRequest, TheEngineFormIsPathTabDigitAndSplitsBack) {
    struct Case {
        std::string path, digit, bytes;
    } cases[] = {
        {"/d/cache/req-0-0001.dat", "1", "/d/cache/req-0-0001.dat\t1"},
        {kOddPath, "3", kOddPath + "\t3"},
        {"/d/cache/x.dat", "", "/d/cache/x.dat\t"},  // SOCKS: the TAB alone
        {"", "2", "\t2"},
        {std::string(260, 'p'), "4", std::string(260, 'p') + "\t4"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(common::BuildScanRequest(c.path, c.digit), c.bytes) << c.path;
        const common::ScanRequest back = common::SplitScanRequest(c.bytes + '\0' + "junk");
        EXPECT_EQ(back.path, c.path) << c.path;
        EXPECT_EQ(back.source, c.digit) << c.path;
    }
    // A longer path is cut, not refused; the digit still follows.
    EXPECT_EQ(common::BuildScanRequest(std::string(300, 'p'), "5"), std::string(260, 'p') + "\t5");
}

TEST(ScanRequest, AnythingElseIsThePlainFormAllPath) {
    for (const std::string& text : {"/home/u/x.com"s, kOddPath, "/a\tb/x.com"s, "/a/x\t12"s, "/a/x\tz"s, ""s}) {
        const common::ScanRequest r = common::SplitScanRequest(text + '\0' + "\t1");
        EXPECT_EQ(r.path, text);
        EXPECT_EQ(r.source, std::nullopt) << text;
    }
}

TEST(ScanRequest, ThePlainFormIsThePathInAZeroedBufferOf512Bytes) {
    struct Case {
        std::string text, sent;  // what an asker hands over, what the server reads
    } cases[] = {
        {"/home/u/x.com", "/home/u/x.com"},
        {kOddPath, kOddPath},
        {"", ""},
        {std::string(511, 'p'), std::string(511, 'p')},
        {std::string(512, 'p'), std::string(511, 'p')},  // the last byte stays the NUL
        {"/a/b.com"s + '\0' + "junk", "/a/b.com"},
    };
    for (const Case& c : cases) {
        const std::string message = common::BuildPlainMessage(c.text);
        ASSERT_EQ(message.size(), common::kPlainMessageSize) << c.sent;
        EXPECT_EQ(message, c.sent + std::string(common::kPlainMessageSize - c.sent.size(), '\0')) << c.sent;
        const common::ScanRequest back = common::SplitScanRequest(message);
        EXPECT_EQ(back.path, c.sent);
        EXPECT_EQ(back.source, std::nullopt) << c.sent;
    }
}

TEST(WordFilterRequest, SplitAtTheLastStarThenTheLastQuestionMark) {
    struct Case {
        const char* text;
        const char* path;
        std::optional<std::string> list;
        std::optional<std::string> url;
    } cases[] = {
        {"/d/cache/req-0-0001.dat?http-block/10.0.0.5.db*host.example/a/b.html", "/d/cache/req-0-0001.dat",
         "http-block/10.0.0.5.db", "host.example/a/b.html"},
        {"/d/r.dat?http-block/10.0.0.5.db*host.example/a.cgi?x=1", "/d/r.dat", "http-block/10.0.0.5.db",
         "host.example/a.cgi?x=1"},
        {"/d/r.dat?http-block/x.db*host/a*b", "/d/r.dat", "http-block/x.db*host/a", "b"},
        {"/d/r.dat?http-block\\fe80::1.db*h/", "/d/r.dat", "http-block/fe80;;1.db", "h/"},
        {"/d/r.dat", "/d/r.dat", std::nullopt, std::nullopt},
        {"/d/r.dat*h/", "/d/r.dat", std::nullopt, "h/"},
        {"/d/r.dat?../cwf.db*h/", "/d/r.dat", std::nullopt, "h/"},
        {"/d/r.dat?a/../../x*h/", "/d/r.dat", std::nullopt, "h/"},
        {"/d/r.dat?/etc/passwd*h/", "/d/r.dat", std::nullopt, "h/"},
        {"/d/r.dat?*h/", "/d/r.dat", std::nullopt, "h/"},
    };
    for (const auto& c : cases) {
        const common::WordFilterRequest r = common::SplitWordFilterRequest(c.text);
        EXPECT_EQ(r.responsePath, c.path) << c.text;
        EXPECT_EQ(r.listName, c.list) << c.text;
        EXPECT_EQ(r.url, c.url) << c.text;
    }
}

TEST(WordFilterRequest, WhatTheEngineBuildsSplitsBackIntoItsFields) {
    struct Case {
        std::string path, list, url, bytes;
        std::string listAsFile;
    } cases[] = {
        {"/d/cache/req-1.dat", "http-block\\10.0.0.5.db", "host.example/a.cgi?x=1",
         "/d/cache/req-1.dat?http-block\\10.0.0.5.db*host.example/a.cgi?x=1", "http-block/10.0.0.5.db"},
        {kOddPath, "http-block\\a b,c.db", "h.example/\xe3\x81\x82 ,x", kOddPath + "?http-block\\a b,c.db*h.example/\xe3\x81\x82 ,x",
         "http-block/a b,c.db"},
        {"/d/r.dat", "l.db", "", "/d/r.dat?l.db*", "l.db"},
    };
    for (const Case& c : cases) {
        const std::string request = common::BuildWordFilterRequest(c.path, c.list, c.url);
        EXPECT_EQ(request, c.bytes);
        const common::WordFilterRequest parts = common::SplitWordFilterRequest(request + '\0' + "*x");
        EXPECT_EQ(parts.responsePath, c.path);
        EXPECT_EQ(parts.listName, c.listAsFile);
        EXPECT_EQ(parts.url, c.url);
    }
}

TEST(SpamRequest, BothFormsBuiltAndSplit) {
    struct Case {
        std::string bytes;  // as built, then split with junk after a NUL
        std::string text, list, path;
        bool smtp;
    } cases[] = {
        {common::BuildSpamRequest("/d/cache/req-1-0007.dat", "192.0.2.10", "bob@mail.example"),
         "/d/cache/req-1-0007.dat\t192.0.2.10\tbob@mail.example", "", "/d/cache/req-1-0007.dat", true},
        {common::BuildSpamRequest(kOddPath, "", ""), kOddPath + "\t\t", "", kOddPath, true},
        {common::BuildSpamRequest("/d/m.dat", "::1", "\"a b,c\"@x.example"), "/d/m.dat\t::1\t\"a b,c\"@x.example", "",
         "/d/m.dat", true},
        // A "?" in the sender names no list.
        {common::BuildSpamRequest("/d/cache/req-1-0008.dat", "192.0.2.10", "a?../../etc/passwd@x.example"),
         "/d/cache/req-1-0008.dat\t192.0.2.10\ta?../../etc/passwd@x.example", "", "/d/cache/req-1-0008.dat", true},
        {common::BuildSpamListRequest("/d/cache/req-2-0003.dat", "spamkeyword/10.0.0.5.db"), "/d/cache/req-2-0003.dat",
         "spamkeyword/10.0.0.5.db", "/d/cache/req-2-0003.dat", false},
        {common::BuildSpamListRequest("/d/cache/req-2-0004.dat", "spamkeyword\\fe80::1.db"), "/d/cache/req-2-0004.dat",
         "spamkeyword/fe80;;1.db", "/d/cache/req-2-0004.dat", false},
        {common::BuildSpamListRequest(kOddPath, ""), kOddPath, "", kOddPath, false},
        {"/d/cache/req-1-0009.dat\t192.0.2.10", "/d/cache/req-1-0009.dat\t192.0.2.10", "", "/d/cache/req-1-0009.dat",
         true},
    };
    for (const Case& c : cases) {
        const common::SpamRequest r = common::SplitSpamRequest(c.bytes + '\0' + "?x\ty");
        EXPECT_EQ(r.text, c.text) << c.bytes;
        EXPECT_EQ(r.listName, c.list) << c.bytes;
        EXPECT_EQ(r.mailPath, c.path) << c.bytes;
        EXPECT_EQ(r.smtpForm, c.smtp) << c.bytes;
    }
    EXPECT_EQ(common::BuildSpamListRequest("/d/cache/m.dat", "spamkeyword\\u.db"), "/d/cache/m.dat?spamkeyword\\u.db");
}

TEST(ListName, ReadAsAFileInsideTheDataFolder) {
    EXPECT_EQ(common::ListNameAsFile("spamkeyword\\fe80::1.db"), "spamkeyword/fe80;;1.db");
    EXPECT_TRUE(common::IsSafeListName("spamkeyword/a.db"));
    EXPECT_TRUE(common::IsSafeListName("spamkeyword/..a/b.db"));
    for (const char* unsafe : {"", "/etc/passwd", "../x.db", "spamkeyword/../../x", "..", "a/.."})
        EXPECT_FALSE(common::IsSafeListName(unsafe)) << unsafe;
}

TEST(ArchiveRequest, ThePathAloneCutAtItsLimit) {
    struct Case {
        std::string path, bytes;
    } cases[] = {
        {"/d/cache/req-1-0007.dat", "/d/cache/req-1-0007.dat"},
        {kOddPath, kOddPath},
        {"", ""},
        {std::string(261, 'p'), std::string(260, 'p')},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(common::BuildArchiveRequest(c.path), c.bytes);
        EXPECT_EQ(common::SplitArchiveRequest(c.bytes + '\0' + "junk"), c.bytes);
    }
}

TEST(Alert, FindingInBracketsThenThePath) {
    struct Case {
        std::string finding, path, bytes;
    } cases[] = {
        {"Eicar", "/home/u/x.com", "[Eicar] /home/u/x.com"},
        {"EICAR-Test-File", kOddPath, "[EICAR-Test-File] " + kOddPath},
        {"Eicar", "/home/u/p] q.com", "[Eicar] /home/u/p] q.com"},  // only the first "] " counts
        {"W32/a,b c", "", "[W32/a,b c] "},
        {"", "/x", "[] /x"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(common::BuildAlert(c.finding, c.path), c.bytes);
        const std::optional<common::Alert> back = common::SplitAlert(c.bytes + '\0' + "] x");
        ASSERT_TRUE(back) << c.bytes;
        EXPECT_EQ(back->finding, c.finding);
        EXPECT_EQ(back->path, c.path);
        // As the watchers send it.
        EXPECT_EQ(common::SplitAlert(common::BuildPlainMessage(c.bytes))->path, c.path);
    }
    // A finding holding "] " moves its rest into the path.
    EXPECT_EQ(common::SplitAlert(common::BuildAlert("a] b", "/x"))->path, "b] /x");
    // Without the "[", the finding is what precedes the "] ".
    EXPECT_EQ(common::SplitAlert("Eicar] /x")->finding, "Eicar");
    for (const std::string& text : {"no bracket"s, "[Eicar]/x"s, ""s, "[Eicar"s + '\0' + "] /x"})
        EXPECT_EQ(common::SplitAlert(text), std::nullopt) << text;
}

}  // namespace
