// Where a connection's server side goes: the requested destination, or
// what the listen entry's line of the connection list puts in its place.
#pragma once

#include <string>

namespace engine {

struct UpstreamTarget {
    std::string sendAddress;  // field A: the local address to send from; empty: any
    std::string server;       // field B, or the requested host
    std::string port;         // field C without its marks, or the requested port
    bool marksRead = false;   // the marks below decide the record's flags
    bool tunnel = false;      // "*"
    bool tls = false;         // "+"
    bool startTls = false;    // "-"

    bool operator==(const UpstreamTarget&) const = default;
};

// Looks the listen address and port up in the connection list (a missing
// list or line leaves the requested destination). HTTP takes a line's server
// and port only together, and then its marks; the other protocols take each
// field that is present, and every protocol but SOCKS reads the marks.
UpstreamTarget ChooseUpstreamTarget(int protocol, const std::string& connectTableFile,
                                    const std::string& listenAddress, int listenPort, const std::string& host,
                                    int port);

}  // namespace engine
