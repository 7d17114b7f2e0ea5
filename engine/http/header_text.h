// Small pieces of HTTP head text handling shared by the GET road.
#pragma once

#include <string_view>

namespace engine {

// The text without leading and trailing blanks and tabs.
inline std::string_view TrimBlanks(std::string_view text) {
    size_t first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// A line up to its first CR or LF.
inline std::string_view WithoutLineEnd(std::string_view line) { return line.substr(0, line.find_first_of("\r\n")); }

}  // namespace engine
