#include "engine/tls/tls_log.h"

#include <cstdarg>
#include <cstdio>

namespace engine {

void TlsLog(const char* format, ...) {
    char line[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    std::fputs(line, stderr);
}

}  // namespace engine
