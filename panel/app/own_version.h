// The panel's own file version, as the update check reports it.
#pragma once

#include <cstdint>

namespace panel {

// Most and least significant words of the version.
void GetOwnFileVersion(uint32_t& mostSignificant, uint32_t& leastSignificant);

}  // namespace panel
