// Servers that cannot start say why and end with exit code 1, instead of
// ending quietly with 0 as a second copy does (or, for the engine,
// answering every request with an error page): started as root, they
// leave it for the service user, and one that cannot then use a folder it
// needs (its pipe folder, the archiver's work folder, the engine's spool
// folder) names it, the user and the reason; one that cannot take its
// single-copy guard says why.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "service_user.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;
using testsupport::Process;
using testsupport::TempDir;

TEST(ServerStartTest, AServerThatCannotUseItsFolderAsTheServiceUserNamesItAndEndsWithOne) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root: it makes a user and starts the servers as root";
    servicetest::ServiceUser user;
    if (const std::string problem = user.Make(); !problem.empty()) GTEST_SKIP() << "useradd: " << problem;

    struct Case {
        const char* program;
        std::vector<std::string> options;
        bool pipesOpen;  // else root's alone
        bool dataOpen;
        const char* closedFolder;  // below the test's folder
    };
    const Case cases[] = {
        {"orqcwfs", {}, false, true, "pipes"},
        {"orqspam", {}, false, true, "pipes"},
        {"orqsvt", {"-x=dat"}, false, true, "pipes"},
        {"orqsvt", {"-x=dat"}, true, false, "data/VELQOR/sorvspool"},
        {"orqhprx", {"-p=0", "-f"}, true, false, "data/VELQOR/cache"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.program) + ", closed: " + c.closedFolder);
        TempDir dir;
        // The user reaches what lies below, as it would below /var/lib.
        ::chmod(dir.path().c_str(), 0711);
        const std::string pipes = dir / "pipes", data = dir / "data";
        for (const std::string& folder : {pipes, data, data + "/VELQOR"}) fs::create_directories(folder);
        ::chmod(data.c_str(), 0755);
        const int port = testsupport::FreeTcpPort();
        testsupport::WriteFile(data + "/VELQOR/http.ini", "127.0.0.1 " + std::to_string(port) + "=\r\n");
        // The folders root made with the usual umask, given to the user
        // where they are open.
        for (const auto& [folder, open] : {std::pair{pipes, c.pipesOpen}, std::pair{data + "/VELQOR", c.dataOpen}}) {
            ::chmod(folder.c_str(), 0755);
            if (open) {
                ASSERT_EQ(testsupport::RunCommand("chown " + user.name + ": '" + folder + "'").exitCode, 0);
            }
        }

        std::vector<std::string> argv{testsupport::BinPath(c.program), "-e=VELQOR_DROP_TEST_ROOT"};
        argv.insert(argv.end(), c.options.begin(), c.options.end());
        Process server(argv, {{{"VELQOR_DROP_TEST_ROOT", data},
                               {"VELQOR_PIPE_DIR", pipes},
                               {"VELQOR_USER", user.name}},
                              dir.path()});
        EXPECT_EQ(server.wait(std::chrono::seconds(30)), 1) << server.out() << server.err();
        const std::string said = server.out() + server.err();
        EXPECT_NE(said.find("cannot use the folder " + (dir / c.closedFolder) + " as " + user.name +
                            ": Permission denied\n"),
                  std::string::npos)
            << said;
    }
}

// (A second copy beside a running one still ends quietly with 0: each
// server's own tests show it.)
TEST(ServerStartTest, AServerWhoseGuardCannotBeTakenSaysWhyAndEndsWithOne) {
    TempDir dir;
    // A file where the pipe folder, which holds the guards, should be.
    const std::string notAFolder = dir / "pipes";
    testsupport::WriteFile(notAFolder, "");
    struct Case {
        const char* program;
        std::vector<std::string> options;
    };
    const Case cases[] = {{"orqcwfs", {}}, {"orqspam", {}}, {"orqsvt", {"-x=dat"}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.program);
        std::vector<std::string> argv{testsupport::BinPath(c.program), "-e=VELQOR_GUARD_TEST_ROOT"};
        argv.insert(argv.end(), c.options.begin(), c.options.end());
        Process server(argv, {{{"VELQOR_GUARD_TEST_ROOT", dir / "data"}, {"VELQOR_PIPE_DIR", notAFolder}}, dir.path()});
        EXPECT_EQ(server.wait(std::chrono::seconds(30)), 1) << server.out() << server.err();
        EXPECT_EQ(server.err().rfind("cannot use the folder " + notAFolder + " as ", 0), 0u) << server.err();
    }
}

}  // namespace
