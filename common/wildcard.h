// The "*" pattern matcher of every list file: black and white lists, the
// cache exclusions, the access-log mask and the word filter's keywords.
#pragma once

#include <string_view>

namespace common {

// True when text matches pattern. "*" stands for any run of characters
// (none included) and is the only wildcard; there is no escape. ASCII
// letters compare without regard to case, other bytes as they are. A
// pattern without "*" must equal the whole text; "**" is the same as "*".
bool WildcardMatch(std::string_view pattern, std::string_view text);

}  // namespace common
