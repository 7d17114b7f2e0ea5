// The SOCKS client's side of the negotiation: its bytes received into a
// bounded buffer until a form is whole, the parts taken recorded in the
// connection's request file, and the replies sent back.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include "engine/core/connection.h"
#include "engine/socks/socks_wire.h"

namespace engine {

class SocksClient {
public:
    explicit SocksClient(ConnectionRecord* record);
    ~SocksClient();
    SocksClient(const SocksClient&) = delete;
    SocksClient& operator=(const SocksClient&) = delete;

    // Receives (through TLS on a TLS port) until `parse` finds a whole form
    // in what is held. False when it finds none that can be whole, the
    // client ends or fails, the time-out passes or kSocksReadLimit bytes
    // hold no whole form; the last parse result tells which.
    bool ReadUntil(const std::function<SocksParse(std::string_view)>& parse);
    SocksParse lastParse() const { return last_; }
    std::string_view held() const { return held_; }

    // Lets go of the first `length` bytes held; recorded: they go to the
    // request file as well (never a password).
    void Consume(std::size_t length, bool recorded);
    // What the client sent behind the forms taken.
    std::string TakeRest();

    // Sends to the client; dumped: the bytes are logged in hex as well.
    bool Send(std::string_view bytes, bool dumped);

    ConnectionRecord* record() const { return record_; }
    int socket() const { return record_->ClientSocket; }

private:
    ConnectionRecord* const record_;
    std::string held_;
    SocksParse last_ = SocksParse::kIncomplete;
    int requestFile_ = -1;
};

}  // namespace engine
