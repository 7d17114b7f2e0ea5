// Reads and writes of values under HKEY_LOCAL_MACHINE, each with the
// default that applies when the key or the value cannot be read.
#pragma once

#include <cstdint>
#include <string>

namespace service {

// The value read as four raw bytes (whatever its stored type), or the
// default. A value shorter than four bytes overlays the default's first
// bytes; a longer one gives the default.
uint32_t ReadProductDword(const std::string& keyPath, const std::string& valueName, uint32_t defaultValue);

// The text of a value that fits a buffer of `size` bytes (terminating NUL
// included), or the default (cut to fit).
std::string ReadProductString(const std::string& keyPath, const std::string& valueName,
                              const std::string& defaultText, uint32_t size);

// A file path stored through the wide calls (a Linux path is UTF-8, not
// code page 932 text): its text when it fits `size` UTF-16 units
// (terminating NUL included), or the default.
std::string ReadProductPath(const std::string& keyPath, const std::string& valueName,
                            const std::string& defaultText, uint32_t size);

// Stores a DWORD in an existing key: 0 or the Win32 error of the open or
// the write.
int WriteProductDword(const std::string& keyPath, const std::string& valueName, uint32_t value);

}  // namespace service
