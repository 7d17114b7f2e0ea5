// orqbackup as an administrator and the control panel run it: a whole
// backup and restore of the current generation, the migration from the
// older one, the target prompt and the runs that must fail loudly.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "platform/registry/registry.h"
#include "test_support.h"
#include "tools/backup/reg_file_format.h"

namespace {

using namespace platform;
using testsupport::ReadFile;
using testsupport::RunCommand;
using testsupport::WriteFile;

constexpr char16_t kCurrent[] = u"SOFTWARE\\TAVRISK\\VELQOR_SERVER";
constexpr char16_t kOlder[] = u"SOFTWARE\\QUESSAT\\MORVASK";

std::vector<uint8_t> Wide(std::u16string_view text) { return backup::Utf16Bytes(text, true); }

class OrqbackupTest : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("VELQOR_REGISTRY_DIR", Registry().c_str(), 1);
        testsupport::MakeDirs(dir_ / "root");
    }
    void TearDown() override { unsetenv("VELQOR_REGISTRY_DIR"); }

    std::string Registry() const { return dir_ / "registry"; }
    std::string Root() const { return dir_ / "root"; }

    static void Set(const std::u16string& key, const std::u16string& name, DWORD type, const std::vector<uint8_t>& data) {
        HKEY handle = nullptr;
        ASSERT_EQ(kErrorSuccess, RegCreateKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                                 nullptr, &handle, nullptr));
        ASSERT_EQ(kErrorSuccess,
                  RegSetValueExW(handle, name.c_str(), 0, type, data.data(), static_cast<DWORD>(data.size())));
        RegCloseKey(handle);
    }

    static bool Get(const std::u16string& key, const std::u16string& name, DWORD& type, std::vector<uint8_t>& data) {
        HKEY handle = nullptr;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ, &handle) != kErrorSuccess) return false;
        DWORD size = 0;
        LONG rc = RegQueryValueExW(handle, name.c_str(), nullptr, &type, nullptr, &size);
        data.assign(size, 0);
        if (rc == kErrorSuccess) rc = RegQueryValueExW(handle, name.c_str(), nullptr, &type, data.data(), &size);
        RegCloseKey(handle);
        return rc == kErrorSuccess;
    }

    // Runs orqbackup in `cwd` with standard input from `input` (a file).
    testsupport::CommandResult Run(const std::string& args, const std::string& cwd, const std::string& input = "/dev/null") {
        return RunCommand("cd '" + cwd + "' && LANG=C.UTF-8 LC_ALL=C.UTF-8 ALLUSERSPROFILE='" + Root() +
                              "' VELQOR_REGISTRY_DIR='" + Registry() + "' " + testsupport::BinPath("orqbackup") + " " +
                              args + " < '" + input + "' 2>&1",
                          std::chrono::seconds(120));
    }

    testsupport::TempDir dir_;
};

TEST_F(OrqbackupTest, BackupThenRestoreOfTheCurrentGenerationGivesBackEveryValueAndFile) {
    std::vector<uint8_t> binary;
    for (int i = 0; i < 40; ++i) binary.push_back(static_cast<uint8_t>(0xc0 + i));
    const std::vector<uint8_t> dword24 = {24, 0, 0, 0};
    const std::vector<uint8_t> multi = Wide(std::u16string_view(u"一\0two\0", 6));
    struct Value {
        std::u16string key, name;
        DWORD type;
        std::vector<uint8_t> data;
        DWORD typeBack;
    } values[] = {
        {kCurrent, u"Timeout", REG_DWORD, dword24, REG_DWORD},
        {kCurrent, u"Name", REG_SZ, Wide(u"管理者のメモ"), REG_SZ},
        {kCurrent, u"Expand", REG_EXPAND_SZ, Wide(u"%ALLUSERSPROFILE%/VELQOR"), REG_SZ},
        {kCurrent, u"BinaryTen_", REG_BINARY, binary, REG_BINARY},
        {kCurrent, u"Multi", REG_MULTI_SZ, multi, REG_MULTI_SZ},
        {kCurrent, u"Quote", REG_SZ, Wide(u"say \"hi\""), REG_SZ},
        {kCurrent, u"Lines", REG_SZ, Wide(u"one\r\ntwo"), REG_SZ},
        {kCurrent, u"Accent", REG_SZ, Wide(u"caf\u00e9"), REG_SZ},
        {kCurrent, u"Long", REG_SZ, Wide(std::u16string(3000, u'L')), REG_SZ},
        {std::u16string(kCurrent) + u"\\sub", u"inner", REG_SZ, Wide(u"below"), REG_SZ},
    };
    for (const Value& v : values) Set(v.key, v.name, v.type, v.data);
    Set(kCurrent, u"ImagePath", REG_SZ, Wide(u"/nowhere/orqhprx"));
    Set(kCurrent, u"", REG_SZ, Wide(u"unnamed"));

    const std::string data = Root() + "/VELQOR";
    testsupport::MakeDirs(data + "/a/b/c");
    WriteFile(data + "/http.ini", "127.0.0.1 8080=, ,office\r\n");
    WriteFile(data + "/a/b/c/日本語の名前.txt", "中身");
    WriteFile(data + "/a/big.bin", std::string(5 << 20, 'z'));
    chmod((data + "/a/big.bin").c_str(), 0640);
    ASSERT_EQ(0, symlink("a/b/c", (data + "/link").c_str()));
    ASSERT_EQ(0, mkfifo((data + "/a/fifo").c_str(), 0600));

    const std::string target = dir_ / "t/bk";
    auto backupRun = Run("-v=2 -o -t=" + target, dir_.path());
    ASSERT_EQ(backupRun.exitCode, 0) << backupRun.output;
    EXPECT_NE(backupRun.output.find("Backup completed."), std::string::npos);
    EXPECT_NE(backupRun.output.find("Skip [" + data + "/a/fifo]"), std::string::npos);
    EXPECT_NE(backupRun.output.find("何かキーを押してください。"), std::string::npos);

    const std::string regFile = target + "/backup/velqor-v2.reg";
    const std::string text = ReadFile(regFile);
    ASSERT_EQ(text.rfind("REGEDIT4\r\n", 0), 0u) << text.substr(0, 40);
    for (size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', at + 1))
        ASSERT_EQ(text[at - 1], '\r') << "bare LF at " << at;
    EXPECT_EQ(RunCommand("iconv -f CP932 -t UTF-8 '" + regFile + "' > /dev/null").exitCode, 0);
    EXPECT_NE(text.find("\r\n\"Timeout\"=dword:0x00000018\r\n"), std::string::npos);
    EXPECT_NE(text.find("\"BinaryTen_\"=hex:c0,c1,c2,c3,c4,c5,c6,c7,c8,c9,ca,cb,cc,cd,ce,cf,d0,d1,d2,d3,\\\r\n"
                        "  d4,d5,d6,d7,d8,d9,da,db,dc,dd,de,df,e0,e1,e2,e3,e4,e5,e6,e7\r\n"),
              std::string::npos);
    EXPECT_EQ(text.find("ImagePath"), std::string::npos);
    EXPECT_EQ(text.find("unnamed"), std::string::npos);
    EXPECT_EQ(RunCommand("diff -r --no-dereference -x backup -x fifo '" + data + "' '" + target + "'").exitCode, 0);

    // Everything gone, then the restore.
    ASSERT_EQ(RunCommand("rm -rf '" + Registry() + "' '" + data + "'").exitCode, 0);
    auto restoreRun = Run("-i -v=2 -t=" + target, dir_.path());
    ASSERT_EQ(restoreRun.exitCode, 0) << restoreRun.output;
    EXPECT_NE(restoreRun.output.find("Restore completed."), std::string::npos);
    for (const Value& v : values) {
        SCOPED_TRACE(std::string(v.name.begin(), v.name.end()));
        DWORD type = 0;
        std::vector<uint8_t> back;
        ASSERT_TRUE(Get(v.key, v.name, type, back));
        EXPECT_EQ(type, v.typeBack);
        EXPECT_EQ(back, v.data);
    }
    auto diff = RunCommand("diff -r --no-dereference -x backup '" + target + "' '" + data + "'");
    EXPECT_EQ(diff.exitCode, 0) << diff.output;
    struct stat st;
    ASSERT_EQ(0, lstat((data + "/link").c_str(), &st));
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    ASSERT_EQ(0, stat((data + "/a/big.bin").c_str(), &st));
    EXPECT_EQ(st.st_mode & 0777, 0640u);
}

TEST_F(OrqbackupTest, MigrationAsTheControlPanelStartsItTakesTheOlderSettingsOver) {
    Set(kOlder, u"cachesize", REG_DWORD, {60, 0, 0, 0});
    Set(std::u16string(kOlder) + u"\\child", u"word", REG_SZ, Wide(u"古い設定"));
    testsupport::MakeDirs(Root() + "/PELLORA/backup");
    WriteFile(Root() + "/PELLORA/http.ini", "old list\r\n");
    WriteFile(Root() + "/PELLORA/backup/keep.txt", "kept");

    auto run = Run("-v=12 -o", dir_.path());
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_NE(run.output.find("Backup completed."), std::string::npos);
    EXPECT_NE(run.output.find("Restore completed."), std::string::npos);
    const std::string file = ReadFile(dir_ / "backup/velqor-v2.reg");
    EXPECT_NE(file.find("[HKEY_LOCAL_MACHINE\\SOFTWARE\\TAVRISK\\VELQOR_SERVER\\child]"), std::string::npos);

    DWORD type = 0;
    std::vector<uint8_t> data;
    ASSERT_TRUE(Get(kCurrent, u"cachesize", type, data));
    EXPECT_EQ(data, (std::vector<uint8_t>{60, 0, 0, 0}));
    ASSERT_TRUE(Get(std::u16string(kCurrent) + u"\\child", u"word", type, data));
    EXPECT_EQ(data, Wide(u"古い設定"));
    EXPECT_EQ(ReadFile(Root() + "/VELQOR/http.ini"), "old list\r\n");
    EXPECT_EQ(ReadFile(Root() + "/VELQOR/backup/keep.txt"), "kept");
}

TEST_F(OrqbackupTest, PromptsOtherModesAndRunsThatFail) {
    Set(kCurrent, u"x", REG_DWORD, {1, 0, 0, 0});
    testsupport::MakeDirs(Root() + "/VELQOR");
    WriteFile(Root() + "/VELQOR/http.ini", "list\r\n");
    WriteFile(dir_ / "plain-file", "not a folder");
    WriteFile(dir_ / "typed.txt", "  " + (dir_ / "typed") + "\n");
    WriteFile(dir_ / "empty.txt", "\n");
    testsupport::MakeDirs(dir_ / "nothing-here");
    struct Case {
        const char* what;
        std::string args, input;
        int exitCode;
        std::vector<std::string> seen, unseen;
    } cases[] = {
        {"mode 3 does nothing", "-v=3", "/dev/null", 0, {"nZRev = 3"}, {"completed"}},
        {"-t asks for the target", "-v=2 -t", dir_ / "typed.txt", 0,
         {"保存先をフルパスで指定してください。", "Backup completed."}, {}},
        {"-t after -i asks for the source", "-i -t", dir_ / "empty.txt", 0,
         {"保存元をフルパスで指定してください。", "保存元が指定されませんでした。処理を終了します。"}, {"completed"}},
        {"target below a regular file", "-v=2 -t=" + (dir_ / "plain-file/bk"), "/dev/null", 1,
         {dir_ / "plain-file/bk"}, {"completed"}},
        {"missing registry file", "-i -v=2 -t=" + (dir_ / "nothing-here"), "/dev/null", 1,
         {dir_ / "nothing-here/backup/velqor-v2.reg"}, {"completed"}},
        {"target inside the data folder", "-v=2 -t=" + Root() + "/VELQOR/bk", "/dev/null", 0,
         {"Backup completed."}, {"bk/bk"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto run = Run(c.args, dir_.path(), c.input);
        EXPECT_EQ(run.exitCode, c.exitCode) << run.output;
        for (const std::string& s : c.seen) EXPECT_NE(run.output.find(s), std::string::npos) << s << "\n" << run.output;
        for (const std::string& s : c.unseen) EXPECT_EQ(run.output.find(s), std::string::npos) << s << "\n" << run.output;
    }
    EXPECT_TRUE(testsupport::FileExists(dir_ / "typed/backup/velqor-v2.reg"));
    EXPECT_EQ(ReadFile(dir_ / "typed/http.ini"), "list\r\n");
    EXPECT_EQ(ReadFile(Root() + "/VELQOR/bk/http.ini"), "list\r\n");
    EXPECT_FALSE(testsupport::FileExists(Root() + "/VELQOR/bk/bk"));
}

}  // namespace
