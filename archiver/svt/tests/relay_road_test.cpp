// The whole road: swaks -> the SMTP relay (orqhprx) with a smtp-zip.db entry
// -> orqsvt -> the aiosmtpd sink, which gets the archived mail and, from the
// archiver's sender, the password mail.
#include <gtest/gtest.h>

#include "mail_fixture.h"
#include "smtp_peer.h"
#include "test_support.h"

namespace {

using testsupport::ReadFile;

class ArchiveRoad : public mailtest::MailRelayTest {
protected:
    void StartSink() {
        sink_ = std::make_unique<testsupport::SmtpPeer>();
        ASSERT_NE(sink_->port(), 0) << sink_->err();
    }
    void StartArchiver(const std::vector<std::string>& options) {
        // The engine's own data root, so the archiver takes mails of its cache.
        std::string root = engine_->dataFolder();
        root.resize(root.size() - std::string("VELQOR/").size());
        std::vector<std::string> argv{testsupport::BinPath("orqsvt"), "-e=VELQOR_LISTENER_TEST_ROOT", "-x=dat",
                                      "-s=127.0.0.1", "-p=" + std::to_string(sink_->port())};
        argv.insert(argv.end(), options.begin(), options.end());
        testsupport::Process::Options processOptions;
        processOptions.env = {{"VELQOR_PIPE_DIR", pipes_}, {"VELQOR_LISTENER_TEST_ROOT", root}};
        archiver_ = std::make_unique<testsupport::Process>(argv, processOptions);
        ASSERT_TRUE(testsupport::WaitUntil(
            [&] { return archiver_->out().find("Start Tavrisk Sorvant Server") != std::string::npos; }));
    }
    void TearDown() override {
        if (archiver_) archiver_->terminate();
        sink_.reset();
    }
    std::unique_ptr<testsupport::SmtpPeer> sink_;
    std::unique_ptr<testsupport::Process> archiver_;
};

TEST_F(ArchiveRoad, SwaksMailArrivesArchivedAndThePasswordMailFollows) {
    StartSink();
    mailtest::RelaySetup setup;
    setup.serverPort = sink_->port();
    setup.files = {{"smtp-zip.db", "127.0.0.1:*\n"}};
    StartEngine(setup);
    StartArchiver({"-u=1", "-l=0", "-@=pw-"});
    std::string pdf = "%PDF-1.4\n";
    for (int i = 0; i < 4000; ++i) pdf += static_cast<char>(i * 7);
    testsupport::WriteFile(path("offer.pdf"), pdf);
    auto result = testsupport::RunCommand(
        "swaks --server 127.0.0.1:" + std::to_string(port_) +
        " --from sender@example.org --to first@example.net --timeout 15 --header 'Subject: offer'"
        " --body 'see the attachment' --attach-type application/pdf --attach-name offer.pdf --attach @" +
        path("offer.pdf"));
    ASSERT_EQ(result.exitCode, 0) << result.output << engine_->log() << archiver_->out();

    ASSERT_TRUE(sink_->Received(2)) << engine_->log() << archiver_->out();
    std::string archived, password;
    for (int n : {1, 2}) {
        const std::string mail = sink_->Mail(n);
        (mail.find("X-Sorvant: yes") != std::string::npos ? archived : password) = mail;
        EXPECT_EQ(sink_->Envelope(n), "FROM sender@example.org\nTO first@example.net\n");
    }
    ASSERT_FALSE(archived.empty());
    ASSERT_FALSE(password.empty());
    EXPECT_NE(archived.find("see the attachment"), std::string::npos);
    EXPECT_NE(archived.find("name=\"offer.pdf.ZIP\""), std::string::npos) << archived;
    EXPECT_NE(password.find("Subject: offer\r\n"), std::string::npos) << password;
    EXPECT_NE(password.find("_2@"), std::string::npos) << password;

    // The zip in the archived mail opens with the password of the other mail.
    testsupport::WriteFile(path("archived.eml"), archived);
    testsupport::WriteFile(path("password.eml"), password);
    auto opened = testsupport::RunCommand(
        "cd " + dir_.path() + " && /usr/bin/python3 -c \"import email,sys,re,subprocess; "
        "m=email.message_from_binary_file(open('archived.eml','rb')); "
        "z=[p for p in m.walk() if p.get_content_type()=='application/x-zip-compressed'][0]; "
        "open('a.zip','wb').write(z.get_payload(decode=True)); "
        "t=open('password.eml','rb').read().decode('iso2022_jp'); "
        "pw=re.search(\\\"'(pw-[0-9]{5})'\\\", t).group(1); "
        "sys.exit(subprocess.call(['unzip','-P',pw,'-p','a.zip'], stdout=open('back.pdf','wb')))\"");
    ASSERT_EQ(opened.exitCode, 0) << opened.output;
    EXPECT_EQ(ReadFile(path("back.pdf")), pdf);
}

}  // namespace
