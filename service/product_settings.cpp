#include "service/product_settings.h"

#include <time.h>

#include <cstring>
#include <vector>

#include "platform/registry/registry.h"

namespace service {

namespace {

// Opening is tried again while the registry reports an invalid handle.
int OpenWithRetries(const std::string& keyPath, platform::REGSAM access, platform::HKEY* key) {
    int rc = platform::kErrorInvalidHandle;
    for (int attempt = 0; attempt < 4; ++attempt) {
        if (attempt > 0) {
            timespec pause{0, 1000 * 1000};
            nanosleep(&pause, nullptr);
        }
        rc = platform::RegOpenKeyExA(platform::HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, access, key);
        if (rc != platform::kErrorInvalidHandle) break;
    }
    return rc;
}

}  // namespace

uint32_t ReadProductDword(const std::string& keyPath, const std::string& valueName, uint32_t defaultValue) {
    platform::HKEY key = nullptr;
    if (OpenWithRetries(keyPath, platform::KEY_READ, &key) != platform::kErrorSuccess) return defaultValue;
    unsigned char bytes[4];
    std::memcpy(bytes, &defaultValue, sizeof bytes);
    platform::DWORD size = sizeof bytes;
    platform::RegQueryValueExA(key, valueName.c_str(), nullptr, nullptr, bytes, &size);
    platform::RegCloseKey(key);
    uint32_t value;
    std::memcpy(&value, bytes, sizeof value);
    return value;
}

std::string ReadProductString(const std::string& keyPath, const std::string& valueName,
                              const std::string& defaultText, uint32_t size) {
    if (size == 0) return "";
    std::vector<char> buffer(size, '\0');
    std::memcpy(buffer.data(), defaultText.data(), std::min<size_t>(defaultText.size(), size - 1));
    platform::HKEY key = nullptr;
    if (OpenWithRetries(keyPath, platform::KEY_READ, &key) == platform::kErrorSuccess) {
        platform::DWORD got = size;
        platform::RegQueryValueExA(key, valueName.c_str(), nullptr, nullptr,
                                   reinterpret_cast<platform::BYTE*>(buffer.data()), &got);
        platform::RegCloseKey(key);
    }
    // A stored text that filled the buffer without its NUL stays within it.
    return std::string(buffer.data(), strnlen(buffer.data(), size));
}

std::string ReadProductPath(const std::string& keyPath, const std::string& valueName,
                            const std::string& defaultText, uint32_t size) {
    platform::HKEY key = nullptr;
    if (OpenWithRetries(keyPath, platform::KEY_READ, &key) != platform::kErrorSuccess) return defaultText;
    std::string text;
    int rc = platform::RegQueryValueUtf8(key, valueName.c_str(), size, &text);
    platform::RegCloseKey(key);
    return rc == platform::kErrorSuccess ? text : defaultText;
}

int WriteProductDword(const std::string& keyPath, const std::string& valueName, uint32_t value) {
    platform::HKEY key = nullptr;
    int rc = OpenWithRetries(keyPath, platform::KEY_WRITE, &key);
    if (rc != platform::kErrorSuccess) return rc;
    rc = platform::RegSetValueExA(key, valueName.c_str(), 0, platform::REG_DWORD,
                                  reinterpret_cast<const platform::BYTE*>(&value), sizeof value);
    platform::RegCloseKey(key);
    return rc;
}

}  // namespace service
