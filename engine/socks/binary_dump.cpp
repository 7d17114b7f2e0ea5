#include "engine/socks/binary_dump.h"

#include <cstdio>

#include "engine/core/daily_log.h"

namespace engine {

std::string BinaryDumpText(int socket, const void* data, std::size_t length) {
    const auto* bytes = static_cast<const unsigned char*>(data);
    char head[32];
    std::snprintf(head, sizeof head, "[BinaryDump] [%04d]\n", socket);
    std::string text = head;
    const std::size_t rows = length / 16 + 1;
    for (std::size_t row = 0; row < rows && text.size() < 1000; ++row) {
        text += "  ";
        for (std::size_t at = row * 16; at < length && at < row * 16 + 16 && text.size() < 999; ++at) {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%02x ", bytes[at]);
            text += hex;
        }
        if (text.size() < 1001) text += '\n';
    }
    text += '\n';
    return text;
}

void BinaryDump(int socket, const void* data, std::size_t length) { WriteLog(BinaryDumpText(socket, data, length)); }

}  // namespace engine
