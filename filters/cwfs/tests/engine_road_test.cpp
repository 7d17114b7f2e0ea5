// The engine's word-filter hand-off meets orqcwfs: pages fetched with curl
// through orqhprx are judged by the filter, and a hit becomes the engine's
// word page.
#include <gtest/gtest.h>

#include "cwfs_fixture.h"
#include "engine_process.h"
#include "platform/codepage/codepage.h"

namespace {

std::string Sjis(const char* utf8) { return platform::Utf8ToCp932(utf8); }

const char kPageUtf8[] = "<html><head><title>テスト</title></head>\n<body>これはアダルトサイトの案内です。</body></html>\n";
const char kCleanUtf8[] = "<html><head><title>テスト</title></head>\n<body>天気予報のページです。</body></html>\n";

TEST(WordFilterThroughEngine, PagesInEveryJapaneseCharsetAreBlockedByTheSameKeyword) {
    cwfstest::CwfsServer filter;

    // One UTF-8 source made into each charset by iconv, each page served
    // with its own Content-Type.
    testsupport::TempDir pages;
    const std::pair<const char*, const char*> charsets[] = {
        {"SHIFT_JIS", "Shift_JIS"}, {"EUC-JP", "EUC-JP"}, {"ISO-2022-JP", "ISO-2022-JP"}, {"UTF-8", "UTF-8"}};
    for (auto [iconvName, label] : charsets) {
        for (auto [kind, source] : {std::pair{"hit", kPageUtf8}, {"clean", kCleanUtf8}}) {
            const std::string name = std::string(kind) + "-" + label + ".html";
            testsupport::WriteFile(pages / name, cwfstest::Iconv(source, "UTF-8", iconvName));
            testsupport::WriteFile(pages / (name + ".type"), std::string("text/html; charset=") + label);
        }
    }
    cwfstest::FakeHttp origin("pages", pages.path());

    const int port = testsupport::FreeTcpPort();
    listenertest::EngineOptions options;
    options.env["VELQOR_PIPE_DIR"] = filter.pipeFolder();
    listenertest::EngineProcess engine("127.0.0.1 " + std::to_string(port) + "=\r\n", options);
    ASSERT_TRUE(testsupport::WaitForTcpPort(port)) << engine.log();
    // The filter reads the engine's stored responses from the cache of the
    // data root they share.
    filter.useDataFolderOf(engine.dataFolder());
    filter.writeData("cwf.db", Sjis("' 禁止ワード一覧\r\n*アダルト*\r\n"));
    filter.start();

    const std::string keyword = "Keyword=" + Sjis("*アダルト*");
    for (auto [iconvName, label] : charsets) {
        SCOPED_TRACE(label);
        const std::string base = "http://127.0.0.1:" + std::to_string(origin.port()) + "/";
        const auto blocked = testsupport::RunCommand("curl -sS --max-time 20 -x http://127.0.0.1:" +
                                                     std::to_string(port) + " " + base + "hit-" + label + ".html");
        EXPECT_EQ(blocked.exitCode, 0) << blocked.output;
        EXPECT_NE(blocked.output.find(keyword), std::string::npos) << blocked.output;
        EXPECT_EQ(blocked.output.find(cwfstest::Iconv(kPageUtf8, "UTF-8", iconvName)), std::string::npos);

        const auto passed = testsupport::RunCommand("curl -sS --max-time 20 -x http://127.0.0.1:" +
                                                    std::to_string(port) + " " + base + "clean-" + label + ".html");
        EXPECT_EQ(passed.exitCode, 0) << passed.output;
        EXPECT_EQ(passed.output, cwfstest::Iconv(kCleanUtf8, "UTF-8", iconvName));
    }
    EXPECT_EQ(engine.count("[ScanHttpFile]"), 8) << engine.log();
    EXPECT_NE(filter.log().find("CharSet=iso-2022-jp Data=" + engine.dataFolder() + "cache/"), std::string::npos)
        << filter.log();
}

}  // namespace
