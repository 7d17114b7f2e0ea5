// The HTTP cache's parts: the keys and file names of a request, the
// no-cache list as the control panel writes it, and the head rules that
// decide whether a stored copy is served or a response stored.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "engine/http/http_cache.h"
#include "engine/http/request_target.h"
#include "engine/http/response_reader.h"
#include "test_support.h"

namespace {

using namespace engine;

TEST(HttpCache, Md5NamesTheFile) {
    EXPECT_EQ(Md5Hex(""), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(Md5Hex("abc"), "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ(HttpCacheFile("/d/VELQOR/", "abc"), "/d/VELQOR/httpcache/900150983cd24fb0d6963f7d28e17f72.dat");
}

// The rule set is in the file's key; the key the no-cache list sees is the
// URL's alone. The file's key keeps the path's case and its whole length
// (only the host's case means nothing). Only GETs of http:// targets have
// keys.
TEST(HttpCache, KeysOfRequests) {
    struct {
        std::string line, hostHeader;
        bool socks;
        std::string user, key, listKey;
    } cases[] = {
        {"GET http://H.test:8080/A/b?c HTTP/1.1", "", false, "Alice", "http,Alice,h.test,8080,/A/b?c",
         "http,,h.test,8080,/a/b?c"},
        {"get http://h.test HTTP/1.0", "", false, "10.0.0.9", "http,10.0.0.9,h.test,80,/", "http,,h.test,80,/"},
        {"PROPFIND http://h.test/ HTTP/1.1", "", false, "u", "", ""},
        {"GET https://h.test/ HTTP/1.1", "", false, "u", "", ""},
        {"HEAD http://h.test/ HTTP/1.1", "", false, "u", "", ""},
        {"GET /x HTTP/1.1", "h.test:81", true, "u", "http,u,h.test,81,/x", "http,,h.test,81,/x"},
        {"GET http://h.test/" + std::string(2000, 'a') + " HTTP/1.1", "", false, "",
         "http,,h.test,80,/" + std::string(2000, 'a'), ("http,,h.test,80,/" + std::string(2000, 'a')).substr(0, kCacheKeyLimit)},
    };
    for (const auto& c : cases) {
        RequestTarget target;
        ASSERT_EQ(ParseRequestTarget(c.line, c.socks, c.hostHeader, target), TargetResult::Ok) << c.line;
        CacheKeys keys;
        EXPECT_EQ(HttpCacheKeys(target, c.user, keys), !c.key.empty()) << c.line;
        if (c.key.empty()) continue;
        EXPECT_EQ(keys.key, c.key) << c.line;
        EXPECT_EQ(keys.listKey, c.listKey) << c.line;
    }
}

// The file as the control panel creates it (its header of comment lines,
// CR LF ends) with the administrator's lines below; a double quote does
// not make a comment here.
TEST(HttpCache, NoCacheListAsThePanelWritesIt) {
    testsupport::TempDir dir;
    const std::string file = dir / "no-cache.db";
    testsupport::WriteFile(file,
                           "'------------------------------------------------------------------\r\n"
                           "'http,,210.134.xxx.xxx,80,/test/*\r\n"
                           "'ftp,userid,192.168.0.10,8021,/test/*\r\n"
                           "\r\n"
                           " http,,blank.test,80,/*\r\n"
                           "http,,h.test,80,/test/*\r\n"
                           "\"http,,quote.test,80,/*\r\n"
                           "HTTP,,*.Example,8080,/\r\n");
    struct {
        std::string key;
        int hit;
    } cases[] = {
        {"http,,h.test,80,/test/a.html", 1}, {"http,,h.test,80,/other", 0},
        {"http,,210.134.1.1,80,/test/a", 0}, {"http,,blank.test,80,/", 0},
        {"\"http,,quote.test,80,/", 1},      {"http,,www.example,8080,/", 1},
        {"http,,www.example,8080,/a", 0},
    };
    for (const auto& c : cases) EXPECT_EQ(Query_NoCache(file, 7, c.key), c.hit) << c.key;
    EXPECT_EQ(Query_NoCache(dir / "missing.db", 7, "http,,h.test,80,/test/a"), 0);
}

// Head rules of a stored copy written at 1000 and looked at 100 s later;
// each can only make it stale.
TEST(HttpCache, HeadRulesOfAStoredCopy) {
    struct {
        const char* name;
        std::string head;
        bool fresh;
    } cases[] = {
        {"plain", "HTTP/1.1 200 OK\r\nContent-Length: 1\r\n\r\nx", true},
        {"bare LF head", "HTTP/1.1 200 OK\nContent-Length: 1\n\nx", true},
        {"partial", "HTTP/1.1 206 Partial Content\r\nContent-Length: 1\r\n\r\nx", false},
        {"not modified", "HTTP/1.1 304 Not Modified\r\n\r\n", false},
        {"no status line", "x", false},
        {"expires ahead", "HTTP/1.1 200 OK\r\nExpires: Thu, 01 Jan 1970 01:00:00 GMT\r\n\r\n", true},
        {"expires past", "HTTP/1.1 200 OK\r\nEXPIRES: Thu, 01 Jan 1970 00:00:01 GMT\r\n\r\n", false},
        {"expires unreadable", "HTTP/1.1 200 OK\r\nExpires: 0\r\n\r\n", false},
        {"pragma", "HTTP/1.1 200 OK\r\nPragma: no-cache\r\n\r\n", false},
        {"cache-control without public", "HTTP/1.1 200 OK\r\nCache-Control: max-age=600\r\n\r\n", false},
        {"public, no-cache", "HTTP/1.1 200 OK\r\nCache-Control: public, no-cache\r\n\r\n", false},
        {"public, long max-age", "HTTP/1.1 200 OK\r\nCache-Control: Public, Max-Age=600\r\n\r\n", true},
        {"public, short max-age", "HTTP/1.1 200 OK\r\nCache-Control: public, max-age=60\r\n\r\n", false},
        {"rules in the body", "HTTP/1.1 200 OK\r\n\r\nPragma: no-cache\r\n", true},
    };
    for (const auto& c : cases) {
        std::string bytes = c.head;
        FILE* file = fmemopen(bytes.data(), bytes.size(), "rb");
        ASSERT_NE(file, nullptr);
        EXPECT_EQ(HeadKeepsFresh(file, 1000, 1100, 3), c.fresh) << c.name;
        std::fclose(file);
    }
}

// Only a complete 200 answer to a request for the whole resource is
// stored, and only when its head does not make it stale at once.
TEST(HttpCache, StorableResponses) {
    struct {
        const char* name;
        std::string request, response;
        bool storable;
    } cases[] = {
        {"whole", "GET http://h/ HTTP/1.1\r\n\r\n", "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nab", true},
        {"cut short", "GET http://h/ HTTP/1.1\r\n\r\n", "HTTP/1.1 200 OK\r\nContent-Length: 3\r\n\r\nab", false},
        {"not found", "GET http://h/ HTTP/1.1\r\n\r\n", "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n", false},
        {"range asked", "GET http://h/ HTTP/1.1\r\nrange: bytes=0-1\r\n\r\n",
         "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nab", false},
        {"conditional", "GET http://h/ HTTP/1.1\r\nIf-None-Match: \"x\"\r\n\r\n",
         "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nab", false},
        {"private", "GET http://h/ HTTP/1.1\r\n\r\n",
         "HTTP/1.1 200 OK\r\nCache-Control: private\r\nContent-Length: 2\r\n\r\nab", false},
        // One user's answer must not reach another.
        {"credentials", "GET http://h/ HTTP/1.1\r\nAuthorization: Basic dTpw\r\n\r\n",
         "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nab", false},
        {"credentials, public", "GET http://h/ HTTP/1.1\r\nauthorization: Basic dTpw\r\n\r\n",
         "HTTP/1.1 200 OK\r\nCache-Control: public, max-age=60\r\nContent-Length: 2\r\n\r\nab", true},
        {"credentials, s-maxage", "GET http://h/ HTTP/1.1\r\nAuthorization: Basic dTpw\r\n\r\n",
         "HTTP/1.1 200 OK\r\nCache-Control: public, s-maxage=60\r\nContent-Length: 2\r\n\r\nab", true},
        {"a cookie set", "GET http://h/ HTTP/1.1\r\n\r\n",
         "HTTP/1.1 200 OK\r\nSet-Cookie: s=1\r\nContent-Length: 2\r\n\r\nab", false},
        {"varies by cookie", "GET http://h/ HTTP/1.1\r\n\r\n",
         "HTTP/1.1 200 OK\r\nVary: Accept-Encoding, Cookie\r\nContent-Length: 2\r\n\r\nab", false},
        {"varies by everything", "GET http://h/ HTTP/1.1\r\n\r\n",
         "HTTP/1.1 200 OK\r\nvary: *\r\nContent-Length: 2\r\n\r\nab", false},
        {"varies by encoding", "GET http://h/ HTTP/1.1\r\n\r\n",
         "HTTP/1.1 200 OK\r\nVary: accept-encoding\r\nContent-Length: 2\r\n\r\nab", true},
        {"after 100 Continue", "GET http://h/ HTTP/1.1\r\n\r\n",
         "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nab", false},
    };
    for (const auto& c : cases) {
        ResponseReader reader;
        std::string body;
        reader.Feed(c.response, body);
        if (!reader.ended()) reader.FinishAtClose(body);
        EXPECT_EQ(ResponseIsStorable(c.request, reader, 5000), c.storable) << c.name;
    }
}

}  // namespace
