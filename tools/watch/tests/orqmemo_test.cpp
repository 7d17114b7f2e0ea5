// orqmemo end to end: infected running programs, Run values and a startup
// folder entry in the test's own folders; the stand-in scan server flags
// only files below the test's folder, so no other program of the machine
// is ended.
#include <filesystem>
#include <fstream>
#include <thread>

#include "platform/registry/registry.h"
#include "tools/watch/autostart_places.h"
#include "watch_fixture.h"

namespace {

using namespace std::chrono_literals;

class OrqmemoTest : public watchtest::WatcherFixture {
protected:
    void SetUp() override {
        WatcherFixture::SetUp();
        ::setenv("VELQOR_REGISTRY_DIR", t("registry").c_str(), 1);
    }
    void Infected(const std::string& path, const std::string& from = "") {
        testsupport::MakeDirs(std::filesystem::path(path).parent_path());
        if (!from.empty()) std::filesystem::copy_file(from, path);
        std::ofstream(path, std::ios::app | std::ios::binary) << eicar_;
        std::filesystem::permissions(path, std::filesystem::perms::owner_all, std::filesystem::perm_options::add);
    }
    void SetRunValue(platform::HKEY root, const std::string& key, const char* name, const std::string& data) {
        platform::HKEY handle = nullptr;
        std::string path = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\" + key;
        ASSERT_EQ(platform::RegCreateKeyExA(root, path.c_str(), 0, nullptr, platform::REG_OPTION_NON_VOLATILE,
                                            platform::KEY_ALL_ACCESS, nullptr, &handle, nullptr),
                  0);
        ASSERT_EQ(platform::RegSetValueUtf8(handle, name, platform::REG_SZ, data), 0);
        platform::RegCloseKey(handle);
    }
    std::unique_ptr<testsupport::Process> Sleeper(const std::string& program, std::map<std::string, std::string> env = {}) {
        testsupport::Process::Options options;
        options.env = std::move(env);
        return std::make_unique<testsupport::Process>(std::vector<std::string>{program, "600"}, options);
    }
};

TEST(RunCommandPath, CutAsTheAutostartWatcherScansIt) {
    struct Case {
        const char* data;
        const char* path;
    } cases[] = {
        {"/opt/t/evil /silent", "/opt/t/evil"},
        {"\"/opt/my tools/a\" -x", "/opt/my tools/a"},
        {"/opt/my tools/a", "/opt/my tools/a"},
        {"/opt/a -x /y", "/opt/a"},
        {"\"/opt/a", "/opt/a"},
        {"", ""},
    };
    for (const Case& c : cases) EXPECT_EQ(watch::RunCommandPath(c.data), c.path) << c.data;
}

TEST_F(OrqmemoTest, OneRoundEndsAndReportsEveryInfectedPlace) {
    const std::string sleepPath = testsupport::RunCommand("command -v sleep").output;
    const std::string realSleep = sleepPath.substr(0, sleepPath.find('\n'));
    Infected(t("bin/evil-sleep"), realSleep);
    Infected(t("bin/gone-sleep"), realSleep);
    Infected(t("lib/libmark.so"), VELQOR_MARK_LIBRARY);
    for (const char* name :
         {"bin/evil", "dir with blank/evil2", "bin/evil4", "bin/evil5", "path/evil6", "bin/evil7", "path2/evil8"})
        Infected(t(name));
    const std::string longValue = t(std::string(300 - t("").size(), 'x'));
    testsupport::WriteFile(longValue, "clean\n");

    SetRunValue(platform::HKEY_LOCAL_MACHINE, "Run", "evil", t("bin/evil") + " /silent");
    SetRunValue(platform::HKEY_CURRENT_USER, "Run", "blank", "\"" + t("dir with blank/evil2") + "\" -x");
    SetRunValue(platform::HKEY_LOCAL_MACHINE, "Policies\\Explorer\\Run", "long", longValue);
    SetRunValue(platform::HKEY_LOCAL_MACHINE, "Policies\\Explorer\\Run", "after", t("bin/evil4"));
    testsupport::MakeDirs(t("config/autostart"));
    testsupport::MakeDirs(t("xdg/autostart"));
    testsupport::WriteFile(t("config/autostart/evil5.desktop"),
                           "[Desktop Entry]\nType=Application\nExec=\"" + t("bin/evil5") + "\" --flag %U\n");
    testsupport::WriteFile(t("xdg/autostart/evil6.desktop"), "[Desktop Entry]\r\nExec=evil6\r\n");
    // Started through env: the program env runs is what starts.
    testsupport::WriteFile(t("xdg/autostart/evil7.desktop"),
                           "[Desktop Entry]\nExec=env LANG=C \"VAR=a b\" " + t("bin/evil7") + " --x\n");
    testsupport::WriteFile(t("xdg/autostart/evil8.desktop"),
                           "[Desktop Entry]\nExec=/usr/bin/env -i -u HOME PATH=" + t("path2") + " evil8\n");
    testsupport::WriteFile(t("xdg/autostart/gone.desktop"), "[Desktop Entry]\nExec=" + t("bin/none") + "\n");
    testsupport::WriteFile(t("xdg/autostart/Readme.LNK.txt"), "clean\n");

    auto evilSleep = Sleeper(t("bin/evil-sleep"));
    // Its file deleted while it runs: only the process still leads to it.
    auto goneSleep = Sleeper(t("bin/gone-sleep"));
    ASSERT_TRUE(testsupport::WaitUntil([&] {
        return std::filesystem::read_symlink("/proc/" + std::to_string(goneSleep->pid()) + "/exe") ==
               t("bin/gone-sleep");
    }));
    std::filesystem::remove(t("bin/gone-sleep"));
    auto preloaded = Sleeper(realSleep, {{"LD_PRELOAD", t("lib/libmark.so")}});
    auto cleanSleep = Sleeper(realSleep);
    ASSERT_TRUE(testsupport::WaitUntil([&] {
        return testsupport::ReadFile("/proc/" + std::to_string(preloaded->pid()) + "/maps").find("libmark.so") !=
               std::string::npos;
    }));

    avstub::Options scan;
    scan.onlyBelow = dir_.path();
    StartPeers(scan);
    auto orqmemo = StartWatcher("orqmemo", {"-t=0", "-e=WATCH_ROOT", "-w"},
                                {{"WATCH_ROOT", t("data")},
                                 {"VELQOR_REGISTRY_DIR", t("registry")},
                                 {"XDG_CONFIG_HOME", t("config")},
                                 {"XDG_CONFIG_DIRS", t("xdg") + ":/etc/xdg"},
                                 {"PATH", t("path") + ":/usr/bin:/bin"}});

    std::vector<std::string> expected;
    for (const char* name : {"bin/evil-sleep", "bin/gone-sleep (deleted)", "lib/libmark.so", "bin/evil",
                             "dir with blank/evil2", "bin/evil4", "bin/evil5", "path/evil6", "bin/evil7", "path2/evil8"})
        expected.push_back(EicarAlert(t(name)));
    bool done = testsupport::WaitUntil([&] { return Alerts().size() >= expected.size(); }, 90s);
    ASSERT_TRUE(done) << testsupport::ReadFile(alertLog()) << orqmemo->out().substr(0, 20000);
    std::vector<std::string> alerts = Alerts();
    std::sort(alerts.begin(), alerts.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(alerts, expected);

    EXPECT_EQ(evilSleep->wait(10s), 128 + 9);
    EXPECT_EQ(goneSleep->wait(10s), 128 + 9);
    EXPECT_EQ(preloaded->wait(10s), 128 + 9);
    EXPECT_TRUE(cleanSleep->running());
    EXPECT_TRUE(orqmemo->running());
    EXPECT_EQ(ScanCount(longValue), 1u);
    EXPECT_EQ(ScanCount(t("xdg/autostart/gone.desktop")), 1u);   // unresolvable: scanned as itself
    EXPECT_EQ(ScanCount(t("xdg/autostart/Readme.LNK.txt")), 1u);  // not a shortcut
    EXPECT_EQ(ScanCount(""), 0u);
    EXPECT_NE(orqmemo->out().find("PID  Name             Number of threads\n" + std::string(39, '-')),
              std::string::npos);
}

}  // namespace
