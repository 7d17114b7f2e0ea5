#include "panel/app/own_version.h"

namespace panel {

void GetOwnFileVersion(uint32_t& mostSignificant, uint32_t& leastSignificant) {
    mostSignificant = (2u << 16) | 0u;
    leastSignificant = (14u << 16) | 0u;
}

}  // namespace panel
