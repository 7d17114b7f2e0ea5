// What the pipe layer and the named mutex share: the pipe folder, name
// checks, lock files, message framing and the Win32 meaning of a system
// error. Not for callers outside platform/pipe.
#pragma once

#include <poll.h>
#include <sys/un.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace platform::pipe_internal {

// The one-byte header of every pipe message.
constexpr char kMessageHeader = 'M';

// A name that can be a file in the pipe folder (not empty, no "/", not "." or "..").
bool IsUsableName(std::string_view name);
// False when the path does not fit a socket address.
bool SocketAddress(const std::string& path, sockaddr_un* addr);
// Takes an exclusive flock on `path` (folder and file created when
// missing), held for as long as *fd stays open: 0, kErrorAlreadyExists
// when someone else holds it, or another Win32 error.
int LockFile(const std::string& path, int* fd);

// One framed message each way: 0 or a Win32 error. ReceiveMessage keeps at
// most `capacity` bytes of text and returns kErrorMoreData when the message
// was longer, kErrorBrokenPipe when the other side closed instead.
int SendMessage(int fd, std::string_view text);
int ReceiveMessage(int fd, size_t capacity, std::string& text);

// Waits until one of the descriptors is readable (or closed) or timeoutMs
// (kPipeWaitForever: no limit) runs out; the index of the first ready one,
// or -1.
int WaitReadable(pollfd* fds, int count, uint32_t timeoutMs);

int Win32ErrorFromErrno(int err);

}  // namespace platform::pipe_internal
