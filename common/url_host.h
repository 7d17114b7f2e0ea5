// Where a host name begins in free text: a destination as a SOCKS client
// wrote it, a line of a mail body.
#pragma once

#include <optional>
#include <string_view>

namespace common {

// The text from where a host begins (the host and whatever follows it).
// The start is after the first "://"; failing that at the first "www",
// then "WWW"; failing that after the first "@". Found by "www" or "@", the
// text from there on must hold a dot, else there is no host (nullopt).
// From the start any run of "=" is passed over and the rest is searched
// once more: after a further "://", else at a "www", else after an "@",
// so that the user part of "ftp://user@host" is not taken for the host.
std::optional<std::string_view> FindUrlHost(std::string_view text);

}  // namespace common
