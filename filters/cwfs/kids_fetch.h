// The kids-search portal's answer page, fetched over HTTP/1.1 directly or
// through the query proxy (-s). The server is single-threaded and the
// engine waits on it, so a fetch is bounded by a deadline, not by the
// sockets' own time-outs.
#pragma once

#include <chrono>
#include <optional>
#include <string>

namespace cwfs {

using Deadline = std::chrono::steady_clock::time_point;

// How long one portal may take, from the connect to the end of its answer.
inline constexpr std::chrono::seconds kPortalFetchBound{5};
// The most of an answer that is kept and judged.
inline constexpr size_t kPortalAnswerLimit = 1024 * 1024;

// Connects to host:port, or to the query proxy when one is set (its value
// split at its last ":", "[IPv6]" allowed), trying every address the name
// resolves to. 1 = connected (socket set), 0 = the name cannot be resolved
// or no socket, -1 = every connection failed.
int ConnectHost(int& socket, const std::string& host, int port, Deadline deadline);

// Sends the GET request for path on host (absolute through a query proxy).
// The number of bytes sent, -1 on failure.
int HttpRequestHeader(int socket, const std::string& host, const std::string& path);

// The whole answer (head and body) of host (as the Host line names it,
// reached at connectHost:port) once the portal has ended it (closed, or sent
// its Content-Length or last chunk); nothing when the fetch failed or ran
// out of time.
std::optional<std::string> FetchPortalAnswer(const std::string& host, const std::string& connectHost, int port,
                                             const std::string& path, Deadline deadline);

}  // namespace cwfs
