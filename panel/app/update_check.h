// The update check: a background fetch of the published version file from
// the maker's web server (directly or through the configured proxy), and a
// tray balloon when it names a newer version than the panel's own.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

namespace panel {

// The maker's web server; VELQOR_UPDATE_HOST=host[:port] replaces it.
inline constexpr char kUpdateHost[] = "www.tavrisk.example";
inline constexpr char kUpdatePath[] = "velqor-v2-full-av-latest.txt";
inline constexpr char kUpdateLocalName[] = "latest.txt";

// Starts one check on its own thread: 5 s later it fetches, compares and
// may show the balloon. A check started while another runs waits for it.
void StartUpdateCheck();
// Ends the checks still running (their waits and network reads stop within
// a fraction of a second) and joins them; the panel calls it before its
// windows and application go.
void StopUpdateChecks();

// The check itself without the first wait: steps after the sleep. Used by
// the thread and by tests.
void RunUpdateCheck();

// Bounds of a fetched answer: a head or a body larger than these is no
// version file, and the fetch fails.
inline constexpr size_t kUpdateHeadLimit = 64 * 1024;
inline constexpr size_t kUpdateBodyLimit = 64 * 1024;
inline constexpr std::chrono::milliseconds kUpdateFetchLimit = std::chrono::seconds(60);

// One HTTP/1.0 GET of `path` from `host` ("name[:port]"), through `proxy`
// ("name:port") when that is not empty. The head goes to "<localName>.had";
// the body replaces `localName` only after a complete 200 response, so a
// failed fetch or an error page keeps the last good file. 1 when the
// request was sent and the response read to its end, else 0. Each wait
// ends after `timeoutSeconds`, the whole fetch after `totalLimit`.
int HttpFetchToFile(const std::string& host, const std::string& path, const std::string& localName,
                    const std::string& proxy = {}, int timeoutSeconds = 300,
                    std::chrono::milliseconds totalLimit = kUpdateFetchLimit);

// The request text, both forms as the server and proxies expect them.
std::string BuildHttpRequest(const std::string& host, const std::string& path, bool throughProxy);

// What line 1 of the version file says: most and least significant words,
// MS 0 when the line says nothing usable.
struct PublishedVersion {
    uint32_t mostSignificant = 0;
    uint32_t leastSignificant = 0;
};
PublishedVersion ReadVersionLine(const std::string& line);

}  // namespace panel
