// Behaviour of the Reg* calls: value round trips, size rules, enumeration,
// names, deletion and handles.
#include "registry_fixture.h"

#include <cstring>

namespace registry_test {
namespace {

using namespace std::string_literals;
using namespace std::string_view_literals;

struct ValueCase {
    std::u16string name;
    DWORD type;
    std::vector<BYTE> stored;    // as set through the wide call
    std::vector<BYTE> expected;  // as the wide query gives it back
};

std::vector<BYTE> Range(int count) {
    std::vector<BYTE> out;
    for (int i = 0; i < count; ++i) out.push_back(static_cast<BYTE>(i * 7));
    return out;
}

TEST_F(RegistryTest, EveryTypeRoundTripsThroughTheStoreFile) {
    auto w = [](std::u16string_view text) { return Wide(text); };
    const std::vector<ValueCase> cases = {
        {u"Text", REG_SZ, w(u"C:\\Program Files\\\"quoted\"\0"sv), w(u"C:\\Program Files\\\"quoted\"\0"sv)},
        {u"", REG_SZ, w(u"the default\0"sv), w(u"the default\0"sv)},
        {u"NoNul", REG_SZ, w(u"abc"), w(u"abc\0"sv)},
        {u"EmptyText", REG_SZ, {}, w(u"\0"sv)},
        {u"Japanese", REG_SZ, w(u"日本語テキスト\0"sv), w(u"日本語テキスト\0"sv)},
        {u"EmbeddedNul", REG_SZ, w(u"a\0b\0"sv), w(u"a\0b\0"sv)},
        {u"LineBreak", REG_SZ, w(u"one\r\ntwo\0"sv), w(u"one\r\ntwo\0"sv)},
        {u"Expand", REG_EXPAND_SZ, w(u"%ALLUSERSPROFILE%\\VELQOR\0"sv), w(u"%ALLUSERSPROFILE%\\VELQOR\0"sv)},
        {u"Count", REG_DWORD, {10, 0, 0, 0}, {10, 0, 0, 0}},
        {u"Max", REG_DWORD, {0xff, 0xff, 0xff, 0xff}, {0xff, 0xff, 0xff, 0xff}},
        {u"ShortDword", REG_DWORD, {1, 2}, {1, 2}},
        {u"Bytes", REG_BINARY, Range(200), Range(200)},
        {u"NoBytes", REG_BINARY, {}, {}},
        {u"List", REG_MULTI_SZ, w(u"first\0second\0\0"sv), w(u"first\0second\0\0"sv)},
        {u"Other", 11, {1, 2, 3, 4, 5, 6, 7, 8}, {1, 2, 3, 4, 5, 6, 7, 8}},
        {u"quote\"and\\back=slash", REG_SZ, w(u"x\0"sv), w(u"x\0"sv)},
        {u"@", REG_DWORD, {1, 0, 0, 0}, {1, 0, 0, 0}},
        {u"[not a key]", REG_SZ, w(u"[HKEY_LOCAL_MACHINE\\x]\0"sv), w(u"[HKEY_LOCAL_MACHINE\\x]\0"sv)},
    };
    HKEY key = Create(HKEY_LOCAL_MACHINE, "SOFTWARE\\TAVRISK\\VELQOR_SERVER");
    for (const ValueCase& c : cases) {
        ASSERT_EQ(kErrorSuccess, SetBytesW(key, c.name.c_str(), c.type, c.stored));
    }
    // Every query reads the file again, so this checks what was stored.
    for (const ValueCase& c : cases) {
        auto [type, data] = QueryW(key, c.name.c_str());
        EXPECT_EQ(c.type, type) << testing::PrintToString(c.name);
        EXPECT_EQ(c.expected, data) << testing::PrintToString(c.name);
    }
    DWORD index = 0;
    char16_t name[64];
    DWORD nameLength = 64;
    while (RegEnumValueW(key, index, name, &nameLength, nullptr, nullptr, nullptr, nullptr) == kErrorSuccess) {
        EXPECT_EQ(cases[index].name, std::u16string(name, nameLength));
        nameLength = 64;
        ++index;
    }
    EXPECT_EQ(cases.size(), index);
    RegCloseKey(key);
}

TEST_F(RegistryTest, NarrowCallsUseCodePage932) {
    const std::string japaneseSjis = "\x93\xfa\x96\x7b\x8c\xea";          // 日本語
    const std::string softwareSjis = "\x83\x5c\x83\x74\x83\x67";          // ソフト (0x5C as trail byte)
    HKEY key = Create(HKEY_LOCAL_MACHINE, ("SOFTWARE\\" + softwareSjis + "\\sub").c_str());

    ASSERT_EQ(kErrorSuccess, RegSetValueExA(key, japaneseSjis.c_str(), 0, REG_SZ,
                                            Bytes(japaneseSjis + '\0').data(), 7));
    auto [type, data] = QueryW(key, u"日本語");
    EXPECT_EQ(REG_SZ, type);
    EXPECT_EQ(Wide(u"日本語\0"sv), data);

    ASSERT_EQ(kErrorSuccess, SetBytesW(key, u"Wide", REG_MULTI_SZ, Wide(u"日本語\0a\0\0"sv)));
    EXPECT_EQ(Bytes(japaneseSjis + "\0a\0\0"s), QueryA(key, "Wide").second);
    ASSERT_EQ(kErrorSuccess, SetBytesW(key, u"NoCounterpart", REG_SZ, Wide(u"€\0"sv)));
    EXPECT_EQ(Bytes("?\0"s), QueryA(key, "NoCounterpart").second);

    // The trail byte 0x5C did not split the key name.
    HKEY software = nullptr;
    ASSERT_EQ(kErrorSuccess, RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE", 0, KEY_READ, &software));
    char name[32];
    DWORD length = sizeof name;
    ASSERT_EQ(kErrorSuccess, RegEnumKeyExA(software, 0, name, &length, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(softwareSjis, std::string(name, length));
    char16_t wideName[32];
    length = 32;
    ASSERT_EQ(kErrorSuccess, RegEnumKeyExW(software, 0, wideName, &length, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(u"ソフト", std::u16string(wideName, length));
    EXPECT_NE(std::string::npos, testsupport::ReadFile(HiveFile()).find("[HKEY_LOCAL_MACHINE\\SOFTWARE\\ソフト\\sub]\n\"日本語\"=\"日本語\""));
    RegCloseKey(software);
    RegCloseKey(key);
}

TEST_F(RegistryTest, LinuxPathsKeepTheirLettersThroughTheWideCalls) {
    HKEY key = Create(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services\\VELQORSV2");
    const std::string path = "/home/ユーザー/テスト/bin/velqors";
    ASSERT_EQ(kErrorSuccess, RegSetValueUtf8(key, "ImagePath", REG_EXPAND_SZ, path));
    EXPECT_EQ((std::pair<DWORD, std::vector<BYTE>>{REG_EXPAND_SZ, Wide(u"/home/ユーザー/テスト/bin/velqors\0"sv)}),
              QueryW(key, u"ImagePath"));
    std::string text;
    EXPECT_EQ(kErrorSuccess, RegQueryValueUtf8(key, "ImagePath", 256, &text));
    EXPECT_EQ(path, text);
    // Too long for the buffer, as the wide query says; the text is left alone.
    EXPECT_EQ(kErrorMoreData, RegQueryValueUtf8(key, "ImagePath", 10, &text));
    EXPECT_EQ(path, text);
    EXPECT_EQ(kErrorFileNotFound, RegQueryValueUtf8(key, "missing", 256, &text));
    EXPECT_EQ(kErrorInvalidParameter, RegSetValueUtf8(key, "bad", REG_SZ, "\xff"));
    EXPECT_EQ(kErrorInvalidParameter, RegSetValueUtf8(key, "dword", REG_DWORD, "1"));

    // The narrow call takes the same bytes for code page 932 text and does
    // not give them back.
    ASSERT_EQ(kErrorSuccess, RegSetValueExA(key, "Narrow", 0, REG_SZ, Bytes(path + '\0').data(),
                                            static_cast<DWORD>(path.size() + 1)));
    EXPECT_NE(Bytes(path + '\0'), QueryA(key, "Narrow").second);
    RegCloseKey(key);
}

TEST_F(RegistryTest, QuerySizeRules) {
    HKEY key = Create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Sizes");
    ASSERT_EQ(kErrorSuccess, RegSetValueExA(key, "Text", 0, REG_SZ, Bytes("abc").data(), 3));  // no NUL given
    ASSERT_EQ(kErrorSuccess, RegSetValueExA(key, "Short", 0, REG_SZ, Bytes("ab").data(), 2));
    ASSERT_EQ(kErrorSuccess, RegSetValueExA(key, "Longer", 0, REG_SZ, Bytes("abcd").data(), 4));
    const DWORD number = 0x12345678;
    ASSERT_EQ(kErrorSuccess, RegSetValueExA(key, "Number", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), 4));

    struct SizeCase {
        const char* name;
        bool wide;
        DWORD bufferSize;  // 0xFFFFFFFF: no buffer, a size query
        LONG result;
        DWORD sizeAfter;
    };
    const SizeCase cases[] = {
        {"Text", false, 0xFFFFFFFF, kErrorSuccess, 4},  // the NUL is counted
        {"Text", true, 0xFFFFFFFF, kErrorSuccess, 8},
        {"Text", false, 4, kErrorSuccess, 4},
        {"Text", false, 100, kErrorSuccess, 4},
        {"Text", false, 3, kErrorMoreData, 4},
        {"Text", true, 7, kErrorMoreData, 8},
        {"Number", false, 4, kErrorSuccess, 4},
        {"Number", false, 2, kErrorMoreData, 4},
        {"Missing", false, 4, kErrorFileNotFound, 4},
    };
    for (const SizeCase& c : cases) {
        SCOPED_TRACE(std::string(c.name) + (c.wide ? " wide " : " narrow ") + std::to_string(c.bufferSize));
        std::vector<BYTE> buffer(16, 'x');
        const std::vector<BYTE> untouched = buffer;
        BYTE* data = c.bufferSize == 0xFFFFFFFF ? nullptr : buffer.data();
        DWORD size = c.bufferSize == 0xFFFFFFFF ? 0 : c.bufferSize;
        std::u16string wideName(c.name, c.name + std::strlen(c.name));
        LONG result = c.wide ? RegQueryValueExW(key, wideName.c_str(), nullptr, nullptr, data, &size)
                             : RegQueryValueExA(key, c.name, nullptr, nullptr, data, &size);
        EXPECT_EQ(c.result, result);
        EXPECT_EQ(c.sizeAfter, size);
        if (result != kErrorSuccess) {
            EXPECT_EQ(untouched, buffer);
        }
    }

    // The settings readers query a 4-byte number whatever the stored type:
    // a short string fits, a longer one leaves the default in place.
    DWORD value = 7, size = 4;
    EXPECT_EQ(kErrorSuccess, RegQueryValueExA(key, "Short", nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size));
    EXPECT_EQ(0x00006261u, value);
    value = 7;
    size = 4;
    EXPECT_EQ(kErrorMoreData, RegQueryValueExA(key, "Longer", nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size));
    EXPECT_EQ(7u, value);

    DWORD type = 0;
    EXPECT_EQ(kErrorSuccess, RegQueryValueExA(key, "Number", nullptr, &type, nullptr, nullptr));
    EXPECT_EQ(REG_DWORD, type);
    BYTE buffer[4];
    EXPECT_EQ(kErrorInvalidParameter, RegQueryValueExA(key, "Number", nullptr, nullptr, buffer, nullptr));
    RegCloseKey(key);
}

TEST_F(RegistryTest, EnumerationByIndex) {
    HKEY key = Create(HKEY_CURRENT_USER, "Software\\Enum");
    for (const char* sub : {"beta", "Alpha", "gamma"}) RegCloseKey(Create(key, sub));
    ASSERT_EQ(kErrorSuccess, RegSetValueExA(key, "second", 0, REG_SZ, Bytes("2\0"s).data(), 2));
    ASSERT_EQ(kErrorSuccess, RegSetValueExA(key, nullptr, 0, REG_SZ, Bytes("default\0"s).data(), 8));
    ASSERT_EQ(kErrorSuccess, RegSetValueExA(key, "first", 0, REG_BINARY, Bytes("123456").data(), 6));

    // Sub-keys come sorted, ignoring case, as on Windows.
    std::vector<std::string> subKeys;
    char name[16];
    DWORD length = sizeof name, classLength = 5;
    for (DWORD i = 0; RegEnumKeyExA(key, i, name, &length, nullptr, nullptr, &classLength, nullptr) == kErrorSuccess; ++i) {
        subKeys.emplace_back(name, length);
        EXPECT_EQ(length, std::strlen(name));
        EXPECT_EQ(0u, classLength);
        length = sizeof name;
    }
    EXPECT_EQ((std::vector<std::string>{"Alpha", "beta", "gamma"}), subKeys);
    length = sizeof name;
    EXPECT_EQ(kErrorNoMoreItems, RegEnumKeyExA(key, 3, name, &length, nullptr, nullptr, nullptr, nullptr));
    length = 5;  // "Alpha" needs 6 with its NUL
    EXPECT_EQ(kErrorMoreData, RegEnumKeyExA(key, 0, name, &length, nullptr, nullptr, nullptr, nullptr));
    length = 6;
    EXPECT_EQ(kErrorSuccess, RegEnumKeyExA(key, 0, name, &length, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(5u, length);

    // Values come in the order they were first set; the unnamed one has
    // the empty name.
    struct Expected { const char* name; DWORD type; DWORD size; };
    const Expected values[] = {{"second", REG_SZ, 2}, {"", REG_SZ, 8}, {"first", REG_BINARY, 6}};
    for (DWORD i = 0; i < 3; ++i) {
        DWORD type = 0, size = 0;
        length = sizeof name;
        ASSERT_EQ(kErrorSuccess, RegEnumValueA(key, i, name, &length, nullptr, &type, nullptr, &size));
        EXPECT_EQ(values[i].name, std::string(name, length));
        EXPECT_EQ(values[i].type, type);
        EXPECT_EQ(values[i].size, size);
    }
    BYTE data[4];
    DWORD size = sizeof data;
    length = sizeof name;
    EXPECT_EQ(kErrorMoreData, RegEnumValueA(key, 2, name, &length, nullptr, nullptr, data, &size));
    EXPECT_EQ(6u, size);
    length = sizeof name;
    EXPECT_EQ(kErrorNoMoreItems, RegEnumValueA(key, 3, name, &length, nullptr, nullptr, nullptr, nullptr));
    RegCloseKey(key);
}

TEST_F(RegistryTest, NamesIgnoreCaseAndKeepIt) {
    HKEY key = Create(HKEY_LOCAL_MACHINE, "Software\\Tavrisk");
    ASSERT_EQ(kErrorSuccess, RegSetValueExA(key, "TimeOut", 0, REG_DWORD, Bytes("\1\0\0\0"s).data(), 4));
    ASSERT_EQ(kErrorSuccess, RegSetValueExA(key, "TIMEOUT", 0, REG_DWORD, Bytes("\2\0\0\0"s).data(), 4));
    RegCloseKey(key);

    HKEY again = nullptr;
    DWORD disposition = 0;
    ASSERT_EQ(kErrorSuccess, RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\TAVRISK\\New", 0, nullptr, 0,
                                             KEY_ALL_ACCESS, nullptr, &again, &disposition));
    EXPECT_EQ(REG_CREATED_NEW_KEY, disposition);
    RegCloseKey(again);
    ASSERT_EQ(kErrorSuccess, RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"software\\tavrisk", 0, KEY_READ, &again));
    EXPECT_EQ(Bytes("\2\0\0\0"s), QueryA(again, "timeout").second);
    char name[16];
    DWORD length = sizeof name;
    ASSERT_EQ(kErrorSuccess, RegEnumValueA(again, 0, name, &length, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ("TimeOut", std::string(name));
    length = sizeof name;
    EXPECT_EQ(kErrorNoMoreItems, RegEnumValueA(again, 1, name, &length, nullptr, nullptr, nullptr, nullptr));
    RegCloseKey(again);
    EXPECT_NE(std::string::npos, testsupport::ReadFile(HiveFile()).find("[HKEY_LOCAL_MACHINE\\Software\\Tavrisk\\New]"));

    // Case folding goes beyond ASCII (full-width letters here).
    HKEY fullWidth = nullptr;
    ASSERT_EQ(kErrorSuccess, RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"Software\\ＡＢＣ", 0, nullptr, 0, KEY_ALL_ACCESS,
                                             nullptr, &fullWidth, nullptr));
    RegCloseKey(fullWidth);
    EXPECT_EQ(kErrorSuccess, RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\ａｂｃ", 0, KEY_READ, &fullWidth));
    RegCloseKey(fullWidth);
}

TEST_F(RegistryTest, OpenAndCreateRules) {
    HKEY key = nullptr;
    EXPECT_EQ(kErrorFileNotFound, RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Missing", 0, KEY_READ, &key));
    EXPECT_FALSE(testsupport::FileExists(HiveFile()));  // opening never creates

    DWORD disposition = 0;
    ASSERT_EQ(kErrorSuccess, RegCreateKeyExA(HKEY_LOCAL_MACHINE, "A\\B\\C\\", 0, nullptr, 0, KEY_WRITE, nullptr,
                                             &key, &disposition));
    EXPECT_EQ(REG_CREATED_NEW_KEY, disposition);
    RegCloseKey(key);
    ASSERT_EQ(kErrorSuccess, RegCreateKeyExA(HKEY_LOCAL_MACHINE, "a\\b", 0, nullptr, 0, KEY_READ, nullptr, &key,
                                             &disposition));
    EXPECT_EQ(REG_OPENED_EXISTING_KEY, disposition);
    // A sub-key relative to an open handle, with a trailing backslash.
    HKEY sub = nullptr;
    EXPECT_EQ(kErrorSuccess, RegOpenKeyExA(key, "c\\", 0, KEY_READ, &sub));
    RegCloseKey(sub);
    // Creating below a handle without the right to.
    EXPECT_EQ(kErrorAccessDenied,
              RegCreateKeyExA(key, "D", 0, nullptr, 0, KEY_READ, nullptr, &sub, nullptr));
    RegCloseKey(key);

    // Each root has its own file.
    RegCloseKey(Create(HKEY_CURRENT_USER, "Software\\User"));
    EXPECT_NE(std::string::npos, testsupport::ReadFile(HiveFile("HKEY_CURRENT_USER")).find("[HKEY_CURRENT_USER\\Software\\User]"));
    EXPECT_EQ(std::string::npos, testsupport::ReadFile(HiveFile()).find("User"));

    // Names that could not be stored one per line are refused.
    EXPECT_EQ(kErrorInvalidParameter,
              RegCreateKeyExA(HKEY_LOCAL_MACHINE, "bad\nname", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr));
}

TEST_F(RegistryTest, AccessRightsAndHandles) {
    RegCloseKey(Create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Rights"));
    HKEY readOnly = nullptr, writeOnly = nullptr;
    ASSERT_EQ(kErrorSuccess, RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Rights", 0, KEY_READ, &readOnly));
    ASSERT_EQ(kErrorSuccess, RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Rights", 0, KEY_WRITE, &writeOnly));
    const DWORD one = 1;
    const BYTE* data = reinterpret_cast<const BYTE*>(&one);
    EXPECT_EQ(kErrorAccessDenied, RegSetValueExA(readOnly, "v", 0, REG_DWORD, data, 4));
    EXPECT_EQ(kErrorSuccess, RegSetValueExA(writeOnly, "v", 0, REG_DWORD, data, 4));
    DWORD size = 0;
    EXPECT_EQ(kErrorAccessDenied, RegQueryValueExA(writeOnly, "v", nullptr, nullptr, nullptr, &size));
    EXPECT_EQ(kErrorSuccess, RegQueryValueExA(readOnly, "v", nullptr, nullptr, nullptr, &size));
    EXPECT_EQ(kErrorAccessDenied, RegDeleteValueA(readOnly, "v"));

    EXPECT_EQ(kErrorSuccess, RegCloseKey(readOnly));
    EXPECT_EQ(kErrorInvalidHandle, RegCloseKey(readOnly));
    EXPECT_EQ(kErrorInvalidHandle, RegQueryValueExA(readOnly, "v", nullptr, nullptr, nullptr, &size));
    EXPECT_EQ(kErrorInvalidHandle, RegSetValueExA(nullptr, "v", 0, REG_DWORD, data, 4));
    EXPECT_EQ(kErrorSuccess, RegCloseKey(HKEY_LOCAL_MACHINE));  // the roots stay usable
    EXPECT_EQ(kErrorSuccess, RegCloseKey(writeOnly));
}

TEST_F(RegistryTest, DeleteRules) {
    HKEY key = Create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Del\\Leaf");
    ASSERT_EQ(kErrorSuccess, RegSetValueExA(key, "v", 0, REG_SZ, Bytes("x\0"s).data(), 2));
    ASSERT_EQ(kErrorSuccess, RegSetValueExA(key, "", 0, REG_SZ, Bytes("d\0"s).data(), 2));

    EXPECT_EQ(kErrorSuccess, RegDeleteValueA(key, "V"));
    EXPECT_EQ(kErrorFileNotFound, RegDeleteValueA(key, "v"));
    EXPECT_EQ(kErrorSuccess, RegDeleteValueW(key, nullptr));  // the unnamed value
    EXPECT_EQ(REG_NONE, QueryA(key, nullptr).first);

    EXPECT_EQ(kErrorAccessDenied, RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Del"));  // has a sub-key
    EXPECT_EQ(kErrorFileNotFound, RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Del\\Nothing"));
    EXPECT_EQ(kErrorAccessDenied, RegDeleteKeyA(HKEY_LOCAL_MACHINE, ""));  // a root
    EXPECT_EQ(kErrorInvalidParameter, RegDeleteKeyA(HKEY_LOCAL_MACHINE, nullptr));
    EXPECT_EQ(kErrorSuccess, RegDeleteKeyW(HKEY_LOCAL_MACHINE, u"software\\del\\LEAF"));

    // The handle of the deleted key now reports that for every use.
    DWORD size = 0;
    char name[8];
    DWORD length = sizeof name;
    HKEY other = nullptr;
    EXPECT_EQ(kErrorKeyDeleted, RegQueryValueExA(key, "v", nullptr, nullptr, nullptr, &size));
    EXPECT_EQ(kErrorKeyDeleted, RegSetValueExA(key, "v", 0, REG_SZ, Bytes("x\0"s).data(), 2));
    EXPECT_EQ(kErrorKeyDeleted, RegEnumValueA(key, 0, name, &length, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(kErrorKeyDeleted, RegOpenKeyExA(key, "", 0, KEY_READ, &other));
    EXPECT_EQ(kErrorKeyDeleted, RegCreateKeyExA(key, "Sub", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &other, nullptr));
    EXPECT_EQ(kErrorSuccess, RegCloseKey(key));

    // With the sub-key gone, the parent goes too; a key deletes itself
    // through its own handle with the empty sub-key.
    ASSERT_EQ(kErrorSuccess, RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Del", 0, KEY_ALL_ACCESS, &key));
    EXPECT_EQ(kErrorSuccess, RegDeleteKeyA(key, ""));
    EXPECT_EQ(kErrorFileNotFound, RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Del", 0, KEY_READ, &other));
    RegCloseKey(key);
}

}  // namespace
}  // namespace registry_test
