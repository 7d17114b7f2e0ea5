// The mail pages' settings as the service hands them on: first to its
// stand-in children, which record their arguments, then to the real SMTP
// and POP3 relays, which everyday clients use through the rows the pages
// wrote.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLineEdit>
#include <QRadioButton>
#include <csignal>
#include <ctime>
#include <filesystem>
#include <sstream>

#include "engine/tests/avstub/avstub.h"
#include "mail_list_support.h"
#include "panel/mailpages/mail_archive_page.h"
#include "panel/mailpages/pop3_option_pages.h"
#include "panel/mailpages/smtp_option_pages.h"
#include "platform/process/process.h"
#include "service/child_control.h"
#include "service/service_names.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

using namespace panel;
using testsupport::Process;

class MailServiceTest : public mailtest::MailListTest {
protected:
    void SetUp() override {
        MailListTest::SetUp();
        testsupport::MakeDirs(install_);
        testsupport::MakeDirs(dir_ / "elsewhere");
        ASSERT_EQ(RegEnsureKey(RegRoot::LocalMachine, kProductSettingsKey), 0);
        ASSERT_EQ(RegEnsureKey(RegRoot::LocalMachine, service::kServiceKey), 0);
        ASSERT_EQ(RegWriteString(service::kServiceKey, "ImagePath", install_ + "/velqors"), 0);
    }
    void TearDown() override {
        if (velqors_) {
            velqors_->terminate(SIGINT);
            velqors_->wait(30s);
        }
        for (const auto& name : service::KillList(true))
            for (pid_t pid : platform::FindProcesses(name, install_)) platform::TerminateProcess(pid, true);
    }
    void InstallStub(const std::string& name) {
        fs::copy_file(std::string(VELQOR_TEST_BIN_DIR) + "/velqors-child-stub", install_ + "/" + name);
    }
    void StartVelqors() {
        velqors_ = std::make_unique<Process>(
            std::vector<std::string>{testsupport::BinPath("velqors"), "-debug"},
            Process::Options{{{"VELQOR_REGISTRY_DIR", registryDir()},
                              {"VELQOR_PIPE_DIR", pipeDir()},
                              {"ALLUSERSPROFILE", dataRoot()},
                              {"VELQOR_STUB_RECORD", record_},
                              {"NOTIFY_SOCKET", ""},
                              {"INVOCATION_ID", ""},
                              {"VELQOR_TMPFILES_DIR", dir_ / "tmpfiles"}},
                             dir_ / "elsewhere"});
    }
    // A stand-in child's arguments, once it recorded them.
    std::vector<std::string> Recorded(const std::string& name) {
        std::vector<std::string> args;
        testsupport::WaitUntil(
            [&] {
                std::istringstream lines(testsupport::ReadFile(record_));
                for (std::string line; std::getline(lines, line);) {
                    if (line.rfind(name + "\t", 0) != 0) continue;
                    std::istringstream fields(line);
                    args.clear();
                    for (std::string field; std::getline(fields, field, '\t');) args.push_back(field);
                    args.erase(args.begin());
                    return true;
                }
                return false;
            },
            60s);
        return args;
    }
    // The option pages as an administrator sets them: both proxies on, the
    // SMTP log, 100 connections, both IP versions, spam refusal, mail kept
    // in a folder typed without its final "/", headers and body attached.
    void SetOptions(const std::string& archive) {
        CSmtpSetDlg smtp;
        Csmtpdlg00 count;
        Csmtpdlg1 detail;
        Csmtpdlg11 ip;
        Csmtpdlg12 keep;
        CPop3SetDlg pop3;
        Cpop3dlg11 virus;
        for (SettingsPage* page : std::initializer_list<SettingsPage*>{&smtp, &count, &detail, &ip, &keep, &pop3, &virus})
            page->Create(&window_);
        Control<QCheckBox>(&smtp, kSmtpOnCheck)->click();
        Control<QCheckBox>(&smtp, kSmtpLogCheck)->click();
        Control<QLineEdit>(&count, kSmtpConnectionsEdit)->setText("100");
        Control<QRadioButton>(&ip, kIpBothRadio)->click();
        Control<QCheckBox>(&detail, kSmtpSpamRejectCheck)->click();
        Control<QCheckBox>(&keep, kMailBackupCheck)->click();
        Control<QLineEdit>(&keep, kArchiveFolderEdit)->setText(QString::fromStdString(archive));
        Control<QCheckBox>(&pop3, kPop3OnCheck)->click();
        Control<QRadioButton>(&virus, kPop3VirusHeaderAndBodyRadio)->click();
        // The settings window's save order.
        for (SettingsPage* page : std::initializer_list<SettingsPage*>{&smtp, &detail, &count, &ip, &keep, &pop3, &virus})
            ASSERT_TRUE(page->SaveSettings());
    }
    static bool Has(const std::vector<std::string>& args, const std::string& arg) {
        return std::find(args.begin(), args.end(), arg) != args.end();
    }

    const std::string install_ = dir_ / "install";
    const std::string record_ = dir_ / "record.log";
    std::unique_ptr<Process> velqors_;
};

TEST_F(MailServiceTest, TheServiceHandsTheOptionsToTheMailRelays) {
    for (const char* name : {"orqspam", "orqsvt", "orqhprx", "orqcwfs"}) InstallStub(name);
    for (const char* name : {"orqsprx", "orqpprx"}) fs::create_symlink("orqhprx", install_ + "/" + name);
    const std::string archive = dir_ / "mail archive";
    SetOptions(archive);
    StartVelqors();
    auto smtp = Recorded("orqsprx");
    for (const std::string& arg : std::vector<std::string>{"-c=100", "-i=2", "-b=" + archive + "/", "-j=1", "-w"})
        EXPECT_TRUE(Has(smtp, arg)) << arg << "\n" << velqors_->out();
    auto pop3 = Recorded("orqpprx");
    EXPECT_TRUE(Has(pop3, "-d=1")) << velqors_->out();
    EXPECT_FALSE(Has(pop3, "-w"));
}

TEST_F(MailServiceTest, TheRealRelaysServeSwaksAndCurlThroughTheRowsThePagesWrote) {
    if (!fs::exists(testsupport::BinPath("orqhprx"))) GTEST_SKIP() << "the engine is not built";
    const std::string certificate = dir_ / "cert.pem", key = dir_ / "key.pem";
    auto made = testsupport::RunCommand("openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj /CN=localhost "
                                        "-keyout '" + key + "' -out '" + certificate + "' 2>&1");
    ASSERT_EQ(made.exitCode, 0) << made.output;

    // The peers: an SMTP sink and a POP3 origin holding one mail.
    const int sinkPort = testsupport::FreeTcpPort();
    Process sink({"/usr/bin/python3", "-m", "aiosmtpd", "-n", "-l", "127.0.0.1:" + std::to_string(sinkPort), "-c",
                  "aiosmtpd.handlers.Debugging"},
                 {{{"PYTHONUNBUFFERED", "1"}}, "", true});
    ASSERT_TRUE(testsupport::WaitForTcpPort(sinkPort)) << sink.err();
    testsupport::WriteFile(dir_ / "stored.eml", "Subject: waiting\r\n\r\nhello\r\n");
    std::unique_ptr<Process> origin;
    origin = std::make_unique<Process>(
        std::vector<std::string>{"/usr/bin/python3", testsupport::SourcePath("panel/mailpages/tests/pop3_origin.py"),
                                 dir_ / "stored.eml"},
        Process::Options{});
    int originPort = 0;
    ASSERT_TRUE(testsupport::WaitUntil([&] {
        std::string out = origin->out();
        if (out.rfind("port ", 0) != 0 || out.find('\n') == std::string::npos) return false;
        originPort = std::stoi(out.substr(5));
        return true;
    })) << origin->err();

    const int smtpPort = testsupport::FreeTcpPort(), pop3Port = testsupport::FreeTcpPort();
    {
        Csmtpdlg smtpList;
        Cpop3dlg pop3List;
        smtpList.Create(&window_);
        pop3List.Create(&window_);
        mailtest::Entry smtp;
        smtp.listenPort = std::to_string(smtpPort);
        smtp.clientStartTls = true;
        smtp.certificate = certificate;
        smtp.key = key;
        smtp.hostPort = std::to_string(sinkPort);
        EXPECT_TRUE(Add(&smtpList, smtp).empty());
        mailtest::Entry pop3;
        pop3.listenPort = std::to_string(pop3Port);
        pop3.clientTls = true;
        pop3.certificate = certificate;
        pop3.key = key;
        pop3.hostPort = std::to_string(originPort);
        EXPECT_TRUE(Add(&pop3List, pop3).empty());
        ASSERT_TRUE(smtpList.SaveSettings());
        ASSERT_TRUE(pop3List.SaveSettings());
    }
    const std::string archive = dir_ / "mail archive";
    SetOptions(archive);
    ASSERT_EQ(RegWriteDword(kProductSettingsKey, "spamcheck", 0), 0);
    ASSERT_EQ(RegWriteDword(kProductSettingsKey, "smtpspamreject", 0), 0);

    fs::copy_file(testsupport::BinPath("orqhprx"), install_ + "/orqhprx");
    for (const char* name : {"orqsprx", "orqpprx"}) fs::create_symlink("orqhprx", install_ + "/" + name);
    InstallStub("orqsvt");
    avstub::Options scanner;
    scanner.pipeDir = pipeDir();
    auto scan = avstub::Start(scanner);
    StartVelqors();
    ASSERT_TRUE(testsupport::WaitForTcpPort(smtpPort, 60s)) << velqors_->out();
    ASSERT_TRUE(testsupport::WaitForTcpPort(pop3Port, 30s)) << velqors_->out();

    auto today = [] {
        char day[16];
        std::time_t now = std::time(nullptr);
        std::strftime(day, sizeof day, "%Y%m%d", std::localtime(&now));
        return std::string(day);
    };
    const std::string dayBefore = today();
    auto swaks = testsupport::RunCommand("swaks --server 127.0.0.1 --port " + std::to_string(smtpPort) +
                                         " --tls --from sender@example.com --to rcpt@example.com"
                                         " --header 'Subject: through the panel' --timeout 20 2>&1");
    EXPECT_EQ(swaks.exitCode, 0) << swaks.output << velqors_->out();
    EXPECT_TRUE(testsupport::WaitUntil([&] { return sink.out().find("Subject: through the panel") != std::string::npos; }))
        << sink.out() << sink.err();

    // Kept in the day folder below the archive folder typed without "/".
    bool eml = false, rcp = false;
    testsupport::WaitUntil([&] {
        std::error_code ec;
        for (const std::string& day : {dayBefore, today()})
            for (const auto& file : fs::directory_iterator(archive + "/" + day, ec)) {
                eml = eml || file.path().extension() == ".EML";
                rcp = rcp || file.path().extension() == ".RCP";
            }
        return eml && rcp;
    });
    EXPECT_TRUE(eml && rcp) << velqors_->out();

    auto curl = testsupport::RunCommand("curl -sS -k -m 20 -u user:secret pop3s://127.0.0.1:" +
                                        std::to_string(pop3Port) + "/ 2>&1");
    EXPECT_EQ(curl.exitCode, 0) << curl.output << velqors_->out();
    EXPECT_EQ(curl.output, "1 " + std::to_string(testsupport::ReadFile(dir_ / "stored.eml").size()) + "\r\n");
    origin->terminate();
    sink.terminate();
}

}  // namespace
