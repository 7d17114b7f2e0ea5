// The HTTP cache of the GET road (option -m, minutes): one file a request
// key in the data folder's "httpcache", named by the MD5 digest of the
// key, holding the response as it was relayed; served again while it is
// fresh. URLs listed in "no-cache.db" are neither served nor stored.
#pragma once

#include <cstdio>
#include <ctime>
#include <string>
#include <string_view>

#include "engine/cache/cache_store.h"
#include "engine/core/connection.h"
#include "engine/http/request_target.h"

namespace engine {

class ResponseReader;

inline constexpr const char* kHttpCacheFolder = "httpcache/";

struct CacheKeys {
    // "http,<user>,<host>,<port>,<path>", the host in lower case: names
    // the file by its digest.
    std::string key;
    // The same with an empty user, in lower case and cut at kCacheKeyLimit
    // characters: what "no-cache.db" lines are matched against, as the
    // control panel writes them ("http,,host,port,path").
    std::string listKey;
};

// The keys of a GET for an http:// target (or an origin-form request of
// the SOCKS engine); false for any other request, which the cache never
// sees. user is the rule set of the request (CacheKeyUser), so that a
// response filtered for one rule set is never served to another.
bool HttpCacheKeys(const RequestTarget& target, std::string_view user, CacheKeys& keys);

// "<data folder>httpcache/<md5 of key>.dat".
std::string HttpCacheFile(const std::string& dataFolder, const std::string& key);

// What the head rules make of a stored copy. The head is read line by
// line from the file's start; each rule can only make the copy stale:
// Expires in the past, Pragma no-cache, Cache-Control without "public" or
// with "no-cache", a max-age past since lastWrite. A copy whose status is
// not 200 is stale too. Logs as the GET road (clientSocket).
bool HeadKeepsFresh(FILE* file, std::time_t lastWrite, std::time_t now, int clientSocket);

// True when the response may be stored: a complete 200 answer to a
// request without Range or conditional lines (capturedHead), whose head
// does not make it stale at once, and that is no one user's: no
// Set-Cookie, no Vary but on Accept-Encoding, and for a request with
// Authorization a Cache-Control that says "public" or "s-maxage".
bool ResponseIsStorable(std::string_view capturedHead, const ResponseReader& reader, std::time_t now);

// Serves a fresh copy to the client and returns true; a stale one is
// deleted (false). minutes is option -m.
bool ServeFromCache(ConnectionRecord* record, const std::string& cacheFile, long minutes,
                    const RequestTarget& target, std::string_view capturedHead);

}  // namespace engine
