// Small pieces of HTTP head text handling shared by the GET road.
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

}  // namespace engine
