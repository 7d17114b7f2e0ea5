// The access log: one line per HTTP request in the NCSA combined format,
// to "ncsalog/YYYYMMDD.log" (option -g), unless the listener is masked by
// "ncsalog-mask.db".
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "common/local_time.h"

namespace engine {

// What an access log line tells of the request, read from the start of
// the captured request (the request file's first bytes). Every field is
// cut at CR or LF, so one request can't add lines.
struct AccessLogRequest {
    std::string requestLine;
    std::string user = "-";  // of the Basic "authorization:" header
    std::string referer;
    std::string userAgent;
};

// The fields of the captured request; the defaults for an empty one.
AccessLogRequest ReadAccessLogRequest(std::string_view captured);

// `%s - %s [%02d/%s/%04d:%02d:%02d:%02d %s] "%s" %d %llu "%s" "%s"` and a
// line end, with the zone of t as "+hhmm" or "-hhmm".
std::string FormatAccessLogLine(const std::string& clientAddress, const AccessLogRequest& request,
                                int status, uint64_t bytes, const common::LocalTime& t);

// 1 when a line of the mask list matches "<address>:<port>", else 0 (also
// when there is no list).
int AccessLogMask(const std::string& listenAddress, int listenPort);

// Writes one line for the request when option -g is on.
void WriteAccessLog(std::string_view captured, const std::string& clientAddress, int status, uint64_t bytes);

// Tests stamp the lines with a fixed time; an empty clock restores the
// real one.
void SetAccessLogClock(common::Clock clock);

}  // namespace engine
