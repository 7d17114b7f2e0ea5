// Text conversions the registry needs between UTF-8 names and UTF-16 data
// as the wide calls see it (code page 932 is platform/codepage's).
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/registry/registry.h"

namespace platform::registry_detail {

// Strict conversions: nullopt for malformed input (lone surrogates,
// invalid UTF-8).
std::optional<std::string> Utf16ToUtf8(std::u16string_view text);
std::optional<std::u16string> Utf8ToUtf16(std::string_view text);

// UTF-16 units <-> little-endian bytes (an odd last byte is dropped).
std::u16string BytesToUtf16(const std::vector<BYTE>& bytes);
std::vector<BYTE> Utf16ToBytes(std::u16string_view text);

}  // namespace platform::registry_detail
