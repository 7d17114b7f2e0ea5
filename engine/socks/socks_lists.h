// The black and white lists for a SOCKS destination: a list key is
// refused when "black.db" matches it and "white.db" does not.
#pragma once

#include <string>

namespace engine {

bool SocksKeyBlackListed(const std::string& listKey);

}  // namespace engine
