// The registry export file against the real store: what the writer makes
// of each kind of value, and what the reader makes of lines, including
// lines of files written before strings were protected.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/registry/registry.h"
#include "test_support.h"
#include "tools/backup/reg_file_format.h"
#include "tools/backup/reg_store_io.h"

namespace {

using namespace platform;
using backup::RegValue;

std::vector<uint8_t> Wide(std::u16string_view text, bool nul = true) { return backup::Utf16Bytes(text, nul); }
std::vector<uint8_t> Bytes(std::string_view text) { return {text.begin(), text.end()}; }
std::vector<uint8_t> Dword(uint32_t v) {
    return {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
}

class RegFileTest : public ::testing::Test {
protected:
    void SetUp() override { setenv("VELQOR_REGISTRY_DIR", (dir_ / "registry").c_str(), 1); }
    void TearDown() override { unsetenv("VELQOR_REGISTRY_DIR"); }

    static void Seed(const std::u16string& key, const RegValue& value) {
        HKEY handle = nullptr;
        ASSERT_EQ(kErrorSuccess, RegCreateKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                                 nullptr, &handle, nullptr));
        ASSERT_EQ(kErrorSuccess, RegSetValueExW(handle, value.name.c_str(), 0, value.type, value.data.data(),
                                                static_cast<DWORD>(value.data.size())));
        RegCloseKey(handle);
    }

    static bool Read(const std::u16string& key, const std::u16string& name, RegValue& value) {
        HKEY handle = nullptr;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ, &handle) != kErrorSuccess) return false;
        DWORD size = 0, type = 0;
        LONG rc = RegQueryValueExW(handle, name.c_str(), nullptr, &type, nullptr, &size);
        value.data.assign(size, 0);
        if (rc == kErrorSuccess) rc = RegQueryValueExW(handle, name.c_str(), nullptr, &type, value.data.data(), &size);
        RegCloseKey(handle);
        value.name = name;
        value.type = type;
        value.data.resize(size);
        return rc == kErrorSuccess;
    }

    testsupport::TempDir dir_;
};

std::string Binary40Lines() {
    std::string first = "\"BinaryName\"=hex:", second = "  ";
    for (int i = 0; i < 40; ++i) {
        char b[4];
        snprintf(b, sizeof b, "%02x", i);
        std::string& line = i < 20 ? first : second;
        line += b;
        if (i < 39) line += ",";
    }
    return first + "\\\r\n" + second + "\r\n";
}

TEST_F(RegFileTest, EachKindOfValueExportsAsItsLineAndComesBackWithItsType) {
    std::vector<uint8_t> forty;
    for (int i = 0; i < 40; ++i) forty.push_back(static_cast<uint8_t>(i));
    struct Case {
        const char* what;
        RegValue value;
        std::string lines;           // empty: left out of the file
        uint32_t typeBack;           // type after the import
        std::vector<uint8_t> dataBack;
    } cases[] = {
        {"dword", {u"Timeout", REG_DWORD, Dword(24)}, "\"Timeout\"=dword:0x00000018\r\n", REG_DWORD, Dword(24)},
        {"binary wrapped past column 74", {u"BinaryName", REG_BINARY, forty}, Binary40Lines(), REG_BINARY, forty},
        {"expand string", {u"Path", REG_EXPAND_SZ, Wide(u"%ALLUSERSPROFILE%\\x")},
         "\"Path\"=\"%ALLUSERSPROFILE%\\x\"\r\n", REG_SZ, Wide(u"%ALLUSERSPROFILE%\\x")},
        {"japanese string", {u"名前", REG_SZ, Wide(u"日本語の値")},
         "\"\x96\xbc\x91\x4f\"=\"\x93\xfa\x96\x7b\x8c\xea\x82\xcc\x92\x6c\"\r\n", REG_SZ, Wide(u"日本語の値")},
        {"string holding a quote", {u"q", REG_SZ, Wide(u"a\"b")}, "\"q\"=hex(1):61,00,22,00,62,00,00,00\r\n", REG_SZ,
         Wide(u"a\"b")},
        {"string holding CR LF", {u"crlf", REG_SZ, Wide(u"a\r\nb")},
         "\"crlf\"=hex(1):61,00,0d,00,0a,00,62,00,00,00\r\n", REG_SZ, Wide(u"a\r\nb")},
        {"character code page 932 lacks", {u"e", REG_SZ, Wide(u"caf\u00e9")},
         "\"e\"=hex(1):63,00,61,00,66,00,e9,00,00,00\r\n", REG_SZ, Wide(u"caf\u00e9")},
        {"name holding a quote", {u"a\"b", REG_DWORD, Dword(1)}, "\"a\\\"b\"=dword:0x00000001\r\n", REG_DWORD, Dword(1)},
        {"multi string", {u"m", REG_MULTI_SZ, Wide(std::u16string_view(u"a\0b\0", 4))},
         "\"m\"=hex(7):61,00,62,00,00\r\n", REG_MULTI_SZ, Wide(std::u16string_view(u"a\0b\0", 4))},
        {"unnamed value", {u"", REG_SZ, Wide(u"default")}, "", 0, {}},
        {"image path of a missing file", {u"ImagePath", REG_SZ, Wide(u"C:\\nowhere\\x.exe")}, "", 0, {}},
        {"image path of a file that exists", {u"imagepath", REG_SZ, Wide(u"/bin/sh")}, "\"imagepath\"=\"/bin/sh\"\r\n",
         REG_SZ, Wide(u"/bin/sh")},
        {"no type", {u"none", REG_NONE, Bytes("x")}, "", 0, {}},
        {"empty binary", {u"empty", REG_BINARY, {}}, "\"empty\"=hex:\r\n", REG_BINARY, {}},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::u16string key = u"SOFTWARE\\Case" + std::u16string(1, char16_t(u'A' + n++));
        Seed(key, c.value);
        std::string file;
        std::string keyText(key.begin(), key.end());
        backup::ExportRegKey(file, keyText, "", false);
        EXPECT_EQ(file, "\r\n[HKEY_LOCAL_MACHINE\\" + keyText + "]\r\n" + c.lines);

        // The import into an emptied key gives the value back.
        HKEY root = nullptr;
        ASSERT_EQ(kErrorSuccess, RegOpenKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_ALL_ACCESS, &root));
        RegDeleteValueW(root, c.value.name.c_str());
        RegCloseKey(root);
        testsupport::WriteFile(dir_ / "in.reg", "REGEDIT4\r\n" + file);
        backup::ImportRegFile(dir_ / "in.reg", false);
        RegValue back;
        if (c.lines.empty()) {
            EXPECT_FALSE(Read(key, c.value.name, back) && !c.value.name.empty());
            continue;
        }
        ASSERT_TRUE(Read(key, c.value.name, back));
        EXPECT_EQ(back.type, c.typeBack);
        EXPECT_EQ(back.data, c.dataBack);
    }
}

TEST_F(RegFileTest, ValuesOfAnySizeAndSubKeysAreExportedWithRewrittenKeyNames) {
    const std::vector<uint8_t> big(5000, 0xab);
    const std::u16string longName(1500, u'n');
    Seed(u"SOFTWARE\\QUESSAT\\MORVASK", {u"big", REG_BINARY, big});
    Seed(u"SOFTWARE\\QUESSAT\\MORVASK", {longName, REG_DWORD, Dword(7)});
    Seed(u"SOFTWARE\\QUESSAT\\MORVASK", {u"long", REG_SZ, Wide(std::u16string(3000, u'x'))});
    Seed(u"SOFTWARE\\QUESSAT\\MORVASK\\sub", {u"s", REG_SZ, Wide(u"v")});
    std::string file;
    backup::ExportRegKey(file, "SOFTWARE\\QUESSAT\\MORVASK", "SOFTWARE\\TAVRISK\\VELQOR_SERVER", false);
    EXPECT_NE(file.find("\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\TAVRISK\\VELQOR_SERVER]\r\n"), std::string::npos);
    EXPECT_NE(file.find("\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\TAVRISK\\VELQOR_SERVER\\sub]\r\n\"s\"=\"v\"\r\n"),
              std::string::npos);
    EXPECT_EQ(file.find("QUESSAT"), std::string::npos);

    testsupport::WriteFile(dir_ / "in.reg", "REGEDIT4\r\n" + file);
    backup::ImportRegFile(dir_ / "in.reg", false);
    RegValue back;
    ASSERT_TRUE(Read(u"SOFTWARE\\TAVRISK\\VELQOR_SERVER", u"big", back));
    EXPECT_EQ(back.data, big);
    ASSERT_TRUE(Read(u"SOFTWARE\\TAVRISK\\VELQOR_SERVER", longName, back));
    EXPECT_EQ(back.data, Dword(7));
    ASSERT_TRUE(Read(u"SOFTWARE\\TAVRISK\\VELQOR_SERVER", u"long", back));
    EXPECT_EQ(back.data, Wide(std::u16string(3000, u'x')));
    ASSERT_TRUE(Read(u"SOFTWARE\\TAVRISK\\VELQOR_SERVER\\sub", u"s", back));
}

TEST_F(RegFileTest, ReaderTakesOnlyItsOwnRootAndReadsOlderFilesAsBefore) {
    const std::string longText(3000, 'y');
    const std::string file =
        "REGEDIT4\n"
        "\"before\"=dword:0x1\n"                       // before any key line: nowhere to go
        "[HKEY]\n"                                     // shorter than the root prefix
        "\"short\"=dword:0x1\n"
        "[HKEY_CURRENT_USER\\SOFTWARE\\X]\n"           // another root
        "\"other\"=dword:0x1\n"
        "\n[hkey_local_machine\\SOFTWARE\\R]\n"
        "\"cut\"=\"a\"b\"\n"                           // an unescaped quote, as older files hold
        "\"ab\\\"=dword:0x2\n"                         // a name ending in a backslash
        "\"plain\"=dword:18\n"
        "\"long\"=\"" + longText + "\"\n"              // past the old 1,023-byte line
        "\"upper\"=hex:0A,FF,\\\n  10\n"
        "\"multi\"=hex(7):61,00,00\n";
    testsupport::WriteFile(dir_ / "in.reg", file);
    backup::ImportRegFile(dir_ / "in.reg", false);

    RegValue v;
    EXPECT_FALSE(Read(u"", u"before", v));
    EXPECT_FALSE(Read(u"SOFTWARE\\X", u"other", v));
    ASSERT_TRUE(Read(u"SOFTWARE\\R", u"cut", v));
    EXPECT_EQ(v.data, Wide(u"a"));
    ASSERT_TRUE(Read(u"SOFTWARE\\R", u"ab\\", v));
    EXPECT_EQ(v.data, Dword(2));
    ASSERT_TRUE(Read(u"SOFTWARE\\R", u"plain", v));
    EXPECT_EQ(v.data, Dword(0x18));
    ASSERT_TRUE(Read(u"SOFTWARE\\R", u"long", v));
    EXPECT_EQ(v.data, Wide(std::u16string(longText.begin(), longText.end())));
    ASSERT_TRUE(Read(u"SOFTWARE\\R", u"upper", v));
    EXPECT_EQ(v.data, (std::vector<uint8_t>{0x0a, 0xff, 0x10}));
    ASSERT_TRUE(Read(u"SOFTWARE\\R", u"multi", v));
    EXPECT_EQ(v.type, REG_MULTI_SZ);
    EXPECT_EQ(v.data, Wide(std::u16string_view(u"a\0\0", 3), false));
}

}  // namespace
