#include "common/pipe_messages.h"

#include <algorithm>
#include <initializer_list>

namespace common {

namespace {

std::string_view UpToNul(std::string_view text) { return text.substr(0, text.find('\0')); }

std::string Joined(std::initializer_list<std::string_view> parts) {
    std::string text;
    for (std::string_view part : parts) text += part;
    return text;
}

}  // namespace

std::string BuildScanRequest(std::string_view path, std::string_view sourceDigit) {
    return Joined({path.substr(0, kRequestPathLimit), "\t", sourceDigit});
}

std::string BuildPlainMessage(std::string_view text) {
    std::string message(UpToNul(text).substr(0, kPlainMessageSize - 1));
    message.resize(kPlainMessageSize, '\0');
    return message;
}

ScanRequest SplitScanRequest(std::string_view text) {
    text = UpToNul(text);
    const size_t tab = text.rfind('\t');
    if (tab == std::string_view::npos) return {std::string(text), std::nullopt};
    const std::string_view source = text.substr(tab + 1);
    if (source.size() > 1 || (source.size() == 1 && (source[0] < '0' || source[0] > '9')))
        return {std::string(text), std::nullopt};
    return {std::string(text.substr(0, tab)), std::string(source)};
}

std::string BuildWordFilterRequest(std::string_view responsePath, std::string_view listName,
                                   std::string_view hostAndPath) {
    return Joined({responsePath, "?", listName, "*", hostAndPath});
}

WordFilterRequest SplitWordFilterRequest(std::string_view text) {
    text = UpToNul(text);
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
    return Joined({mailPath, "\t", clientAddress, "\t", sender});
}

std::string BuildSpamListRequest(std::string_view mailPath, std::string_view listName) {
    return Joined({mailPath, "?", listName});
}

SpamRequest SplitSpamRequest(std::string_view text) {
    text = UpToNul(text);
    SpamRequest request;
    const size_t tab = text.find('\t');
    const std::string_view pathPart = text.substr(0, tab);
    const size_t question = pathPart.rfind('?');
    if (question != std::string_view::npos) {
        request.listName = ListNameAsFile(pathPart.substr(question + 1));
        request.text = std::string(pathPart.substr(0, question));
        if (tab != std::string_view::npos) request.text += text.substr(tab);
    } else {
        request.text = std::string(text);
    }
    request.smtpForm = request.text.find('\t') != std::string::npos;
    request.mailPath = request.text.substr(0, request.text.find('\t'));
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

std::string BuildArchiveRequest(std::string_view mailPath) { return std::string(mailPath.substr(0, kRequestPathLimit)); }

std::string SplitArchiveRequest(std::string_view text) { return std::string(UpToNul(text)); }

std::string BuildAlert(std::string_view finding, std::string_view path) {
    return Joined({"[", finding, "] ", path});
}

std::optional<Alert> SplitAlert(std::string_view text) {
    text = UpToNul(text);
    const size_t cut = text.find("] ");
    if (cut == std::string_view::npos) return std::nullopt;
    const size_t start = text.front() == '[' ? 1 : 0;
    return Alert{std::string(text.substr(start, cut - start)), std::string(text.substr(cut + 2))};
}

}  // namespace common
