#include "engine/upstream/upstream_target.h"

#include "common/connect_table.h"
#include "engine/core/daily_log.h"
#include "engine/core/engine_settings.h"

namespace engine {

UpstreamTarget ChooseUpstreamTarget(int protocol, const std::string& connectTableFile,
                                    const std::string& listenAddress, int listenPort, const std::string& host,
                                    int port) {
    common::ConnectTableLookup lookup = common::GetConnectTable(
        connectTableFile, listenAddress, listenPort, [](const std::string& line) { WriteLog(line); });
    common::ConnectTableLine line;
    if (lookup.entry) line = *lookup.entry;

    UpstreamTarget target;
    target.sendAddress = line.sendAddress;
    target.server = line.server;
    common::ServerPort fieldC = common::ParseServerPort(line.serverPort);
    const std::string requestedPort = std::to_string(port);
    if (protocol == kProtocolHttp) {
        if (!line.server.empty() && !line.serverPort.empty()) {
            target.marksRead = true;
            target.port = fieldC.port.empty() ? requestedPort : fieldC.port;
        } else {
            target.port = requestedPort;
        }
    } else {
        target.marksRead = protocol != kProtocolSocks;
        target.port = fieldC.port.empty() ? requestedPort : fieldC.port;
    }
    if (target.marksRead) {
        target.tunnel = fieldC.tunnel;
        target.tls = fieldC.tls;
        target.startTls = fieldC.startTls;
    }
    if (target.server.empty()) target.server = host;
    return target;
}

}  // namespace engine
