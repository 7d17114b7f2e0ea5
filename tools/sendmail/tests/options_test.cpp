// The command line as a shell hands it over, and the usage text.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "tools/sendmail/sendmail_options.h"

namespace {

using sendmail::ParseOption;
using sendmail::SendmailSettings;

SendmailSettings Parse(const std::vector<std::string>& args) {
    SendmailSettings settings;
    for (const std::string& arg : args) ParseOption(settings, arg);
    return settings;
}

TEST(SendmailOptions, Values) {
    SendmailSettings s = Parse({"a@x.test,b@x.test", "-SUBJECT=\"two words\"", "-from=me@x.test",
                                "-replyto=r@x.test", "-attach=one.txt", "-attach=\"two.bin\"", "-insert=名前",
                                "-message=hello %s"});
    EXPECT_EQ(s.recipients, "a@x.test,b@x.test");
    EXPECT_EQ(s.subject, "two words");
    EXPECT_EQ(s.fromAddress, "me@x.test");
    EXPECT_EQ(s.replyTo, "r@x.test");
    EXPECT_EQ(s.attachments, "one.txt,two.bin");
    EXPECT_EQ(s.insert, "名前");
    EXPECT_EQ(s.message, "hello %s\r\n");
}

TEST(SendmailOptions, Cases) {
    struct Case {
        const char* name;
        std::vector<std::string> args;
        void (*check)(const SendmailSettings&);
    };
    const Case cases[] = {
        {"a quote inside the value ends it", {"-subject=ab\"cd"},
         [](const SendmailSettings& s) { EXPECT_EQ(s.subject, "ab"); }},
        {"-logfile alone", {"-logfile"},
         [](const SendmailSettings& s) { EXPECT_EQ(s.logFile, "sendmail-log.txt"); }},
        {"-logfile with a path", {"-logfile=/tmp/l.txt"},
         [](const SendmailSettings& s) { EXPECT_EQ(s.logFile, "/tmp/l.txt"); }},
        {"message then input file", {"-message=m", "-inputfile=b.txt"},
         [](const SendmailSettings& s) {
             EXPECT_EQ(s.message, "");
             EXPECT_EQ(s.inputFile, "b.txt");
             EXPECT_FALSE(s.html);
         }},
        {"input file then message", {"-inputfile=b.txt", "-message=m"},
         [](const SendmailSettings& s) {
             EXPECT_EQ(s.message, "m\r\n");
             EXPECT_EQ(s.inputFile, "");
         }},
        {"-nomessage empties both", {"-message=m", "-nomessage"},
         [](const SendmailSettings& s) {
             EXPECT_EQ(s.message, "");
             EXPECT_EQ(s.inputFile, "");
         }},
        {"capital HTM extension is HTML", {"-inputfile=dir.v1/body.HTM"},
         [](const SendmailSettings& s) { EXPECT_TRUE(s.html); }},
        {"html extension is HTML", {"-inputfile=body.html"},
         [](const SendmailSettings& s) { EXPECT_TRUE(s.html); }},
        {"a further extension after .htm is not", {"-inputfile=body.htm.txt"},
         [](const SendmailSettings& s) { EXPECT_FALSE(s.html); }},
        {"usage words are recipients", {"-check", "-fme@x.test", "-t"},
         [](const SendmailSettings& s) { EXPECT_EQ(s.recipients, "-check,-fme@x.test,-t"); }},
        {"unknown option with a value: the name is the recipient", {"-cc=x@x.test"},
         [](const SendmailSettings& s) { EXPECT_EQ(s.recipients, "-cc"); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        c.check(Parse(c.args));
    }
}

TEST(SendmailUsage, LayoutOfTheLines) {
    std::vector<std::string> lines;
    std::istringstream in(sendmail::UsageText());
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    ASSERT_EQ(lines.size(), 19u);
    EXPECT_EQ(sendmail::UsageText().back(), '\n');
    EXPECT_EQ(lines[0], "orqnote v2.00 for Windows NT/2000/XP Comand prompt");
    EXPECT_EQ(lines[2], "");
    EXPECT_EQ(lines[7], "\t\t   [-subject=\"title\"] [-attach=\"filename\"]");
    EXPECT_EQ(lines[9], "");
    // The recipient line's last words stand in the column of the lines below it.
    EXPECT_EQ(lines[13].rfind("line mode."), lines[14].rfind("line mode."));
    EXPECT_EQ(lines[13].size(), lines[14].size());
}

}  // namespace
