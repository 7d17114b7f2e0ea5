#include "common/url_host.h"

#include <algorithm>

namespace common {

std::optional<std::string_view> FindUrlHost(std::string_view text) {
    size_t start = text.find("://");
    if (start != std::string_view::npos) {
        start += 3;
    } else {
        start = text.find("www");
        if (start == std::string_view::npos) start = text.find("WWW");
        if (start == std::string_view::npos) {
            start = text.find('@');
            if (start != std::string_view::npos) ++start;
        }
        if (start == std::string_view::npos || text.find('.', start) == std::string_view::npos) return std::nullopt;
    }
    std::string_view rest = text.substr(start);
    rest.remove_prefix(std::min(rest.find_first_not_of('='), rest.size()));
    if (size_t at = rest.find("://"); at != std::string_view::npos) {
        rest.remove_prefix(at + 3);
    } else if (size_t www = rest.find("www"); www != std::string_view::npos) {
        rest.remove_prefix(www);
    } else if (size_t mail = rest.find('@'); mail != std::string_view::npos) {
        rest.remove_prefix(mail + 1);
    }
    return rest;
}

}  // namespace common
