// Replacing a file that other programs read at any moment (a connection
// list the engine opens at each request, a filter record): readers see the
// old content or the new one, never a part of it. The settings pages of
// the web and the mail proxies publish their files through this.
#pragma once

#include <string>
#include <string_view>

namespace common {

enum class PublishResult {
    kUnchanged,  // the file already held these bytes; nothing was touched
    kPublished,
    kFailed,     // nothing was replaced (the previous copy may be made)
};

// Puts `bytes` at `path`. A file that already holds exactly these bytes is
// left alone, and so is its previous copy. Otherwise, when `previousCopy`
// is not empty and `path` exists, its current content first becomes
// `previousCopy` (published the same way; a failure there is not one of
// the file's). The new content is written to a temporary file beside
// `path`, flushed, and renamed over it; it keeps the mode of the file it
// replaces, narrowed to `mostMode` (0660 keeps a file of passwords from
// other users, whatever the umask). A link at `path` is replaced, never
// written through.
PublishResult PublishFile(const std::string& path, std::string_view bytes, const std::string& previousCopy = {},
                          unsigned mostMode = 0666);

// The whole content of a regular file; false when it cannot be read.
bool ReadWholeFile(const std::string& path, std::string& bytes);

}  // namespace common
