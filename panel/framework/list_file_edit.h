// Opening a list file of the data folder in the editor, creating it first
// when it is missing.
#pragma once

#include <string>
#include <vector>

#include "panel/framework/list_file_texts.h"

namespace panel {

// Creates <data folder>/<fileName> when no entry of that name exists: with
// the header lines and default rows (code page 932, CR LF) for a Japanese
// user, empty for others. The new file appears whole or not at all, and
// never replaces a file made meanwhile. An existing file is left exactly
// as it is. Then starts the editor on the path; when it does not start, a
// message box names the file and the editor's command.
void EditListFile(const std::string& fileName, const std::vector<std::string>& header,
                  const std::vector<std::string>& rows);
inline void EditListFile(const std::string& fileName, const ListFileTemplate& text) {
    EditListFile(fileName, text.header, text.rows);
}

// The new file's bytes: every line in code page 932 with CR LF.
std::string ListFileBytes(const std::vector<std::string>& header, const std::vector<std::string>& rows);

}  // namespace panel
