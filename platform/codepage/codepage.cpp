#include "platform/codepage/codepage.h"

#include <cstring>

#include "platform/codepage/iconv_convert.h"

namespace platform {
namespace {

using codepage_detail::IconvDecode;
using codepage_detail::IconvEncode;

struct CodePageName {
    unsigned codePage;
    const char* iconvName;
    bool doubleByte = false;
};

// Windows code page numbers and the glibc iconv names that convert alike.
// 932 must be CP932: "SHIFT_JIS" maps 0x5C and 0x7E to the yen sign and the
// overline, which would break every path and URL in the system's files.
constexpr CodePageName kCodePages[] = {
    {0, "CP932", true},      {1, "CP932", true},       {3, "CP932", true},       {932, "CP932", true},
    {437, "CP437"},    {850, "CP850"},     {862, "CP862"},     {874, "CP874"},
    {936, "CP936", true},    {949, "CP949", true},     {950, "CP950", true},     {1250, "CP1250"},
    {1251, "CP1251"},  {1252, "CP1252"},   {1253, "CP1253"},   {1254, "CP1254"},
    {1255, "CP1255"},  {1256, "CP1256"},   {1257, "CP1257"},   {1258, "CP1258"},
    {10000, "MACINTOSH"}, {20127, "ASCII"}, {20866, "KOI8-R"}, {21866, "KOI8-U"},
    {20932, "EUC-JP", true}, {28591, "ISO-8859-1"}, {28592, "ISO-8859-2"}, {28593, "ISO-8859-3"},
    {28594, "ISO-8859-4"}, {28595, "ISO-8859-5"}, {28596, "ISO-8859-6"}, {28597, "ISO-8859-7"},
    {28598, "ISO-8859-8"}, {28599, "ISO-8859-9"}, {28603, "ISO-8859-13"}, {28605, "ISO-8859-15"},
    {50225, "ISO-2022-KR"}, {51932, "EUC-JP-MS", true}, {51949, "EUC-KR", true}, {54936, "GB18030", true},
    {65000, "UTF-7"},  {65001, "UTF-8"},
};

const CodePageName* Find(unsigned codePage) {
    for (const auto& entry : kCodePages) {
        if (entry.codePage == codePage) return &entry;
    }
    return nullptr;
}

bool IsIso2022Jp(unsigned codePage) { return codePage >= 50220 && codePage <= 50222; }

}  // namespace

bool IsCodePageSupported(unsigned codePage) { return IsIso2022Jp(codePage) || Find(codePage) != nullptr; }

bool DecodeText(unsigned codePage, std::string_view text, std::u16string& out) {
    out.clear();
    if (IsIso2022Jp(codePage)) {
        codepage_detail::DecodeIso2022Jp(text, out);
        return true;
    }
    const CodePageName* entry = Find(codePage);
    return entry && IconvDecode(entry->iconvName, text, out, entry->doubleByte);
}

bool EncodeText(unsigned codePage, std::u16string_view text, std::string& out) {
    out.clear();
    if (IsIso2022Jp(codePage)) {
        // 50221 and 50222 would keep half-width katakana in their own sets;
        // the 50220 form (full-width) reads the same in every mail reader.
        codepage_detail::EncodeIso2022Jp(text, out);
        return true;
    }
    const CodePageName* entry = Find(codePage);
    if (!entry) return false;
    std::string_view replacement = codePage == kCodePageUtf8 ? std::string_view("\xEF\xBF\xBD") : "?";
    return IconvEncode(entry->iconvName, text, replacement, out);
}

int MultiByteToWideChar(unsigned codePage, const char* source, int sourceLength, char16_t* destination,
                        int destinationSize) {
    if (!source || sourceLength == 0 || sourceLength < -1 || destinationSize < 0) return 0;
    if (destinationSize > 0 && !destination) return 0;
    size_t length = sourceLength == -1 ? std::strlen(source) + 1 : static_cast<size_t>(sourceLength);
    std::u16string wide;
    if (!DecodeText(codePage, std::string_view(source, length), wide)) return 0;
    if (destinationSize == 0) return static_cast<int>(wide.size());
    if (wide.size() > static_cast<size_t>(destinationSize)) return 0;
    std::memcpy(destination, wide.data(), wide.size() * sizeof(char16_t));
    return static_cast<int>(wide.size());
}

int WideCharToMultiByte(unsigned codePage, const char16_t* source, int sourceLength, char* destination,
                        int destinationSize) {
    if (!source || sourceLength == 0 || sourceLength < -1 || destinationSize < 0) return 0;
    if (destinationSize > 0 && !destination) return 0;
    size_t length = sourceLength == -1 ? std::char_traits<char16_t>::length(source) + 1
                                       : static_cast<size_t>(sourceLength);
    std::string bytes;
    if (!EncodeText(codePage, std::u16string_view(source, length), bytes)) return 0;
    if (destinationSize == 0) return static_cast<int>(bytes.size());
    if (bytes.size() > static_cast<size_t>(destinationSize)) return 0;
    std::memcpy(destination, bytes.data(), bytes.size());
    return static_cast<int>(bytes.size());
}

std::string ConvertText(unsigned fromCodePage, unsigned toCodePage, std::string_view text) {
    std::u16string wide;
    std::string out;
    if (!DecodeText(fromCodePage, text, wide) || !EncodeText(toCodePage, wide, out)) return {};
    return out;
}

std::string Cp932ToUtf8(std::string_view text) { return ConvertText(kCodePageShiftJis, kCodePageUtf8, text); }

std::string Utf8ToCp932(std::string_view text) { return ConvertText(kCodePageUtf8, kCodePageShiftJis, text); }

namespace {

std::u16string Decoded(unsigned codePage, std::string_view text) {
    std::u16string wide;
    DecodeText(codePage, text, wide);
    return wide;
}

std::string Encoded(unsigned codePage, std::u16string_view text) {
    std::string bytes;
    EncodeText(codePage, text, bytes);
    return bytes;
}

}  // namespace

std::u16string Utf8ToWide(std::string_view text) { return Decoded(kCodePageUtf8, text); }

std::string WideToUtf8(std::u16string_view text) { return Encoded(kCodePageUtf8, text); }

std::u16string Cp932ToWide(std::string_view text) { return Decoded(kCodePageShiftJis, text); }

std::string WideToCp932(std::u16string_view text) { return Encoded(kCodePageShiftJis, text); }

}  // namespace platform
