// The registry export file: its value lines as the writer makes them and
// the reader's view of a whole file. Pure text work; the store is touched
// by reg_store_io.
//
// Lines are code page 932 and end in CR LF. Strings the quoted form cannot
// carry exactly (a double quote, CR or LF, characters code page 932 has no
// code for) are written as hex(1): their UTF-16LE units with the NUL, and
// read back as REG_SZ. A double quote in a value name is written as \".
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace backup {

constexpr uint32_t kRegNone = 0;
constexpr uint32_t kRegSz = 1;
constexpr uint32_t kRegExpandSz = 2;
constexpr uint32_t kRegBinary = 3;
constexpr uint32_t kRegDword = 4;
constexpr uint32_t kRegMultiSz = 7;

constexpr char kLineEnd[] = "\r\n";
constexpr char kRootPrefix[] = "HKEY_LOCAL_MACHINE\\";

// One value as the store holds it: string types as UTF-16LE bytes.
struct RegValue {
    std::u16string name;
    uint32_t type = kRegNone;
    std::vector<uint8_t> data;
};

// "[HKEY_LOCAL_MACHINE\<key>]" in code page 932, without line end.
std::string KeyLine(std::u16string_view keyPath);

// The lines (CR LF ended) of one value, or nothing for a value the file
// leaves out: the unnamed value, REG_NONE, and an "ImagePath" string that
// names no existing file.
std::optional<std::string> FormatValueLines(const RegValue& value);

// A hex byte list after "<name>=hex...:": "%02x" bytes joined by ",", the
// line wrapped with ",\" and two blanks once the column passes 74; the
// column starts at the name's length + 5.
std::string FormatHexBytes(size_t nameLength, const std::vector<uint8_t>& bytes);

// What one file says to do, in file order.
struct RegFileItem {
    enum Kind { kKey, kValue, kBadLine } kind = kKey;
    std::string line;        // the line as read (continuations joined for hex values), for the echo
    std::u16string keyPath;  // kKey
    RegValue value;          // kValue: the store's form (strings UTF-16LE with NUL)
    bool keyIgnored = false; // kKey: another root; its values are skipped
};

// Reads the file's text (CR LF or LF line ends, lines of any length). Values
// before the first key line, and those under a key line of another root, are
// not returned.
std::vector<RegFileItem> ParseRegFile(std::string_view text);

// UTF-16 text to and from the store's little-endian bytes.
std::vector<uint8_t> Utf16Bytes(std::u16string_view text, bool withNul);
std::u16string Utf16FromBytes(const std::vector<uint8_t>& bytes);

}  // namespace backup
