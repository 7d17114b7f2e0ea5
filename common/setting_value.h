// A value of the product's registry key as both its writer (a settings
// page) and its reader (the service, starting a server) name it: its name
// and what a missing value reads as.
#pragma once

#include <cstdint>

namespace common {

struct DwordValue {
    const char* name;
    uint32_t byDefault;
};

struct TextValue {
    const char* name;
    const char* byDefault;
};

}  // namespace common
