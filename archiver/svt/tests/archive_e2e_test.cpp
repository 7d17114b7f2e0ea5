#include <gtest/gtest.h>

#include <regex>

#include "platform/codepage/codepage.h"
#include "svt_fixture.h"
#include "test_support.h"

namespace {

using testsupport::ReadFile;
using testsupport::RunCommand;

const std::string kPdf = [] {
    std::string pdf = "%PDF-1.4\n";
    for (int i = 0; i < 3000; ++i) pdf += static_cast<char>((i * 131) & 0xFF);
    return pdf;
}();

std::string MixedMail(const std::string& extraParts = "") {
    return "Received: from client by relay\r\n"
           "From: Sender <from@example.test>\r\n"
           "To: to@example.test\r\n"
           "Subject: =?ISO-2022-JP?B?GyRCOCtAURsoQg==?=\r\n"
           "Message-ID: <orig-1@example.test>\r\n"
           "MIME-Version: 1.0\r\n"
           "Content-Type: multipart/mixed;\r\n boundary=\"b-outer\"\r\n"
           "\r\n"
           "This is a multi-part message.\r\n"
           "--b-outer\r\n"
           "Content-Type: text/plain; charset=us-ascii\r\n"
           "Content-Transfer-Encoding: 7bit\r\n"
           "\r\n"
           "Hello,\r\n"
           "..a line that began with a dot\r\n"
           "--b-outer\r\n"
           "Content-Type: application/pdf; name=\"quote.pdf\"\r\n"
           "Content-Transfer-Encoding: base64\r\n"
           "Content-Disposition: attachment; filename=\"quote.pdf\"\r\n"
           "\r\n" +
           svttest::Base64Lines(kPdf) + extraParts +
           "--b-outer--\r\n"
           ".\r\n";
}

TEST(ArchiveWholeMail, MultipartMailBecomesNoticeAndEncryptedArchive) {
    svttest::Orqsvt server({"-u=0", "-l=0", "-x=dat", "-@=PW"});
    const std::string id = "20261211001500123.00000007";
    const std::string mail = MixedMail();
    const std::string path = server.PutMail(id, mail);
    std::string reply;
    ASSERT_EQ(server.Ask(path, reply), 0);
    EXPECT_EQ(reply, "Compressed");

    // The queue entry: the password mail and the envelope taken over.
    const std::string pwMail = server.workFolder() + "/" + id + "-pw.dat";
    ASSERT_TRUE(testsupport::FileExists(pwMail));
    EXPECT_TRUE(testsupport::FileExists(server.workFolder() + "/" + id + "-pw.rcp"));
    EXPECT_FALSE(testsupport::FileExists(server.cacheFolder() + "/" + id + ".$CP"));
    const std::string password = svttest::PasswordFrom(pwMail);
    EXPECT_TRUE(std::regex_match(password, std::regex("PW[0-9]{5}"))) << password;

    svttest::MailListing p;
    svttest::ListParts(path, p);
    // The notice as text, the archive under the subject's name.
    EXPECT_NE(p.text.find("top multipart/mixed yes <orig-1@example.test>"), std::string::npos) << p.text;
    EXPECT_NE(p.text.find("1 text/plain  "), std::string::npos) << p.text;
    EXPECT_NE(p.text.find("2 application/octet-stream 見積.ZIP "), std::string::npos) << p.text;
    auto notice = RunCommand("iconv -f ISO-2022-JP -t UTF-8 " + p.bodies / "1.bin");
    EXPECT_EQ(notice.exitCode, 0);
    EXPECT_NE(notice.output.find("このメールには添付ファイルが含まれていました。"), std::string::npos) << notice.output;

    // The archive gives back the mail as it came.
    auto unzip = RunCommand("cd " + p.bodies.path() + " && unzip -P '" + password + "' -p 2.bin > back.eml");
    ASSERT_EQ(unzip.exitCode, 0) << unzip.output;
    EXPECT_EQ(ReadFile(p.bodies / "back.eml"), mail);
    EXPECT_EQ(RunCommand("unzip -Z1 " + p.bodies / "2.bin").output, id + ".eml\n");

    // Nothing else is left in the work folder.
    auto left = RunCommand("ls " + server.workFolder());
    EXPECT_EQ(left.output, id + "-pw.dat\n" + id + "-pw.rcp\n");
    const std::string archived = ReadFile(path);
    EXPECT_EQ(archived.substr(archived.size() - 5), "\r\n.\r\n");
}

TEST(ArchiveWholeMail, PasswordMailKeepsSubjectAndMarksItsMessageId) {
    svttest::Orqsvt server({"-l=1", "-@=fixedpw", "-x=dat"});
    const std::string id = "M100.1";
    const std::string path = server.PutMail(id, MixedMail());
    std::string reply;
    ASSERT_EQ(server.Ask(path, reply), 0);
    ASSERT_EQ(reply, "Compressed");
    const std::string pw = ReadFile(server.workFolder() + "/" + id + "-pw.dat");
    EXPECT_EQ(pw.find("Received:"), std::string::npos);
    EXPECT_NE(pw.find("Subject: =?ISO-2022-JP?B?GyRCOCtAURsoQg==?=\r\n"), std::string::npos);
    EXPECT_NE(pw.find("Message-ID: <orig-1_2@example.test>\r\nReferences: <orig-1@example.test>\r\n"),
              std::string::npos) << pw;
    EXPECT_NE(pw.find("Content-Type: text/plain;\r\n\tcharset=\"iso-2022-jp\"\r\n"), std::string::npos);
    EXPECT_EQ(svttest::PasswordFrom(server.workFolder() + "/" + id + "-pw.dat"), "fixedpw");
    EXPECT_EQ(pw.substr(pw.size() - 5), "\r\n.\r\n");
}

TEST(ArchiveWholeMail, LevelTwoPacksWithoutPasswordAndKeepsTheEnvelope) {
    svttest::Orqsvt server({"-l=2", "-x=dat"});
    const std::string path = server.PutMail("L2.1", MixedMail());
    std::string reply;
    ASSERT_EQ(server.Ask(path, reply), 0);
    ASSERT_EQ(reply, "Compressed");
    EXPECT_TRUE(testsupport::FileExists(server.cacheFolder() + "/L2.1.$CP"));
    EXPECT_EQ(RunCommand("ls " + server.workFolder()).output, "");
    svttest::MailListing p;
    svttest::ListParts(path, p);
    EXPECT_NE(p.text.find("1 text/plain  0\n"), std::string::npos) << p.text << ReadFile(path).substr(0, 1200);
    EXPECT_EQ(RunCommand("unzip -p " + p.bodies / "2.bin" + " > /dev/null").exitCode, 0);
}

TEST(ArchiveWholeMail, AlreadyArchivedMailIsLeftAlone) {
    svttest::Orqsvt server({"-x=dat"});
    const std::string mail = "X-Sorvant: yes\r\nContent-Type: application/pdf\r\n\r\nJVBERi0=\r\n.\r\n";
    const std::string path = server.PutMail("A2.1", mail);
    std::string reply = "x";
    ASSERT_EQ(server.Ask(path, reply), 0);
    EXPECT_EQ(reply, "");
    EXPECT_EQ(ReadFile(path), mail);
}

}  // namespace
