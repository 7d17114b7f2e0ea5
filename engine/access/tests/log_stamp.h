// Reading the time stamps of the engine's daily log lines in tests.
#pragma once

#include <regex>
#include <string>

namespace accesstest {

// Milliseconds of the day stamped on the log line that holds position at
// ("[hh:mm:ss:mmm] ..."), -1 when there is no such line or stamp.
inline long StampOfLineAt(const std::string& log, size_t at) {
    if (at == std::string::npos || at >= log.size()) return -1;
    size_t start = log.rfind('\n', at);
    start = start == std::string::npos ? 0 : start + 1;
    std::smatch m;
    std::string line = log.substr(start, at - start);
    if (!std::regex_search(line, m, std::regex(R"(\[(\d\d):(\d\d):(\d\d):(\d\d\d)\])"))) return -1;
    return ((std::stol(m[1]) * 60 + std::stol(m[2])) * 60 + std::stol(m[3])) * 1000 + std::stol(m[4]);
}

}  // namespace accesstest
