// The on-demand scan window against the stand-in scan server: findings at
// any depth and inside an archive, what is never sent, the list commands,
// the scan log, and a scan server that goes away mid-scan.
#include "panel/app/on_demand_dlg.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QClipboard>
#include <QTreeWidget>
#include <chrono>

#include "engine/tests/avstub/avstub.h"
#include "panel/framework/strings.h"
#include "panel_test_support.h"
#include "platform/codepage/codepage.h"

namespace {

using namespace panel;

// A zip archive of one stored member.
std::string StoredZip(const std::string& name, const std::string& data) {
    auto le = [](uint32_t v, int n) {
        std::string s;
        for (int i = 0; i < n; ++i) s += static_cast<char>((v >> (8 * i)) & 0xFF);
        return s;
    };
    return "PK\x03\x04" + le(10, 2) + le(0, 2) + le(0, 2) + le(0, 4) + le(0, 4) + le(data.size(), 4) +
           le(data.size(), 4) + le(name.size(), 2) + le(0, 2) + name + data;
}

class OnDemandTest : public paneltest::PanelTest {
protected:
    void SetUp() override {
        PanelTest::SetUp();
        testsupport::MakeDirs(dataFolder());
        tree_ = dir_ / "tree";
        testsupport::MakeDirs(tree_ + "/x/y");
        testsupport::MakeDirs(tree_ + "/日本語");
        testsupport::WriteFile(tree_ + "/a.com", avstub::kEicarTestString);
        testsupport::WriteFile(tree_ + "/x/y/b.com", avstub::kEicarTestString);
        testsupport::WriteFile(tree_ + "/z.zip", StoredZip("inner/e.com", avstub::kEicarTestString));
        testsupport::WriteFile(tree_ + "/日本語/clean.txt", "clean");
        ASSERT_EQ(::mkfifo((tree_ + "/fifo").c_str(), 0600), 0);
        ASSERT_EQ(::symlink(tree_.c_str(), (tree_ + "/x/loop").c_str()), 0);
    }
    void TearDown() override { StopScanThreads(); }
    std::unique_ptr<testsupport::Process> StartStub(int delayMs = 0) {
        avstub::Options o;
        o.pipeDir = pipeDir();
        o.logFile = dir_ / "requests.log";
        o.report = true;
        o.delayMs = delayMs;
        return avstub::Start(o);
    }
    // Runs the window on `target` until its scan has ended.
    void Scan(COnDemandDlg& window, const std::string& target) {
        window.target = target;
        window.OnInitDialog();
        auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (!window.ScanFinished() && std::chrono::steady_clock::now() < end) {
            QApplication::processEvents(QEventLoop::AllEvents, 50);
            usleep(10000);
        }
        ASSERT_TRUE(window.ScanFinished());
        QApplication::processEvents();
    }
    std::vector<std::string> Rows(QTreeWidget* list) {
        std::vector<std::string> rows;
        for (int i = 0; i < list->topLevelItemCount(); ++i)
            rows.push_back(list->topLevelItem(i)->text(0).toStdString() + " " +
                           list->topLevelItem(i)->text(1).toStdString());
        std::sort(rows.begin(), rows.end());
        return rows;
    }
    std::string tree_;
};

TEST_F(OnDemandTest, FindingsAtAnyDepthAndInsideAnArchiveAreListedAndLogged) {
    auto stub = StartStub();
    COnDemandDlg window;
    Scan(window, tree_ + "/");
    EXPECT_EQ(Rows(window.list()), (std::vector<std::string>{
                                        "EICAR-Test-File " + tree_ + "/a.com",
                                        "EICAR-Test-File " + tree_ + "/x/y/b.com",
                                        "EICAR-Test-File " + tree_ + "/z.zip/inner/e.com",
                                    }));
    EXPECT_TRUE(window.statusText().contains(QString::fromUtf8("ウィルスが、3件発見されました。")))
        << window.statusText().toStdString();
    EXPECT_TRUE(window.statusText().contains(QString::fromUtf8("スキャン総数 4件")));
    // The FIFO and the link were never sent; every request is path + TAB.
    const std::string requests = testsupport::ReadFile(dir_ / "requests.log");
    EXPECT_EQ(requests.find("fifo"), std::string::npos);
    EXPECT_EQ(requests.find("loop"), std::string::npos);
    EXPECT_NE(requests.find("512\tTAB\t" + tree_ + "/日本語/clean.txt\n"), std::string::npos) << requests;

    const std::string log = testsupport::ReadFile(dataFolder() + "scanresult.log");
    EXPECT_NE(log.find("] [Start Virus scanning...]\r\n"), std::string::npos);
    EXPECT_NE(log.find(tree_ + "/a.com\tEICAR-Test-File\r\n"), std::string::npos) << log;
    EXPECT_NE(log.find(tree_ + "/z.zip/inner/e.com\tEICAR-Test-File\r\n"), std::string::npos);

    // Copy of the three rows: three lines.
    window.list()->selectAll();
    window.OnCopy();
    EXPECT_EQ(QApplication::clipboard()->text().count(QStringLiteral("\r\n")), 3);

    // Deleting the member row deletes its archive.
    window.list()->clearSelection();
    for (int i = 0; i < window.list()->topLevelItemCount(); ++i)
        if (window.list()->topLevelItem(i)->text(1).endsWith(QStringLiteral("inner/e.com")))
            window.list()->topLevelItem(i)->setSelected(true);
    window.OnDelete();
    EXPECT_FALSE(testsupport::FileExists(tree_ + "/z.zip"));
    EXPECT_EQ(window.list()->topLevelItemCount(), 2);

    // Sorting the path column: descending first, then ascending.
    window.SortByColumn(1);
    EXPECT_EQ(window.list()->topLevelItem(0)->text(1).toStdString(), tree_ + "/x/y/b.com");
    window.SortByColumn(1);
    EXPECT_EQ(window.list()->topLevelItem(0)->text(1).toStdString(), tree_ + "/a.com");

    // Moving keeps the file whole in its new place.
    testsupport::MakeDirs(dir_ / "quarantine");
    window.list()->clearSelection();
    window.list()->topLevelItem(0)->setSelected(true);
    window.OnMove(QString::fromStdString(dir_ / "quarantine"));
    EXPECT_EQ(testsupport::ReadFile(dir_ / "quarantine/a.com"), avstub::kEicarTestString);
    EXPECT_FALSE(testsupport::FileExists(tree_ + "/a.com"));
    EXPECT_EQ(window.list()->topLevelItemCount(), 1);
}

TEST_F(OnDemandTest, AGivenTargetIsOnePathEvenWithACommaAndASingleFileCountsOne) {
    auto stub = StartStub();
    const std::string odd = dir_ / "a,b;c.com";
    testsupport::WriteFile(odd, avstub::kEicarTestString);
    COnDemandDlg window;
    Scan(window, odd);
    EXPECT_EQ(Rows(window.list()), (std::vector<std::string>{"EICAR-Test-File " + odd}));
    EXPECT_TRUE(window.statusText().contains(QString::fromUtf8("スキャン総数 1件")));
}

TEST_F(OnDemandTest, AScanServerThatGoesAwayEndsTheScanWithoutAVerdict) {
    for (int i = 0; i < 40; ++i) testsupport::WriteFile(tree_ + "/x/clean" + std::to_string(i), "clean");
    auto stub = StartStub(100);
    COnDemandDlg window;
    window.target = tree_ + "/";
    window.OnInitDialog();
    ASSERT_TRUE(testsupport::WaitUntil([&] {
        QApplication::processEvents();
        return testsupport::FileExists(dir_ / "requests.log");
    }));
    stub->terminate(9);
    stub->wait();
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(90);
    while (!window.ScanFinished() && std::chrono::steady_clock::now() < end) {
        QApplication::processEvents(QEventLoop::AllEvents, 50);
        usleep(10000);
    }
    ASSERT_TRUE(window.ScanFinished());
    QApplication::processEvents();
    EXPECT_EQ(window.statusText(), LoadString(178));
    EXPECT_FALSE(window.statusText().contains(QString::fromUtf8("ウィルスは発見されませんでした。")));
    const std::string log = platform::Cp932ToUtf8(testsupport::ReadFile(dataFolder() + "scanresult.log"));
    EXPECT_NE(log.find(LoadString(178).toStdString().substr(0, 20)), std::string::npos);
}

}  // namespace
