// The SMTP relay in front of a real Postfix of the test's own (see
// postfix_peer.py), with smtplib and raw socket clients.
#include <signal.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "mail_fixture.h"

namespace mailtest {
namespace {

using namespace std::chrono_literals;
using testsupport::ReadFile;
using testsupport::RunCommand;

class SmtpPostfixTest : public MailRelayTest {
protected:
    void SetUp() override {
        if (!testsupport::FileExists("/usr/sbin/postfix")) GTEST_SKIP() << "postfix is not installed";
        MailRelayTest::SetUp();
    }
    void TearDown() override {
        postfix_.reset();
    }
    void StartPostfix(const std::vector<std::string>& settings = {}) {
        std::vector<std::string> argv{"/usr/bin/python3",
                                      testsupport::SourcePath("engine/mail/tests/postfix_peer.py"), path("postfix")};
        argv.insert(argv.end(), settings.begin(), settings.end());
        // Postfix takes a few seconds to start on a busy machine.
        testsupport::Process::Options options;
        options.stopGrace = std::chrono::seconds(20);  // its Postfix master stops with it
        postfix_ = std::make_unique<testsupport::Process>(argv, options);
        testsupport::WaitUntil(
            [&] {
                const std::string out = postfix_->out();
                if (out.rfind("port ", 0) != 0 || out.find('\n') == std::string::npos) return !postfix_->running();
                postfixPort_ = std::stoi(out.substr(5));
                return true;
            },
            40s);
        ASSERT_NE(postfixPort_, 0) << postfix_->err() << MailLog();
    }
    void StartRelay(RelaySetup setup = {}) {
        setup.serverPort = postfixPort_;
        StartEngine(setup);
    }
    // Runs a Python script with PORT set to the relay's port.
    testsupport::CommandResult Python(const std::string& script, std::chrono::seconds timeout = 30s) {
        testsupport::WriteFile(path("client.py"), "PORT = " + std::to_string(port_) + "\n" + script);
        return RunCommand("/usr/bin/python3 " + path("client.py"), timeout);
    }
    // The mails Postfix delivered (one per recipient), once the queue has
    // stayed empty for a moment.
    std::vector<std::string> Delivered() {
        const std::string queue = path("postfix/queue");
        testsupport::WaitUntil(
            [&] {
                return RunCommand("find " + queue + "/incoming " + queue + "/active " + queue +
                                  "/deferred " + queue + "/maildrop -type f | wc -l")
                           .output == "0\n";
            },
            20s);
        std::vector<std::string> mails;
        std::error_code ec;
        for (const auto& entry : std::filesystem::directory_iterator(path("postfix/box/new"), ec))
            mails.push_back(ReadFile(entry.path()));
        return mails;
    }
    std::string MailLog() const { return ReadFile(path("postfix/maillog")); }

    int postfixPort_ = 0;
    std::unique_ptr<testsupport::Process> postfix_;
};

int Count(const std::string& text, const std::string& what) {
    int n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

// A raw client: the dialogue up to the relay's 354, then `data` as it is.
const char* kRawClient = R"(
import socket, sys, time
def dialogue(data, rcpt="first@example.net"):
    s = socket.create_connection(("127.0.0.1", PORT), timeout=8)
    f = s.makefile("rb")
    def reply():
        lines = []
        while True:
            line = f.readline()
            lines.append(line)
            if len(line) < 4 or line[3:4] != b"-":
                return b"".join(lines)
    reply()
    for command in (b"EHLO client.example.org", b"MAIL FROM:<sender@example.org>", b"RCPT TO:<" + rcpt.encode() + b">",
                    b"DATA"):
        s.sendall(command + b"\r\n")
        reply()
    s.sendall(data)
    answers = []
    try:
        while True:
            answer = reply()
            if not answer:
                break
            answers.append(answer)
            if answer.startswith(b"221"):
                break
    except socket.timeout:
        answers.append(b"timeout")
    s.close()
    return answers
)";

TEST_F(SmtpPostfixTest, DataEndedByBareLineFeedsIsAnsweredAndCannotHideASecondMail) {
    StartPostfix();
    StartRelay();
    const auto result = Python(std::string(kRawClient) + R"(
print("bare", dialogue(b"Subject: bare\n\nbare line feeds\n.\nQUIT\r\n"))
print("lf-crlf", dialogue(b"Subject: lf-crlf\r\n\r\nfirst\n.\r\nQUIT\r\n"))
print("smuggled", dialogue(b"Subject: outer\r\n\r\nfirst\n.\r\nMAIL FROM:<evil@example.org>\r\n"
                           b"RCPT TO:<second@example.net>\r\nDATA\r\nSubject: inner\r\n\r\nevil\r\n.\r\nQUIT\r\n"))
)");
    ASSERT_EQ(result.exitCode, 0) << result.output;
    // Each mail is answered at once, never by the time-out.
    EXPECT_EQ(Count(result.output, "timeout"), 0) << result.output;
    EXPECT_EQ(Count(result.output, "b'250 "), 6) << result.output << engine_->log();

    // Postfix got exactly the mails the relay checked: every one carries
    // the relay's Received: line and was scanned.
    const auto mails = Delivered();
    ASSERT_EQ(mails.size(), 4u) << MailLog();
    for (const auto& mail : mails) {
        EXPECT_NE(mail.find("(VELQOR Server);"), std::string::npos) << mail;
    }
    EXPECT_EQ(Count(Scans(), "\t3\t"), 4) << Scans();
    // The smuggled mail went through the relay as a mail of its own, with
    // its own envelope.
    int inner = 0;
    for (const auto& mail : mails)
        if (mail.find("Subject: inner") != std::string::npos) {
            ++inner;
            EXPECT_NE(mail.find("Return-Path: <evil@example.org>"), std::string::npos) << mail;
        }
    EXPECT_EQ(inner, 1);
}

TEST_F(SmtpPostfixTest, UploadSlowerThanTheServersIdleTimeOutIsDelivered) {
    StartPostfix({"smtpd_timeout = 5s"});
    StartRelay({.env = {{"VELQOR_SMTP_KEEPALIVE_MS", "1000"}}});
    // Eight seconds of upload in pieces, as over a slow line.
    const auto result = Python(R"(
import smtplib, time
s = smtplib.SMTP("127.0.0.1", PORT, timeout=30)
s.ehlo("client.example.org")
s.mail("sender@example.org")
s.rcpt("slow@example.net")
code, _ = s.docmd("DATA")
assert code == 354, code
s.send(b"Subject: slow\r\n\r\n")
for n in range(16):
    s.send(b"line %d of a slow upload\r\n" % n)
    time.sleep(0.5)
s.send(b".\r\n")
print(s.getreply())
s.quit()
)");
    EXPECT_EQ(result.exitCode, 0) << result.output;
    EXPECT_NE(result.output.find("(250, "), std::string::npos) << result.output << engine_->log() << MailLog();
    const auto mails = Delivered();
    ASSERT_EQ(mails.size(), 1u) << MailLog();
    EXPECT_NE(mails[0].find("line 15 of a slow upload"), std::string::npos);
}

std::uint64_t PeakResidentKiB(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0) return std::stoull(line.substr(6));
    return 0;
}

// The relay's memory stays bounded whatever the mail's size. Address-space
// limits can't be used here: sanitizer builds reserve terabytes of address
// space up front, so the peak resident memory is measured instead.
TEST_F(SmtpPostfixTest, LargeMailPassesWithBoundedMemory) {
    StartPostfix();
    StartRelay();
    constexpr std::uint64_t kMailMiB = 128;
    const std::uint64_t before = PeakResidentKiB(engine_->process().pid());
    const auto result = Python(R"(
import smtplib
class Lines:
    # The mail in 1 MiB pieces, never whole in this process either.
    def __init__(self, mib):
        self.mib = mib
    def __iter__(self):
        yield b"Subject: large\r\n\r\n"
        line = b"x" * 1022 + b"\r\n"
        for _ in range(self.mib):
            yield line * 1024
s = smtplib.SMTP("127.0.0.1", PORT, timeout=120)
s.ehlo("client.example.org")
s.mail("sender@example.org")
s.rcpt("large@example.net")
code, _ = s.docmd("DATA")
assert code == 354, code
for piece in Lines()" + std::to_string(kMailMiB) + R"():
    s.send(piece)
s.send(b".\r\n")
print(s.getreply())
s.quit()
)",
                               120s);
    EXPECT_EQ(result.exitCode, 0) << result.output;
    EXPECT_NE(result.output.find("(250, "), std::string::npos) << result.output << MailLog();
    const std::uint64_t peak = PeakResidentKiB(engine_->process().pid());
    EXPECT_LT(peak - before, kMailMiB * 1024 / 4) << "peak " << peak << " KiB, before " << before << " KiB";
    const auto mails = Delivered();
    ASSERT_EQ(mails.size(), 1u) << MailLog();
    EXPECT_GT(mails[0].size(), kMailMiB * 1023 * 1024);  // the maildir file has LF line ends
}

// SIGTERM while mails are between the server's acceptance and its answer
// to the client: each is answered before the relay ends, so no mail the
// client will send again was delivered.
TEST_F(SmtpPostfixTest, StopUnderLoadDeliversNoMailWhoseAnswerTheClientMissed) {
    // Postfix pauses before its answer to each mail's data, after it took
    // the mail: the window a stop must not cut.
    StartPostfix({"smtpd_end_of_data_restrictions = sleep 2, permit"});
    StartRelay();
    testsupport::WriteFile(path("client.py"), "PORT = " + std::to_string(port_) + "\nOUT = '" + path("acked") +
                                                  "'\n" + R"(
import smtplib, sys, threading
def sender(n):
    for k in range(100):
        subject = "mail-%d-%d" % (n, k)
        try:
            s = smtplib.SMTP("127.0.0.1", PORT, timeout=60)
            s.sendmail("sender@example.org", ["load@example.net"], "Subject: %s\r\n\r\nbody\r\n" % subject)
        except Exception:
            return
        with open(OUT, "a") as f:
            f.write(subject + "\n")
        try:
            s.quit()
        except Exception:
            return
threads = [threading.Thread(target=sender, args=(n,)) for n in range(6)]
for t in threads: t.start()
for t in threads: t.join()
)");
    testsupport::Process clients({"/usr/bin/python3", path("client.py")}, testsupport::Process::Options{});
    // Stop while every sender waits for Postfix's answer to its first mail.
    ASSERT_TRUE(testsupport::WaitUntil([&] { return engine_->count("VIRUS result") >= 6; },
                                       20s))
        << engine_->log();
    std::this_thread::sleep_for(500ms);
    engine_->process().terminate(SIGTERM);
    EXPECT_EQ(engine_->process().wait(40s), 0) << engine_->log();
    EXPECT_NE(clients.wait(60s), -1);

    const std::string acked = ReadFile(path("acked"));
    const auto mails = Delivered();
    EXPECT_GE(mails.size(), 6u) << acked;
    for (const auto& mail : mails) {
        const std::size_t at = mail.find("Subject: ");
        ASSERT_NE(at, std::string::npos) << mail;
        const std::string subject = mail.substr(at + 9, mail.find('\n', at) - at - 9);
        EXPECT_NE(acked.find(subject + "\n"), std::string::npos) << subject << " delivered unanswered";
        EXPECT_EQ(Count(acked, subject + "\n"), 1) << subject;
    }
}

}  // namespace
}  // namespace mailtest
