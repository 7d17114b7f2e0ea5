// Where a connection's server side goes: the requested destination, or
// what the listen entry's line of the connection list (or, for HTTP,
// option -s) puts in its place.
#pragma once

#include <string>

namespace engine {

struct UpstreamTarget {
    std::string sendAddress;  // field A: the local address to send from; empty: any
    std::string server;       // field B, or the requested host
    std::string port;         // field C without its marks, or the requested port
    // The connection list or -s named the server: for HTTP an upstream
    // proxy, asked in absolute form, whatever its name.
    bool namedServer = false;
    bool marksRead = false;   // the marks below decide the record's flags
    bool tunnel = false;      // "*"
    bool tls = false;         // "+"
    bool startTls = false;    // "-"

    bool operator==(const UpstreamTarget&) const = default;

    // The host text ConnectHost hands back to an HTTP caller: the requested
    // host itself for a direct connection; for a named server "<server>:<port>"
    // (an IPv6 address in brackets), which no requested host equals, since
    // those never carry their port. So the caller tells an upstream proxy
    // from the origin by the text even when both have the same name.
    std::string HostForCaller(const std::string& requestedHost) const;
};

// Looks the listen address and port up in the connection list (a missing
// list or line leaves the requested destination). HTTP takes a line's server
// and port only together, and then its marks; a line's server without a
// port is asked on the requested port. An HTTP line that names no server
// leaves the upstream proxy of -s ("<host>[ <port>]", upstreamOption), if
// any. The other protocols take each field that is present, and every
// protocol but SOCKS reads the marks.
UpstreamTarget ChooseUpstreamTarget(int protocol, const std::string& connectTableFile,
                                    const std::string& listenAddress, int listenPort, const std::string& host,
                                    int port, const std::string& upstreamOption = std::string());

}  // namespace engine
