#include "engine/http/get_dispatch.h"

#include <ctime>
#include <string>

#include "engine/core/daily_log.h"
#include "engine/core/engine_settings.h"
#include "engine/http/http_cache.h"
#include "engine/http/http_road.h"
#include "engine/http/response_reader.h"
#include "engine/http/response_spool.h"

namespace engine {

namespace {

constexpr const char* kFunction = "GetDispatch";

}  // namespace

int GetDispatch(ConnectionRecord* record) {
    const EngineSettings& settings = Settings();
    record->StatusCode = 0;
    record->ResponseBytes = 0;
    RoadRequest request;
    if (!OpenRoadRequest(record, kFunction, true, request)) return 0;

    RoadOptions options;
    options.function = kFunction;
    options.white = request.white;

    // The HTTP cache (-m): a fresh copy answers here; a response that comes
    // whole is stored before it is relayed. The rule set of the word
    // filter is part of the key, so a copy filtered for one user or client
    // never reaches another.
    AssignField(record->CacheKeyUser, record->ProxyUserName.empty() ? record->ClientAddress : record->ProxyUserName,
                kHostNameWidth);
    // The SOCKS engine fetches from the server its client named, which the
    // Host line need not name: a copy kept under the Host line's name would
    // answer for another server. Only when the two agree is it kept.
    const bool cacheable = settings.protocol != kProtocolSocks ||
                           TargetNames(request.target, record->SocksAddress, record->SocksPort);
    CacheKeys keys;
    std::string cacheFile;
    if (settings.cacheMinutes != 0 && cacheable && HttpCacheKeys(request.target, record->CacheKeyUser, keys) &&
        Query_NoCache(settings.noCacheFile, record->ClientSocket, keys.listKey) == 0) {
        cacheFile = HttpCacheFile(settings.dataFolder, keys.key);
        if (ServeFromCache(record, cacheFile, settings.cacheMinutes, request.target, request.head)) {
            record->RequestLine.clear();
            return 0;
        }
        options.beforeRelay = [&](ResponseSpool& spool, const ResponseReader& reader, int server) {
            if (!ResponseIsStorable(request.head, reader, std::time(nullptr))) return;
            common::FilePtr whole = spool.OpenWhole(settings.openRetryTries);
            if (whole) StoreInCache(cacheFile, whole.get(), record->ClientSocket, server, record->SpoolNumber);
        };
    }
    ServeOverRoad(record, request.head, request.target, request.spool, options);
    return 0;
}

}  // namespace engine
