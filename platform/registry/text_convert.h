// Text conversions the registry needs: UTF-8 names, UTF-16 data as the
// wide calls see it, and code page 932 for the narrow calls.
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

// Code page 932 conversions. Characters without a counterpart become "?",
// as the Windows conversions do with their default character. NULs pass
// through, so NUL-separated lists convert whole.
std::u16string Cp932ToUtf16(std::string_view text);
std::string Utf16ToCp932(std::u16string_view text);

// UTF-16 units <-> little-endian bytes (an odd last byte is dropped).
std::u16string BytesToUtf16(const std::vector<BYTE>& bytes);
std::vector<BYTE> Utf16ToBytes(std::u16string_view text);

}  // namespace platform::registry_detail
