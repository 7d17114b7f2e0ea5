#include "engine/socks/socks_protocol.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string_view>
#include <vector>

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

// The rows of the file as last read, and what the file was then: every
// request asks the file, and one look at it is cheaper than a read.
struct ProtocolRows {
    std::string path;
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    timespec modified{};
    std::vector<std::string> rows;

    bool Describes(const std::string& file, const struct stat& now) const {
        return path == file && device == now.st_dev && inode == now.st_ino && size == now.st_size &&
               modified.tv_sec == now.st_mtim.tv_sec && modified.tv_nsec == now.st_mtim.tv_nsec;
    }
};

// Each line up to kRowLimit + 1 characters (the rest of a longer one is
// passed over), cut at its line end.
std::shared_ptr<const ProtocolRows> ReadRows(const std::string& path, const struct stat& seen) {
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return nullptr;
    auto read = std::make_shared<ProtocolRows>();
    read->path = path;
    read->device = seen.st_dev;
    read->inode = seen.st_ino;
    read->size = seen.st_size;
    read->modified = seen.st_mtim;
    char line[kRowLimit + 2];
    bool lineStart = true;
    while (std::fgets(line, sizeof line, file)) {
        std::string_view row(line);
        const bool whole = !row.empty() && row.back() == '\n';
        const bool startsRow = lineStart;
        lineStart = whole;
        if (!startsRow) continue;  // the rest of an overlong line
        read->rows.emplace_back(row.substr(0, row.find_first_of("\r\n")));
    }
    std::fclose(file);
    return read;
}

// The file's rows, read again only when the file has changed; null when
// there is no such regular file (a FIFO in its place is never opened).
std::shared_ptr<const ProtocolRows> CurrentRows(const std::string& path) {
    static std::mutex lock;
    static std::shared_ptr<const ProtocolRows> cached;
    struct stat now {};
    if (path.empty() || ::stat(path.c_str(), &now) != 0 || !S_ISREG(now.st_mode)) return nullptr;
    {
        std::lock_guard<std::mutex> guard(lock);
        if (cached && cached->Describes(path, now)) return cached;
    }
    std::shared_ptr<const ProtocolRows> read = ReadRows(path, now);
    std::lock_guard<std::mutex> guard(lock);
    cached = read;
    return read;
}

}  // namespace

int QuerySocksProtocol(const std::string& protocolFile, const std::string& address, int port, int dataPortLow,
                       int dataPortHigh, int& encrypted) {
    const std::string_view destination = std::string_view(address).substr(0, address.find(' '));
    encrypted = 0;
    const std::shared_ptr<const ProtocolRows> rows = CurrentRows(protocolFile);
    if (!rows) {
        for (const FixedPort& fixed : kFixedPorts) {
            if (fixed.port != port) continue;
            encrypted = fixed.encrypted;
            return fixed.kind;
        }
        return ByRange(port, dataPortLow, dataPortHigh);
    }
    for (const std::string& row : rows->rows) {
        int kind = kSocksKindUnknown;
        int rowEncrypted = 0;
        if (RowMatches(row, destination, port, kind, rowEncrypted)) {
            encrypted = rowEncrypted;
            return kind;
        }
    }
    return ByRange(port, dataPortLow, dataPortHigh);
}

}  // namespace engine
