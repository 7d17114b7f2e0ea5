// Where an HTTP request goes: its version, host and port, the keys that the
// black and white lists are asked with, and the names of its spool files.
#pragma once

#include <string>
#include <string_view>

namespace engine {

// The most characters of the request's version text that are kept.
inline constexpr size_t kVersionTextLimit = 10;
// The most characters of the URL path that name a spool file.
inline constexpr size_t kSpoolNameLimit = 200;

struct RequestTarget {
    std::string method;      // the token before the first blank
    std::string version;     // the last word of the request line ("HTTP/1.1")
    std::string host;        // as the lists know it (ListedHost), without the port; an IPv6 address keeps its brackets
    int port = 80;
    std::string authority;   // host, and ":port" when not 80: the Host line's value
    std::string urlKey;      // the URL as the lists see it
    std::string originPath;  // what an origin server is asked for ("/a/b?c"); "/" at least
    std::string spoolPath;   // the URL path after the host's "/", for the spool name
    bool hostSlash = false;  // a "/" follows the host
    bool absoluteForm = false;
};

enum class TargetResult {
    Ok,
    BadVersion,  // the last word is no HTTP version
    Ftp,         // an ftp:// URL
    NoTarget,    // no usable host: an origin-form request on the HTTP engine, or no Host line
};

// Reads the request line (without or with its line end). On the SOCKS
// engine (socksEngine set) an origin-form request takes its host from
// hostHeader, the value of the request's first "Host:" line.
TargetResult ParseRequestTarget(std::string_view requestLine, bool socksEngine, std::string_view hostHeader,
                                RequestTarget& target);

// Whether the target's host and port are these (ASCII case ignored; an
// IPv6 address with or without its brackets; host in any spelling that
// ListedHost makes the target's).
bool TargetNames(const RequestTarget& target, std::string_view host, int port);

// The value of the first "Host:" line of a request head, blanks skipped.
std::string HostHeaderValue(std::string_view head);

// "<listen address>:<listen port>,<method>,tcp,<host>,<port>", the method
// in lower case ("get" for GET).
std::string ListKey(const std::string& listenAddress, int listenPort, const RequestTarget& target);

// The name part of a spool file for a URL path: characters that can't
// stand in a file name become "_", cut at the first blank and at 200
// characters. longLink tells whether the path was longer than that.
std::string SpoolNamePart(std::string_view urlPath, bool& longLink);

struct SpoolFiles {
    std::string response;  // the body, for the scan ("req-%d-%04d_<name>")
    std::string work;      // the whole response, relayed ("<response>.tmp")
};

// The spool files of one request in "<data folder>cache/", numbered by
// protocol and the connection's spool number.
SpoolFiles MakeSpoolFiles(const std::string& dataFolder, int protocol, int spoolNumber, const RequestTarget& target,
                          bool& longLink);

}  // namespace engine
