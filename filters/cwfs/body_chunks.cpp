#include "filters/cwfs/body_chunks.h"

#include <algorithm>

namespace cwfs {
namespace {

// The rest of the file from where it stands, at most limit bytes.
std::string ReadRest(FILE* file, size_t limit) {
    std::string data;
    char piece[64 * 1024];
    while (data.size() < limit) {
        const size_t got = std::fread(piece, 1, std::min(sizeof piece, limit - data.size()), file);
        if (got == 0) break;
        data.append(piece, got);
    }
    return data;
}

}  // namespace

BodyChunks::BodyChunks(FILE* file, std::vector<char>& buffer, const BodyCoding& coding)
    : file_(file), buffer_(buffer) {
    bodyStart_ = ::ftello(file_);
    if (bodyStart_ < 0) bodyStart_ = 0;
    if (coding.any()) {
        decoded_ = true;
        body_ = DecodeBody(ReadRest(file_, kDecodedBodyLimit), coding, kDecodedBodyLimit);
    }
}

void BodyChunks::SetOverlap(size_t bytes) {
    overlap_ = std::min(bytes, ChunkSize() / 2);
    kept_.clear();
    keptBytes_ = 0;
    endKnown_ = false;
    chunkCount_ = 0;
}

bool BodyChunks::Get(size_t index, std::string_view& text) {
    const size_t start = index * Step();
    if (decoded_) {
        // The last chunk is the one that reaches the end.
        if (start >= body_.size() || (index > 0 && start + overlap_ >= body_.size())) return false;
        text = std::string_view(body_).substr(start, ChunkSize());
        return true;
    }
    if (index < kept_.size()) {
        text = kept_[index];
        return true;
    }
    if (endKnown_ && index >= chunkCount_) return false;
    const size_t got = ::fseeko(file_, bodyStart_ + static_cast<off_t>(start), SEEK_SET) != 0
                           ? 0
                           : std::fread(buffer_.data(), 1, ChunkSize(), file_);
    // A chunk that holds nothing beyond what the last one held adds nothing.
    if (got == 0 || (index > 0 && got <= overlap_)) {
        endKnown_ = true;
        chunkCount_ = index;
        return false;
    }
    buffer_[got] = '\0';
    text = std::string_view(buffer_.data(), got);
    if (index == kept_.size() && keptBytes_ + got <= kKeepLimit) {
        kept_.emplace_back(text);
        keptBytes_ += got;
        text = kept_.back();
    }
    return true;
}

bool BodyChunks::First(std::string& text) {
    std::string_view view;
    if (!Get(0, view)) return false;
    text.assign(view);
    return true;
}

}  // namespace cwfs
