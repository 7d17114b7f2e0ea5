// A host written as an IPv4 address in one of the spellings the system's
// address parser takes ("127.1", "2130706433", "0x7f000001", octal parts
// like "0177.0.0.01") reaches the same server as its dotted form, and a
// fully qualified name with its trailing dot ("a.example.") the same as the
// name without it: the lists and the cache must see one form, or any other
// spelling would pass a black-list entry.
#pragma once

#include <string>
#include <string_view>

namespace engine {

// The dotted decimal form of a host that reads as an IPv4 address; any
// other host (a name, an IPv6 address) unchanged.
std::string DottedIPv4Host(std::string_view host);

// The one spelling of a host that the lists and the cache are asked with:
// without trailing dots (a text of dots alone stays as it is), and an IPv4
// address in its dotted form.
std::string ListedHost(std::string_view host);

}  // namespace engine
