#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <set>
#include <string>

#include "common/publish_file.h"
#include "test_support.h"

namespace {

using common::PublishResult;

std::string ListEntries(const std::string& dir) {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) names.insert(entry.path().filename());
    std::string text;
    for (const auto& name : names) text += name + "\n";
    return text;
}

TEST(PublishFile, NewChangedAndUnchangedFiles) {
    testsupport::TempDir dir;
    std::string path = dir / "http.ini", old = dir / "http-old.ini";

    // No file yet: published, no previous copy.
    EXPECT_EQ(common::PublishFile(path, "a\r\n", old), PublishResult::kPublished);
    EXPECT_EQ(testsupport::ReadFile(path), "a\r\n");
    EXPECT_FALSE(testsupport::FileExists(old));

    // A change keeps the former content as the previous copy and the mode.
    ::chmod(path.c_str(), 0640);
    EXPECT_EQ(common::PublishFile(path, "b\r\n", old), PublishResult::kPublished);
    EXPECT_EQ(testsupport::ReadFile(path), "b\r\n");
    EXPECT_EQ(testsupport::ReadFile(old), "a\r\n");
    struct stat info;
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u);

    // The same bytes again: neither the file nor the previous copy moves.
    struct stat before;
    ASSERT_EQ(::stat(path.c_str(), &before), 0);
    EXPECT_EQ(common::PublishFile(path, "b\r\n", old), PublishResult::kUnchanged);
    EXPECT_EQ(testsupport::ReadFile(old), "a\r\n");
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_ino, before.st_ino);

    // An empty content is a content.
    EXPECT_EQ(common::PublishFile(path, "", old), PublishResult::kPublished);
    EXPECT_EQ(testsupport::ReadFile(path), "");
    EXPECT_EQ(testsupport::ReadFile(old), "b\r\n");

    // No temporary is left behind.
    EXPECT_EQ(ListEntries(dir.path()), "http-old.ini\nhttp.ini\n");
}

// A reader that holds the file open keeps reading the old content whole;
// the new one is a new file under the name.
TEST(PublishFile, ReaderKeepsTheContentItOpened) {
    testsupport::TempDir dir;
    std::string path = dir / "socks.ini";
    testsupport::WriteFile(path, "old line\r\n");
    FILE* reader = std::fopen(path.c_str(), "rb");
    ASSERT_NE(reader, nullptr);
    EXPECT_EQ(common::PublishFile(path, "new line\r\n"), PublishResult::kPublished);
    char buffer[64] = {};
    size_t n = std::fread(buffer, 1, sizeof buffer - 1, reader);
    std::fclose(reader);
    EXPECT_EQ(std::string(buffer, n), "old line\r\n");
    EXPECT_EQ(testsupport::ReadFile(path), "new line\r\n");
}

// A link at the name is replaced; its target is never written.
TEST(PublishFile, LinkIsReplacedNotFollowed) {
    testsupport::TempDir dir;
    std::string target = dir / "elsewhere", path = dir / "ftp.ini";
    testsupport::WriteFile(target, "keep");
    ASSERT_EQ(::symlink(target.c_str(), path.c_str()), 0);
    EXPECT_EQ(common::PublishFile(path, "x", dir / "ftp-old.ini"), PublishResult::kPublished);
    EXPECT_EQ(testsupport::ReadFile(target), "keep");
    EXPECT_EQ(testsupport::ReadFile(path), "x");
    struct stat info;
    ASSERT_EQ(::lstat(path.c_str(), &info), 0);
    EXPECT_TRUE(S_ISREG(info.st_mode));
}

TEST(PublishFile, FolderThatCannotBeWritten) {
    testsupport::TempDir dir;
    EXPECT_EQ(common::PublishFile(dir / "missing/http.ini", "x"), PublishResult::kFailed);
}

}  // namespace
