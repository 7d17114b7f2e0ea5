// Moving the mail and its envelope between the engine's cache folder and
// the work folder, which may lie on different file systems.
#pragma once

#include <string>

namespace archiver {

// Renames, or copies and deletes the source when the two paths lie on
// different file systems. Any file at `to` is replaced. False on failure,
// with the source left in place.
bool MoveFileAcross(const std::string& from, const std::string& to);

// Copies a file, replacing the target; false on failure (the target is
// then removed).
bool CopyFileWhole(const std::string& from, const std::string& to);

// Deletes what a server that hung or died mid-mail left in the work
// folder, before any mail is taken: every entry but the queued password
// mails (an ".rcp" envelope and the files named as it is with another
// extension), and every ".tmp" file. Each deletion is logged.
void CleanWorkFolder(const std::string& folder);

// Deletes the file, trying again every 50 ms while deletion fails for
// another reason than the file being missing (bounded).
void DeleteFileRetrying(const std::string& path);

}  // namespace archiver
