// What a CONNECT request asks for: the destination of its request line,
// the keys the black and white lists are asked with, and the texts the
// tunnel exchanges with an upstream proxy.
#pragma once

#include <string>
#include <string_view>

namespace engine {

struct ConnectTarget {
    std::string host;     // as the lists know it (ListedHost); an IPv6 address keeps its brackets ("[::1]")
    int port = 80;        // without a port in the request, 80
    std::string written;  // the host, then the port as the request line gives it ("host:port")
};

enum class ConnectTargetResult {
    Ok,
    BadVersion,  // the request line's last word is no HTTP version
    BadTarget,   // no host, a port that is no number from 1 to 65535, an unclosed bracket
};

// Reads "CONNECT <host>[:<port>] HTTP/x.y" (without or with its line end).
// An IPv6 address is written in brackets ("[::1]:443"); a bare one, which
// can't be told from an address with a port, is a BadTarget.
ConnectTargetResult ParseConnectTarget(std::string_view requestLine, ConnectTarget& target);

// The URL key: "https://<host>/" for port 443, otherwise "https://" and the
// target as written, then "/" ("https://a.example:8443/").
std::string ConnectUrlKey(const ConnectTarget& target);

// "<listen address>:<listen port>,connect,tcp,<host>,<port>".
std::string ConnectListKey(const std::string& listenAddress, int listenPort, const ConnectTarget& target);

// The client's request head as it goes to an upstream proxy: unchanged,
// except that Proxy-Authorization lines are left out when this proxy asked
// for them itself (dropCredentials): they are the client's password here.
std::string HeadForUpstream(std::string_view capturedHead, bool dropCredentials);

// Where the reply head in `received` ends (just past its empty line, CR LF
// or a bare LF), or npos while it has not ended.
std::size_t ReplyHeadEnd(std::string_view received);

// The status code of a reply's status line ("HTTP/1.1 407 ..."), or 0.
int ReplyStatus(std::string_view replyHead);

}  // namespace engine
