// The control panel's registry operations: every page reads and writes its
// settings through these. Each call opens the key for one access and closes
// it again; nothing is cached. Texts are UTF-8 here and stored through the
// wide calls (REG_SZ in UTF-16).
#pragma once

#include <string>
#include <string_view>

#include "platform/registry/registry.h"

namespace panel {

using platform::DWORD;
using platform::LONG;

inline constexpr char kProductSettingsKey[] = "SOFTWARE\\TAVRISK\\VELQOR_SERVER";

// The predefined keys the panel reads. HKEY_CLASSES_ROOT has no store of
// its own: the panel answers the two open commands it asks for itself.
enum class RegRoot { LocalMachine, CurrentUser, ClassesRoot };

// Reads a string value into `out` as a buffer of `bufferBytes` bytes would
// hold it (UTF-16, terminator included); a missing key or value, or one
// that does not fit, gives `defaultText`. Returns the size after the query.
// Under ClassesRoot, the default value of "chm.file\shell\open\command" and
// "htmlfile\shell\open\command" is "\"<opener>\" \"%1\"", the opener being
// $VELQOR_OPENER or xdg-open.
DWORD RegReadString(RegRoot root, std::string_view subKey, std::string_view valueName,
                    std::string_view defaultText, std::string& out, DWORD bufferBytes);

// Creates the key when missing; the system code (0 when it exists now).
LONG RegEnsureKey(RegRoot root, std::string_view subKey);

// The stored 32-bit value under HKEY_LOCAL_MACHINE, or `defaultValue`. The
// type is not looked at: a string's first four bytes read as the number.
DWORD RegReadDword(std::string_view subKey, std::string_view valueName, DWORD defaultValue);

// Writers under HKEY_LOCAL_MACHINE; the key must exist (none is created).
// 0 on success, else the code of the open or of the write.
LONG RegWriteDword(std::string_view subKey, std::string_view valueName, DWORD value);
LONG RegWriteString(std::string_view subKey, std::string_view valueName, std::string_view text);
LONG RegWriteBinary(std::string_view subKey, std::string_view valueName, const void* data, DWORD size);

}  // namespace panel
