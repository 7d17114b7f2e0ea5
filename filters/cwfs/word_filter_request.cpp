#include "filters/cwfs/word_filter_request.h"

#include <algorithm>

#include "common/ascii_case.h"
#include "common/filter_text.h"

namespace cwfs {

std::string CharsetOf(std::string_view contentType, const std::string& fallback) {
    const size_t at = contentType.find("charset=");
    if (at == std::string_view::npos) return fallback;
    std::string_view rest = contentType.substr(at + 8);
    rest.remove_prefix(std::min(rest.find_first_not_of(" \""), rest.size()));
    rest = rest.substr(0, rest.find_first_of(" \";\r\n"));
    return std::string(rest);
}

std::string MetaCharset(std::string_view pageStart) {
    std::string page(pageStart);
    for (char& c : page) c = common::LowerAscii(c);
    const size_t headEnd = std::min(page.find("</head"), page.find("<body"));
    if (headEnd != std::string::npos) page.resize(headEnd);
    for (size_t meta = page.find("<meta"); meta != std::string::npos; meta = page.find("<meta", meta + 5)) {
        const size_t close = page.find('>', meta);
        const std::string_view element = std::string_view(page).substr(meta, close == std::string::npos ? close : close - meta);
        const size_t at = element.find("charset=");
        if (at == std::string_view::npos) continue;
        std::string_view value = element.substr(at + 8);
        value.remove_prefix(std::min(value.find_first_not_of(" \t\"'"), value.size()));
        value = value.substr(0, value.find_first_of(" \t\"';/\r\n"));
        if (!value.empty()) return std::string(value);
    }
    return {};
}

bool SkipResponseHead(FILE* file) {
    // Only the start of each line matters; the rest of a long one is passed over.
    constexpr size_t kKeep = 2;
    std::string line;
    while (common::ReadWholeLine(file, line, kKeep)) {
        if (line == "\n" || line == "\r\n") return true;
    }
    return false;
}

}  // namespace cwfs
