// The SOCKS BINDs waiting or relaying: whose, and where. The SOCKS road
// enters each BIND it serves; the FTP road claims one when a client's PORT
// command names it, so the BIND takes the engine's own data connection as
// the awaited peer.
#pragma once

#include <list>
#include <string>

namespace engine {

struct OpenBind {
    std::string clientAddress;
    std::string address;
    int port = 0;
    bool claimed = false;  // an FTP PORT named it: the engine itself will come
};

// One BIND in the list for as long as the entry lives.
class BindEntry {
public:
    BindEntry(const std::string& client, const std::string& address, int port);
    ~BindEntry();
    BindEntry(const BindEntry&) = delete;
    BindEntry& operator=(const BindEntry&) = delete;

    bool claimed() const;

private:
    std::list<OpenBind>::iterator entry_;
};

// Whether address:port is where a BIND of a client on clientAddress waits.
// An FTP client reached through the proxy names that address in its PORT
// command; the engine's own data connection then comes to the BIND, which
// takes it as the awaited peer.
bool ClaimSocksBind(const std::string& clientAddress, const std::string& address, int port);

}  // namespace engine
