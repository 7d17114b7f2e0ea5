#include <gtest/gtest.h>

#include "common/wildcard.h"

namespace {

struct Case {
    const char* pattern;
    const char* text;
    bool match;
};

const Case kCases[] = {
    // No star: the whole text, any letter case.
    {"http://host.test/", "http://host.test/", true},
    {"HTTP://Host.Test/", "http://host.test/", true},
    {"http://host.test/", "http://host.test/a", false},
    {"http://host.test/a", "http://host.test/", false},
    {"", "", true},
    {"", "x", false},
    // Head anchored at the start.
    {"http://*", "http://anything", true},
    {"http://*", "https://anything", false},
    {"http://*", "http://", true},
    // The last segment is a suffix, whatever came earlier.
    {"http://*.htm", "http://a/b.htm", true},
    {"http://*.htm", "HTTP://HOST/A.HTM", true},
    {"http://*.htm", "http://host/a.html", false},
    {"http://*.htm", "http://a/x.htm.b/c.htm", true},
    {"*.exe", "http://h/a.exe?.exe", true},
    {"*.exe", "http://h/a.exe?x", false},
    {"a*b", "abb", true},
    {"a*b", "ab", true},
    {"a*b", "a", false},
    {"ab*ba", "aba", false},  // head and tail may not share characters
    {"ab*ba", "abba", true},
    // Middle segments in order.
    {"*host.test*", "http://www.HOST.TEST/x", true},
    {"*host.test*", "http://www.host.tes/x", false},
    {"a*b*c", "a-c-b-c", true},
    {"a*b*c", "a-c-b-", false},
    {"a*c*b", "a-b-c", false},
    {"*a*a*", "a", false},
    {"*a*a*", "aa", true},
    // Lone and doubled stars.
    {"*", "", true},
    {"*", "whatever", true},
    {"**", "whatever", true},
    {"a**b", "a-b", true},
    {"a**b", "ab", true},
    {"*.**.exe", "x.y.exe", true},
    // List keys, and the engine's built-in https entry.
    {"10.0.0.1:*,get,tcp,*,80", "10.0.0.1:8080,get,tcp,host.test,80", true},
    {"10.0.0.1:*,get,tcp,*,80", "10.0.0.1:8080,get,tcp,host.test,8080", false},
    {"https://*:*/", "https://host:8443/", true},
    {"https://*:*/", "https://host:8443/a", false},
    {"https://*:*/", "https://host/,", false},
    // Bytes above 0x7F compare as they are.
    {"*\x82\xa0*", "x\x82\xa0y", true},
    {"*\x82\xa0*", "x\x82\xc0y", false},
};

TEST(WildcardMatchTest, MatchesTheTableOfCases) {
    for (const Case& c : kCases) {
        EXPECT_EQ(common::WildcardMatch(c.pattern, c.text), c.match)
            << "pattern '" << c.pattern << "' text '" << c.text << "'";
    }
}

}  // namespace
