// The connection list of a protocol ("http.ini", "smtp.ini", ...): one
// listener a line,
//
//   <listen address> <listen port>[+|-<certificate>TAB<private key>]=<send address>,<server> <server port>[*|+|-],<name>
//
// "+" after the listen port means TLS towards the client, "-" STARTTLS;
// after the server port "*" means a tunnel (bytes passed through
// unexamined), "+" TLS towards the server and "-" STARTTLS. Every field
// after "=" may be empty; a row without a server is written with a blank
// alone between the two commas ("=<send address>, ,<name>"). Blanks around
// the listen port are passed over. Lines beginning with a blank, a single
// or a double quote are comments. This is the one reader of that grammar:
// the listen list, the TLS lookup, the upstream connect and the settings
// pages all go through it.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace common {

enum class ClientTlsMark {
    kNone,
    kTls,       // "+": TLS from the first byte
    kStartTls,  // "-": offered after STARTTLS
};

struct ConnectTableLine {
    std::string listenAddress;
    int listenPort = -1;  // -1 when the line names no port
    ClientTlsMark clientTls = ClientTlsMark::kNone;
    std::string certificateFile;  // empty unless a TAB follows the mark
    std::string privateKeyFile;
    bool hasValue = false;     // the line has an "="
    std::string sendAddress;   // field A
    std::string server;        // field B
    std::string serverPort;    // field C as written, marks included
    std::string name;

    // "<address> <port>", or the address alone: the listen list entry.
    std::string ListenEntry() const;
};

// The entry of one line (cut at its first CR or LF); nullopt for a comment,
// an empty line, or a key that is not an address, a blank and a decimal port.
std::optional<ConnectTableLine> ParseConnectTableLine(std::string_view line);

struct ServerPort {
    std::string port;  // the number text before the first mark
    bool tunnel = false;
    bool tls = false;
    bool startTls = false;
};

// Splits field C: "*" makes a tunnel and excludes the other two marks.
ServerPort ParseServerPort(std::string_view fieldC);

struct ConnectTableLookup {
    bool fileFound = false;
    std::optional<ConnectTableLine> entry;  // the first line for the listener
};

using LogSink = std::function<void(const std::string& line)>;

// Looks listenAddress/listenPort up in the connection list at path; the
// first matching line wins. A missing file is printed to the console as
// "[GetConnectTable] file not found (<path>)"; a hit that has a name is
// written to log as "[GetConnectTable] [Hit] <name>\n".
ConnectTableLookup GetConnectTable(const std::string& path, std::string_view listenAddress,
                                   int listenPort, const LogSink& log);

}  // namespace common
