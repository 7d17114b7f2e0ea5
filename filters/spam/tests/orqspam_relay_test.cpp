// orqspam behind the real SMTP relay: swaks sends through orqsprx to an
// aiosmtpd on loopback; a flagged mail is refused with -j=1 and delivered
// marked without it.
#include <gtest/gtest.h>

#include <dirent.h>

#include "common/text.h"
#include "platform/codepage/codepage.h"
#include "platform/dns/tests/dnsmasq_fixture.h"
#include "test_support.h"

namespace {

using testsupport::Process;
using testsupport::WriteFile;

std::vector<std::string> FilesIn(const std::string& folder) {
    std::vector<std::string> names;
    if (DIR* dir = opendir(folder.c_str())) {
        while (dirent* entry = readdir(dir))
            if (entry->d_name[0] != '.') names.push_back(folder + "/" + entry->d_name);
        closedir(dir);
    }
    return names;
}

class SpamRelay : public ::testing::Test {
protected:
    void SetUp() override {
        testsupport::MakeDirs(data_ + "cache");
        WriteFile(data_ + "spamkeyword.db", "*cheap pills*\r\n" + platform::Utf8ToCp932("*出会い*") + "\r\n");
        smtpPort_ = testsupport::FreeTcpPort();
        smtpd_ = std::make_unique<Process>(
            std::vector<std::string>{"/usr/bin/python3", "-m", "aiosmtpd", "-n", "-l",
                                     "127.0.0.1:" + std::to_string(smtpPort_), "-c", "aiosmtpd.handlers.Mailbox",
                                     mailbox_},
            Process::Options{});
        ASSERT_TRUE(testsupport::WaitForTcpPort(smtpPort_)) << smtpd_->err();
        spam_ = Start({testsupport::BinPath("orqspam"), "-t=[SPAM]", "-e=SPAM_TEST_ROOT", "-s"});
        ASSERT_TRUE(testsupport::WaitUntil([&] { return spam_->out().find("Start Tavrisk SPAM Server") != std::string::npos; }));
    }

    std::unique_ptr<Process> Start(std::vector<std::string> argv) {
        Process::Options options;
        options.env = {{"SPAM_TEST_ROOT", root_.path()}, {"VELQOR_PIPE_DIR", pipes_.path()},
                       {"VELQOR_DNS_SERVER", dns_.server()}};
        return std::make_unique<Process>(std::move(argv), options);
    }

    // One relay run: orqsprx with the options, swaks through it; what swaks saw.
    std::string Send(const std::vector<std::string>& relayOptions, const std::string& from, const std::string& body,
                     const std::string& headers = "") {
        int port = testsupport::FreeTcpPort();
        WriteFile(data_ + "smtp.ini",
                  "127.0.0.1 " + std::to_string(port) + "=,127.0.0.1 " + std::to_string(smtpPort_) + ",test\r\n");
        std::vector<std::string> argv{testsupport::BinPath("orqsprx"), "-e=SPAM_TEST_ROOT", "-p=1", "-f", "-v"};
        argv.insert(argv.end(), relayOptions.begin(), relayOptions.end());
        auto relay = Start(argv);
        EXPECT_TRUE(testsupport::WaitForTcpPort(port)) << relay->err();
        testsupport::CommandResult swaks = testsupport::RunCommand(
            "/usr/bin/swaks --server 127.0.0.1:" + std::to_string(port) + " --from " + from +
            " --to ann@b.test --header 'Subject: Hello' " + headers + " --body '" + body + "'");
        return swaks.output;
    }

    testsupport::TempDir root_, pipes_, boxes_;
    std::string data_ = root_ / "VELQOR/";
    std::string mailbox_ = boxes_ / "mbox";
    // Names under broken.test go to a server that fails every lookup.
    const int failingPort_ = testsupport::FreeTcpPort();
    Process failingDns_{{"/usr/bin/python3", testsupport::SourcePath("filters/spam/tests/slow_dns.py"),
                         std::to_string(failingPort_), "0", "2"},
                        Process::Options{}};
    testsupport::Dnsmasq dns_{{"txt-record=cidr.test,\"v=spf1 ip4:192.0.2.0/24 -all\"",
                               "server=/broken.test/127.0.0.1#" + std::to_string(failingPort_),
                               "txt-record=err.test,\"v=spf1 exists:err.broken.test -all\""}};
    int smtpPort_ = 0;
    std::unique_ptr<Process> smtpd_, spam_;
};

TEST_F(SpamRelay, RefusedWithRejectionOn) {
    const std::string utf8Base64 = "--add-header 'MIME-Version: 1.0' --add-header 'Content-Type: text/plain; charset=UTF-8' "
                                   "--add-header 'Content-Transfer-Encoding: base64'";
    struct Case {
        const char* from;
        std::string body;
        const char* refusal;
        std::string headers;
    };
    const Case cases[] = {
        {"bob@a.test", "buy cheap pills now", "552 Requested mail action aborted: SPAM found 'BODY detected.'.", ""},
        {"bob@a.test", common::TextToBase64(std::string(40, '.') + "素敵な出会いを"),
         "552 Requested mail action aborted: SPAM found 'BODY detected.'.", utf8Base64},
        {"bob@cidr.test", "hello", "552 Requested mail action aborted: SPAM found 'SPF detected.'.", ""},
    };
    for (const Case& c : cases) {
        std::string dialogue = Send({"-j=1"}, c.from, c.body, c.headers);
        EXPECT_NE(dialogue.find(c.refusal), std::string::npos) << dialogue;
    }
    EXPECT_TRUE(FilesIn(mailbox_ + "/new").empty());
}

TEST_F(SpamRelay, DeliveredMarkedWithoutRejection) {
    std::string dialogue = Send({}, "bob@a.test", "buy cheap pills now");
    EXPECT_EQ(dialogue.find("552"), std::string::npos) << dialogue;
    ASSERT_TRUE(testsupport::WaitUntil([&] { return FilesIn(mailbox_ + "/new").size() == 1; })) << dialogue;
    std::string mail = testsupport::ReadFile(FilesIn(mailbox_ + "/new")[0]);
    EXPECT_NE(mail.find("\nSubject: [SPAM]Hello\n"), std::string::npos) << mail;
    EXPECT_NE(mail.find("\nX-Tavrisk-SpamCheck: TRUE\n"), std::string::npos) << mail;
    EXPECT_NE(mail.find("\n\nbuy cheap pills now\n"), std::string::npos) << mail;
}

TEST_F(SpamRelay, ASenderWhoseDnsFailsIsNotMarked) {
    ASSERT_TRUE(testsupport::WaitUntil([&] { return failingDns_.out().find("READY") != std::string::npos; }));
    std::string dialogue = Send({"-j=1"}, "bob@err.test", "hello");
    EXPECT_EQ(dialogue.find("552"), std::string::npos) << dialogue;
    ASSERT_TRUE(testsupport::WaitUntil([&] { return FilesIn(mailbox_ + "/new").size() == 1; })) << dialogue;
    std::string mail = testsupport::ReadFile(FilesIn(mailbox_ + "/new")[0]);
    EXPECT_NE(mail.find("\nSubject: Hello\n"), std::string::npos) << mail;
    EXPECT_EQ(mail.find("X-Tavrisk-SpamCheck"), std::string::npos) << mail;
}

}  // namespace
