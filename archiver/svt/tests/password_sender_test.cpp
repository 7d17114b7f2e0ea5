#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <future>

#include "archiver/svt/archive_log.h"
#include "archiver/svt/password_sender.h"
#include "smtp_peer.h"
#include "svt_fixture.h"
#include "test_support.h"

namespace {

using testsupport::FileExists;
using testsupport::WriteFile;

// The aiosmtpd sink on a loopback port, checked to have come up.
struct SmtpSink : testsupport::SmtpPeer {
    explicit SmtpSink(const std::vector<std::string>& options = {}) : SmtpPeer(options) { EXPECT_NE(port(), 0) << err(); }
};

const char* kPasswordMail = "From: from@example.test\r\nSubject: s\r\nMessage-ID: <m_2@example.test>\r\n\r\n"
                            "..a stuffed line\r\nbody\r\n\r\n.\r\n";

struct QueueFixture : ::testing::Test {
    testsupport::TempDir work;
    archiver::ArchiveSettings settings;
    void SetUp() override {
        settings.workFolder = work.path();
        settings.mailExtension = "dat";
        settings.smtpServer = "127.0.0.1";
        archiver::SetUpLog(settings);
    }
    void Queue(const std::string& id, const std::vector<std::string>& recipients) {
        WriteFile(work / (id + "-pw.dat"), kPasswordMail);
        std::string envelope = "Message-ID: <" + id + ">\r\nReturn-path: from@example.test\r\n";
        for (const auto& r : recipients) envelope += "Recipient: " + r + "\r\n";
        WriteFile(work / (id + "-pw.rcp"), envelope);
    }
};

TEST_F(QueueFixture, DialoguesWithDifferentServers) {
    struct Case {
        std::string name;
        std::vector<std::string> sinkOptions;
        bool esmtp;
        bool backToSender;
        std::vector<std::string> recipients;
        std::string expectedEnvelope;
    };
    const std::vector<Case> cases = {
        {"no PLAIN offered: no AUTH", {}, true, false, {"a@example.test"}, "FROM from@example.test\nTO a@example.test\n"},
        {"EHLO refused: HELO", {"--refuse-ehlo"}, true, false, {"a@example.test"},
         "FROM from@example.test\nTO a@example.test\n"},
        {"one of two refused", {"--refuse-rcpt", "bad@example.test"}, false, false,
         {"bad@example.test", "good@example.test"}, "FROM from@example.test\nTO good@example.test\n"},
        {"back to the sender only", {}, false, true, {"a@example.test", "b@example.test"},
         "FROM from@example.test\nTO from@example.test\n"},
        {"long EHLO reply, then AUTH PLAIN", {"--long-ehlo", "--auth", "user:secret"}, true, false,
         {"a@example.test"}, "FROM from@example.test\nTO a@example.test\nAUTH user secret\n"},
    };
    for (const Case& c : cases) {
        SmtpSink sink(c.sinkOptions);
        settings.smtpPort = static_cast<unsigned long>(sink.port());
        settings.esmtp = c.esmtp;
        settings.backToSender = c.backToSender;
        settings.authId = "user";
        settings.authPassword = "secret";
        Queue("Q1", c.recipients);
        archiver::SendQueuedPasswordMails(settings);
        ASSERT_TRUE(sink.Received(1, std::chrono::seconds(2))) << c.name;
        EXPECT_EQ(sink.Envelope(1), c.expectedEnvelope) << c.name;
        // The data as sent: the file's own lines, its "." line ending the data.
        EXPECT_EQ(sink.Mail(1),
                  "From: from@example.test\r\nSubject: s\r\nMessage-ID: <m_2@example.test>\r\n\r\n"
                  ".a stuffed line\r\nbody\r\n\r\n") << c.name;
        EXPECT_FALSE(FileExists(work / "Q1-pw.rcp")) << c.name;
        EXPECT_FALSE(FileExists(work / "Q1-pw.dat")) << c.name;
    }
}

TEST_F(QueueFixture, OverIpv6) {
    if (!testsupport::HaveIPv6Loopback()) GTEST_SKIP() << "no ::1 here";
    SmtpSink sink({"--host", "::1"});
    settings.smtpServer = "::1";
    settings.addressFamily = 1;
    settings.smtpPort = static_cast<unsigned long>(sink.port());
    Queue("Q6", {"a@example.test"});
    archiver::SendQueuedPasswordMails(settings);
    ASSERT_TRUE(sink.Received(1, std::chrono::seconds(2)));
    EXPECT_FALSE(FileExists(work / "Q6-pw.rcp"));
}

TEST_F(QueueFixture, FailuresLeaveTheEntry) {
    Queue("Q2", {"a@example.test"});
    WriteFile(work / "Q3-pw.rcp", "Message-ID: <Q3>\r\nReturn-path: x@example.test\r\nRecipient: a@example.test\r\n");
    {
        // Every recipient refused.
        SmtpSink sink({"--refuse-rcpt", "a@example.test"});
        settings.smtpPort = static_cast<unsigned long>(sink.port());
        archiver::SendQueuedPasswordMails(settings);
        EXPECT_FALSE(sink.Received(1, std::chrono::milliseconds(300)));
    }
    EXPECT_TRUE(FileExists(work / "Q2-pw.rcp"));
    EXPECT_TRUE(FileExists(work / "Q2-pw.dat"));
    // Nobody listening.
    settings.smtpPort = static_cast<unsigned long>(testsupport::FreeTcpPort());
    archiver::SendQueuedPasswordMails(settings);
    EXPECT_TRUE(FileExists(work / "Q2-pw.rcp"));
    EXPECT_TRUE(FileExists(work / "Q3-pw.rcp")) << "an envelope without its data file waits";
}

TEST_F(QueueFixture, AnEnvelopeThatIsAFifoIsPassedOver) {
    // Sorted first, and opening it would wait for a writer that never comes.
    WriteFile(work / "A0-pw.dat", kPasswordMail);
    ASSERT_EQ(::mkfifo((work / "A0-pw.rcp").c_str(), 0600), 0);
    Queue("Q1", {"a@example.test"});
    SmtpSink sink;
    settings.smtpPort = static_cast<unsigned long>(sink.port());
    auto pass = std::async(std::launch::async, [&] { archiver::SendQueuedPasswordMails(settings); });
    const bool ended = pass.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
    if (!ended) {
        // A writer that comes and goes lets the reader stuck on the FIFO
        // reach its end, so the test can end.
        ::close(::open((work / "A0-pw.rcp").c_str(), O_WRONLY));
        pass.wait();
    }
    EXPECT_TRUE(ended);
    EXPECT_TRUE(sink.Received(1, std::chrono::seconds(2)));
    EXPECT_FALSE(FileExists(work / "Q1-pw.rcp"));
}

// The archived mail's password mail through the running server.
TEST(PasswordSender, ArchivedMailsPasswordReachesTheServerWithAuthPlain) {
    SmtpSink sink({"--auth", "user:secret"});
    svttest::Orqsvt server({"-x=dat", "-l=0", "-@=PW", "-s=127.0.0.1", "-p=" + std::to_string(sink.port()), "-a=1",
                            "-i=user", "-r=secret", "-c=600"});
    const std::string mail = "From: from@example.test\r\nTo: to@example.test\r\nSubject: quote\r\n"
                             "Message-ID: <orig-7@example.test>\r\n"
                             "Content-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\nContent-Type: text/plain\r\n\r\n"
                             "hi\r\n--b\r\nContent-Type: application/pdf; name=a.pdf\r\n"
                             "Content-Transfer-Encoding: base64\r\n\r\nJVBERi0xLjQK\r\n--b--\r\n.\r\n";
    const std::string path = server.PutMail("PW.1", mail, "from@example.test", {"to@example.test", "cc@example.test"});
    std::string reply;
    ASSERT_EQ(server.Ask(path, reply), 0);
    ASSERT_EQ(reply, "Compressed");
    ASSERT_TRUE(sink.Received(1)) << server.log();
    EXPECT_EQ(sink.Envelope(1),
              "FROM from@example.test\nTO to@example.test\nTO cc@example.test\nAUTH user secret\n");
    const std::string sent = sink.Mail(1);
    EXPECT_NE(sent.find("Message-ID: <orig-7_2@example.test>\r\nReferences: <orig-7@example.test>\r\n"),
              std::string::npos) << sent;
    EXPECT_NE(sent.find("Subject: quote\r\n"), std::string::npos);
    EXPECT_TRUE(testsupport::WaitUntil([&] { return !FileExists(server.workFolder() + "/PW.1-pw.rcp"); }));
    EXPECT_NE(server.log().find("PW.1-pw.dat -- send success. code=0x0000\n"), std::string::npos);
}

TEST(PasswordSender, UnreachableServerIsRetriedAfterThePeriod) {
    const int port = testsupport::FreeTcpPort();
    svttest::Orqsvt server({"-x=dat", "-l=1", "-@=pw", "-s=127.0.0.1", "-p=" + std::to_string(port), "-c=2"});
    const std::string path =
        server.PutMail("R.1", "Subject: r\r\nContent-Type: application/pdf\r\n\r\nJVBERi0xLjQK\r\n.\r\n");
    std::string reply;
    ASSERT_EQ(server.Ask(path, reply), 0);
    ASSERT_EQ(reply, "Compressed");
    ASSERT_TRUE(testsupport::WaitUntil([&] { return server.log().find("connect fail.") != std::string::npos; }));
    EXPECT_TRUE(FileExists(server.workFolder() + "/R.1-pw.rcp"));
    EXPECT_TRUE(FileExists(server.workFolder() + "/R.1-pw.dat"));
    SmtpSink sink({"--port", std::to_string(port)});
    ASSERT_TRUE(sink.Received(1, std::chrono::seconds(8))) << server.log();
    EXPECT_TRUE(testsupport::WaitUntil([&] { return !FileExists(server.workFolder() + "/R.1-pw.rcp"); }));
}

}  // namespace
