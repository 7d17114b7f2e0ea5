#include "platform/pipe/named_mutex.h"

#include <unistd.h>

#include <string>

#include "platform/pipe/pipe.h"
#include "platform/pipe/pipe_internal.h"
#include "platform/win32_errors.h"

namespace platform {

NamedMutex::NamedMutex(std::string_view name) {
    if (!pipe_internal::IsUsableName(name)) {
        error_ = kErrorInvalidParameter;
        return;
    }
    error_ = pipe_internal::LockFile(PipeDirectory() + "/" + std::string(name) + ".lock", &fd_);
}

NamedMutex::~NamedMutex() { Release(); }

void NamedMutex::Release() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

}  // namespace platform
