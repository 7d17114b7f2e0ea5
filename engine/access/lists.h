// The black and white lists of the proxy engine: "white.db" (no scan, no
// content filter) and "black.db" (refused). Callers build the keys and
// decide what a hit means; they ask the white list first.
//
// URL keys: "http://host/" (port 80), "https://host/," (port 443),
// "http://host:port/" otherwise, or an absolute URL; "https://target" for
// CONNECT. List keys: "<listen address>:<listen port>,<get|connect|method|
// socks>,<tcp|udp>,<host>,<port>" ("<listen address>,socks,..." for SOCKS
// BIND and UDP).
#pragma once

#include <string>
#include <string_view>

namespace engine {

inline constexpr const char* kWhiteListName = "white.db";
inline constexpr const char* kBlackListName = "black.db";
// Every "black.db" holds this entry besides its lines; it is tested
// against the URL key only.
inline constexpr const char* kBuiltInBlackEntry = "https://*:*/";

// An entry with a comma and no colon before its first comma gets ":*"
// before that comma, so that a list-key entry written without a listening
// port matches any port; other entries are returned as written.
std::string WidenListEntry(std::string_view entry);

// True when a line of the list file at listPath (or, for a path naming
// "black.db", the built-in entry) matches urlKey, or matches listKey when
// one is given (not empty). A missing or empty file matches nothing. The
// file is read at every call, so an edit counts from the next request.
bool QueryDBList(const std::string& listPath, std::string_view urlKey, std::string_view listKey = {});

}  // namespace engine
