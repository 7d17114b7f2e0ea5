// Seeds the product settings key of a test's registry store.
#pragma once

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

#include "platform/registry/registry.h"
#include "service/service_names.h"

namespace servicetest {

struct Setting {
    std::string name;
    std::variant<uint32_t, std::string> value;
};
using Settings = std::vector<Setting>;

// Writes each setting under `keyPath` (created when missing): numbers as
// REG_DWORD, texts as REG_SZ.
inline void Seed(const Settings& settings, const std::string& keyPath = service::kProductSettingsKey) {
    platform::HKEY key = nullptr;
    platform::RegCreateKeyExA(platform::HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, nullptr, 0, platform::KEY_ALL_ACCESS,
                              nullptr, &key, nullptr);
    for (const auto& s : settings) {
        if (auto* n = std::get_if<uint32_t>(&s.value))
            platform::RegSetValueExA(key, s.name.c_str(), 0, platform::REG_DWORD,
                                     reinterpret_cast<const platform::BYTE*>(n), sizeof *n);
        else {
            const auto& text = std::get<std::string>(s.value);
            platform::RegSetValueExA(key, s.name.c_str(), 0, platform::REG_SZ,
                                     reinterpret_cast<const platform::BYTE*>(text.c_str()),
                                     static_cast<platform::DWORD>(text.size() + 1));
        }
    }
    platform::RegCloseKey(key);
}

}  // namespace servicetest
