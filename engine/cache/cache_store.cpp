#include "engine/cache/cache_store.h"

#include <openssl/evp.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "common/file_retry.h"
#include "common/list_file.h"
#include "common/wildcard.h"
#include "engine/client_io/client_send.h"
#include "engine/core/daily_log.h"

namespace engine {

std::string Md5Hex(std::string_view bytes) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_md5(), nullptr) != 1) return "";
    static const char kHex[] = "0123456789abcdef";
    std::string hex;
    for (unsigned int i = 0; i < length; ++i) {
        hex.push_back(kHex[digest[i] >> 4]);
        hex.push_back(kHex[digest[i] & 15]);
    }
    return hex;
}

int Query_NoCache(const std::string& noCacheFile, int clientSocket, const std::string& key) {
    WriteLogF("[Query_NoCache] [%04d] '%s' start.\n", clientSocket, key.c_str());
    common::ListFileRules rules;
    rules.maxLineLength = 1023;
    // Its own comment marks: a double quote begins an entry here.
    rules.commentChars = " '";
    int hit = 0;
    common::ForEachListLine(noCacheFile, rules, [&](std::string_view line) {
        if (!common::WildcardMatch(line, key)) return true;
        hit = 1;
        return false;
    });
    if (hit) WriteLogF("[Query_NoCache] [%04d] '%s' hit.\n", clientSocket, key.c_str());
    return hit;
}

bool StoreInCache(const std::string& cacheFile, FILE* from, int clientSocket, int serverSocket, int spoolNumber) {
    WriteLogF("[GetDispatch] [%04d] [%04d] HTTP cash making. %s\n", clientSocket, serverSocket, cacheFile.c_str());
    // Several engines (HTTP, SOCKS) share the folder: the temporary name
    // carries the process and the connection's spool number.
    const std::string temporary =
        cacheFile + "." + std::to_string(::getpid()) + "-" + std::to_string(spoolNumber) + ".tmp";
    common::FilePtr to(std::fopen(temporary.c_str(), "wb"));
    bool ok = to != nullptr;
    std::vector<char> buffer(kRelayReadSize);
    size_t n;
    while (ok && (n = std::fread(buffer.data(), 1, buffer.size(), from)) > 0)
        ok = std::fwrite(buffer.data(), 1, n, to.get()) == n;
    ok = ok && !std::ferror(from);
    if (to) ok = std::fclose(to.release()) == 0 && ok;
    if (ok && std::rename(temporary.c_str(), cacheFile.c_str()) == 0) return true;
    WriteLogF("[GetDispatch] [%04d] [%04d] HTTP cash not written. (%s) %s\n", clientSocket, serverSocket,
              cacheFile.c_str(), std::strerror(errno));
    std::remove(temporary.c_str());
    return false;
}

}  // namespace engine
