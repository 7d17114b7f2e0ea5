#include "panel/framework/shown_list_file.h"

#include <utility>

#include "common/publish_file.h"
#include "panel/framework/panel_state.h"

namespace panel {

ShownListFile::ShownListFile(std::string fileName, std::string previousCopy)
    : fileName_(std::move(fileName)), previousCopy_(std::move(previousCopy)) {}

void ShownListFile::Read(bool found, std::string bytes) {
    found_ = found;
    bytes_ = std::move(bytes);
}

bool ShownListFile::Write(std::string bytes) {
    if (found_ && bytes == bytes_) return true;
    const std::string folder = DataFolder();
    if (common::PublishFile(folder + fileName_, bytes, folder + previousCopy_) == common::PublishResult::kFailed)
        return false;
    found_ = true;
    bytes_ = std::move(bytes);
    return true;
}

}  // namespace panel
