#include "archiver/svt/mail_lines.h"

#include <cstdlib>

namespace archiver {
// Only a regular file: a FIFO in place of a mail or an envelope would block
// the reader until some writer came.
LineReader::LineReader(const std::string& path) : file_(common::OpenRegularFile(path)) {}

bool LineReader::Next(std::string& line) {
    if (hasPushed_) {
        hasPushed_ = false;
        line = std::move(pushed_);
        return true;
    }
    line.clear();
    if (!file_) return false;
    // A line is read whole however long it is, NUL bytes included.
    char* data = buffer_.get();
    size_t capacity = capacity_;
    const ssize_t got = ::getline(&data, &capacity, file_.get());
    buffer_.release();
    buffer_.reset(data);
    capacity_ = capacity;
    if (got <= 0) return false;
    line.assign(data, static_cast<size_t>(got));
    return true;
}

void LineReader::PushBack(std::string line) {
    pushed_ = std::move(line);
    hasPushed_ = true;
}

long LineReader::Tell() const {
    if (!file_) return -1;
    const long at = std::ftell(file_.get());
    return hasPushed_ ? at - static_cast<long>(pushed_.size()) : at;
}

bool LineReader::Seek(long position) {
    hasPushed_ = false;
    pushed_.clear();
    return file_ && std::fseek(file_.get(), position, SEEK_SET) == 0;
}

bool NextField(LineReader& in, std::string& field) {
    if (!in.Next(field)) return false;
    if (IsEmptyLine(field)) return true;
    std::string next;
    while (in.Next(next)) {
        if (next[0] != ' ' && next[0] != '\t') {
            in.PushBack(std::move(next));
            break;
        }
        field += next;
    }
    return true;
}

MailWriter::MailWriter(const std::string& path) : file_(std::fopen(path.c_str(), "wb")) {}

void MailWriter::Write(std::string_view text) {
    if (!file_ || text.empty()) return;
    if (std::fwrite(text.data(), 1, text.size(), file_.get()) != text.size()) ok_ = false;
}

bool MailWriter::Close() {
    if (!file_) return false;
    const bool closed = std::fclose(file_.release()) == 0;
    return closed && ok_;
}

}  // namespace archiver
