#include "archiver/svt/mail_lines.h"

namespace archiver {
namespace {

// A line longer than this is handed out in pieces, so a file without line
// ends cannot make the server hold it whole in memory.
constexpr size_t kLinePieceLimit = 1 << 20;

}  // namespace

LineReader::LineReader(const std::string& path) : file_(std::fopen(path.c_str(), "rb")) {}

bool LineReader::Next(std::string& line) {
    if (hasPushed_) {
        hasPushed_ = false;
        line = std::move(pushed_);
        return true;
    }
    line.clear();
    if (!file_) return false;
    int c;
    while (line.size() < kLinePieceLimit && (c = getc_unlocked(file_.get())) != EOF) {
        line.push_back(static_cast<char>(c));
        if (c == '\n') break;
    }
    return !line.empty();
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
