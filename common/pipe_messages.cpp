#include "common/pipe_messages.h"

#include <algorithm>

namespace common {

std::string BuildWordFilterRequest(std::string_view responsePath, std::string_view listName,
                                   std::string_view hostAndPath) {
    std::string request(responsePath);
    request += '?';
    request += listName;
    request += '*';
    request += hostAndPath;
    return request;
}

WordFilterRequest SplitWordFilterRequest(std::string_view text) {
    text = text.substr(0, text.find('\0'));
    WordFilterRequest request;
    const size_t star = text.rfind('*');
    if (star != std::string_view::npos) {
        request.url = std::string(text.substr(star + 1));
        text = text.substr(0, star);
    }
    const size_t question = text.rfind('?');
    if (question != std::string_view::npos) {
        std::string name = ListNameAsFile(text.substr(question + 1));
        if (IsSafeListName(name)) request.listName = std::move(name);
        text = text.substr(0, question);
    }
    request.responsePath = std::string(text);
    return request;
}

std::string BuildSpamRequest(std::string_view mailPath, std::string_view clientAddress, std::string_view sender) {
    std::string request(mailPath);
    request += '\t';
    request += clientAddress;
    request += '\t';
    request += sender;
    return request;
}

std::string BuildSpamListRequest(std::string_view mailPath, std::string_view listName) {
    std::string request(mailPath);
    request += '?';
    request += listName;
    return request;
}

std::string ListNameAsFile(std::string_view listName) {
    std::string name(listName);
    std::replace(name.begin(), name.end(), ':', ';');
    std::replace(name.begin(), name.end(), '\\', '/');
    return name;
}

bool IsSafeListName(std::string_view name) {
    if (name.empty() || name[0] == '/') return false;
    size_t start = 0;
    for (;;) {
        size_t slash = name.find('/', start);
        if (name.substr(start, slash - start) == "..") return false;
        if (slash == std::string_view::npos) return true;
        start = slash + 1;
    }
}

std::string BuildAlert(std::string_view finding, std::string_view path) {
    std::string alert = "[";
    alert += finding;
    alert += "] ";
    alert += path;
    return alert;
}

}  // namespace common
