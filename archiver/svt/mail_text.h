// Mail text of the archiving server: header values decoded into the local
// code page (932) through the shared filter text helpers, Japanese text
// written as ISO-2022-JP (code page 50220, half-width katakana and NEC
// characters included), encoded words, and Base64 bodies in both
// directions.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace archiver {

// A header value (encoded words, raw ISO-2022-JP) in the local code page.
std::string DecodeHeaderText(std::string_view value);

// Local code page text as ISO-2022-JP.
std::string ToIso2022Jp(std::string_view localText);

// "=?ISO-2022-JP?B?<Base64 of the ISO-2022-JP text>?=" for a local code
// page text.
std::string Iso2022JpEncodedWord(std::string_view localText);

// The Base64 of the ISO-2022-JP form of "<name>.<extension>": the archive
// name the archived mail carries in its encoded words.
std::string EncodedArchiveName(std::string_view decodedSubject, std::string_view extension);

// Base64 body lines: 48 input bytes a line (64 characters), each line
// followed by CR LF.
class Base64LineWriter {
public:
    // Appends the encoded form of more bytes to out; whole lines only.
    void Add(std::string_view bytes, std::string& out);
    // The last, shorter line, if any.
    void Finish(std::string& out);

private:
    std::string pending_;
};

// Base64 decoding of body lines however they are cut: characters outside
// the alphabet are skipped, groups may span lines, "=" ends the data.
class Base64StreamDecoder {
public:
    void Add(std::string_view text, std::string& out);

private:
    unsigned quad_[4] = {};
    int held_ = 0;
    bool ended_ = false;
};

}  // namespace archiver
