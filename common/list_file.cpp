#include "common/list_file.h"

#include <cstdio>
#include <memory>

namespace common {

namespace {

struct FileCloser {
    void operator()(FILE* f) const { std::fclose(f); }
};

}  // namespace

bool ReadLinePiece(FILE* file, size_t maxLength, std::string& piece) {
    piece.clear();
    int c = 0;
    while (piece.size() < maxLength && (c = std::getc(file)) != EOF) {
        piece.push_back(static_cast<char>(c));
        if (c == '\n') break;
    }
    return !piece.empty();
}

bool ForEachListLine(const std::string& path, const ListFileRules& rules,
                     const std::function<bool(std::string_view line)>& visit) {
    std::unique_ptr<FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    if (!file) return false;
    const size_t maxLength = rules.maxLineLength == 0 ? 1 : rules.maxLineLength;
    std::string piece;
    bool atLineStart = true;
    while (ReadLinePiece(file.get(), maxLength, piece)) {
        const bool continuation = !atLineStart;
        atLineStart = piece.back() == '\n';
        if (continuation) continue;
        std::string_view line(piece);
        line = line.substr(0, line.find_first_of(std::string_view("\r\n\0", 3)));
        if (line.empty()) {
            if (rules.skipEmptyLines) continue;
        } else if (rules.commentChars.find(line.front()) != std::string_view::npos) {
            continue;
        }
        if (!visit(line)) break;
    }
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
