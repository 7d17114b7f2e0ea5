// orqnote end to end against aiosmtpd on loopback, the mails read back with
// Python's email package.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/codepage/codepage.h"
#include "smtp_peer.h"
#include "test_support.h"

namespace {

using testsupport::Process;

const char kPython[] = "/usr/bin/python3";

std::string PeerScript(const char* name) { return testsupport::SourcePath(std::string("tools/sendmail/tests/") + name); }

// sendmail.ini as the control panel writes it: CP932, CR LF, twelve lines.
void WritePanelIni(const std::string& path, int port, int ssl) {
    std::string text = "family=0\r\nfrom=alert@x.test\r\nname=管理者\r\ncharset=iso-2022-jp\r\n"
                       "smtpserver=127.0.0.1\r\nport=" + std::to_string(port) +
                       "\r\nesmtp=1\r\nauthid=user\r\nauthpass=pa'ss\r\nssl=" + std::to_string(ssl) +
                       "\r\ndebug=0\r\nto=ops@x.test\r\n";
    testsupport::WriteFile(path, platform::Utf8ToCp932(text));
}

// A self-signed certificate for a TLS peer, its files added to the peer's
// arguments.
bool AddCertificate(const testsupport::TempDir& dir, std::vector<std::string>& argv) {
    auto made = testsupport::RunCommand("openssl req -x509 -newkey rsa:2048 -nodes -subj /CN=127.0.0.1 -days 1 -keyout " +
                                        (dir / "key.pem") + " -out " + (dir / "cert.pem") + " 2>&1");
    if (made.exitCode != 0) return false;
    argv.push_back(dir / "cert.pem");
    argv.push_back(dir / "key.pem");
    return true;
}

class OrqnoteTest : public ::testing::Test {
protected:
    // The peer asks for AUTH PLAIN as "user" with the password "pa'ss" and
    // refuses mail from refuse@x.test; with tls, TLS from the start.
    void StartPeer(bool tls) {
        std::vector<std::string> options = {"--auth", "user:pa'ss", "--refuse-from", "refuse@x.test"};
        if (tls) {
            std::vector<std::string> files;
            ASSERT_TRUE(AddCertificate(dir_, files));
            options.insert(options.end(), {"--tls", "implicit", "--cert", files[0], "--key", files[1]});
        }
        peer_ = std::make_unique<testsupport::SmtpPeer>(options);
        ASSERT_NE(peer_->port(), 0) << peer_->err();
        WritePanelIni(dir_ / "sendmail.ini", peer_->port(), tls ? 1 : 0);
    }

    int RunOrqnote(std::vector<std::string> args) {
        args.insert(args.begin(), testsupport::BinPath("orqnote"));
        Process::Options options;
        options.cwd = dir_.path();
        Process sender(args, options);
        int code = sender.wait(std::chrono::seconds(60));
        output_ = sender.out() + sender.err();
        return code;
    }

    std::string ReadMail(int n) {
        auto read =
            testsupport::RunCommand(std::string(kPython) + " " + PeerScript("check_mail.py") + " " + peer_->MailPath(n));
        EXPECT_EQ(read.exitCode, 0) << read.output;
        return read.output;
    }

    testsupport::TempDir dir_;
    std::unique_ptr<testsupport::SmtpPeer> peer_;
    std::string output_;
};


// Display names through a real Postfix, which rewrites a From: line it
// reads as a list of addresses.
TEST_F(OrqnoteTest, DisplayNamesWithSpecialsStayOneAddressThroughPostfix) {
    if (!testsupport::FileExists("/usr/sbin/postfix")) GTEST_SKIP() << "postfix is not installed";
    Process::Options stopsItsPostfix;
    stopsItsPostfix.stopGrace = std::chrono::seconds(20);
    Process postfix({kPython, testsupport::SourcePath("engine/mail/tests/postfix_peer.py"), dir_ / "postfix"},
                    stopsItsPostfix);
    int port = 0;
    testsupport::WaitUntil(
        [&] {
            const std::string out = postfix.out();
            if (out.rfind("port ", 0) != 0 || out.find('\n') == std::string::npos) return !postfix.running();
            port = std::stoi(out.substr(5));
            return true;
        },
        std::chrono::seconds(40));
    ASSERT_NE(port, 0) << postfix.err();
    const struct {
        std::string name;
        std::string shown;  // the display name a reader sees
    } cases[] = {
        {"Yamada, Taro", "Yamada, Taro"},
        {"Taro \"T\" Yamada", "Taro \"T\" Yamada"},
        {"back\\slash; Dept.", "back\\slash; Dept."},
        {"Plain Name", "Plain Name"},
        {"山田, 太郎", "山田, 太郎"},
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string text = "family=0\r\nfrom=alert@x.test\r\nname=" + c.name +
                                 "\r\ncharset=iso-2022-jp\r\nsmtpserver=127.0.0.1\r\nport=" + std::to_string(port) +
                                 "\r\nesmtp=0\r\nauthid=\r\nauthpass=\r\nssl=0\r\ndebug=0\r\nto=ops@example.net\r\n";
        testsupport::WriteFile(dir_ / "sendmail.ini", platform::Utf8ToCp932(text));
        ASSERT_EQ(RunOrqnote({"ops@example.net", "-subject=case " + std::to_string(++n), "-message=hello"}), 0)
            << output_;
    }
    const std::string box = dir_ / "postfix/box/new";
    testsupport::WaitUntil(
        [&] { return testsupport::RunCommand("ls " + box + " | wc -l").output == std::to_string(n) + "\n"; },
        std::chrono::seconds(20));
    // Each delivered mail's From: as Python's email package reads it.
    const auto read = testsupport::RunCommand(
        std::string(kPython) + " -c \"import email, email.utils, email.header, glob, sys\n"
        "for path in glob.glob(sys.argv[1] + '/*'):\n"
        "    m = email.message_from_bytes(open(path, 'rb').read())\n"
        "    pairs = email.utils.getaddresses([m['From']])\n"
        "    name = str(email.header.make_header(email.header.decode_header(pairs[0][0])))\n"
        "    print(m['Subject'], len(pairs), name, pairs[0][1], sep='|')\n\" " + box);
    ASSERT_EQ(read.exitCode, 0) << read.output;
    n = 0;
    for (const auto& c : cases) {
        const std::string line = "case " + std::to_string(++n) + "|1|" + c.shown + "|alert@x.test\n";
        EXPECT_NE(read.output.find(line), std::string::npos) << line << read.output;
    }
}

TEST_F(OrqnoteTest, FullMailOnPlainAndTlsPorts) {
    for (bool tls : {false, true}) {
        SCOPED_TRACE(tls ? "implicit TLS" : "plain");
        StartPeer(tls);
        std::string small(100, '\0');
        for (int i = 0; i < 100; ++i) small[i] = static_cast<char>(i * 7);
        testsupport::WriteFile(dir_ / "small.bin", small);
        std::string binary;
        for (int i = 0; i < 1000; ++i) binary += static_cast<char>(255 - i % 256);
        testsupport::WriteFile(dir_ / "data.bin", binary);
        int code = RunOrqnote({"a@x.test,b@x.test", "-subject=障害のお知らせ ｱﾗｰﾄ", "-message=%s 様 100%% 完了",
                               "-insert=山田", "-attach=" + (dir_ / "small.bin") + "," + (dir_ / "data.bin"),
                               "-logfile"});
        EXPECT_EQ(code, 0) << output_;
        std::string mail = ReadMail(1);
        EXPECT_NE(mail.find("to: a@x.test\ncc: b@x.test\n"), std::string::npos) << mail;
        EXPECT_NE(mail.find("subject-words: 1\nsubject: 障害のお知らせ アラート\n"), std::string::npos) << mail;
        EXPECT_NE(mail.find("text: '山田 様 100% 完了\\r\\n'"), std::string::npos) << mail;
        std::string hexSmall, hexBinary;
        const char* digits = "0123456789abcdef";
        for (unsigned char c : small) hexSmall += {digits[c >> 4], digits[c & 15]};
        for (unsigned char c : binary) hexBinary += {digits[c >> 4], digits[c & 15]};
        EXPECT_NE(mail.find("attach small.bin: " + hexSmall + " lines=64,64,8\n"), std::string::npos) << mail;
        EXPECT_NE(mail.find("attach data.bin: " + hexBinary + " "), std::string::npos) << mail;
        EXPECT_EQ(peer_->Envelope(1), "FROM alert@x.test\nTO a@x.test\nTO b@x.test\nAUTH user pa'ss\n");
        std::string log = testsupport::ReadFile(dir_ / "sendmail-log.txt");
        EXPECT_NE(log.find("] connect success.\n"), std::string::npos) << log;
        EXPECT_NE(log.find("] send start.\n"), std::string::npos) << log;
        EXPECT_NE(log.find("] send success. code=0x0000\n"), std::string::npos) << log;
        peer_.reset();
        std::remove((dir_ / "sendmail-log.txt").c_str());
    }
}

TEST_F(OrqnoteTest, HtmlFileLinesArriveExactlyAndFileGoesOnlyAfterAcceptance) {
    StartPeer(false);
    std::string body = ".\r\n.x\r\n%d %n %%\r\n";
    testsupport::WriteFile(dir_ / "body.HTM", body);
    EXPECT_EQ(RunOrqnote({"a@x.test", "-subject=s", "-inputfile=body.HTM", "-from=refuse@x.test", "-logfile"}), 1)
        << output_;
    EXPECT_TRUE(testsupport::FileExists(dir_ / "body.HTM"));
    EXPECT_NE(testsupport::ReadFile(dir_ / "sendmail-log.txt").find("send fail. code=0x8003"), std::string::npos);

    EXPECT_EQ(RunOrqnote({"a@x.test", "-subject=s", "-inputfile=body.HTM"}), 0) << output_;
    EXPECT_FALSE(testsupport::FileExists(dir_ / "body.HTM"));
    std::string mail = ReadMail(1);
    EXPECT_NE(mail.find("type: text/html\n"), std::string::npos) << mail;
    EXPECT_NE(mail.find("charset=iso-2022-jp"), std::string::npos) << mail;
    // "%%" is one "%", other "%" stay; the end of data adds its own empty line.
    EXPECT_NE(mail.find("text: '.\\r\\n.x\\r\\n%d %n %\\r\\n\\r\\n'"), std::string::npos) << mail;
}

// One connection to the scripted peer: what the sender logs, prints and
// sends, and its exit code.
TEST_F(OrqnoteTest, ScriptedPeers) {
    struct Case {
        const char* scenario;
        bool tls;
        int exitCode;
        const char* logLine;          // in the send log
        const char* command;          // among the commands received ("" none)
        const char* missingCommand;   // not among them
        const char* console;          // in the output ("" none)
        const char* body = "-message=m";
    };
    const Case cases[] = {
        {"ehlo_refused", false, 0, "send success. code=0x0000", "HELO 127.0.0.1\n", "AUTH", ""},
        {"login_only", false, 0, "send success. code=0x0000", "MAIL From: <alert@x.test>\n", "AUTH", ""},
        {"greeting_refused", false, 1, "send fail. code=0x8001", "QUIT\n", "EHLO", ""},
        {"no_rcpt", false, 1, "send start.", "RCPT To: <b@x.test>\n", "DATA", ""},
        {"silent", false, 1, "send fail. code=0x8001", "", "EHLO", "451 Requested action aborted: error in processing."},
        {"silent", true, 1, "send fail. code=0x8001", "", "EHLO", "451 Requested action aborted: error in processing."},
        {"long_reply", false, 0, "send success. code=0x0000", "AUTH PLAIN AHVzZXIAcGEnc3M=\n", "HELO", ""},
        {"data_refused", false, 1, "send fail. code=0x8005", "QUIT\n", "AUTH", ""},
        // Without a body text the data still ends.
        {"plain", false, 0, "send success. code=0x0000", "QUIT\n", "AUTH", "", "-nomessage"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.scenario) + (c.tls ? " TLS" : ""));
        testsupport::TempDir dir;
        int port = testsupport::FreeTcpPort();
        std::vector<std::string> argv = {kPython, PeerScript("scripted_peer.py"), c.scenario, std::to_string(port),
                                         dir.path()};
        if (c.tls) {
            ASSERT_TRUE(AddCertificate(dir, argv));
        }
        Process peer(argv, Process::Options{});
        ASSERT_TRUE(testsupport::WaitUntil([&] { return testsupport::FileExists(dir / "ready"); },
                                           std::chrono::seconds(20)));
        WritePanelIni(dir / "sendmail.ini", port, c.tls ? 1 : 0);
        testsupport::WriteFile(dir / "sendmail.ini",
                               testsupport::ReadFile(dir / "sendmail.ini") + "timeout=2\r\n");
        Process::Options options;
        options.cwd = dir.path();
        Process sender({testsupport::BinPath("orqnote"), "a@x.test,b@x.test", "-subject=s", c.body, "-logfile"},
                       options);
        EXPECT_EQ(sender.wait(std::chrono::seconds(60)), c.exitCode) << sender.out();
        std::string log = testsupport::ReadFile(dir / "sendmail-log.txt");
        EXPECT_NE(log.find(c.logLine), std::string::npos) << log;
        std::string commands = testsupport::FileExists(dir / "commands.txt") ? testsupport::ReadFile(dir / "commands.txt") : "";
        if (*c.command) {
            EXPECT_NE(commands.find(c.command), std::string::npos) << commands;
        }
        EXPECT_EQ(commands.find(c.missingCommand), std::string::npos) << commands;
        if (*c.console) {
            EXPECT_NE(sender.out().find(c.console), std::string::npos) << sender.out();
        }
        peer.wait(std::chrono::seconds(10));
    }
}

TEST_F(OrqnoteTest, UsageWithoutSettingsFile) {
    EXPECT_EQ(RunOrqnote({"a@x.test", "-subject=s"}), 0);
    EXPECT_EQ(output_.rfind("orqnote v2.00 for Windows NT/2000/XP Comand prompt\n", 0), 0u) << output_;
    EXPECT_EQ(RunOrqnote({}), 0);
}

}  // namespace
