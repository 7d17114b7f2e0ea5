#include "engine/tls/tls.h"

#include "engine/tls/tls_log.h"

#include <algorithm>
#include <fstream>
#include <string>

namespace engine {

namespace {

constexpr size_t kLineLimit = 1023;  // characters of a connection-list line
constexpr size_t kPathLimit = 260;   // characters of a certificate or key path

bool IsSkippedLine(const std::string& line) {
    if (line.empty()) return true;
    char first = line[0];
    return first == '\r' || first == '\n' || first == ' ' || first == '\'' || first == '"';
}

}  // namespace

// A line "<address> <port>+<certificate>\t<key>" (text after "=" belongs to
// the connection table) marks a TLS port, the same with "-" a STARTTLS port.
// The sign is taken right after the port, so a path holding "+" or "-" keeps
// its line's meaning.
int Query_SecureSocketLayer(const std::string& connectTableFile, const std::string& listenAddress, int listenPort,
                            std::string& certificateFile, std::string& privateKeyFile) {
    certificateFile.clear();
    privateKeyFile.clear();
    const std::string key = listenAddress + " " + std::to_string(listenPort);

    std::ifstream in(connectTableFile);
    if (!in) {
        TlsLog("[Query_SecureSocketLayer] %s %d - not found.\n", listenAddress.c_str(), listenPort);
        return 0;
    }
    std::string line;
    while (std::getline(in, line)) {
        if (line.size() > kLineLimit) line.resize(kLineLimit);
        if (IsSkippedLine(line)) continue;
        size_t end = line.find_first_of("=\r\n");
        if (end != std::string::npos) line.resize(end);
        if (line.size() <= key.size() || line.compare(0, key.size(), key) != 0) continue;
        char sign = line[key.size()];
        if (sign != '+' && sign != '-') continue;

        std::string paths = line.substr(key.size() + 1);
        size_t tab = paths.find('\t');
        if (tab != std::string::npos) {
            certificateFile = paths.substr(0, std::min(tab, kPathLimit));
            privateKeyFile = paths.substr(tab + 1, kPathLimit);
        }
        if (sign == '+') {
            TlsLog("[Query_SecureSocketLayer] %s %d - found.\n", listenAddress.c_str(), listenPort);
            return 1;
        }
        TlsLog("[Query_SecureSocketLayer] %s %d - found. (STARTTLS on)\n", listenAddress.c_str(), listenPort);
        return 0;
    }
    TlsLog("[Query_SecureSocketLayer] %s %d - not found.\n", listenAddress.c_str(), listenPort);
    return 0;
}

}  // namespace engine
