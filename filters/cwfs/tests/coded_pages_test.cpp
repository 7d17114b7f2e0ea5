// Pages as servers send them today, through orqhprx + orqcwfs and through
// Debian's e2guardian with the same keywords, from the same origin: a page
// that names its charset only in its head, chunked framing, gzip and
// deflate bodies, a keyword across the end of the filter's buffer, a NUL
// byte in front of a keyword. Both proxies must block and pass the same
// pages.
#include <gtest/gtest.h>
#include <signal.h>
#include <zlib.h>

#include <cstdlib>

#include "cwfs_fixture.h"
#include "engine_process.h"
#include "platform/codepage/codepage.h"

namespace {

std::string Sjis(const char* utf8) { return platform::Utf8ToCp932(utf8); }

// zlib's output: windowBits 31 a gzip file, 15 a zlib stream.
std::string Compressed(const std::string& data, int windowBits) {
    z_stream stream{};
    EXPECT_EQ(deflateInit2(&stream, 6, Z_DEFLATED, windowBits, 8, Z_DEFAULT_STRATEGY), Z_OK);
    std::string out(deflateBound(&stream, data.size()) + 32, '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    stream.avail_in = static_cast<uInt>(data.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    EXPECT_EQ(deflate(&stream, Z_FINISH), Z_STREAM_END);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return out;
}

std::string Response(const std::string& headers, const std::string& body) {
    return "HTTP/1.1 200 OK\r\n" + headers + "Content-Length: " + std::to_string(body.size()) +
           "\r\nConnection: close\r\n\r\n" + body;
}

// The body cut into chunks at the given places.
std::string Chunked(const std::string& body, std::vector<size_t> cuts) {
    cuts.push_back(body.size());
    std::string out;
    size_t from = 0;
    char size[32];
    for (size_t cut : cuts) {
        std::snprintf(size, sizeof size, "%zx\r\n", cut - from);
        out += size + body.substr(from, cut - from) + "\r\n";
        from = cut;
    }
    return out + "0\r\n\r\n";
}

struct Page {
    const char* name;
    std::string response;  // as the origin sends it
    std::string body;      // what the browser reads
    bool blocked;
    // e2guardian takes its phrases as UTF-8 (an EUC-JP one is never found)
    // and decodes gzip bodies only: those pages are not compared with it.
    bool e2guardianToo = true;
};

std::vector<Page> Pages() {
    const std::string utf8Page = "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>お知らせ</title></head>"
                                 "<body>アダルトサイトのご案内</body></html>\n";
    const std::string eucPage = cwfstest::Iconv(
        "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=EUC-JP\">"
        "<title>お知らせ</title></head><body>アダルトサイトのご案内</body></html>\n",
        "UTF-8", "EUC-JP");
    const std::string cleanUtf8 = "<html><head><meta charset=\"UTF-8\"></head><body>天気予報のページです。</body></html>\n";
    const std::string casino = "<html><head><title>games</title></head><body>play casino games online</body></html>\n";
    const std::string clean = "<html><head><title>news</title></head><body>the weather is fine today</body></html>\n";
    const size_t at = casino.find("casino") + 3;
    // The filter reads 300 KiB less one byte at a time.
    const size_t bufferEnd = 300 * 1024 - 1;
    const std::string straddling = "<html><body>" + std::string(bufferEnd - 12 - 3, 'a') + " casino " +
                                   std::string(1000, 'b') + "</body></html>\n";
    const std::string afterNul = std::string("<html><body>\0", 13) + "play casino games</body></html>\n";
    const std::string html = "Content-Type: text/html\r\n";
    return {
        {"meta-utf8.html", Response(html, utf8Page), utf8Page, true},
        {"meta-eucjp.html", Response(html, eucPage), eucPage, true, false},
        {"meta-clean.html", Response(html, cleanUtf8), cleanUtf8, false},
        {"chunked.html",
         "HTTP/1.1 200 OK\r\n" + html + "Transfer-Encoding: chunked\r\n\r\n" + Chunked(casino, {at}), casino, true},
        {"chunked-clean.html",
         "HTTP/1.1 200 OK\r\n" + html + "Transfer-Encoding: chunked\r\n\r\n" + Chunked(clean, {20, 40}), clean, false},
        {"gzip.html", Response(html + "Content-Encoding: gzip\r\n", Compressed(casino, 31)), casino, true},
        {"gzip-clean.html", Response(html + "Content-Encoding: gzip\r\n", Compressed(clean, 31)), clean, false},
        {"deflate.html", Response(html + "Content-Encoding: deflate\r\n", Compressed(casino, 15)), casino, true, false},
        {"gzip-chunked.html",
         "HTTP/1.1 200 OK\r\n" + html + "Content-Encoding: gzip\r\nTransfer-Encoding: chunked\r\n\r\n" +
             Chunked(Compressed(casino, 31), {10, 30}),
         casino, true},
        {"buffer-end.html", Response(html, straddling), straddling, true},
        {"nul.html", Response(html, afterNul), afterNul, true},
    };
}

TEST(WordFilterBesideE2guardian, CodedPagesAreJudgedByWhatTheBrowserReads) {
    testsupport::TempDir site;
    const std::vector<Page> pages = Pages();
    for (const Page& page : pages) testsupport::WriteFile(site / page.name, page.response);
    cwfstest::FakeHttp origin("raw", site.path());
    const std::string base = "http://127.0.0.1:" + std::to_string(origin.port()) + "/";

    cwfstest::CwfsServer filter;
    const int enginePort = testsupport::FreeTcpPort();
    listenertest::EngineOptions options;
    options.env["VELQOR_PIPE_DIR"] = filter.pipeFolder();
    listenertest::EngineProcess engine("127.0.0.1 " + std::to_string(enginePort) + "=\r\n", options);
    ASSERT_TRUE(testsupport::WaitForTcpPort(enginePort)) << engine.log();
    filter.useDataFolderOf(engine.dataFolder());
    filter.writeData("cwf.db", Sjis("*アダルト*\r\n*casino*\r\n"));
    filter.start();

    // e2guardian matches the bytes of the page: it gets each keyword in
    // each encoding the pages use.
    const bool haveE2guardian = testsupport::RunCommand("command -v e2guardian").exitCode == 0;
    testsupport::TempDir e2gDir;
    std::unique_ptr<testsupport::Process> e2guardian;
    const int e2gPort = testsupport::FreeTcpPort();
    if (haveE2guardian) {
        testsupport::WriteFile(e2gDir / "phrases", "<casino>\n<アダルト>\n<" +
                                                       cwfstest::Iconv("アダルト", "UTF-8", "EUC-JP") + ">\n");
        e2guardian = std::make_unique<testsupport::Process>(
            std::vector<std::string>{"/bin/bash", testsupport::SourcePath("filters/cwfs/tests/e2guardian_here.sh"),
                                     e2gDir.path(), std::to_string(e2gPort), e2gDir / "phrases"},
            testsupport::Process::Options{});
        ASSERT_TRUE(testsupport::WaitForTcpPort(e2gPort, std::chrono::seconds(20))) << e2guardian->err();
    }

    // curl decodes what it is sent, as a browser does; a page is blocked
    // when the proxy did not hand it over as it was.
    auto blockedBy = [&](int proxyPort, const Page& page) {
        testsupport::TempDir out;
        const auto r = testsupport::RunCommand("curl -sS --compressed --max-time 30 -o " + out / "body" +
                                               " -x http://127.0.0.1:" + std::to_string(proxyPort) + " " + base +
                                               page.name);
        EXPECT_EQ(r.exitCode, 0) << page.name << ": " << r.output;
        return testsupport::ReadFile(out / "body") != page.body;
    };
    for (const Page& page : pages) {
        EXPECT_EQ(blockedBy(enginePort, page), page.blocked) << "orqhprx + orqcwfs: " << page.name;
        if (e2guardian && page.e2guardianToo) {
            EXPECT_EQ(blockedBy(e2gPort, page), page.blocked) << "e2guardian: " << page.name;
        }
    }
    EXPECT_NE(filter.log().find("CharSet=euc-jp"), std::string::npos) << filter.log();
    if (e2guardian) {
        // e2guardian may go on in a process of its own: its pid file names it.
        const std::string pid = testsupport::ReadFile(e2gDir / "e2g/e2guardian.pid");
        e2guardian->terminate();
        e2guardian->wait(std::chrono::seconds(10));
        const pid_t child = static_cast<pid_t>(std::atoi(pid.c_str()));
        if (child > 1) {
            ::kill(child, SIGTERM);
            EXPECT_TRUE(testsupport::WaitUntil([&] { return ::kill(child, 0) != 0; }, std::chrono::seconds(10)));
        }
    } else {
        GTEST_SKIP() << "e2guardian is not installed (scripts/deps.sh --tests): orqhprx + orqcwfs judged alone";
    }
}

}  // namespace
