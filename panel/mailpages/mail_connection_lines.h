// The rows of the SMTP and POP3 connection lists and the lines of their
// files ("smtp.ini", "pop3.ini"), through the one split and formatter of
// the connection-list grammar that the engine reads the files with.
#pragma once

#include <QString>
#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace panel {

// The 13 columns of a row; a flag column is "*" or empty.
enum ConnectionColumn : int {
    kName, kListenIp, kListenPort, kClientTls, kClientStartTls, kCertificate, kPrivateKey,
    kSendIp, kHost, kHostPort, kServerTls, kServerStartTls, kTunnel, kColumnCount,
};
using ConnectionRow = std::array<QString, kColumnCount>;

// A flag column counts as set only when it is exactly "*".
inline QString FlagCell(bool on) { return on ? QStringLiteral("*") : QString(); }
inline bool IsFlagSet(const QString& cell) { return cell == QLatin1String("*"); }

// The row of one line (code page 932, any line end cut off); nullopt for a
// comment or an empty line. A line is loaded as far as it goes.
std::optional<ConnectionRow> RowFromLine(std::string_view line);

// The line of a row, code page 932, without its line end.
std::string LineFromRow(const ConnectionRow& row);

// The first column of a row that its line would not give back as it is,
// or that the engine would read otherwise or not at all; nullopt when the
// row is safe to write. Certificate and key paths longer than the engine's
// 260 characters count as not given back.
std::optional<ConnectionColumn> ColumnThatDoesNotReadBack(const ConnectionRow& row);

}  // namespace panel
