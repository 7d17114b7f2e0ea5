#include "engine/access/numeric_host.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <algorithm>

namespace engine {

std::string DottedIPv4Host(std::string_view host) {
    // inet_aton stops at a blank and reads what came before it: only a text
    // of digits, dots and hex parts is taken as an address, whole.
    const bool numeric = !host.empty() && host.front() >= '0' && host.front() <= '9' &&
                         std::all_of(host.begin(), host.end(), [](char c) {
                             return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F') ||
                                    c == 'x' || c == 'X' || c == '.';
                         });
    in_addr address{};
    const std::string text(host);
    if (!numeric || ::inet_aton(text.c_str(), &address) == 0) return text;
    char dotted[INET_ADDRSTRLEN];
    ::inet_ntop(AF_INET, &address, dotted, sizeof dotted);
    return dotted;
}

std::string ListedHost(std::string_view host) {
    // Every trailing dot goes, not only the root's one: "a.example.." left
    // as "a.example." would pass a list entry for "a.example" and still
    // resolve to its server.
    const size_t end = host.find_last_not_of('.');
    if (end != std::string_view::npos) host = host.substr(0, end + 1);
    return DottedIPv4Host(host);
}

}  // namespace engine
