// Text routines of the filter servers (the content word filter and the spam
// check) and of the attachment archiving server: the Base64 decoder, the
// header value reader with its encoded-word decoder, the "*" pattern
// matcher, the charset-name table, conversions between the local code page
// (932) and UTF-8, EUC-JP to Shift_JIS and quoted-printable.
//
// The three servers decode header values in slightly different ways; the
// caller says whose form it wants with a FilterTextUser:
//  - WordFilter: raw ISO-2022-JP runs (ESC $ up to ESC ( and its final
//    byte) and raw EUC-JP pairs anywhere in the value are turned into
//    Shift_JIS; Q encoded words take "=XX" and "&#NN;" (DecodeEncodedWordQ).
//  - SpamCheck and Archiver: after the last encoded word, a rest that holds
//    ESC $ is converted whole from ISO-2022-JP; Q encoded words go through
//    DecodeQuotedPrintable.
// Every result is text in the local code page (Shift_JIS).
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>

#include "common/text.h"
#include "common/wildcard.h"

namespace common {

enum class FilterTextUser { WordFilter, SpamCheck, Archiver };

// Base64 as every server decodes it: at most outSize - 1 characters read,
// characters outside the alphabet skipped, "=" ends the data. The number of
// bytes written to out, or -1 when they would not fit into outSize - 1
// (out then holds what fitted).
inline int DecodeBase64(std::string_view text, std::string& out, size_t outSize) {
    return Base64ToText(text, out, outSize);
}

// True when the whole text matches the "*" pattern, ASCII case ignored.
// The part after the last "*" must end the text wherever it occurs in it,
// so "*abc" matches "abcabc".
inline bool MatchPattern(std::string_view pattern, std::string_view text) { return WildcardMatch(pattern, text); }

// The Windows code page of a MIME charset name; 0 (the local code page)
// for a name in no row. The name is compared without regard to ASCII case
// and without surrounding blanks. For ISO-2022-KR (50225) a non-null
// scratch text is given the designation ESC $ ) C in front when it lacks
// it, since the decoder needs it before the first shift.
unsigned CodePageFromCharset(std::string_view name, std::string* scratch = nullptr,
                             FilterTextUser user = FilterTextUser::WordFilter);

// direction 0: UTF-8 to the local code page; otherwise the local code page
// to UTF-8.
std::string ConvertLocalUtf8(std::string_view text, int direction);

// Bytes in the code page to the local code page, combining sound marks
// composed with their kana first (decomposed text has no other way into
// the code page); the text unchanged when the code page cannot be
// converted.
std::string ToLocalCodePage(unsigned codePage, std::string_view text);

// EUC-JP to Shift_JIS: 0x8E x gives the half-width katakana x, a pair of
// bytes 0xA1-0xFE the Shift_JIS character of its JIS X 0208 code; every
// other byte is copied.
std::string EucJpToShiftJis(std::string_view text);

// Quoted-printable: "=" with CR LF or LF removed (soft line break), "=" and
// two hexadecimal digits (either case) give that byte, any other "=" is
// dropped; everything else is copied ("_" included).
std::string DecodeQuotedPrintable(std::string_view text);

// The word filter's decoder of Q encoded words: "=XX" (either case) and
// "&#NN;" / "&#NNN;" give the byte, the rest is copied; the result is cut
// at the first "?=".
std::string DecodeEncodedWordQ(std::string_view text);

// The next line of a text file, read whole however long it is, of which
// the first `keep` characters are kept (line end included when it fits).
// A long line is never split into pieces that read as lines of their own.
// False at the end of the file.
bool ReadWholeLine(FILE* file, std::string& line, size_t keep);

// One header value (encoded words, raw ISO-2022-JP and, for the word
// filter, raw EUC-JP) decoded into the local code page.
std::string ConvertToCodePage(std::string_view value, FilterTextUser user = FilterTextUser::WordFilter);

// The value of every header line named `name` (with its colon, e.g.
// "content-type:", ASCII case ignored) in the head of the file at path, in
// file order, continuation lines joined without a blank, each decoded with
// ConvertToCodePage. Lines are read whole however long they are; the head
// ends at the first empty line. The result is cut to limit - 1 bytes. Empty
// when the file cannot be opened or has no such header.
std::string ReadHeaderValue(std::string_view name, const std::string& path, size_t limit,
                            FilterTextUser user = FilterTextUser::WordFilter);

}  // namespace common
