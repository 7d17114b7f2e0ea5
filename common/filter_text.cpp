#include "common/filter_text.h"

#include <cstring>
#include <initializer_list>

#include "common/ascii_case.h"
#include "common/compose_marks.h"
#include "common/file_retry.h"
#include "common/hex_digit.h"
#include "common/list_file.h"
#include "platform/codepage/codepage.h"

namespace common {
namespace {

struct CharsetRow {
    unsigned codePage;
    std::initializer_list<const char*> names;
};

// First matching row wins ("csisolatin5" is 28595, as the table always had
// it). "us-acii" stays beside the correct "us-ascii" for senders that copied
// the misspelling.
const CharsetRow kCharsetRows[] = {
    {20127, {"us-acii", "us-ascii", "ascii"}},
    {1250, {"Windows-1250", "x-cp1250"}},
    {1251, {"Windows-1251", "x-cp1251"}},
    {1253, {"Windows-1253"}},
    {1254, {"Windows-1254"}},
    {1257, {"Windows-1257"}},
    {28592, {"iso8859-2", "iso-8859-2", "iso_8859-2", "latin2", "iso_8859-2:1987", "iso-ir-101", "l2", "csISOLatin2"}},
    {28591, {"iso8859-1", "iso_8859-1", "iso-8859-1", "ansi_x3.4-1968", "iso-ir-6", "ansi_x3.4-1986", "iso_646",
             "irv:1991", "iso646-us", "us", "ibm367", "cp367", "csascii", "latin1", "iso_8859-1:1987", "iso-ir-100",
             "ibm819", "cp819", "windows-1252"}},
    {28594, {"iso_8859-4:1988", "iso-ir-110", "iso_8859-4", "iso-8859-4", "latin4", "l4", "csisolatin4"}},
    {28595, {"iso_8859-5:1988", "iso-ir-144", "iso_8859-5", "iso-8859-5", "cyrillic", "csisolatincyrillic",
             "csisolatin5"}},
    {28597, {"iso_8859-7:1987", "iso-ir-126", "iso_8859-7", "iso-8859-7", "elot_928", "ecma-118", "greek", "greek8",
             "csisolatingreek"}},
    {28599, {"iso_8859-9:1989", "iso-ir-148", "iso_8859-9", "iso-8859-9", "latin5", "l5"}},
    {1255, {"iso-8859-8i", "Windows-1255"}},
    {28598, {"iso-8859-8 visual", "iso-8859-8", "iso_8859-8", "visual"}},
    {862, {"dos-862"}},
    {1256, {"windows-1256"}},
    {720, {"dos-720"}},
    {874, {"windows-874"}},
    {1258, {"Windows-1258"}},
    {65000, {"utf-7", "unicode-1-1-utf-7", "csunicode11utf7"}},
    {65001, {"utf-8", "unicode-1-1-utf-8", "unicode-2-0-utf-8"}},
    {932, {"shift_jis", "x-sjis", "ms_kanji", "csshiftjis", "windows-31j", "x-ms-cp932"}},
    {50220, {"iso-2022-jp", "csiso2022jp"}},
    {51932, {"x-euc", "x-euc-jp", "euc-jp", "extended_unix_code_packed_format_for_japanese"}},
    {50225, {"iso-2022-kr", "csISO2022KR"}},
    {51949, {"euc-kr", "ks_c_5601", "ks_c_5601-1987", "korean", "csksc56011987"}},
    {950, {"big5", "csbig5", "x-x-big5"}},
    {936, {"gb2312", "gb_2312-80", "iso-ir-58", "chinese", "csiso58gb231280", "csgb231280"}},
    {20866, {"csKOI8R", "koi8-r"}},
};

constexpr std::string_view kIso2022KrDesignation = "\x1b$)C";
constexpr size_t kEncodedWordBytes = 1024;

bool IsEucByte(unsigned char c) { return c >= 0xA1 && c <= 0xFE; }

void AppendShiftJisOfJis(unsigned char j1, unsigned char j2, std::string& out) {
    // JIS X 0208 row/cell to Shift_JIS.
    unsigned char s1 = static_cast<unsigned char>(((j1 - 0x21) >> 1) + 0x81);
    if (s1 > 0x9F) s1 = static_cast<unsigned char>(s1 + 0x40);
    unsigned char s2;
    if (j1 & 1) {
        s2 = static_cast<unsigned char>(j2 + 0x1F);
        if (s2 >= 0x7F) ++s2;
    } else {
        s2 = static_cast<unsigned char>(j2 + 0x7E);
    }
    out += static_cast<char>(s1);
    out += static_cast<char>(s2);
}

struct EncodedWord {
    size_t start = 0;  // at "=?"
    size_t end = 0;    // after "?="
    std::string_view charset;
    char encoding = 0;  // 'B' or 'Q'
    std::string_view text;
};

// The first well-formed "=?charset?B|Q?text?=" at or after from; "=??"
// (no charset) does not start one.
bool FindEncodedWord(std::string_view value, size_t from, EncodedWord& word) {
    for (size_t at = value.find("=?", from); at != std::string_view::npos; at = value.find("=?", at + 1)) {
        size_t charsetEnd = value.find('?', at + 2);
        if (charsetEnd == std::string_view::npos) return false;
        if (charsetEnd == at + 2) continue;
        if (charsetEnd + 2 >= value.size() || value[charsetEnd + 2] != '?') continue;
        char encoding = static_cast<char>(LowerAscii(value[charsetEnd + 1]));
        if (encoding != 'b' && encoding != 'q') continue;
        size_t textStart = charsetEnd + 3;
        size_t close = value.find("?=", textStart);
        if (close == std::string_view::npos) return false;
        word.start = at;
        word.end = close + 2;
        word.charset = value.substr(at + 2, charsetEnd - at - 2);
        word.encoding = encoding == 'b' ? 'B' : 'Q';
        word.text = value.substr(textStart, close - textStart);
        return true;
    }
    return false;
}

std::string DecodeWord(const EncodedWord& word, FilterTextUser user) {
    std::string bytes;
    if (word.encoding == 'B') {
        DecodeBase64(word.text, bytes, kEncodedWordBytes);  // a word too long keeps what fitted
    } else if (user == FilterTextUser::WordFilter) {
        bytes = DecodeEncodedWordQ(word.text);
    } else {
        bytes = DecodeQuotedPrintable(word.text);
    }
    unsigned codePage = CodePageFromCharset(word.charset, &bytes, user);
    return ToLocalCodePage(codePage, bytes);
}

std::string ConvertWordFilterValue(std::string_view value) {
    std::string out;
    size_t at = 0;
    while (at < value.size()) {
        EncodedWord word;
        if (value.compare(at, 2, "=?") == 0 && FindEncodedWord(value, at, word) && word.start == at) {
            out += DecodeWord(word, FilterTextUser::WordFilter);
            at = word.end;
            continue;
        }
        if (value.compare(at, 2, "\x1b$") == 0) {
            size_t close = value.find("\x1b(", at + 2);
            size_t end = close == std::string_view::npos ? value.size() : std::min(value.size(), close + 3);
            out += ToLocalCodePage(platform::kCodePageIso2022Jp, value.substr(at, end - at));
            at = end;
            continue;
        }
        const auto c = static_cast<unsigned char>(value[at]);
        const bool hasNext = at + 1 < value.size();
        if (c == 0x8E && hasNext) {
            out += value[at + 1];
            at += 2;
            continue;
        }
        if (IsEucByte(c) && hasNext && IsEucByte(static_cast<unsigned char>(value[at + 1]))) {
            AppendShiftJisOfJis(static_cast<unsigned char>(c - 0x80),
                                static_cast<unsigned char>(static_cast<unsigned char>(value[at + 1]) - 0x80), out);
            at += 2;
            continue;
        }
        out += value[at++];
    }
    return out;
}

std::string ConvertMailValue(std::string_view value, FilterTextUser user) {
    std::string out;
    size_t at = 0;
    EncodedWord word;
    while (FindEncodedWord(value, at, word)) {
        out.append(value.substr(at, word.start - at));
        out += DecodeWord(word, user);
        at = word.end;
    }
    std::string_view rest = value.substr(at);
    if (rest.find("\x1b$") != std::string_view::npos)
        out += ToLocalCodePage(platform::kCodePageIso2022Jp, rest);
    else
        out.append(rest);
    return out;
}

}  // namespace

unsigned CodePageFromCharset(std::string_view name, std::string* scratch, FilterTextUser) {
    name = TrimBlanks(name);
    for (const CharsetRow& row : kCharsetRows) {
        for (const char* candidate : row.names) {
            if (!EqualsIgnoringAsciiCase(name, candidate)) continue;
            if (row.codePage == 50225 && scratch && scratch->compare(0, kIso2022KrDesignation.size(),
                                                                     kIso2022KrDesignation) != 0)
                scratch->insert(0, kIso2022KrDesignation);
            return row.codePage;
        }
    }
    return 0;
}

std::string ConvertLocalUtf8(std::string_view text, int direction) {
    return direction == 0 ? platform::Utf8ToCp932(text) : platform::Cp932ToUtf8(text);
}

std::string ToLocalCodePage(unsigned codePage, std::string_view text) {
    if (codePage == platform::kCodePageAnsi || codePage == platform::kCodePageShiftJis) return std::string(text);
    std::u16string wide;
    if (!platform::DecodeText(codePage, text, wide)) return std::string(text);
    ComposeCombiningMarks(wide);
    std::string out;
    platform::EncodeText(platform::kCodePageShiftJis, wide, out);
    return out;
}

std::string EucJpToShiftJis(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t at = 0; at < text.size();) {
        const auto c = static_cast<unsigned char>(text[at]);
        if (c == 0x8E && at + 1 < text.size()) {
            out += text[at + 1];
            at += 2;
        } else if (IsEucByte(c) && at + 1 < text.size()) {
            AppendShiftJisOfJis(static_cast<unsigned char>(c - 0x80),
                                static_cast<unsigned char>(static_cast<unsigned char>(text[at + 1]) - 0x80), out);
            at += 2;
        } else {
            out += text[at++];
        }
    }
    return out;
}

std::string DecodeQuotedPrintable(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t at = 0; at < text.size();) {
        if (text[at] != '=') {
            out += text[at++];
            continue;
        }
        std::string_view after = text.substr(at + 1);
        if (after.substr(0, 1) == "\n") {
            at += 2;
        } else if (after.substr(0, 2) == "\r\n") {
            at += 3;
        } else if (after.size() >= 2 && HexValue(after[0]) >= 0 && HexValue(after[1]) >= 0) {
            out += static_cast<char>(HexValue(after[0]) * 16 + HexValue(after[1]));
            at += 3;
        } else {
            ++at;  // a stray "=" is dropped
        }
    }
    return out;
}

std::string DecodeEncodedWordQ(std::string_view text) {
    text = text.substr(0, text.find("?="));
    std::string out;
    out.reserve(text.size());
    for (size_t at = 0; at < text.size();) {
        if (text[at] == '=' && at + 2 < text.size() && HexValue(text[at + 1]) >= 0 &&
            HexValue(text[at + 2]) >= 0) {
            out += static_cast<char>(HexValue(text[at + 1]) * 16 + HexValue(text[at + 2]));
            at += 3;
            continue;
        }
        if (text.compare(at, 2, "&#") == 0) {
            size_t digits = 0;
            int value = 0;
            while (digits < 3 && at + 2 + digits < text.size() && text[at + 2 + digits] >= '0' &&
                   text[at + 2 + digits] <= '9') {
                value = value * 10 + (text[at + 2 + digits] - '0');
                ++digits;
            }
            if (digits >= 2 && at + 2 + digits < text.size() && text[at + 2 + digits] == ';' && value <= 255) {
                out += static_cast<char>(value);
                at += 3 + digits;
                continue;
            }
        }
        out += text[at++];
    }
    return out;
}

std::string ConvertToCodePage(std::string_view value, FilterTextUser user) {
    return user == FilterTextUser::WordFilter ? ConvertWordFilterValue(value) : ConvertMailValue(value, user);
}

bool ReadWholeLine(FILE* file, std::string& line, size_t keep) {
    if (!ReadLinePiece(file, keep == 0 ? 1 : keep, line)) return false;
    if (line.back() == '\n') return true;
    // Pass over the rest of an overlong line.
    int c = 0;
    while ((c = std::fgetc(file)) != EOF && c != '\n') {
    }
    return true;
}

std::string ReadHeaderValue(std::string_view name, const std::string& path, size_t limit, FilterTextUser user) {
    constexpr size_t kHeaderLineKeep = 64 * 1024;
    std::string out;
    FilePtr file = OpenRegularFile(path);
    if (!file) return out;
    std::string line;
    bool inValue = false;
    while (ReadWholeLine(file.get(), line, kHeaderLineKeep)) {
        if (line[0] == '\r' || line[0] == '\n') break;
        std::string_view text(line);
        text = text.substr(0, text.find_first_of("\r\n"));
        if (StartsWithIgnoringAsciiCase(text, name)) {
            inValue = true;
            text.remove_prefix(name.size());
        } else if (!(inValue && (text[0] == ' ' || text[0] == '\t'))) {
            inValue = false;
            continue;
        }
        out += ConvertToCodePage(SkipBlanks(text), user);
        if (limit > 0 && out.size() >= limit) {
            out.resize(limit - 1);
            break;
        }
    }
    return out;
}

}  // namespace common
