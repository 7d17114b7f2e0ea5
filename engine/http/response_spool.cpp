#include "engine/http/response_spool.h"

#include <cerrno>
#include <string_view>
#include <vector>

#include "engine/http/response_reader.h"

namespace engine {

namespace {

bool WriteAll(FILE* file, const char* data, size_t length) {
    return length == 0 || std::fwrite(data, 1, length, file) == length;
}

// Closes the file; false when a write had failed or the close did (a full
// disk often shows only when the last buffered bytes go out).
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
        if (!whole_) Failed(files_.work);
    }
    if (bodyFile_) {
        body_ = CreateSpoolFile(files_.response);
        if (!body_) Failed(files_.response);
    }
}

ResponseSpool::~ResponseSpool() {
    Close(whole_, true);
    Close(body_, true);
}

bool ResponseSpool::Failed(const std::string& path) {
    if (ok_) {
        failedFile_ = path;
        failedError_ = errno;
    }
    ok_ = false;
    return false;
}

bool ResponseSpool::SpillWhole() {
    wholeFile_ = true;
    whole_ = CreateSpoolFile(files_.work);
    if (!whole_ || !WriteAll(whole_.get(), memory_.data(), memory_.size())) return Failed(files_.work);
    memory_.clear();
    memory_.shrink_to_fit();
    return true;
}

void ResponseSpool::AppendWhole(const char* data, size_t length) {
    if (!wholeKept_ || length == 0) return;
    if (!wholeFile_ && memory_.size() + length > kMemorySpoolLimit && !SpillWhole()) return;
    if (wholeFile_) {
        if (whole_ && !WriteAll(whole_.get(), data, length)) Failed(files_.work);
    } else {
        memory_.append(data, length);
    }
}

void ResponseSpool::AppendBody(const char* data, size_t length) {
    if (body_ && !WriteAll(body_.get(), data, length)) Failed(files_.response);
}

void ResponseSpool::StopWhole() {
    wholeKept_ = false;
    memory_.clear();
    memory_.shrink_to_fit();
    if (!Close(whole_, true)) Failed(files_.work);
}

bool ResponseSpool::Finish() {
    if (!Close(whole_, true)) Failed(files_.work);
    if (!Close(body_, true)) Failed(files_.response);
    return ok_;
}

bool ResponseSpool::WholeToDisk() {
    if (wholeFile_ || !wholeKept_) return wholeKept_ && ok_;
    if (!SpillWhole()) return false;
    return Close(whole_, true) || Failed(files_.work);
}

bool ResponseSpool::BodyToDisk() {
    if (bodyFile_) return ok_;
    if (!wholeKept_) return false;
    // The body is what the receive loop took from the response: read it
    // again from the whole copy.
    common::FilePtr whole = OpenWhole(1);
    bodyFile_ = true;
    body_ = CreateSpoolFile(files_.response);
    if (!whole || !body_) {
        Close(body_, false);
        return Failed(files_.response);
    }
    ResponseReader reader;
    std::vector<char> block(kMemorySpoolLimit);
    std::string body;
    bool ok = true;
    size_t n;
    while (ok && (n = std::fread(block.data(), 1, block.size(), whole.get())) > 0) {
        body.clear();
        reader.Feed(std::string_view(block.data(), n), body);
        ok = WriteAll(body_.get(), body.data(), body.size());
    }
    body.clear();
    if (!reader.ended()) reader.FinishAtClose(body);
    ok = ok && WriteAll(body_.get(), body.data(), body.size());
    // A scan of part of the body would pass what it never saw.
    if (!ok) {
        Failed(files_.response);
        Close(body_, false);
        return false;
    }
    return Close(body_, true) || Failed(files_.response);
}

common::FilePtr ResponseSpool::OpenWhole(unsigned long openTries) {
    // Bytes still in the writer's buffer belong to what is read.
    if (whole_ && std::fflush(whole_.get()) != 0) Failed(files_.work);
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
