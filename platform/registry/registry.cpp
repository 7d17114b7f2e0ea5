// The Reg* calls. The work is done once on UTF-8 names and wide-form data
// (the "core" functions); the narrow and wide entry points only convert
// names and string data and apply the caller's buffer sizes.
#include "platform/registry/registry.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <unordered_set>

#include "platform/codepage/codepage.h"
#include "platform/registry/hive.h"
#include "platform/registry/hive_store.h"
#include "platform/registry/text_convert.h"

namespace platform {

using registry_detail::FindKey;
using registry_detail::Hive;
using registry_detail::KeyPath;
using registry_detail::RegKeyNode;
using registry_detail::RegValue;

struct RegistryKey {
    Hive hive;
    KeyPath path;  // below the hive's root
    REGSAM access;
};

namespace {

RegistryKey g_localMachine{Hive::kLocalMachine, {}, KEY_ALL_ACCESS};
RegistryKey g_currentUser{Hive::kCurrentUser, {}, KEY_ALL_ACCESS};

}  // namespace

HKEY const HKEY_LOCAL_MACHINE = &g_localMachine;
HKEY const HKEY_CURRENT_USER = &g_currentUser;

namespace {

// ---- handles ----

// The open handles, so a closed or made-up handle is refused instead of
// being used. Never destroyed: a thread may still close a key at exit.
std::mutex g_handleMutex;
std::unordered_set<HKEY>& LiveHandles() {
    static auto* handles = new std::unordered_set<HKEY>;
    return *handles;
}

bool IsPredefined(HKEY key) { return key == HKEY_LOCAL_MACHINE || key == HKEY_CURRENT_USER; }

// A copy of the handle's state, or nullopt for a handle that is not open.
std::optional<RegistryKey> Lookup(HKEY key) {
    if (IsPredefined(key)) return *key;
    std::lock_guard<std::mutex> lock(g_handleMutex);
    if (!LiveHandles().count(key)) return std::nullopt;
    return *key;
}

HKEY NewHandle(Hive hive, KeyPath path, REGSAM access) {
    HKEY key = new RegistryKey{hive, std::move(path), access};
    std::lock_guard<std::mutex> lock(g_handleMutex);
    LiveHandles().insert(key);
    return key;
}

// ---- core operations on UTF-8 names ----

// Names are stored one per line in the hive file.
bool ValidName(const std::string& name) { return name.find_first_of("\r\n") == std::string::npos; }

bool ValidPath(const KeyPath& path) {
    for (const std::string& name : path) {
        if (!ValidName(name)) return false;
    }
    return true;
}

bool IsStringType(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ; }

// Strings are handed out with their terminating NUL even when they were
// stored without one; a list ends in an empty string.
std::vector<BYTE> Terminated(DWORD type, std::vector<BYTE> data) {
    if (!IsStringType(type)) return data;
    if (data.size() % 2 != 0) data.push_back(0);
    auto endsWithNul = [&](size_t back) {
        return data.size() >= 2 * back && data[data.size() - 2 * back] == 0 && data[data.size() - 2 * back + 1] == 0;
    };
    if (!endsWithNul(1)) data.insert(data.end(), {0, 0});
    if (type == REG_MULTI_SZ && data.size() > 2 && !endsWithNul(2)) data.insert(data.end(), {0, 0});
    return data;
}

// Reads the hive of an open handle and finds its key.
LONG ReadKey(HKEY key, REGSAM needed, std::shared_ptr<RegKeyNode>* root, RegKeyNode** node,
             RegistryKey* state = nullptr) {
    std::optional<RegistryKey> handle = Lookup(key);
    if (!handle) return kErrorInvalidHandle;
    if (state) *state = *handle;
    if ((handle->access & needed) != needed) return kErrorAccessDenied;
    if (LONG error = registry_detail::LoadHive(handle->hive, root); error != kErrorSuccess) return error;
    *node = FindKey(**root, handle->path);
    return *node ? kErrorSuccess : kErrorKeyDeleted;
}

// Changes the key of an open handle under the store lock.
LONG ChangeKey(HKEY key, REGSAM needed, const std::function<LONG(RegKeyNode&, bool&)>& change) {
    std::optional<RegistryKey> handle = Lookup(key);
    if (!handle) return kErrorInvalidHandle;
    if ((handle->access & needed) != needed) return kErrorAccessDenied;
    return registry_detail::ModifyHive(handle->hive, [&](RegKeyNode& root, bool& changed) {
        RegKeyNode* node = FindKey(root, handle->path);
        return node ? change(*node, changed) : kErrorKeyDeleted;
    });
}

LONG OpenKeyCore(HKEY key, const std::string& subKey, REGSAM access, HKEY* result) {
    if (!result) return kErrorInvalidParameter;
    std::shared_ptr<RegKeyNode> root;
    RegKeyNode* node = nullptr;
    RegistryKey parent;
    if (LONG error = ReadKey(key, 0, &root, &node, &parent); error != kErrorSuccess) return error;
    KeyPath path = parent.path;
    for (const std::string& name : registry_detail::SplitKeyPath(subKey)) {
        node = node->FindSubKey(name);
        if (!node) return kErrorFileNotFound;
        path.push_back(node->name);
    }
    *result = NewHandle(parent.hive, std::move(path), access);
    return kErrorSuccess;
}

LONG CreateKeyCore(HKEY key, const std::string& subKey, REGSAM access, HKEY* result, DWORD* disposition) {
    if (!result) return kErrorInvalidParameter;
    KeyPath names = registry_detail::SplitKeyPath(subKey);
    if (!ValidPath(names)) return kErrorInvalidParameter;

    // An existing key is only opened, so no write access to the store is
    // needed for it.
    std::shared_ptr<RegKeyNode> root;
    RegKeyNode* node = nullptr;
    if (LONG error = ReadKey(key, 0, &root, &node); error != kErrorSuccess) return error;
    bool exists = true;
    for (const std::string& name : names) {
        if (!(node = node->FindSubKey(name))) {
            exists = false;
            break;
        }
    }
    bool created = false;
    LONG error = exists ? kErrorSuccess : ChangeKey(key, KEY_CREATE_SUB_KEY, [&](RegKeyNode& start, bool& changed) {
        RegKeyNode* at = &start;
        for (const std::string& name : names) at = &at->SubKey(name, &changed);
        created = changed;
        return kErrorSuccess;
    });
    if (error != kErrorSuccess) return error;
    // Either way the key exists now: open it by the stored names.
    if (LONG openError = OpenKeyCore(key, subKey, access, result); openError != kErrorSuccess) return openError;
    if (disposition) *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    return kErrorSuccess;
}

LONG QueryValueCore(HKEY key, const std::string& name, DWORD* type, std::vector<BYTE>* data) {
    std::shared_ptr<RegKeyNode> root;
    RegKeyNode* node = nullptr;
    if (LONG error = ReadKey(key, KEY_QUERY_VALUE, &root, &node); error != kErrorSuccess) return error;
    const RegValue* value = node->FindValue(name);
    if (!value) return kErrorFileNotFound;
    *type = value->type;
    *data = Terminated(value->type, value->data);
    return kErrorSuccess;
}

LONG SetValueCore(HKEY key, const std::string& name, DWORD type, std::vector<BYTE> data) {
    if (!ValidName(name)) return kErrorInvalidParameter;
    return ChangeKey(key, KEY_SET_VALUE, [&](RegKeyNode& node, bool& changed) {
        changed = node.SetValue(name, type, std::move(data));
        return kErrorSuccess;
    });
}

LONG EnumKeyCore(HKEY key, DWORD index, std::string* name) {
    std::shared_ptr<RegKeyNode> root;
    RegKeyNode* node = nullptr;
    if (LONG error = ReadKey(key, KEY_ENUMERATE_SUB_KEYS, &root, &node); error != kErrorSuccess) return error;
    if (index >= node->subKeys.size()) return kErrorNoMoreItems;
    *name = node->subKeys[index].name;
    return kErrorSuccess;
}

LONG EnumValueCore(HKEY key, DWORD index, std::string* name, DWORD* type, std::vector<BYTE>* data) {
    std::shared_ptr<RegKeyNode> root;
    RegKeyNode* node = nullptr;
    if (LONG error = ReadKey(key, KEY_QUERY_VALUE, &root, &node); error != kErrorSuccess) return error;
    if (index >= node->values.size()) return kErrorNoMoreItems;
    const RegValue& value = node->values[index];
    *name = value.name;
    *type = value.type;
    *data = Terminated(value.type, value.data);
    return kErrorSuccess;
}

LONG DeleteValueCore(HKEY key, const std::string& name) {
    return ChangeKey(key, KEY_SET_VALUE, [&](RegKeyNode& node, bool& changed) {
        changed = node.RemoveValue(name);
        return changed ? kErrorSuccess : kErrorFileNotFound;
    });
}

LONG DeleteKeyCore(HKEY key, const std::string& subKey) {
    std::optional<RegistryKey> handle = Lookup(key);
    if (!handle) return kErrorInvalidHandle;
    KeyPath full = handle->path;
    for (std::string& name : registry_detail::SplitKeyPath(subKey)) full.push_back(std::move(name));
    if (full.empty()) return kErrorAccessDenied;  // a hive's root
    return registry_detail::ModifyHive(handle->hive, [&](RegKeyNode& root, bool& changed) {
        if (!FindKey(root, handle->path)) return kErrorKeyDeleted;
        RegKeyNode* target = FindKey(root, full);
        if (!target) return kErrorFileNotFound;
        if (!target->subKeys.empty()) return kErrorAccessDenied;
        std::string name = full.back();
        full.pop_back();
        changed = FindKey(root, full)->RemoveSubKey(name);
        return kErrorSuccess;
    });
}

// ---- narrow and wide entry points ----

// Narrow calls: names and string data in code page 932. NULs convert as
// characters, so NUL-separated lists convert whole.
struct NarrowText {
    using Char = char;
    static std::optional<std::string> NameIn(const char* text) {
        if (!text) return std::string();
        return registry_detail::Utf16ToUtf8(Cp932ToWide(text));
    }
    static std::string NameOut(const std::string& name) {
        return WideToCp932(*registry_detail::Utf8ToUtf16(name));
    }
    static std::vector<BYTE> DataIn(DWORD type, std::vector<BYTE> data) {
        if (!IsStringType(type)) return data;
        std::string_view text(reinterpret_cast<const char*>(data.data()), data.size());
        return registry_detail::Utf16ToBytes(Cp932ToWide(text));
    }
    static std::vector<BYTE> DataOut(DWORD type, std::vector<BYTE> data) {
        if (!IsStringType(type)) return data;
        std::string text = WideToCp932(registry_detail::BytesToUtf16(data));
        return std::vector<BYTE>(text.begin(), text.end());
    }
};

// Wide calls: UTF-16 names; data is already in the stored form.
struct WideText {
    using Char = char16_t;
    static std::optional<std::string> NameIn(const char16_t* text) {
        if (!text) return std::string();
        return registry_detail::Utf16ToUtf8(text);
    }
    static std::u16string NameOut(const std::string& name) { return *registry_detail::Utf8ToUtf16(name); }
    static std::vector<BYTE> DataIn(DWORD, std::vector<BYTE> data) { return data; }
    static std::vector<BYTE> DataOut(DWORD, std::vector<BYTE> data) { return data; }
};

// The size rules of value data: a size query with no buffer, the needed
// size and ERROR_MORE_DATA (buffer untouched) when it is too small.
LONG CopyData(const std::vector<BYTE>& bytes, BYTE* data, DWORD* size) {
    if (!size) return kErrorSuccess;
    DWORD needed = static_cast<DWORD>(bytes.size());
    if (data && *size < needed) {
        *size = needed;
        return kErrorMoreData;
    }
    if (data && needed) std::memcpy(data, bytes.data(), needed);
    *size = needed;
    return kErrorSuccess;
}

// Names: capacity in characters including the NUL in, length without it out.
template <typename Char>
LONG CopyName(const std::basic_string<Char>& text, Char* name, DWORD* length) {
    if (*length <= text.size()) return kErrorMoreData;
    std::copy(text.begin(), text.end(), name);
    name[text.size()] = Char();
    *length = static_cast<DWORD>(text.size());
    return kErrorSuccess;
}

template <typename T>
LONG OpenKey(HKEY key, const typename T::Char* subKey, REGSAM access, HKEY* result) {
    std::optional<std::string> path = T::NameIn(subKey);
    return path ? OpenKeyCore(key, *path, access, result) : kErrorInvalidParameter;
}

template <typename T>
LONG CreateKey(HKEY key, const typename T::Char* subKey, REGSAM access, HKEY* result, DWORD* disposition) {
    std::optional<std::string> path = T::NameIn(subKey);
    return path ? CreateKeyCore(key, *path, access, result, disposition) : kErrorInvalidParameter;
}

template <typename T>
LONG QueryValue(HKEY key, const typename T::Char* valueName, DWORD* type, BYTE* data, DWORD* size) {
    if (data && !size) return kErrorInvalidParameter;
    std::optional<std::string> name = T::NameIn(valueName);
    if (!name) return kErrorInvalidParameter;
    DWORD storedType;
    std::vector<BYTE> bytes;
    if (LONG error = QueryValueCore(key, *name, &storedType, &bytes); error != kErrorSuccess) return error;
    if (type) *type = storedType;
    return CopyData(T::DataOut(storedType, std::move(bytes)), data, size);
}

template <typename T>
LONG SetValue(HKEY key, const typename T::Char* valueName, DWORD type, const BYTE* data, DWORD size) {
    if (!data && size) return kErrorInvalidParameter;
    std::optional<std::string> name = T::NameIn(valueName);
    if (!name) return kErrorInvalidParameter;
    std::vector<BYTE> bytes(data, data + size);
    return SetValueCore(key, *name, type, T::DataIn(type, std::move(bytes)));
}

template <typename T>
LONG EnumKey(HKEY key, DWORD index, typename T::Char* name, DWORD* nameLength, DWORD* classLength) {
    if (!name || !nameLength) return kErrorInvalidParameter;
    std::string found;
    if (LONG error = EnumKeyCore(key, index, &found); error != kErrorSuccess) return error;
    if (classLength) *classLength = 0;
    return CopyName(T::NameOut(found), name, nameLength);
}

template <typename T>
LONG EnumValue(HKEY key, DWORD index, typename T::Char* name, DWORD* nameLength, DWORD* type, BYTE* data,
               DWORD* size) {
    if (!name || !nameLength || (data && !size)) return kErrorInvalidParameter;
    std::string found;
    DWORD storedType;
    std::vector<BYTE> bytes;
    if (LONG error = EnumValueCore(key, index, &found, &storedType, &bytes); error != kErrorSuccess) return error;
    if (LONG error = CopyName(T::NameOut(found), name, nameLength); error != kErrorSuccess) return error;
    if (type) *type = storedType;
    return CopyData(T::DataOut(storedType, std::move(bytes)), data, size);
}

template <typename T>
LONG DeleteValue(HKEY key, const typename T::Char* valueName) {
    std::optional<std::string> name = T::NameIn(valueName);
    return name ? DeleteValueCore(key, *name) : kErrorInvalidParameter;
}

template <typename T>
LONG DeleteKey(HKEY key, const typename T::Char* subKey) {
    if (!subKey) return kErrorInvalidParameter;
    std::optional<std::string> path = T::NameIn(subKey);
    return path ? DeleteKeyCore(key, *path) : kErrorInvalidParameter;
}

}  // namespace

LONG RegOpenKeyExA(HKEY key, const char* subKey, DWORD, REGSAM access, HKEY* result) {
    return OpenKey<NarrowText>(key, subKey, access, result);
}
LONG RegOpenKeyExW(HKEY key, const char16_t* subKey, DWORD, REGSAM access, HKEY* result) {
    return OpenKey<WideText>(key, subKey, access, result);
}

LONG RegCreateKeyExA(HKEY key, const char* subKey, DWORD, const char*, DWORD, REGSAM access, const void*,
                     HKEY* result, DWORD* disposition) {
    return CreateKey<NarrowText>(key, subKey, access, result, disposition);
}
LONG RegCreateKeyExW(HKEY key, const char16_t* subKey, DWORD, const char16_t*, DWORD, REGSAM access, const void*,
                     HKEY* result, DWORD* disposition) {
    return CreateKey<WideText>(key, subKey, access, result, disposition);
}

LONG RegQueryValueExA(HKEY key, const char* valueName, DWORD*, DWORD* type, BYTE* data, DWORD* size) {
    return QueryValue<NarrowText>(key, valueName, type, data, size);
}
LONG RegQueryValueExW(HKEY key, const char16_t* valueName, DWORD*, DWORD* type, BYTE* data, DWORD* size) {
    return QueryValue<WideText>(key, valueName, type, data, size);
}

LONG RegSetValueExA(HKEY key, const char* valueName, DWORD, DWORD type, const BYTE* data, DWORD size) {
    return SetValue<NarrowText>(key, valueName, type, data, size);
}
LONG RegSetValueExW(HKEY key, const char16_t* valueName, DWORD, DWORD type, const BYTE* data, DWORD size) {
    return SetValue<WideText>(key, valueName, type, data, size);
}

LONG RegEnumKeyExA(HKEY key, DWORD index, char* name, DWORD* nameLength, DWORD*, char* keyClass,
                   DWORD* classLength, void*) {
    if (keyClass && classLength && *classLength > 0) keyClass[0] = '\0';
    return EnumKey<NarrowText>(key, index, name, nameLength, classLength);
}
LONG RegEnumKeyExW(HKEY key, DWORD index, char16_t* name, DWORD* nameLength, DWORD*, char16_t* keyClass,
                   DWORD* classLength, void*) {
    if (keyClass && classLength && *classLength > 0) keyClass[0] = u'\0';
    return EnumKey<WideText>(key, index, name, nameLength, classLength);
}

LONG RegEnumValueA(HKEY key, DWORD index, char* name, DWORD* nameLength, DWORD*, DWORD* type, BYTE* data,
                   DWORD* size) {
    return EnumValue<NarrowText>(key, index, name, nameLength, type, data, size);
}
LONG RegEnumValueW(HKEY key, DWORD index, char16_t* name, DWORD* nameLength, DWORD*, DWORD* type, BYTE* data,
                   DWORD* size) {
    return EnumValue<WideText>(key, index, name, nameLength, type, data, size);
}

LONG RegDeleteValueA(HKEY key, const char* valueName) { return DeleteValue<NarrowText>(key, valueName); }
LONG RegDeleteValueW(HKEY key, const char16_t* valueName) { return DeleteValue<WideText>(key, valueName); }

LONG RegDeleteKeyA(HKEY key, const char* subKey) { return DeleteKey<NarrowText>(key, subKey); }
LONG RegDeleteKeyW(HKEY key, const char16_t* subKey) { return DeleteKey<WideText>(key, subKey); }

LONG RegCloseKey(HKEY key) {
    if (IsPredefined(key)) return kErrorSuccess;
    std::lock_guard<std::mutex> lock(g_handleMutex);
    if (!LiveHandles().erase(key)) return kErrorInvalidHandle;
    delete key;
    return kErrorSuccess;
}

LONG RegSetValueUtf8(HKEY key, const char* valueName, DWORD type, const std::string& text) {
    std::optional<std::u16string> wide = registry_detail::Utf8ToUtf16(text);
    std::optional<std::u16string> name = registry_detail::Utf8ToUtf16(valueName ? valueName : "");
    if (!wide || !name || (type != REG_SZ && type != REG_EXPAND_SZ)) return kErrorInvalidParameter;
    *wide += u'\0';
    return RegSetValueExW(key, name->c_str(), 0, type, reinterpret_cast<const BYTE*>(wide->data()),
                          static_cast<DWORD>(wide->size() * sizeof(char16_t)));
}

LONG RegQueryValueUtf8(HKEY key, const char* valueName, DWORD maxUnits, std::string* text) {
    std::optional<std::u16string> name = registry_detail::Utf8ToUtf16(valueName ? valueName : "");
    if (!name || !text) return kErrorInvalidParameter;
    std::u16string buffer(maxUnits, u'\0');
    DWORD size = maxUnits * sizeof(char16_t);
    LONG rc = RegQueryValueExW(key, name->c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(buffer.data()), &size);
    if (rc != kErrorSuccess) return rc;
    buffer.resize(std::min<size_t>(buffer.find(u'\0'), size / sizeof(char16_t)));
    std::optional<std::string> utf8 = registry_detail::Utf16ToUtf8(buffer);
    if (!utf8) return kErrorInvalidData;
    *text = std::move(*utf8);
    return kErrorSuccess;
}

RegistryBatch::RegistryBatch() { registry_detail::BeginBatch(); }

RegistryBatch::~RegistryBatch() { Commit(); }

LONG RegistryBatch::Commit() {
    if (!open_) return kErrorSuccess;
    open_ = false;
    return registry_detail::EndBatch();
}

std::string RegistryStoreFolder() { return registry_detail::StoreFolder(); }

std::string DescribeHiveDamage(HKEY root) {
    std::optional<RegistryKey> handle = Lookup(root);
    return handle ? registry_detail::DescribeHiveDamage(handle->hive) : "";
}

}  // namespace platform
