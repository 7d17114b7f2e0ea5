// DNS blocklist checks: of a client address against the zones of
// "<p>-conbl.db" (exempt: the clients of "<p>-conwl.db"), and of a
// destination host against the zones of "<p>-dnsbl.db" (exempt: the hosts
// of "<p>-dnswl.db"). Files are read afresh at each call; a missing file
// lists nobody and exempts nobody. Questions go through platform/dns, one
// after the other in file order, on the calling thread.
#pragma once

#include <string>
#include <string_view>

namespace engine {

// 1 when the client is listed in a zone (the caller refuses it), else 0.
// A client on the exemption list is never looked up and is not listed.
// Each zone that does not list the client logs
// "[Query_DNSBL] '<query name>' not found list".
int Query_DNSBL(const std::string& whiteListFile, const std::string& zoneFile, std::string_view clientAddress);

// 1 when the destination host is listed in a zone (the caller does not
// connect), else 0; a hit logs "[Query_SURBLists] <zone line> -- <host> Hit.".
// httpProxy: the host text is the host itself; otherwise (SOCKS) it is
// searched for a URL, a "www" name or a mail address first.
int Query_SURBLists(const std::string& whiteListFile, const std::string& zoneFile, std::string_view host,
                    bool httpProxy);

// 1 when the exemption list names the host (whole name, ASCII case ignored).
int QuerySURBLWhiteList(const std::string& whiteListFile, std::string_view host);

// 1 when one zone line lists the host. A zone line is
// "zone[<TAB>server][,count|,N]": the registered part of the host (its last
// two labels) and then up to `count` (default 2) longer parts are asked,
// never the whole host, except with count 0 or "N", which ask the whole
// host once; an IPv4 address is asked reversed and then as written. With a
// server each name is asked of it directly first (a server may carry
// ":port"), then of the usual servers.
int QuerySURBLZone(std::string_view zoneLine, std::string_view host, bool httpProxy);

}  // namespace engine
