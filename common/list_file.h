// List files: text files of one entry a line (lists, rules, ini files).
// Each reader of the suite states its own line limit and which first
// characters mark a comment; this reader applies them the same way for all.
#pragma once

#include <cstddef>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace common {

// The usual comment marks: a blank, a single quote or a double quote.
inline constexpr std::string_view kListCommentChars = " '\"";

struct ListFileRules {
    // The most characters one read takes, line end included. Of a longer
    // line only the first piece counts: the rest is passed over, so the tail
    // of an overlong line (a commented-out address rule, a long user name)
    // never becomes an entry nobody wrote as a line.
    size_t maxLineLength = 1023;
    // A line whose first character is one of these is skipped.
    std::string_view commentChars = kListCommentChars;
    // Skip lines that are empty once cut at their line end.
    bool skipEmptyLines = true;
};

// The next piece of a line as fgets with a buffer of maxLength + 1 bytes
// returns it: up to and including the LF, at most maxLength characters
// (NUL bytes kept). False at the end of the file.
bool ReadLinePiece(FILE* file, size_t maxLength, std::string& piece);

// Calls visit for each entry line in file order, cut at its first CR, LF or
// NUL; visit returns false to stop early. Returns false when the file
// can't be opened.
bool ForEachListLine(const std::string& path, const ListFileRules& rules,
                     const std::function<bool(std::string_view line)>& visit);

// Every entry line; nullopt when the file can't be opened.
std::optional<std::vector<std::string>> ReadListFile(const std::string& path,
                                                     const ListFileRules& rules);

}  // namespace common
