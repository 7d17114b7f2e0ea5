#include "platform/registry/hive_text.h"

#include <cstdio>

#include "platform/registry/text_convert.h"

namespace platform::registry_detail {

const char kHiveFileHeader[] = "Windows Registry Editor Version 5.00";

namespace {

// Hex lists are continued once a line passes this column, which keeps the
// lines within 80 characters.
constexpr size_t kWrapColumn = 76;

std::string Quote(std::string_view text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '\\' || c == '"') out += '\\';
        out += c;
    }
    out += '"';
    return out;
}

// The text of a REG_SZ when it can be written between quotes: valid UTF-16
// ending in at most one NUL, and no NUL or line break inside.
std::optional<std::string> QuotableText(const std::vector<BYTE>& data) {
    if (data.size() % 2 != 0) return std::nullopt;
    std::u16string text = BytesToUtf16(data);
    if (!text.empty() && text.back() == u'\0') text.pop_back();
    if (text.find_first_of(std::u16string_view(u"\0\r\n", 3)) != std::u16string::npos) return std::nullopt;
    return Utf16ToUtf8(text);
}

void AppendHexList(std::string& out, size_t lineStart, const std::vector<BYTE>& data) {
    char digits[3];
    for (size_t i = 0; i < data.size(); ++i) {
        std::snprintf(digits, sizeof digits, "%02x", data[i]);
        out += digits;
        if (i + 1 == data.size()) break;
        out += ',';
        if (out.size() - lineStart > kWrapColumn) {
            out += "\\\n  ";
            lineStart = out.size() - 2;
        }
    }
}

void AppendValue(std::string& out, const RegValue& value) {
    size_t lineStart = out.size();
    out += value.name.empty() ? std::string("@") : Quote(value.name);
    out += '=';
    std::optional<std::string> text;
    if (value.type == REG_SZ && (text = QuotableText(value.data))) {
        out += Quote(*text);
    } else if (value.type == REG_DWORD && value.data.size() == 4) {
        char buffer[16];
        unsigned number = value.data[0] | (value.data[1] << 8) | (value.data[2] << 16) |
                          (static_cast<unsigned>(value.data[3]) << 24);
        std::snprintf(buffer, sizeof buffer, "dword:%08x", number);
        out += buffer;
    } else {
        char buffer[24];
        if (value.type == REG_BINARY) {
            std::snprintf(buffer, sizeof buffer, "hex:");
        } else {
            std::snprintf(buffer, sizeof buffer, "hex(%x):", value.type);
        }
        out += buffer;
        AppendHexList(out, lineStart, value.data);
    }
    out += '\n';
}

void AppendKey(std::string& out, const RegKeyNode& key, const std::string& path, bool always) {
    if (always || !key.values.empty()) {
        out += "[" + path + "]\n";
        for (const RegValue& value : key.values) AppendValue(out, value);
        out += '\n';
    }
    for (const RegKeyNode& sub : key.subKeys) AppendKey(out, sub, path + "\\" + sub.name, true);
}

// ---- parsing ----

std::string_view Trim(std::string_view text) {
    size_t start = text.find_first_not_of(" \t");
    if (start == std::string_view::npos) return {};
    size_t end = text.find_last_not_of(" \t");
    return text.substr(start, end - start + 1);
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i) {
        char a = text[i], b = prefix[i];
        if (a >= 'A' && a <= 'Z') a += 'a' - 'A';
        if (b >= 'A' && b <= 'Z') b += 'a' - 'A';
        if (a != b) return false;
    }
    return true;
}

// Reads a quoted text with \\ and \" escapes starting at text[pos] == '"';
// pos ends behind the closing quote.
bool ParseQuoted(std::string_view text, size_t& pos, std::string* out) {
    if (pos >= text.size() || text[pos] != '"') return false;
    out->clear();
    for (++pos; pos < text.size(); ++pos) {
        char c = text[pos];
        if (c == '"') {
            ++pos;
            return true;
        }
        if (c == '\\' && pos + 1 < text.size()) c = text[++pos];
        *out += c;
    }
    return false;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// 1 to `maxDigits` hex digits and nothing else.
bool ParseHexNumber(std::string_view text, size_t maxDigits, unsigned long* out) {
    if (text.empty() || text.size() > maxDigits) return false;
    *out = 0;
    for (char c : text) {
        int digit = HexDigit(c);
        if (digit < 0) return false;
        *out = (*out << 4) | static_cast<unsigned long>(digit);
    }
    return true;
}

bool ParseHexList(std::string_view text, std::vector<BYTE>* out) {
    out->clear();
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find(',', start);
        if (end == std::string_view::npos) end = text.size();
        std::string_view item = Trim(text.substr(start, end - start));
        unsigned long byte;
        if (!item.empty()) {
            if (!ParseHexNumber(item, 2, &byte)) return false;
            out->push_back(static_cast<BYTE>(byte));
        }
        start = end + 1;
    }
    return true;
}

class HiveParser {
public:
    HiveParser(std::string_view text, std::string_view rootName, RegKeyNode* root)
        : text_(text), rootName_(rootName), root_(root) {}

    bool Parse() {
        if (text_.substr(0, 3) == "\xEF\xBB\xBF") text_.remove_prefix(3);
        if (Trim(text_).empty()) return true;
        if (!Utf8ToUtf16(text_)) return FailAtFirstNonUtf8Line();
        std::string_view line;
        if (!NextLine(&line) || Trim(line) != kHiveFileHeader)
            return Fail(std::string("not the header \"") + kHiveFileHeader + "\"");
        while (NextLine(&line)) {
            line = Trim(line);
            if (line.empty() || line[0] == ';') continue;
            size_t at = line_;
            bool ok = line[0] == '[' ? ParseSection(line) : ParseValue(line);
            if (!ok) {
                // The file ends inside this entry: it was cut. A hex list
                // continued over lines is named by the line it begins on.
                if (pos_ > text_.size()) return Fail("cut short", at);
                if (line[0] != '[') return Fail(current_ ? "not a value line" : "a value before any key", at);
                bool closed = line.back() == ']';
                return Fail(closed ? "not a key of " + std::string(rootName_) : "not a key line", at);
            }
        }
        return true;
    }

    const HiveDamage& damage() const { return damage_; }

private:
    bool Fail(std::string reason, size_t at = 0) {
        damage_.line = at ? at : line_;
        damage_.reason = std::move(reason);
        return false;
    }

    bool FailAtFirstNonUtf8Line() {
        // A file saved as UTF-16 (as the Windows registry editor exports)
        // starts with its byte order mark.
        bool utf16 = text_.substr(0, 2) == "\xFF\xFE" || text_.substr(0, 2) == "\xFE\xFF";
        std::string_view line;
        while (NextLine(&line) && Utf8ToUtf16(line)) {
        }
        return Fail(utf16 ? "UTF-16 text; the store is UTF-8" : "not UTF-8 text");
    }

    bool NextLine(std::string_view* line) {
        if (pos_ >= text_.size()) return false;
        size_t end = text_.find('\n', pos_);
        if (end == std::string_view::npos) end = text_.size();
        *line = text_.substr(pos_, end - pos_);
        if (!line->empty() && line->back() == '\r') line->remove_suffix(1);
        pos_ = end + 1;
        ++line_;
        return true;
    }

    bool ParseSection(std::string_view line) {
        if (line.back() != ']') return false;
        std::string_view path = line.substr(1, line.size() - 2);
        if (!StartsWithNoCase(path, rootName_)) return false;
        path.remove_prefix(rootName_.size());
        if (!path.empty() && path[0] != '\\') return false;
        current_ = root_;
        for (const std::string& name : SplitKeyPath(path)) current_ = &current_->SubKey(name);
        return true;
    }

    bool ParseValue(std::string_view line) {
        if (!current_) return false;
        std::string name;
        size_t pos = 0;
        if (line[0] == '@') {
            pos = 1;
        } else if (!ParseQuoted(line, pos, &name) || name.empty()) {
            return false;
        }
        std::string_view rest = Trim(line.substr(pos));
        if (rest.empty() || rest[0] != '=') return false;
        rest = Trim(rest.substr(1));

        DWORD type;
        std::vector<BYTE> data;
        if (!rest.empty() && rest[0] == '"') {
            std::string text;
            size_t end = 0;
            if (!ParseQuoted(rest, end, &text) || end != rest.size()) return false;
            type = REG_SZ;
            data = Utf16ToBytes(*Utf8ToUtf16(text) + u'\0');
        } else if (StartsWithNoCase(rest, "dword:")) {
            unsigned long number;
            if (!ParseHexNumber(rest.substr(6), 8, &number)) return false;
            type = REG_DWORD;
            data = {static_cast<BYTE>(number), static_cast<BYTE>(number >> 8), static_cast<BYTE>(number >> 16),
                    static_cast<BYTE>(number >> 24)};
        } else if (StartsWithNoCase(rest, "hex")) {
            if (!ParseHexValue(rest.substr(3), &type, &data)) return false;
        } else {
            return false;
        }
        current_->SetValue(name, type, std::move(data));
        return true;
    }

    // After "hex": ":" for REG_BINARY or "(type):", then the byte list,
    // possibly continued over several lines ending in "\".
    bool ParseHexValue(std::string_view rest, DWORD* type, std::vector<BYTE>* data) {
        *type = REG_BINARY;
        if (!rest.empty() && rest[0] == '(') {
            size_t close = rest.find(')');
            unsigned long number;
            if (close == std::string_view::npos || !ParseHexNumber(rest.substr(1, close - 1), 8, &number)) return false;
            *type = static_cast<DWORD>(number);
            rest.remove_prefix(close + 1);
        }
        if (rest.empty() || rest[0] != ':') return false;
        std::string list(rest.substr(1));
        while (!list.empty() && list.back() == '\\') {
            list.pop_back();
            std::string_view next;
            if (!NextLine(&next)) {
                pos_ = text_.size() + 1;  // ran past the end
                return false;
            }
            list += Trim(next);
        }
        return ParseHexList(list, data);
    }

    std::string_view text_;
    std::string_view rootName_;
    RegKeyNode* root_;
    RegKeyNode* current_ = nullptr;
    size_t pos_ = 0;
    size_t line_ = 0;  // of the line NextLine gave last
    HiveDamage damage_;
};

}  // namespace

std::string FormatHive(const RegKeyNode& root, std::string_view rootName) {
    std::string out = std::string(kHiveFileHeader) + "\n\n";
    AppendKey(out, root, std::string(rootName), false);
    return out;
}

bool ParseHive(std::string_view text, std::string_view rootName, RegKeyNode* root, HiveDamage* damage) {
    *root = RegKeyNode{};
    root->name = std::string(rootName);
    HiveParser parser(text, rootName, root);
    if (parser.Parse()) return true;
    if (damage) *damage = parser.damage();
    return false;
}

}  // namespace platform::registry_detail
