#include "engine/tls/tls.h"

#include "common/connect_table.h"
#include "common/list_file.h"
#include "engine/core/daily_log.h"

#include <optional>
#include <string>

namespace engine {

int Query_SecureSocketLayer(const std::string& connectTableFile, const std::string& listenAddress, int listenPort,
                            std::string& certificateFile, std::string& privateKeyFile) {
    certificateFile.clear();
    privateKeyFile.clear();

    // The first line of this listener that carries a TLS mark; lines of it
    // without one (plain relays) are passed over.
    std::optional<common::ConnectTableLine> hit;
    common::ListFileRules rules;
    rules.maxLineLength = common::kConnectTableLineLimit;
    bool found = common::ForEachListLine(connectTableFile, rules, [&](std::string_view line) {
        auto entry = common::ParseConnectTableLine(line);
        if (!entry || entry->clientTls == common::ClientTlsMark::kNone || entry->listenAddress != listenAddress ||
            entry->listenPort != listenPort)
            return true;
        hit = std::move(entry);
        return false;
    });
    if (!found || !hit) {
        WriteLogF("[Query_SecureSocketLayer] %s %d - not found.\n", listenAddress.c_str(), listenPort);
        return 0;
    }
    certificateFile = hit->certificateFile.substr(0, common::kConnectTablePathLimit);
    privateKeyFile = hit->privateKeyFile.substr(0, common::kConnectTablePathLimit);
    if (hit->clientTls == common::ClientTlsMark::kTls) {
        WriteLogF("[Query_SecureSocketLayer] %s %d - found.\n", listenAddress.c_str(), listenPort);
        return 1;
    }
    WriteLogF("[Query_SecureSocketLayer] %s %d - found. (STARTTLS on)\n", listenAddress.c_str(), listenPort);
    return 0;
}

}  // namespace engine
