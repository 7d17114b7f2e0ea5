// Small pieces of HTTP head text handling shared by the GET road.
#pragma once

#include <string_view>

namespace engine {

// A line up to its first CR or LF.
inline std::string_view WithoutLineEnd(std::string_view line) { return line.substr(0, line.find_first_of("\r\n")); }

// The line that ends a head.
inline bool IsEmptyLine(std::string_view line) { return line == "\r\n" || line == "\n" || line == "\r"; }

}  // namespace engine
