#include "engine/socks/socks_lists.h"

#include "engine/access/lists.h"
#include "engine/access/numeric_host.h"
#include "engine/core/engine_settings.h"

namespace engine {

std::string SocksListKey(const std::string& listenAddress, int listenPort, const char* transport,
                         const std::string& host, int port) {
    return listenAddress + ":" + std::to_string(listenPort) + ",socks," + transport + "," + ListedHost(host) + "," +
           std::to_string(port);
}

bool SocksKeyBlackListed(const std::string& listKey) {
    const std::string& folder = Settings().dataFolder;
    // SOCKS keys have no URL form: only the list key is asked.
    if (QueryDBList(folder + kWhiteListName, std::string_view(), listKey)) return false;
    return QueryDBList(folder + kBlackListName, std::string_view(), listKey);
}

}  // namespace engine
