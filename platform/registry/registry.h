// Registry stand-in: Win32-shaped calls over one text file per hive.
//
// Hives: HKEY_LOCAL_MACHINE and HKEY_CURRENT_USER, stored as
// HKEY_LOCAL_MACHINE.reg and HKEY_CURRENT_USER.reg under $VELQOR_REGISTRY_DIR
// (default /var/lib/velqor/registry) in the registry text export syntax.
//
// Every call returns a Win32 error code (platform/win32_errors.h):
// 0 (kErrorSuccess) on success. Key and value names compare
// case-insensitively and keep the case they were created with. An empty or
// null value name means the unnamed default value.
//
// Narrow ("A") calls take and return text in code page 932; stored text is
// converted to and from it. Wide ("W") calls take and return UTF-16 as
// char16_t (write u"..." literals); their string sizes count char16_t units
// exactly as WCHAR units count on Windows, and byte sizes count two bytes per
// unit.
//
// Every change is a locked read-modify-write of the hive file that replaces
// it atomically, so several processes may use the store at once. Reads see
// the latest file. A RegistryBatch writes many changes at once. A handle whose key was deleted by someone else answers
// kErrorKeyDeleted. Handles may be used from several threads.
#pragma once

#include <cstdint>
#include <string>

#include "platform/win32_errors.h"

namespace platform {

// Win32 scalar names. Another layer may repeat these aliases (same types).
using DWORD = std::uint32_t;
using LONG = std::int32_t;
using BYTE = std::uint8_t;
using REGSAM = std::uint32_t;

struct RegistryKey;           // opaque
using HKEY = RegistryKey*;

// The two predefined roots. They are never closed (closing them is a no-op).
extern HKEY const HKEY_LOCAL_MACHINE;
extern HKEY const HKEY_CURRENT_USER;

// Value types.
constexpr DWORD REG_NONE = 0;
constexpr DWORD REG_SZ = 1;
constexpr DWORD REG_EXPAND_SZ = 2;
constexpr DWORD REG_BINARY = 3;
constexpr DWORD REG_DWORD = 4;
constexpr DWORD REG_MULTI_SZ = 7;

// Access rights. A handle allows only what it was opened for:
// query/enumerate values needs KEY_QUERY_VALUE, set/delete a value needs
// KEY_SET_VALUE, enumerate sub-keys needs KEY_ENUMERATE_SUB_KEYS, creating
// a sub-key below it needs KEY_CREATE_SUB_KEY; otherwise kErrorAccessDenied.
// Deleting a sub-key needs no right on the parent handle.
constexpr REGSAM KEY_QUERY_VALUE = 0x0001;
constexpr REGSAM KEY_SET_VALUE = 0x0002;
constexpr REGSAM KEY_CREATE_SUB_KEY = 0x0004;
constexpr REGSAM KEY_ENUMERATE_SUB_KEYS = 0x0008;
constexpr REGSAM KEY_NOTIFY = 0x0010;
constexpr REGSAM KEY_READ = 0x20019;
constexpr REGSAM KEY_WRITE = 0x20006;
constexpr REGSAM KEY_ALL_ACCESS = 0xF003F;

// Create options and dispositions.
constexpr DWORD REG_OPTION_NON_VOLATILE = 0;
constexpr DWORD REG_CREATED_NEW_KEY = 1;
constexpr DWORD REG_OPENED_EXISTING_KEY = 2;

// Error codes returned (constants in platform/win32_errors.h):
// kErrorSuccess, kErrorFileNotFound (key or value missing), kErrorAccessDenied
// (right missing; deleting a key that has sub-keys), kErrorInvalidHandle
// (null or closed handle), kErrorInvalidParameter, kErrorMoreData (buffer
// too small), kErrorNoMoreItems (enumeration index past the end),
// kErrorKeyDeleted (the key of the handle is gone), kErrorCantRead /
// kErrorCantWrite (hive file unreadable / not replaceable),
// kErrorRegistryCorrupt (hive file does not parse).

// Opens an existing key (sub-key path with "\" separators; empty or null
// opens `key` itself again). Never creates. kErrorFileNotFound when missing.
LONG RegOpenKeyExA(HKEY key, const char* subKey, DWORD options, REGSAM access,
                   HKEY* result);
LONG RegOpenKeyExW(HKEY key, const char16_t* subKey, DWORD options,
                   REGSAM access, HKEY* result);

// Opens or creates a key, creating missing parents. `keyClass` and
// `security` are ignored; `disposition` may be null.
LONG RegCreateKeyExA(HKEY key, const char* subKey, DWORD reserved,
                     const char* keyClass, DWORD options, REGSAM access,
                     const void* security, HKEY* result, DWORD* disposition);
LONG RegCreateKeyExW(HKEY key, const char16_t* subKey, DWORD reserved,
                     const char16_t* keyClass, DWORD options, REGSAM access,
                     const void* security, HKEY* result, DWORD* disposition);

// Reads a value. `type` and `data` may be null; `size` (bytes) is in/out:
// - data null, size given: *size = bytes needed, kErrorSuccess;
// - buffer too small: *size = bytes needed, kErrorMoreData, buffer unchanged;
// - otherwise the data is copied and *size = bytes copied.
// String types count their terminating NUL (one byte in A, two in W); a
// stored string without one gets it added. The stored type is reported but
// never checked against anything.
LONG RegQueryValueExA(HKEY key, const char* valueName, DWORD* reserved,
                      DWORD* type, BYTE* data, DWORD* size);
LONG RegQueryValueExW(HKEY key, const char16_t* valueName, DWORD* reserved,
                      DWORD* type, BYTE* data, DWORD* size);

// Writes a value of `size` bytes. String types in A take code page 932
// bytes, in W UTF-16 units; a missing terminating NUL is tolerated.
// REG_MULTI_SZ is NUL-separated strings ending in an empty one. Other types
// are stored as raw bytes.
LONG RegSetValueExA(HKEY key, const char* valueName, DWORD reserved,
                    DWORD type, const BYTE* data, DWORD size);
LONG RegSetValueExW(HKEY key, const char16_t* valueName, DWORD reserved,
                    DWORD type, const BYTE* data, DWORD size);

// Enumerates sub-keys sorted by name, ignoring case (as Windows lists them). `nameLength` is in/out in characters
// (A: bytes of code page 932, W: char16_t units): in = buffer capacity
// including the NUL, out = length without the NUL. Too small a buffer gives
// kErrorMoreData. Past the end: kErrorNoMoreItems. The class and time
// parameters are ignored (class length, when given, is set to 0).
LONG RegEnumKeyExA(HKEY key, DWORD index, char* name, DWORD* nameLength,
                   DWORD* reserved, char* keyClass, DWORD* classLength,
                   void* lastWriteTime);
LONG RegEnumKeyExW(HKEY key, DWORD index, char16_t* name, DWORD* nameLength,
                   DWORD* reserved, char16_t* keyClass, DWORD* classLength,
                   void* lastWriteTime);

// Enumerates values in the order they were first set: the name as in RegEnumKeyEx (the
// unnamed value has the empty name), and type/data/size as in
// RegQueryValueEx. Past the end: kErrorNoMoreItems.
LONG RegEnumValueA(HKEY key, DWORD index, char* name, DWORD* nameLength,
                   DWORD* reserved, DWORD* type, BYTE* data, DWORD* size);
LONG RegEnumValueW(HKEY key, DWORD index, char16_t* name, DWORD* nameLength,
                   DWORD* reserved, DWORD* type, BYTE* data, DWORD* size);

// Deletes one value (null or empty name: the unnamed value).
LONG RegDeleteValueA(HKEY key, const char* valueName);
LONG RegDeleteValueW(HKEY key, const char16_t* valueName);

// Deletes a key without sub-keys (kErrorAccessDenied when it has some,
// kErrorFileNotFound when missing). The roots cannot be deleted.
LONG RegDeleteKeyA(HKEY key, const char* subKey);
LONG RegDeleteKeyW(HKEY key, const char16_t* subKey);

// Releases a handle. Closing a predefined root does nothing.
LONG RegCloseKey(HKEY key);

// Not Win32 calls: Linux file names (UTF-8, which the narrow calls would
// take for code page 932) stored and read through the wide calls, so that
// a path in any letters reads back as it was.
// Sets a REG_SZ or REG_EXPAND_SZ value; kErrorInvalidParameter for text
// that is not UTF-8.
LONG RegSetValueUtf8(HKEY key, const char* valueName, DWORD type, const std::string& text);
// Reads a string value that fits `maxUnits` UTF-16 units (terminating NUL
// included), as RegQueryValueExW with a buffer of that size would: the
// result of that call, and on success *text in UTF-8, up to its first NUL.
LONG RegQueryValueUtf8(HKEY key, const char* valueName, DWORD maxUnits, std::string* text);

// Not a Win32 call: the changes this thread makes while the object lives
// are written to the store at once when it ends (or at Commit): one durable
// replacement of each changed hive file instead of one per change. Until
// then the thread reads its own changes, other threads and processes read
// the store as it was, and other writers wait. A batch inside another
// joins it; the outermost one writes. A process that dies before the end
// leaves the store as it was before the batch.
class RegistryBatch {
public:
    RegistryBatch();
    ~RegistryBatch();
    RegistryBatch(const RegistryBatch&) = delete;
    RegistryBatch& operator=(const RegistryBatch&) = delete;
    // Ends the batch now: kErrorSuccess, or why a hive file could not be
    // written (its changes are then lost). Later calls do nothing.
    LONG Commit();

private:
    bool open_ = true;
};

// Not Win32 calls: the store itself, for messages to the administrator.
// The folder of the hive files.
std::string RegistryStoreFolder();
// Why the hive of a root answers kErrorCantRead or kErrorRegistryCorrupt:
// "<hive file>, line <n>: <reason>" for text that does not parse, or
// "<hive file>: <system reason>" for a file that cannot be read; empty when
// the hive reads (a missing file is an empty hive).
std::string DescribeHiveDamage(HKEY root);

}  // namespace platform
