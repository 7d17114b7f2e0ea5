#include <gtest/gtest.h>

#include <sys/socket.h>
#include <unistd.h>

#include <string>

#include "engine/core/connection.h"
#include "engine/core/engine_settings.h"
#include "engine/http/block_pages.h"
#include "test_support.h"

namespace {

using engine::BlockPageMode;

// "アンチウイルス機能により" and "コンテンツフィルタ機能により" in Shift_JIS.
const std::string kVirusMessageSjis =
    "\x83\x41\x83\x93\x83\x60\x83\x45\x83\x43\x83\x8b\x83\x58\x8b\x40\x94\x5c\x82\xc9\x82\xe6\x82\xe8";
const std::string kWordMessageSjis =
    "\x83\x52\x83\x93\x83\x65\x83\x93\x83\x63\x83\x74\x83\x42\x83\x8b\x83\x5e\x8b\x40\x94\x5c\x82\xc9\x82\xe6\x82\xe8";

size_t Count(const std::string& text, const std::string& part) {
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

TEST(BlockPagesTest, BuiltInPagesAreShiftJisWithTwoPlacesForTheFinding) {
    struct Case {
        const std::string& page;
        const std::string& message;
    };
    for (const Case& c : {Case{engine::BuiltInVirusPage(), kVirusMessageSjis},
                          Case{engine::BuiltInWordPage(), kWordMessageSjis}}) {
        EXPECT_NE(c.page.find(c.message), std::string::npos);
        EXPECT_EQ(c.page.find('\xe3'), std::string::npos) << "UTF-8 left in the page";
        EXPECT_EQ(c.page.rfind("<html><head><meta http-equiv=content-type content=\"text/html; charset=shitf-jis\">"
                               "<title>Blocked %s</title><!-- ",
                               0),
                  0u);
        EXPECT_EQ(Count(c.page, "%s"), 2u);
        EXPECT_EQ(c.page.substr(c.page.size() - 16), "</body></html>\r\n");
    }
}

TEST(BlockPagesTest, FillBlockPageReplacesPercentSAsTextOnly) {
    struct Case {
        const char* pageTemplate;
        const char* finding;
        const char* page;
    };
    const Case cases[] = {
        {"<title>%s</title><p>%s</p>", "EICAR", "<title>EICAR</title><p>EICAR</p>"},
        {"no conversion at all", "EICAR", "no conversion at all"},
        {"%s%s%s", "x", "xxx"},
        {"width=100%% %d %n %x %s", "F", "width=100%% %d %n %x F"},
        {"[%s]", "Keyword=%s%n%d", "[Keyword=%s%n%d]"},
        {"%", "F", "%"},
        {"", "F", ""},
    };
    for (const Case& c : cases) EXPECT_EQ(engine::FillBlockPage(c.pageTemplate, c.finding), c.page) << c.pageTemplate;
}

class BlockPageFilesTest : public ::testing::Test {
protected:
    std::string Folder() const { return dir_.path() + "/"; }
    std::string Path(const std::string& name) const { return dir_ / name; }
    void Write(const std::string& name, const std::string& content) { testsupport::WriteFile(Path(name), content); }
    std::string Read(const std::string& name) const { return testsupport::ReadFile(Path(name)); }

    testsupport::TempDir dir_;
};

TEST_F(BlockPageFilesTest, TemplateFileReplacesTheBuiltInPageUpToItsLimit) {
    EXPECT_EQ(engine::LoadBlockPageTemplate(BlockPageMode::Virus, Folder()), engine::BuiltInVirusPage());
    EXPECT_EQ(engine::LoadBlockPageTemplate(BlockPageMode::Word, Folder()), engine::BuiltInWordPage());
    EXPECT_EQ(engine::LoadBlockPageTemplate(BlockPageMode::SplitBody, Folder()), "");
    Write("foundvirus.html", "V %s\r\n");
    Write("foundword.html", std::string(20479, 'w') + "cut");
    EXPECT_EQ(engine::LoadBlockPageTemplate(BlockPageMode::Virus, Folder()), "V %s\r\n");
    EXPECT_EQ(engine::LoadBlockPageTemplate(BlockPageMode::Word, Folder()), std::string(20479, 'w'));
}

TEST_F(BlockPageFilesTest, UploadVirusReplyCountsTheShiftJisBody) {
    const std::string reply = engine::UploadVirusReply("Sun, 06 Nov 1994 17:49:37 +0900", "EICAR", Folder());
    const std::string body = engine::FillBlockPage(engine::BuiltInVirusPage(), "EICAR");
    EXPECT_EQ(reply,
              "HTTP/1.1 407 Proxy Authentication Required\r\n"
              "Date: Sun, 06 Nov 1994 17:49:37 +0900\r\n"
              "Server: VELQOR Server-HPROXY/v2.15\r\n"
              "MIME-Version: 1.0\r\n"
              "Content-Type: text/html\r\n"
              "Proxy-Connection: close\r\n"
              "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body);
}

TEST_F(BlockPageFilesTest, SendVirusPageSendsTheWholeReply) {
    int sockets[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, sockets), 0);
    Write("foundvirus.html", "<b>%s</b>");
    engine::ConnectionRecord connection;
    connection.ClientSocket = sockets[0];
    engine::EngineSettings settings;
    settings.dataFolder = Folder();
    EXPECT_TRUE(engine::SendVirusPage(connection, "EICAR-Test-File", settings));
    ::close(sockets[0]);
    std::string received;
    char buffer[4096];
    for (ssize_t n; (n = ::read(sockets[1], buffer, sizeof buffer)) > 0;) received.append(buffer, n);
    ::close(sockets[1]);
    EXPECT_EQ(received.rfind("HTTP/1.1 407 Proxy Authentication Required\r\nDate: ", 0), 0u);
    EXPECT_NE(received.find("Content-Length: 22\r\n\r\n<b>EICAR-Test-File</b>"), std::string::npos) << received;
    EXPECT_EQ(received.substr(received.size() - 22), "<b>EICAR-Test-File</b>");
}

TEST_F(BlockPageFilesTest, BlockedResponseBecomesThePageWithItsOwnLength) {
    Write("foundvirus.html", "<p>%s</p>");
    Write("foundword.html", "<i>%s|%s</i>");
    struct Case {
        const char* name;
        BlockPageMode mode;
        std::string response;
        std::string page;
    };
    const Case cases[] = {
        {"length and type keep their places, codings go", BlockPageMode::Virus,
         "HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\nTransfer-Encoding: chunked\r\n"
         "Content-Encoding: gzip\r\nContent-Length: 999\r\nX-Other: 1\r\n\r\nEICAR body",
         "HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=shift_jis\r\nContent-Length: 12\r\nX-Other: 1\r\n\r\n"
         "<p>EICAR</p>"},
        {"missing length and type come before the end", BlockPageMode::Word,
         "HTTP/1.1 200 OK\r\nServer: s\r\n\r\nbad words",
         "HTTP/1.1 200 OK\r\nServer: s\r\nContent-Length: 34\r\nContent-Type: text/html\r\n\r\n"
         "<i>Keyword=EICAR|Keyword=EICAR</i>"},
        {"head with LF line ends", BlockPageMode::Virus,
         "HTTP/1.1 200 OK\nContent-Length: 10\n\nEICAR body",
         "HTTP/1.1 200 OK\nContent-Length: 12\r\nContent-Type: text/html\r\n\n<p>EICAR</p>"},
        {"no head end: nothing of the server's bytes stays", BlockPageMode::Virus, "EICAR without any head",
         "HTTP/1.1 200 OK\r\nContent-Length: 12\r\nContent-Type: text/html\r\n\r\n<p>EICAR</p>"},
    };
    for (const Case& c : cases) {
        Write("target", c.response);
        Write("copy", "an older copy");
        const std::string finding = c.mode == BlockPageMode::Word ? "Keyword=EICAR" : "EICAR";
        EXPECT_TRUE(engine::MakeBlockPage(c.mode, Path("target"), Path("copy"), finding, Folder())) << c.name;
        EXPECT_EQ(Read("target"), c.page) << c.name;
        EXPECT_EQ(Read("copy"), c.response) << c.name;
    }
}

TEST_F(BlockPageFilesTest, SplitBodyLeavesTheBodyInTheTargetAndAllInTheCopy) {
    struct Case {
        const char* name;
        std::string response;
        std::string body;
    };
    const std::string binary("\x00\r\n\r\n\x01\xff", 7);
    const Case cases[] = {
        {"CR LF head", "HTTP/1.1 200 OK\r\nContent-Length: 7\r\n\r\n" + binary, binary},
        {"LF head", "HTTP/1.1 200 OK\nContent-Length: 7\n\n" + binary, binary},
        {"empty body", "HTTP/1.1 204 No Content\r\n\r\n", ""},
        {"no head end: all of it is scanned", "X5O!P%@AP[4\\PZX54(P^)7CC)7}$EICAR", "X5O!P%@AP[4\\PZX54(P^)7CC)7}$EICAR"},
        {"no head end within 64 KiB", std::string(70000, 'a') + "\r\n\r\nrest",
         std::string(70000, 'a') + "\r\n\r\nrest"},
    };
    for (const Case& c : cases) {
        Write("spool", c.response);
        EXPECT_TRUE(engine::MakeBlockPage(BlockPageMode::SplitBody, Path("spool"), Path("work"), "", Folder()))
            << c.name;
        EXPECT_EQ(Read("spool"), c.body) << c.name;
        EXPECT_EQ(Read("work"), c.response) << c.name;
    }
}

}  // namespace
