#include "filters/spam/spam_request.h"

namespace spam {

std::string ShortMailName(std::string_view mailPath) {
    const size_t slash = mailPath.rfind('/');
    const std::string_view name = slash == std::string_view::npos ? mailPath : mailPath.substr(slash + 1);
    return std::string(name.substr(0, name.find('.')));
}

}  // namespace spam
