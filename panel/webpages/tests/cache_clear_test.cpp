// The cache buttons: the engine's cache folders emptied of files and links,
// sub-folders and link targets left, the indicator's steps and the closing
// message.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QProgressBar>
#include <QPushButton>

#include "panel/framework/indicator_dlg.h"
#include "panel/framework/look.h"
#include "panel/framework/registry_ops.h"
#include "panel/webpages/cache_clear.h"
#include "panel/webpages/option_pages.h"
#include "qt_test_support.h"
#include "web_page_test.h"

namespace {

using namespace panel;

class CacheClearTest : public webtest::WebPageTest {
protected:
    void SetUp() override {
        WebPageTest::SetUp();
        testsupport::MakeDirs(dataFolder() + "httpcache");
        testsupport::MakeDirs(dataFolder() + "ftpcache");
    }
    int Entries(const std::string& folder) {
        auto result = testsupport::RunCommand("ls -A '" + dataFolder() + folder + "' | wc -l");
        return std::atoi(result.output.c_str());
    }
};

TEST_F(CacheClearTest, SocksButtonEmptiesBothFoldersStepByStep) {
    for (const char* name : {"a.dat", "b.dat", "c.dat"}) testsupport::WriteFile(dataFolder() + "httpcache/" + name, "x");
    for (const char* name : {"d.dat", "e.dat"}) testsupport::WriteFile(dataFolder() + "ftpcache/" + name, "x");
    paneltest::BoxAnswerer boxes;
    std::vector<int> positions;
    int range = -1;
    QString text;
    ClearCacheFolder(CacheKind::Socks, [&](const IndicatorDlg& indicator) {
        range = indicator.progress()->maximum();
        positions.push_back(indicator.progress()->value());
        text = indicator.text;
    });
    EXPECT_EQ(range, 5);
    EXPECT_EQ(positions, (std::vector<int>{1, 2, 3, 4, 5}));
    EXPECT_EQ(text, QString::fromUtf8("SOCKSキャッシュクリア中...."));
    EXPECT_EQ(boxes.texts, std::vector<std::string>{"SOCKSキャッシュクリアしました。"});
    EXPECT_EQ(boxes.icons, std::vector<QMessageBox::Icon>{QMessageBox::Information});
    EXPECT_EQ(Entries("httpcache"), 0);
    EXPECT_EQ(Entries("ftpcache"), 0);
}

// The HTTP cache page's button: files and links go, a sub-folder and the
// target of a link stay; the FTP cache is not touched.
TEST_F(CacheClearTest, HttpButtonDeletesLinksNotTheirTargets) {
    testsupport::TempDir outside;
    std::string target = outside / "precious";
    testsupport::WriteFile(target, "keep");
    testsupport::WriteFile(dataFolder() + "httpcache/1.dat", "x");
    testsupport::MakeDirs(dataFolder() + "httpcache/sub");
    testsupport::WriteFile(dataFolder() + "httpcache/sub/inner.dat", "x");
    ASSERT_EQ(::symlink(target.c_str(), (dataFolder() + "httpcache/link.dat").c_str()), 0);
    ASSERT_EQ(::symlink(outside.path().c_str(), (dataFolder() + "httpcache/dirlink").c_str()), 0);
    testsupport::WriteFile(dataFolder() + "ftpcache/f.dat", "x");

    auto page = Open<Chttp01dlg>();
    paneltest::BoxAnswerer boxes;
    Click(page.get(), kHttpCacheClearButton);
    EXPECT_EQ(boxes.texts, std::vector<std::string>{"HTTPキャッシュクリアしました。"});
    EXPECT_EQ(Entries("httpcache"), 1);  // the sub-folder
    EXPECT_TRUE(testsupport::FileExists(dataFolder() + "httpcache/sub/inner.dat"));
    EXPECT_EQ(testsupport::ReadFile(target), "keep");
    EXPECT_TRUE(testsupport::FileExists(outside.path()));
    EXPECT_EQ(Entries("ftpcache"), 1);
}

TEST_F(CacheClearTest, MissingFolderStillTellsTheEnd) {
    testsupport::RunCommand("rm -rf '" + dataFolder() + "ftpcache'");
    paneltest::BoxAnswerer boxes;
    int steps = 0;
    ClearCacheFolder(CacheKind::Ftp, [&](const IndicatorDlg&) { ++steps; });
    EXPECT_EQ(steps, 0);
    EXPECT_EQ(boxes.texts, std::vector<std::string>{"FTPキャッシュクリアしました。"});
}

}  // namespace
