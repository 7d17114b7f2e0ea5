// The SMTP relay against real peers: swaks and Python's smtplib as
// clients, an aiosmtpd sink and scripted servers behind orqsprx.
#include <algorithm>
#include <filesystem>
#include <string>

#include "avstub.h"
#include "engine/tls/tests/tls_fixture.h"
#include "mail_fixture.h"
#include "smtp_peer.h"

namespace mailtest {
namespace {

using testsupport::ReadFile;
using testsupport::RunCommand;

class SmtpRelayTest : public MailRelayTest {
protected:
    void StartServer(const std::vector<std::string>& options) {
        server_ = std::make_unique<testsupport::SmtpPeer>(options);
        serverPort_ = server_->port();
        ASSERT_NE(serverPort_, 0) << server_->err();
    }
    // The sink, which refuses bad@example.net and forwards to far@example.net.
    void StartSink(std::vector<std::string> options = {}) {
        options.insert(options.end(),
                       {"--refuse-rcpt", "bad@example.net", "--forward-rcpt", "far@example.net"});
        StartServer(options);
    }
    void StartSmtpEngine(RelaySetup setup = {}) {
        setup.serverPort = serverPort_;
        StartEngine(setup);
    }
    testsupport::CommandResult Swaks(const std::string& options) {
        return RunCommand("swaks --server 127.0.0.1:" + std::to_string(port_) +
                          " --from sender@example.org --timeout 15 " + options);
    }
    std::vector<std::string> Mails() const { return server_->Mails(); }
    // Runs a Python client script.
    testsupport::CommandResult Python(const std::string& script) {
        testsupport::WriteFile(path("client.py"), script);
        return RunCommand("/usr/bin/python3 " + path("client.py"));
    }
    // Python's smtplib connected to the engine as `s`, then `steps`.
    testsupport::CommandResult Smtplib(const std::string& steps) {
        return Python("import smtplib\ns = smtplib.SMTP('127.0.0.1', " + std::to_string(port_) + ", timeout=15)\n" +
                      steps);
    }
    std::string Commands() const { return server_->Commands(); }
    // Every file of the backup folder's day folders, by name.
    std::vector<std::filesystem::path> BackupFiles() const {
        std::vector<std::filesystem::path> files;
        std::error_code ec;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(path("backup"), ec))
            if (entry.is_regular_file()) files.push_back(entry.path());
        return files;
    }

    int serverPort_ = 0;
    std::unique_ptr<testsupport::SmtpPeer> server_;
};

TEST_F(SmtpRelayTest, CleanMailIsDeliveredWithReceivedLineAndBackedUpWithItsEnvelope) {
    StartSink();
    StartStandin("orqspam", {"--log=" + path("spam.log")});
    StartSmtpEngine({.extra = {"-b=" + path("backup") + "/"}});
    auto result = Swaks("--to first@example.net,bad@example.net,second@example.net --body 'hello through the relay'");
    EXPECT_EQ(result.exitCode, 0) << result.output;

    const auto mails = Mails();
    ASSERT_EQ(mails.size(), 1u) << result.output << engine_->log();
    EXPECT_EQ(mails[0].rfind("Received: from ", 0), 0u) << mails[0];
    EXPECT_NE(mails[0].find("(VELQOR Server);\r\n\t"), std::string::npos) << mails[0];
    EXPECT_NE(mails[0].find("hello through the relay"), std::string::npos);

    // The backup: the mail and its envelope with the accepted recipients.
    std::string eml, rcp;
    for (const auto& file : BackupFiles()) {
        if (file.extension() == ".EML") eml = ReadFile(file);
        if (file.extension() == ".RCP") rcp = ReadFile(file);
        EXPECT_TRUE(file.extension() == ".EML" || file.extension() == ".RCP") << file;
        EXPECT_EQ(file.parent_path().filename().string().size(), 8u) << file;
    }
    // The backup holds the mail as it came, up to its "." line.
    ASSERT_GE(eml.size(), mails[0].size());
    EXPECT_EQ(eml.substr(0, mails[0].size() - 2), mails[0].substr(0, mails[0].size() - 2));
    EXPECT_EQ(eml.substr(eml.size() - 5), "\r\n.\r\n");
    EXPECT_NE(rcp.find("Message-ID: <"), std::string::npos) << rcp;
    EXPECT_NE(rcp.find("\r\nReturn-path: sender@example.org\r\nRecipient: first@example.net\r\n"
                       "Recipient: second@example.net\r\n"),
              std::string::npos)
        << rcp;

    // The spam check was asked about the spooled mail with the client's
    // address and the sender; the scan about the same file.
    const std::string spam = ReadFile(path("spam.log"));
    EXPECT_NE(spam.find("/VELQOR/cache/req-1-"), std::string::npos) << spam;
    EXPECT_NE(spam.find(".dat\t127.0.0.1\tsender@example.org\n"), std::string::npos) << spam;
    EXPECT_NE(Scans().find("\t3\t"), std::string::npos) << Scans();
    // The spool is gone with the connection.
    EXPECT_TRUE(engine_->waitForEmptyCache());
}

TEST_F(SmtpRelayTest, InfectedMailIsRefusedUnlessTheClientPasses) {
    StartSink();
    testsupport::WriteFile(path("eicar.txt"), std::string(avstub::kEicarTestString) + "\n");
    for (const bool pass : {false, true}) {
        SCOPED_TRACE(pass ? "pass client" : "ordinary client");
        RelaySetup setup{.extra = {"-b=" + path("backup") + "/"}};
        if (pass) setup.files.emplace_back("smtp-con.ini", "127.0.0.1 pass\n");
        StartSmtpEngine(setup);
        auto result = Swaks("--to first@example.net --body @" + path("eicar.txt"));
        if (pass) {
            EXPECT_EQ(result.exitCode, 0) << result.output;
            EXPECT_EQ(Mails().size(), 1u);
        } else {
            EXPECT_NE(result.output.find("552 Requested mail action aborted: Virus found 'EICAR-Test-File'."),
                      std::string::npos)
                << result.output;
            EXPECT_TRUE(Mails().empty());
            EXPECT_TRUE(BackupFiles().empty()) << BackupFiles().front();
        }
        engine_.reset();
    }
}

TEST_F(SmtpRelayTest, RefusedRecipientFollowedByDataKeepsTheDialogueInStep) {
    StartSink();
    StartSmtpEngine();
    auto result = Smtplib(
        "s.ehlo('client.example')\n"
        "print(s.mail('sender@example.org'))\n"
        "print(s.rcpt('bad@example.net'))\n"
        "print(s.docmd('DATA'))\n"
        "print(s.rcpt('good@example.net'))\n"
        "print(s.data(b'Subject: second\\r\\n\\r\\nbody\\r\\n'))\n"
        "print(s.quit())\n");
    ASSERT_EQ(result.exitCode, 0) << result.output << engine_->log();
    EXPECT_NE(result.output.find("(550, b'no such user')"), std::string::npos) << result.output;
    EXPECT_NE(result.output.find("(503, "), std::string::npos) << result.output;
    EXPECT_NE(result.output.find("(250, b'OK queued')"), std::string::npos) << result.output;
    EXPECT_NE(result.output.find("(221, "), std::string::npos) << result.output;
    ASSERT_EQ(Mails().size(), 1u);
    EXPECT_NE(Mails()[0].find("Subject: second"), std::string::npos);
}

TEST_F(SmtpRelayTest, RecipientTakenWith251IsARecipientLike250) {
    // 251 (will forward) accepts the recipient: the mail goes through the
    // relay's DATA and its scan like any other.
    StartSink();
    StartSmtpEngine();
    auto result = Smtplib(
        "s.ehlo('client.example')\n"
        "print(s.mail('sender@example.org'))\n"
        "print(s.rcpt('far@example.net'))\n"
        "print(s.data(b'Subject: forwarded\\r\\n\\r\\nbody\\r\\n'))\n"
        "print(s.quit())\n");
    ASSERT_EQ(result.exitCode, 0) << result.output << engine_->log();
    EXPECT_NE(result.output.find("(251, "), std::string::npos) << result.output;
    EXPECT_NE(result.output.find("(250, b'OK queued')"), std::string::npos) << result.output;
    ASSERT_EQ(Mails().size(), 1u);
    EXPECT_NE(Mails()[0].find("Subject: forwarded"), std::string::npos);
    EXPECT_NE(Scans().find(".dat"), std::string::npos) << Scans();
}

TEST_F(SmtpRelayTest, ServerThatRefusesDataGetsNoMailLinesAndLeavesNoBackup) {
    StartServer({"--script", "refuse-data"});
    StartSmtpEngine({.extra = {"-b=" + path("backup") + "/"}});
    auto result = Swaks("--to first@example.net --header 'Subject: never sent'");
    EXPECT_NE(result.output.find("554 5.5.1 no valid recipients"), std::string::npos) << result.output;
    EXPECT_NE(result.output.find("221 bye"), std::string::npos) << result.output;
    const std::string commands = Commands();
    EXPECT_NE(commands.find("DATA\r\n"), std::string::npos) << commands;
    EXPECT_EQ(commands.find("never sent"), std::string::npos) << commands;
    EXPECT_NE(commands.find("QUIT\r\n"), std::string::npos) << commands;
    EXPECT_TRUE(BackupFiles().empty()) << BackupFiles().front();
}

TEST_F(SmtpRelayTest, RsetDropsTheEnvelopeAndEveryMailHasItsOwnId) {
    StartSink();
    StartSmtpEngine({.extra = {"-b=" + path("backup") + "/"}});
    auto result = Smtplib(
        "s.ehlo('client.example')\n"
        "s.mail('dropped@example.org'); s.rcpt('first@example.net'); print(s.rset())\n"
        "s.sendmail('one@example.org', ['first@example.net'], b'Subject: one\\r\\n\\r\\nbody\\r\\n')\n"
        "s.sendmail('two@example.org', ['second@example.net'], b'Subject: two\\r\\n\\r\\nbody\\r\\n')\n"
        "s.quit()\n");
    ASSERT_EQ(result.exitCode, 0) << result.output << engine_->log();
    std::vector<std::string> envelopes;
    int mails = 0;
    for (const auto& file : BackupFiles()) {
        if (file.extension() == ".RCP") envelopes.push_back(ReadFile(file));
        mails += file.extension() == ".EML";
    }
    EXPECT_EQ(mails, 2);
    ASSERT_EQ(envelopes.size(), 2u);
    std::sort(envelopes.begin(), envelopes.end());
    EXPECT_NE(envelopes[0], envelopes[1]);
    const std::string both = envelopes[0] + envelopes[1];
    EXPECT_EQ(both.find("dropped@"), std::string::npos) << both;
    EXPECT_NE(both.find("Return-path: one@example.org\r\nRecipient: first@example.net\r\n"), std::string::npos);
    EXPECT_NE(both.find("Return-path: two@example.org\r\nRecipient: second@example.net\r\n"), std::string::npos);
}

TEST_F(SmtpRelayTest, SpamFindingIsRefusedWithRejectionOnElseTheMarkedMailGoesOn) {
    StartSink();
    StartStandin("orqspam", {"--reply=BODY detected.", "--mark=X-Marked: spam"});
    for (const bool reject : {true, false}) {
        SCOPED_TRACE(reject ? "-j=1" : "no -j");
        StartSmtpEngine({.extra = {reject ? "-j=1" : "-j=0"}});
        auto result = Swaks("--to first@example.net --body 'buy now'");
        if (reject) {
            EXPECT_NE(result.output.find("552 Requested mail action aborted: SPAM found 'BODY detected.'."),
                      std::string::npos)
                << result.output;
            EXPECT_TRUE(Mails().empty());
        } else {
            EXPECT_EQ(result.exitCode, 0) << result.output;
            ASSERT_EQ(Mails().size(), 1u);
            EXPECT_EQ(Mails()[0].rfind("X-Marked: spam\r\nReceived: from ", 0), 0u) << Mails()[0];
        }
        engine_.reset();
    }
}

TEST_F(SmtpRelayTest, EhloAnswerInTwoWritesStaysInStepWithoutPipeliningChunkingOrStartTls) {
    StartServer({"--script", "split-ehlo"});
    StartSmtpEngine();
    auto result = Swaks("--to first@example.net --body 'split'");
    EXPECT_EQ(result.exitCode, 0) << result.output << engine_->log();
    EXPECT_NE(result.output.find("250 2.0.0 queued"), std::string::npos) << result.output;
    EXPECT_NE(result.output.find("<-  250 8BITMIME"), std::string::npos) << result.output;
    for (const char* gone : {"PIPELINING", "CHUNKING", "STARTTLS"})
        EXPECT_EQ(result.output.find(gone), std::string::npos) << gone << "\n" << result.output;
}

TEST_F(SmtpRelayTest, CommandsSentTogetherAreRelayedOneAtATime) {
    StartSink();
    StartSmtpEngine();
    const std::string script =
        "import socket\n"
        "s = socket.create_connection(('127.0.0.1', " + std::to_string(port_) + "), timeout=15)\n"
        "f = s.makefile('rb')\n"
        "def reply():\n"
        "    lines = [f.readline()]\n"
        "    while lines[-1][3:4] == b'-': lines.append(f.readline())\n"
        "    return b''.join(lines)\n"
        "reply()\n"
        "s.sendall(b'EHLO c.example\\r\\nMAIL FROM:<a@example.org>\\r\\nRCPT TO:<b@example.net>\\r\\n"
        "RCPT TO:<bad@example.net>\\r\\n')\n"
        "answers = [reply() for _ in range(4)]\n"
        "print('CODES', [a[:3] for a in answers])\n"
        "s.sendall(b'DATA\\r\\n'); print('DATA', reply()[:3])\n"
        "s.sendall(b'Subject: together\\r\\n\\r\\n..dot\\r\\n.\\r\\nQUIT\\r\\n')\n"
        "print('END', reply()[:3], reply()[:3])\n";
    auto result = Python(script);
    ASSERT_EQ(result.exitCode, 0) << result.output << engine_->log();
    EXPECT_NE(result.output.find("CODES [b'250', b'250', b'250', b'550']"), std::string::npos) << result.output;
    EXPECT_NE(result.output.find("DATA b'354'"), std::string::npos) << result.output;
    EXPECT_NE(result.output.find("END b'250' b'221'"), std::string::npos) << result.output;
    ASSERT_EQ(Mails().size(), 1u);
    EXPECT_NE(Mails()[0].find("\r\n.dot\r\n"), std::string::npos) << Mails()[0];
}

TEST_F(SmtpRelayTest, ClientOfAServerThatCannotBeReachedIsDroppedWithoutAByte) {
    serverPort_ = testsupport::FreeTcpPort();  // nobody listens there
    StartSmtpEngine({.extra = {"-$=1"}});
    listenertest::Client client("127.0.0.1", port_);
    ASSERT_TRUE(client.ok());
    int error = 0;
    EXPECT_EQ(client.readToEnd(error), "");
    EXPECT_TRUE(engine_->waitForLog("[TelnetDispatch] [")) << engine_->log();
    EXPECT_NE(engine_->log().find("connect fail."), std::string::npos) << engine_->log();
}

TEST_F(SmtpRelayTest, ServerFloodingItsGreetingIsCutOffInsteadOfHeldInMemory) {
    // Megabytes of one reply that never ends: the relay gives up at once,
    // neither holding it until the server's time-out nor passing it on.
    for (const char* mode : {"flood-lines", "flood-bytes"}) {
        SCOPED_TRACE(mode);
        StartServer({"--script", mode});
        StartSmtpEngine();
        listenertest::Client client("127.0.0.1", port_);
        ASSERT_TRUE(client.ok());
        int error = 0;
        const std::string got = client.readToEnd(error, std::chrono::seconds(5));
        EXPECT_EQ(error, 0) << "still waiting after 5 s";
        EXPECT_LT(got.size(), 1u << 20);
        EXPECT_TRUE(engine_->waitForLog("server reply longer than any reply")) << engine_->log();
        server_.reset();
        engine_.reset();
    }
}

TEST_F(SmtpRelayTest, StartTlsThroughAStartTlsListenLine) {
    StartSink();
    const auto certificate = tlsfixture::MakeSelfSignedCertificate(dir_.path());
    StartSmtpEngine({.listenTls = "-" + certificate.certificateFile + "\t" + certificate.privateKeyFile});
    auto result = Swaks("--to first@example.net --tls --body 'secret'");
    EXPECT_EQ(result.exitCode, 0) << result.output << engine_->log();
    EXPECT_NE(result.output.find("TLS started"), std::string::npos) << result.output;
    ASSERT_EQ(Mails().size(), 1u);
    EXPECT_NE(Mails()[0].find("secret"), std::string::npos);
}

TEST_F(SmtpRelayTest, TlsFromTheStartTowardsAServerMarkedPlus) {
    const auto certificate = tlsfixture::MakeSelfSignedCertificate(dir_.path());
    StartSink({"--tls", "implicit", "--cert", certificate.certificateFile, "--key", certificate.privateKeyFile});
    StartSmtpEngine({.serverMarks = "+"});
    auto result = Swaks("--to first@example.net --body 'over TLS all the way'");
    EXPECT_EQ(result.exitCode, 0) << result.output << engine_->log();
    // The server speaks nothing but TLS: a delivered mail came over it.
    EXPECT_NE(Commands().find("DATA-ACCEPTED first@example.net"), std::string::npos) << Commands();
}

TEST_F(SmtpRelayTest, StartTlsTowardsAServerMarkedForIt) {
    const auto certificate = tlsfixture::MakeSelfSignedCertificate(dir_.path());
    StartSink({"--tls", "starttls", "--cert", certificate.certificateFile, "--key", certificate.privateKeyFile});
    StartSmtpEngine({.serverMarks = "-"});
    for (const char* greeting : {"--ehlo client.example", "--protocol SMTP"}) {
        SCOPED_TRACE(greeting);
        auto result = Swaks("--to first@example.net --body 'to the server over TLS' " + std::string(greeting));
        EXPECT_EQ(result.exitCode, 0) << result.output << engine_->log();
        // The client itself never sees STARTTLS: the relay offers none.
        EXPECT_EQ(result.output.find("STARTTLS"), std::string::npos) << result.output;
    }
    EXPECT_EQ(Mails().size(), 2u);
    const std::string commands = Commands();
    EXPECT_NE(commands.find("DATA-ACCEPTED first@example.net over TLS\r\nDATA-ACCEPTED first@example.net over TLS"),
              std::string::npos)
        << commands;
}

TEST_F(SmtpRelayTest, ArchivingHandOffGetsTheMailAndItsEnvelope) {
    StartSink();
    StartStandin("orqsvt", {"--log=" + path("archive.log"), "--reply=Compressed",
                            "--envelope-copy=" + path("envelope.txt"), "--mark=X-Archived: yes"});
    StartSmtpEngine({.files = {{"smtp-zip.db", "127.0.0.1:*\n"}}});
    auto result = Swaks("--to first@example.net --body 'with attachment'");
    EXPECT_EQ(result.exitCode, 0) << result.output << engine_->log();
    const std::string request = ReadFile(path("archive.log"));
    EXPECT_NE(request.find("/VELQOR/cache/"), std::string::npos) << request;
    EXPECT_NE(request.find(".dat\n"), std::string::npos) << request;
    const std::string envelope = ReadFile(path("envelope.txt"));
    EXPECT_NE(envelope.find("Return-path: sender@example.org\r\nRecipient: first@example.net\r\n"),
              std::string::npos)
        << envelope;
    ASSERT_EQ(Mails().size(), 1u);
    EXPECT_EQ(Mails()[0].rfind("X-Archived: yes\r\n", 0), 0u) << Mails()[0];
}

}  // namespace
}  // namespace mailtest
