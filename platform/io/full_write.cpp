#include "platform/io/full_write.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace platform {
namespace {

// `put` takes the rest and answers as write(2) does.
template <typename Put>
bool PutAll(std::string_view bytes, Put put) {
    while (!bytes.empty()) {
        const ssize_t n = put(bytes);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

}  // namespace

bool WriteAll(int fd, std::string_view bytes) {
    return PutAll(bytes, [fd](std::string_view rest) { return ::write(fd, rest.data(), rest.size()); });
}

bool SendAll(int socket, std::string_view bytes) {
    return PutAll(bytes,
                  [socket](std::string_view rest) { return ::send(socket, rest.data(), rest.size(), MSG_NOSIGNAL); });
}

}  // namespace platform
