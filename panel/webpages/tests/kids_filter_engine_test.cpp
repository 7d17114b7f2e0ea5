// The kids filter record the HTTP detail page writes, used by the real
// content word filter behind the real engine: orqcwfs asks the portal
// (through the cwfsproxy it is given) about the page, and the portal's
// "nothing found" answer gives curl the engine's block page.
#include <gtest/gtest.h>

#include <QComboBox>

#include "cwfs_fixture.h"
#include "engine_process.h"
#include "panel/framework/look.h"
#include "panel/framework/registry_ops.h"
#include "panel/webpages/http_detail_page.h"
#include "platform/codepage/codepage.h"
#include "web_page_test.h"

namespace {

using namespace panel;

using KidsFilterEngineTest = webtest::WebPageTest;

TEST_F(KidsFilterEngineTest, PresetRecordBlocksAPageThePortalDoesNotKnow) {
    RegWriteDword(kProductSettingsKey, "pics_use", 1);
    auto page = Open<Chttpdlg>();
    auto* preset = Control<QComboBox>(page.get(), kRatingPresetCombo);
    preset->setCurrentIndex(4);  // "簡易制限（小学生以下）"
    emit preset->activated(4);
    ASSERT_TRUE(page->SaveSettings());
    const std::string record = testsupport::ReadFile(dataFolder() + "kidssearch.ini");

    cwfstest::CwfsServer filter;
    testsupport::TempDir files;
    testsupport::WriteFile(files / "answer.html", "<html><body><div id=\"rslt-zero\">0</div></body></html>");
    cwfstest::FakeHttp portal("answer", files / "answer.html");
    testsupport::MakeDirs(files / "pages");
    testsupport::WriteFile(files / "pages/index.html", "<html><body>a page for everyone</body></html>\n");
    testsupport::WriteFile(files / "pages/index.html.type", "text/html");
    cwfstest::FakeHttp origin("pages", files / "pages");

    const int port = testsupport::FreeTcpPort();
    listenertest::EngineOptions options;
    options.env["VELQOR_PIPE_DIR"] = filter.pipeFolder();
    listenertest::EngineProcess engine("127.0.0.1 " + std::to_string(port) + "=\r\n", options);
    ASSERT_TRUE(testsupport::WaitForTcpPort(port)) << engine.log();
    // The filter reads the engine's stored responses from the data root they share.
    filter.useDataFolderOf(engine.dataFolder());
    filter.writeData("kidssearch.ini", record);
    filter.start({"-s=127.0.0.1:" + std::to_string(portal.port())});

    const std::string url = "http://127.0.0.1:" + std::to_string(origin.port()) + "/index.html";
    auto blocked = testsupport::RunCommand("/usr/bin/curl -sS --max-time 30 -x http://127.0.0.1:" +
                                           std::to_string(port) + " " + url);
    ASSERT_EQ(blocked.exitCode, 0) << blocked.output;
    EXPECT_NE(blocked.output.find("KIDS-FILTER=" + platform::Utf8ToCp932("R12フィルタ")), std::string::npos)
        << blocked.output << engine.log() << filter.log();
    EXPECT_EQ(blocked.output.find("a page for everyone"), std::string::npos);
    // The portal was asked for the page with the URL's "://" escaped.
    EXPECT_NE(portal.requests().find("GET http://kids-search.example.jp/search/search.php?MT=http%3A%2F%2F127.0.0.1"),
              std::string::npos)
        << portal.requests();
}

}  // namespace
