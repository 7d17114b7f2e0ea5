// Keywords are stored in Shift_JIS; a page is searched in its own bytes, so
// each keyword pattern is first written in the page's encoding.
#pragma once

#include <string>
#include <string_view>

namespace cwfs {

// The JIS X 0208 row/cell pair of a Shift_JIS double-byte character.
void ShiftJisToJisPair(unsigned char lead, unsigned char trail, unsigned char& j1, unsigned char& j2);

// The pattern in the encoding of code page codePage, converted part by part
// between its "*"s:
//  - 50220 (ISO-2022-JP): double-byte characters become their JIS pairs of
//    7-bit bytes without escape sequences; half-width katakana become the
//    full-width character's pair, as that code page writes them;
//  - 51932 (EUC-JP): double-byte characters become EUC-JP pairs,
//    half-width katakana 0x8E and the byte;
//  - 65001 (UTF-8): through UTF-16, at most 512 bytes a part;
//  - any other: unchanged.
std::string ConvertPatternForPage(std::string_view pattern, unsigned codePage);

}  // namespace cwfs
