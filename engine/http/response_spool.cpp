#include "engine/http/response_spool.h"

#include <string_view>
#include <vector>

#include "engine/http/response_reader.h"

namespace engine {

namespace {

bool WriteAll(FILE* file, const char* data, size_t length) {
    return length == 0 || std::fwrite(data, 1, length, file) == length;
}

// Closes the file; false when a write had failed or the close did.
bool Close(common::FilePtr& file, bool ok) {
    if (!file) return ok;
    return std::fclose(file.release()) == 0 && ok;
}

common::FilePtr CreateSpoolFile(const std::string& path) { return common::FilePtr(std::fopen(path.c_str(), "wb")); }

}  // namespace

ResponseSpool::ResponseSpool(const SpoolFiles& files, bool wholeOnDisk, bool bodyOnDisk)
    : files_(files), wholeFile_(wholeOnDisk), bodyFile_(bodyOnDisk) {
    if (wholeFile_) {
        whole_ = CreateSpoolFile(files_.work);
        ok_ = ok_ && whole_ != nullptr;
    }
    if (bodyFile_) {
        body_ = CreateSpoolFile(files_.response);
        ok_ = ok_ && body_ != nullptr;
    }
}

ResponseSpool::~ResponseSpool() {
    Close(whole_, true);
    Close(body_, true);
}

bool ResponseSpool::SpillWhole() {
    wholeFile_ = true;
    whole_ = CreateSpoolFile(files_.work);
    if (!whole_ || !WriteAll(whole_.get(), memory_.data(), memory_.size())) return false;
    memory_.clear();
    memory_.shrink_to_fit();
    return true;
}

void ResponseSpool::AppendWhole(const char* data, size_t length) {
    if (!wholeKept_ || length == 0) return;
    if (!wholeFile_ && memory_.size() + length > kMemorySpoolLimit && !SpillWhole()) ok_ = false;
    if (wholeFile_) {
        if (whole_ && !WriteAll(whole_.get(), data, length)) ok_ = false;
    } else {
        memory_.append(data, length);
    }
}

void ResponseSpool::AppendBody(const char* data, size_t length) {
    if (body_ && !WriteAll(body_.get(), data, length)) ok_ = false;
}

void ResponseSpool::StopWhole() {
    wholeKept_ = false;
    memory_.clear();
    memory_.shrink_to_fit();
    ok_ = Close(whole_, ok_);
}

bool ResponseSpool::Finish() {
    ok_ = Close(whole_, ok_);
    ok_ = Close(body_, ok_);
    return ok_;
}

bool ResponseSpool::WholeToDisk() {
    if (wholeFile_ || !wholeKept_) return wholeKept_;
    bool ok = SpillWhole();
    return Close(whole_, ok);
}

bool ResponseSpool::BodyToDisk() {
    if (bodyFile_) return true;
    if (!wholeKept_) return false;
    // The body is what the receive loop took from the response: read it
    // again from the whole copy.
    common::FilePtr whole = OpenWhole(1);
    bodyFile_ = true;
    body_ = CreateSpoolFile(files_.response);
    // A body copy that can't be written is scanned as far as it got, as
    // one written while the response arrived would be.
    if (!whole || !body_) {
        Close(body_, false);
        return true;
    }
    ResponseReader reader;
    std::vector<char> block(kMemorySpoolLimit);
    std::string body;
    bool ok = true;
    size_t n;
    while ((n = std::fread(block.data(), 1, block.size(), whole.get())) > 0) {
        body.clear();
        reader.Feed(std::string_view(block.data(), n), body);
        ok = ok && WriteAll(body_.get(), body.data(), body.size());
    }
    body.clear();
    if (!reader.ended()) reader.FinishAtClose(body);
    ok = ok && WriteAll(body_.get(), body.data(), body.size());
    Close(body_, ok);
    return true;
}

common::FilePtr ResponseSpool::OpenWhole(unsigned long openTries) {
    if (wholeFile_) {
        common::OpenRetry retry;
        retry.tries = openTries;
        return common::OpenWithRetry(files_.work, "rb", retry);
    }
    if (memory_.empty()) return common::FilePtr(std::fopen("/dev/null", "rb"));
    return common::FilePtr(fmemopen(memory_.data(), memory_.size(), "rb"));
}

void ResponseSpool::Remove() {
    if (bodyFile_) common::DeleteWithRetry(files_.response);
    if (wholeFile_) common::DeleteWithRetry(files_.work);
}

}  // namespace engine
