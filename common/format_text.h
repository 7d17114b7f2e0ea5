// printf-style text into a std::string, for log lines with fields.
#pragma once

#include <cstdarg>
#include <string>

namespace common {

// The format is always a literal of the program, never outside text.
std::string FormatTextV(const char* format, va_list args);

}  // namespace common
