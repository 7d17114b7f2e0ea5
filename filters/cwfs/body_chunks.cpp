#include "filters/cwfs/body_chunks.h"

#include <cstring>

namespace cwfs {

BodyChunks::BodyChunks(FILE* file, std::vector<char>& buffer) : file_(file), buffer_(buffer) {
    bodyStart_ = ::ftello(file_);
    if (bodyStart_ < 0) bodyStart_ = 0;
}

bool BodyChunks::Get(size_t index, std::string_view& text, size_t& bytes) {
    if (index < kept_.size()) {
        text = kept_[index].text;
        bytes = kept_[index].bytes;
        return true;
    }
    if (endKnown_ && index >= chunkCount_) return false;
    const size_t chunkSize = buffer_.size() - 1;
    if (::fseeko(file_, bodyStart_ + static_cast<off_t>(index * chunkSize), SEEK_SET) != 0) return false;
    const size_t got = std::fread(buffer_.data(), 1, chunkSize, file_);
    if (got == 0) {
        endKnown_ = true;
        chunkCount_ = index;
        return false;
    }
    buffer_[got] = '\0';
    text = std::string_view(buffer_.data(), std::strlen(buffer_.data()));
    bytes = got;
    if (index == kept_.size() && keptBytes_ + text.size() <= kKeepLimit) {
        kept_.push_back({std::string(text), got});
        keptBytes_ += text.size();
        text = kept_.back().text;
    }
    return true;
}

bool BodyChunks::First(std::string& text) {
    std::string_view view;
    size_t bytes = 0;
    if (!Get(0, view, bytes)) return false;
    text.assign(view);
    return true;
}

}  // namespace cwfs
