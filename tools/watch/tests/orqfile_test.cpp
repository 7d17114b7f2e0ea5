// orqfile end to end: real files made by cp, echo and mv in watched
// trees, the stand-in scan server and the stand-in alert receiver.
#include <signal.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "common/folder_white_list.h"
#include "watch_fixture.h"

namespace {

using namespace std::chrono_literals;

class OrqfileTest : public watchtest::WatcherFixture {
protected:
    std::string a() const { return t("a"); }
    std::string b() const { return t("b"); }
    std::string dataFolder() const { return dataRoot_ + "/VELQOR/"; }

    void StartOrqfile() {
        orqfile_ = StartWatcher("orqfile", {"-d=" + a() + ";" + b(), "-e=WATCH_ROOT", "-w"},
                                {{"WATCH_ROOT", dataRoot_}}, launcher_);
        bool watching = testsupport::WaitUntil([&] {
            std::string out = orqfile_->out();
            return (out.find("WatchFolderThread(" + a() + "/) watching") != std::string::npos &&
                    out.find("WatchFolderThread(" + b() + "/) watching") != std::string::npos) ||
                   !orqfile_->running();
        });
        ASSERT_TRUE(watching && orqfile_->running()) << orqfile_->out();
    }
    void WaitForAlert(const std::string& path, std::chrono::seconds limit = 60s) {
        ASSERT_TRUE(testsupport::WaitUntil([&] { return Alerted(EicarAlert(path)); }, limit))
            << path << "\n" << testsupport::ReadFile(scanLog()) << orqfile_->out().substr(0, 20000);
    }

    std::string dataRoot_ = t("data");
    std::vector<std::string> launcher_;  // words before the watcher's command line
    std::unique_ptr<testsupport::Process> orqfile_;
};

// Every way a file arrives gives one alert; what leaves or is left out
// gives none. The data root lies inside a watched tree, so the watcher's
// own log would feed itself back if it were watched.
TEST_F(OrqfileTest, EachArrivalAlertsOnceAndTheRestNever) {
    dataRoot_ = a() + "/data";
    for (const char* folder : {"a/white", "b", "src/dir/sub"}) testsupport::MakeDirs(t(folder));
    testsupport::WriteFile(a() + "/old.com", eicar_);
    testsupport::WriteFile(a() + "/del.com", eicar_);
    testsupport::WriteFile(src() + "/dir/sub/y.com", eicar_);
    testsupport::MakeDirs(dataFolder());
    ASSERT_TRUE(common::SaveFolderList(dataFolder(), a(), {a() + "/white/"}, false));
    testsupport::WriteFile(dataFolder() + "fwhiteext.db", "'.skip\r\n.SKIP\r\n");
    StartPeers();
    StartOrqfile();

    Run("cp src/eicar.src a/cp.com");
    Run("E=$(cat src/eicar.src); echo \"$E\" >> b/echo.com");
    Run("cp src/eicar.src src/mv.com && mv src/mv.com a/mv.com");
    Run("mkdir a/new && cp src/eicar.src a/new/x.com");
    Run("mv src/dir a/movedin");
    Run("mkdir b/old && mv b/old b/renamed && cp src/eicar.src b/renamed/z.com");
    Run("rm a/del.com && mv a/old.com a/renamed-new.com");
    Run("cp src/eicar.src a/white/w.com && cp src/eicar.src a/x.skip");
    Run("cp src/eicar.src b/zz-last.com");
    WaitForAlert(b() + "/zz-last.com");

    std::vector<std::string> expected;
    for (const char* name : {"a/cp.com", "b/echo.com", "a/mv.com", "a/new/x.com", "a/movedin/sub/y.com",
                             "b/renamed/z.com", "a/renamed-new.com", "b/zz-last.com"})
        expected.push_back(EicarAlert(t(name)));
    ASSERT_TRUE(testsupport::WaitUntil([&] { return Alerts().size() >= expected.size(); }));
    std::vector<std::string> alerts = Alerts();
    std::sort(alerts.begin(), alerts.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(alerts, expected);
    for (const char* name : {"a/del.com", "a/old.com", "a/white/w.com", "a/x.skip"})
        EXPECT_EQ(ScanCount(t(name)), 0u) << name;
    for (const std::string& path : Scanned()) EXPECT_EQ(path.find("/filelog/"), std::string::npos) << path;
    EXPECT_FALSE(std::filesystem::is_empty(dataFolder() + "filelog"));  // -w wrote its daily file there
    EXPECT_NE(orqfile_->out().find("ScanFilebyPipe([EICAR-Test-File] " + a() + "/cp.com) AV_ALERT"),
              std::string::npos);
}

// A file still growing is scanned once, after it stops; a file the scan
// server calls password-protected is asked about three times and passes.
TEST_F(OrqfileTest, GrowingFileOnceAfterAndProtectedFilePasses) {
    testsupport::MakeDirs(a());
    testsupport::MakeDirs(b());
    StartPeers();
    StartOrqfile();

    testsupport::WriteFile(a() + "/protected.exe", std::string("MZ ") + avstub::kPasswordProtectedMarker);
    const std::string growing = b() + "/grow.com";
    testsupport::WriteFile(growing, eicar_);
    for (int i = 0; i < 10; ++i) {
        std::this_thread::sleep_for(500ms);
        std::ofstream(growing, std::ios::app) << "more " << i << "\n";
    }
    EXPECT_EQ(ScanCount(growing), 0u);
    WaitForAlert(growing);
    ASSERT_TRUE(testsupport::WaitUntil([&] { return ScanCount(a() + "/protected.exe") >= 3; }, 30s));
    std::this_thread::sleep_for(1s);  // room for a wrong fourth request or alert
    EXPECT_EQ(ScanCount(growing), 1u);
    EXPECT_EQ(ScanCount(a() + "/protected.exe"), 3u);
    EXPECT_EQ(Alerts(), std::vector<std::string>{EicarAlert(growing)});
}

// Records lost while the watcher stood still: it says so, walks its trees
// again, and a file in a folder made meanwhile is still found.
TEST_F(OrqfileTest, LostRecordsAreLoggedAndTheTreeWalkedAgain) {
    testsupport::MakeDirs(a() + "/flood");
    testsupport::MakeDirs(b());
    testsupport::MakeDirs(dataFolder());
    testsupport::WriteFile(dataFolder() + "fwhiteext.db", ".flood\r\n");
    StartPeers();
    StartOrqfile();

    int queued = std::stoi(testsupport::ReadFile("/proc/sys/fs/inotify/max_queued_events"));
    ASSERT_EQ(::kill(orqfile_->pid(), SIGSTOP), 0);
    for (int i = 0; i < queued + 100; ++i) {
        std::ofstream(a() + "/flood/f" + std::to_string(i) + ".flood") << i;
    }
    testsupport::MakeDirs(a() + "/meanwhile");
    testsupport::WriteFile(a() + "/meanwhile/m.com", eicar_);
    ASSERT_EQ(::kill(orqfile_->pid(), SIGCONT), 0);

    WaitForAlert(a() + "/meanwhile/m.com", 90s);
    EXPECT_NE(orqfile_->out().find("change records lost (queue overflow)"), std::string::npos);
    EXPECT_EQ(ScanCount(a() + "/meanwhile/m.com"), 1u);
}

// A watched place deleted and made again holds what was put there
// meanwhile: a repository cloned in its place is scanned.
TEST_F(OrqfileTest, PlaceMadeAgainHasWhatItHoldsScanned) {
    if (testsupport::RunCommand("command -v git").exitCode != 0) GTEST_SKIP() << "git is missing";
    testsupport::MakeDirs(a());
    testsupport::MakeDirs(b());
    Run("git init -q src/repo && mkdir src/repo/tools && cp src/eicar.src src/repo/tools/infected.com && "
        "echo clean > src/repo/readme && git -C src/repo add -A && "
        "git -C src/repo -c user.name=test -c user.email=test@example.com commit -qm first");
    StartPeers();
    StartOrqfile();

    // The watcher stands still meanwhile, so the whole clone is there when
    // it looks again.
    ASSERT_EQ(::kill(orqfile_->pid(), SIGSTOP), 0);
    Run("rm -rf a && git clone -q src/repo a");
    ASSERT_EQ(::kill(orqfile_->pid(), SIGCONT), 0);
    WaitForAlert(a() + "/tools/infected.com");
    ASSERT_TRUE(testsupport::WaitUntil([&] { return ScanCount(a() + "/readme") > 0; }));
}

// Drives mounted over a watched folder and over a place itself are watched
// from then on, what they hold scanned as new; so is the folder underneath
// once the drive is unmounted, and a drive mounted there again. All in a
// mount namespace of the test's own, which the watcher and the scan server
// run in.
TEST_F(OrqfileTest, DrivesMountedOverWatchedFoldersAreWatched) {
    testsupport::MakeDirs(a() + "/usb");
    testsupport::MakeDirs(b());
    testsupport::MakeDirs(t("stage"));
    auto which = [](const std::string& program) {
        std::string path = testsupport::RunCommand("command -v " + program).output;
        return path.substr(0, path.find('\n'));
    };
    const std::string unshare = which("unshare"), nsenter = which("nsenter"), sleep = which("sleep");
    if (unshare.empty() || nsenter.empty()) GTEST_SKIP() << "unshare or nsenter is missing";
    testsupport::Process holder({unshare, "-m", "--propagation", "private", sleep, "600"}, {});
    const std::string ns = "/proc/" + std::to_string(holder.pid()) + "/ns/mnt";
    testsupport::WaitUntil([&] {
        std::error_code ec;
        return !holder.running() ||
               std::filesystem::read_symlink(ns, ec) != std::filesystem::read_symlink("/proc/self/ns/mnt");
    });
    if (!holder.running()) GTEST_SKIP() << "no mount namespace of our own here: " << holder.err();
    launcher_ = {nsenter, "-t", std::to_string(holder.pid()), "-m", "--"};
    avstub::Options scan;
    scan.launcher = launcher_;
    StartPeers(scan);
    StartOrqfile();
    auto inNamespace = [&](const std::string& command) {
        Run("nsenter -t " + std::to_string(holder.pid()) + " -m -- sh -c 'cd " + dir_.path() + " && " + command + "'");
    };

    // Files settle for seconds before they are scanned, and a file hidden
    // by the next mount by then is not: each step waits for its scans.
    inNamespace("mount -t tmpfs velqor-test stage && cp src/eicar.src stage/held.com && mount --move stage a/usb");
    ASSERT_TRUE(testsupport::WaitUntil([&] { return orqfile_->out().find("mounts changed at") != std::string::npos; }));
    inNamespace("cp src/eicar.src a/usb/written.com");
    WaitForAlert(a() + "/usb/held.com");
    WaitForAlert(a() + "/usb/written.com");
    // Unmounted: the folder underneath is watched again.
    inNamespace("umount a/usb && cp src/eicar.src a/usb/under.com");
    WaitForAlert(a() + "/usb/under.com");
    // Mounted there again, and over a place itself.
    inNamespace("mount -t tmpfs velqor-test a/usb && cp src/eicar.src a/usb/again.com");
    inNamespace("mount -t tmpfs velqor-test b && mkdir b/sub && cp src/eicar.src b/sub/on-place.com");
    WaitForAlert(a() + "/usb/again.com");
    WaitForAlert(b() + "/sub/on-place.com");
    EXPECT_EQ(ScanCount(a() + "/usb/written.com"), 1u);
}

TEST_F(OrqfileTest, NothingToWatchEndsWithMinusOne) {
    struct Case {
        std::vector<std::string> args;
        const char* line;
    } cases[] = {
        {{}, "ORQFILE.EXE (2.04)"},
        {{"-d=;,", "-e=WATCH_ROOT"}, "no folder to watch"},
        {{"-e=WATCH_ROOT"}, "no folder to watch"},
    };
    for (const Case& c : cases) {
        auto orqfile = StartWatcher("orqfile", c.args, {{"WATCH_ROOT", dataRoot_}});
        EXPECT_EQ(orqfile->wait(), 255);
        EXPECT_NE(orqfile->out().find(c.line), std::string::npos) << orqfile->out();
    }
}

}  // namespace
