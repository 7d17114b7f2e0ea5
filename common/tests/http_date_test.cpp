#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>

#include "common/http_date.h"
#include "test_support.h"

namespace {

using testsupport::ZoneScope;

constexpr std::time_t kSunday1994 = 784111777;  // Sun, 06 Nov 1994 08:49:37 GMT
constexpr std::time_t kJuly2024 = 1721475000;   // Sat, 20 Jul 2024 11:30:00 GMT

struct ZoneCase {
    const char* zone;
    const char* sunday1994;  // kSunday1994 in local standard time
    const char* july2024;    // kJuly2024 in local standard time (summer time left out)
    const char* rfc822Sunday;
    const char* rfc822July;
};

const ZoneCase kZones[] = {
    {"Asia/Tokyo", "1994/11/06 17:49:37", "2024/07/20 20:30:00", "Sun, 06 Nov 1994 17:49:37 +0900",
     "Sat, 20 Jul 2024 20:30:00 +0900"},
    {"UTC", "1994/11/06 08:49:37", "2024/07/20 11:30:00", "Sun, 06 Nov 1994 08:49:37 GMT",
     "Sat, 20 Jul 2024 11:30:00 GMT"},
    {"America/New_York", "1994/11/06 03:49:37", "2024/07/20 06:30:00",
     "Sun, 06 Nov 1994 03:49:37 -0500", "Sat, 20 Jul 2024 06:30:00 -0500"},
};

TEST(FormatRfc822Date, LocalStandardTimeWithItsZone) {
    for (const auto& z : kZones) {
        ZoneScope scope(z.zone);
        EXPECT_EQ(common::FormatRfc822DateOf(kSunday1994), z.rfc822Sunday) << z.zone;
        EXPECT_EQ(common::FormatRfc822DateOf(kJuly2024), z.rfc822July) << z.zone;
    }
    ZoneScope scope("Asia/Kolkata");
    EXPECT_EQ(common::FormatRfc822DateOf(kSunday1994), "Sun, 06 Nov 1994 14:19:37 +0530");
}

TEST(FormatRfc822Date, NowIsStoredAndReadsBack) {
    ZoneScope scope("America/New_York");
    std::time_t now = 0;
    std::string text = common::FormatRfc822Date(&now);
    EXPECT_NEAR(static_cast<double>(now), static_cast<double>(std::time(nullptr)), 5.0);
    std::time_t back = 0;
    ASSERT_TRUE(common::ParseHttpDate(text, &back)) << text;
    EXPECT_EQ(back, now);
}

TEST(ParseHttpDate, TheThreeFormsAndYearFirstInEveryZone) {
    const char* sameInstant[] = {
        "Sun, 06 Nov 1994 08:49:37 GMT",
        "Sunday, 06-Nov-94 08:49:37 GMT",
        "Sun Nov  6 08:49:37 1994",
        "Sun Nov 06 08:49:37 1994",
        "1994-11-06 08:49:37 +0000",
        "1994-11-06 17:49:37 +0900",
        "Sun, 06 Nov 1994 03:49:37 -0500",
        "Sun, 6 Nov 1994 08:49:37 UTC",
        "06 Nov 1994 08:49:37 GMT",
        "  Sun, 06 Nov 1994 08:49:37 GMT  ",
        "Sunday, 06-Nov-1994 08:49:37 GMT",
    };
    for (const auto& z : kZones) {
        ZoneScope scope(z.zone);
        for (const char* date : sameInstant) {
            std::string text = date;
            std::time_t t = 0;
            ASSERT_TRUE(common::ParseHttpDate(text, &t)) << z.zone << " " << date;
            EXPECT_EQ(t, kSunday1994) << z.zone << " " << date;
            EXPECT_EQ(text, z.sunday1994) << z.zone << " " << date;
        }
        // A summer date: daylight saving time is not counted in the text.
        std::string summer = "Sat, 20 Jul 2024 11:30:00 GMT";
        std::time_t t = 0;
        ASSERT_TRUE(common::ParseHttpDate(summer, &t));
        EXPECT_EQ(t, kJuly2024);
        EXPECT_EQ(summer, z.july2024) << z.zone;
    }
}

TEST(ParseHttpDate, TwoDigitYearsAndCalendarEdges) {
    ZoneScope scope("UTC");
    struct Case {
        const char* text;
        std::time_t expected;
    } cases[] = {
        {"Thursday, 01-Jan-70 00:00:00 GMT", 0},
        {"Tuesday, 31-Dec-69 23:59:59 GMT", 3155759999},  // 2069
        {"Tue, 29 Feb 2000 12:00:00 GMT", 951825600},
        {"Thu, 01 Jan 1970 00:00:00 GMT", 0},
        {"Mon, 26 Jul 1997 05:00:00 GMT", 869893200},  // the weekday is not checked
    };
    for (const auto& c : cases) {
        std::string text = c.text;
        std::time_t t = -1;
        ASSERT_TRUE(common::ParseHttpDate(text, &t)) << c.text;
        EXPECT_EQ(t, c.expected) << c.text;
    }
}

TEST(ParseHttpDate, RefusesWhatIsNoDate) {
    const char* bad[] = {
        "",
        "0",
        "-1",
        "now",
        "Sun, 06 Foo 1994 08:49:37 GMT",     // unknown month
        "Sun, 06 nov 1994 08:49:37 GMT",     // month names are case-sensitive
        "Sun, 06 November 1994 08:49:37 GMT",
        "Sun, 32 Nov 1994 08:49:37 GMT",
        "Sun, 31 Nov 1994 08:49:37 GMT",
        "Sun, 29 Feb 1900 08:49:37 GMT",
        "Sun, 06 Nov 1994 24:00:00 GMT",
        "Sun, 06 Nov 1994 08:60:00 GMT",
        "Sun, 06 Nov 1994 08:49 GMT",
        "Sun, 06 Nov 1994 08:49:37 EST",
        "Sun, 06 Nov 1994 08:49:37 +09",
        "Sun, 06 Nov 1994 08:49:37 GMT trailing",
        "Sun, 06 Nov 94 08:49:37 GMT",       // RFC 1123 wants four digits
        "Sunday, 06-Nov-994 08:49:37 GMT",
        "Sunday, 06-Foo-94 08:49:37 GMT",
        "Sunday 06-Nov-94 08:49:37 GMT",
        "Sun Nov  6 08:49:37",
        "Sun Foo  6 08:49:37 1994",
        "Sunny, 06 Nov 1994 08:49:37 GMT",
        "1994-13-06 08:49:37 +0000",
        "1994-11-06",
        "Sun, 06 Nov 19940 08:49:37 GMT",
    };
    for (const char* date : bad) {
        std::string text = date;
        std::time_t t = 12345;
        EXPECT_FALSE(common::ParseHttpDate(text, &t)) << date;
        EXPECT_EQ(text, date);
        EXPECT_EQ(t, 12345);
    }
}

TEST(ParseHttpDate, LooksAtTheFirst255CharactersOnly) {
    ZoneScope scope("UTC");
    std::string padded = "Sun, 06 Nov 1994 08:49:37 GMT" + std::string(300, ' ') + "junk";
    EXPECT_TRUE(common::ParseHttpDate(padded));
    EXPECT_EQ(padded, "1994/11/06 08:49:37");
}

}  // namespace
