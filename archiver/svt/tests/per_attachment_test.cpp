#include <gtest/gtest.h>
#include <sys/stat.h>

#include "archiver/svt/mail_process.h"
#include "platform/codepage/codepage.h"
#include "svt_fixture.h"
#include "test_support.h"

namespace {

using testsupport::ReadFile;
using testsupport::RunCommand;

std::string Binary(size_t size, int seed) {
    std::string s;
    for (size_t i = 0; i < size; ++i) s += static_cast<char>((i * 131 + seed * 17) & 0xFF);
    return s;
}

const std::string kPdf = "%PDF-1.4\n" + Binary(5000, 1);
const std::string kJapanese = Binary(700, 2);
const std::string kCsv = "a,b\r\n=1,caf\xe9";

// A mail with every kind of part the walk meets.
std::string RichMail() {
    return "From: from@example.test\r\n"
           "To: to@example.test\r\n"
           "Subject: parts\r\n"
           "MIME-Version: 1.0\r\n"
           "Content-Type: multipart/mixed; boundary=\"=_outer\"\r\n"
           "\r\n"
           "--=_outer\r\n"
           "Content-Type: multipart/alternative; boundary=\"=_alt\"\r\n"
           "\r\n"
           "--=_alt\r\n"
           "Content-Type: text/plain; charset=\"iso-2022-jp\"\r\n"
           "Content-Transfer-Encoding: quoted-printable\r\n"
           "\r\n"
           "plain =3D text\r\n"
           "--=_alt\r\n"
           "Content-Type: text/html; charset=us-ascii\r\n"
           "\r\n"
           "<p>html</p>\r\n"
           "--=_alt--\r\n"
           "\r\n"
           "--=_outer\r\n"
           "Content-Type: application/pdf; name=\"quote.pdf\"\r\n"
           "Content-Disposition: attachment; filename=\"quote.pdf\"\r\n"
           "Content-Transfer-Encoding: base64\r\n"
           "\r\n" +
           svttest::Base64Lines(kPdf, 400) +  // lines far longer than 255 characters
           "--=_outer\r\n"
           "Content-Type: text/csv; name=\"data.csv\"\r\n"
           "Content-Transfer-Encoding: quoted-printable\r\n"
           "Content-Disposition: inline\r\n"
           "\r\n"
           "a,b\r\n"
           "=3D1,caf=E9\r\n"
           "--=_outer\r\n"
           "Content-Type: application/octet-stream;\r\n"
           " name=\"=?ISO-2022-JP?B?GyRCOCtAUT1xGyhCXxskQiVhJWIbKEIueGxz?=\"\r\n"
           "Content-Disposition: attachment;\r\n"
           " filename=\"=?ISO-2022-JP?B?GyRCOCtAUT1xGyhCXxskQiVhJWIbKEIueGxz?=\"\r\n"
           "Content-Transfer-Encoding: base64\r\n"
           "\r\n" +
           svttest::Base64Lines(kJapanese) +
           "--=_outer--\r\n"
           "\r\n"
           ".\r\n";
}

std::string Unzip(const std::string& zip, const std::string& password) {
    auto r = RunCommand("unzip -P '" + password + "' -p " + zip + " > " + zip + ".out");
    EXPECT_EQ(r.exitCode, 0) << r.output;
    return ReadFile(zip + ".out");
}

std::string EntryName(const std::string& zip) { return RunCommand("unzip -Z1 " + zip).output; }

TEST(PerAttachment, EachAttachmentBecomesItsOwnArchive) {
    svttest::Orqsvt server({"-u=1", "-l=1", "-@=secret", "-x=dat"});
    const std::string mail = RichMail();
    const std::string path = server.PutMail("P1.1", mail);
    std::string reply;
    ASSERT_EQ(server.Ask(path, reply), 0);
    ASSERT_EQ(reply, "Compressed");
    const std::string archived = ReadFile(path);
    svttest::MailListing l;
    svttest::ListParts(path, l);
    EXPECT_EQ(l.text.substr(0, l.text.find('\n')), "top multipart/mixed yes " +
                                                        archived.substr(archived.find("Message-ID: ") + 12,
                                                                        archived.find(">", archived.find("Message-ID: ")) -
                                                                            archived.find("Message-ID: ") - 11))
        << l.text;
    // The alternative part is copied as it was, both its parts unchanged.
    EXPECT_NE(archived.find("--=_alt\r\nContent-Type: text/plain; charset=\"iso-2022-jp\"\r\n"
                            "Content-Transfer-Encoding: quoted-printable\r\n\r\nplain =3D text\r\n--=_alt\r\n"),
              std::string::npos);
    EXPECT_NE(l.text.find("1 text/plain  12\n2 text/html  11\n"), std::string::npos) << l.text;
    EXPECT_NE(l.text.find("3 application/x-zip-compressed quote.pdf.ZIP "), std::string::npos) << l.text;
    EXPECT_NE(l.text.find("4 application/x-zip-compressed data.csv.ZIP "), std::string::npos) << l.text;
    EXPECT_NE(l.text.find("5 application/x-zip-compressed 見積書_メモ.xls.ZIP "), std::string::npos) << l.text;
    EXPECT_NE(l.text.find("6 text/plain  "), std::string::npos) << "notice part" << l.text;

    EXPECT_EQ(Unzip(l.bodies / "3.bin", "secret"), kPdf);
    EXPECT_EQ(EntryName(l.bodies / "3.bin"), "quote.pdf\n");
    EXPECT_EQ(Unzip(l.bodies / "4.bin", "secret"), kCsv);
    EXPECT_EQ(Unzip(l.bodies / "5.bin", "secret"), kJapanese);
    // The entry's name as Japanese unzip tools read it.
    auto name = RunCommand("/usr/bin/python3 -c \"import zipfile,sys; "
                           "print(zipfile.ZipFile(sys.argv[1]).namelist()[0].encode('cp437').decode('cp932'))\" " +
                           l.bodies / "5.bin");
    EXPECT_EQ(name.output, "見積書_メモ.xls\n");

    EXPECT_NE(archived.find("Content-Disposition: attachment;\r\n filename=\"quote.pdf.ZIP\"\r\n"), std::string::npos);
    EXPECT_NE(archived.find("Content-Disposition: attachment;\r\nContent-Transfer-Encoding: base64\r\n\r\n"),
              std::string::npos)
        << "inline, no file name";
    // The notice part stands right before the closing boundary, and the mail
    // still ends with its "." line.
    const size_t notice = archived.find("Content-Type: message/rfc822;");
    ASSERT_NE(notice, std::string::npos);
    EXPECT_LT(notice, archived.find("--=_outer--\r\n"));
    EXPECT_EQ(archived.substr(archived.size() - 18), "--=_outer--\r\n\r\n.\r\n");
    // Nothing of the mail's attachments is left in the work folder.
    EXPECT_EQ(RunCommand("ls -A " + server.workFolder()).output, "P1.1-pw.dat\nP1.1-pw.rcp\n");
}

// Each attachment as four unzip programs give it back: unzip, 7z, bsdtar
// and Python's zipfile must all agree with the original bytes.
void ExpectEveryUnzipGives(const std::string& zip, const std::string& password, const std::string& want,
                           const std::string& what) {
    const std::vector<std::pair<std::string, std::string>> tools = {
        {"unzip", "unzip -P '" + password + "' -p " + zip},
        {"7z", "7z x -so -p'" + password + "' " + zip},
        {"bsdtar", "bsdtar -xOf " + zip + " --passphrase '" + password + "'"},
        {"zipfile", "/usr/bin/python3 -c \"import sys,zipfile; z=zipfile.ZipFile(sys.argv[1]); "
                    "sys.stdout.buffer.write(z.read(z.namelist()[0], pwd=sys.argv[2].encode()))\" " +
                        zip + " '" + password + "'"},
    };
    for (const auto& [tool, command] : tools) {
        if (tool != "zipfile" && RunCommand("command -v " + tool).exitCode != 0) {
            ADD_FAILURE() << tool << " is not installed (scripts/deps.sh --tests)";
            continue;
        }
        auto r = RunCommand(command + " > " + zip + "." + tool + " 2>/dev/null");
        EXPECT_EQ(r.exitCode, 0) << what << " with " << tool << ": " << r.output;
        EXPECT_EQ(ReadFile(zip + "." + tool), want) << what << " with " << tool;
    }
}

// The name of the zip's one entry, read as Japanese unzip tools read it.
std::string EntryNameAsCp932(const std::string& zip) {
    return RunCommand("/usr/bin/python3 -c \"import zipfile,sys; "
                      "print(zipfile.ZipFile(sys.argv[1]).namelist()[0].encode('cp437').decode('cp932'))\" " + zip)
        .output;
}

TEST(PerAttachment, TextAttachmentsAndMacFileNamesComeBackAsSent) {
    svttest::Orqsvt server({"-u=1", "-l=1", "-@=s3cret", "-x=dat"});
    const std::string csv = "id,name\r\n1,Tanaka\r\n2,Sato";  // no line end at its end
    const std::string qpText = "line one\r\nline=two with a long tail that " + std::string(60, 'x') + "\r\nend";
    const std::string forwarded = "From: a@example.test\r\nSubject: fwd\r\n\r\nbody line\r\n";
    const std::string pdf = "%PDF-1.4\n" + Binary(300, 4);
    // Shapes as Thunderbird, Outlook and Apple Mail write them; Apple Mail
    // sends names in decomposed form (a kana and a separate sound mark).
    const std::string mail =
        "From: from@example.test\r\nSubject: texts\r\nMIME-Version: 1.0\r\n"
        "Content-Type: multipart/mixed;\r\n boundary=\"------------x1\"\r\n\r\n"
        "This is a multi-part message in MIME format.\r\n"
        "--------------x1\r\n"
        "Content-Type: text/csv; charset=UTF-8; name=\"list.csv\"\r\n"
        "Content-Disposition: attachment; filename=\"list.csv\"\r\n"
        "Content-Transfer-Encoding: 7bit\r\n\r\n" +
        csv + "\r\n" +
        "--------------x1\r\n"
        "Content-Type: text/plain; charset=\"us-ascii\"; name=\"notes.txt\"\r\n"
        "Content-Transfer-Encoding: quoted-printable\r\n"
        "Content-Disposition: attachment; filename=\"notes.txt\"\r\n\r\n"
        "line one\r\nline=3Dtwo with a long tail that " + std::string(60, 'x').substr(0, 30) + "=\r\n" +
        std::string(30, 'x') + "\r\nend\r\n"
        "--------------x1\r\n"
        "Content-Type: message/rfc822; name=\"fwd.eml\"\r\n"
        "Content-Disposition: attachment; filename=\"fwd.eml\"\r\n\r\n" +
        forwarded + "\r\n" +
        "--------------x1\r\n"
        "Content-Disposition: attachment;\r\n\tfilename*=utf-8''%E3%83%86%E3%82%99%E3%83%BC%E3%82%BF%E4%B8%80%E8%A6%A7.pdf\r\n"
        "Content-Type: application/pdf;\r\n\tx-unix-mode=0644;\r\n\tname=\"=?utf-8?B?44OG44KZ44O844K/5LiA6KanLnBkZg==?=\"\r\n"
        "Content-Transfer-Encoding: base64\r\n\r\n" +
        svttest::Base64Lines(pdf) +
        "--------------x1\r\n"
        "Content-Disposition: attachment;\r\n\tfilename*=utf-8''%E3%83%9B%E3%82%9A%E3%82%B9%E3%82%BF%E3%83%BC%E6%A1%88.ai\r\n"
        "Content-Type: application/postscript\r\n"
        "Content-Transfer-Encoding: base64\r\n\r\n" +
        svttest::Base64Lines(pdf) +
        "--------------x1--\r\n.\r\n";
    const std::string path = server.PutMail("T1.1", mail);
    std::string reply;
    ASSERT_EQ(server.Ask(path, reply), 0);
    ASSERT_EQ(reply, "Compressed");
    svttest::MailListing l;
    svttest::ListParts(path, l);
    ExpectEveryUnzipGives(l.bodies / "1.bin", "s3cret", csv, "7bit CSV");
    ExpectEveryUnzipGives(l.bodies / "2.bin", "s3cret", qpText, "quoted-printable text");
    ExpectEveryUnzipGives(l.bodies / "3.bin", "s3cret", forwarded, "forwarded mail");
    ExpectEveryUnzipGives(l.bodies / "4.bin", "s3cret", pdf, "Base64 PDF");
    EXPECT_EQ(EntryNameAsCp932(l.bodies / "4.bin"), "データ一覧.pdf\n");
    EXPECT_EQ(EntryNameAsCp932(l.bodies / "5.bin"), "ポスター案.ai\n");
    EXPECT_NE(l.text.find("4 application/x-zip-compressed データ一覧.pdf.ZIP "), std::string::npos) << l.text;
}

TEST(PerAttachment, SinglePartAttachmentKeepsTheMailsEnd) {
    svttest::Orqsvt server({"-u=1", "-l=0", "-x=dat"});
    const std::string pdf = "%PDF" + Binary(2000, 3);
    const std::string mail = "From: from@example.test\r\nSubject: report\r\n"
                             "Content-Type: application/pdf; name=report.pdf\r\n"
                             "Content-Transfer-Encoding: base64\r\n\r\n" +
                             svttest::Base64Lines(pdf) + ".\r\n";
    const std::string path = server.PutMail("S1.1", mail);
    std::string reply;
    ASSERT_EQ(server.Ask(path, reply), 0);
    ASSERT_EQ(reply, "Compressed");
    const std::string archived = ReadFile(path);
    EXPECT_EQ(archived.substr(archived.size() - 7), "--\r\n.\r\n") << archived.substr(archived.size() - 200);
    const std::string head = archived.substr(0, archived.find("\r\n\r\n"));
    EXPECT_EQ(head.find("Content-Transfer-Encoding"), std::string::npos) << "a multipart head has none: " << head;
    svttest::MailListing l;
    svttest::ListParts(path, l);
    EXPECT_NE(l.text.find("1 application/x-zip-compressed report.pdf.ZIP "), std::string::npos) << l.text;
    EXPECT_NE(l.text.find("2 text/plain  "), std::string::npos) << l.text;
    EXPECT_EQ(Unzip(l.bodies / "1.bin", svttest::PasswordFrom(server.workFolder() + "/S1.1-pw.dat")), pdf);
}

TEST(PerAttachment, HostileNamesStayEntryNamesOnly) {
    svttest::Orqsvt server({"-u=1", "-l=2", "-x=dat"});
    // "表" is 0x95 0x5C in Shift_JIS: its trail byte is not a backslash.
    const std::string sjisName = platform::Utf8ToCp932("表.txt");
    const std::string mail =
        "Subject: names\r\nContent-Type: multipart/mixed; boundary=b\r\n\r\n"
        "--b\r\nContent-Type: application/octet-stream; name=\"x-pw.rcp\"\r\n"
        "Content-Transfer-Encoding: base64\r\n\r\nUmVjaXBpZW50OiBldmlsQGV4YW1wbGUudGVzdA==\r\n"
        "--b\r\nContent-Type: application/octet-stream; name=\"../a:b?c.bin\"\r\n\r\nraw\r\n"
        "--b\r\nContent-Type: application/octet-stream; name=\"" + sjisName + "\"\r\n\r\nsjis\r\n"
        "--b\r\nContent-Type: application/octet-stream; name=\"u.bin\"\r\n"
        "Content-Transfer-Encoding: x-uuencode\r\n\r\nbegin 644 u.bin\r\n#86)C\r\n`\r\nend\r\n"
        "--b--\r\n.\r\n";
    const std::string path = server.PutMail("H1.1", mail);
    std::string reply;
    ASSERT_EQ(server.Ask(path, reply), 0);
    ASSERT_EQ(reply, "Compressed");
    svttest::MailListing l;
    svttest::ListParts(path, l);
    EXPECT_EQ(EntryName(l.bodies / "1.bin"), "x-pw.rcp\n");
    EXPECT_EQ(EntryName(l.bodies / "2.bin"), ".._a_b_c.bin\n");
    const std::string zip3 = ReadFile(l.bodies / "3.bin");
    EXPECT_EQ(zip3.substr(30, sjisName.size()), sjisName);
    EXPECT_EQ(EntryName(l.bodies / "4.bin"), "u.bin.uue\n");
    EXPECT_EQ(Unzip(l.bodies / "4.bin", ""), "begin 644 u.bin\r\n#86)C\r\n`\r\nend");
    // No queue entry, no file of the mail's own naming in the work folder.
    EXPECT_EQ(RunCommand("ls -A " + server.workFolder()).output, "");
}

TEST(PerAttachment, AnAttachmentThatCannotBePackedStaysAsItCame) {
    testsupport::TempDir dir;
    archiver::ArchiveSettings settings;
    settings.rootFolder = dir.path() + "/";
    settings.hostName = "gw.example.test";
    settings.perAttachment = true;
    settings.level = 2;
    const std::string part = "--b\r\nContent-Type: application/pdf; name=\"a.pdf\"\r\n"
                             "Content-Transfer-Encoding: base64\r\n\r\nJVBERi0xLjQK\r\n";
    const std::string mail = "Subject: s\r\nContent-Type: multipart/mixed; boundary=b\r\n\r\n" + part +
                             "--b\r\nContent-Type: text/plain\r\n\r\ntext\r\n--b--\r\n.\r\n";
    testsupport::WriteFile(dir / "m.dat", mail);
    // A folder where the archive would go makes every archive fail.
    ASSERT_EQ(::mkdir((dir / "m.dat.zip").c_str(), 0700), 0);
    ASSERT_EQ(archiver::ProcessMailFile(settings, dir / "m.dat"), 1);
    const std::string archived = ReadFile(dir / "m.dat");
    EXPECT_NE(archived.find(part + "--b\r\nContent-Type: text/plain\r\n\r\ntext\r\n--b--\r\n.\r\n"), std::string::npos)
        << archived;
    EXPECT_EQ(archived.find("x-zip-compressed"), std::string::npos);
}

TEST(PerAttachment, Rfc2231FileNamesAreDecoded) {
    testsupport::TempDir dir;
    archiver::ArchiveSettings settings;
    settings.rootFolder = dir.path() + "/";
    settings.hostName = "gw.example.test";
    settings.perAttachment = true;
    settings.level = 2;
    const std::string mail =
        "Subject: s\r\nContent-Type: multipart/mixed; boundary=b\r\n\r\n"
        "--b\r\nContent-Type: application/pdf\r\n"
        "Content-Disposition: attachment;\r\n filename*0*=UTF-8''%E8%A6%8B%E7%A9%8D;\r\n filename*1*=%E6%9B%B8.pdf\r\n"
        "Content-Transfer-Encoding: base64\r\n\r\nJVBERi0xLjQK\r\n--b--\r\n.\r\n";
    testsupport::WriteFile(dir / "m.dat", mail);
    ASSERT_EQ(archiver::ProcessMailFile(settings, dir / "m.dat"), 1);
    svttest::MailListing l;
    svttest::ListParts(dir / "m.dat", l);
    EXPECT_NE(l.text.find("1 application/x-zip-compressed 見積書.pdf.ZIP "), std::string::npos) << l.text;
    const std::string zip = ReadFile(l.bodies / "1.bin");
    const std::string name = platform::Utf8ToCp932("見積書.pdf");
    EXPECT_EQ(zip.substr(30, name.size()), name);
}

}  // namespace
