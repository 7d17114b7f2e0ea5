// The in-memory tree of one hive: keys with their values and sub-keys.
// Names are UTF-8, compared case-insensitively, kept in the case they were
// first given. String data is held as the wide calls see it (UTF-16LE).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/registry/registry.h"

namespace platform::registry_detail {

// <0, 0, >0 like strcmp, ignoring case.
int CompareNames(std::string_view a, std::string_view b);
inline bool SameName(std::string_view a, std::string_view b) { return CompareNames(a, b) == 0; }

struct RegValue {
    std::string name;  // empty: the unnamed default value
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
};

struct RegKeyNode {
    std::string name;
    std::vector<RegValue> values;     // in the order they were first set
    std::vector<RegKeyNode> subKeys;  // sorted by name, ignoring case

    RegKeyNode* FindSubKey(std::string_view subName);
    // The existing sub-key of that name, or a new one.
    RegKeyNode& SubKey(std::string_view subName, bool* created = nullptr);
    bool RemoveSubKey(std::string_view subName);

    RegValue* FindValue(std::string_view valueName);
    // Adds or replaces; false when the value was already exactly so.
    bool SetValue(std::string_view valueName, DWORD type, std::vector<BYTE> data);
    bool RemoveValue(std::string_view valueName);
};

using KeyPath = std::vector<std::string>;

// Splits "A\B\C" into its names; empty parts (a leading, trailing or doubled
// backslash) are skipped.
KeyPath SplitKeyPath(std::string_view path);

// The key at `path` below `root`, or null.
RegKeyNode* FindKey(RegKeyNode& root, const KeyPath& path);

}  // namespace platform::registry_detail
