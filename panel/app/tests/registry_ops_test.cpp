#include "panel/framework/registry_ops.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>

#include "panel/app/startup_steps.h"
#include "panel_test_support.h"
#include "platform/win32_errors.h"

namespace {

using namespace panel;
using paneltest::KeyExists;
using paneltest::ReadRaw;

constexpr char kKey[] = "SOFTWARE\\TAVRISK\\VELQOR_SERVER";
constexpr char kMailKey[] = "SOFTWARE\\EMWAC\\IMS";

class RegistryOpsTest : public paneltest::PanelTest {};

std::string ReadString(RegRoot root, const std::string& key, const std::string& name, const std::string& fallback,
                       DWORD buffer = 512) {
    std::string out;
    RegReadString(root, key, name, fallback, out, buffer);
    return out;
}

void SetRaw(const std::string& key, const std::u16string& name, DWORD type, const void* data, DWORD size) {
    platform::HKEY handle = nullptr;
    ASSERT_EQ(platform::RegCreateKeyExA(platform::HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0,
                                        platform::KEY_ALL_ACCESS, nullptr, &handle, nullptr),
              0);
    ASSERT_EQ(platform::RegSetValueExW(handle, name.c_str(), 0, type, static_cast<const platform::BYTE*>(data), size),
              0);
    platform::RegCloseKey(handle);
}

TEST_F(RegistryOpsTest, ReadersGiveTheirDefaultsWhereNothingIsStored) {
    EXPECT_EQ(RegReadDword(kKey, "httpmaxconn", 7), 7u) << "key missing";
    EXPECT_EQ(ReadString(RegRoot::LocalMachine, kKey, "workenv", "ALLUSERSPROFILE"), "ALLUSERSPROFILE");
    ASSERT_EQ(RegEnsureKey(RegRoot::LocalMachine, kKey), 0);
    EXPECT_EQ(RegReadDword(kKey, "httpmaxconn", 7), 7u) << "value missing";
    EXPECT_EQ(ReadString(RegRoot::LocalMachine, kKey, "workenv", "ALLUSERSPROFILE"), "ALLUSERSPROFILE");
    // A stored text too long for the caller's buffer reads as the default.
    ASSERT_EQ(RegWriteString(kKey, "workenv", std::string(300, 'x')), 0);
    EXPECT_EQ(ReadString(RegRoot::LocalMachine, kKey, "workenv", "dflt", 512), "dflt");
    EXPECT_EQ(ReadString(RegRoot::LocalMachine, kKey, "workenv", "dflt", 1024), std::string(300, 'x'));
    // Nothing of this was created by a reader.
    EXPECT_FALSE(KeyExists("SOFTWARE\\QUESSAT\\MORVASK"));
}

TEST_F(RegistryOpsTest, ClassesRootAnswersTheOpenCommandsWithTheOpener) {
    struct Case {
        const char* opener;  // null: unset
        const char* key;
        const char* expected;
    } cases[] = {
        {nullptr, "chm.file\\shell\\open\\command", "\"xdg-open\" \"%1\""},
        {nullptr, "HTMLFILE\\shell\\open\\command", "\"xdg-open\" \"%1\""},
        {"/opt/my viewer", "chm.file\\shell\\open\\command", "\"/opt/my viewer\" \"%1\""},
        {nullptr, "txtfile\\shell\\open\\command", "none"},
    };
    for (const Case& c : cases) {
        if (c.opener)
            ::setenv("VELQOR_OPENER", c.opener, 1);
        else
            ::unsetenv("VELQOR_OPENER");
        EXPECT_EQ(ReadString(RegRoot::ClassesRoot, c.key, "", "none"), c.expected) << c.key;
    }
    ::unsetenv("VELQOR_OPENER");
}

TEST_F(RegistryOpsTest, DwordReadTakesTheFirstFourBytesOfAnyType) {
    uint32_t ten = 10;
    SetRaw(kKey, u"dword", platform::REG_DWORD, &ten, 4);
    std::u16string ab = u"ab";  // 'a' 0 'b' 0 and a terminator: six bytes
    SetRaw(kKey, u"text", platform::REG_SZ, ab.c_str(), 6);
    const unsigned char four[] = {1, 2, 3, 4, 5};
    SetRaw(kKey, u"binary", platform::REG_BINARY, four, 5);
    struct Case {
        const char* name;
        uint32_t expected;
    } cases[] = {{"dword", 10}, {"text", 0x00620061}, {"binary", 0x04030201}, {"missing", 99}};
    for (const Case& c : cases) EXPECT_EQ(RegReadDword(kKey, c.name, 99), c.expected) << c.name;
}

TEST_F(RegistryOpsTest, WritersStoreWideValuesInAnExistingKeyOnly) {
    EXPECT_EQ(RegWriteDword(kKey, "setup", 1), platform::kErrorFileNotFound);
    EXPECT_EQ(RegWriteString(kKey, "workenv", "X"), platform::kErrorFileNotFound);
    EXPECT_EQ(RegWriteBinary(kKey, "blob", "ab", 2), platform::kErrorFileNotFound);
    EXPECT_FALSE(KeyExists(kKey));

    ASSERT_EQ(RegEnsureKey(RegRoot::LocalMachine, kKey), 0);
    ASSERT_EQ(RegEnsureKey(RegRoot::LocalMachine, kKey), 0) << "an existing key";
    EXPECT_EQ(RegWriteDword(kKey, "setup", 1), 0);
    EXPECT_EQ(RegReadDword(kKey, "SETUP", 0), 1u);

    // An empty text is a REG_SZ of no bytes, which reads as empty, not as
    // the default.
    EXPECT_EQ(RegWriteString(kKey, "empty", ""), 0);
    auto raw = ReadRaw(kKey, u"empty");
    EXPECT_EQ(raw.rc, 0);
    EXPECT_EQ(raw.type, platform::REG_SZ);
    EXPECT_EQ(ReadString(RegRoot::LocalMachine, kKey, "empty", "dflt"), "");

    const std::string path = "/srv/データ 置き場/";
    EXPECT_EQ(RegWriteString(kKey, "path", path), 0);
    EXPECT_EQ(ReadString(RegRoot::LocalMachine, kKey, "path", ""), path);
    raw = ReadRaw(kKey, u"path");
    EXPECT_EQ(raw.bytes.size(), std::u16string(u"/srv/データ 置き場/").size() * 2 + 2) << "UTF-16 with terminator";

    EXPECT_EQ(RegWriteBinary(kKey, "blob", "dummy-domain", 12), 0);
    raw = ReadRaw(kKey, u"blob");
    EXPECT_EQ(raw.type, platform::REG_BINARY);
    EXPECT_EQ(raw.bytes, "dummy-domain");
}

// A write the store refuses after the key opened (the hive cannot be
// replaced) is reported, not hidden behind the close's success.
TEST_F(RegistryOpsTest, AWriteTheStoreRefusesIsReported) {
    ASSERT_EQ(RegEnsureKey(RegRoot::LocalMachine, kKey), 0);
    ASSERT_EQ(RegWriteDword(kKey, "setup", 0), 0);
    ::chmod(dir_.path().c_str(), 0755);
    ::chmod(registryDir().c_str(), 0555);
    for (const char* hive : {"/HKEY_LOCAL_MACHINE.reg"}) ::chmod((registryDir() + hive).c_str(), 0444);
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    pid_t child = ::fork();
    if (child == 0) {
        // Root writes through any permission: the write is tried as nobody.
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(2);
        platform::HKEY key = nullptr;
        LONG open = platform::RegOpenKeyExA(platform::HKEY_LOCAL_MACHINE, kKey, 0, platform::KEY_WRITE, &key);
        platform::RegCloseKey(key);
        LONG codes[4] = {open, RegWriteDword(kKey, "setup", 1), RegWriteString(kKey, "workenv", "X"),
                         RegWriteBinary(kKey, "blob", "ab", 2)};
        ssize_t written = ::write(fds[1], codes, sizeof codes);
        ::_exit(written == sizeof codes ? 0 : 3);
    }
    LONG codes[4] = {};
    ::close(fds[1]);
    ASSERT_EQ(::read(fds[0], codes, sizeof codes), static_cast<ssize_t>(sizeof codes));
    ::close(fds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    ::chmod(registryDir().c_str(), 0755);
    EXPECT_EQ(codes[0], 0) << "the key opens for writing";
    for (int i = 1; i < 4; ++i) EXPECT_EQ(codes[i], platform::kErrorAccessDenied) << i;
    EXPECT_EQ(RegReadDword(kKey, "setup", 9), 0u);
}

TEST_F(RegistryOpsTest, MailServerRegistryIsSetOnceAndItsIndexRefreshedAlways) {
    struct Case {
        const char* what;
        bool keyPresent;
        bool userManagerPresent;
        const char* membership;  // stored before; null: none
        bool expectWritten;      // UserManager 0 and DomainNamesAreLocal written
        const char* expectedMembership;  // null: none stored afterwards; "" data folder
    } cases[] = {
        {"mail server not installed", false, false, nullptr, false, nullptr},
        {"first start", true, false, nullptr, true, ""},
        {"membership chosen already", true, false, "/srv/users/", false, "/srv/users/"},
        {"set up before", true, true, nullptr, false, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        platform::RegDeleteKeyA(platform::HKEY_LOCAL_MACHINE, kMailKey);
        if (c.keyPresent) {
            ASSERT_EQ(RegEnsureKey(RegRoot::LocalMachine, kMailKey), 0);
        }
        if (c.userManagerPresent) {
            ASSERT_EQ(RegWriteDword(kMailKey, "UserManager", 5), 0);
        }
        if (c.membership) {
            ASSERT_EQ(RegWriteString(kMailKey, "Membership", c.membership), 0);
        }
        testsupport::MakeDirs(dataFolder());
        testsupport::WriteFile(dataFolder() + "http-auth.ini", std::string("user1,pass1\r\n") + c.what + "\r\n");

        SetupMailServerRegistry();

        EXPECT_EQ(KeyExists(kMailKey), c.keyPresent);
        EXPECT_EQ(testsupport::ReadFile(dataFolder() + "dummy-domain.idx"),
                  testsupport::ReadFile(dataFolder() + "http-auth.ini"));
        if (!c.keyPresent) continue;
        EXPECT_EQ(RegReadDword(kMailKey, "UserManager", 77), c.userManagerPresent ? 5u : 0u);
        auto domain = ReadRaw(kMailKey, u"DomainNamesAreLocal");
        EXPECT_EQ(domain.rc == 0, c.expectWritten && !c.membership);
        if (domain.rc == 0) {
            EXPECT_EQ(domain.bytes, "dummy-domain");
        }
        std::string membership;
        RegReadString(RegRoot::LocalMachine, kMailKey, "Membership", "<none>", membership, 522);
        std::string expected = !c.expectedMembership ? "<none>"
                               : *c.expectedMembership ? c.expectedMembership
                                                       : dataFolder();
        EXPECT_EQ(membership, expected);
    }
}

TEST_F(RegistryOpsTest, WorkenvOfTheOlderProductIsAdoptedOnce) {
    struct Case {
        const char* product;  // null: not stored
        const char* older;
        const char* expected;
    } cases[] = {
        {"allUsersProfile", "VELQOR_OLD_ROOT", "VELQOR_OLD_ROOT"},
        {nullptr, "VELQOR_OLD_ROOT", "VELQOR_OLD_ROOT"},
        {"MY_ROOT", "VELQOR_OLD_ROOT", "MY_ROOT"},
        {"ALLUSERSPROFILE", nullptr, "ALLUSERSPROFILE"},
        {"ALLUSERSPROFILE", "allusersprofile", "ALLUSERSPROFILE"},
    };
    for (const Case& c : cases) {
        platform::RegDeleteKeyA(platform::HKEY_LOCAL_MACHINE, kKey);
        platform::RegDeleteKeyA(platform::HKEY_LOCAL_MACHINE, "SOFTWARE\\QUESSAT\\MORVASK");
        ASSERT_EQ(RegEnsureKey(RegRoot::LocalMachine, kKey), 0);
        if (c.product) {
            ASSERT_EQ(RegWriteString(kKey, "workenv", c.product), 0);
        }
        if (c.older) {
            ASSERT_EQ(RegEnsureKey(RegRoot::LocalMachine, "SOFTWARE\\QUESSAT\\MORVASK"), 0);
            ASSERT_EQ(RegWriteString("SOFTWARE\\QUESSAT\\MORVASK", "workenv", c.older), 0);
        }
        EXPECT_EQ(AdoptDataRootVariable(), c.expected) << (c.product ? c.product : "-");
        // Adopted once: the product key keeps it from now on.
        EXPECT_EQ(AdoptDataRootVariable(), c.expected);
    }
}

}  // namespace
