// Small pieces of head text handling shared by the HTTP and mail roads.
#pragma once

#include <cstddef>
#include <string_view>

namespace engine {

// The bounds of a head, a client's request or a server's response: one
// that has not ended within this many bytes, or that holds more header
// lines than this, is not taken as a head (a client's is refused).
inline constexpr size_t kHeadByteLimit = 65536;
inline constexpr size_t kHeadLineLimit = 100;

// A line up to its first CR or LF.
inline std::string_view WithoutLineEnd(std::string_view line) { return line.substr(0, line.find_first_of("\r\n")); }

// The line that ends a head.
inline bool IsEmptyLine(std::string_view line) { return line == "\r\n" || line == "\n" || line == "\r"; }

// Calls visit with each line of a head (its line end included), the first
// (request or status) line only when withFirst, up to the empty line that
// ends the head, which is not visited. visit returns false to stop.
template <typename Visit>
void ForEachHeadLine(std::string_view head, bool withFirst, Visit visit) {
    for (bool first = true; !head.empty(); first = false) {
        size_t lf = head.find('\n');
        std::string_view line = head.substr(0, lf == std::string_view::npos ? head.size() : lf + 1);
        head.remove_prefix(line.size());
        if (!first && IsEmptyLine(line)) return;
        if ((withFirst || !first) && !visit(line)) return;
    }
}

}  // namespace engine
