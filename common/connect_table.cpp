#include "common/connect_table.h"

#include <cstdio>

#include "common/list_file.h"
#include "common/text.h"

namespace common {

namespace {

constexpr int kMaxPort = 65535;

// Text up to the first of stop (all of it when there is none); the rest
// after that character goes to *rest, which is empty when there was none.
std::string_view SplitAt(std::string_view s, char stop, std::string_view* rest) {
    size_t at = s.find(stop);
    if (at == std::string_view::npos) {
        *rest = {};
        return s;
    }
    *rest = s.substr(at + 1);
    return s.substr(0, at);
}

// "<address> <port>[<mark>[<certificate>TAB<key>]]" before the "=". The
// port is the decimal after the first blank; blanks before it and after it
// are passed over, as the listener has always read its listen entries.
bool ParseKey(std::string_view key, ConnectTableLine* entry) {
    size_t blank = key.find(' ');
    if (blank == std::string_view::npos) {
        // A listen entry without its own port: "<address>[+...]".
        size_t mark = key.find('+');
        entry->listenAddress = std::string(key.substr(0, mark));
        if (mark != std::string_view::npos) entry->clientTls = ClientTlsMark::kTls;
        return !entry->listenAddress.empty();
    }
    entry->listenAddress = std::string(key.substr(0, blank));
    if (entry->listenAddress.empty()) return false;
    std::string_view rest = SkipBlanks(key.substr(blank + 1));
    size_t digits = 0;
    long port = 0;
    while (digits < rest.size() && rest[digits] >= '0' && rest[digits] <= '9') {
        port = port * 10 + (rest[digits] - '0');
        if (port > kMaxPort) return false;
        ++digits;
    }
    if (digits == 0) return false;
    entry->listenPort = static_cast<int>(port);
    rest = SkipBlanks(rest.substr(digits));
    if (rest.empty()) return true;
    if (rest.front() == '+')
        entry->clientTls = ClientTlsMark::kTls;
    else if (rest.front() == '-')
        entry->clientTls = ClientTlsMark::kStartTls;
    else
        return false;
    rest.remove_prefix(1);
    size_t tab = rest.find('\t');
    if (tab != std::string_view::npos) {
        entry->certificateFile = std::string(rest.substr(0, tab));
        entry->privateKeyFile = std::string(rest.substr(tab + 1));
    }
    return true;
}

// "<send address>,<server> <server port>,<name>" after the "=": field A up
// to the first ",", field B from there up to the next blank, field C from
// there up to the next ",", the name the rest. Nothing is trimmed: a row
// without a server is written ", ," and must read as an empty server and
// port, not as a server named ",<name>". Without any blank the server runs
// to the next "," and the name follows, as the settings pages read it.
template <typename Entry>
void ParseValue(std::string_view value, Entry* entry) {
    std::string_view rest;
    entry->sendAddress = std::string(SplitAt(value, ',', &rest));
    std::string_view afterServer;
    std::string_view name;
    if (rest.find(' ') == std::string_view::npos) {
        entry->server = std::string(SplitAt(rest, ',', &name));
    } else {
        entry->server = std::string(SplitAt(rest, ' ', &afterServer));
        entry->serverPort = std::string(SplitAt(afterServer, ',', &name));
    }
    entry->name = std::string(name);
}

// "<port>[+|-<certificate>[TAB<key>]]": the first "+" or "-" is the mark,
// as ParseKey finds it after the digits, so a "+" in the path of a STARTTLS
// line stays in the path.
void SplitListenPart(std::string_view part, ConnectTableRow* row) {
    size_t mark = part.find_first_of("+-");
    if (mark != std::string_view::npos)
        row->clientTls = part[mark] == '+' ? ClientTlsMark::kTls : ClientTlsMark::kStartTls;
    row->listenPort = std::string(part.substr(0, mark));
    if (mark == std::string_view::npos) return;
    std::string_view key;
    std::string_view files = part.substr(mark + 1);
    row->certificateFile = std::string(SplitAt(files, '\t', &key));
    row->privateKeyFile = std::string(key);
}

ConnectTableField FirstDifference(const ConnectTableRow& a, const ConnectTableRow& b) {
    if (a.listenAddress != b.listenAddress) return ConnectTableField::kListenAddress;
    if (a.listenPort != b.listenPort) return ConnectTableField::kListenPort;
    if (a.clientTls != b.clientTls || a.certificateFile != b.certificateFile ||
        a.privateKeyFile != b.privateKeyFile)
        return ConnectTableField::kClientPart;
    if (a.sendAddress != b.sendAddress) return ConnectTableField::kSendAddress;
    if (a.server != b.server) return ConnectTableField::kServer;
    if (a.serverPort != b.serverPort) return ConnectTableField::kServerPort;
    if (a.name != b.name) return ConnectTableField::kName;
    return ConnectTableField::kNone;
}

}  // namespace

std::string ConnectTableLine::ListenEntry() const {
    return listenPort < 0 ? listenAddress : listenAddress + " " + std::to_string(listenPort);
}

std::optional<ConnectTableLine> ParseConnectTableLine(std::string_view line) {
    line = line.substr(0, line.find_first_of("\r\n"));
    if (line.empty() || kListCommentChars.find(line.front()) != std::string_view::npos)
        return std::nullopt;
    ConnectTableLine entry;
    size_t equals = line.find('=');
    if (!ParseKey(line.substr(0, equals), &entry)) return std::nullopt;
    if (equals != std::string_view::npos) {
        entry.hasValue = true;
        ParseValue(line.substr(equals + 1), &entry);
    }
    return entry;
}

std::optional<ConnectTableRow> SplitConnectTableLine(std::string_view line) {
    line = line.substr(0, line.find_first_of("\r\n"));
    if (line.empty() || kListCommentChars.find(line.front()) != std::string_view::npos)
        return std::nullopt;
    ConnectTableRow row;
    std::string_view rest;
    row.listenAddress = std::string(SplitAt(line, ' ', &rest));
    std::string_view value;
    bool hasValue = rest.find('=') != std::string_view::npos;
    SplitListenPart(SplitAt(rest, '=', &value), &row);
    if (hasValue) ParseValue(value, &row);
    return row;
}

std::string FormatConnectTableLine(const ConnectTableRow& row) {
    std::string line = row.listenAddress + " " + row.listenPort;
    bool files = !row.certificateFile.empty() || !row.privateKeyFile.empty();
    if (row.clientTls != ClientTlsMark::kNone || files) {
        line += row.clientTls == ClientTlsMark::kTls ? '+' : '-';
        line += row.certificateFile + "\t" + row.privateKeyFile;
    }
    return line + "=" + row.sendAddress + "," + row.server + " " + row.serverPort + "," + row.name;
}

ConnectTableField RowReadsBack(const ConnectTableRow& row) {
    std::string line = FormatConnectTableLine(row);
    auto split = SplitConnectTableLine(line);
    if (!split) return ConnectTableField::kListenAddress;
    // A row without a mark but with files is written with "-": it reads back
    // as STARTTLS, which is what the engine makes of it too.
    ConnectTableRow expected = row;
    if (expected.clientTls == ClientTlsMark::kNone &&
        (!expected.certificateFile.empty() || !expected.privateKeyFile.empty()))
        expected.clientTls = ClientTlsMark::kStartTls;
    ConnectTableField field = FirstDifference(expected, *split);
    if (field != ConnectTableField::kNone) return field;
    // A host with a blank or a comma may split back the same, yet no
    // server is called so: it is a typing slip, not a host.
    if (row.server.find_first_of(" ,") != std::string::npos) return ConnectTableField::kServer;
    auto parsed = ParseConnectTableLine(line);
    if (!parsed) return split->listenAddress.empty() ? ConnectTableField::kListenAddress
                                                     : ConnectTableField::kListenPort;
    if (parsed->listenAddress != row.listenAddress) return ConnectTableField::kListenAddress;
    if (std::to_string(parsed->listenPort) != row.listenPort) return ConnectTableField::kListenPort;
    return ConnectTableField::kNone;
}

bool FitsEngineLine(const ConnectTableRow& row) {
    return FormatConnectTableLine(row).size() + 2 <= kConnectTableLineLimit;
}

ServerPort ParseServerPort(std::string_view fieldC) {
    ServerPort result;
    size_t mark = fieldC.find_first_of("*+-");
    result.port = std::string(TrimBlanks(fieldC.substr(0, mark)));
    if (mark == std::string_view::npos) return result;
    std::string_view marks = fieldC.substr(mark);
    result.tunnel = marks.find('*') != std::string_view::npos;
    if (!result.tunnel) {
        result.tls = marks.find('+') != std::string_view::npos;
        result.startTls = marks.find('-') != std::string_view::npos;
    }
    return result;
}

ConnectTableLookup GetConnectTable(const std::string& path, std::string_view listenAddress,
                                   int listenPort, const LogSink& log) {
    ConnectTableLookup lookup;
    ListFileRules rules;
    rules.maxLineLength = kConnectTableLineLimit;
    lookup.fileFound = ForEachListLine(path, rules, [&](std::string_view line) {
        auto entry = ParseConnectTableLine(line);
        // The key ends in "=" or in a TLS mark; a bare "<address> <port>"
        // names a listener but nothing to look up.
        if (!entry || entry->listenAddress != listenAddress || entry->listenPort != listenPort ||
            (!entry->hasValue && entry->clientTls == ClientTlsMark::kNone))
            return true;
        lookup.entry = std::move(entry);
        return false;
    });
    if (!lookup.fileFound) {
        std::printf("[GetConnectTable] file not found (%s)\n", path.c_str());
        return lookup;
    }
    if (lookup.entry && !lookup.entry->name.empty() && log)
        log("[GetConnectTable] [Hit] " + lookup.entry->name + "\n");
    return lookup;
}

}  // namespace common
