// The requests the suite's programs send each other over the pipes named in
// pipe_names.h, each built and split here so both ends read one layout:
//
//   word filter: <stored response path>?<list name>*<host and path>
//   spam check:  <mail path> TAB <client address> TAB <envelope sender>  (SMTP)
//                <mail path>?<list name>                                (POP3, IMAP4)
//   alert:       [<finding>] <path>
//
// A list name names a file under the data folder, written with "\" between
// folders and ";" for ":" in a file name.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace common {

std::string BuildWordFilterRequest(std::string_view responsePath, std::string_view listName,
                                   std::string_view hostAndPath);

struct WordFilterRequest {
    std::string responsePath;
    std::optional<std::string> listName;  // relative to the data folder
    std::optional<std::string> url;       // host and path, without scheme
};

// Splits at the last "*" (the URL follows), then what precedes at its last
// "?" (the list name follows). The text ends at its first NUL. A list name
// that is absolute or climbs out of the data folder is refused (no list
// name: the common files are used).
WordFilterRequest SplitWordFilterRequest(std::string_view text);

std::string BuildSpamRequest(std::string_view mailPath, std::string_view clientAddress, std::string_view sender);
std::string BuildSpamListRequest(std::string_view mailPath, std::string_view listName);

// The file a list name names, relative to the data folder: ":" read as ";"
// and "\" as "/".
std::string ListNameAsFile(std::string_view listName);

// A list file that stays inside the data folder: relative, without ".."
// parts. Others are not used.
bool IsSafeListName(std::string_view name);

std::string BuildAlert(std::string_view finding, std::string_view path);

}  // namespace common
