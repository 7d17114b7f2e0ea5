// The pieces of the message text that decide what a server and a mail reader
// receive.
#include <gtest/gtest.h>

#include <string>

#include "tools/sendmail/sendmail_message.h"

namespace {

using sendmail::SendmailSettings;

TEST(SendmailMessage, LineBreakInAnyValueRefusesTheMail) {
    std::string SendmailSettings::*fields[] = {&SendmailSettings::subject, &SendmailSettings::insert,
                                               &SendmailSettings::replyTo, &SendmailSettings::fromAddress,
                                               &SendmailSettings::recipients};
    for (auto field : fields) {
        for (const char* bad : {"x\r\nBcc: evil@x.test", "x\nRCPT To:<e@x.test>", "x\r"}) {
            SendmailSettings s;
            s.*field = bad;
            EXPECT_NE(sendmail::FindLineBreakValue(s), "") << bad;
        }
    }
    SendmailSettings fine;
    fine.subject = "one line";
    EXPECT_EQ(sendmail::FindLineBreakValue(fine), "");
}

TEST(SendmailMessage, InsertSubstitution) {
    struct Case {
        const char* line;
        const char* expected;
    };
    const Case cases[] = {
        {"Dear %s,", "Dear 山田,"},
        {"%s%s", "山田山田"},
        {"100%% %d %n %", "100% %d %n %"},
        {"%%s", "%s"},
    };
    for (const Case& c : cases) EXPECT_EQ(sendmail::SubstituteInsert(c.line, "山田"), c.expected) << c.line;
}

TEST(SendmailMessage, BodyLinesAreDotStuffed) {
    EXPECT_EQ(sendmail::BodyLine(".", ""), "..\r\n");
    EXPECT_EQ(sendmail::BodyLine(".x", ""), "..x\r\n");
    EXPECT_EQ(sendmail::BodyLine("a.", ""), "a.\r\n");
}

TEST(SendmailMessage, LongHeaderTextIsOneWholeWord) {
    std::string subject;
    for (int i = 0; i < 60; ++i) subject += "障";
    std::string word = sendmail::EncodeHeaderText(subject);
    EXPECT_EQ(word.rfind("=?iso-2022-jp?B?", 0), 0u);
    EXPECT_EQ(word.substr(word.size() - 2), "?=");
    EXPECT_GT(word.size(), 127u);  // not cut to a fixed size
    EXPECT_EQ(sendmail::EncodeHeaderText("plain"), "plain");
}

TEST(SendmailMessage, AttachmentLineLengths) {
    auto lines = sendmail::AttachmentLines(std::string(100, 'z'));
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0].size(), 66u);
    EXPECT_EQ(lines[2].size(), 10u);
    EXPECT_EQ(sendmail::AttachmentName("/tmp/dir/report.pdf"), "report.pdf");
}

}  // namespace
