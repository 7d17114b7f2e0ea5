// The folder and extension white lists of real-time watching: which files
// the folder watcher leaves out, and which folders the control panel shows
// as not watched.
//
// Linux has one drive, "/", named "root" in file names. Files directly in
// "/" are governed by fwhite/root.db, files below a first-level folder F by
// fwhite/root/F.db. Each list line is one full folder path ending in "/";
// a listed folder is left out with everything below it. fwhiteext.db holds
// one extension a line, with its dot. Paths are file-name bytes as Linux
// has them and compare exactly; extensions compare without ASCII case.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace common {

inline constexpr const char* kExtensionWhiteListName = "fwhiteext.db";

// The folder list that governs `path` (a file path, or a folder path
// ending in "/"), for the data folder `dataFolder` ("<root>/VELQOR/"):
// "<dataFolder>fwhite/root/<first folder>.db" when the path lies below a
// first-level folder, else "<dataFolder>fwhite/root.db".
std::string FolderListPath(const std::string& dataFolder, std::string_view path);

// The entries of a folder list: empty and comment lines skipped, each line
// read whole and taken as a folder (a missing final "/" added), so that no
// line can stand for "everything" or for a sibling sharing its beginning.
std::vector<std::string> ReadFolderList(const std::string& listPath);

// The control panel's test: true when a line of the folder's list equals
// `folder` (ending in "/"). Creates fwhite/ and fwhite/root/ first, as the
// panel's views expect them.
bool IsPathInWatchList(const std::string& dataFolder, const std::string& folder);

// The watcher's folder test, with what it looked at for its log lines.
struct WhiteFolderCheck {
    std::string listPath;  // the list consulted
    std::string folder;    // the file's folder, ending in "/"
    bool white = false;    // a listed folder, or the wct folder, holds it
};
// `dataRoot` is the data root itself: its wct folder (beside the data
// folder) is never watched either.
WhiteFolderCheck CheckWhiteFolder(const std::string& dataFolder, const std::string& dataRoot,
                                  const std::string& filePath);

// The text from the path's last "." on, dot included; empty when the path
// has no dot (such a file is never white by extension).
std::string PathExtension(const std::string& path);
// True when fwhiteext.db lists the path's extension (ASCII case ignored).
bool IsWhiteExtension(const std::string& dataFolder, const std::string& path);

// Saves the list of one first-level folder (`firstFolder`, such as
// "/srv/"): `excluded` folders, each ending in "/", and with `keepOld` the
// lines of the present list that `excluded` lacks. The new list is built
// whole under the ".~b" name and then replaces the ".db", so a reader never
// sees half a list. False when it could not be written (the old list stays).
bool SaveFolderList(const std::string& dataFolder, const std::string& firstFolder,
                    const std::vector<std::string>& excluded, bool keepOld);

}  // namespace common
