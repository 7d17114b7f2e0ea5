// orqcwfs through its pipe, with stored responses as the engine writes them.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "cwfs_fixture.h"
#include "platform/codepage/codepage.h"
#include "platform/pipe/pipe.h"
#include "platform/win32_errors.h"

namespace {

using cwfstest::CwfsServer;

std::string Sjis(const char* utf8) { return platform::Utf8ToCp932(utf8); }

const char kPageUtf8[] =
    "<html><head><title>テスト</title></head>\n<body>これはアダルトサイトの案内です。</body></html>\n";
const char kCleanUtf8[] = "<html><head><title>テスト</title></head>\n<body>天気予報のページです。</body></html>\n";

std::string Head(const std::string& contentType) {
    return "HTTP/1.1 200 OK\r\nServer: test\r\nContent-Type: " + contentType + "\r\n\r\n";
}

std::string Request(const std::string& path, const std::string& url = "host.example/a.html",
                    const std::string& list = "http-block/127.0.0.1.db") {
    return path + "?" + list + "*" + url;
}

class WordFilterServer : public ::testing::Test {
protected:
    void SetUp() override {
        // As the control panel writes the list: Shift_JIS, CR LF, a comment header.
        server_.writeData("cwf.db", Sjis("' 禁止ワード一覧\r\n*アダルト*\r\n"));
    }
    CwfsServer server_;
};

TEST_F(WordFilterServer, EveryJapaneseCharsetHitsTheShiftJisKeyword) {
    server_.start();
    const std::string keywordReply = "Keyword=" + Sjis("*アダルト*");
    const std::pair<const char*, const char*> charsets[] = {
        {"SHIFT_JIS", "Shift_JIS"}, {"EUC-JP", "EUC-JP"}, {"ISO-2022-JP", "iso-2022-jp"}, {"UTF-8", "utf-8"}};
    int n = 0;
    for (auto [iconvName, label] : charsets) {
        SCOPED_TRACE(label);
        const std::string page = cwfstest::Iconv(kPageUtf8, "UTF-8", iconvName);
        const std::string clean = cwfstest::Iconv(kCleanUtf8, "UTF-8", iconvName);
        const std::string type = std::string("text/html; charset=") + label;
        std::string reply;
        EXPECT_EQ(server_.ask(Request(server_.storeResponse("hit" + std::to_string(n), Head(type), page)), reply), 0);
        EXPECT_EQ(reply, keywordReply);
        EXPECT_EQ(server_.ask(Request(server_.storeResponse("pass" + std::to_string(n), Head(type), clean)), reply),
                  0);
        EXPECT_EQ(reply, "");
        ++n;
    }
    EXPECT_NE(server_.log().find("[Query_KeywordLists] Start. CharSet=euc-jp Data="), std::string::npos);
    EXPECT_NE(server_.log().find("[Query_KeywordLists] Hit. KEYWORD (" + Sjis("*アダルト*") + ")\n"),
              std::string::npos);
}

TEST_F(WordFilterServer, ResponsesThatAreNotTextOrHaveNoHeadEndGetNoReply) {
    server_.start();
    const std::string page = Sjis(kPageUtf8);
    struct Case {
        const char* name;
        std::string request;
    } cases[] = {
        {"image", Request(server_.storeResponse("png", Head("image/png"), page))},
        {"no head end", Request(server_.storeResponse("open", "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n", ""))},
        {"missing file", Request(server_.dataFolder() + "cache/none")},
        {"no content type", Request(server_.storeResponse("untyped", "HTTP/1.1 200 OK\r\n\r\n", page))},
        {"empty request", ""},
    };
    for (const auto& c : cases) {
        std::string reply = "x";
        EXPECT_EQ(server_.ask(c.request, reply), platform::kErrorBrokenPipe) << c.name;
        EXPECT_EQ(reply, "") << c.name;
    }
    EXPECT_NE(server_.log().find("ReadFile() fail. code = "), std::string::npos);
    // The server goes on serving.
    std::string reply;
    EXPECT_EQ(server_.ask(Request(server_.storeResponse("hit", Head("text/html"), page)), reply), 0);
    EXPECT_EQ(reply, "Keyword=" + Sjis("*アダルト*"));
}

TEST_F(WordFilterServer, OnlyRegularFilesOfTheCacheAreRead) {
    server_.start();
    const std::string head = Head("text/html");
    const std::string page = Sjis(kPageUtf8);
    testsupport::TempDir elsewhere;
    const std::string outside = elsewhere / "page";
    testsupport::WriteFile(outside, head + page);
    const std::string cache = server_.dataFolder() + "cache/";
    ASSERT_EQ(::symlink(outside.c_str(), (cache + "link").c_str()), 0);
    // Opening a FIFO would wait for a writer that never comes.
    ASSERT_EQ(::mkfifo((cache + "fifo").c_str(), 0600), 0);
    server_.writeData("page", head + page);
    const std::string cases[] = {outside, cache + "link", cache + "fifo", server_.dataFolder() + "page",
                                 cache + "../page", "relative"};
    for (const std::string& path : cases) {
        std::string reply = "x";
        EXPECT_EQ(server_.ask(Request(path), reply), platform::kErrorBrokenPipe) << path;
        EXPECT_EQ(reply, "") << path;
    }
    std::string reply;
    EXPECT_EQ(server_.ask(Request(server_.storeResponse("hit", head, page)), reply), 0);
    EXPECT_EQ(reply, "Keyword=" + Sjis("*アダルト*"));
}

TEST_F(WordFilterServer, ListsThatAreNotRegularFilesAreTakenAsMissing) {
    testsupport::MakeDirs(server_.dataFolder() + "http-block/folder.db");
    ASSERT_EQ(::mkfifo((server_.dataFolder() + "http-block/fifo.db").c_str(), 0600), 0);
    ASSERT_EQ(::mkfifo((server_.dataFolder() + "http-block/fifo.db.pics.ini").c_str(), 0600), 0);
    ASSERT_EQ(::mkfifo((server_.dataFolder() + "kidssearch.ini").c_str(), 0600), 0);
    server_.start({"-l=2,0,0,0,0,0"});
    const std::string head = Head("text/html");
    const std::string hit = server_.storeResponse("hit", head, Sjis(kPageUtf8));
    std::string reply = "x";
    // The rule set's list falls back to the common one.
    for (const char* list : {"http-block/fifo.db", "http-block/folder.db"}) {
        EXPECT_EQ(server_.ask(Request(hit, "host.example/a.html", list), reply), 0) << list;
        EXPECT_EQ(reply, "Keyword=" + Sjis("*アダルト*")) << list;
    }
    // The rule set's rating levels fall back to the server's.
    const std::string label = server_.storeResponse(
        "label", head,
        "<html><head><META http-equiv=\"PICS-Label\" content='(PICS-1.1 \"http://www.rsac.org/ratingsv01.html\" "
        "l r (n 3 s 0 v 0 l 0))'></head><body>x</body></html>");
    EXPECT_EQ(server_.ask(Request(label, "host.example/a.html", "http-block/fifo.db"), reply), 0);
    EXPECT_EQ(reply, "PICS-LABEL=http://www.rsac.org/ratingsv01.html r (n 3 s 0 v 0 l 0)");
    // A page the keywords pass goes on to the kids records: none.
    EXPECT_EQ(server_.ask(Request(server_.storeResponse("pass", head, Sjis(kCleanUtf8))), reply), 0);
    EXPECT_EQ(reply, "");
}

TEST_F(WordFilterServer, HeadIsReadByWholeLinesAndCharsetEndsAtSemicolon) {
    server_.writeData("cwf.db", "*casino*\r\n");
    server_.start();
    // A head line that a 2,046-character reader would split right before
    // its CR LF, so that the rest of the head would be taken for the body.
    const std::string longLine = "X-Pad: " + std::string(2045 - 7, 'a') + "\r\n";
    std::string reply;
    EXPECT_EQ(server_.ask(Request(server_.storeResponse(
                  "long", "HTTP/1.1 200 OK\r\n" + longLine + "X-Note: casino\r\nContent-Type: text/html\r\n\r\n",
                  "clean body")),
                          reply),
              0);
    EXPECT_EQ(reply, "");

    const std::string euc = cwfstest::Iconv(kPageUtf8, "UTF-8", "EUC-JP");
    server_.writeData("cwf.db", Sjis("*アダルト*\r\n"));
    EXPECT_EQ(server_.ask(Request(server_.storeResponse(
                  "euc", Head("TEXT/HTML; charset=\"EUC-JP\"; format=flowed"), euc)), reply),
              0);
    EXPECT_EQ(reply, "Keyword=" + Sjis("*アダルト*"));
    EXPECT_NE(server_.log().find("CharSet=euc-jp Data="), std::string::npos);
}

TEST_F(WordFilterServer, ListNameChoosesTheRuleSetsListAndRefusesPathsOutside) {
    server_.writeData("http-block/10.0.0.5.db", "*poker*\n");
    server_.writeData("http-block/fe80;;1.db", "*dice*\n");
    server_.writeData("cwf.db", "*casino*\n");
    server_.start();
    const std::string page = server_.storeResponse("p", Head("text/html"), "poker and casino and dice");
    struct Case {
        std::string list;
        std::string reply;
    } cases[] = {
        {"http-block/10.0.0.5.db", "Keyword=*poker*"},
        {"http-block\\10.0.0.5.db", "Keyword=*poker*"},
        {"http-block/fe80::1.db", "Keyword=*dice*"},
        {"http-block/10.0.0.9.db", "Keyword=*casino*"},    // missing: the common list
        {"../VELQOR/http-block/10.0.0.5.db", "Keyword=*casino*"},  // refused
        {server_.dataFolder() + "http-block/10.0.0.5.db", "Keyword=*casino*"},
    };
    for (const auto& c : cases) {
        std::string reply;
        EXPECT_EQ(server_.ask(Request(page, "host.example/a.gif", c.list), reply), 0) << c.list;
        EXPECT_EQ(reply, c.reply) << c.list;
    }
    std::string reply;
    EXPECT_EQ(server_.ask(page, reply), 0);  // neither list name nor URL
    EXPECT_EQ(reply, "Keyword=*casino*");
}

TEST_F(WordFilterServer, HitsAreCountedPerChunk) {
    server_.writeData("cwf.db", "' chunks of 1,023 bytes\r\n*casino*,3\r\n");
    server_.start({"-m=1"});
    auto chunkWith = [](bool word) {
        std::string chunk(1023, '.');
        if (word) chunk.replace(100, 12, "casinocasino");
        return chunk;
    };
    std::string reply;
    const std::string two = chunkWith(true) + chunkWith(false) + chunkWith(true);
    EXPECT_EQ(server_.ask(Request(server_.storeResponse("two", Head("text/plain"), two), "h/a.gif"), reply), 0);
    EXPECT_EQ(reply, "");
    const std::string three = two + chunkWith(false) + chunkWith(true);
    EXPECT_EQ(server_.ask(Request(server_.storeResponse("three", Head("text/plain"), three), "h/a.gif"), reply), 0);
    EXPECT_EQ(reply, "Keyword=*casino*");  // the count is not part of the reply
}

TEST_F(WordFilterServer, RatingLabelBlocksAboveTheLevels) {
    server_.writeData("http-block/10.0.0.7.db.pics.ini", "4,4,4,4,3,2\r\n");
    server_.start({"-l=2,0,0,0,0,0"});
    const std::string page = server_.storeResponse(
        "label", Head("text/html"),
        "<html><head><META http-equiv=\"PICS-Label\" content='(PICS-1.1 \"http://www.rsac.org/ratingsv01.html\" "
        "l gen true for \"http://host.example/a.html\" r (n 3 s 0 v 0 l 0))'></head><body>x</body></html>");
    std::string reply;
    EXPECT_EQ(server_.ask(Request(page), reply), 0);
    EXPECT_EQ(reply, "PICS-LABEL=http://www.rsac.org/ratingsv01.html r (n 3 s 0 v 0 l 0)");
    // The rule set's own levels allow it.
    EXPECT_EQ(server_.ask(Request(page, "host.example/a.html", "http-block/10.0.0.7.db"), reply), 0);
    EXPECT_EQ(reply, "");
    EXPECT_NE(server_.log().find("] n=2,s=0,v=0,l=0,o=0,c=0\n"), std::string::npos);
}

TEST_F(WordFilterServer, BannerAndSecondCopy) {
    server_.start({"-w", "-s=127.0.0.1:3128", "-c=euc-jp", "-m=0"});
    const std::string log = server_.log();
    EXPECT_NE(log.find("] ORQCWFS (2.06)\n"), std::string::npos) << log;
    EXPECT_NE(log.find("] Loging:  yes\n"), std::string::npos);
    EXPECT_NE(log.find("/VELQOR/cwf.db\n"), std::string::npos);
    EXPECT_NE(log.find("] PICS Label use: no\n"), std::string::npos);
    EXPECT_NE(log.find("/VELQOR/kidssearch.ini\n"), std::string::npos);
    EXPECT_NE(log.find("] Query Proxy: 127.0.0.1:3128\n"), std::string::npos);

    testsupport::Process second(server_.argv({}), server_.processOptions());
    EXPECT_EQ(second.wait(std::chrono::seconds(10)), 0);
    EXPECT_EQ(second.out(), "");

    // -m=0 falls back to the default buffer; -c names the charset of pages
    // that name none.
    const std::string euc = cwfstest::Iconv(kPageUtf8, "UTF-8", "EUC-JP");
    std::string reply;
    EXPECT_EQ(server_.ask(Request(server_.storeResponse("euc", Head("text/html"), euc), "h/a.gif"), reply), 0);
    EXPECT_EQ(reply, "Keyword=" + Sjis("*アダルト*"));
    // -w: the same lines go to the day's file.
    std::string dayFile;
    for (const auto& entry : std::filesystem::directory_iterator(server_.dataFolder() + "cwfenglog"))
        dayFile = testsupport::ReadFile(entry.path().string());
    EXPECT_NE(dayFile.find("] Start Tavrisk Contents Word Filter Server\n"), std::string::npos) << dayFile;
    EXPECT_NE(dayFile.find("[Query_KeywordLists] Hit."), std::string::npos) << dayFile;
}

}  // namespace
