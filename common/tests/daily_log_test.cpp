#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "common/daily_log.h"
#include "test_support.h"

namespace {

using common::DailyLogFile;
using common::LocalTime;
using testsupport::FileExists;
using testsupport::ReadFile;

LocalTime At(int year, int month, int day, int hour, int minute, int second, int ms) {
    LocalTime t;
    t.year = year;
    t.month = month;
    t.day = day;
    t.hour = hour;
    t.minute = minute;
    t.second = second;
    t.millisecond = ms;
    return t;
}

std::string ReadStream(FILE* f) {
    std::fflush(f);
    std::rewind(f);
    std::string text;
    for (int c; (c = std::fgetc(f)) != EOF;) text.push_back(static_cast<char>(c));
    return text;
}

TEST(DailyLog, StampsWithAndWithoutMilliseconds) {
    LocalTime t = At(2024, 3, 9, 7, 5, 3, 42);
    DailyLogFile seconds(DailyLogFile::Stamp::Seconds);
    DailyLogFile millis(DailyLogFile::Stamp::Milliseconds);
    EXPECT_EQ(seconds.formatLine(t, "[Main] start\n"), "[07:05:03] [Main] start\n");
    EXPECT_EQ(millis.formatLine(t, "[Main] start\n"), "[07:05:03:042] [Main] start\n");
    EXPECT_EQ(millis.formatLine(At(2024, 3, 9, 23, 59, 59, 999), "x"), "[23:59:59:999] x");
    EXPECT_EQ(millis.formatLine(At(2024, 3, 9, 0, 0, 0, 0), ""), "[00:00:00:000] ");
    EXPECT_EQ(millis.formatLine(At(2024, 3, 9, 10, 20, 30, 7), "x"), "[10:20:30:007] x");
    EXPECT_EQ(common::DailyFilePath("/x/httplog", t), "/x/httplog/20240309.log");
    EXPECT_EQ(common::DailyFilePath("/x/httplog/", t), "/x/httplog/20240309.log");
}

TEST(DailyLog, WritesToFileAndConsoleCreatingTheFolder) {
    testsupport::TempDir dir;
    FILE* console = std::tmpfile();
    ASSERT_NE(console, nullptr);
    DailyLogFile log(DailyLogFile::Stamp::Milliseconds, console);
    log.setClock([] { return At(2024, 12, 31, 23, 59, 59, 999); });
    log.setFolder(dir / "VELQOR/httplog");
    log.setToFile(true);
    log.setToConsole(true);

    log.write("one\n");
    log.write("two");  // no line end added
    log.write("\n");

    const std::string expected = "[23:59:59:999] one\n[23:59:59:999] two[23:59:59:999] \n";
    EXPECT_EQ(ReadFile(dir / "VELQOR/httplog/20241231.log"), expected);
    EXPECT_EQ(ReadStream(console), expected);
    std::fclose(console);
}

TEST(DailyLog, MidnightStartsTheNextDaysFile) {
    testsupport::TempDir dir;
    LocalTime now = At(2024, 12, 31, 23, 59, 59, 999);
    DailyLogFile log(DailyLogFile::Stamp::Milliseconds, nullptr);
    log.setClock([&now] { return now; });
    log.setFolder(dir.path());
    log.setToFile(true);
    log.write("last\n");
    now = At(2025, 1, 1, 0, 0, 0, 0);
    log.write("first\n");
    EXPECT_EQ(ReadFile(dir / "20241231.log"), "[23:59:59:999] last\n");
    EXPECT_EQ(ReadFile(dir / "20250101.log"), "[00:00:00:000] first\n");
}

TEST(DailyLog, WritesNothingWhereNotAsked) {
    testsupport::TempDir dir;
    FILE* console = std::tmpfile();
    ASSERT_NE(console, nullptr);
    DailyLogFile log(DailyLogFile::Stamp::Seconds, console);
    log.setClock([] { return At(2024, 1, 2, 3, 4, 5, 6); });
    log.setFolder(dir / "log");

    log.write("nowhere\n");  // neither file nor console
    EXPECT_FALSE(FileExists(dir / "log"));
    EXPECT_EQ(ReadStream(console), "");

    log.setToConsole(true);
    log.write("console only\n");
    EXPECT_FALSE(FileExists(dir / "log"));
    EXPECT_EQ(ReadStream(console), "[03:04:05] console only\n");

    // With the file copy on but no folder known there is nowhere to write:
    // the line still reaches the console.
    log.setFolder("");
    log.setToFile(true);
    log.write("no folder\n");
    EXPECT_EQ(ReadStream(console), "[03:04:05] console only\n[03:04:05] no folder\n");
    std::fclose(console);
}

// Held lines reach the file and the console as they would have one by one,
// but only once the last Hold ends (or too much is held).
TEST(DailyLog, HeldLinesAreWrittenTogetherInTheirOrder) {
    testsupport::TempDir dir;
    FILE* console = std::tmpfile();
    ASSERT_NE(console, nullptr);
    LocalTime now = At(2024, 12, 31, 23, 59, 59, 998);
    DailyLogFile log(DailyLogFile::Stamp::Milliseconds, console);
    log.setClock([&now] { return now; });
    log.setFolder(dir.path());
    log.setToFile(true);
    log.setToConsole(true);
    {
        DailyLogFile::Hold hold(log);
        log.write("one\n");
        {
            DailyLogFile::Hold inner(log);
            log.writeUnstamped("note\n");
        }
        EXPECT_EQ(ReadStream(console), "");
        EXPECT_FALSE(FileExists(dir / "20241231.log"));
        // The next day's first line sends the day before's lines out.
        now = At(2025, 1, 1, 0, 0, 0, 1);
        log.write("two\n");
        EXPECT_FALSE(FileExists(dir / "20250101.log"));
    }
    EXPECT_EQ(ReadStream(console), "[23:59:59:998] one\nnote\n[00:00:00:001] two\n");
    EXPECT_EQ(ReadFile(dir / "20241231.log"), "[23:59:59:998] one\n");
    EXPECT_EQ(ReadFile(dir / "20250101.log"), "[00:00:00:001] two\n");

    log.write("after\n");
    EXPECT_EQ(ReadFile(dir / "20250101.log"), "[00:00:00:001] two\n[00:00:00:001] after\n");

    // A long burst does not wait for the end of its Hold.
    {
        const size_t before = ReadFile(dir / "20250101.log").size();
        DailyLogFile::Hold hold(log);
        const std::string line(1000, 'x');
        for (size_t held = 0; held < DailyLogFile::kHeldLimit; held += line.size()) log.write(line);
        EXPECT_GT(ReadFile(dir / "20250101.log").size(), before);
    }
    std::fclose(console);
}

// A changed TZ counts from the next reading, even within the same second.
TEST(DailyLog, NowLocalFollowsTheZone) {
    {
        testsupport::ZoneScope zone("UTC0");
        EXPECT_EQ(common::NowLocal().utcOffsetSeconds, 0);
    }
    {
        testsupport::ZoneScope zone("JST-9");
        EXPECT_EQ(common::NowLocal().utcOffsetSeconds, 9 * 3600);
    }
}

TEST(DailyLog, RealClockStampsTodaysFile) {
    testsupport::TempDir dir;
    DailyLogFile log(DailyLogFile::Stamp::Seconds, nullptr);
    log.setFolder(dir.path());
    log.setToFile(true);
    LocalTime before = common::NowLocal();
    log.write("now\n");
    LocalTime after = common::NowLocal();
    bool found = FileExists(common::DailyFilePath(dir.path(), before)) ||
                 FileExists(common::DailyFilePath(dir.path(), after));
    EXPECT_TRUE(found);
}

}  // namespace
