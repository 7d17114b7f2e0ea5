#include <gtest/gtest.h>

#include "test_support.h"

TEST(TestSupport, TempDirAndFiles) {
    testsupport::TempDir dir;
    testsupport::WriteFile(dir / "a.txt", "hello");
    EXPECT_EQ(testsupport::ReadFile(dir / "a.txt"), "hello");
    auto r = testsupport::RunCommand("echo hi");
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.output, "hi\n");
}
