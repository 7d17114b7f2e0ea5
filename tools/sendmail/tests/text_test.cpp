// Encoded text, the header date and the send log, as a mail reader and a
// person reading the log see them.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>

#include "test_support.h"
#include "tools/sendmail/sendmail_text.h"

namespace {

using testsupport::ZoneScope;

// 8 December 2026, 11:41:13 UTC (a Tuesday).
constexpr std::time_t kDec8 = 1796730073;

TEST(SendmailText, Iso2022Jp) {
    EXPECT_EQ(sendmail::ToIso2022Jp("plain ASCII %s"), "plain ASCII %s");
    EXPECT_EQ(sendmail::ToIso2022Jp("日本"), "\x1b$BF|K\\\x1b(B");
    // Half-width katakana arrive as their full-width forms.
    EXPECT_EQ(sendmail::ToIso2022Jp("ｱ"), sendmail::ToIso2022Jp("ア"));
}

TEST(SendmailText, CLocaleArgumentsAreUtf8) {
    // Test programs run in the C locale, as a shell without LANG starts them.
    EXPECT_EQ(sendmail::LocaleToUtf8("名前 O'Neil"), "名前 O'Neil");
}

TEST(SendmailText, MailDateZones) {
    struct Case {
        const char* zone;
        const char* expected;
    };
    const Case cases[] = {
        {"UTC0", "Tue, 08 Dec 2026 11:41:13 GMT"},
        {"JST-9", "Tue, 08 Dec 2026 20:41:13 +0900"},
        {"EST5EDT", "Tue, 08 Dec 2026 06:41:13 -0500"},
        {"IST-5:30", "Tue, 08 Dec 2026 17:11:13 +0530"},
        // In summer the printed time stays standard time, an hour behind the clock.
        {"EST5EDT,M3.2.0,M11.1.0", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.zone);
        ZoneScope zone(c.zone);
        if (c.expected) {
            EXPECT_EQ(sendmail::FormatMailDate(kDec8), c.expected);
        } else {
            // 1 July 2026, 12:00:00 UTC.
            EXPECT_EQ(sendmail::FormatMailDate(1782907200), "Wed, 01 Jul 2026 07:00:00 -0500");
        }
    }
}

TEST(SendmailText, BoundaryFollowsDateAndServer) {
    EXPECT_EQ(sendmail::MakeMimeBoundary("a", "bc"), "----YWJj");
    EXPECT_NE(sendmail::MakeMimeBoundary("Tue, 08 Dec 2026 11:41:13 GMT", "mail.x.test"),
              sendmail::MakeMimeBoundary("Tue, 08 Dec 2026 11:41:13 GMT", "mail2.x.test"));
}

TEST(SendmailText, SendLogAppendsLines) {
    ZoneScope zone("UTC0");
    testsupport::TempDir dir;
    std::string log = dir / "sendmail-log.txt";
    sendmail::WriteSendLog(log, "connect success.", kDec8);
    sendmail::WriteSendLog(log, "send start.", kDec8 + 1);
    EXPECT_EQ(testsupport::ReadFile(log),
              "[08/Dec/2026:11:41:13] connect success.\n[08/Dec/2026:11:41:14] send start.\n");
    sendmail::WriteSendLog("", "nothing", kDec8);                       // no log file set
    sendmail::WriteSendLog(dir / "missing/log.txt", "lost", kDec8);     // cannot be opened
    EXPECT_FALSE(testsupport::FileExists(dir / "missing/log.txt"));
}

}  // namespace
