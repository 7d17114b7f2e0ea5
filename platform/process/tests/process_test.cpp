#include "platform/process/process.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>

#include "test_support.h"

using namespace std::chrono_literals;
namespace fs = std::filesystem;
using testsupport::TempDir;

namespace {

// A copy of sleep under another file name, so the kernel shows that name.
std::string ProgramCopy(const TempDir& dir, const std::string& name, const std::string& from = "/bin/sleep") {
    std::string path = dir / name;
    fs::copy_file(from, path, fs::copy_options::overwrite_existing);
    fs::permissions(path, fs::perms::owner_all);
    return path;
}

bool Contains(const std::vector<pid_t>& pids, pid_t pid) {
    return std::find(pids.begin(), pids.end(), pid) != pids.end();
}

void EndAndReap(pid_t pid) {
    platform::TerminateProcess(pid, true);
    testsupport::WaitUntil([&] { platform::ReapChildren(); return ::kill(pid, 0) != 0; }, 5s);
}

}  // namespace

TEST(ProcessNameTest, MatchesTheKernelsCutNameWithoutCase) {
    struct Case { const char* comm; const char* name; bool match; };
    const Case cases[] = {
        {"orqhprx", "orqhprx", true},
        {"ORQHPRX", "orqhprx", true},
        {"orqhprx", "orqhprx2", false},
        {"orqhprx2", "orqhprx", false},
        {"a-rather-long-p", "a-rather-long-program", true},
        {"a-rather-long-p", "a-rather-long-p", true},
        {"a-rather-long-x", "a-rather-long-program", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(platform::ProcessNameMatches(c.comm, c.name), c.match) << c.comm << " / " << c.name;
}

TEST(ProcessListTest, FindsByStartedNameLongNamesAndSymlinksWithinTheirFolder) {
    TempDir dir, other;
    ProgramCopy(dir, "orqhprx");
    fs::create_symlink("orqhprx", dir / "orqsprx");
    ProgramCopy(dir, "a-rather-long-program");
    pid_t viaLink = platform::StartChild(dir / "orqsprx", {"orqsprx", "30"});
    pid_t longName = platform::StartChild(dir / "a-rather-long-program", {"a-rather-long-program", "30"});
    ASSERT_GT(viaLink, 0);
    ASSERT_GT(longName, 0);

    ASSERT_TRUE(testsupport::WaitUntil([&] { return Contains(platform::FindProcesses("ORQSPRX", dir.path()), viaLink); }));
    EXPECT_FALSE(Contains(platform::FindProcesses("orqhprx", dir.path()), viaLink));
    EXPECT_FALSE(Contains(platform::FindProcesses("orqsprx", other.path()), viaLink));
    EXPECT_TRUE(Contains(platform::FindProcesses("orqsprx"), viaLink));
    ASSERT_TRUE(testsupport::WaitUntil([&] {
        return Contains(platform::FindProcesses("a-rather-long-program", dir.path()), longName); }));

    EXPECT_TRUE(platform::TerminateProcess(viaLink, false));
    EXPECT_TRUE(testsupport::WaitUntil([&] { return platform::FindProcesses("orqsprx", dir.path()).empty(); }));
    // The next listing collects the exit status: the pid is no child of ours any more.
    platform::ListProcesses();
    EXPECT_EQ(::waitpid(viaLink, nullptr, WNOHANG), -1);
    EndAndReap(longName);
}

TEST(ProcessListTest, AScriptIsFoundByTheFolderOfTheScriptNotOfItsInterpreter) {
    TempDir dir, other;
    // Started by a relative name, as the service starts its children, and
    // moving elsewhere at once.
    const std::string script = "#!/bin/sh\ncd /\nwhile :; do sleep 0.2; done\n";
    for (const TempDir* where : {&dir, &other}) {
        testsupport::WriteFile(*where / "orqavs", script);
        fs::permissions(*where / "orqavs", fs::perms::owner_all);
    }
    pid_t here = platform::StartChild("./orqavs", {"orqavs", "-e=ALLUSERSPROFILE"}, dir.path());
    pid_t there = platform::StartChild(other / "orqavs", {"orqavs"});
    ASSERT_GT(here, 0);
    ASSERT_GT(there, 0);
    EXPECT_TRUE(testsupport::WaitUntil([&] {
        auto found = platform::FindProcesses("orqavs", dir.path());
        return found == std::vector<pid_t>{here};
    })) << testsupport::RunCommand("ps -o pid,args -C orqavs").output;
    EXPECT_EQ(platform::FindProcesses("orqavs", other.path()), std::vector<pid_t>{there});
    EndAndReap(here);
    EndAndReap(there);
}

TEST(ProcessListTest, AZombieCountsAsGone) {
    TempDir dir;
    ProgramCopy(dir, "zombiekid", "/bin/true");
    ProgramCopy(dir, "zombieparent");
    // The parent never collects its child, which ends at once.
    std::string script = "'" + (dir / "zombiekid") + "' & exec '" + (dir / "zombieparent") + "' 30";
    pid_t parent = platform::StartChild("/bin/sh", {"sh", "-c", script});
    ASSERT_GT(parent, 0);
    ASSERT_TRUE(testsupport::WaitUntil([&] { return !platform::FindProcesses("zombieparent").empty(); }));
    bool sawZombie = testsupport::WaitUntil([&] {
        return testsupport::RunCommand("ps -eo stat=,comm= | grep -q '^Z.*zombiekid'").exitCode == 0; }, 5s);
    ASSERT_TRUE(sawZombie);
    EXPECT_TRUE(platform::FindProcesses("zombiekid").empty());
    EndAndReap(parent);
}

TEST(StartChildTest, PassesEachArgumentWholeInTheWorkFolderWithDefaultSignals) {
    TempDir dir, work;
    std::string out = dir / "out";
    // The child writes its arguments one a line, its folder, and the masks
    // of blocked and ignored signals it was started with.
    std::string script = "{ for a in \"$@\"; do printf '[%s]\\n' \"$a\"; done; pwd; } > '" + out +
                         "'; exec grep -E '^Sig(Blk|Ign)' /proc/self/status >> '" + out + "'";
    sigset_t block, saved;
    sigemptyset(&block);
    sigaddset(&block, SIGTERM);
    sigaddset(&block, SIGINT);
    ::pthread_sigmask(SIG_BLOCK, &block, &saved);
    auto oldPipe = ::signal(SIGPIPE, SIG_IGN);
    pid_t pid = platform::StartChild("/bin/sh", {"sh", "-c", script, "sh", "-b=C:/Backup Folder", "", "-l=\"x\""}, work.path());
    ::signal(SIGPIPE, oldPipe);
    ::pthread_sigmask(SIG_SETMASK, &saved, nullptr);
    ASSERT_GT(pid, 0);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    platform::ReapChildren();
    std::string text = testsupport::ReadFile(out);
    EXPECT_EQ(text.substr(0, text.find("Sig")),
              "[-b=C:/Backup Folder]\n[]\n[-l=\"x\"]\n" + fs::canonical(work.path()).string() + "\n");
    // The classic signals (1-31) start unblocked and not ignored; the C
    // library keeps its own internal ones to itself.
    for (const char* field : {"SigBlk:\t", "SigIgn:\t"}) {
        size_t at = text.find(field);
        ASSERT_NE(at, std::string::npos) << field;
        unsigned long long mask = std::stoull(text.substr(at + 8, 16), nullptr, 16);
        EXPECT_EQ(mask & 0x7fffffffULL, 0u) << text;
    }
}

TEST(StartChildTest, AMissingProgramFailsAndNothingLingersAfterReaping) {
    errno = 0;
    EXPECT_EQ(platform::StartChild("/nonexistent/orqhprx", {"orqhprx"}), -1);
    EXPECT_EQ(errno, ENOENT);

    pid_t pid = platform::StartChild("/bin/true", {"true"});
    ASSERT_GT(pid, 0);
    EXPECT_TRUE(testsupport::WaitUntil([&] {
        platform::ReapChildren();
        return ::waitpid(pid, nullptr, WNOHANG) == -1 && errno == ECHILD; }));
}

TEST(StartChildTest, EndedChildrenAreToldWithTheirStatusOnceWhoeverCollectedThem) {
    platform::TakeEndedChildren();
    pid_t failing = platform::StartChild("/bin/sh", {"sh", "-c", "exit 3"});
    pid_t killed = platform::StartChild("/bin/sleep", {"sleep", "60"});
    ASSERT_GT(failing, 0);
    ASSERT_GT(killed, 0);
    platform::TerminateProcess(killed, true);
    std::vector<platform::EndedChild> ended;
    // A process listing collects them as well as ReapChildren does.
    ASSERT_TRUE(testsupport::WaitUntil([&] {
        platform::ListProcesses();
        for (const auto& child : platform::TakeEndedChildren()) ended.push_back(child);
        return ended.size() == 2;
    }));
    std::sort(ended.begin(), ended.end(),
              [&](const auto& a, const auto& b) { return a.pid == failing && b.pid != failing; });
    EXPECT_EQ(ended[0].pid, failing);
    EXPECT_TRUE(WIFEXITED(ended[0].status) && WEXITSTATUS(ended[0].status) == 3);
    EXPECT_EQ(ended[1].pid, killed);
    EXPECT_TRUE(WIFSIGNALED(ended[1].status) && WTERMSIG(ended[1].status) == SIGKILL);
    EXPECT_TRUE(platform::TakeEndedChildren().empty());
}

TEST(RunProgramTest, ReturnsOutputAndExitCodeAndKillsAnOverrunningProgram) {
    auto r = platform::RunProgram({"sh", "-c", "echo out; echo err >&2; exit 3"});
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_EQ(r.output, "out\nerr\n");

    auto start = std::chrono::steady_clock::now();
    auto slow = platform::RunProgram({"sleep", "30"}, 300ms);
    EXPECT_EQ(slow.exitCode, -1);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);

    EXPECT_EQ(platform::RunProgram({"/nonexistent/systemctl"}).exitCode, -1);
}
