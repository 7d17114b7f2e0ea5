#include "engine/access/numeric_host.h"

#include <gtest/gtest.h>

namespace {

TEST(DottedIPv4Host, EverySpellingOfAnAddressBecomesDotted) {
    for (const char* spelling : {"127.88.0.1", "127.88.1", "2136473601", "0x7f580001", "0X7F580001",
                                 "0177.0130.0.01", "127.88.0.001", "0x7f.88.0.1"})
        EXPECT_EQ(engine::DottedIPv4Host(spelling), "127.88.0.1") << spelling;
}

TEST(DottedIPv4Host, OtherHostsStayAsWritten) {
    for (const char* host : {"example.com", "1e100.net", "123abc", "deadbeef", "256.1.1.1", "1.2.3.4.5",
                             "127.0.0.1 x", "[::1]", "::1", "0x", "", "127.0.0.09"})
        EXPECT_EQ(engine::DottedIPv4Host(host), host) << host;
}

}  // namespace
