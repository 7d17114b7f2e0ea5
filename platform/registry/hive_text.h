// The hive file's text: the registry export syntax, in UTF-8.
//
//   Windows Registry Editor Version 5.00
//
//   [HKEY_LOCAL_MACHINE\SOFTWARE\Example]
//   @="default value"
//   "Text"="C:\\path with \"quotes\""
//   "Count"=dword:0000000a
//   "Bytes"=hex:01,02,ff
//   "Expand"=hex(2):25,00,41,00,25,00,00,00
//   "List"=hex(7):61,00,00,00,00,00
//
// Strings that cannot be written as quoted text (embedded NULs, line breaks,
// malformed UTF-16) are written as hex(1). Long hex lists are continued on
// the next line after a "\", as the export tools do.
#pragma once

#include <string>
#include <string_view>

#include "platform/registry/hive.h"

namespace platform::registry_detail {

extern const char kHiveFileHeader[];  // "Windows Registry Editor Version 5.00"

std::string FormatHive(const RegKeyNode& root, std::string_view rootName);

// Where and why a hive text does not parse: the 1-based line, and a short
// reason.
struct HiveDamage {
    size_t line = 0;
    std::string reason;
};

// Replaces *root with the content of `text`. False when the text is not in
// the syntax above or names another root; *root is then unspecified, and
// *damage (when given) tells the first line that does not parse.
bool ParseHive(std::string_view text, std::string_view rootName, RegKeyNode* root, HiveDamage* damage = nullptr);

}  // namespace platform::registry_detail
