// Which protocol a SOCKS destination carries, by its port (and address):
// the rows of "socks-ptl.ini", or the engine's own table of well-known
// ports when that file is missing.
#pragma once

#include <string>

namespace engine {

// Protocol kinds of a SOCKS destination.
enum SocksKind : int {
    kSocksKindUnknown = -1,
    kSocksKindHttp = 0,
    kSocksKindSmtp = 1,
    kSocksKindPop3 = 2,
    kSocksKindImap4 = 3,
    kSocksKindFtp = 4,
    kSocksKindFtpData = 5,
    kSocksKindOther = 6,
};

// The kind of the destination address (cut at its first blank) and port;
// encrypted is set to 1 for a destination whose bytes pass unexamined (TLS
// or a tunnel), else 0. A row "<pattern>:<port>,<kind>,<encrypted>[,<note>]"
// (the pattern "*"-matched without regard to case, an IPv6 address in
// brackets; "<port>,<kind>,..." for any address) decides; the first row
// that matches wins. A port no row (or table entry) names is FTP data
// inside the data port range (low and high both set), else unknown.
int QuerySocksProtocol(const std::string& protocolFile, const std::string& address, int port, int dataPortLow,
                       int dataPortHigh, int& encrypted);

}  // namespace engine
