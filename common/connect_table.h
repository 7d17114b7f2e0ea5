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

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace common {

// How much of a line each reader takes; the rest of a longer line is passed
// over. The engine's lookups (the connection, the TLS files) read a line as
// at most 1,023 characters, line end included; its listen list read takes
// one more; the settings pages read up to 2,047 so that they keep, and
// write back whole, a line the engine would cut.
inline constexpr size_t kConnectTableLineLimit = 1023;
inline constexpr size_t kListenListLineLimit = 1024;
inline constexpr size_t kConnectTablePageLineLimit = 2047;
// The engine keeps certificate and key paths in buffers of this many
// characters.
inline constexpr size_t kConnectTablePathLimit = 260;

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

// The settings pages' view of a line: every field as written, whatever the
// line lacks left empty, nothing refused. The pages load rows with it and
// write them with FormatConnectTableLine; the split takes each separator
// where ParseConnectTableLine takes it, so a row that RowReadsBack accepts
// reads the same in the engine as on the page.
struct ConnectTableRow {
    std::string listenAddress;
    std::string listenPort;  // the text between the blank and the mark or "="
    ClientTlsMark clientTls = ClientTlsMark::kNone;
    std::string certificateFile;
    std::string privateKeyFile;
    std::string sendAddress;
    std::string server;
    std::string serverPort;  // field C as written, marks included
    std::string name;

    bool operator==(const ConnectTableRow&) const = default;
};

// The row of one line (cut at its first CR or LF); nullopt for an empty line
// or a comment. A line without a blank is all listen address; a line
// without "=" takes the rest as the listen port.
std::optional<ConnectTableRow> SplitConnectTableLine(std::string_view line);

// The line of a row, without line end: "<listen address> <listen port>",
// the client part ("+" or "-", certificate, TAB, key; "-" also for files
// without a mark), "=", "<send address>,<server> <server port>,<name>".
std::string FormatConnectTableLine(const ConnectTableRow& row);

// The fields of a row, in line order, to name the one that does not fit.
enum class ConnectTableField {
    kNone, kListenAddress, kListenPort, kClientPart, kSendAddress, kServer, kServerPort, kName,
};

// The first field that would read back differently once written (by the
// pages' split or by the engine's parser, which also wants a listen port of
// 0 to 65535), or kNone.
ConnectTableField RowReadsBack(const ConnectTableRow& row);

// Whether the row's line, with its CR LF, is read whole by the engine's
// lookups.
bool FitsEngineLine(const ConnectTableRow& row);

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
