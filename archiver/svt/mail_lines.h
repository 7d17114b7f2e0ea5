// Mail files read line by line and written with every failure noticed.
// Lines are kept whole with their line end: a fixed line buffer would cut
// long Base64 or header lines.
#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

#include "common/file_retry.h"

namespace archiver {

class LineReader {
public:
    explicit LineReader(const std::string& path);
    bool ok() const { return file_ != nullptr; }
    // The next line with its line end; false at the end of the file.
    bool Next(std::string& line);
    // The next call of Next returns this line again (only the line last
    // read may be given back).
    void PushBack(std::string line);
    // Where the next line begins, and going back there.
    long Tell() const;
    bool Seek(long position);

private:
    struct FreeBuffer {
        void operator()(char* p) const { std::free(p); }
    };
    common::FilePtr file_;
    std::unique_ptr<char, FreeBuffer> buffer_;  // getline's buffer, kept between lines
    size_t capacity_ = 0;
    std::string pushed_;
    bool hasPushed_ = false;
};

// The next header field whole: its line and every continuation line after
// it (lines that begin with a blank or a TAB). An empty line comes back on
// its own. False at the end of the file.
bool NextField(LineReader& in, std::string& field);

class MailWriter {
public:
    explicit MailWriter(const std::string& path);
    bool opened() const { return file_ != nullptr; }
    void Write(std::string_view text);
    // Closes the file; true when it was opened and every write went through.
    bool Close();

private:
    common::FilePtr file_;
    bool ok_ = true;
};

// An empty line: "\n", "\r\n" or nothing.
inline bool IsEmptyLine(std::string_view line) { return line.empty() || line == "\n" || line == "\r\n"; }

// The line without its CR and LF.
inline std::string_view WithoutLineEnd(std::string_view line) {
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
    return line;
}

}  // namespace archiver
