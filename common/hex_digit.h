// One hexadecimal digit's value, in either case: what "%XX" and "=XX"
// escapes, chunk sizes and FTP path escapes are read with.
#pragma once

namespace common {

// 0-15 for 0-9, a-f and A-F; -1 for any other byte.
inline int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace common
