// The hive file itself: the exact text written, the export variants read,
// and files that must not be taken for a hive.
#include "registry_fixture.h"

#include "platform/registry/hive_text.h"

#include <filesystem>

namespace registry_test {
namespace {

using namespace std::string_literals;
using namespace std::string_view_literals;

TEST_F(RegistryTest, StoredFileIsRegistryExportText) {
    HKEY key = Create(HKEY_LOCAL_MACHINE, "SOFTWARE\\TAVRISK\\VELQOR_SERVER");
    std::vector<BYTE> forty;
    for (int i = 0; i < 40; ++i) forty.push_back(static_cast<BYTE>(i));
    ASSERT_EQ(kErrorSuccess, SetBytesW(key, u"", REG_SZ, Wide(u"default\0"sv)));
    ASSERT_EQ(kErrorSuccess, SetBytesW(key, u"path", REG_SZ, Wide(u"C:\\data \"x\"\0"sv)));
    ASSERT_EQ(kErrorSuccess, SetBytesW(key, u"Timeout", REG_DWORD, {10, 0, 0, 0}));
    ASSERT_EQ(kErrorSuccess, SetBytesW(key, u"bin", REG_BINARY, forty));
    ASSERT_EQ(kErrorSuccess, SetBytesW(key, u"exp", REG_EXPAND_SZ, Wide(u"%A%\0"sv)));
    ASSERT_EQ(kErrorSuccess, SetBytesW(key, u"multi", REG_MULTI_SZ, Wide(u"a\0b\0\0"sv)));
    ASSERT_EQ(kErrorSuccess, SetBytesW(key, u"nul inside", REG_SZ, Wide(u"a\0b"sv)));
    RegCloseKey(Create(key, "sub"));
    RegCloseKey(key);

    EXPECT_EQ(
        "Windows Registry Editor Version 5.00\n"
        "\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE]\n"
        "\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\TAVRISK]\n"
        "\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\TAVRISK\\VELQOR_SERVER]\n"
        "@=\"default\"\n"
        "\"path\"=\"C:\\\\data \\\"x\\\"\"\n"
        "\"Timeout\"=dword:0000000a\n"
        "\"bin\"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,16,\\\n"
        "  17,18,19,1a,1b,1c,1d,1e,1f,20,21,22,23,24,25,26,27\n"
        "\"exp\"=hex(2):25,00,41,00,25,00,00,00\n"
        "\"multi\"=hex(7):61,00,00,00,62,00,00,00,00,00\n"
        "\"nul inside\"=hex(1):61,00,00,00,62,00\n"
        "\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\TAVRISK\\VELQOR_SERVER\\sub]\n"
        "\n",
        testsupport::ReadFile(HiveFile()));
}

TEST_F(RegistryTest, ReadsExportVariants) {
    testsupport::MakeDirs(StoreDir());
    testsupport::WriteFile(HiveFile(),
                           "\xEF\xBB\xBF"
                           "Windows Registry Editor Version 5.00\r\n"
                           "\r\n"
                           "; a comment\r\n"
                           "[hkey_local_machine\\Software\\Example\\Deep]\r\n"
                           "\"Number\"=DWORD:0000FFFF\r\n"
                           "\r\n"
                           "[HKEY_LOCAL_MACHINE\\Software\\Example]\r\n"
                           "\"Bytes\" = hex:00,01,02,\\\r\n"
                           "    03, 04 ,\\\r\n"
                           "  FF\r\n"
                           "\"Text\"=\"tab\there\"\r\n"
                           "@=\"\"\r\n");
    HKEY key = nullptr;
    ASSERT_EQ(kErrorSuccess, RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\EXAMPLE", 0, KEY_READ, &key));
    EXPECT_EQ((std::pair<DWORD, std::vector<BYTE>>{REG_BINARY, {0, 1, 2, 3, 4, 0xff}}), QueryA(key, "Bytes"));
    EXPECT_EQ((std::pair<DWORD, std::vector<BYTE>>{REG_SZ, Bytes("tab\there\0"s)}), QueryA(key, "Text"));
    EXPECT_EQ((std::pair<DWORD, std::vector<BYTE>>{REG_SZ, Bytes("\0"s)}), QueryA(key, ""));
    HKEY deep = nullptr;
    ASSERT_EQ(kErrorSuccess, RegOpenKeyExA(key, "Deep", 0, KEY_READ, &deep));
    EXPECT_EQ((std::pair<DWORD, std::vector<BYTE>>{REG_DWORD, {0xff, 0xff, 0, 0}}), QueryA(deep, "Number"));
    RegCloseKey(deep);
    RegCloseKey(key);
}

TEST_F(RegistryTest, DamagedFileIsReportedAndKept) {
    const std::string header = "Windows Registry Editor Version 5.00\n\n";
    // A file saved by the Windows registry editor: UTF-16 with its byte order mark.
    std::string utf16 = "\xFF\xFE";
    for (char c : header + "[HKEY_LOCAL_MACHINE\\A]\n") utf16 += std::string{c, '\0'};
    struct Case {
        std::string text;
        std::string where;  // what the description says after the file's name
    };
    const Case cases[] = {
        {"REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\A]\n", ", line 1: not the header \"Windows Registry Editor Version 5.00\""},
        {header + "\"v\"=dword:00000001\n", ", line 3: a value before any key"},
        {header + "[HKEY_CURRENT_USER\\A]\n", ", line 3: not a key of HKEY_LOCAL_MACHINE"},
        {header + "[HKEY_LOCAL_MACHINE\\A]\n\"v\"=dword:xyz\n", ", line 4: not a value line"},
        {header + "[HKEY_LOCAL_MACHINE\\A]\n\"v\"=dword:123456789\n", ", line 4: not a value line"},
        {header + "[HKEY_LOCAL_MACHINE\\A]\n\"v\"=hex:01,zz\n", ", line 4: not a value line"},
        {header + "[HKEY_LOCAL_MACHINE\\A]\n\"v\"=\"cut sho", ", line 4: cut short"},
        {header + "[HKEY_LOCAL_MACHINE\\A]\r\n\"http\"=dword:00000001\r\n\"httpproxyau", ", line 5: cut short"},
        {header + "[HKEY_LOCAL_MACHINE\\A]\n\"v\"=hex:01,02,\\\n", ", line 4: cut short"},  // inside a continued list
        {header + "[HKEY_LOCAL_MACHINE\\A]\n\"v\"=unknown:1\n", ", line 4: not a value line"},
        {header + "[HKEY_LOCAL_MACHINE\\A\n", ", line 3: not a key line"},
        {header + "[HKEY_LOCAL_MACHINE\\A]\n\"v\"=\"\xff\xfe\"\n", ", line 4: not UTF-8 text"},
        {utf16, ", line 1: UTF-16 text; the store is UTF-8"},
    };
    testsupport::MakeDirs(StoreDir());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        testsupport::WriteFile(HiveFile(), c.text);
        HKEY key = nullptr;
        EXPECT_EQ(kErrorRegistryCorrupt, RegOpenKeyExA(HKEY_LOCAL_MACHINE, "A", 0, KEY_READ, &key));
        const DWORD one = 1;
        EXPECT_EQ(kErrorRegistryCorrupt,
                  RegSetValueExA(HKEY_LOCAL_MACHINE, "v", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), 4));
        EXPECT_EQ(c.text, testsupport::ReadFile(HiveFile()));  // nobody overwrites what could not be read
        EXPECT_EQ(HiveFile() + c.where, DescribeHiveDamage(HKEY_LOCAL_MACHINE));
    }

    // Only a hive that does not read is described; a missing one is empty.
    EXPECT_EQ("", DescribeHiveDamage(HKEY_CURRENT_USER));
    testsupport::WriteFile(HiveFile(), header + "[HKEY_LOCAL_MACHINE\\A]\n");
    EXPECT_EQ("", DescribeHiveDamage(HKEY_LOCAL_MACHINE));
    std::filesystem::remove(HiveFile());
    testsupport::MakeDirs(HiveFile());
    HKEY key = nullptr;
    EXPECT_EQ(kErrorCantRead, RegOpenKeyExA(HKEY_LOCAL_MACHINE, "A", 0, KEY_READ, &key));
    EXPECT_EQ(HiveFile() + ": Is a directory", DescribeHiveDamage(HKEY_LOCAL_MACHINE));
}

TEST_F(RegistryTest, FormatAndParseAgree) {
    // Wrapped lists of every length around the wrap column read back whole.
    using namespace platform::registry_detail;
    for (size_t count = 0; count < 80; ++count) {
        RegKeyNode root;
        std::vector<BYTE> data(count, 0xab);
        root.SubKey("K").SetValue(std::string(count % 13, 'n'), REG_BINARY, data);
        std::string text = FormatHive(root, "HKEY_CURRENT_USER");
        RegKeyNode parsed;
        ASSERT_TRUE(ParseHive(text, "HKEY_CURRENT_USER", &parsed)) << text;
        ASSERT_EQ(data, parsed.SubKey("k").values.at(0).data) << text;
        for (size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
            EXPECT_LE(end - start, 80u) << text;
        }
    }
}

}  // namespace
}  // namespace registry_test
