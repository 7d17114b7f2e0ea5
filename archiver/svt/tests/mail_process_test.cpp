#include <gtest/gtest.h>
#include <sys/stat.h>

#include <regex>
#include <set>

#include "archiver/svt/mail_build.h"
#include "archiver/svt/mail_process.h"
#include "archiver/svt/message_id.h"
#include "common/text.h"
#include "platform/codepage/codepage.h"
#include "test_support.h"

namespace {

using archiver::ArchiveSettings;
using testsupport::ReadFile;
using testsupport::WriteFile;

struct MailFiles : ::testing::Test {
    testsupport::TempDir dir;
    ArchiveSettings settings;
    void SetUp() override {
        settings.rootFolder = dir.path() + "/";
        settings.hostName = "gw.example.test";
    }
};

TEST_F(MailFiles, ClassificationByTheFirstContentType) {
    struct Case {
        std::string head;
        int result;
        std::string boundary;
        bool perAttachment = false;
        bool signedMail = false;
    };
    const std::vector<Case> cases = {
        {"Content-Type: text/plain; charset=us-ascii\r\n", 0, ""},
        {"Content-Type: multipart/alternative;\r\n boundary=\"alt\"\r\n", 0, "alt"},
        {"Content-Type: message/partial; id=1\r\n", 0, ""},
        {"Content-Type: multipart/mixed;\r\n\tboundary=\"Mixed-Case_1\"\r\n", 1, "Mixed-Case_1"},
        {"Content-Type: application/pdf; name=a.pdf\r\n", 1, ""},
        {"Content-Type: multipart/related;\r\n boundary=rel\r\n", 1, "rel"},
        {"Content-Type: multipart/related;\r\n type=\"multipart/alternative\";\r\n boundary=rel\r\n", 0, "rel"},
        {"Content-Type: multipart/related;\r\n type=\"text/html\"; boundary=rel\r\n", 1, "rel"},
        {"Content-Type: multipart/report; report-type=delivery-status;\r\n boundary=r\r\n", 1, "r"},
        {"X-Sorvant: yes\r\nContent-Type: multipart/mixed; boundary=b\r\n", 2, "b"},
        {"Content-Type: multipart/mixed; boundary=b\r\nx-sorvant: YES\r\n", 2, "b"},
        {"Subject: no content type\r\n", 0, ""},
        {"Content-Type: multipart/signed; boundary=s\r\n", 1, "s", true, true},
        {"Content-Type: multipart/signed; boundary=s\r\n", 1, "s", false, false},
        // Only the first Content-Type decides; a later one in the head is not looked at.
        {"Content-Type: text/plain\r\nX-Other: 1\r\n boundary=not-this\r\nContent-Type: application/pdf\r\n", 0, ""},
    };
    for (const Case& c : cases) {
        WriteFile(dir / "m.dat", "From: a@example.test\r\n" + c.head + "\r\nbody\r\n.\r\n");
        settings.perAttachment = c.perAttachment;
        const archiver::Classification got = archiver::ClassifyMail(settings, dir / "m.dat");
        EXPECT_EQ(got.result, c.result) << c.head;
        EXPECT_EQ(got.boundary, c.boundary) << c.head;
        EXPECT_EQ(got.signedMail, c.signedMail) << c.head;
    }
    EXPECT_EQ(archiver::ClassifyMail(settings, dir / "missing.dat").result, 0);
}

TEST_F(MailFiles, ToAndCcKeepTheirFirstAddresses) {
    const std::string body = "\r\nTo: body lines, are, never, touched\r\n.\r\n";
    WriteFile(dir / "m.dat",
              "From: a@example.test\r\n"
              "To: one@example.test, \"Two, Jr.\" <two@example.test>, three@example.test,\r\n"
              " four@example.test\r\n"
              "Cc: c1@example.test; c2@example.test\r\n"
              "Subject: s\r\n" + body);
    settings.toLimit = true;
    settings.toCount = 2;
    ASSERT_TRUE(archiver::LimitAddressHeaders(settings, dir / "m.dat"));
    EXPECT_EQ(ReadFile(dir / "m.dat"),
              "From: a@example.test\r\n"
              "To: one@example.test, \"Two, Jr.\" <two@example.test>\r\n"
              "Cc: c1@example.test; c2@example.test\r\n"
              "Subject: s\r\n" + body);
    EXPECT_FALSE(testsupport::FileExists(dir / "m.dat.tmp"));

    settings.toLimit = false;
    settings.ccLimit = true;
    settings.ccCount = 1;
    ASSERT_TRUE(archiver::LimitAddressHeaders(settings, dir / "m.dat"));
    EXPECT_NE(ReadFile(dir / "m.dat").find("\r\nCc: c1@example.test\r\nSubject: s\r\n"), std::string::npos);

    // A field with no more addresses than the count stays; a count of 0 drops it.
    settings.ccCount = 0;
    settings.toLimit = true;
    settings.toCount = 5;
    ASSERT_TRUE(archiver::LimitAddressHeaders(settings, dir / "m.dat"));
    EXPECT_EQ(ReadFile(dir / "m.dat"),
              "From: a@example.test\r\n"
              "To: one@example.test, \"Two, Jr.\" <two@example.test>\r\n"
              "Subject: s\r\n" + body);
}

TEST_F(MailFiles, MessageIdsAndPasswords) {
    std::set<std::string> ids;
    for (int i = 0; i < 50; ++i) ids.insert(archiver::MakeMessageId("gw.example.test"));
    EXPECT_EQ(ids.size(), 50u);
    EXPECT_TRUE(std::regex_match(*ids.begin(), std::regex("VLQR_[0-9]{17}[0-9]{5,}@gw\\.example\\.test")))
        << *ids.begin();
    EXPECT_EQ(archiver::LocalPartOf("a_b@c"), "a_b");

    settings.level = 0;
    settings.password = "Key-";
    std::set<std::string> passwords;
    for (int i = 0; i < 40; ++i) {
        const std::string pw = archiver::ChoosePassword(settings);
        EXPECT_TRUE(std::regex_match(pw, std::regex("Key-[0-9]{5}"))) << pw;
        EXPECT_LE(std::stoi(pw.substr(4)), 32767);
        passwords.insert(pw);
    }
    EXPECT_GT(passwords.size(), 30u);
    settings.password = "";
    EXPECT_TRUE(std::regex_match(archiver::ChoosePassword(settings), std::regex("[0-9]{5}")));
    settings.level = 1;
    settings.password = "fixed";
    EXPECT_EQ(archiver::ChoosePassword(settings), "fixed");
}

std::string Jis(const char* utf8) { return platform::ConvertText(65001, 50220, utf8); }

TEST_F(MailFiles, NoticeTextFromTheAdministratorsFile) {
    // As the control panel writes it: Shift_JIS with CR LF.
    WriteFile(dir / "ziped-pw-message.txt",
              platform::Utf8ToCp932("パスワード: %s です\r\n\r\n100% 安全 %d\r\n.hidden line\r\n"));
    {
        archiver::MailWriter out(dir / "out.txt");
        archiver::WriteNoticeText(dir / "ziped-pw-message.txt", out, std::string("12345"));
        ASSERT_TRUE(out.Close());
    }
    EXPECT_EQ(ReadFile(dir / "out.txt"),
              Jis("パスワード: 12345 です") + "\r\n\r\n" + Jis("100% 安全 %d") + "\r\n..hidden line\r\n");

    // Missing file: the built-in texts.
    {
        archiver::MailWriter out(dir / "builtin.txt");
        archiver::WriteNoticeText(dir / "none.txt", out, std::string("PW00042"));
        archiver::WriteNoticeText(dir / "none.txt", out, std::nullopt);
        ASSERT_TRUE(out.Close());
    }
    auto text = testsupport::RunCommand("iconv -f ISO-2022-JP -t UTF-8 " + dir / "builtin.txt");
    EXPECT_EQ(text.exitCode, 0);
    EXPECT_NE(text.output.find("解凍用パスワードは、'PW00042'です。\r\n"), std::string::npos) << text.output;
    EXPECT_NE(text.output.find("このメールには添付ファイルが含まれていました。\r\n"), std::string::npos);
}

TEST_F(MailFiles, PasswordMailOfAMailWithoutMessageId) {
    WriteFile(dir / "m.dat",
              "Received: from a\r\n\tby b\r\nFrom: a@example.test\r\nReferences: <old@x>\r\n <older@x>\r\n"
              "Subject: s\r\nContent-Type: multipart/mixed;\r\n boundary=b\r\nContent-Disposition: inline\r\n\r\n"
              "--b\r\nbody\r\n--b--\r\n.\r\n");
    archiver::MailJob job(settings, dir / "m.dat");
    job.id = "VLQR_1@gw.example.test";
    job.password = "pw";
    ASSERT_TRUE(archiver::BuildPasswordMail(job, dir / "pw.dat"));
    const std::string pw = ReadFile(dir / "pw.dat");
    const std::string head = pw.substr(0, pw.find("\r\n\r\n") + 4);
    EXPECT_EQ(head,
              "From: a@example.test\r\nSubject: s\r\n"
              "Content-Type: text/plain;\r\n\tcharset=\"iso-2022-jp\"\r\n"
              "Message-ID: <VLQR_1_2@gw.example.test>\r\nReferences: <VLQR_1@gw.example.test>\r\n\r\n");
    EXPECT_EQ(pw.find("body"), std::string::npos);
    EXPECT_EQ(pw.substr(pw.size() - 7), "\r\n\r\n.\r\n");
}

TEST_F(MailFiles, ArchiveFailureLeavesTheMailAsItCame) {
    const std::string mail = "Subject: s\r\nContent-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\n"
                             "Content-Type: application/pdf; name=a.pdf\r\n\r\nx\r\n--b--\r\n.\r\n";
    testsupport::WriteFile(dir / "m.dat", mail);
    settings.workFolder = dir.path();
    // A folder where the archive would go: the zip cannot be written.
    ASSERT_EQ(::mkdir((dir / "m.dat.zip").c_str(), 0700), 0);
    EXPECT_EQ(archiver::ProcessMailFile(settings, dir / "m.dat"), 2);
    EXPECT_EQ(ReadFile(dir / "m.dat"), mail);
    auto left = testsupport::RunCommand("ls -A " + dir.path());
    EXPECT_EQ(left.output, "m.dat\nm.dat.zip\n") << "no password mail, no temporaries";
}

TEST_F(MailFiles, LevelThreeEncryptsWithTheFixedPasswordAndWritesNoNotice) {
    const std::string mail = "Subject: s\r\nContent-Type: application/pdf; name=a.pdf\r\n\r\nJVBERi0=\r\n.\r\n";
    testsupport::WriteFile(dir / "m.dat", mail);
    settings.level = 3;
    settings.password = "three";
    ASSERT_EQ(archiver::ProcessMailFile(settings, dir / "m.dat"), 1);
    const std::string archived = ReadFile(dir / "m.dat");
    EXPECT_NE(archived.find("Content-Transfer-Encoding: 7bit\r\n\r\n--"), std::string::npos) << "empty text part";
    EXPECT_FALSE(testsupport::FileExists(dir / "m-pw.dat"));
    const size_t start = archived.find("\r\n\r\n", archived.find("application/octet-stream")) + 4;
    std::string zip;
    common::Base64ToText(archived.substr(start, archived.find("\r\n--", start) - start), zip, 1 << 20);
    testsupport::WriteFile(dir / "a.zip", zip);
    EXPECT_EQ(testsupport::RunCommand("unzip -P three -p " + dir / "a.zip").output, mail);
}

}  // namespace
