// Each test gets its own registry folder (not yet created) and helpers for
// the common calls.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
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

    // The value as a query gives it: a size query, then the read.
    // Type REG_NONE and no data when it is missing.
    using QueryCall = std::function<LONG(DWORD* type, BYTE* data, DWORD* size)>;
    static std::pair<DWORD, std::vector<BYTE>> Query(const QueryCall& query) {
        DWORD type = REG_NONE, size = 0;
        if (query(&type, nullptr, &size) != kErrorSuccess) return {REG_NONE, {}};
        std::vector<BYTE> data(size);
        EXPECT_EQ(kErrorSuccess, query(&type, data.data(), &size));
        data.resize(size);
        return {type, data};
    }
    static std::pair<DWORD, std::vector<BYTE>> QueryW(HKEY key, const char16_t* name) {
        return Query([&](DWORD* type, BYTE* data, DWORD* size) {
            return RegQueryValueExW(key, name, nullptr, type, data, size);
        });
    }
    static std::pair<DWORD, std::vector<BYTE>> QueryA(HKEY key, const char* name) {
        return Query([&](DWORD* type, BYTE* data, DWORD* size) {
            return RegQueryValueExA(key, name, nullptr, type, data, size);
        });
    }

    testsupport::TempDir dir_;
};

}  // namespace registry_test
