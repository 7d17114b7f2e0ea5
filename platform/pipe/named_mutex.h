// The second-copy guard of the servers and the control panel: a named
// mutex that the first copy creates and holds, and a later copy finds
// "already exists". Held as a flock on $VELQOR_PIPE_DIR/NAME.lock, so the
// system drops it when the holder ends, however it ends.
#pragma once

#include <string_view>

namespace platform {

class NamedMutex {
public:
    // Tries to take the mutex `name` for this object.
    explicit NamedMutex(std::string_view name);
    ~NamedMutex();
    NamedMutex(const NamedMutex&) = delete;
    NamedMutex& operator=(const NamedMutex&) = delete;

    // 0 when this object holds the mutex; kErrorAlreadyExists when another
    // holder (in this or another process) has it; another Win32 error when
    // it could not be made.
    int error() const { return error_; }
    bool owned() const { return fd_ >= 0; }
    void Release();

private:
    int fd_ = -1;
    int error_ = 0;
};

}  // namespace platform
