#include "engine/core/pipe_clients.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string_view>
#include <thread>

#include "common/ascii_case.h"
#include "common/file_retry.h"
#include "engine/core/daily_log.h"
#include "platform/pipe/pipe.h"
#include "platform/win32_errors.h"

namespace engine {

namespace {

constexpr auto kBusyRetryInterval = std::chrono::milliseconds(10);
// How long one try waits for a pipe that is busy: a server is busy for a
// moment between two clients too, which is no busy scanner worth a line.
constexpr uint32_t kBusyTryWaitMs = 10;

void LogCallFailure(const char* client, int clientSocket, const std::string& text, int error) {
    WriteLogF("[%s] [%04d] CallNamedPipe(%s) fail. code = %d\n", client, clientSocket, text.c_str(), error);
}

// A file left unwritten is made now when a server may read it; false
// (logged as the failed call) when the call must fail without it.
bool ReadyLateFile(const LateFile& late, const char* client, int clientSocket, std::string_view pipe,
                   const std::string& text) {
    if (!late || (PipeMayBeServed(pipe) && late())) return true;
    LogCallFailure(client, clientSocket, text, platform::kErrorFileNotFound);
    return false;
}

// One transaction, tried again every 10 ms while the pipe reports busy, up
// to the call's bound; the answer is waited for up to the same bound. A
// busy pipe is logged once per call (not at every try), and a bound that
// runs out is a failed call like any other. text is what the zeroed
// request buffer holds; reply gets the answer up to its first NUL, at most
// replySize bytes. Returns 0 when the server answered (an answer longer
// than the buffer counts, cut to it), else the Win32 error.
// busyTimeoutMs, when given, bounds the tries of a busy pipe alone.
int CallPipe(const char* client, int clientSocket, std::string_view pipe, const std::string& text,
             size_t requestSize, size_t replySize, uint32_t timeoutMs, std::string& reply,
             std::optional<uint32_t> busyTimeoutMs = std::nullopt) {
    std::string request(requestSize, '\0');
    request.replace(0, text.size(), text);
    const auto busyDeadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(busyTimeoutMs.value_or(timeoutMs));
    bool busyLogged = false;
    for (;;) {
        int error = platform::CallNamedPipe(pipe, request, replySize, reply, kBusyTryWaitMs, timeoutMs);
        if (error == platform::kErrorSuccess || error == platform::kErrorMoreData) {
            reply.resize(std::min(reply.find('\0'), reply.size()));
            return platform::kErrorSuccess;
        }
        reply.clear();
        const bool busy = error == platform::kErrorPipeBusy;
        if (!busy || !busyLogged) LogCallFailure(client, clientSocket, text, error);
        if (!busy || std::chrono::steady_clock::now() >= busyDeadline) return error;
        busyLogged = true;
        std::this_thread::sleep_for(kBusyRetryInterval);
    }
}

// Moves a file without replacing an existing target, copying when the
// two paths lie on different file systems. 0 or the errno value.
int MoveFileNoReplace(const std::string& from, const std::string& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
    if (errno != EXDEV) return errno;
    std::error_code ec;
    if (!std::filesystem::copy_file(from, to, std::filesystem::copy_options::none, ec))
        return ec.value() ? ec.value() : EEXIST;
    int fd = ::open(to.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
    std::filesystem::remove(from, ec);
    return 0;
}

// Whether the scan server answers. Once a call has run out its bound, the
// calls behind it would each wait as long again, one after another: they
// fail at once instead (the file passes, as on any failed call), and only
// one call every few seconds tries the server, without waiting while it
// is busy, until it answers again.
class ScanServerWatch {
public:
    enum class Turn { Call, Probe, Skip };

    // A call now would be skipped (the state may change before it is made).
    bool Skips() {
        std::lock_guard<std::mutex> lock(mutex_);
        return SkipsLocked();
    }

    // The turn of the call about to be made.
    Turn Next() {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!silent_) return Turn::Call;
        if (SkipsLocked()) return Turn::Skip;
        probing_ = true;
        return Turn::Probe;
    }

    void Forget() {
        std::lock_guard<std::mutex> lock(mutex_);
        silent_ = probing_ = false;
    }

    // After a call or probe with its result.
    void Done(Turn turn, int error) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (turn == Turn::Probe) probing_ = false;
        const bool noAnswer = error == platform::kErrorSemTimeout || error == platform::kErrorPipeBusy;
        if (noAnswer) {
            silent_ = true;
            nextProbe_ = std::chrono::steady_clock::now() + kProbeInterval;
        } else if (error == platform::kErrorSuccess) {
            silent_ = false;
        }
    }

private:
    bool SkipsLocked() const {
        return silent_ && (probing_ || std::chrono::steady_clock::now() < nextProbe_);
    }

    static constexpr auto kProbeInterval = std::chrono::seconds(5);
    std::mutex mutex_;
    bool silent_ = false;
    bool probing_ = false;
    std::chrono::steady_clock::time_point nextProbe_;
};

ScanServerWatch& ScanWatch() {
    static ScanServerWatch watch;
    return watch;
}

void LogScanSkipped(int clientSocket, const std::string& text) {
    WriteLogF("[ScanFile] [%04d] CallNamedPipe(%s) fail. the scan server does not answer.\n", clientSocket,
              text.c_str());
}

bool MoveForArchiving(int clientSocket, const std::string& from, const std::string& to) {
    int error = MoveFileNoReplace(from, to);
    if (error == 0) return true;
    WriteLogF("[CompressedbyPipe] [%04d] MoveFile(%s, %s) fail. code = %d\n", clientSocket, from.c_str(), to.c_str(),
              error);
    return false;
}

// The spam check and the word filter: a request text built by the caller,
// the answer passed on unchanged.
struct TextPipe {
    const char* client;
    const char* pipe;
    std::mutex& lock;
    size_t textLimit;
    size_t requestSize;
    size_t replySize;
};

int AskTextPipe(const TextPipe& pipe, const EngineSettings& settings, int clientSocket, const std::string& request,
                std::string& reply, const LateFile& late) {
    reply.clear();
    if (!ReadyLateFile(late, pipe.client, clientSocket, pipe.pipe, request.substr(0, pipe.textLimit))) return 0;
    // A text with fields beside the path names no file and is always sent.
    if (FileSizeCheck(clientSocket, request, settings.scanSizeLimit)) return 1;

    std::lock_guard<std::mutex> lock(pipe.lock);
    const std::string text = request.substr(0, pipe.textLimit);
    if (CallPipe(pipe.client, clientSocket, pipe.pipe, text, pipe.requestSize, pipe.replySize,
                 settings.pipeCallTimeoutMs, reply) != 0)
        return 0;
    WriteLogF("[%s] [%04d] %s --- %s\n", pipe.client, clientSocket, text.c_str(), reply.c_str());
    return 1;
}

}  // namespace

bool PipeMayBeServed(std::string_view pipe) {
    const std::string path = platform::PipeSocketPath(pipe);
    struct stat info;
    // A path too long for a socket address fails the call with another
    // error; such a call is made as before.
    if (path.size() >= sizeof(sockaddr_un::sun_path)) return true;
    return ::stat(path.c_str(), &info) == 0 || errno != ENOENT;
}

bool FileSizeCheck(int clientSocket, const std::string& path, uint64_t sizeLimit) {
    if (sizeLimit == 0) return false;
    struct stat info;
    if (::stat(path.c_str(), &info) != 0) return false;
    const uint64_t size = static_cast<uint64_t>(info.st_size);
    if (size <= sizeLimit) return false;
    WriteLogF("[FileSizeCheck] [%04d] CallNamedPipe(%s) size is too big. (%" PRIu64 ")\n", clientSocket, path.c_str(),
              size);
    return true;
}

std::string ScanSourceDigit(int protocol) {
    switch (protocol) {
    case kProtocolHttp: return "1";
    case kProtocolSmtp: return "3";
    case kProtocolPop3: return "4";
    case kProtocolImap4: return "5";
    case kProtocolFtp: return "2";
    default: return "";
    }
}

void ForgetSilentScanServer() { ScanWatch().Forget(); }

int ScanFile(const EngineSettings& settings, int protocol, int clientSocket, const std::string& path,
             std::string& reply, const LateFile& late) {
    reply.clear();
    const std::string text = common::BuildScanRequest(path, ScanSourceDigit(protocol));
    if (!ReadyLateFile(late, "ScanFile", clientSocket, common::kScanPipeName, text)) return 0;
    if (FileSizeCheck(clientSocket, path, settings.scanSizeLimit)) return 1;

    // Checked before the lock, so no call waits behind a probe, and again
    // after it, for the calls that waited behind one that ran out its bound.
    if (ScanWatch().Skips()) {
        LogScanSkipped(clientSocket, text);
        return 0;
    }
    std::lock_guard<std::mutex> lock(Shared().scanPipeLock);
    const ScanServerWatch::Turn turn = ScanWatch().Next();
    if (turn == ScanServerWatch::Turn::Skip) {
        LogScanSkipped(clientSocket, text);
        return 0;
    }
    std::string answer;
    // A probe takes a busy pipe as still held by a call that hangs.
    const int error =
        CallPipe("ScanFile", clientSocket, common::kScanPipeName, text, kScanRequestSize, kScanReplySize,
                 settings.pipeCallTimeoutMs, answer,
                 turn == ScanServerWatch::Turn::Probe ? std::optional<uint32_t>(0) : std::nullopt);
    ScanWatch().Done(turn, error);
    if (error != 0) return 0;
    WriteLogF("[ScanFile] [%04d] %s --- %s\n", clientSocket, path.c_str(), answer.empty() ? "CLEAN" : answer.c_str());
    if (common::EqualsIgnoringAsciiCase(answer, common::kScanReplyPasswordProtected) ||
        common::EqualsIgnoringAsciiCase(answer, common::kScanReplyAccessDenied))
        answer.clear();
    reply = answer;
    return 1;
}

int ScanSpamFile(const EngineSettings& settings, int clientSocket, const std::string& request,
                 std::string& reply) {
    const TextPipe spam{"ScanSpamFile", common::kSpamPipeName, Shared().spamPipeLock,
                        kSpamTextLimit, kSpamRequestSize, kSpamReplySize};
    return AskTextPipe(spam, settings, clientSocket, request, reply, nullptr);
}

int ScanHttpFile(const EngineSettings& settings, int clientSocket, const std::string& request,
                 std::string& reply, const LateFile& late) {
    const TextPipe wordFilter{"ScanHttpFile", common::kWordFilterPipeName, Shared().wordFilterPipeLock,
                              kWordFilterTextLimit, kWordFilterRequestSize, common::kWordFilterReplySize};
    return AskTextPipe(wordFilter, settings, clientSocket, request, reply, late);
}

int CompressedbyPipe(const EngineSettings& settings, int clientSocket, const std::string& mailPath,
                     const std::string& mailId, std::string& reply) {
    std::lock_guard<std::mutex> lock(Shared().archivePipeLock);
    reply.clear();
    const std::string cacheFolder = settings.dataFolder + "cache/";
    const std::string envelopePath = cacheFolder + mailId + ".$CP";
    const std::string workPath = cacheFolder + mailId + ".dat";

    // The server must never be handed a path that doesn't hold this mail.
    if (!MoveForArchiving(clientSocket, mailPath, workPath)) {
        common::DeleteWithRetry(envelopePath);
        return 0;
    }
    const std::string text = common::BuildArchiveRequest(workPath);
    std::string answer;
    int error = CallPipe("CompressedbyPipe", clientSocket, common::kArchivePipeName, text, kArchiveRequestSize,
                         kArchiveReplySize, settings.pipeCallTimeoutMs, answer);
    if (error == 0 && !answer.empty()) {
        reply = answer;
    } else {
        common::DeleteWithRetry(envelopePath);
    }
    if (error == 0)
        WriteLogF("[CompressedbyPipe] [%04d] %s --- %s.\n", clientSocket, text.c_str(),
                  answer.empty() ? "Uncompressed" : "Compressed");
    MoveForArchiving(clientSocket, workPath, mailPath);
    return error == 0 ? 1 : 0;
}

}  // namespace engine
