#include "panel/framework/registry_ops.h"

#include <sched.h>

#include <cstdlib>
#include <algorithm>
#include <cstring>
#include <vector>

#include "common/ascii_case.h"
#include "platform/codepage/codepage.h"
#include "platform/win32_errors.h"

namespace panel {
namespace {

// Sub-keys are opened with a backslash appended, as the panel always did;
// the store takes "a\b\" for "a\b".
std::u16string KeyPath(std::string_view subKey) {
    return platform::Utf8ToWide(std::string(subKey) + "\\");
}

platform::HKEY RootKey(RegRoot root) {
    return root == RegRoot::CurrentUser ? platform::HKEY_CURRENT_USER : platform::HKEY_LOCAL_MACHINE;
}

// An open that the system refuses with an invalid handle is tried again, up
// to four times in all, yielding the processor in between.
LONG OpenWithRetry(std::string_view subKey, platform::REGSAM access, platform::HKEY* key) {
    std::u16string path = KeyPath(subKey);
    LONG rc = platform::kErrorInvalidHandle;
    for (int attempt = 0; attempt < 4; ++attempt) {
        if (attempt > 0) ::sched_yield();
        rc = platform::RegOpenKeyExW(platform::HKEY_LOCAL_MACHINE, path.c_str(), 0, access, key);
        if (rc != platform::kErrorInvalidHandle) break;
    }
    return rc;
}

// The result of the write decides, then that of the close: a write the
// store refused must not read as success.
LONG SetAndClose(platform::HKEY key, std::string_view valueName, DWORD type, const void* data, DWORD size) {
    std::u16string name = platform::Utf8ToWide(valueName);
    LONG set = platform::RegSetValueExW(key, name.c_str(), 0, type, static_cast<const platform::BYTE*>(data), size);
    LONG close = platform::RegCloseKey(key);
    return set != platform::kErrorSuccess ? set : close;
}

std::string OpenerCommand() {
    const char* opener = std::getenv("VELQOR_OPENER");
    std::string program = opener && *opener ? opener : "xdg-open";
    return "\"" + program + "\" \"%1\"";
}

DWORD ReadClassesRoot(std::string_view subKey, std::string_view valueName, std::string_view defaultText,
                      std::string& out, DWORD bufferBytes) {
    bool known = common::EqualsIgnoringAsciiCase(subKey, "chm.file\\shell\\open\\command") ||
                 common::EqualsIgnoringAsciiCase(subKey, "htmlfile\\shell\\open\\command");
    std::u16string text = platform::Utf8ToWide(known && valueName.empty() ? OpenerCommand() : std::string(defaultText));
    DWORD size = static_cast<DWORD>((text.size() + 1) * 2);
    if (size > bufferBytes) text.resize(bufferBytes / 2 > 0 ? bufferBytes / 2 - 1 : 0);
    out = platform::WideToUtf8(text);
    return size;
}

}  // namespace

DWORD RegReadString(RegRoot root, std::string_view subKey, std::string_view valueName,
                    std::string_view defaultText, std::string& out, DWORD bufferBytes) {
    if (root == RegRoot::ClassesRoot) return ReadClassesRoot(subKey, valueName, defaultText, out, bufferBytes);
    std::vector<char16_t> buffer(bufferBytes / 2 + 1, u'\0');
    auto withDefault = [&] {
        std::fill(buffer.begin(), buffer.end(), u'\0');
        std::u16string text = platform::Utf8ToWide(defaultText);
        size_t room = bufferBytes / 2 > 0 ? bufferBytes / 2 - 1 : 0;
        std::copy_n(text.begin(), std::min(text.size(), room), buffer.begin());
    };
    withDefault();
    DWORD size = bufferBytes;
    platform::HKEY key = nullptr;
    std::u16string path = KeyPath(subKey);
    bool read = false;
    if (platform::RegOpenKeyExW(RootKey(root), path.c_str(), 0, platform::KEY_READ, &key) == platform::kErrorSuccess) {
        std::u16string name = platform::Utf8ToWide(valueName);
        read = platform::RegQueryValueExW(key, name.c_str(), nullptr, nullptr,
                                          reinterpret_cast<platform::BYTE*>(buffer.data()), &size) ==
               platform::kErrorSuccess;
        platform::RegCloseKey(key);
    }
    if (!read) withDefault();
    out = platform::WideToUtf8(std::u16string_view(buffer.data()));
    return size;
}

LONG RegEnsureKey(RegRoot root, std::string_view subKey) {
    if (root == RegRoot::ClassesRoot) return platform::kErrorAccessDenied;
    platform::HKEY key = nullptr;
    std::u16string path = platform::Utf8ToWide(subKey);
    LONG rc = platform::RegCreateKeyExW(RootKey(root), path.c_str(), 0, nullptr, platform::REG_OPTION_NON_VOLATILE,
                                        platform::KEY_ALL_ACCESS, nullptr, &key, nullptr);
    if (rc == platform::kErrorSuccess) platform::RegCloseKey(key);
    return rc;
}

DWORD RegReadDword(std::string_view subKey, std::string_view valueName, DWORD defaultValue) {
    platform::HKEY key = nullptr;
    if (OpenWithRetry(subKey, platform::KEY_READ, &key) != platform::kErrorSuccess) return defaultValue;
    std::u16string name = platform::Utf8ToWide(valueName);
    DWORD size = 0;
    DWORD value = defaultValue;
    if (platform::RegQueryValueExW(key, name.c_str(), nullptr, nullptr, nullptr, &size) == platform::kErrorSuccess) {
        std::vector<platform::BYTE> data(size);
        if (platform::RegQueryValueExW(key, name.c_str(), nullptr, nullptr, data.data(), &size) ==
            platform::kErrorSuccess)
            std::memcpy(&value, data.data(), std::min<size_t>(size, sizeof value));
    }
    platform::RegCloseKey(key);
    return value;
}

LONG RegWriteDword(std::string_view subKey, std::string_view valueName, DWORD value) {
    platform::HKEY key = nullptr;
    LONG rc = OpenWithRetry(subKey, platform::KEY_WRITE, &key);
    if (rc != platform::kErrorSuccess) return rc;
    return SetAndClose(key, valueName, platform::REG_DWORD, &value, sizeof value);
}

LONG RegWriteString(std::string_view subKey, std::string_view valueName, std::string_view text) {
    platform::HKEY key = nullptr;
    LONG rc = OpenWithRetry(subKey, platform::KEY_WRITE, &key);
    if (rc != platform::kErrorSuccess) return rc;
    std::u16string wide = platform::Utf8ToWide(text);
    return SetAndClose(key, valueName, platform::REG_SZ, wide.data(), static_cast<DWORD>(wide.size() * 2));
}

LONG RegWriteBinary(std::string_view subKey, std::string_view valueName, const void* data, DWORD size) {
    platform::HKEY key = nullptr;
    std::u16string path = KeyPath(subKey);
    LONG rc = platform::RegOpenKeyExW(platform::HKEY_LOCAL_MACHINE, path.c_str(), 0, platform::KEY_WRITE, &key);
    if (rc != platform::kErrorSuccess) return rc;
    return SetAndClose(key, valueName, platform::REG_BINARY, data, size);
}

}  // namespace panel
