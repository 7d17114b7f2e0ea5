// The kids-safe site check of orqcwfs against a fake portal on loopback.
#include <gtest/gtest.h>

#include <chrono>

#include "cwfs_fixture.h"
#include "platform/codepage/codepage.h"

namespace {

using cwfstest::CwfsServer;
using cwfstest::FakeHttp;

std::string Sjis(const char* utf8) { return platform::Utf8ToCp932(utf8); }

const char kUserAgent[] = "User-Agent: Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0)\r\n";

// A record as the control panel writes it: comment, record line with "%%"
// for each "%" of the URL, patterns, empty lines up to seven lines.
std::string KidsIni(const std::string& entries) {
    return Sjis("'[R12]\r\nR12フィルタ,http://kids.example/search/search.php?MT=http%%3A%%2F%%2F%s\r\n") + entries;
}

class KidsFilter : public ::testing::Test {
protected:
    std::string page(const std::string& name) {
        return server_.storeResponse(name, "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n\r\n", "<html>ok</html>");
    }
    std::string ask(const std::string& url) {
        std::string reply = "unset";
        EXPECT_EQ(server_.ask(page("p") + "?http-block/127.0.0.1.db*" + url, reply), 0) << url;
        return reply;
    }
    void answerWith(const std::string& body) {
        testsupport::WriteFile(answerDir_ / "answer.html", body);
        portal_ = std::make_unique<FakeHttp>("answer", answerDir_ / "answer.html");
    }
    void startThroughPortal() { server_.start({"-s=127.0.0.1:" + std::to_string(portal_->port())}); }

    CwfsServer server_;
    testsupport::TempDir answerDir_;
    std::unique_ptr<FakeHttp> portal_;
};

TEST_F(KidsFilter, PortalAnswerNotFoundBlocksWithTheRecordName) {
    server_.writeData("kidssearch.ini", KidsIni("1,*not found*\r\n\r\n\r\n\r\n\r\n"));
    answerWith("<html><body>Sorry, the site was not found in our directory.</body></html>");
    startThroughPortal();

    EXPECT_EQ(ask("host.example/a/b.html"), "KIDS-FILTER=" + Sjis("R12フィルタ"));
    EXPECT_EQ(portal_->requests(),
              "GET http://kids.example/search/search.php?MT=http%3A%2F%2Fhost.example%2Fa%2Fb.html HTTP/1.1\r\n"
              "Host: kids.example\r\n" +
                  std::string(kUserAgent) + "Connection: close\r\n\r\n----\n");
    const std::string log = server_.log();
    EXPECT_NE(log.find("[Query_KIDS_SEARCH_SITE] GetRemoteData() http://kids.example/search/search.php?MT="
                       "http%3A%2F%2Fhost.example%2Fa%2Fb.html\n"),
              std::string::npos);
    EXPECT_NE(log.find("[Query_KIDS_SEARCH_SITE] GetRemoteData() blocked.(1)\n"), std::string::npos);
    EXPECT_NE(log.find("[Query_KIDS_FILTER_SITE] Hit. KIDS_FILTER (" + Sjis("R12フィルタ") + ")\n"), std::string::npos);
}

TEST_F(KidsFilter, PagesThatNeedNoCheckCauseNoFetch) {
    server_.writeData("kidssearch.ini", KidsIni("1,*not found*\r\n"));
    answerWith("not found");
    startThroughPortal();
    for (const char* url : {"host.example/img/a.gif", "host.example/a.cgi?x=1", "city.example.go.jp/"})
        EXPECT_EQ(ask(url), "") << url;
    EXPECT_EQ(portal_->requests(), "");
}

TEST_F(KidsFilter, AMissingWordIsJudgedOnTheWholeAnswer) {
    // The word the flag-0 entry needs comes well after the first read.
    server_.writeData("kidssearch.ini", KidsIni("0,*safe site*\r\n1,*not found*\r\n"));
    answerWith("<html>" + std::string(40000, ' ') + "a safe site</html>");
    startThroughPortal();
    // The portal keeps its connection open: the answer ends at its length,
    // not when the fetch runs out of time.
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(ask("host.example/"), "");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
    EXPECT_NE(server_.log().find("GetRemoteData() passed.(0)\n"), std::string::npos);
}

TEST_F(KidsFilter, EntryPatternsTakeThePageAndLineEnds) {
    server_.writeData("kidssearch.ini", KidsIni("1,*href=\"http://%s\"*\\r\\n*\r\n"));
    answerWith("<a href=\"http://host.example/x.html\">\r\n</a>");
    startThroughPortal();
    EXPECT_EQ(ask("host.example/x.html"), "KIDS-FILTER=" + Sjis("R12フィルタ"));
    EXPECT_EQ(ask("host.example/y.html"), "");
}

TEST_F(KidsFilter, RuleSetFileAndPortalReachedDirectly) {
    answerWith("not found");
    // Without -s the record's own host (a name) and port are used.
    server_.writeData("http-block/127.0.0.1.db.kidssearch.ini",
                      "set,http://localhost:" + std::to_string(portal_->port()) + "/q?u=%s\r\n1,*not found*\r\n");
    server_.start();
    EXPECT_EQ(ask("host.example/"), "KIDS-FILTER=set");
    EXPECT_EQ(portal_->requests(), "GET /q?u=host.example%2F HTTP/1.1\r\nHost: localhost:" +
                                       std::to_string(portal_->port()) + "\r\n" + kUserAgent +
                                       "Connection: close\r\n\r\n----\n");
}

TEST_F(KidsFilter, QueryProxyGivenAsIpv6Address) {
    server_.writeData("kidssearch.ini", KidsIni("1,*not found*\r\n"));
    testsupport::WriteFile(answerDir_ / "answer.html", "not found");
    portal_ = std::make_unique<FakeHttp>("answer", answerDir_ / "answer.html", "::1");
    server_.start({"-s=[::1]:" + std::to_string(portal_->port())});
    EXPECT_EQ(ask("host.example/"), "KIDS-FILTER=" + Sjis("R12フィルタ"));
    EXPECT_EQ(portal_->requests().rfind("GET http://kids.example/search/search.php?MT=http%3A%2F%2Fhost.example%2F "
                                        "HTTP/1.1\r\nHost: kids.example\r\n",
                                        0),
              0u);
}

TEST_F(KidsFilter, SilentPortalPassesAfterTheBound) {
    server_.writeData("kidssearch.ini", KidsIni("1,*not found*\r\n"));
    portal_ = std::make_unique<FakeHttp>("silent");
    startThroughPortal();
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(ask("host.example/"), "");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
    EXPECT_NE(server_.log().find("GetRemoteData() passed.(0)\n"), std::string::npos);
}

}  // namespace
