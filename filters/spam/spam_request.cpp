#include "filters/spam/spam_request.h"

#include "common/pipe_messages.h"

namespace spam {

SpamRequest ParseSpamRequest(std::string_view message) {
    message = message.substr(0, message.find('\0'));
    SpamRequest request;
    size_t tab = message.find('\t');
    std::string_view pathPart = message.substr(0, tab);
    size_t question = pathPart.rfind('?');
    if (question != std::string_view::npos) {
        request.listName = common::ListNameAsFile(pathPart.substr(question + 1));
        request.text = std::string(pathPart.substr(0, question));
        if (tab != std::string_view::npos) request.text += message.substr(tab);
    } else {
        request.text = std::string(message);
    }
    request.smtpForm = request.text.find('\t') != std::string::npos;
    request.mailPath = request.text.substr(0, request.text.find('\t'));
    size_t slash = request.mailPath.rfind('/');
    std::string shortName = slash == std::string::npos ? request.mailPath : request.mailPath.substr(slash + 1);
    request.shortName = shortName.substr(0, shortName.find('.'));
    return request;
}

}  // namespace spam
