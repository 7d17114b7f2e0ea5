// Each test gets its own registry folder (not yet created) and helpers for
// the common calls.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/registry/registry.h"
#include "test_support.h"

namespace registry_test {

using namespace platform;

class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override { setenv("VELQOR_REGISTRY_DIR", StoreDir().c_str(), 1); }
    void TearDown() override { unsetenv("VELQOR_REGISTRY_DIR"); }

    std::string StoreDir() const { return dir_ / "registry"; }
    std::string HiveFile(const std::string& root = "HKEY_LOCAL_MACHINE") const {
        return StoreDir() + "/" + root + ".reg";
    }

    HKEY Create(HKEY root, const char* path, REGSAM access = KEY_ALL_ACCESS) {
        HKEY key = nullptr;
        EXPECT_EQ(kErrorSuccess, RegCreateKeyExA(root, path, 0, nullptr, REG_OPTION_NON_VOLATILE, access,
                                                 nullptr, &key, nullptr)) << path;
        return key;
    }

    static LONG SetBytesW(HKEY key, const char16_t* name, DWORD type, const std::vector<BYTE>& data) {
        return RegSetValueExW(key, name, 0, type, data.data(), static_cast<DWORD>(data.size()));
    }

    static std::vector<BYTE> Wide(std::u16string_view text) {
        std::vector<BYTE> out;
        for (char16_t c : text) {
            out.push_back(static_cast<BYTE>(c & 0xFF));
            out.push_back(static_cast<BYTE>(c >> 8));
        }
        return out;
    }

    static std::vector<BYTE> Bytes(std::string_view text) { return std::vector<BYTE>(text.begin(), text.end()); }

    // The value as the wide query gives it; type REG_NONE + empty when missing.
    static std::pair<DWORD, std::vector<BYTE>> QueryW(HKEY key, const char16_t* name) {
        DWORD type = REG_NONE, size = 0;
        if (RegQueryValueExW(key, name, nullptr, &type, nullptr, &size) != kErrorSuccess) return {REG_NONE, {}};
        std::vector<BYTE> data(size);
        EXPECT_EQ(kErrorSuccess, RegQueryValueExW(key, name, nullptr, &type, data.data(), &size));
        data.resize(size);
        return {type, data};
    }

    static std::pair<DWORD, std::vector<BYTE>> QueryA(HKEY key, const char* name) {
        DWORD type = REG_NONE, size = 0;
        if (RegQueryValueExA(key, name, nullptr, &type, nullptr, &size) != kErrorSuccess) return {REG_NONE, {}};
        std::vector<BYTE> data(size);
        EXPECT_EQ(kErrorSuccess, RegQueryValueExA(key, name, nullptr, &type, data.data(), &size));
        data.resize(size);
        return {type, data};
    }

    testsupport::TempDir dir_;
};

}  // namespace registry_test
