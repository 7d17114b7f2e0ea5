#include "platform/registry/hive.h"

#include <algorithm>
#include <cwctype>
#include <locale.h>


namespace platform::registry_detail {

namespace {

locale_t UnicodeLocale() {
    static const locale_t locale = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
    return locale;
}

char32_t Upper(char32_t c) {
    if (c < 0x80) return (c >= 'a' && c <= 'z') ? c - 'a' + 'A' : c;
    locale_t locale = UnicodeLocale();
    return locale ? static_cast<char32_t>(towupper_l(static_cast<wint_t>(c), locale)) : c;
}

// Decodes one character of valid UTF-8 (names are validated on the way in).
char32_t NextChar(std::string_view text, size_t& i) {
    unsigned char lead = static_cast<unsigned char>(text[i++]);
    if (lead < 0x80) return lead;
    int extra = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : 1;
    char32_t c = lead & (0x3F >> extra);
    for (int k = 0; k < extra && i < text.size(); ++k) c = (c << 6) | (text[i++] & 0x3F);
    return c;
}

}  // namespace

int CompareNames(std::string_view a, std::string_view b) {
    size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        char32_t x = Upper(NextChar(a, i));
        char32_t y = Upper(NextChar(b, j));
        if (x != y) return x < y ? -1 : 1;
    }
    if (i < a.size()) return 1;
    if (j < b.size()) return -1;
    return 0;
}

RegKeyNode* RegKeyNode::FindSubKey(std::string_view subName) {
    auto it = std::lower_bound(subKeys.begin(), subKeys.end(), subName,
                               [](const RegKeyNode& k, std::string_view n) { return CompareNames(k.name, n) < 0; });
    return (it != subKeys.end() && SameName(it->name, subName)) ? &*it : nullptr;
}

RegKeyNode& RegKeyNode::SubKey(std::string_view subName, bool* created) {
    auto it = std::lower_bound(subKeys.begin(), subKeys.end(), subName,
                               [](const RegKeyNode& k, std::string_view n) { return CompareNames(k.name, n) < 0; });
    bool isNew = it == subKeys.end() || !SameName(it->name, subName);
    if (isNew) {
        it = subKeys.insert(it, RegKeyNode{});
        it->name = std::string(subName);
    }
    if (created) *created = isNew;
    return *it;
}

bool RegKeyNode::RemoveSubKey(std::string_view subName) {
    RegKeyNode* found = FindSubKey(subName);
    if (!found) return false;
    subKeys.erase(subKeys.begin() + (found - subKeys.data()));
    return true;
}

RegValue* RegKeyNode::FindValue(std::string_view valueName) {
    for (RegValue& value : values) {
        if (SameName(value.name, valueName)) return &value;
    }
    return nullptr;
}

bool RegKeyNode::SetValue(std::string_view valueName, DWORD type, std::vector<BYTE> data) {
    if (RegValue* existing = FindValue(valueName)) {
        if (existing->type == type && existing->data == data) return false;
        existing->type = type;
        existing->data = std::move(data);
        return true;
    }
    values.push_back(RegValue{std::string(valueName), type, std::move(data)});
    return true;
}

bool RegKeyNode::RemoveValue(std::string_view valueName) {
    RegValue* found = FindValue(valueName);
    if (!found) return false;
    values.erase(values.begin() + (found - values.data()));
    return true;
}

KeyPath SplitKeyPath(std::string_view path) {
    KeyPath names;
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find('\\', start);
        if (end == std::string_view::npos) end = path.size();
        if (end > start) names.emplace_back(path.substr(start, end - start));
        start = end + 1;
    }
    return names;
}

RegKeyNode* FindKey(RegKeyNode& root, const KeyPath& path) {
    RegKeyNode* node = &root;
    for (const std::string& name : path) {
        node = node->FindSubKey(name);
        if (!node) return nullptr;
    }
    return node;
}

}  // namespace platform::registry_detail
