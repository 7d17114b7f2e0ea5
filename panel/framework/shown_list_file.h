// A list file a page shows whole and writes back whole (the connection
// lists). It keeps what the file held when it was read or last written, so
// that a list that still gives those bytes leaves the file, its comments
// and its previous copy alone.
#pragma once

#include <string>

namespace panel {

class ShownListFile {
public:
    // `fileName` and `previousCopy` are names in the data folder.
    ShownListFile(std::string fileName, std::string previousCopy);

    const std::string& fileName() const { return fileName_; }
    // The page read the file (`found`, or there was none) and shows what
    // gives `bytes`.
    void Read(bool found, std::string bytes);
    // Publishes `bytes` (the old file kept as the previous copy) unless the
    // file exists and holds them already; false when the write failed.
    bool Write(std::string bytes);

private:
    std::string fileName_, previousCopy_;
    std::string bytes_;
    bool found_ = false;
};

}  // namespace panel
