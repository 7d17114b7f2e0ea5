// A host written as an IPv4 address in one of the spellings the system's
// address parser takes ("127.1", "2130706433", "0x7f000001", octal parts
// like "0177.0.0.01") reaches the same server as its dotted form: the lists
// must see that form, or any other spelling would pass a black-list entry.
#pragma once

#include <string>
#include <string_view>

namespace engine {

// The dotted decimal form of a host that reads as an IPv4 address; any
// other host (a name, an IPv6 address) unchanged.
std::string DottedIPv4Host(std::string_view host);

}  // namespace engine
