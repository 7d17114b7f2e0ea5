#include "panel/mailpages/mail_connection_lines.h"

#include "common/connect_table.h"
#include "panel/framework/cp932_text.h"

#include <QRegularExpression>

namespace panel {
namespace {

common::ConnectTableRow TableRow(const ConnectionRow& row) {
    common::ConnectTableRow line;
    line.listenAddress = ToCp932(row[kListenIp]);
    line.listenPort = ToCp932(row[kListenPort]);
    if (IsFlagSet(row[kClientTls]))
        line.clientTls = common::ClientTlsMark::kTls;
    else if (IsFlagSet(row[kClientStartTls]))
        line.clientTls = common::ClientTlsMark::kStartTls;
    line.certificateFile = ToCp932(row[kCertificate]);
    line.privateKeyFile = ToCp932(row[kPrivateKey]);
    line.sendAddress = ToCp932(row[kSendIp]);
    line.server = ToCp932(row[kHost]);
    // The destination marks always in the order "+", "-", "*".
    line.serverPort = ToCp932(row[kHostPort]);
    if (IsFlagSet(row[kServerTls])) line.serverPort += '+';
    if (IsFlagSet(row[kServerStartTls])) line.serverPort += '-';
    if (IsFlagSet(row[kTunnel])) line.serverPort += '*';
    line.name = ToCp932(row[kName]);
    return line;
}

}  // namespace

std::optional<ConnectionRow> RowFromLine(std::string_view line) {
    std::optional<common::ConnectTableRow> split = common::SplitConnectTableLine(line);
    if (!split) return std::nullopt;
    ConnectionRow row;
    row[kName] = FromCp932(split->name);
    row[kListenIp] = FromCp932(split->listenAddress);
    row[kListenPort] = FromCp932(split->listenPort);
    row[kClientTls] = FlagCell(split->clientTls == common::ClientTlsMark::kTls);
    row[kClientStartTls] = FlagCell(split->clientTls == common::ClientTlsMark::kStartTls);
    row[kCertificate] = FromCp932(split->certificateFile);
    row[kPrivateKey] = FromCp932(split->privateKeyFile);
    row[kSendIp] = FromCp932(split->sendAddress);
    row[kHost] = FromCp932(split->server);
    // The destination flags as the engine reads them.
    common::ServerPort port = common::ParseServerPort(split->serverPort);
    row[kHostPort] = FromCp932(port.port);
    row[kServerTls] = FlagCell(port.tls);
    row[kServerStartTls] = FlagCell(port.startTls);
    row[kTunnel] = FlagCell(port.tunnel);
    return row;
}

std::string LineFromRow(const ConnectionRow& row) { return common::FormatConnectTableLine(TableRow(row)); }

std::optional<ConnectionColumn> ColumnThatDoesNotReadBack(const ConnectionRow& row) {
    // Text the file's code page cannot hold would come back as other text.
    for (int column = 0; column < kColumnCount; ++column)
        if (!FitsCp932(row[column])) return static_cast<ConnectionColumn>(column);
    for (ConnectionColumn path : {kCertificate, kPrivateKey})
        if (ToCp932(row[path]).size() > common::kConnectTablePathLimit) return path;
    // Only the name may run past what the engine reads of the line.
    ConnectionRow unnamed = row;
    unnamed[kName].clear();
    if (!common::FitsEngineLine(TableRow(unnamed))) {
        ConnectionColumn longest = kListenIp;
        for (ConnectionColumn column : {kSendIp, kHost, kCertificate, kPrivateKey})
            if (row[column].size() > row[longest].size()) longest = column;
        return longest;
    }
    switch (common::RowReadsBack(TableRow(row))) {
    case common::ConnectTableField::kNone: return std::nullopt;
    case common::ConnectTableField::kListenAddress: return kListenIp;
    case common::ConnectTableField::kListenPort: return kListenPort;
    case common::ConnectTableField::kClientPart:
        return row[kCertificate].contains(QRegularExpression(QStringLiteral("[=\t\r\n]"))) ? kCertificate
                                                                                          : kPrivateKey;
    case common::ConnectTableField::kSendAddress: return kSendIp;
    case common::ConnectTableField::kServer: return kHost;
    case common::ConnectTableField::kServerPort: return kHostPort;
    case common::ConnectTableField::kName: return kName;
    }
    return kName;
}

}  // namespace panel
