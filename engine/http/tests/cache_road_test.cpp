// The HTTP cache end to end (-m=10): curl through a real orqhprx to the
// test origin (origin_server.py), which logs every request it gets, so a
// copy served from the cache shows as a request the origin never saw.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "road_fixture.h"

namespace {

using namespace std::chrono_literals;

constexpr auto Pattern = &listenertest::OriginPattern;

// The head of no-cache.db as the control panel creates it (comment lines,
// CR LF ends), then the administrator's lines.
std::string NoCacheFile(const std::string& lines) {
    const std::string rule = "'" + std::string(66, '-') + "\r\n";
    return rule + "'\x83\x8a\x83\x93\x83\x4e\r\n" + rule + "'http,,www.example.co.jp,80,/test/*\r\n" +
           "'http,,210.134.xxx.xxx,80,/test/*\r\n" + rule + "'ftp,userid,192.168.0.10,8021,/test/*\r\n" + rule +
           lines;
}

class CacheRoad : public roadtest::RoadFixture {
protected:
    void Start(std::vector<std::pair<std::string, std::string>> files = {}) { RoadFixture::Start({"-m=10"}, files); }

    // The body curl got (its head in `head` when given).
    std::string Fetch(const std::string& path, const std::string& options = "", std::string* head = nullptr) {
        const std::string body = work_ / "body", heads = work_ / "head";
        std::filesystem::remove(body);
        std::string out;
        EXPECT_EQ(Curl(port_, "-o " + body + " -D " + heads + " " + options + " '" + origin_.url(path) + "'", &out), 0)
            << path << out << engine_->log().substr(0, 3000);
        if (head) *head = testsupport::FileExists(heads) ? testsupport::ReadFile(heads) : "";
        return testsupport::FileExists(body) ? testsupport::ReadFile(body) : "";
    }

    // How many requests for the path reached the origin.
    int OriginGot(const std::string& path) {
        const std::string heads = origin_.heads(), line = " /" + path + " HTTP/1.1";
        int n = 0;
        for (size_t at = heads.find(line); at != std::string::npos; at = heads.find(line, at + 1)) ++n;
        return n;
    }

    // The cache file of a path as an independent MD5 names it: the key
    // holds the client's address as its rule set.
    std::string CacheFile(const std::string& path, const std::string& client = "127.0.0.1") {
        const std::string key =
            "http," + client + ",127.0.0.1," + std::to_string(origin_.port()) + ",/" + path;
        testsupport::CommandResult md5 = testsupport::RunCommand("printf %s '" + key + "' | md5sum");
        return engine_->dataFolder() + "httpcache/" + md5.output.substr(0, 32) + ".dat";
    }
};

// Two fetches of one URL reach the origin once; the second comes from the
// file named by the key's MD5, with the engine's own lines in its head.
TEST_F(CacheRoad, SecondFetchComesFromTheCache) {
    Start();
    std::string first, second;
    EXPECT_TRUE(Fetch("length/data-1000", "", &first) == Pattern(1000));
    EXPECT_TRUE(testsupport::FileExists(CacheFile("length/data-1000"))) << engine_->log();
    EXPECT_TRUE(Fetch("length/data-1000", "", &second) == Pattern(1000));
    EXPECT_EQ(OriginGot("length/data-1000"), 1) << origin_.heads();
    EXPECT_TRUE(engine_->waitForLog("] HTTP cash useing. " + CacheFile("length/data-1000"))) << engine_->log();
    EXPECT_EQ(first.find("X-Forwarded-For"), std::string::npos) << first;
    EXPECT_NE(second.find("X-Forwarded-For: 127.0.0.1\r\n"), std::string::npos) << second;
    // A chunked answer is kept as it came and served whole again.
    EXPECT_TRUE(Fetch("chunked/data-3000") == Pattern(3000));
    EXPECT_TRUE(Fetch("chunked/data-3000") == Pattern(3000));
    EXPECT_EQ(OriginGot("chunked/data-3000"), 1) << origin_.heads();
    EXPECT_TRUE(engine_->waitForEmptyCache()) << engine_->log();
}

// What is never served from the cache: a URL of no-cache.db, answers that
// forbid it, and answers to partial or conditional requests (which would
// otherwise reach a client that asked for the whole resource).
TEST_F(CacheRoad, WhatIsNotServedFromTheCache) {
    Start({{"no-cache.db", NoCacheFile("http,,127.0.0.1,*,/length/data-2*\r\n")}});
    struct {
        std::string path;
        std::string firstOptions;  // curl options of the first fetch
    } cases[] = {
        {"length/data-200", ""},
        {"nocache/data-100", ""},
        {"pragma/data-100", ""},
        {"private/data-100", ""},
        {"expired/data-100", ""},
        {"length/data-101", "-r 0-9"},
        {"length/data-102", "-z 'Sun, 06 Nov 1994 08:49:37 GMT'"},
    };
    for (const auto& c : cases) {
        Fetch(c.path, c.firstOptions);
        const size_t size = std::stoul(c.path.substr(c.path.find("data-") + 5));
        EXPECT_TRUE(Fetch(c.path) == Pattern(size)) << c.path;
        EXPECT_EQ(OriginGot(c.path), 2) << c.path << origin_.heads();
    }
    EXPECT_TRUE(engine_->waitForLog("[Query_NoCache] [")) << engine_->log();
    EXPECT_TRUE(engine_->waitForLog("'http,,127.0.0.1," + std::to_string(origin_.port()) + ",/length/data-200' hit."))
        << engine_->log();
    // A copy allowed for a while is served.
    Fetch("public/data-100");
    EXPECT_TRUE(Fetch("public/data-100") == Pattern(100));
    EXPECT_EQ(OriginGot("public/data-100"), 1) << origin_.heads();
}

// A copy older than -m minutes is fetched again (and stored anew).
TEST_F(CacheRoad, AgedCopyIsFetchedAgain) {
    Start();
    Fetch("length/data-300");
    const std::string file = CacheFile("length/data-300");
    ASSERT_TRUE(testsupport::FileExists(file)) << engine_->log();
    EXPECT_EQ(testsupport::RunCommand("touch -d '-9 minutes' " + file).exitCode, 0);
    EXPECT_TRUE(Fetch("length/data-300") == Pattern(300));
    EXPECT_EQ(OriginGot("length/data-300"), 1);
    EXPECT_EQ(testsupport::RunCommand("touch -d '-11 minutes' " + file).exitCode, 0);
    EXPECT_TRUE(Fetch("length/data-300") == Pattern(300));
    EXPECT_EQ(OriginGot("length/data-300"), 2) << engine_->log();
    EXPECT_TRUE(engine_->waitForLog("[Cache] HTTP = expired.")) << engine_->log();
    EXPECT_TRUE(Fetch("length/data-300") == Pattern(300));
    EXPECT_EQ(OriginGot("length/data-300"), 2);
}

// Clients of different rule sets (here: addresses) never share a copy.
TEST_F(CacheRoad, EachRuleSetHasItsOwnCopy) {
    Start();
    EXPECT_TRUE(Fetch("length/data-400") == Pattern(400));
    EXPECT_TRUE(Fetch("length/data-400", "--interface 127.0.0.2") == Pattern(400));
    EXPECT_EQ(OriginGot("length/data-400"), 2) << origin_.heads();
    EXPECT_TRUE(testsupport::FileExists(CacheFile("length/data-400", "127.0.0.2"))) << engine_->log();
    EXPECT_TRUE(Fetch("length/data-400", "--interface 127.0.0.2") == Pattern(400));
    EXPECT_EQ(OriginGot("length/data-400"), 2) << origin_.heads();
}

}  // namespace
