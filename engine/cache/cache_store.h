// The cache files on disk that the HTTP and FTP roads share: a file is
// named by the MD5 digest of its request key; the no-cache list keeps keys
// out; a copy is stored whole or not at all.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>

namespace engine {

// The longest request key that the no-cache list is matched against.
inline constexpr size_t kCacheKeyLimit = 1023;

// The MD5 digest (RFC 1321) of the bytes, as 32 lowercase hex digits.
std::string Md5Hex(std::string_view bytes);

// 1 when a line of the no-cache list file matches key ("*" wildcards,
// ASCII case ignored; lines that are empty or begin with a blank or "'"
// are comments), else 0, also when the file is missing.
int Query_NoCache(const std::string& noCacheFile, int clientSocket, const std::string& key);

// Replaces the cache file by the copy read from `from` (at its start),
// published whole: a reader sees the old copy or the new one, never part
// of one. False when it could not be written. spoolNumber is the
// connection's (it names the temporary file).
bool StoreInCache(const std::string& cacheFile, FILE* from, int clientSocket, int serverSocket, int spoolNumber);

}  // namespace engine
