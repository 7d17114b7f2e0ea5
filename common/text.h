// Small text routines shared by the proxy engine and the filter servers:
// blank trimming, Base64, a case-insensitive search, reversed DNS query
// names and code page conversion through UTF-16.
#pragma once

#include <algorithm>
#include <cstddef>
#include <string>
#include <string_view>

namespace common {

// The text without its leading blanks and tabs.
inline std::string_view SkipBlanks(std::string_view text) {
    return text.substr(std::min(text.find_first_not_of(" \t"), text.size()));
}

// The text without leading and trailing blanks and tabs.
inline std::string_view TrimBlanks(std::string_view text) {
    text = SkipBlanks(text);
    return text.substr(0, text.find_last_not_of(" \t") + 1);
}

// 0-63 for the Base64 alphabet, -1 for "=", -2 for anything else.
int Base64Value(char c);

// Decodes Base64 text the way the system's fixed buffers did: at most
// destinationSize - 1 characters of the source are read, characters outside
// the alphabet (line ends, blanks) are skipped, a trailing incomplete group
// is ignored and "=" ends the text. Returns the number of bytes written to
// `destination` (binary-safe; the original's NUL terminator is implied),
// 0 when nothing can be read, -1 when the bytes would not fit.
int Base64ToText(std::string_view source, std::string& destination, size_t destinationSize);

// Standard Base64 (RFC 4648) with "=" padding and no line breaks.
std::string TextToBase64(std::string_view source);

// Position of the first occurrence of `needle` in `text`, ASCII letters
// compared without regard to case (bytes of 0x80 and above as they are);
// npos when the needle or the text is empty or there is no occurrence.
size_t StrIStr(std::string_view text, std::string_view needle);

// The prefix of a DNS blocklist query name for an address, ending in a dot:
//  - IPv4 text (dots, no colon): its parts in reverse order,
//    "192.0.2.1" -> "1.2.0.192."; returns 1;
//  - IPv6 text: the 32 hex digits of the address in reverse order, one per
//    label, as blocklist zones publish them,
//    "2001:db8::1" -> "1.0.0.0. ... .8.b.d.0.1.0.0.2."; returns 2;
//    an IPv4-mapped address ("::ffff:192.0.2.1") gives the IPv4 form and 1;
//  - anything else (neither colon nor dot, or an unreadable IPv6 text):
//    empty, returns 0.
int MakeReverseQueryName(std::string_view address, std::string& destination);

// Converts NUL-terminated text between a code page and UTF-8 (65001)
// through UTF-16: direction 1 from the code page to UTF-8, direction 0 from
// UTF-8 to the code page. The result counts its terminator: with
// destinationSize 0 nothing is written and the size a caller must provide is
// returned (result length with terminator, plus one); otherwise at most
// destinationSize - 1 bytes are copied, a NUL is put after them, and the
// number copied is returned (the terminator included when the whole result
// fitted). 0 when the conversion fails (unknown code page).
int ConvertCodePage(unsigned codePage, std::string_view source, char* destination, size_t destinationSize,
                    int direction);
inline int ConvertCodePageFromUtf8(unsigned codePage, std::string_view source, char* destination,
                                   size_t destinationSize) {
    return ConvertCodePage(codePage, source, destination, destinationSize, 0);
}

}  // namespace common
