#include "engine/listener/zip_list.h"

#include <gtest/gtest.h>

#include "test_support.h"

namespace {

TEST(ZipList, MatchesListenAddressAndPortPatterns) {
    testsupport::TempDir dir;
    const std::string list = dir / "smtp-zip.db";
    testsupport::WriteFile(list, "' archived listeners\r\n 10.0.0.1:25\r\n\r\n192.168.*:2525\r\n10.0.0.2:25\r\n");
    struct Case {
        const char* address;
        int port;
        int hit;
    } cases[] = {
        {"10.0.0.2", 25, 1},       {"192.168.1.9", 2525, 1}, {"192.168.1.9", 25, 0},
        {"10.0.0.1", 25, 0},  // only in a comment line
        {"10.0.0.2", 250, 0},
    };
    for (const Case& c : cases) EXPECT_EQ(engine::QueryZipList(list, c.address, c.port), c.hit) << c.address;
    EXPECT_EQ(engine::QueryZipList(dir / "missing.db", "10.0.0.2", 25), 0);
}

}  // namespace
