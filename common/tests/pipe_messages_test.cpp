#include "common/pipe_messages.h"

#include <gtest/gtest.h>

namespace {

using common::SplitWordFilterRequest;
using common::WordFilterRequest;

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
        const WordFilterRequest r = SplitWordFilterRequest(c.text);
        EXPECT_EQ(r.responsePath, c.path) << c.text;
        EXPECT_EQ(r.listName, c.list) << c.text;
        EXPECT_EQ(r.url, c.url) << c.text;
    }
}

TEST(WordFilterRequest, WhatTheEngineBuildsSplitsBackIntoItsFields) {
    const std::string request = common::BuildWordFilterRequest("/d/cache/req-1.dat", "http-block\\10.0.0.5.db",
                                                                "host.example/a.cgi?x=1");
    EXPECT_EQ(request, "/d/cache/req-1.dat?http-block\\10.0.0.5.db*host.example/a.cgi?x=1");
    const WordFilterRequest parts = SplitWordFilterRequest(request);
    EXPECT_EQ(parts.responsePath, "/d/cache/req-1.dat");
    EXPECT_EQ(parts.listName, "http-block/10.0.0.5.db");
    EXPECT_EQ(parts.url, "host.example/a.cgi?x=1");
}

TEST(SpamRequest, BothFormsAndTheAlert) {
    EXPECT_EQ(common::BuildSpamRequest("/d/cache/m.dat", "10.0.0.5", "a@example.jp"),
              "/d/cache/m.dat\t10.0.0.5\ta@example.jp");
    EXPECT_EQ(common::BuildSpamListRequest("/d/cache/m.dat", "spamkeyword/u.db"), "/d/cache/m.dat?spamkeyword/u.db");
    EXPECT_EQ(common::ListNameAsFile("spamkeyword\\fe80::1.db"), "spamkeyword/fe80;;1.db");
    EXPECT_EQ(common::BuildAlert("Eicar", "/home/u/x.com"), "[Eicar] /home/u/x.com");
}

}  // namespace
