// The administrators' group shares the registry store, the data folder and
// the pipe folder: as root the test makes a group of its own, shares the
// places with it, and lets user 65534 try them with and without it.
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <thread>

#include "platform/pipe/pipe.h"
#include "platform/registry/registry.h"
#include "service/service_unit.h"
#include "test_support.h"

namespace {

using testsupport::RunCommand;

class PermissionTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (::geteuid() != 0) GTEST_SKIP() << "needs root: it makes a group and runs a probe as user 65534";
        group_ = "velqort" + std::to_string(::getpid());
        auto added = RunCommand("groupadd " + group_ + " 2>&1");
        if (added.exitCode != 0) GTEST_SKIP() << "groupadd is not allowed here: " << added.output;
        groupAdded_ = true;
        struct group* entry = ::getgrnam(group_.c_str());
        ASSERT_NE(entry, nullptr);
        gid_ = entry->gr_gid;
        // User 65534 must reach the places inside the test's folder.
        ::chmod(dir_.path().c_str(), 0755);
        // Sharing makes the service user too: one of the test's own, never a
        // machine-wide "velqor" that every server started beside this test
        // would drop to.
        ::setenv("VELQOR_USER", group_.c_str(), 1);
        ::setenv("VELQOR_REGISTRY_DIR", store().c_str(), 1);
        ::setenv("VELQOR_PIPE_DIR", pipes().c_str(), 1);
        ::setenv("VELQOR_TMPFILES_DIR", tmpfiles().c_str(), 1);
        testsupport::MakeDirs(tmpfiles());
    }
    void TearDown() override {
        if (groupAdded_) {
            RunCommand("userdel " + group_ + " 2>/dev/null");
            RunCommand("groupdel " + group_);
        }
        ::unsetenv("VELQOR_USER");
    }
    std::string store() const { return dir_ / "store"; }
    std::string data() const { return dir_ / "data/VELQOR"; }
    std::string pipes() const { return dir_ / "pipes"; }
    std::string tmpfiles() const { return dir_ / "tmpfiles"; }

    // What the probe could do as user 65534, with or without the group.
    std::string Probe(bool withGroup) {
        std::string groups = withGroup ? "--groups=" + std::to_string(gid_) : "--clear-groups";
        auto run = RunCommand("setpriv --reuid=65534 --regid=65534 " + groups + " " +
                              std::string(VELQOR_TEST_BIN_DIR) + "/permission-probe" + " 2>&1");
        EXPECT_EQ(run.exitCode, 0) << run.output;
        return run.output;
    }

    testsupport::TempDir dir_;
    std::string group_;
    gid_t gid_ = 0;
    bool groupAdded_ = false;
};

TEST_F(PermissionTest, MembersOfTheGroupUseTheStoreTheGuardAndRootsPipesOthersNot) {
    // Places an earlier run made as root with the usual umask.
    mode_t old = ::umask(0022);
    {
        platform::HKEY key = nullptr;
        ASSERT_EQ(platform::RegCreateKeyExA(platform::HKEY_LOCAL_MACHINE, "SOFTWARE\\TAVRISK\\VELQOR_SERVER", 0, nullptr,
                                            platform::REG_OPTION_NON_VOLATILE, platform::KEY_ALL_ACCESS, nullptr, &key,
                                            nullptr),
                  0);
        platform::RegCloseKey(key);
    }
    testsupport::MakeDirs(data() + "/cache");
    testsupport::WriteFile(data() + "/http.ini", "=,8080,\n");
    ::umask(0007);

    std::string problems;
    ASSERT_TRUE(service::ShareWithGroup(gid_, data(), problems)) << problems;
    for (const std::string& place : {store(), data(), data() + "/cache", pipes()}) {
        struct stat st;
        ASSERT_EQ(::stat(place.c_str(), &st), 0) << place;
        EXPECT_EQ(st.st_mode & 07777, 02770u) << place;
        EXPECT_EQ(st.st_uid, 0u) << place;
        EXPECT_EQ(st.st_gid, gid_) << place;
    }
    struct stat file;
    ASSERT_EQ(::stat((data() + "/http.ini").c_str(), &file), 0);
    EXPECT_EQ(file.st_mode & 0777, 0660u);
    EXPECT_EQ(file.st_gid, gid_);
    EXPECT_EQ(testsupport::ReadFile(tmpfiles() + "/velqor.conf"), "d " + pipes() + " 2770 root velqor -\n");

    // Root serves a pipe in the shared folder.
    int error = 0;
    auto server = platform::PipeServer::Create("orqprobe", 512, &error);
    ASSERT_NE(server, nullptr) << error;
    std::thread serving([&] {
        while (server->ServeOne([](const std::string&, int) { return std::optional<std::string>("ok"); })) {
        }
    });
    std::string member = Probe(true);
    std::string other = Probe(false);
    server->Stop();
    serving.join();
    ::umask(old);

    EXPECT_EQ(member, "registry 0\nguard 0\npipe 0 ok\n");
    // Refused: each place is closed to others.
    EXPECT_EQ(other.find("registry 0\n"), std::string::npos) << other;
    EXPECT_EQ(other.find("guard 0\n"), std::string::npos) << other;
    EXPECT_EQ(other.find("pipe 0"), std::string::npos) << other;
}

}  // namespace
