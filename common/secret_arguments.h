// Option arguments that must not show on a command line (passwords): the
// service writes them to a file only its own user reads and names the file
// on the child's command line instead; the child reads them back at start
// and takes them as if they stood where the file's option stands.
#pragma once

#include <string>
#include <vector>

namespace common {

// Replaces the file at `path` with `args`, each one ended by a NUL (any
// text fits, blanks and line ends included). The file is made afresh with
// mode 0600, so neither a link nor a file of another owner at `path` is
// written through. False when it cannot be written.
bool WriteSecretArguments(const std::string& path, const std::vector<std::string>& args);

// The arguments the file at `path` holds; none when it cannot be read.
std::vector<std::string> ReadSecretArguments(const std::string& path);

}  // namespace common
