// orqspam as the proxy engine meets it: the real program on its pipe, with
// a dnsmasq on loopback for SPF and the URI blocklists, judging sample
// mails sent in both request forms.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <sstream>

#include "common/local_time.h"
#include "common/text.h"
#include "platform/codepage/codepage.h"
#include "platform/dns/tests/dnsmasq_fixture.h"
#include "platform/pipe/pipe.h"
#include "test_support.h"

namespace {

using testsupport::ReadFile;
using testsupport::WriteFile;

constexpr size_t kRequestSize = 521;  // what the proxy engine sends
constexpr size_t kReplySize = 521;

class Orqspam : public ::testing::Test {
protected:
    void SetUp() override {
        testsupport::MakeDirs(root_ / "VELQOR/cache");
        testsupport::MakeDirs(pipes_.path());
        data_ = root_ / "VELQOR/";
        ::setenv("VELQOR_PIPE_DIR", pipes_.path().c_str(), 1);
    }
    void TearDown() override { ::unsetenv("VELQOR_PIPE_DIR"); }

    std::unique_ptr<testsupport::Process> Start(const std::vector<std::string>& options) {
        std::vector<std::string> argv{testsupport::BinPath("orqspam")};
        argv.insert(argv.end(), options.begin(), options.end());
        testsupport::Process::Options env;
        env.env = {{"SPAM_TEST_ROOT", root_.path()}, {"VELQOR_PIPE_DIR", pipes_.path()},
                   {"VELQOR_DNS_SERVER", dns_.server()}};
        return std::make_unique<testsupport::Process>(argv, env);
    }

    bool Serving(testsupport::Process& server) {
        return testsupport::WaitUntil([&] { return server.out().find("Start Tavrisk SPAM Server\n") != std::string::npos; },
                                      std::chrono::seconds(10));
    }

    // One request as the engine sends it: the text in a zeroed 521-byte buffer.
    int Ask(const std::string& text, std::string& reply) {
        std::string request = text;
        request.resize(kRequestSize, '\0');
        return platform::CallNamedPipe("\\\\.\\pipe\\orqspam", request, kReplySize, reply, 5000, 20000);
    }

    std::string Mail(const std::string& name, const std::string& content) {
        std::string path = data_ + "cache/" + name + ".dat";
        WriteFile(path, content);
        return path;
    }

    testsupport::TempDir root_, pipes_;
    std::string data_;
    // Names under broken.test go to a server that fails every lookup.
    const int failingPort_ = testsupport::FreeTcpPort();
    testsupport::Process failingDns_{{"/usr/bin/python3", testsupport::SourcePath("filters/spam/tests/slow_dns.py"),
                                      std::to_string(failingPort_), "0", "2"},
                                     testsupport::Process::Options{}};
    testsupport::Dnsmasq dns_{{
        "server=/broken.test/127.0.0.1#" + std::to_string(failingPort_),
        "txt-record=err.test,\"v=spf1 exists:err.broken.test -all\"",
        "txt-record=incerr.test,\"v=spf1 include:spf.broken.test -all\"",
        "txt-record=amx.test,\"v=spf1 mx:mail.broken.test -all\"",
        "txt-record=two.test,\"v=spf1 ip4:192.0.2.0/24 -all\"",
        "txt-record=two.test,\"v=spf1 ip4:198.51.100.0/24 -all\"",
        "txt-record=cidr.test,\"v=spf1 ip4:192.0.2.0/24 -all\"",
        "host-record=bad.example.uribl.test,127.0.0.2",
        "host-record=spam.example.uribl.test,127.0.0.2",
    }};
};

std::string ThisYear() { return std::to_string(common::NowLocal().year); }

// Every line diff shows as changed is a Subject line or the check header.
void ExpectOnlyMarkingChanged(const std::string& original, const std::string& marked, const std::string& what) {
    testsupport::TempDir dir;
    WriteFile(dir / "a", original);
    WriteFile(dir / "b", marked);
    testsupport::CommandResult diff = testsupport::RunCommand("/usr/bin/diff " + dir / "a" + " " + dir / "b");
    EXPECT_EQ(diff.exitCode, 1) << what;
    std::istringstream lines(diff.output);
    bool header = false;
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("< ", 0) != 0 && line.rfind("> ", 0) != 0) continue;
        EXPECT_TRUE(line.rfind("< Subject:", 0) == 0 || line.rfind("> Subject: [SPAM]", 0) == 0 ||
                    line == "> X-Tavrisk-SpamCheck: TRUE\r")
            << what << ": " << line;
        header = header || line == "> X-Tavrisk-SpamCheck: TRUE\r";
    }
    EXPECT_TRUE(header) << what;
}

TEST_F(Orqspam, SampleMailsInBothForms) {
    const std::string date = "Date: Tue, 8 Dec " + ThisYear() + " 10:00:00 +0900\r\n";
    WriteFile(data_ + "spamkeyword.db", "' spam words\r\n*cheap pills*\r\n" + platform::Utf8ToCp932("*出会い*") + "\r\n");
    testsupport::MakeDirs(data_ + "spamkeyword");
    WriteFile(data_ + "spamkeyword/10.0.0.5.db", "*own word*\r\n");
    WriteFile(data_ + "spam-dnsbl.db", "uribl.test\r\n");
    WriteFile(data_ + "shorturl.db", "short.example/abc12 spam.example\r\n");
    const std::string jis = platform::ConvertText(65001, 50220, "素敵な出会いを");
    const std::string jisSubject = "=?ISO-2022-JP?B?" + common::TextToBase64(platform::ConvertText(65001, 50220, "お知らせ")) + "?=";

    struct Case {
        const char* name;
        std::string mail;
        std::string tail;  // after the path: "\t<client>\t<sender>" or "?<list>"
        const char* reply;
    };
    const Case cases[] = {
        {"req-4-0001", "Subject: " + jisSubject + "\r\n" + date + "Content-Type: text/plain; charset=ISO-2022-JP\r\n\r\n" + jis + "\r\n",
         "?spamkeyword\\10.0.0.6.db", "BODY detected."},
        {"req-4-0002", "Subject: a\r\n" + date + "Content-Type: multipart/mixed; boundary=\"XY\"\r\n\r\n--XY\r\n"
                       "Content-Transfer-Encoding: base64\r\n\r\naGVsbG8gdGhlcmU=\r\n--XY\r\nContent-Type: text/plain\r\n\r\n"
                       "buy cheap pills now\r\n--XY--\r\n", "?spamkeyword\\10.0.0.6.db", "BODY detected."},
        {"req-4-0003", "Subject: b\r\n" + date + "Content-Transfer-Encoding: quoted-printable\r\n\r\n"
                       "click http://www=2ebad=2eexample/offer now\r\n", "?spamkeyword\\10.0.0.6.db", "BODY detected."},
        {"req-4-0004", "Subject: c\r\n" + date + "\r\nsee http://short.example/abc12\r\n", "?spamkeyword\\10.0.0.6.db",
         "BODY detected."},
        {"req-4-0005", "Subject: d\r\n" + date + "\r\nan own word\r\n", "?spamkeyword\\10.0.0.5.db", "BODY detected."},
        {"req-4-0006", "Subject: e\r\n" + date + "\r\nan own word\r\n", "?spamkeyword\\10.0.0.6.db", ""},
        {"req-4-0007", "Subject: f\r\n\r\nno date here\r\n", "?spamkeyword\\10.0.0.6.db", "Date detected."},
        {"req-4-0008", "Subject: g\r\nDate: 8 Dec 26 10:00:00 +0900\r\n\r\nold\r\n", "?x.db", "Date detected."},
        {"req-4-0009", "Subject: h\r\nX-Tavrisk-SpamCheck: true\r\n\r\nbuy cheap pills now\r\n", "?x.db", ""},
        {"req-4-0010", "Subject: i\r\n" + date + "\r\n" + std::string(5000, 'x') + "\r\n", "?x.db", ""},
        {"req-4-0011", "Subject: j\r\n" + date + "\r\n" + std::string(4000, 'x') + " cheap pills " + std::string(988, 'x') + "\r\n",
         "?x.db", "BODY detected."},
        {"req-1-0012", "Subject: k\r\n" + date + "\r\nhello\r\n", "\t198.51.100.1\tbob@cidr.test", "SPF detected."},
        {"req-1-0013", "Subject: l\r\n" + date + "\r\nbuy cheap pills now\r\n", "\t192.0.2.7\tbob@cidr.test", "BODY detected."},
        {"req-1-0014", "Subject: m\r\n" + date + "\r\nhello\r\n", "\t192.0.2.7\tbob@cidr.test", ""},
        {"req-1-0015", "Subject: n\r\n" + date + "\r\nhello\r\n", "\t192.0.2.7", ""},
    };

    auto server = Start({"-t=[SPAM]", "-e=SPAM_TEST_ROOT", "-w", "-s", "-d"});
    ASSERT_TRUE(Serving(*server)) << server->out() << server->err();
    for (const std::string& line : {std::string("] ORQSPAM (2.03)\n"), std::string("] Loging:  yes\n"),
                                    "] SPF1 Pass File: " + root_.path() + "/VELQOR/passspf.db\n"})
        EXPECT_NE(server->out().find(line), std::string::npos) << line << server->out();

    for (const Case& c : cases) {
        std::string path = Mail(c.name, c.mail);
        std::string reply = "unset";
        ASSERT_EQ(Ask(path + c.tail, reply), 0) << c.name;
        EXPECT_EQ(reply, c.reply) << c.name;
        std::string after = ReadFile(path);
        if (*c.reply) {
            ExpectOnlyMarkingChanged(c.mail, after, c.name);
            // Checked before: no second tag.
            ASSERT_EQ(Ask(path + c.tail, reply), 0) << c.name;
            EXPECT_EQ(reply, "") << c.name;
            EXPECT_EQ(ReadFile(path), after) << c.name;
        } else {
            EXPECT_EQ(after, c.mail) << c.name;
        }
        EXPECT_TRUE(testsupport::WaitUntil([&] {
            return server->out().find("[" + std::string(c.name) + "] " + (*c.reply ? "SPAM" : "CLEAN") + ":\n") !=
                   std::string::npos;
        })) << c.name;
    }
    // A request without text gets no reply.
    std::string reply;
    EXPECT_EQ(Ask("", reply), 109);
    EXPECT_TRUE(testsupport::WaitUntil([&] { return server->out().find("ReadFile() fail. code = ") != std::string::npos; }));
    // With -w the lines go to the daily file as well.
    const common::LocalTime now = common::NowLocal();
    char name[32];
    std::snprintf(name, sizeof name, "%04d%02d%02d.log", now.year, now.month, now.day);
    EXPECT_NE(ReadFile(data_ + "spamenglog/" + name).find("[req-4-0001] SPAM:"), std::string::npos);
}

// Base64 as mail programs write it: lines of 76 characters (57 bytes).
std::string Base64Body(const std::string& bytes) {
    const std::string flat = common::TextToBase64(bytes);
    std::string out;
    for (size_t at = 0; at < flat.size(); at += 76) out += flat.substr(at, 76) + "\r\n";
    return out;
}

TEST_F(Orqspam, MailOfTodaysMailersIsJudgedInItsOwnCharset) {
    const std::string date = "Date: Tue, 8 Dec " + ThisYear() + " 10:00:00 +0900\r\n";
    WriteFile(data_ + "spamkeyword.db", platform::Utf8ToCp932("*出会い*") + "\r\n");
    const std::string text = "こんにちは。素敵な出会いをお探しの方へ、今すぐご登録ください。";
    const std::string clean = "こんにちは。明日の会議の資料をお送りします。よろしくお願いします。";
    // The keyword's bytes cross the end of the first encoded line.
    const std::string padded = std::string(52, 'a') + "出会い";
    const std::string jisLong = platform::ConvertText(65001, 50220, "お知らせです。お知らせです。お知らせです。" + text);
    const std::string sjis = platform::Utf8ToCp932(std::string(35, ' ') + text);
    auto qp = [](const std::string& bytes) {
        std::string out;
        char hex[4];
        for (unsigned char c : bytes) {
            std::snprintf(hex, sizeof hex, "=%02X", c);
            out += c < 0x80 && c != '=' ? std::string(1, static_cast<char>(c)) : std::string(hex);
            if (out.size() - out.rfind('\n') > 70) out += "=\r\n";
        }
        return out + "\r\n";
    };
    struct Case {
        const char* name;
        std::string mail;
        std::string tail;
        const char* reply;
    };
    const Case cases[] = {
        // Thunderbird: UTF-8, 8bit, format=flowed.
        {"req-4-0101", "Subject: =?UTF-8?B?" + common::TextToBase64("ご案内") + "?=\r\n" + date +
                           "MIME-Version: 1.0\r\nContent-Type: text/plain; charset=UTF-8; format=flowed\r\n"
                           "Content-Transfer-Encoding: 8bit\r\n\r\n" + text + "\r\n",
         "?x.db", "BODY detected."},
        // Gmail: both alternatives Base64 in UTF-8.
        {"req-4-0102", "Subject: hi\r\n" + date + "MIME-Version: 1.0\r\n"
                           "Content-Type: multipart/alternative; boundary=\"000000000000a1b2c3\"\r\n\r\n"
                           "--000000000000a1b2c3\r\nContent-Type: text/plain; charset=\"UTF-8\"\r\n"
                           "Content-Transfer-Encoding: base64\r\n\r\n" + Base64Body(padded + "\r\n") +
                           "\r\n--000000000000a1b2c3\r\nContent-Type: text/html; charset=\"UTF-8\"\r\n"
                           "Content-Transfer-Encoding: base64\r\n\r\n" + Base64Body("<div dir=\"ltr\">" + padded + "</div>\r\n") +
                           "\r\n--000000000000a1b2c3--\r\n",
         "?x.db", "BODY detected."},
        // Outlook: quoted-printable UTF-8, a soft line break inside the word.
        {"req-4-0103", "Subject: hi\r\n" + date + "Content-Type: text/plain; charset=\"utf-8\"\r\n"
                           "Content-Transfer-Encoding: quoted-printable\r\n\r\n" + qp(std::string(10, 'b') + text),
         "?x.db", "BODY detected."},
        // ISO-2022-JP in Base64: the escape stands on the first encoded line only.
        {"req-4-0104", "Subject: hi\r\n" + date + "Content-Type: text/plain; charset=ISO-2022-JP\r\n"
                           "Content-Transfer-Encoding: base64\r\n\r\n" + Base64Body(jisLong + "\r\n"),
         "?x.db", "BODY detected."},
        // Shift_JIS in Base64.
        {"req-4-0105", "Subject: hi\r\n" + date + "Content-Type: text/plain; charset=Shift_JIS\r\n"
                           "Content-Transfer-Encoding: base64\r\n\r\n" + Base64Body(sjis + "\r\n"),
         "?x.db", "BODY detected."},
        // EUC-JP, 8bit.
        {"req-4-0106", "Subject: hi\r\n" + date + "Content-Type: text/plain; charset=EUC-JP\r\n"
                           "Content-Transfer-Encoding: 8bit\r\n\r\n" + platform::ConvertText(65001, 51932, text) + "\r\n",
         "?x.db", "BODY detected."},
        // Thunderbird with an attachment: the text lies in a nested part.
        {"req-4-0107", "Subject: hi\r\n" + date + "MIME-Version: 1.0\r\n"
                           "Content-Type: multipart/mixed;\r\n boundary=\"------------mixed01\"\r\n\r\n"
                           "This is a multi-part message in MIME format.\r\n--------------mixed01\r\n"
                           "Content-Type: multipart/alternative;\r\n boundary=\"------------alt02\"\r\n\r\n"
                           "--------------alt02\r\nContent-Type: text/plain; charset=UTF-8; format=flowed\r\n"
                           "Content-Transfer-Encoding: base64\r\n\r\n" + Base64Body(padded + "\r\n") +
                           "\r\n--------------alt02--\r\n\r\n--------------mixed01\r\n"
                           "Content-Type: application/pdf; name=\"a.pdf\"\r\nContent-Transfer-Encoding: base64\r\n\r\n" +
                           Base64Body("%PDF-1.4\n") + "\r\n--------------mixed01--\r\n",
         "?x.db", "BODY detected."},
        // Shift_JIS sent under a charset that cannot hold it is matched as it stands.
        {"req-4-0114", "Subject: hi\r\n" + date + "Content-Type: text/plain; charset=us-ascii\r\n\r\n" +
                           platform::Utf8ToCp932(text) + "\r\n",
         "?x.db", "BODY detected."},
        {"req-4-0108", "Subject: hi\r\n" + date + "Content-Type: text/plain; charset=\"UTF-8\"\r\n"
                           "Content-Transfer-Encoding: base64\r\n\r\n" + Base64Body(clean + "\r\n"),
         "?x.db", ""},
        // A lookup without an answer and two records give no verdict.
        {"req-1-0109", "Subject: hi\r\n" + date + "\r\nhello\r\n", "\t198.51.100.1\tbob@err.test", ""},
        {"req-1-0110", "Subject: hi\r\n" + date + "\r\nhello\r\n", "\t198.51.100.1\tbob@incerr.test", ""},
        {"req-1-0111", "Subject: hi\r\n" + date + "\r\nhello\r\n", "\t203.0.113.1\tbob@amx.test", ""},
        {"req-1-0112", "Subject: hi\r\n" + date + "\r\nhello\r\n", "\t203.0.113.1\tbob@two.test", ""},
        {"req-1-0113", "Subject: hi\r\n" + date + "\r\nhello\r\n", "\t198.51.100.1\tbob@cidr.test", "SPF detected."},
    };
    auto server = Start({"-t=[SPAM]", "-e=SPAM_TEST_ROOT", "-s"});
    ASSERT_TRUE(Serving(*server)) << server->out() << server->err();
    ASSERT_TRUE(testsupport::WaitUntil([&] { return failingDns_.out().find("READY") != std::string::npos; }));
    for (const Case& c : cases) {
        std::string path = Mail(c.name, c.mail);
        std::string reply = "unset";
        ASSERT_EQ(Ask(path + c.tail, reply), 0) << c.name;
        EXPECT_EQ(reply, c.reply) << c.name;
        if (*c.reply)
            ExpectOnlyMarkingChanged(c.mail, ReadFile(path), c.name);
        else
            EXPECT_EQ(ReadFile(path), c.mail) << c.name;
    }
    for (const char* verdict : {"] TempError -> 198.51.100.1 (2)\n", "] PermError -> 203.0.113.1 (2)\n"})
        EXPECT_NE(server->out().find(verdict), std::string::npos) << verdict << server->out();
}

TEST_F(Orqspam, OneCopyAndChecksOnlyWhenAsked) {
    const std::string date = "Date: 8 Dec 26 10:00:00 +0900\r\n";
    auto server = Start({"-t=[SPAM]", "-e=SPAM_TEST_ROOT"});
    ASSERT_TRUE(Serving(*server)) << server->out() << server->err();
    auto second = Start({"-e=SPAM_TEST_ROOT"});
    EXPECT_EQ(second->wait(std::chrono::seconds(10)), 0);
    EXPECT_EQ(second->out(), "");
    // Without -s and -d neither the SPF nor the Date check runs.
    std::string path = Mail("req-1-0001", "Subject: x\r\n" + date + "\r\nhello\r\n");
    std::string reply = "unset";
    ASSERT_EQ(Ask(path + "\t198.51.100.1\tbob@cidr.test", reply), 0);
    EXPECT_EQ(reply, "");
    EXPECT_EQ(dns_.Questions(), std::vector<std::string>{});
    EXPECT_TRUE(server->running());
    EXPECT_NE(server->out().find("] Loging:  no\n"), std::string::npos);
}

TEST_F(Orqspam, OnlyRegularMailsOfTheCacheAreJudgedOrMarked) {
    WriteFile(data_ + "spamkeyword.db", "*cheap pills*\r\n");
    auto server = Start({"-t=[SPAM]", "-e=SPAM_TEST_ROOT"});
    ASSERT_TRUE(Serving(*server)) << server->out() << server->err();
    const std::string spam = "Subject: x\r\n\r\nbuy cheap pills now\r\n";
    testsupport::TempDir elsewhere;
    const std::string outside = elsewhere / "victim.dat";
    WriteFile(outside, spam);
    WriteFile(data_ + "victim.dat", spam);
    const std::string cache = data_ + "cache/";
    ASSERT_EQ(::symlink(outside.c_str(), (cache + "link.dat").c_str()), 0);
    // Opening a FIFO would wait for a writer that never comes.
    ASSERT_EQ(::mkfifo((cache + "fifo.dat").c_str(), 0600), 0);
    const std::string cases[] = {outside, cache + "link.dat", cache + "fifo.dat", data_ + "victim.dat",
                                 cache + "../victim.dat", "victim.dat", outside + "\t198.51.100.1\tbob@cidr.test"};
    for (const std::string& request : cases) {
        std::string reply = "x";
        ASSERT_EQ(Ask(request, reply), 0) << request;
        EXPECT_EQ(reply, "") << request;
    }
    EXPECT_EQ(ReadFile(outside), spam);
    EXPECT_EQ(ReadFile(data_ + "victim.dat"), spam);
    std::string reply;
    ASSERT_EQ(Ask(Mail("req-4-0001", spam), reply), 0);
    EXPECT_EQ(reply, "BODY detected.");
}

}  // namespace
