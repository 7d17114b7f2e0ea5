// The last bytes of a streamed response, held back from the client until
// the scan of the whole body has its verdict: a client that never gets
// them can't take a file with a virus for a complete one, while the rest
// goes on as it arrives and memory stays bounded whatever the size.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

namespace engine {

// The bytes held back at least (all of a shorter response).
inline constexpr size_t kHeldTailSize = 65536;

class HeldTail {
public:
    using Send = std::function<bool(const char* data, size_t length)>;
    // holdBack: how many of the last bytes to hold (0: none, each piece
    // goes on at once).
    HeldTail(size_t holdBack, Send send) : holdBack_(holdBack), send_(std::move(send)) {}

    // Takes the next bytes for the client and sends those the held tail
    // no longer needs. False when a send failed.
    bool Push(const char* data, size_t length);
    // Sends what is held. False when the send failed.
    bool Release();
    size_t held() const { return held_.size(); }

private:
    size_t holdBack_;
    Send send_;
    std::string held_;
};

}  // namespace engine
