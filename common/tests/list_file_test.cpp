#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/list_file.h"
#include "test_support.h"

namespace {

using Lines = std::vector<std::string>;

TEST(ListFile, SkipsCommentsAndCutsLineEnds) {
    testsupport::TempDir dir;
    testsupport::WriteFile(dir / "list.db",
                           "'comment\r\n\"comment\r\n blank first\r\n\r\n\nentry1\r\nentry2\n"
                           "entry3 with rest\rhidden\nlast-no-newline");
    auto lines = common::ReadListFile(dir / "list.db", {});
    ASSERT_TRUE(lines);
    EXPECT_EQ(*lines, (Lines{"entry1", "entry2", "entry3 with rest", "last-no-newline"}));

    // A caller with its own comment marks and empty lines kept.
    common::ListFileRules rules;
    rules.commentChars = "#";
    rules.skipEmptyLines = false;
    testsupport::WriteFile(dir / "other.ini", "#x\n'kept\n\nkey=value\n");
    lines = common::ReadListFile(dir / "other.ini", rules);
    ASSERT_TRUE(lines);
    EXPECT_EQ(*lines, (Lines{"'kept", "", "key=value"}));
}

TEST(ListFile, LongLinesAreReadInPiecesOfTheLimit) {
    testsupport::TempDir dir;
    const std::string longLine(5000, 'a');
    testsupport::WriteFile(dir / "long.db", longLine + "\nshort\n");
    common::ListFileRules rules;
    rules.maxLineLength = 4095;
    auto lines = common::ReadListFile(dir / "long.db", rules);
    ASSERT_TRUE(lines);
    EXPECT_EQ(*lines, (Lines{std::string(4095, 'a'), "short"}));

    // A line exactly at the limit leaves its line end for the next read,
    // which is then an empty line.
    testsupport::WriteFile(dir / "edge.db", "abcd\nxy\n");
    rules.maxLineLength = 4;
    lines = common::ReadListFile(dir / "edge.db", rules);
    ASSERT_TRUE(lines);
    EXPECT_EQ(*lines, (Lines{"abcd", "xy"}));

    // The rest of a long line is never taken for a line of its own, however
    // often the line spans the limit.
    testsupport::WriteFile(dir / "http-auth.ini",
                           "alice:secret,n" "eve:pw,Eve\r\n" + std::string(30, 'x') + "\nbob:pw\n");
    rules.maxLineLength = 14;
    lines = common::ReadListFile(dir / "http-auth.ini", rules);
    ASSERT_TRUE(lines);
    EXPECT_EQ(*lines, (Lines{"alice:secret,n", std::string(14, 'x'), "bob:pw"}));
}

TEST(ListFile, ALargeFileGivesEveryLineWhereverItsReadsEnd) {
    testsupport::TempDir dir;
    std::string text;
    Lines expected;
    for (int i = 0; text.size() < 100000; ++i) {
        std::string entry = "host" + std::to_string(i) + ".example";
        // Every seventh line runs far past the limit; only its head counts.
        if (i % 7 == 0) entry += std::string(3000 + i, 'z');
        text += entry + (i % 2 ? "\r\n" : "\n");
        expected.push_back(entry.substr(0, 1023));
    }
    testsupport::WriteFile(dir / "black.db", text + "tail");
    expected.push_back("tail");
    auto lines = common::ReadListFile(dir / "black.db", {});
    ASSERT_TRUE(lines);
    EXPECT_EQ(*lines, expected);
}

TEST(ListFile, MissingFileAndEarlyStop) {
    testsupport::TempDir dir;
    EXPECT_FALSE(common::ReadListFile(dir / "missing.db", {}));
    EXPECT_FALSE(common::ForEachListLine(dir / "missing.db", {}, [](std::string_view) { return true; }));

    testsupport::WriteFile(dir / "list.db", "a\nb\nc\n");
    Lines seen;
    EXPECT_TRUE(common::ForEachListLine(dir / "list.db", {}, [&seen](std::string_view line) {
        seen.emplace_back(line);
        return line != "b";
    }));
    EXPECT_EQ(seen, (Lines{"a", "b"}));
}

}  // namespace
