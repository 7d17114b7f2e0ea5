// Inside the code-page layer: iconv with Windows-style replacement, and the
// ISO-2022-JP escape handling built on CP932.
#pragma once

#include <string>
#include <string_view>

namespace platform::codepage_detail {

// Bytes in the iconv encoding `name` to UTF-16; undecodable bytes become
// U+FFFD, one for each byte, or one for a lead and trail byte pair when the
// encoding is a double-byte one. False when iconv does not know the encoding.
bool IconvDecode(const char* name, std::string_view in, std::u16string& out, bool doubleByte = false);
// UTF-16 to the iconv encoding `name`; characters it cannot hold become
// `replacement`. False when iconv does not know the encoding.
bool IconvEncode(const char* name, std::u16string_view in, std::string_view replacement,
                 std::string& out);

// JIS X 0208 row/cell bytes (0x21-0x7E each) and Shift_JIS double bytes.
void JisToShiftJis(unsigned char j1, unsigned char j2, unsigned char& s1, unsigned char& s2);
// False for Shift_JIS codes outside the 94x94 JIS plane (user-defined area).
bool ShiftJisToJis(unsigned char s1, unsigned char s2, unsigned char& j1, unsigned char& j2);

// ISO-2022-JP as any of code pages 50220-50222 writes it (ESC ( I and SO/SI
// katakana, NEC special rows) to UTF-16.
void DecodeIso2022Jp(std::string_view in, std::u16string& out);
// UTF-16 to ISO-2022-JP as code page 50220 writes it: half-width katakana
// become full-width, every double-byte run sits between ESC $ B and ESC ( B.
void EncodeIso2022Jp(std::u16string_view in, std::string& out);

}  // namespace platform::codepage_detail
