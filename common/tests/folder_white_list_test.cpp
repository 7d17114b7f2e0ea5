#include "common/folder_white_list.h"

#include <gtest/gtest.h>

#include "test_support.h"

namespace {

using testsupport::TempDir;

class FolderWhiteListTest : public ::testing::Test {
protected:
    std::string dataFolder() const { return root_ / "VELQOR/"; }
    std::string dataRoot() const { return root_.path(); }
    void writeList(const std::string& name, const std::string& content) {
        testsupport::MakeDirs(dataFolder() + "fwhite/root");
        testsupport::WriteFile(dataFolder() + name, content);
    }
    TempDir root_;
};

TEST_F(FolderWhiteListTest, ListNamingFollowsTheFirstFolder) {
    const std::string d = "/x/VELQOR/";
    struct Case {
        const char* path;
        const char* list;
    } cases[] = {
        {"/srv/a/x", "/x/VELQOR/fwhite/root/srv.db"},
        {"/srv/", "/x/VELQOR/fwhite/root/srv.db"},
        {"/srv/a b/", "/x/VELQOR/fwhite/root/srv.db"},
        {"/x", "/x/VELQOR/fwhite/root.db"},
        {"/", "/x/VELQOR/fwhite/root.db"},
        {"/Data/y", "/x/VELQOR/fwhite/root/Data.db"},
    };
    for (const Case& c : cases) EXPECT_EQ(common::FolderListPath(d, c.path), c.list) << c.path;
}

// The panel's test is whole-line equality; the watcher's is by prefix, over
// lines taken as folders. Lines as the panel writes them (CR LF).
TEST_F(FolderWhiteListTest, PanelAndWatcherReadTheSameLines) {
    writeList("fwhite/root/data.db", "/data/tmp\r\n\r\n'/data/\r\n /data/\r\n/data/old/\r\n");
    writeList("fwhite/root.db", "/\r\n");

    EXPECT_TRUE(common::IsPathInWatchList(dataFolder(), "/data/old/"));
    EXPECT_FALSE(common::IsPathInWatchList(dataFolder(), "/data/OLD/"));  // names are case-sensitive
    EXPECT_FALSE(common::IsPathInWatchList(dataFolder(), "/data/old/sub/"));
    EXPECT_FALSE(common::IsPathInWatchList(dataFolder(), "/data/tmp/"));  // the line lacks its "/"
    EXPECT_FALSE(common::IsPathInWatchList(dataFolder(), "/other/"));

    struct Case {
        const char* file;
        bool white;
    } cases[] = {
        {"/data/old/x.com", true},
        {"/data/old/deep/x.com", true},
        {"/data/tmp/x.com", true},     // a line without its "/" is still that folder
        {"/data/tmpfoo/x.com", false}, // ... and not its siblings
        {"/data/x.com", false},        // empty and comment lines white-list nothing
        {"/data/Old/x.com", false},
        {"/top.com", true},            // root.db lists "/"
    };
    for (const Case& c : cases) {
        common::WhiteFolderCheck check = common::CheckWhiteFolder(dataFolder(), dataRoot(), c.file);
        EXPECT_EQ(check.white, c.white) << c.file;
    }
    common::WhiteFolderCheck check = common::CheckWhiteFolder(dataFolder(), dataRoot(), "/data/old/x.com");
    EXPECT_EQ(check.listPath, dataFolder() + "fwhite/root/data.db");
    EXPECT_EQ(check.folder, "/data/old/");
}

TEST_F(FolderWhiteListTest, LongLinesAreReadWhole) {
    std::string longFolder = "/data/" + std::string(300, 'a') + "/";
    writeList("fwhite/root/data.db", longFolder.substr(0, 260) + "\r\n");  // a sibling's beginning
    EXPECT_FALSE(common::CheckWhiteFolder(dataFolder(), dataRoot(), longFolder + "x").white);
    writeList("fwhite/root/data.db", longFolder + "\r\n");
    EXPECT_TRUE(common::CheckWhiteFolder(dataFolder(), dataRoot(), longFolder + "x").white);
    EXPECT_TRUE(common::IsPathInWatchList(dataFolder(), longFolder));
}

TEST_F(FolderWhiteListTest, WctFolderBesideTheDataFolderIsWhite) {
    EXPECT_TRUE(common::CheckWhiteFolder(dataFolder(), dataRoot(), dataRoot() + "/wct/a/x.com").white);
    EXPECT_FALSE(common::CheckWhiteFolder(dataFolder(), dataRoot(), dataRoot() + "/wctx/x.com").white);
    EXPECT_FALSE(common::CheckWhiteFolder(dataFolder(), dataRoot(), dataFolder() + "wct/x.com").white);
}

TEST_F(FolderWhiteListTest, PanelLookUpCreatesTheListFolders) {
    EXPECT_FALSE(common::IsPathInWatchList(dataFolder(), "/srv/"));
    EXPECT_TRUE(testsupport::FileExists(dataFolder() + "fwhite/root"));
}

TEST_F(FolderWhiteListTest, ExtensionsCompareWithoutCase) {
    testsupport::MakeDirs(dataFolder());
    testsupport::WriteFile(dataFolder() + "fwhiteext.db", "'.com\r\n.TXT\r\n\r\n.ini\r\n");
    struct Case {
        const char* path;
        bool white;
    } cases[] = {
        {"/a/b.txt", true}, {"/a/b.Txt", true}, {"/a/b.ini", true}, {"/a/b.com", false},
        {"/a/b", false},          // no dot anywhere
        {"/a/b.txt.gz", false},
        {"/a.txt/b", false},      // the extension is ".txt/b"
    };
    for (const Case& c : cases) EXPECT_EQ(common::IsWhiteExtension(dataFolder(), c.path), c.white) << c.path;
    EXPECT_EQ(common::PathExtension("/a.d/b"), ".d/b");
}

TEST_F(FolderWhiteListTest, SavedListsAreWhatTheReadersSee) {
    ASSERT_TRUE(common::SaveFolderList(dataFolder(), "/srv/", {"/srv/"}, false));
    EXPECT_EQ(testsupport::ReadFile(dataFolder() + "fwhite/root/srv.db"), "/srv/\r\n");
    EXPECT_TRUE(common::IsPathInWatchList(dataFolder(), "/srv/"));
    EXPECT_TRUE(common::CheckWhiteFolder(dataFolder(), dataRoot(), "/srv/a/x").white);

    // A checked folder with unchecked descendants keeps what it had.
    ASSERT_TRUE(common::SaveFolderList(dataFolder(), "/srv/", {"/srv/a/"}, true));
    EXPECT_EQ(testsupport::ReadFile(dataFolder() + "fwhite/root/srv.db"), "/srv/a/\r\n/srv/\r\n");
    ASSERT_TRUE(common::SaveFolderList(dataFolder(), "/srv/", {}, false));
    EXPECT_EQ(testsupport::ReadFile(dataFolder() + "fwhite/root/srv.db"), "");
    EXPECT_FALSE(testsupport::FileExists(dataFolder() + "fwhite/root/srv.~b"));
}

}  // namespace
