#include "tools/backup/reg_store_io.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

#include "platform/codepage/codepage.h"
#include "tools/backup/backup_console.h"
#include "tools/backup/reg_file_format.h"

namespace backup {
namespace {

using namespace platform;

std::string KeyName(const std::u16string& key) { return std::string(kRootPrefix) + WideToUtf8(key); }

// Reads value `index` whatever the size of its name and data. Returns the
// enumeration's result.
LONG EnumValue(HKEY key, DWORD index, RegValue& value) {
    std::u16string name(256, u'\0');
    std::vector<BYTE> data(4096);
    for (int attempt = 0; attempt < 8; ++attempt) {
        DWORD nameLength = static_cast<DWORD>(name.size());
        DWORD size = static_cast<DWORD>(data.size());
        DWORD type = 0;
        LONG rc = RegEnumValueW(key, index, name.data(), &nameLength, nullptr, &type, data.data(), &size);
        if (rc == kErrorSuccess) {
            value.name.assign(name.data(), nameLength);
            value.type = type;
            value.data.assign(data.begin(), data.begin() + size);
            return rc;
        }
        if (rc != kErrorMoreData) return rc;
        // Either buffer may have been short; grow both past what was asked.
        if (size > data.size()) data.resize(size);
        else data.resize(data.size() * 2);
        name.resize(name.size() * 4);
    }
    return kErrorMoreData;
}

LONG EnumSubKey(HKEY key, DWORD index, std::u16string& subKey) {
    std::u16string name(256, u'\0');
    for (int attempt = 0; attempt < 4; ++attempt) {
        DWORD nameLength = static_cast<DWORD>(name.size());
        LONG rc = RegEnumKeyExW(key, index, name.data(), &nameLength, nullptr, nullptr, nullptr, nullptr);
        if (rc == kErrorSuccess) {
            subKey.assign(name.data(), nameLength);
            return rc;
        }
        if (rc != kErrorMoreData) return rc;
        name.resize(name.size() * 8);
    }
    return kErrorMoreData;
}

void ExportTree(std::string& file, const std::u16string& source, const std::u16string& target, bool display) {
    const std::string keyLine = KeyLine(target.empty() ? source : target);
    if (display) Out().SayCp932(keyLine + "\n");
    file += kLineEnd + keyLine + kLineEnd;

    HKEY key = nullptr;
    LONG rc = RegOpenKeyExW(HKEY_LOCAL_MACHINE, (source + u"\\").c_str(), 0, KEY_READ, &key);
    if (rc != kErrorSuccess) {
        Out().Fail(KeyName(source), RegistryErrorText(rc));
        return;
    }
    for (DWORD index = 0;; ++index) {
        RegValue value;
        rc = EnumValue(key, index, value);
        if (rc == kErrorNoMoreItems) break;
        if (rc != kErrorSuccess) {
            Out().Fail(KeyName(source), RegistryErrorText(rc));
            break;
        }
        std::optional<std::string> lines = FormatValueLines(value);
        if (!lines) continue;
        file += *lines;
        if (display && value.type != kRegMultiSz) {
            // The echo shows the file's line ends as the terminal's.
            std::string echo = *lines;
            for (size_t at = echo.find("\r\n"); at != std::string::npos; at = echo.find("\r\n", at)) echo.erase(at, 1);
            Out().SayCp932(echo);
        }
    }
    std::vector<std::u16string> subKeys;
    for (DWORD index = 0;; ++index) {
        std::u16string subKey;
        rc = EnumSubKey(key, index, subKey);
        if (rc == kErrorNoMoreItems) break;
        if (rc != kErrorSuccess) {
            Out().Fail(KeyName(source), RegistryErrorText(rc));
            break;
        }
        subKeys.push_back(std::move(subKey));
    }
    RegCloseKey(key);
    for (const std::u16string& subKey : subKeys)
        ExportTree(file, source + u"\\" + subKey, target.empty() ? target : target + u"\\" + subKey, display);
}

LONG WriteValue(const std::u16string& key, const std::u16string& name, uint32_t type, const std::vector<uint8_t>& bytes) {
    HKEY handle = nullptr;
    LONG rc = RegOpenKeyExW(HKEY_LOCAL_MACHINE, (key + u"\\").c_str(), 0, KEY_WRITE, &handle);
    if (rc != kErrorSuccess) return rc;
    rc = RegSetValueExW(handle, name.c_str(), 0, type, bytes.data(), static_cast<DWORD>(bytes.size()));
    RegCloseKey(handle);
    return rc;
}

}  // namespace

std::string RegistryErrorText(LONG code) {
    switch (code) {
    case kErrorFileNotFound: return "no such key or value in the registry";
    case kErrorAccessDenied: return "access to the registry denied";
    case kErrorCantRead:
    case kErrorRegistryCorrupt: {
        std::string why = DescribeHiveDamage(HKEY_LOCAL_MACHINE);
        return why.empty() ? "the registry store cannot be read" : "the registry store cannot be read: " + why;
    }
    case kErrorCantWrite: return "the registry store cannot be written in " + RegistryStoreFolder();
    case kErrorInvalidParameter: return "name or data the registry does not take";
    default: return "registry error " + std::to_string(code);
    }
}

void ExportRegKey(std::string& file, const std::string& sourceKey, const std::string& targetKey, bool display) {
    ExportTree(file, Utf8ToWide(sourceKey), Utf8ToWide(targetKey), display);
}

void ImportRegFile(const std::string& path, bool display) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        Out().Fail(path, strerror(errno));
        return;
    }
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad()) {
        Out().Fail(path, strerror(errno));
        return;
    }
    // The whole file goes to the store in one write, or, when the tool is
    // stopped half-way, not at all.
    platform::RegistryBatch batch;
    std::u16string key;
    for (const RegFileItem& item : ParseRegFile(text.str())) {
        switch (item.kind) {
        case RegFileItem::kKey: {
            if (item.keyIgnored) {
                key.clear();
                Out().SayCp932("Skip " + item.line + "\n");
                break;
            }
            key = item.keyPath;
            if (display) Out().Say("Create Key = " + WideToUtf8(item.keyPath));
            LONG rc = CreateRegKey(nullptr, key);
            if (display) Out().Say(rc == kErrorSuccess ? "... Success.\n" : "... Failed.\n");
            if (rc != kErrorSuccess) {
                Out().Fail(KeyName(key), RegistryErrorText(rc));
                key.clear();
            }
            break;
        }
        case RegFileItem::kBadLine:
            if (display) Out().SayCp932(item.line + "\n");
            Out().Fail(path, "unreadable value line: " + platform::Cp932ToUtf8(item.line));
            break;
        case RegFileItem::kValue: {
            if (display) Out().SayCp932(item.line + "\n");
            if (key.empty()) break;  // under a key that could not be made
            LONG rc = WriteValue(key, item.value.name, item.value.type, item.value.data);
            if (rc != kErrorSuccess) Out().Fail(KeyName(key) + "\\" + WideToUtf8(item.value.name), RegistryErrorText(rc));
            break;
        }
        }
    }
    if (LONG rc = batch.Commit(); rc != kErrorSuccess) Out().Fail(platform::RegistryStoreFolder(), RegistryErrorText(rc));
}

LONG WriteRegDword(const std::u16string& key, const std::u16string& name, uint32_t value) {
    return WriteValue(key, name, kRegDword,
                      {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value >> 16),
                       static_cast<uint8_t>(value >> 24)});
}

LONG WriteRegString(const std::u16string& key, const std::u16string& name, const std::u16string& text) {
    return WriteValue(key, name, kRegSz, Utf16Bytes(text, true));
}

LONG WriteRegTyped(const std::u16string& key, const std::u16string& name, const std::vector<uint8_t>& bytes,
                   uint32_t type) {
    return WriteValue(key, name, type, bytes);
}

LONG WriteRegBinary(const std::u16string& key, const std::u16string& name, const std::vector<uint8_t>& bytes) {
    return WriteValue(key, name, kRegBinary, bytes);
}

LONG CreateRegKey(HKEY root, const std::u16string& key) {
    HKEY handle = nullptr;
    LONG rc = RegCreateKeyExW(root ? root : HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                              KEY_ALL_ACCESS, nullptr, &handle, nullptr);
    if (rc == kErrorSuccess) RegCloseKey(handle);
    return rc;
}

std::string ReadRegString(const std::string& keyPath, const std::string& valueName, const std::string& fallback) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, (keyPath + "\\").c_str(), 0, KEY_READ, &key) != kErrorSuccess) return fallback;
    std::string text;
    LONG rc = RegQueryValueUtf8(key, valueName.c_str(), 256, &text);
    RegCloseKey(key);
    return rc == kErrorSuccess ? text : fallback;
}

}  // namespace backup
