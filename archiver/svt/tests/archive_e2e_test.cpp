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

std::string Base64Lines(const std::string& data) {
    auto r = RunCommand("printf '%s' '" + std::string() + "' >/dev/null");  // keeps RunCommand linked
    (void)r;
    static const char* table = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out, line;
    for (size_t i = 0; i < data.size(); i += 3) {
        unsigned v = static_cast<unsigned char>(data[i]) << 16;
        if (i + 1 < data.size()) v |= static_cast<unsigned char>(data[i + 1]) << 8;
        if (i + 2 < data.size()) v |= static_cast<unsigned char>(data[i + 2]);
        line += table[(v >> 18) & 63];
        line += table[(v >> 12) & 63];
        line += i + 1 < data.size() ? table[(v >> 6) & 63] : '=';
        line += i + 2 < data.size() ? table[v & 63] : '=';
        if (line.size() >= 76) {
            out += line + "\r\n";
            line.clear();
        }
    }
    if (!line.empty()) out += line + "\r\n";
    return out;
}

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
           Base64Lines(kPdf) + extraParts +
           "--b-outer--\r\n"
           ".\r\n";
}

// The password the password mail tells, read the way its reader would.
std::string PasswordFrom(const std::string& pwMailPath) {
    auto text = RunCommand("iconv -f ISO-2022-JP -t UTF-8 " + pwMailPath);
    std::smatch m;
    static const std::regex pattern("'([^']*)'");
    if (!std::regex_search(text.output, m, pattern)) return "";
    return m[1];
}

struct Parsed {
    std::string listing;
    testsupport::TempDir bodies;
};

void Parse(const std::string& mail, Parsed& p) {
    auto r = RunCommand("/usr/bin/python3 " + testsupport::SourcePath("archiver/svt/tests/mail_parts.py") + " " +
                        mail + " " + p.bodies.path());
    EXPECT_EQ(r.exitCode, 0) << r.output;
    p.listing = r.output;
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
    const std::string password = PasswordFrom(pwMail);
    EXPECT_TRUE(std::regex_match(password, std::regex("PW[0-9]{5}"))) << password;

    Parsed p;
    Parse(path, p);
    // The notice as text, the archive under the subject's name.
    EXPECT_NE(p.listing.find("top multipart/mixed yes <orig-1@example.test>"), std::string::npos) << p.listing;
    EXPECT_NE(p.listing.find("1 text/plain  "), std::string::npos) << p.listing;
    EXPECT_NE(p.listing.find("2 application/octet-stream 見積.ZIP "), std::string::npos) << p.listing;
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
    EXPECT_EQ(PasswordFrom(server.workFolder() + "/" + id + "-pw.dat"), "fixedpw");
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
    Parsed p;
    Parse(path, p);
    EXPECT_NE(p.listing.find("1 text/plain  0\n"), std::string::npos) << p.listing << ReadFile(path).substr(0, 1200);
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
