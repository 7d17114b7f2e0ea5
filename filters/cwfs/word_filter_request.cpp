#include "filters/cwfs/word_filter_request.h"

#include <algorithm>

#include "common/ascii_case.h"
#include "common/filter_text.h"

namespace cwfs {
namespace {

bool ClimbsOut(std::string_view name) {
    if (name.empty() || name.front() == '/') return true;
    for (size_t start = 0; start <= name.size();) {
        size_t slash = name.find('/', start);
        if (slash == std::string_view::npos) slash = name.size();
        if (name.substr(start, slash - start) == "..") return true;
        start = slash + 1;
    }
    return false;
}

}  // namespace

WordFilterRequest SplitRequest(std::string_view text) {
    text = text.substr(0, text.find('\0'));
    WordFilterRequest request;
    const size_t star = text.rfind('*');
    if (star != std::string_view::npos) {
        request.url = std::string(text.substr(star + 1));
        text = text.substr(0, star);
    }
    const size_t question = text.rfind('?');
    if (question != std::string_view::npos) {
        std::string name(text.substr(question + 1));
        std::replace(name.begin(), name.end(), ':', ';');
        std::replace(name.begin(), name.end(), '\\', '/');
        if (!ClimbsOut(name)) request.listName = std::move(name);
        text = text.substr(0, question);
    }
    request.responsePath = std::string(text);
    return request;
}

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
