#include "engine/socks/socks_protocol.h"

#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "common/wildcard.h"

namespace engine {
namespace {

// The longest row that is read; the rest of a longer line is passed over.
constexpr int kRowLimit = 255;

struct FixedPort {
    int port;
    int kind;
    int encrypted;
};

// The well-known ports, for an engine without "socks-ptl.ini".
constexpr FixedPort kFixedPorts[] = {
    {80, kSocksKindHttp, 0},   {443, kSocksKindHttp, 1},  {25, kSocksKindSmtp, 0},   {465, kSocksKindSmtp, 1},
    {110, kSocksKindPop3, 0},  {995, kSocksKindPop3, 1},  {143, kSocksKindImap4, 0}, {993, kSocksKindImap4, 1},
    {21, kSocksKindFtp, 0},    {22, kSocksKindOther, 1},  {23, kSocksKindOther, 1},
};

int Decimal(std::string_view text) {
    std::string copy(text.substr(0, 16));
    return static_cast<int>(std::strtol(copy.c_str(), nullptr, 10));
}

// One row: true when it names this destination; kind and encrypted set.
bool RowMatches(std::string_view row, std::string_view address, int port, int& kind, int& encrypted) {
    if (row.empty() || row[0] == ' ' || row[0] == '\'' || row[0] == '"') return false;
    const std::size_t comma = row.find(',');
    if (comma == std::string_view::npos) return false;
    // The key is the field before the first comma, so that a note behind
    // the flags may hold colons of its own.
    const std::string_view key = row.substr(0, comma);
    const std::size_t colon = key.rfind(':');
    const std::string_view portText = colon == std::string_view::npos ? key : key.substr(colon + 1);
    if (portText.empty() || Decimal(portText) != port) return false;
    if (colon != std::string_view::npos) {
        std::string_view pattern = key.substr(0, colon);
        if (pattern.size() >= 2 && pattern.front() == '[' && pattern.back() == ']')
            pattern = pattern.substr(1, pattern.size() - 2);
        if (!common::WildcardMatch(pattern, address)) return false;
    }
    const std::string_view rest = row.substr(comma + 1);
    kind = Decimal(rest);
    const std::size_t next = rest.find(',');
    encrypted = next != std::string_view::npos && Decimal(rest.substr(next + 1)) == 1 ? 1 : 0;
    return true;
}

int ByRange(int port, int low, int high) {
    if (low == 0 || high == 0) return kSocksKindUnknown;
    return port >= low && port <= high ? kSocksKindFtpData : kSocksKindUnknown;
}

}  // namespace

int QuerySocksProtocol(const std::string& protocolFile, const std::string& address, int port, int dataPortLow,
                       int dataPortHigh, int& encrypted) {
    const std::string_view destination = std::string_view(address).substr(0, address.find(' '));
    encrypted = 0;
    FILE* file = protocolFile.empty() ? nullptr : std::fopen(protocolFile.c_str(), "rb");
    if (!file) {
        for (const FixedPort& fixed : kFixedPorts) {
            if (fixed.port != port) continue;
            encrypted = fixed.encrypted;
            return fixed.kind;
        }
        return ByRange(port, dataPortLow, dataPortHigh);
    }
    char line[kRowLimit + 2];
    int kind = kSocksKindUnknown;
    bool found = false;
    bool lineStart = true;
    while (!found && std::fgets(line, sizeof line, file)) {
        std::string_view row(line);
        const bool whole = !row.empty() && row.back() == '\n';
        const bool startsRow = lineStart;
        lineStart = whole;
        if (!startsRow) continue;  // the rest of an overlong line
        row = row.substr(0, row.find_first_of("\r\n"));
        int rowEncrypted = 0;
        if (RowMatches(row, destination, port, kind, rowEncrypted)) {
            encrypted = rowEncrypted;
            found = true;
        }
    }
    std::fclose(file);
    return found ? kind : ByRange(port, dataPortLow, dataPortHigh);
}

}  // namespace engine
