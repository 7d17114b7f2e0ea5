#include "tools/backup/reg_file_format.h"

#include <cstdio>
#include <cstdlib>
#include <sys/stat.h>

#include "common/ascii_case.h"
#include "platform/codepage/codepage.h"

namespace backup {
namespace {

// The text of a string value up to its first NUL.
std::u16string StringText(const std::vector<uint8_t>& data) {
    std::u16string text = Utf16FromBytes(data);
    size_t nul = text.find(u'\0');
    if (nul != std::u16string::npos) text.resize(nul);
    return text;
}

// True when the quoted form gives back exactly this text: no quote, CR or
// LF, and every character has a code in code page 932.
bool QuotedFormHolds(std::u16string_view text, const std::string& cp932) {
    if (text.find_first_of(u"\"\r\n") != std::u16string_view::npos) return false;
    return platform::Cp932ToWide(cp932) == text;
}

// An "ImagePath" is exported only while its file exists, since a service
// entry naming a missing program would be restored broken.
bool IsMissingImagePath(const RegValue& value, std::u16string_view text) {
    if (!common::EqualsIgnoringAsciiCase(platform::WideToCp932(value.name), "imagepath")) return false;
    struct stat st;
    return text.empty() || stat(platform::WideToUtf8(text).c_str(), &st) != 0;
}

std::string EscapedName(const std::string& cp932Name) {
    std::string out;
    for (char c : cp932Name) {
        if (c == '"') out += '\\';
        out += c;
    }
    return out;
}

// The value name of a line beginning with a quote: "\"" stands for a
// quote. Lines of writers that never escaped (a name ending in "\") are read
// as such when the escaped reading finds no closing quote before "=".
// Returns the position behind the "=" that follows the name, or npos.
size_t ReadValueName(std::string_view line, std::string& name) {
    name.clear();
    for (size_t i = 1; i < line.size(); ++i) {
        if (line[i] == '\\' && i + 1 < line.size() && line[i + 1] == '"') {
            name += '"';
            ++i;
        } else if (line[i] == '"') {
            if (i + 1 < line.size() && line[i + 1] == '=') return i + 2;
            break;
        } else {
            name += line[i];
        }
    }
    size_t close = line.find('"', 1);
    if (close == std::string_view::npos) return std::string_view::npos;
    name.assign(line.substr(1, close - 1));
    size_t equals = line.find('=', close);
    return equals == std::string_view::npos ? equals : equals + 1;
}

bool ReadHexBytes(std::string_view text, std::vector<uint8_t>& bytes) {
    size_t start = 0;
    while (start <= text.size()) {
        size_t comma = text.find(',', start);
        std::string_view token = text.substr(start, comma == std::string_view::npos ? text.npos : comma - start);
        while (!token.empty() && (token.front() == ' ' || token.front() == '\t')) token.remove_prefix(1);
        while (!token.empty() && (token.back() == ' ' || token.back() == '\t')) token.remove_suffix(1);
        if (!token.empty()) {
            if (token.size() > 2) return false;
            unsigned value = 0;
            for (char c : token) {
                int digit = (c >= '0' && c <= '9') ? c - '0'
                            : (c >= 'a' && c <= 'f') ? c - 'a' + 10
                            : (c >= 'A' && c <= 'F') ? c - 'A' + 10
                                                     : -1;
                if (digit < 0) return false;
                value = value * 16 + static_cast<unsigned>(digit);
            }
            bytes.push_back(static_cast<uint8_t>(value));
        } else if (comma != std::string_view::npos) {
            return false;  // ",," is no byte list the writer makes
        }
        if (comma == std::string_view::npos) break;
        start = comma + 1;
    }
    return true;
}

std::vector<std::string_view> SplitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        std::string_view line = text.substr(start, end == std::string_view::npos ? text.npos : end - start);
        size_t cr = line.find('\r');
        if (cr != std::string_view::npos) line = line.substr(0, cr);
        lines.push_back(line);
        if (end == std::string_view::npos) break;
        start = end + 1;
    }
    return lines;
}

}  // namespace

std::vector<uint8_t> Utf16Bytes(std::u16string_view text, bool withNul) {
    std::vector<uint8_t> out;
    out.reserve(text.size() * 2 + 2);
    for (char16_t c : text) {
        out.push_back(static_cast<uint8_t>(c & 0xFF));
        out.push_back(static_cast<uint8_t>(c >> 8));
    }
    if (withNul) out.insert(out.end(), {0, 0});
    return out;
}

std::u16string Utf16FromBytes(const std::vector<uint8_t>& bytes) {
    std::u16string out;
    out.reserve(bytes.size() / 2);
    for (size_t i = 0; i + 1 < bytes.size(); i += 2)
        out.push_back(static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8)));
    return out;
}

std::string KeyLine(std::u16string_view keyPath) {
    return "[" + std::string(kRootPrefix) + platform::WideToCp932(keyPath) + "]";
}

std::string FormatHexBytes(size_t nameLength, const std::vector<uint8_t>& bytes) {
    std::string out;
    size_t column = nameLength + 5;
    char hex[3];
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (column > 74) {
            out += "\\";
            out += kLineEnd;
            out += "  ";
            column = 2;
        }
        snprintf(hex, sizeof hex, "%02x", bytes[i]);
        out += hex;
        column += 2;
        if (i + 1 < bytes.size()) {
            out += ',';
            column += 1;
        }
    }
    return out;
}

std::optional<std::string> FormatValueLines(const RegValue& value) {
    if (value.name.empty() || value.type == kRegNone) return std::nullopt;
    const std::string name = platform::WideToCp932(value.name);
    const std::string head = "\"" + EscapedName(name) + "\"=";
    std::string line;
    switch (value.type) {
    case kRegDword: {
        uint32_t number = 0;
        for (size_t i = 0; i < 4 && i < value.data.size(); ++i) number |= static_cast<uint32_t>(value.data[i]) << (8 * i);
        char text[16];
        snprintf(text, sizeof text, "0x%08x", number);
        line = head + "dword:" + text;
        break;
    }
    case kRegBinary:
        line = head + "hex:" + FormatHexBytes(name.size(), value.data);
        break;
    case kRegMultiSz: {
        std::string cp932 = platform::WideToCp932(Utf16FromBytes(value.data));
        line = head + "hex(7):" + FormatHexBytes(name.size(), std::vector<uint8_t>(cp932.begin(), cp932.end()));
        break;
    }
    case kRegSz:
    case kRegExpandSz: {
        std::u16string text = StringText(value.data);
        if (IsMissingImagePath(value, text)) return std::nullopt;
        std::string cp932 = platform::WideToCp932(text);
        if (QuotedFormHolds(text, cp932))
            line = head + "\"" + cp932 + "\"";
        else
            line = head + "hex(1):" + FormatHexBytes(name.size(), Utf16Bytes(text, true));
        break;
    }
    default: {
        // Types this product never stores keep their bytes; a reader takes
        // them back as binary data rather than losing them.
        char word[24];
        snprintf(word, sizeof word, "hex(%x):", value.type);
        line = head + word + FormatHexBytes(name.size(), value.data);
        break;
    }
    }
    return line + kLineEnd;
}

std::vector<RegFileItem> ParseRegFile(std::string_view text) {
    std::vector<RegFileItem> items;
    std::vector<std::string_view> lines = SplitLines(text);
    bool underKey = false;
    for (size_t n = 0; n < lines.size(); ++n) {
        std::string_view line = lines[n];
        if (!line.empty() && line.front() == '[') {
            std::string_view inside = line.substr(1, line.find(']') == line.npos ? line.npos : line.find(']') - 1);
            RegFileItem item;
            item.kind = RegFileItem::kKey;
            item.line = std::string(line);
            if (common::StartsWithIgnoringAsciiCase(inside, kRootPrefix) && inside.size() > sizeof kRootPrefix - 1) {
                item.keyPath = platform::Cp932ToWide(inside.substr(sizeof kRootPrefix - 1));
                underKey = true;
            } else {
                item.keyIgnored = true;
                underKey = false;
            }
            items.push_back(std::move(item));
            continue;
        }
        if (line.find('=') == line.npos || !underKey) continue;

        RegFileItem item;
        item.kind = RegFileItem::kValue;
        item.line = std::string(line);
        std::string name;
        size_t dataStart = line.front() == '"' ? ReadValueName(line, name) : line.npos;
        if (dataStart == line.npos) {
            item.kind = RegFileItem::kBadLine;
            items.push_back(std::move(item));
            continue;
        }
        item.value.name = platform::Cp932ToWide(name);
        std::string_view data = line.substr(dataStart);
        if (!data.empty() && data.front() == '"') {
            std::string_view content = data.substr(1, data.find('"', 1) == data.npos ? data.npos : data.find('"', 1) - 1);
            item.value.type = kRegSz;
            item.value.data = Utf16Bytes(platform::Cp932ToWide(content), true);
            items.push_back(std::move(item));
            continue;
        }
        size_t colon = data.find(':');
        if (colon == data.npos) continue;
        std::string_view word = data.substr(0, colon);
        std::string_view rest = data.substr(colon + 1);
        if (common::EqualsIgnoringAsciiCase(word, "dword")) {
            uint32_t number = static_cast<uint32_t>(strtoul(std::string(rest).c_str(), nullptr, 16));
            item.value.type = kRegDword;
            item.value.data = {static_cast<uint8_t>(number), static_cast<uint8_t>(number >> 8),
                               static_cast<uint8_t>(number >> 16), static_cast<uint8_t>(number >> 24)};
            items.push_back(std::move(item));
            continue;
        }
        if (!common::StartsWithIgnoringAsciiCase(word, "hex")) continue;
        size_t slash = rest.find('\\');
        std::string list(rest.substr(0, slash));
        while (slash != rest.npos && n + 1 < lines.size()) {
            std::string_view next = lines[++n];
            if (next.empty()) break;
            slash = next.find('\\');
            std::string_view part = next.substr(0, slash);
            if (part.size() > 2) list.append(part.substr(2));
        }
        std::vector<uint8_t> bytes;
        if (!ReadHexBytes(list, bytes)) {
            item.kind = RegFileItem::kBadLine;
            items.push_back(std::move(item));
            continue;
        }
        if (word.find("(7)") != word.npos) {
            item.value.type = kRegMultiSz;
            item.value.data = Utf16Bytes(platform::Cp932ToWide(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size())), false);
        } else if (word.find("(1)") != word.npos) {
            item.value.type = kRegSz;
            item.value.data = std::move(bytes);
        } else {
            item.value.type = kRegBinary;
            item.value.data = std::move(bytes);
        }
        items.push_back(std::move(item));
    }
    return items;
}

}  // namespace backup
