#include "common/list_file.h"

#include <algorithm>
#include <cstdio>

#include "common/file_retry.h"

namespace common {

namespace {

// Bytes a list file is read by: lists are read for every request, so a
// file is taken a block at a time, never a character at a time.
constexpr size_t kListReadBlock = 16384;

// Applies the rules to the first piece of a line (its line end already
// gone); false when visit asked to stop.
bool VisitEntry(std::string_view piece, const ListFileRules& rules,
                const std::function<bool(std::string_view line)>& visit) {
    std::string_view line = piece.substr(0, piece.find_first_of(std::string_view("\r\0", 2)));
    if (line.empty()) {
        if (rules.skipEmptyLines) return true;
    } else if (rules.commentChars.find(line.front()) != std::string_view::npos) {
        return true;
    }
    return visit(line);
}

}  // namespace

bool ReadLinePiece(FILE* file, size_t maxLength, std::string& piece) {
    piece.clear();
    // Gathered in a small buffer and appended a run at a time: a push_back
    // per character was most of the cost of reading a mail line by line.
    char run[512];
    size_t used = 0;
    ::flockfile(file);
    int c = 0;
    while (piece.size() + used < maxLength && (c = ::getc_unlocked(file)) != EOF) {
        run[used++] = static_cast<char>(c);
        if (c == '\n') break;
        if (used == sizeof run) {
            piece.append(run, used);
            used = 0;
        }
    }
    ::funlockfile(file);
    piece.append(run, used);
    return !piece.empty();
}

// Of each line only its first maxLineLength characters count: what a read
// of that many characters up to the LF would return. The rest of a longer
// line is passed over.
bool ForEachListLine(const std::string& path, const ListFileRules& rules,
                     const std::function<bool(std::string_view line)>& visit) {
    FilePtr file = OpenRegularFile(path);
    if (!file) return false;
    const size_t maxLength = rules.maxLineLength == 0 ? 1 : rules.maxLineLength;
    std::string block(kListReadBlock, '\0');
    std::string head;  // the first maxLength characters of the line being read
    bool lineOpen = false;
    size_t got = 0;
    while ((got = std::fread(block.data(), 1, block.size(), file.get())) > 0) {
        std::string_view rest(block.data(), got);
        while (!rest.empty()) {
            const size_t end = rest.find('\n');
            if (head.size() < maxLength) head.append(rest.substr(0, std::min(end, maxLength - head.size())));
            lineOpen = true;
            if (end == std::string_view::npos) break;
            rest.remove_prefix(end + 1);
            if (!VisitEntry(head, rules, visit)) return true;
            head.clear();
            lineOpen = false;
        }
    }
    if (lineOpen) VisitEntry(head, rules, visit);
    return true;
}

std::optional<std::vector<std::string>> ReadListFile(const std::string& path,
                                                     const ListFileRules& rules) {
    std::vector<std::string> lines;
    if (!ForEachListLine(path, rules, [&lines](std::string_view line) {
            lines.emplace_back(line);
            return true;
        }))
        return std::nullopt;
    return lines;
}

}  // namespace common
