// The backup tool's side of the registry store: the key tree exported to
// text, a file imported back, and the single-value writers. Keys live under
// HKEY_LOCAL_MACHINE and are read and written through the wide calls, so
// that no text passes through code page 932 except the file itself.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/registry/registry.h"

namespace backup {

// Appends the key line and values of HKEY_LOCAL_MACHINE\<sourceKey> and of
// every sub-key to `file`, depth first, with key lines naming `targetKey`
// instead when it is not empty. Echoes to the console with `display`.
// Keys or values that cannot be read are reported as failures.
void ExportRegKey(std::string& file, const std::string& sourceKey, const std::string& targetKey, bool display);

// Writes the keys and values of an export file into the store. A file that
// cannot be read, a key or value that cannot be written and an unreadable
// line are reported as failures.
void ImportRegFile(const std::string& path, bool display);

// One value under HKEY_LOCAL_MACHINE\<key>; the Win32 result.
platform::LONG WriteRegDword(const std::u16string& key, const std::u16string& name, uint32_t value);
platform::LONG WriteRegString(const std::u16string& key, const std::u16string& name, const std::u16string& text);
platform::LONG WriteRegTyped(const std::u16string& key, const std::u16string& name, const std::vector<uint8_t>& bytes,
                             uint32_t type);
platform::LONG WriteRegBinary(const std::u16string& key, const std::u16string& name, const std::vector<uint8_t>& bytes);
// Creates a key (and its parents) under `root`, HKEY_LOCAL_MACHINE when null.
platform::LONG CreateRegKey(platform::HKEY root, const std::u16string& key);

// A string value under HKEY_LOCAL_MACHINE\<keyPath>, or `fallback` when the
// key or the value cannot be read. UTF-8 in and out.
std::string ReadRegString(const std::string& keyPath, const std::string& valueName, const std::string& fallback);

// Why a registry call failed, for a failure line.
std::string RegistryErrorText(platform::LONG code);

}  // namespace backup
