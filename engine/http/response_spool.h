// The spool of one response as it arrives: the whole copy (relayed to the
// client, read by the word filter, rewritten into a block page) and the
// body copy (read by the virus scan). Files in the shared cache folder cost
// a create and a delete each, and such changes queue behind one another
// across all connections; so a copy that no pipe server is there to read
// stays unwritten (the body) or in memory (the whole copy, up to a limit),
// and is written only when a server turns up before it is asked.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "common/file_retry.h"
#include "engine/http/request_target.h"

namespace engine {

// The most bytes of a whole copy kept in memory; a larger one goes on disk.
inline constexpr size_t kMemorySpoolLimit = 65536;

class ResponseSpool {
public:
    // wholeOnDisk, bodyOnDisk: write the copy to its file from the start.
    ResponseSpool(const SpoolFiles& files, bool wholeOnDisk, bool bodyOnDisk);
    ~ResponseSpool();
    ResponseSpool(const ResponseSpool&) = delete;
    ResponseSpool& operator=(const ResponseSpool&) = delete;

    void AppendWhole(const char* data, size_t length);
    void AppendBody(const char* data, size_t length);
    // The response goes to the client as it arrives: no whole copy follows,
    // and the body copy is only needed when it is being written already.
    void StopWhole();
    // Closes the files. False when a write failed.
    bool Finish();
    // Every copy that was written so far is whole: nothing of a response
    // whose copy came short may reach the client as if it were complete,
    // nor pass a scan that saw only part of it.
    bool whole() const { return ok_; }
    // The file whose write failed first, and the system's error.
    const std::string& failedFile() const { return failedFile_; }
    int failedError() const { return failedError_; }

    // Puts the whole copy in its file (for the word filter or a block page).
    bool WholeToDisk();
    // Writes the body copy from the whole copy, when it was left out. False
    // when it can't be had: the response was streamed without it, or the
    // copy could not be written whole.
    bool BodyToDisk();
    // Something else wrote both files (a block page and its copy).
    void BothOnDisk() { wholeFile_ = bodyFile_ = true; }

    // The whole copy for reading (the file, or the bytes in memory), at its
    // start; null when it can't be opened.
    common::FilePtr OpenWhole(unsigned long openTries);
    // Deletes the files that were written.
    void Remove();

private:
    bool SpillWhole();
    // Records the first failure (errno is read here) and returns false.
    bool Failed(const std::string& path);

    const SpoolFiles& files_;
    bool wholeFile_;        // the whole copy lives in files_.work
    bool bodyFile_;         // the body copy lives in files_.response
    bool wholeKept_ = true; // the whole copy holds the response
    bool ok_ = true;
    std::string failedFile_;
    int failedError_ = 0;
    std::string memory_;    // the whole copy while it is not on disk
    common::FilePtr whole_;
    common::FilePtr body_;
};

}  // namespace engine
