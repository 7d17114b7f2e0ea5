#include "engine/upstream/upstream_target.h"

#include "common/connect_table.h"
#include "common/text.h"
#include "engine/core/daily_log.h"
#include "engine/core/engine_settings.h"

namespace engine {

namespace {

// "<host>[ <port>]" of -s; an empty port leaves the requested one. False,
// leaving the target alone, when the option names no host.
bool TakeUpstreamOption(const std::string& option, const std::string& requestedPort, UpstreamTarget& target) {
    const std::string_view text = option;
    const size_t blank = text.find(' ');
    const std::string_view server = text.substr(0, blank);
    if (server.empty()) return false;
    const std::string_view port =
        blank == std::string_view::npos ? std::string_view() : common::TrimBlanks(text.substr(blank + 1));
    target.server = std::string(server);
    target.port = port.empty() ? requestedPort : std::string(port);
    return true;
}

}  // namespace

std::string UpstreamTarget::HostForCaller(const std::string& requestedHost) const {
    if (!namedServer) return requestedHost;
    const bool bareIPv6 = server.find(':') != std::string::npos && server.front() != '[';
    return (bareIPv6 ? "[" + server + "]" : server) + ":" + port;
}

UpstreamTarget ChooseUpstreamTarget(int protocol, const std::string& connectTableFile,
                                    const std::string& listenAddress, int listenPort, const std::string& host,
                                    int port, const std::string& upstreamOption) {
    common::ConnectTableLookup lookup = common::GetConnectTable(
        connectTableFile, listenAddress, listenPort, [](const std::string& line) { WriteLog(line); });
    common::ConnectTableLine line;
    if (lookup.entry) line = *lookup.entry;

    UpstreamTarget target;
    target.sendAddress = line.sendAddress;
    target.server = line.server;
    target.namedServer = !line.server.empty();
    common::ServerPort fieldC = common::ParseServerPort(line.serverPort);
    const std::string requestedPort = std::to_string(port);
    if (protocol == kProtocolHttp) {
        if (!line.server.empty() && !line.serverPort.empty()) {
            target.marksRead = true;
            target.port = fieldC.port.empty() ? requestedPort : fieldC.port;
        } else if (line.server.empty() && TakeUpstreamOption(upstreamOption, requestedPort, target)) {
            target.namedServer = true;
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
