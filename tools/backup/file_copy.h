// Folders and files of the backup tool. Every file is written to a
// temporary name beside its target, synced and renamed over it, so an
// interrupted run never leaves half a settings file behind.
#pragma once

#include <string>

namespace backup {

// Creates every missing level of `path`. False (with a failure line) when
// the path cannot be made a folder.
bool MakePath(const std::string& path);

// Writes `bytes` to `path` through a temporary file; `mode` for a new file.
// False with errno set on failure.
bool WriteFileAtomically(const std::string& path, const std::string& bytes, unsigned mode = 0666);

// Copies the folder `source` into `target` (both end with "/"; an empty
// target is the current folder): files with their mode bits, symbolic links
// as links, folders recursively; other kinds are skipped with a line. With
// `skipBackupFolders` a folder named "backup" (any case) is left out. The
// target itself is never entered when it lies inside the source, and a file
// is never copied onto itself. Prints "Copy [<target file>]" per file;
// failures get their own lines.
void CopyTree(const std::string& source, const std::string& target, bool skipBackupFolders);

}  // namespace backup
