// List files: text files of one entry a line (lists, rules, ini files).
// Each reader of the suite states its own line limit and which first
// characters mark a comment; this reader applies them the same way for all.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace common {

// The usual comment marks: a blank, a single quote or a double quote.
inline constexpr std::string_view kListCommentChars = " '\"";

struct ListFileRules {
    // The most characters one read takes, line end included. A longer line
    // is read in pieces of this size and each piece counts as a line of its
    // own, as the suite's readers have always done.
    size_t maxLineLength = 1023;
    // A line whose first character is one of these is skipped.
    std::string_view commentChars = kListCommentChars;
    // Skip lines that are empty once cut at their line end.
    bool skipEmptyLines = true;
    // Take only the first piece of a line longer than maxLineLength: the
    // rest of it is passed over instead of being read as lines of their
    // own. For lists where such a piece could grant something (a user
    // entry, say) that nobody wrote as a line.
    bool skipContinuationPieces = false;
};

// Calls visit for each entry line in file order, cut at its first CR, LF or
// NUL; visit returns false to stop early. Returns false when the file
// can't be opened.
bool ForEachListLine(const std::string& path, const ListFileRules& rules,
                     const std::function<bool(std::string_view line)>& visit);

// Every entry line; nullopt when the file can't be opened.
std::optional<std::vector<std::string>> ReadListFile(const std::string& path,
                                                     const ListFileRules& rules);

}  // namespace common
