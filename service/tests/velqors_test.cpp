// velqors as a program: a console run with stand-in children in a
// temporary install folder, a run under a stand-in service manager, and
// installing and removing the unit.
#include <arpa/inet.h>
#include <grp.h>
#include <pwd.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <filesystem>
#include <sstream>

#include "platform/pipe/pipe.h"
#include "platform/process/process.h"
#include "registry_seed.h"
#include "service_user.h"
#include "service/child_control.h"
#include "service/product_settings.h"
#include "smtp_peer.h"
#include "test_support.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using servicetest::Seed;
using testsupport::Process;
using testsupport::ReadFile;
using testsupport::TempDir;

namespace {

const std::string kStub = std::string(VELQOR_TEST_BIN_DIR) + "/velqors-child-stub";
const std::string kVelqors = testsupport::BinPath("velqors");
const std::string kDisplay = "Tavrisk VELQOR Server V2 Service";

class VelqorsTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* d : {"registry", "pipes", "data/VELQOR", "install", "elsewhere"})
            fs::create_directories(root / d);
        ::setenv("VELQOR_REGISTRY_DIR", (root / "registry").c_str(), 1);
        ::setenv("VELQOR_PIPE_DIR", (root / "pipes").c_str(), 1);
    }
    void TearDown() override {
        // Whatever a failed test left running in the install folder ends here.
        for (const auto& name : service::KillList(true))
            for (pid_t pid : platform::FindProcesses(name, install)) platform::TerminateProcess(pid, true);
    }

    // Installs the stand-in child under each name, as copies, or as a
    // symlink to the first name (the way the engine's names are installed).
    void InstallChildren(const std::vector<std::string>& names) {
        for (const auto& name : names) fs::copy_file(kStub, install + "/" + name);
    }
    void InstallLink(const std::string& name, const std::string& target) {
        fs::create_symlink(target, install + "/" + name);
    }

    std::map<std::string, std::string> Env() const {
        return {{"VELQOR_REGISTRY_DIR", root / "registry"}, {"VELQOR_PIPE_DIR", root / "pipes"},
                {"ALLUSERSPROFILE", root / "data"},         {"VELQOR_STUB_RECORD", record},
                {"NOTIFY_SOCKET", ""},                       {"INVOCATION_ID", ""},
                {"VELQOR_TMPFILES_DIR", root / "tmpfiles"}};
    }
    std::unique_ptr<Process> StartVelqors(std::vector<std::string> args,
                                          std::map<std::string, std::string> extra = {},
                                          const std::string& program = kVelqors) {
        auto env = Env();
        for (auto& [k, v] : extra) env[k] = v;
        args.insert(args.begin(), program);
        return std::make_unique<Process>(args, Process::Options{env, root / "elsewhere"});
    }

    // The started children, one line each: name and arguments, TAB-separated.
    std::vector<std::string> Records() const {
        std::vector<std::string> lines;
        std::istringstream in(ReadFile(record));
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        return lines;
    }
    std::vector<std::string> RecordedNames() const {
        std::vector<std::string> names;
        for (const auto& line : Records()) names.push_back(line.substr(0, line.find('\t')));
        return names;
    }
    bool AnyChildRunning() const {
        for (const auto& name : service::KillList(true))
            if (!platform::FindProcesses(name, install).empty()) return true;
        return false;
    }

    TempDir root;
    const std::string install = root / "install";
    const std::string record = root / "record.log";
};

bool OutputHas(const Process& p, const std::string& text) { return p.out().find(text) != std::string::npos; }

size_t Count(const std::string& text, const std::string& part) {
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size())) ++count;
    return count;
}

// A wake-up as a client sends it: connect and close at once. 0, or errno.
int ConnectAndClose(const std::string& path) {
    int fd = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_NONBLOCK, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, path.c_str(), sizeof addr.sun_path - 1);
    int rc = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 ? 0 : errno;
    ::close(fd);
    return rc;
}

// Everything logged to the day's service log files.
std::string ServiceLogText(const std::string& folder) {
    std::string text;
    std::error_code ec;
    for (const auto& f : fs::directory_iterator(folder, ec)) text += ReadFile(f.path());
    return text;
}

}  // namespace

// A stand-in for systemd's notification socket: a bound datagram socket.
int BindNotifySocket(const std::string& socketPath) {
    int fd = ::socket(AF_UNIX, SOCK_DGRAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, socketPath.c_str(), sizeof addr.sun_path - 1);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

TEST_F(VelqorsTest, DebugRunStartsEveryChildInOrderRunsTheUpdaterAndEndsThemOnCtrlC) {
    InstallChildren({"orqavs", "orqspam", "orqsvt", "orqmemo", "orqfile", "orqhprx", "orqcwfs", "autoupdate"});
    for (const char* name : {"orqsprx", "orqfprx", "orqcprx"}) InstallLink(name, "orqhprx");
    Seed({{"scanmode", 1u}, {"http", 1u}, {"smtp", 1u}, {"ftp", 1u}, {"socks", 1u}, {"smtpmailbackup", 1u},
          {"smtpbackupfolder", std::string("/srv/mail backup")}, {"VELQORSV2", 1u}, {"Timeout", 0u},
          {"LogEnabled", 1u}, {"UpdateDB", 2u}});
    Seed({{"ImagePath", std::string(install + "/velqors")}}, service::kServiceKey);
    std::string cache = root / "data/VELQOR/cache";
    fs::create_directories(cache + "/keep");
    testsupport::WriteFile(cache + "/req-0-0004.dat", "left over");

    // A copy left from an earlier run is ended; the same program installed
    // elsewhere is not the service's and stays.
    fs::create_directories(root / "other");
    fs::copy_file(kStub, root / "other/orqsvt");
    Process stale({install + "/orqhprx"}, {{{"VELQOR_STUB_RECORD", root / "stale.log"}}, "", true});
    Process foreign({root / "other/orqsvt"}, {{{"VELQOR_STUB_RECORD", root / "stale.log"}}, "", true});
    ASSERT_TRUE(testsupport::WaitUntil([&] { return testsupport::ReadFile(root / "stale.log").size() > 0; }));

    auto velqors = StartVelqors({"-debug"});
    ASSERT_TRUE(testsupport::WaitUntil([&] { return Records().size() >= 12; }, 90s)) << velqors->out();
    // Every child ran; the order of their starts is the service's log below
    // (a child's own record may come late on a loaded machine, so the order
    // of the records proves nothing).
    std::vector<std::string> expected{"orqavs", "orqspam", "orqsvt", "orqmemo", "orqfile", "orqcwfs", "orqhprx",
                                      "orqsprx", "orqfprx", "orqcprx", "autoupdate", "autoupdate"};
    auto names = RecordedNames();
    std::sort(expected.begin(), expected.end());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, expected);
    std::string started;
    std::istringstream lines(velqors->out());
    for (std::string line; std::getline(lines, line);)
        if (line.find("] start ") != std::string::npos || line.find("] skip ") != std::string::npos)
            started += line.substr(line.find("] ") + 2) + "|";
    EXPECT_EQ(started,
              "start engine.|start SPAM engine.|start SORVSPOOL engine.|start memory|start folder|start http proxy|"
              "start contents filter engine.|start smtp proxy|skip pop3 proxy|start ftp proxy|start socks proxy|"
              "start updater.|start updater.|");
    auto records = Records();
    auto recordOf = [&](const std::string& name) {
        for (const auto& r : records)
            if (r.rfind(name + "\t", 0) == 0) return r;
        return std::string();
    };
    // Only the engine gets -v; a value with a blank stays one argument.
    EXPECT_EQ(recordOf("orqsprx"),
              "orqsprx\t-v\t-e=ALLUSERSPROFILE\t-p=1\t-f\t-c=0\t-i=0\t-b=/srv/mail backup\t-j=0\t"
              "-t=30000,30000,30000,30000\t-k=0\t-u=1\t-$=10");
    EXPECT_EQ(recordOf("orqsvt").find("\t-v\t"), std::string::npos);
    EXPECT_EQ(recordOf("orqsvt").substr(recordOf("orqsvt").rfind('\t')), "\t-l=0");
    EXPECT_EQ(recordOf("autoupdate"), "autoupdate\t-m=2\t-l=" + (root / "data") + "/VELQOR/updatelog/velqors.log");

    EXPECT_EQ(stale.wait(5s), 128 + SIGTERM);
    EXPECT_TRUE(foreign.running());
    EXPECT_FALSE(fs::exists(cache + "/req-0-0004.dat"));
    EXPECT_TRUE(fs::exists(cache + "/keep"));
    EXPECT_EQ(service::ReadProductDword(service::kProductSettingsKey, "", 0), 1u);
    std::string out = velqors->out();
    EXPECT_NE(out.find("teminate orqhprx\n"), std::string::npos);
    EXPECT_NE(out.find("] skip pop3 proxy\n"), std::string::npos);
    EXPECT_NE(out.find("] start engine.\n"), std::string::npos);
    std::string logText;
    for (const auto& f : fs::directory_iterator(root / "data/VELQOR/velqors")) logText += ReadFile(f.path());
    EXPECT_NE(logText.find("] start socks proxy\n"), std::string::npos);
    EXPECT_NE(logText.find("] start updater.\n"), std::string::npos);

    // Timeout 0 does not make the loop run the updater again and again.
    std::this_thread::sleep_for(1500ms);
    EXPECT_EQ(Records().size(), 12u);

    // A client that connects to the wake-up pipe and goes makes one more run.
    std::string reply;
    platform::CallNamedPipe("\\\\.\\pipe\\Tavrisk VELQORS", "", 16, reply, 10000);
    ASSERT_TRUE(testsupport::WaitUntil([&] { return Records().size() == 13; }, 10s));
    EXPECT_EQ(RecordedNames().back(), "autoupdate");

    velqors->terminate(SIGINT);
    ASSERT_EQ(velqors->wait(60s), 0) << velqors->out();
    EXPECT_TRUE(OutputHas(*velqors, "SERVICE_CONTROL_STOP in debug mode.\nStopping " + kDisplay +
                                        ".\nService Stoped.\nteminate orqavs\n"));
    EXPECT_FALSE(AnyChildRunning());
    EXPECT_TRUE(foreign.running());
}

TEST_F(VelqorsTest, CtrlBreakAndTermAlsoEndTheConsoleRunAndItsChildren) {
    InstallChildren({"orqsvt"});
    // The log folder is made with every missing level of a fresh data root.
    Seed({{"spamcheck", 0u}, {"VELQORSV2", 1u}});
    Seed({{"ImagePath", std::string(install + "/velqors")}}, service::kServiceKey);
    const std::string freshRoot = root / "fresh root";
    const std::pair<int, const char*> cases[] = {
        {SIGQUIT, "use Ctrl+C or Ctrl+Break to simulate.\nSERVICE_CONTROL_STOP in debug mode.\n"},
        {SIGTERM, "SERVICE_CONTROL_STOP in debug mode.\n"},
    };
    for (const auto& [signal, text] : cases) {
        auto velqors = StartVelqors({"-DEBUG"}, {{"ALLUSERSPROFILE", freshRoot}});
        ASSERT_TRUE(testsupport::WaitUntil([&] { return OutputHas(*velqors, "skip socks proxy\n"); }, 30s))
            << velqors->out();
        ASSERT_TRUE(testsupport::WaitUntil([&] { return AnyChildRunning(); }));
        velqors->terminate(signal);
        EXPECT_EQ(velqors->wait(30s), 0) << signal;
        EXPECT_TRUE(OutputHas(*velqors, text)) << velqors->out();
        EXPECT_FALSE(AnyChildRunning());
    }
    EXPECT_FALSE(fs::is_empty(freshRoot + "/VELQOR/velqors"));
}

TEST_F(VelqorsTest, AChildThatEndsWhileTheServiceWaitsIsCollected) {
    fs::copy_file("/bin/true", install + "/orqsvt");
    Seed({{"spamcheck", 0u}});
    Seed({{"ImagePath", std::string(install + "/velqors")}}, service::kServiceKey);
    auto velqors = StartVelqors({"-debug"});
    ASSERT_TRUE(testsupport::WaitUntil([&] { return OutputHas(*velqors, "skip socks proxy\n"); }, 30s))
        << velqors->out();
    auto zombies = [&] {
        return testsupport::RunCommand("ps --no-headers -o stat= --ppid " + std::to_string(velqors->pid()) +
                                       " | grep -c '^Z'").output;
    };
    EXPECT_TRUE(testsupport::WaitUntil([&] { return zombies() == "0\n"; }, 15s)) << zombies();
    velqors->terminate(SIGINT);
    EXPECT_EQ(velqors->wait(30s), 0);
}

// A server killed from outside is started again, each time after a longer
// pause, and every restart is logged; the stop ends the restarted one too.
TEST_F(VelqorsTest, AKilledChildIsStartedAgainAfterAGrowingPause) {
    InstallChildren({"orqsprx", "orqsvt"});
    Seed({{"smtp", 1u}, {"spamcheck", 0u}, {"VELQORSV2", 1u}});
    Seed({{"ImagePath", std::string(install + "/velqors")}}, service::kServiceKey);
    auto velqors = StartVelqors({"-debug"});
    auto running = [&] { return platform::FindProcesses("orqsprx", install); };
    ASSERT_TRUE(testsupport::WaitUntil([&] { return running().size() == 1; }, 30s)) << velqors->out();
    std::vector<std::chrono::steady_clock::duration> pauses;
    for (size_t round = 1; round <= 3; ++round) {
        const pid_t killed = running().front();
        ASSERT_EQ(::kill(killed, SIGKILL), 0);
        const auto at = std::chrono::steady_clock::now();
        ASSERT_TRUE(testsupport::WaitUntil(
            [&] { return Count(velqors->out(), "] restart orqsprx.\n") == round; }, 30s))
            << velqors->out();
        pauses.push_back(std::chrono::steady_clock::now() - at);
        ASSERT_TRUE(testsupport::WaitUntil([&] {
            const auto now = running();
            return now.size() == 1 && now.front() != killed;
        })) << velqors->out();
    }
    EXPECT_EQ(Count(velqors->out(), "] orqsprx ended (signal 9).\n"), 3u) << velqors->out();
    EXPECT_EQ(Count(ServiceLogText(root / "data/VELQOR/velqors"), "] restart orqsprx.\n"), 3u);
    // 1 s, 2 s, 4 s.
    EXPECT_GE(pauses[1], 1900ms);
    EXPECT_GE(pauses[2], 3900ms);
    velqors->terminate(SIGINT);
    EXPECT_EQ(velqors->wait(30s), 0);
    EXPECT_FALSE(AnyChildRunning());
}

TEST_F(VelqorsTest, AStopWhileTheScanServerIsAwaitedEndsAtOnceAndStartsNothingMore) {
    // A scan server that never answers its pipe would hold the start-up for
    // six minutes.
    fs::copy_file("/bin/true", install + "/orqavs");
    InstallChildren({"orqspam", "orqsvt"});
    Seed({{"scanmode", 1u}});
    Seed({{"ImagePath", std::string(install + "/velqors")}}, service::kServiceKey);
    auto velqors = StartVelqors({"-debug"});
    ASSERT_TRUE(testsupport::WaitUntil([&] { return OutputHas(*velqors, "] .[") ; }, 30s)) << velqors->out();
    auto asked = std::chrono::steady_clock::now();
    velqors->terminate(SIGINT);
    EXPECT_EQ(velqors->wait(30s), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - asked, 5s);
    EXPECT_FALSE(OutputHas(*velqors, "start SPAM engine."));
    std::this_thread::sleep_for(300ms);
    EXPECT_FALSE(AnyChildRunning());
    EXPECT_TRUE(Records().empty());
}

TEST_F(VelqorsTest, UnderTheServiceManagerReportsItsStatesAndStopsOnTerm) {
    InstallChildren({"orqsvt"});
    Seed({{"spamcheck", 0u}});
    Seed({{"ImagePath", std::string(install + "/velqors")}}, service::kServiceKey);
    std::string socketPath = root / "notify";
    int fd = BindNotifySocket(socketPath);
    ASSERT_GE(fd, 0);
    std::string notices;
    auto collect = [&] {
        char buf[512];
        for (ssize_t n; (n = ::recv(fd, buf, sizeof buf, MSG_DONTWAIT)) > 0;) notices.append(buf, size_t(n)) += "|";
    };

    auto velqors = StartVelqors({}, {{"NOTIFY_SOCKET", socketPath}});
    ASSERT_TRUE(testsupport::WaitUntil([&] { collect(); return notices.find("READY=1") != std::string::npos; }));
    ASSERT_TRUE(testsupport::WaitUntil([&] { return AnyChildRunning(); }, 30s)) << velqors->out();
    EXPECT_TRUE(OutputHas(*velqors, "velqorsv2 -install          Inserts service.\n"));
    velqors->terminate(SIGTERM);
    EXPECT_EQ(velqors->wait(30s), 0);
    collect();
    ::close(fd);
    EXPECT_EQ(notices,
              "STATUS=Starting\n|STATUS=Starting\n|STATUS=Starting\n|STATUS=Starting\n|STATUS=Starting\n|"
              "READY=1\nSTATUS=Running\n|STOPPING=1\nSTATUS=Stopping\n|STATUS=Stopped\n|");
    EXPECT_FALSE(AnyChildRunning());

    // Started by hand, without a service manager: the usage text, and out.
    auto byHand = StartVelqors({"--install"});
    EXPECT_EQ(byHand->wait(10s), 0);
    EXPECT_EQ(byHand->out(),
              "velqorsv2 -install          Inserts service.\n"
              "velqorsv2 -remove           Removes service.\n"
              "velqorsv2 -debug            Executes as the console application.\n"
              "velqorsv2 -version          Displays a version.\n"
              "\nSeveral seconds or the debug mode borrows to end.\nwaiting...\n");
}

TEST_F(VelqorsTest, InstallAndRemoveTheUnit) {
    TempDir units, systemctl;
    std::map<std::string, std::string> env{
        {"VELQOR_SYSTEMD_DIR", units.path()},
        {"VELQOR_SYSTEMCTL", testsupport::SourcePath("platform/service/tests/fake-systemctl")},
        {"FAKE_SYSTEMCTL_DIR", systemctl.path()}};
    auto run = [&](const std::string& arg) {
        auto p = StartVelqors({arg, "ignored"}, env);
        EXPECT_EQ(p->wait(30s), 0) << arg;
        return p->out();
    };
    std::string unit = units / "velqorsv2.service";

    // Which folders the unit makes the service use, as the installing
    // shell has them.
    EXPECT_EQ(run("/INSTALL"), kDisplay + " installed.\nThe service will use:\n  registry store  " + (root / "registry") +
                                   "\n  data folder     " + (root / "data") + "/VELQOR (ALLUSERSPROFILE=" +
                                   (root / "data") + ")\n  pipe folder     " + (root / "pipes") + "\n");
    EXPECT_NE(ReadFile(unit).find("ExecStart=\"" + fs::canonical(kVelqors).string() + "\"\n"), std::string::npos);
    EXPECT_NE(ReadFile(unit).find("Environment=\"ALLUSERSPROFILE=" + (root / "data") + "\"\n"), std::string::npos);
    EXPECT_NE(ReadFile(unit).find("Environment=\"VELQOR_REGISTRY_DIR=" + (root / "registry") + "\"\n"),
              std::string::npos);
    EXPECT_NE(ReadFile(unit).find("After=network-online.target\n"), std::string::npos);
    EXPECT_EQ(service::ReadProductString(service::kServiceKey, "ImagePath", "", 256), fs::canonical(kVelqors).string());
    EXPECT_EQ(run("-Install"), "CreateService failed - The specified service already exists. (0x431)\n");

    testsupport::WriteFile(systemctl / "state", "active\n");
    EXPECT_EQ(run("-remove"), "Stopping " + kDisplay + "..\n" + kDisplay + " stopped.\n" + kDisplay + " removed.\n");
    EXPECT_FALSE(fs::exists(unit));
    EXPECT_EQ(service::ReadProductString(service::kServiceKey, "ImagePath", "<none>", 256), "<none>");
    EXPECT_EQ(run("-remove"),
              "OpenService failed - The specified service does not exist as an installed service. (0x424)\n");

    // Another data root variable (workenv) is the one the unit sets; unset,
    // and without a registry or pipe folder named, the defaults show.
    Seed({{"workenv", std::string("VELQOR_UNSET_ROOT")}});
    env["VELQOR_REGISTRY_DIR"] = root / "registry";
    env["VELQOR_PIPE_DIR"] = "";
    EXPECT_EQ(run("-install"), kDisplay + " installed.\nThe service will use:\n  registry store  " + (root / "registry") +
                                   "\n  data folder     /var/lib/VELQOR (VELQOR_UNSET_ROOT=/var/lib)\n"
                                   "  pipe folder     /run/velqor\n");
    EXPECT_NE(ReadFile(unit).find("Environment=\"VELQOR_UNSET_ROOT=/var/lib\"\n"), std::string::npos);
    EXPECT_EQ(ReadFile(unit).find("VELQOR_PIPE_DIR"), std::string::npos);
    run("-remove");

    env["VELQOR_SYSTEMD_DIR"] = units / "missing";
    EXPECT_EQ(run("-install"), "OpenSCManager failed - The system cannot find the path specified. (0x3)\n");
    EXPECT_EQ(run("-version").rfind("VELQORSV2 (2.03) \n", 0), 0u);
}

TEST_F(VelqorsTest, InstallSharesThePlacesWithTheVelqorGroupOnlyWhenItExists) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to make the group velqor";
    // A group of the test's own, named to the service as its group.
    const std::string group = "velqori" + std::to_string(::getpid());
    TempDir units, systemctl;
    fs::create_directories(root / "tmpfiles");
    std::map<std::string, std::string> env{
        {"VELQOR_SYSTEMD_DIR", units.path()},
        {"VELQOR_SYSTEMCTL", testsupport::SourcePath("platform/service/tests/fake-systemctl")},
        {"FAKE_SYSTEMCTL_DIR", systemctl.path()},
        {"VELQOR_GROUP", group},
        {"VELQOR_USER", group}};
    std::string unit = units / "velqorsv2.service", conf = root / "tmpfiles/velqor.conf";

    auto added = testsupport::RunCommand("groupadd " + group + " 2>&1");
    if (added.exitCode != 0) GTEST_SKIP() << "groupadd is not allowed here: " << added.output;
    struct group* entry = ::getgrnam(group.c_str());
    gid_t gid = entry ? entry->gr_gid : 0;
    auto install = StartVelqors({"-install"}, env);
    EXPECT_EQ(install->wait(30s), 0);
    std::string unitText = fs::exists(unit) ? ReadFile(unit) : "";
    std::string confText = fs::exists(conf) ? ReadFile(conf) : "";
    std::vector<std::pair<std::string, struct stat>> places;
    for (const std::string& place : {root / "registry", root / "data/VELQOR", root / "pipes"}) {
        struct stat st {};
        ::stat(place.c_str(), &st);
        places.emplace_back(place, st);
    }
    const passwd* user = ::getpwnam(group.c_str());
    const gid_t userGroup = user ? user->pw_gid : 0;
    testsupport::RunCommand("userdel " + group);
    testsupport::RunCommand("groupdel " + group);
    ASSERT_NE(entry, nullptr);
    // The servers' user is made with it, in the group.
    EXPECT_NE(user, nullptr);
    EXPECT_EQ(userGroup, gid);
    EXPECT_NE(unitText.find("\nUMask=0007\n"), std::string::npos) << unitText;
    EXPECT_EQ(confText, "d " + (root / "pipes") + " 2770 root " + group + " -\n");
    for (const auto& [place, st] : places) {
        EXPECT_EQ(st.st_mode & 07777, 02770u) << place;
        EXPECT_EQ(st.st_gid, gid) << place;
    }

    // Without the group the places and the unit are as before.
    fs::remove(unit);
    fs::remove(conf);
    install = StartVelqors({"-install"}, env);
    EXPECT_EQ(install->wait(30s), 0);
    EXPECT_EQ(ReadFile(unit).find("UMask"), std::string::npos);
    EXPECT_FALSE(fs::exists(conf));
}

TEST_F(VelqorsTest, TheRealEngineServesCurlAndNothingIsLeftAfterTerm) {
    if (!fs::exists(testsupport::BinPath("orqhprx"))) GTEST_SKIP() << "the engine is not built";
    // A copy, so that the service counts it among its own programs.
    fs::copy_file(testsupport::BinPath("orqhprx"), install + "/orqhprx");
    int port = testsupport::FreeTcpPort();
    testsupport::WriteFile(root / "data/VELQOR/http.ini", "127.0.0.1 " + std::to_string(port) + "=\r\n");
    Seed({{"http", 1u}, {"httpproxyauth", 0u}, {"spamcheck", 0u}});
    Seed({{"ImagePath", std::string(install + "/velqors")}}, service::kServiceKey);
    TempDir site;
    testsupport::WriteFile(site / "index.html", "hello\n");
    int upstreamPort = testsupport::FreeTcpPort();
    Process upstream({"/usr/bin/python3", "-m", "http.server", "--bind", "127.0.0.1", std::to_string(upstreamPort)},
                     {{}, site.path(), true});
    ASSERT_TRUE(testsupport::WaitForTcpPort(upstreamPort));

    // Started the way systemd starts it, with the proxy authentication that
    // is on by default switched off.
    int notifyFd = BindNotifySocket(root / "notify");
    ASSERT_GE(notifyFd, 0);
    auto velqors = StartVelqors({}, {{"NOTIFY_SOCKET", root / "notify"}});
    ASSERT_TRUE(testsupport::WaitForTcpPort(port, 30s)) << velqors->out() << velqors->err();
    auto curl = testsupport::RunCommand("curl -sS -m 10 -x http://127.0.0.1:" + std::to_string(port) +
                                        " http://127.0.0.1:" + std::to_string(upstreamPort) + "/index.html");
    EXPECT_EQ(curl.exitCode, 0) << curl.output;
    EXPECT_EQ(curl.output, "hello\n");

    velqors->terminate(SIGTERM);
    EXPECT_EQ(velqors->wait(30s), 0);
    EXPECT_TRUE(OutputHas(*velqors, "teminate orqhprx\n"));
    EXPECT_FALSE(AnyChildRunning());
    EXPECT_FALSE(testsupport::WaitForTcpPort(port, 200ms));
    ::close(notifyFd);
}

TEST_F(VelqorsTest, ATimeoutBeyondTheClockIsWaitedAndCtrlCEndsTheLoop) {
    InstallChildren({"orqavs", "autoupdate"});
    // The updater ran at a first start before, so each run makes one loop-entry run.
    for (uint32_t hours : {2'562'048u, 0x7FFFFFFFu}) {
        SCOPED_TRACE(hours);
        testsupport::WriteFile(record, "");
        Seed({{"scanmode", 1u}, {"spamcheck", 0u}, {"process", 0u}, {"folder", 0u}, {"Timeout", hours}, {"", 1u}});
        Seed({{"ImagePath", std::string(install + "/velqors")}}, service::kServiceKey);
        auto velqors = StartVelqors({"-debug"});
        ASSERT_TRUE(testsupport::WaitUntil(
            [&] { return Records().size() >= 2 && platform::FindProcesses("autoupdate", install).empty(); }, 30s))
            << velqors->out();
        velqors->terminate(SIGINT);
        ASSERT_EQ(velqors->wait(30s), 0) << velqors->out();
        EXPECT_TRUE(OutputHas(*velqors, "Service Stoped.\n"));
        EXPECT_EQ(RecordedNames(), (std::vector<std::string>{"orqavs", "autoupdate"}));
        EXPECT_FALSE(AnyChildRunning());
    }
}

TEST_F(VelqorsTest, InstalledFromAFolderInJapaneseLettersTheServiceStartsItsChildrenThere) {
    const std::string folder = root / "テスト";
    fs::create_directories(folder);
    fs::copy_file(kVelqors, folder + "/velqors");
    fs::copy_file(kStub, folder + "/orqsvt");
    Seed({{"spamcheck", 0u}});
    TempDir units, systemctl;
    std::map<std::string, std::string> env{
        {"VELQOR_SYSTEMD_DIR", units.path()},
        {"VELQOR_SYSTEMCTL", testsupport::SourcePath("platform/service/tests/fake-systemctl")},
        {"FAKE_SYSTEMCTL_DIR", systemctl.path()}};
    auto install = StartVelqors({"-install"}, env, folder + "/velqors");
    ASSERT_EQ(install->wait(30s), 0);
    ASSERT_TRUE(OutputHas(*install, kDisplay + " installed.\n")) << install->out();
    EXPECT_NE(ReadFile(units / "velqorsv2.service").find("ExecStart=\"" + folder + "/velqors\"\n"), std::string::npos);

    // Started as systemd starts the unit, from another folder.
    int notifyFd = BindNotifySocket(root / "notify");
    ASSERT_GE(notifyFd, 0);
    env["NOTIFY_SOCKET"] = root / "notify";
    auto velqors = StartVelqors({}, env, folder + "/velqors");
    // The child records itself once it runs.
    EXPECT_TRUE(testsupport::WaitUntil([&] { return !Records().empty(); }, 30s)) << velqors->out();
    EXPECT_FALSE(platform::FindProcesses("orqsvt", folder).empty());
    EXPECT_TRUE(OutputHas(*velqors, "] start SORVSPOOL engine.\n"));
    velqors->terminate(SIGTERM);
    EXPECT_EQ(velqors->wait(30s), 0);
    EXPECT_TRUE(platform::FindProcesses("orqsvt", folder).empty());
    EXPECT_EQ(RecordedNames(), std::vector<std::string>{"orqsvt"});
    ::close(notifyFd);
}

TEST_F(VelqorsTest, ADamagedStoreIsToldOnceOnTheConsoleAndToSyslogWithItsFileAndLine) {
    const std::string hive = root / "registry/HKEY_LOCAL_MACHINE.reg";
    const std::string header = "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\TAVRISK\\VELQOR_SERVER]\r\n";
    std::string utf16 = "\xFF\xFE";
    for (char c : header + "\"http\"=dword:00000001\r\n") utf16 += std::string{c, '\0'};
    struct Case {
        const char* what;
        std::string text;
        std::string where;
    };
    const Case cases[] = {
        {"cut mid-line", header + "\"http\"=dword:00000001\r\n\"httpproxyau", ", line 5: cut short"},
        {"a bad line", header + "\"http\"=dword:00000001\r\nhttpproxyauth=0\r\n\"httplog\"=dword:00000001\r\n",
         ", line 5: not a value line"},
        {"UTF-16", utf16, ", line 1: UTF-16 text; the store is UTF-8"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        testsupport::WriteFile(hive, c.text);
        const std::string logSocket = root / "syslog";
        fs::remove(logSocket);
        int logFd = BindNotifySocket(logSocket);  // a datagram socket, as the system log listens
        ASSERT_GE(logFd, 0);
        // An earlier run with the service log on made its folder.
        const std::string logFolder = root / "data/VELQOR/velqors";
        fs::remove_all(logFolder);
        fs::create_directories(logFolder);
        auto velqors = StartVelqors({"-debug"}, {{"VELQOR_SYSLOG_SOCKET", logSocket}});
        ASSERT_TRUE(testsupport::WaitUntil([&] { return OutputHas(*velqors, "skip socks proxy\n"); }, 30s))
            << velqors->out();
        velqors->terminate(SIGINT);
        EXPECT_EQ(velqors->wait(30s), 0);

        const std::string told = "registry store damaged: " + hive + c.where +
                                 "; no setting can be read, every one takes its default.";
        EXPECT_EQ(Count(velqors->out(), "] " + told + "\n"), 1u) << velqors->out();
        EXPECT_EQ(Count(velqors->out(), "registry store damaged"), 1u);
        // The log switch reads as off: that line is the file's only one.
        std::string logText = ServiceLogText(logFolder);
        EXPECT_EQ(Count(logText, "] " + told + "\n"), 1u) << logText;
        EXPECT_EQ(Count(logText, "\n"), 1u) << logText;
        std::string events;
        char buf[1024];
        for (ssize_t n; (n = ::recv(logFd, buf, sizeof buf, MSG_DONTWAIT)) > 0;) events.append(buf, size_t(n)) += "|";
        ::close(logFd);
        EXPECT_EQ(Count(events, "]: VELQORSV2 " + told + "|"), 1u) << events;
        EXPECT_EQ(Count(events, "registry store damaged"), 1u);
        EXPECT_EQ(ReadFile(hive), c.text);  // left for the administrator to mend
    }
}

TEST_F(VelqorsTest, AWakeUpSentWhileTheUpdaterRunsMakesOneMoreRun) {
    InstallChildren({"orqavs", "autoupdate"});
    Seed({{"scanmode", 1u}, {"spamcheck", 0u}, {"process", 0u}, {"folder", 0u}, {"", 1u}});
    Seed({{"ImagePath", std::string(install + "/velqors")}}, service::kServiceKey);
    const std::string release = root / "release";
    auto velqors = StartVelqors({"-debug"}, {{"VELQOR_STUB_HOLD", release}});
    // The updater runs (and is held) at loop entry.
    ASSERT_TRUE(testsupport::WaitUntil([&] { return Records().size() == 2; }, 30s)) << velqors->out();
    ASSERT_FALSE(platform::FindProcesses("autoupdate", install).empty());

    EXPECT_EQ(ConnectAndClose(root / "pipes/Tavrisk VELQORS"), 0);
    testsupport::WriteFile(release, "");
    EXPECT_TRUE(testsupport::WaitUntil([&] { return Records().size() == 3; }, 15s)) << velqors->out();
    EXPECT_EQ(RecordedNames(), (std::vector<std::string>{"orqavs", "autoupdate", "autoupdate"}));
    velqors->terminate(SIGINT);
    EXPECT_EQ(velqors->wait(30s), 0);
    EXPECT_EQ(Count(velqors->out(), "] start updater.\n"), 2u);
}

TEST_F(VelqorsTest, AScanServerThatTakesTheProbeAndNeverAnswersFailsThatProbe) {
    InstallChildren({"orqavs", "orqsvt"});
    Seed({{"scanmode", 1u}, {"spamcheck", 0u}, {"process", 0u}, {"folder", 0u}});
    Seed({{"ImagePath", std::string(install + "/velqors")}}, service::kServiceKey);
    auto velqors = StartVelqors({"-debug"}, {{"VELQOR_STUB_SCAN", "silent"}});
    // A failed probe writes its "." and the next one follows.
    ASSERT_TRUE(testsupport::WaitUntil([&] { return OutputHas(*velqors, "] start engine.\n[") &&
                                                    OutputHas(*velqors, "] ."); }, 60s))
        << velqors->out();
    velqors->terminate(SIGINT);
    EXPECT_EQ(velqors->wait(30s), 0);
    EXPECT_FALSE(AnyChildRunning());
}

TEST_F(VelqorsTest, EverybodyMayWakeTheServiceWhatItWritesStaysWithTheGroup) {
    Seed({{"spamcheck", 0u}, {"VELQORSV2", 1u}});
    auto velqors = StartVelqors({"-debug"});
    ASSERT_TRUE(testsupport::WaitUntil([&] { return OutputHas(*velqors, "skip socks proxy\n"); }, 30s))
        << velqors->out();
    const std::string wakeup = root / "pipes/Tavrisk VELQORS";
    struct stat st {};
    ASSERT_EQ(::stat(wakeup.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0777u);
    // The test runs with umask 022; the service's log file is the group's.
    std::string logFolder = root / "data/VELQOR/velqors";
    ASSERT_FALSE(fs::is_empty(logFolder));
    ASSERT_EQ(::stat(fs::directory_iterator(logFolder)->path().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0660u);

    if (::geteuid() == 0) {
        // Another user who can reach the pipe folder connects.
        ASSERT_EQ(::chmod(root.path().c_str(), 0711), 0);
        ASSERT_EQ(::chmod((root / "pipes").c_str(), 0755), 0);
        pid_t pid = ::fork();
        if (pid == 0) {
            if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(100);
            ::_exit(ConnectAndClose(wakeup));
        }
        int status = -1;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    }
    velqors->terminate(SIGINT);
    EXPECT_EQ(velqors->wait(30s), 0);
}

TEST_F(VelqorsTest, AnEngineThatCannotListenOnABusyPortIsToldWithItsExitStatus) {
    if (!fs::exists(testsupport::BinPath("orqhprx"))) GTEST_SKIP() << "the engine is not built";
    fs::copy_file(testsupport::BinPath("orqhprx"), install + "/orqhprx");
    // Another program holds the port.
    int busy = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof addr;
    ASSERT_EQ(::bind(busy, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ASSERT_EQ(::listen(busy, 1), 0);
    ASSERT_EQ(::getsockname(busy, reinterpret_cast<sockaddr*>(&addr), &length), 0);
    testsupport::WriteFile(root / "data/VELQOR/http.ini", "127.0.0.1 " + std::to_string(ntohs(addr.sin_port)) + "=\r\n");
    Seed({{"http", 1u}, {"httpproxyauth", 0u}, {"spamcheck", 0u}, {"VELQORSV2", 1u}});
    Seed({{"ImagePath", std::string(install + "/velqors")}}, service::kServiceKey);

    auto velqors = StartVelqors({"-debug"});
    const std::string ended = "] orqhprx ended (exit code ";
    ASSERT_TRUE(testsupport::WaitUntil([&] { return OutputHas(*velqors, ended); }, 30s)) << velqors->out();
    std::string out = velqors->out();
    std::string line = out.substr(out.find(ended), out.find('\n', out.find(ended)) - out.find(ended) + 1);
    EXPECT_EQ(line.substr(line.size() - 3), ").\n") << line;
    EXPECT_NE(ServiceLogText(root / "data/VELQOR/velqors").find(line), std::string::npos);
    velqors->terminate(SIGINT);
    EXPECT_EQ(velqors->wait(30s), 0);
    // Ended by the stop, children are not told about: each end told was
    // followed by a restart, but for one the stop came before.
    const size_t ends = Count(velqors->out(), " ended (");
    const size_t restarts = Count(velqors->out(), "] restart orqhprx.\n");
    EXPECT_TRUE(ends == restarts || ends == restarts + 1) << velqors->out();
    ::close(busy);
}

TEST_F(VelqorsTest, ASecondConsoleRunSaysWhyItCannotRunAndFails) {
    InstallChildren({"orqsvt"});
    Seed({{"spamcheck", 0u}});
    Seed({{"ImagePath", std::string(install + "/velqors")}}, service::kServiceKey);
    auto first = StartVelqors({"-debug"});
    ASSERT_TRUE(testsupport::WaitUntil([&] { return OutputHas(*first, "skip socks proxy\n") && AnyChildRunning(); },
                                       30s))
        << first->out();

    auto second = StartVelqors({"-debug"});
    EXPECT_EQ(second->wait(30s), 1);
    EXPECT_TRUE(OutputHas(*second, "] The named pipe could not be made: " + (root / "pipes/Tavrisk VELQORS") +
                                       ": another copy of the service runs already\n"))
        << second->out();
    // The first run and its children go on.
    EXPECT_TRUE(first->running());
    EXPECT_TRUE(AnyChildRunning());
    first->terminate(SIGINT);
    EXPECT_EQ(first->wait(30s), 0);
}

// What a local user sees of a process: its command line, NULs as blanks.
std::string CommandLineOf(pid_t pid) {
    std::string line = ReadFile("/proc/" + std::to_string(pid) + "/cmdline");
    std::replace(line.begin(), line.end(), '\0', ' ');
    return line;
}

TEST_F(VelqorsTest, TheArchiversPasswordsStayOffEveryCommandLineAndStillLogItIn) {
    if (testsupport::RunCommand("/usr/bin/python3 -c 'import aiosmtpd'").exitCode != 0)
        GTEST_SKIP() << "python3-aiosmtpd is not installed";
    fs::copy_file(testsupport::BinPath("orqsvt"), install + "/orqsvt");
    const std::string authPassword = "smtp s3cret-pw";
    const std::string archivePrefix = "Zq7";
    testsupport::SmtpPeer sink({"--auth", "user:" + authPassword});
    const int sinkPort = sink.port();
    ASSERT_NE(sinkPort, 0) << sink.err();
    Seed({{"spamcheck", 0u}, {"process", 0u}, {"folder", 0u}, {"TQXSmtp", std::string("127.0.0.1")},
          {"TQXSmtpPort", static_cast<uint32_t>(sinkPort)}, {"TQXESmtp", 1u}, {"TQXSmtpAuthID", std::string("user")},
          {"TQXSmtpAuthPW", authPassword}, {"TQXUniqPW", archivePrefix}, {"TQXLevel", 0u}, {"TQXRetryTime", 600u}});
    Seed({{"ImagePath", std::string(install + "/velqors")}}, service::kServiceKey);

    auto velqors = StartVelqors({"-debug"});
    ASSERT_TRUE(testsupport::WaitUntil([&] { return fs::exists(root / "pipes/orqsvt"); }, 30s))
        << velqors->out() << velqors->err();
    const auto archivers = platform::FindProcesses("orqsvt", install);
    ASSERT_EQ(archivers.size(), 1u);
    for (pid_t pid : {archivers.front(), velqors->pid()}) {
        const std::string line = CommandLineOf(pid);
        EXPECT_EQ(line.find(authPassword), std::string::npos) << line;
        EXPECT_EQ(line.find(archivePrefix), std::string::npos) << line;
    }
    struct stat secretFile{};
    ASSERT_EQ(::stat((root / "pipes/orqsvt.secret").c_str(), &secretFile), 0);
    EXPECT_EQ(secretFile.st_mode & 07777, 0600u);

    // An archived mail's password mail, sent with the password from the file.
    const std::string cache = root / "data/VELQOR/cache";
    fs::create_directories(cache);
    testsupport::WriteFile(cache + "/S.1.dat",
                           "From: from@example.test\r\nTo: to@example.test\r\nSubject: s\r\n"
                           "Content-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\nContent-Type: text/plain\r\n\r\n"
                           "hi\r\n--b\r\nContent-Type: application/pdf; name=a.pdf\r\n"
                           "Content-Transfer-Encoding: base64\r\n\r\nJVBERi0xLjQK\r\n--b--\r\n.\r\n");
    testsupport::WriteFile(cache + "/S.1.$CP",
                           "Message-ID: <S.1>\r\nReturn-path: from@example.test\r\nRecipient: to@example.test\r\n");
    std::string request = cache + "/S.1.dat";
    request.resize(521, '\0');
    std::string reply;
    ASSERT_EQ(platform::CallNamedPipe("\\\\.\\pipe\\orqsvt", request, 521, reply, platform::kPipeWaitForever, 30000), 0);
    EXPECT_EQ(reply, "Compressed");
    ASSERT_TRUE(sink.Received(1, 20s)) << velqors->out();
    EXPECT_NE(sink.Envelope(1).find("AUTH user " + authPassword + "\n"), std::string::npos);

    velqors->terminate(SIGINT);
    EXPECT_EQ(velqors->wait(30s), 0);
    EXPECT_FALSE(fs::exists(root / "pipes/orqsvt.secret"));
}

namespace {

// A line of /proc/PID/status ("Uid", "CapEff"...), the text after its tab.
std::string StatusField(pid_t pid, const std::string& field) {
    std::istringstream in(ReadFile("/proc/" + std::to_string(pid) + "/status"));
    for (std::string line; std::getline(in, line);)
        if (line.rfind(field + ":\t", 0) == 0) return line.substr(field.size() + 2);
    return "";
}

}  // namespace

TEST_F(VelqorsTest, InstalledAndRunAsRootTheServersLeaveRootAndTheWatchersKeepOnlyTheirCapabilities) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to make the service user";
    for (const char* program : {"orqhprx", "orqcwfs", "orqspam", "orqsvt", "orqfile", "orqmemo"})
        if (!fs::exists(testsupport::BinPath(program))) GTEST_SKIP() << program << " is not built";
    // Its group made here, the user by -install.
    servicetest::ServiceUser user;
    auto added = testsupport::RunCommand("groupadd --system " + user.name + " 2>&1");
    if (added.exitCode != 0) GTEST_SKIP() << "groupadd is not allowed here: " << added.output;
    TempDir units, systemctl, watched;
    fs::create_directories(root / "tmpfiles");
    std::map<std::string, std::string> env{
        {"VELQOR_SYSTEMD_DIR", units.path()},
        {"VELQOR_SYSTEMCTL", testsupport::SourcePath("platform/service/tests/fake-systemctl")},
        {"FAKE_SYSTEMCTL_DIR", systemctl.path()},
        {"VELQOR_GROUP", user.name},
        {"VELQOR_USER", user.name}};
    // The service user must reach the places below the test's folder.
    fs::permissions(root.path(), fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
    auto installer = StartVelqors({"-install"}, env);
    ASSERT_EQ(installer->wait(30s), 0) << installer->out();
    const passwd* entry = ::getpwnam(user.name.c_str());
    ASSERT_NE(entry, nullptr) << installer->out();
    const uid_t uid = entry->pw_uid;
    const std::string unitText = ReadFile(units / "velqorsv2.service");
    for (const char* line : {"\nNoNewPrivileges=yes\n", "\nProtectSystem=full\n", "\nPrivateTmp=yes\n",
                             "\nRestrictAddressFamilies=AF_UNIX AF_INET AF_INET6 AF_NETLINK\n"})
        EXPECT_NE(unitText.find(line), std::string::npos) << unitText;

    for (const char* program : {"orqhprx", "orqcwfs", "orqspam", "orqsvt", "orqfile", "orqmemo"})
        fs::copy_file(testsupport::BinPath(program), install + "/" + program);
    InstallChildren({"orqavs"});  // installed, so the watchers start; not started itself (scanmode 0)
    const int port = testsupport::FreeTcpPort();
    testsupport::WriteFile(root / "data/VELQOR/http.ini", "127.0.0.1 " + std::to_string(port) + "=\r\n");
    Seed({{"http", 1u}, {"httpproxyauth", 0u}, {"httplog", 1u}, {"drivepath", watched.path()}});
    Seed({{"ImagePath", std::string(install + "/velqors")}}, service::kServiceKey);
    TempDir site;
    testsupport::WriteFile(site / "index.html", "hello\n");
    const int upstreamPort = testsupport::FreeTcpPort();
    Process upstream({"/usr/bin/python3", "-m", "http.server", "--bind", "127.0.0.1", std::to_string(upstreamPort)},
                     {{}, site.path(), true});
    ASSERT_TRUE(testsupport::WaitForTcpPort(upstreamPort));

    auto velqors = StartVelqors({"-debug"}, env);
    ASSERT_TRUE(testsupport::WaitForTcpPort(port, 30s)) << velqors->out() << velqors->err();
    ASSERT_TRUE(testsupport::WaitUntil([&] { return !platform::FindProcesses("orqfile", install).empty(); }, 30s));
    auto curl = testsupport::RunCommand("curl -sS -m 10 -x http://127.0.0.1:" + std::to_string(port) +
                                        " http://127.0.0.1:" + std::to_string(upstreamPort) + "/index.html");
    EXPECT_EQ(curl.exitCode, 0) << curl.output << velqors->out();
    EXPECT_EQ(curl.output, "hello\n");

    const std::string asUser = std::to_string(uid);
    const std::string userIds = asUser + "\t" + asUser + "\t" + asUser + "\t" + asUser;
    for (const char* program : {"orqhprx", "orqcwfs", "orqspam", "orqsvt"}) {
        const auto pids = platform::FindProcesses(program, install);
        ASSERT_EQ(pids.size(), 1u) << program << velqors->out();
        EXPECT_EQ(StatusField(pids.front(), "Uid"), userIds) << program;
        EXPECT_EQ(StatusField(pids.front(), "CapEff"), "0000000000000000") << program;
    }
    // CAP_DAC_READ_SEARCH (2), CAP_KILL (5), CAP_SYS_PTRACE (19), nothing else.
    const std::string watcherCaps = "0000000000080024";
    for (const char* program : {"orqfile", "orqmemo"}) {
        const auto pids = platform::FindProcesses(program, install);
        ASSERT_EQ(pids.size(), 1u) << program;
        for (const char* set : {"CapEff", "CapPrm", "CapBnd"})
            EXPECT_EQ(StatusField(pids.front(), set), watcherCaps) << program << " " << set;
    }

    velqors->terminate(SIGINT);
    EXPECT_EQ(velqors->wait(30s), 0) << velqors->out();
    EXPECT_FALSE(AnyChildRunning());
}
