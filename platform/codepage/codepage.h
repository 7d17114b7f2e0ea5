// Conversions between Windows code pages and UTF-16, shaped after
// MultiByteToWideChar / WideCharToMultiByte, on glibc's iconv.
//
// The conventions callers rely on are kept:
//  - a source length of -1 means a NUL-terminated text, terminator included
//    in the conversion and in the count;
//  - a destination size of 0 asks for the size needed and writes nothing;
//  - characters that cannot be decoded become U+FFFD, characters the target
//    code page cannot hold become its default character ('?'), so a
//    conversion does not fail on them;
//  - 0 is returned on failure (unknown code page, destination too small).
//
// Code page 0 (and 1, 3) is the system's ANSI code page, which is 932 here.
// 932 converts as Microsoft's table ("CP932"), so 0x5C and 0x7E stay the
// ASCII backslash and tilde. 50220-50222 (ISO-2022-JP) go through our own
// escape-sequence handling on top of CP932, which keeps half-width katakana
// and the NEC special characters that a strict ISO-2022-JP table refuses.
#pragma once

#include <string>
#include <string_view>

namespace platform {

constexpr unsigned kCodePageAnsi = 0;        // CP_ACP
constexpr unsigned kCodePageShiftJis = 932;
constexpr unsigned kCodePageIso2022Jp = 50220;
constexpr unsigned kCodePageEucJp = 51932;
constexpr unsigned kCodePageUtf8 = 65001;

// True when conversions to and from the code page are available.
bool IsCodePageSupported(unsigned codePage);

int MultiByteToWideChar(unsigned codePage, const char* source, int sourceLength,
                        char16_t* destination, int destinationSize);
int WideCharToMultiByte(unsigned codePage, const char16_t* source, int sourceLength,
                        char* destination, int destinationSize);

// Whole-text forms of the two calls. False only for an unsupported code page
// (the output is then empty).
bool DecodeText(unsigned codePage, std::string_view text, std::u16string& out);
bool EncodeText(unsigned codePage, std::u16string_view text, std::string& out);

// Text from one code page to another through UTF-16; empty when either code
// page is unsupported.
std::string ConvertText(unsigned fromCodePage, unsigned toCodePage, std::string_view text);
std::string Cp932ToUtf8(std::string_view text);
std::string Utf8ToCp932(std::string_view text);

// UTF-8 and CP932 to UTF-16 and back, for the wide registry calls.
std::u16string Utf8ToWide(std::string_view text);
std::string WideToUtf8(std::u16string_view text);
std::u16string Cp932ToWide(std::string_view text);
std::string WideToCp932(std::u16string_view text);

}  // namespace platform
