#include "engine/http/held_tail.h"

namespace engine {

bool HeldTail::Push(const char* data, size_t length) {
    if (holdBack_ == 0) return length == 0 || send_(data, length);
    held_.append(data, length);
    // Sent in pieces of at least the tail's size, so the held bytes are
    // moved seldom.
    if (held_.size() < 2 * holdBack_) return true;
    const size_t out = held_.size() - holdBack_;
    const bool sent = send_(held_.data(), out);
    held_.erase(0, out);
    return sent;
}

bool HeldTail::Release() {
    std::string out;
    out.swap(held_);
    return out.empty() || send_(out.data(), out.size());
}

}  // namespace engine
