#include <gtest/gtest.h>

#include <cstdlib>

#include "common/data_folder.h"

namespace {

TEST(DataFolder, BuiltFromTheNamedVariable) {
    setenv("VELQOR_TEST_ROOT_A", "/tmp/root-a", 1);
    common::DataRoot root = common::LookUpDataRoot("VELQOR_TEST_ROOT_A");
    EXPECT_FALSE(root.fellBack);
    EXPECT_EQ(root.path, "/tmp/root-a");
    EXPECT_EQ(common::DataFolderPath(root.path), "/tmp/root-a/VELQOR/");
    EXPECT_EQ(common::DataFolderPath("/tmp/root-a/"), "/tmp/root-a/VELQOR/");
}

TEST(DataFolder, UnsetOrEmptyVariableFallsBackToVarLib) {
    unsetenv("VELQOR_TEST_ROOT_UNSET");
    setenv("VELQOR_TEST_ROOT_EMPTY", "", 1);
    for (const char* name : {"VELQOR_TEST_ROOT_UNSET", "VELQOR_TEST_ROOT_EMPTY", ""}) {
        SCOPED_TRACE(name);
        common::DataRoot root = common::LookUpDataRoot(name);
        EXPECT_TRUE(root.fellBack);
        EXPECT_EQ(common::DataFolderPath(root.path), "/var/lib/VELQOR/");
    }
    EXPECT_EQ(common::DataRootFallbackNote("ALLUSERSPROFILE"),
              "environment variable ALLUSERSPROFILE is not set; data root /var/lib");
}

}  // namespace
