#include "panel/framework/list_file_edit.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

#include "common/list_file.h"
#include "panel/framework/outside_program.h"
#include "panel_test_support.h"

namespace {

using namespace panel;

class ListFileEditTest : public paneltest::PanelTest {
protected:
    void SetUp() override {
        PanelTest::SetUp();
        testsupport::MakeDirs(dataFolder());
        editor_ = Recorder("editor", dir_.path());
        ::setenv("VELQOR_EDITOR", editor_.c_str(), 1);
        SetLanguage("ja_JP.UTF-8");
    }
    void TearDown() override {
        ::unsetenv("VELQOR_EDITOR");
        ReapOutsidePrograms();
    }
    static void SetLanguage(const char* lang) {
        ::setenv("LC_ALL", "", 1);
        ::setenv("LC_MESSAGES", "", 1);
        ::setenv("LANG", lang, 1);
    }
    // Opens the file as the page button does and waits for the editor.
    std::vector<std::string> Edit(const std::string& name, ListPage page = ListPage::Http) {
        ::unlink((editor_ + ".args").c_str());
        EditListFile(name, WebListTemplate(name, page));
        return RecordedArguments(editor_);
    }
    static std::string Fixture(const std::string& name) {
        return testsupport::ReadFile(testsupport::SourcePath("panel/framework/tests/fixtures/" + name));
    }

    std::string editor_;
};

TEST_F(ListFileEditTest, NewFilesGetTheirHeaderAndRowsByteForByte) {
    struct Case {
        const char* file;
        ListPage page;
        const char* fixture;
    } cases[] = {
        {"http-con.ini", ListPage::Http, "http-con.ini"},
        {"ftp-con.ini", ListPage::Http, "http-con.ini"},
        {"socks-con.ini", ListPage::Socks, "http-con.ini"},
        {"no-cache.db", ListPage::Http, "no-cache.db"},
        {"black.db", ListPage::Socks, "black.db"},
        {"http-dnsbl.db", ListPage::Http, "http-dnsbl.db"},
        {"socks-dnsbl.db", ListPage::Socks, "http-dnsbl.db"},
        {"cwf.db", ListPage::Http, "cwf.db"},
        {"socks-ptl.ini", ListPage::Socks, "socks-ptl.ini"},
        {"foundvirus.html", ListPage::Http, "foundvirus.html"},
        {"foundword.html", ListPage::Http, "foundword.html"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        std::string path = dataFolder() + c.file;
        // The data folder's blank stays inside the one argument.
        EXPECT_EQ(Edit(c.file, c.page), std::vector<std::string>{path});
        EXPECT_EQ(testsupport::ReadFile(path), Fixture(c.fixture));
    }
    std::string protocols = testsupport::ReadFile(dataFolder() + "socks-ptl.ini");
    EXPECT_EQ(std::count(protocols.begin(), protocols.end(), '\n'), 33);
    std::string virus = testsupport::ReadFile(dataFolder() + "foundvirus.html");
    size_t places = 0;
    for (size_t at = virus.find("%s"); at != std::string::npos; at = virus.find("%s", at + 1)) ++places;
    EXPECT_EQ(places, 2u);
    EXPECT_EQ(virus.find("%%"), std::string::npos);
    EXPECT_EQ(virus.substr(virus.size() - 5), "\r\r\n\r\n");
    // No temporary file is left beside them.
    auto left = testsupport::RunCommand("ls -a '" + dataFolder() + "' | grep -c tmp");
    EXPECT_EQ(left.output, "0\n");
}

TEST_F(ListFileEditTest, WhiteListRowsDependOnTheFirstPageAndReadAsEntries) {
    struct Case {
        ListPage page;
        const char* fixture;
        size_t entries;
    } cases[] = {{ListPage::Http, "white.db.http", 12}, {ListPage::Socks, "white.db.socks", 11}};
    for (const Case& c : cases) {
        ::unlink((dataFolder() + "white.db").c_str());
        Edit("white.db", c.page);
        EXPECT_EQ(testsupport::ReadFile(dataFolder() + "white.db"), Fixture(c.fixture));
        // What the proxy engine's list reader makes of it: the rows only.
        auto entries = common::ReadListFile(dataFolder() + "white.db", common::ListFileRules{});
        ASSERT_TRUE(entries.has_value());
        ASSERT_EQ(entries->size(), c.entries);
        EXPECT_EQ(entries->front(), "http://*.htm");
        EXPECT_EQ(entries->back(), c.entries == 12 ? "http://*.wma" : "http://*.bmp");
    }
    // The second page to open it finds it made and changes nothing.
    Edit("white.db", ListPage::Http);
    EXPECT_EQ(testsupport::ReadFile(dataFolder() + "white.db"), Fixture("white.db.socks"));
}

TEST_F(ListFileEditTest, OtherLanguagesGetAnEmptyFile) {
    SetLanguage("C");
    for (const char* file : {"white.db", "socks-ptl.ini", "foundvirus.html"}) {
        Edit(file);
        EXPECT_TRUE(testsupport::FileExists(dataFolder() + file)) << file;
        EXPECT_EQ(testsupport::ReadFile(dataFolder() + file), "") << file;
    }
}

TEST_F(ListFileEditTest, AnExistingFileIsOpenedUnchanged) {
    struct Case {
        const char* file;
        std::string content;
    } cases[] = {
        {"black.db", ""},
        {"white.db", "http://own.example/\n' no CR LF here\r\n\xff\xfe"},
        {"socks-ptl.ini", std::string("*:80,0,0,http\0tail", 18)},
    };
    for (const Case& c : cases) {
        testsupport::WriteFile(dataFolder() + c.file, c.content);
        EXPECT_EQ(Edit(c.file), std::vector<std::string>{dataFolder() + c.file});
        EXPECT_EQ(testsupport::ReadFile(dataFolder() + c.file), c.content) << c.file;
    }
}

// A file the panel may write but not read (mode 0222) exists all the same:
// it must not be made again, which would empty it.
TEST_F(ListFileEditTest, AFileThatCannotBeReadIsNotRecreated) {
    const std::string path = dataFolder() + "cwf.db";
    testsupport::WriteFile(path, "*secret word*\r\n");
    for (std::string folder = dataFolder(); folder.size() > dir_.path().size(); folder.pop_back())
        if (folder.back() == '/') ::chmod(folder.c_str(), 0777);
    ::chmod(dir_.path().c_str(), 0755);
    ::chmod(path.c_str(), 0222);
    ::setenv("VELQOR_EDITOR", "/bin/true", 1);
    pid_t child = ::fork();
    if (child == 0) {
        // Root reads through any permission: the panel runs as nobody here.
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(2);
        if (::access(path.c_str(), R_OK) == 0) ::_exit(3);
        EditListFile("cwf.db", WebListTemplate("cwf.db"));
        ::_exit(0);
    }
    int status = -1;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_EQ(WEXITSTATUS(status), 0);
    ::chmod(path.c_str(), 0644);
    EXPECT_EQ(testsupport::ReadFile(path), "*secret word*\r\n");
}

TEST_F(ListFileEditTest, WithoutTheDataFolderNothingIsWrittenAndTheEditorStillOpens) {
    testsupport::RunCommand("rm -rf '" + dataRoot() + "'");
    EXPECT_EQ(Edit("black.db"), std::vector<std::string>{dataFolder() + "black.db"});
    EXPECT_FALSE(testsupport::FileExists(dataRoot()));
}

}  // namespace
