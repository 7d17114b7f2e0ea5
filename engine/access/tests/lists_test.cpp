#include <gtest/gtest.h>

#include <string>

#include "engine/access/lists.h"
#include "test_support.h"

namespace {

class ListsTest : public ::testing::Test {
protected:
    std::string Write(const std::string& name, const std::string& content) {
        std::string path = dir_ / name;
        testsupport::WriteFile(path, content);
        return path;
    }
    std::string PathOf(const std::string& name) const { return dir_ / name; }

    testsupport::TempDir dir_;
};

TEST_F(ListsTest, EntriesMatchTheUrlKeyOrTheListKey) {
    const std::string list = Write("black.db",
                                   "' comment line\r\n"
                                   "\r\n"
                                   "   \r\n"
                                   "\"http://quoted.test/\r\n"
                                   "http://*.htm\r\n"
                                   "*host.test*\r\n"
                                   "10.0.0.1,get,tcp,*,80\r\n"
                                   "10.0.0.2:3128,connect,tcp,*,443\n");
    struct Case {
        const char* urlKey;
        const char* listKey;
        bool hit;
    };
    const Case cases[] = {
        {"http://site.example/a.htm", "", true},
        {"HTTP://SITE.EXAMPLE/A.HTM", "", true},
        {"http://site.example/a.html", "", false},
        {"http://www.HOST.test/x/", "", true},
        {"http://quoted.test/", "", false},  // a comment, not an entry
        // A list-key entry without a listening port matches any port.
        {"http://other.example/", "10.0.0.1:8080,get,tcp,other.example,80", true},
        {"http://other.example/", "10.0.0.1:8080,get,tcp,other.example,8080", false},
        {"http://other.example/", "10.0.0.2:3128,connect,tcp,other.example,443", true},
        {"http://other.example/", "10.0.0.2:8080,connect,tcp,other.example,443", false},
        // Without a list key only the URL key is tested.
        {"10.0.0.1:8080,get,tcp,other.example,80", "", true},
        {"http://other.example/", "", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(engine::QueryDBList(list, c.urlKey, c.listKey), c.hit) << c.urlKey << " / " << c.listKey;
    }
}

TEST_F(ListsTest, BlackListHoldsTheBuiltInHttpsEntryEvenWhenMissing) {
    const std::string black = PathOf("black.db");
    EXPECT_TRUE(engine::QueryDBList(black, "https://host:8443/", "10.0.0.1:8080,get,tcp,host,8443"));
    EXPECT_FALSE(engine::QueryDBList(black, "https://host:8443/a", ""));
    EXPECT_FALSE(engine::QueryDBList(black, "https://host/,", ""));
    // Only the URL key is tested against it.
    EXPECT_FALSE(engine::QueryDBList(black, "http://host/", "https://host:8443/"));
    // The white list has no built-in entry.
    EXPECT_FALSE(engine::QueryDBList(PathOf("white.db"), "https://host:8443/", ""));
    Write("white.db", "");
    EXPECT_FALSE(engine::QueryDBList(PathOf("white.db"), "https://host:8443/", ""));
}

TEST_F(ListsTest, StarLineMatchesEveryKey) {
    const std::string white = Write("white.db", "*\n");
    EXPECT_TRUE(engine::QueryDBList(white, "http://anything/", ""));
    EXPECT_TRUE(engine::QueryDBList(white, "x", "y"));
}

TEST_F(ListsTest, TailOfACommentedLongLineIsNoEntry) {
    // 5,000 characters commented out: the part past the 4,095-character
    // read must not come alive as a white-list entry.
    std::string line = "\"" + std::string(4094, 'x') + "http://split.test/";
    line += std::string(5000 - line.size(), 'y');
    const std::string white = Write("white.db", line + "\nhttp://listed.test/\n");
    EXPECT_FALSE(engine::QueryDBList(white, "http://split.test/", ""));
    const std::string second = "http://split.test/" + std::string(5000 - 4095 - 18, 'y');
    EXPECT_FALSE(engine::QueryDBList(white, second, ""));
    EXPECT_TRUE(engine::QueryDBList(white, "http://listed.test/", ""));
}

TEST(WidenListEntryTest, InsertsAnyPortBeforeTheFirstCommaWithoutAColon) {
    EXPECT_EQ(engine::WidenListEntry("a,rest"), "a:*,rest");
    EXPECT_EQ(engine::WidenListEntry("10.0.0.1,get,tcp,*,80"), "10.0.0.1:*,get,tcp,*,80");
    EXPECT_EQ(engine::WidenListEntry("10.0.0.1:80,get"), "10.0.0.1:80,get");
    EXPECT_EQ(engine::WidenListEntry("http://a:1/x"), "http://a:1/x");
    EXPECT_EQ(engine::WidenListEntry("a,b:c"), "a:*,b:c");
}

}  // namespace
