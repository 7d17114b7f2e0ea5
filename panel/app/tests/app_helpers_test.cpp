#include <gtest/gtest.h>

#include <cstdlib>

#include "engine/tests/avstub/avstub.h"
#include "panel/app/running_programs.h"
#include "panel/app/scan_request.h"
#include "panel/framework/help_viewer.h"
#include "panel/framework/outside_program.h"
#include "panel/framework/user_language.h"
#include "panel_test_support.h"
#include "platform/codepage/codepage.h"

namespace {

using namespace panel;

class SmallOpsTest : public paneltest::PanelTest {
protected:
    std::string stubLog() const { return dir_ / "scan-requests.log"; }
    avstub::Options stubOptions(const std::string& reply) const {
        avstub::Options o;
        o.pipeDir = pipeDir();
        o.logFile = stubLog();
        o.fixedReply = reply;
        return o;
    }
};

TEST_F(SmallOpsTest, ScanRequestCarriesTheFileNameBytes) {
    struct Case {
        std::string stubReply;
        std::string expectedReply;
    } cases[] = {
        {"pASSWORD-protected-exe", ""},
        {"Password-protected-EXE-2", "Password-protected-EXE-2"},
        {"EICAR-Test-File", "EICAR-Test-File"},
        {"ウイルス名", "ウイルス名"},
    };
    const std::string path = dir_ / "検査 対象.exe";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stubReply);
        auto stub = avstub::Start(stubOptions(c.stubReply));
        std::string reply = "stale";
        EXPECT_EQ(AvScanRequest(path, reply), 1);
        EXPECT_EQ(reply, c.expectedReply);
        stub->terminate();
        stub->wait();
    }
    // Each request: the plain 512-byte form with the file-name bytes as they are.
    std::string line = "512\t-\t" + path + "\n";
    EXPECT_EQ(testsupport::ReadFile(stubLog()), line + line + line + line);
}

TEST_F(SmallOpsTest, ScanRequestFailsWithoutAServerAndForAPathThatDoesNotFit) {
    std::string reply = "stale";
    EXPECT_EQ(AvScanRequest(dir_ / "file.dat", reply), 0) << "nobody serves the pipe";
    EXPECT_EQ(reply, "");

    auto stub = avstub::Start(stubOptions("AVS_ACCESSDENIED"));
    std::string longPath = "/" + std::string(599, 'a');
    EXPECT_EQ(AvScanRequest(longPath, reply), -1);
    EXPECT_EQ(reply, "");
    std::string fits = "/" + std::string(510, 'b');
    EXPECT_EQ(AvScanRequest(fits, reply), 1);
    EXPECT_EQ(reply, "AVS_ACCESSDENIED");
    EXPECT_EQ(testsupport::ReadFile(stubLog()), "512\t-\t" + fits + "\n") << "the long path was never sent";
}

TEST_F(SmallOpsTest, ExpandShellCommandGivesTheProgramPath) {
    ::setenv("VELQOR_T_ROOT", "/usr/lib/viewer", 1);
    ::setenv("VELQOR_T_SUB", "bin", 1);
    struct Case {
        const char* command;
        const char* expected;
    } cases[] = {
        {"\"%VELQOR_T_ROOT%/hh\" %1", "/usr/lib/viewer/hh"},
        {"\"/opt/help viewer/hh\" \"%1\"", "/opt/help viewer/hh"},
        {"\"/a/%VELQOR_T_ROOT%/mid/%VELQOR_T_SUB%/hh\" %1", "/a//usr/lib/viewer/mid/bin/hh"},
        {"\"xdg-open\" \"%1\"", "xdg-open"},
        {"/usr/bin/viewer\r\n", "/usr/bin/viewer"},
        {"", ""},
    };
    for (const Case& c : cases) EXPECT_EQ(ExpandShellCommand(c.command), c.expected) << c.command;
    // No buffer to overrun: a long expansion comes out whole.
    std::string longValue(5000, 'v');
    ::setenv("VELQOR_T_LONG", longValue.c_str(), 1);
    EXPECT_EQ(ExpandShellCommand("\"/%VELQOR_T_LONG%/x\" %1"), "/" + longValue + "/x");
}

TEST_F(SmallOpsTest, LanguageFollowsTheFirstSetLocaleVariable) {
    struct Case {
        const char* all;
        const char* messages;
        const char* lang;
        int expected;
    } cases[] = {
        {"", "", "ja_JP.UTF-8", 1041}, {"", "", "ja", 1041},          {"C", "", "ja_JP.UTF-8", 1033},
        {"", "ja_JP", "C", 1041},      {"", "", "C", 1033},           {"", "", "", 1033},
        {"", "", "jam_XX", 1033},      {"", "en_US.UTF-8", "ja", 1033},
    };
    for (const Case& c : cases) {
        ::setenv("LC_ALL", c.all, 1);
        ::setenv("LC_MESSAGES", c.messages, 1);
        ::setenv("LANG", c.lang, 1);
        EXPECT_EQ(GetUserDefaultLangID(), c.expected) << c.all << "/" << c.messages << "/" << c.lang;
    }
}

TEST_F(SmallOpsTest, ProcessAbsentCountsProgramsOfTheProgramFolderOnly) {
    std::string inFolder = programFolder() + "/orqavs";
    std::string elsewhere = dir_ / "orqspam";
    testsupport::RunCommand("cp /bin/sleep '" + inFolder + "' && cp /bin/sleep '" + elsewhere + "'");
    EXPECT_TRUE(IsProcessAbsent("orqavs.exe"));
    testsupport::Process scanner({inFolder, "30"}, {});
    testsupport::Process other({elsewhere, "30"}, {});
    ASSERT_TRUE(testsupport::WaitUntil([&] { return !IsProcessAbsent("ORQAVS.EXE"); }));
    EXPECT_FALSE(IsProcessAbsent("orqavs"));
    EXPECT_TRUE(IsProcessAbsent("orqspam.exe")) << "same name, other folder";
}

TEST_F(SmallOpsTest, HelpOpensTheIndexBesideTheProgramInTheOpener) {
    // An opener override is a command prefix, split at blanks.
    std::string opener = Recorder("opener", dir_.path());
    ::setenv("VELQOR_OPENER", opener.c_str(), 1);
    EXPECT_TRUE(ShowHelpIndex());
    EXPECT_EQ(RecordedArguments(opener),
              std::vector<std::string>{programFolder() + "/velqorctl.help/html/index.html"});
    ::unsetenv("VELQOR_OPENER");
    ReapOutsidePrograms();
}

}  // namespace
