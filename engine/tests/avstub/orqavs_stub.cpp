// orqavs-stub: a stand-in for the anti-virus scan server, for tests only.
//
// Serves "\\.\pipe\orqavs" (in $VELQOR_PIPE_DIR) one request at a time.
// A request is the plain form (a NUL-terminated path in 512 bytes) or the
// engine's form (path, TAB, one source digit, in 521 bytes; the SOCKS relay
// sends the TAB alone). The stub reads the named file before it answers:
//   - the file holds the EICAR test string: the reply "EICAR-Test-File";
//   - the file holds the marker "VELQOR-PASSWORD-PROTECTED-TEST": the reply
//     "Password-protected-EXE";
//   - the file cannot be read: the reply "AVS_ACCESSDENIED";
//   - otherwise the empty reply (clean).
//
// Options:
//   --log=FILE        append one line per request to FILE, before answering:
//                     "<request bytes>\t<source>\t<path>\n", where <source>
//                     is the digit, "TAB" for a TAB without a digit, "-" for
//                     the plain form
//   --access-denied   answer "AVS_ACCESSDENIED" to every request
//   --long-finding    report a finding under a 600-byte name (longer than
//                     any caller's reply buffer) beginning "EICAR-Test-File"
//   --delay=MS        wait MS milliseconds before each answer
//   --reply=TEXT      answer TEXT to every request, whatever the file
//   --hang            take a request and never answer it (a hung scanner):
//                     the stub holds that client until it is stopped, so
//                     every later caller finds the pipe busy
//   --only-below=DIR  look only at files below the folder DIR (a path
//                     beginning "DIR/"): every other request is answered
//                     clean without reading the file. Lets a test flag its
//                     own files while a watcher asks about every program of
//                     the machine (this stub and the test programs hold the
//                     EICAR string themselves). A process's link to its
//                     program (/proc/<pid>/exe) is judged by where it leads
//   --report          a zip archive with members holding the EICAR string
//                     (stored, not compressed) is answered "?<file>": a
//                     report file of "EICAR-Test-File TAB <member>" lines,
//                     one per such member, as a scanner reports the
//                     findings inside an archive
//   -e=VAR, -w        accepted and ignored (the service passes them)
//
// Prints "orqavs-stub: serving <socket path>" once it serves; ends on
// SIGTERM or SIGINT. Exit code 1 when the pipe cannot be made (another
// server has it), 2 on a bad option.
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <optional>
#include <iterator>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include "common/pipe_messages.h"
#include "common/pipe_names.h"
#include "platform/pipe/pipe.h"

namespace {

constexpr char kEicar[] = "X5O!P%@AP[4\\PZX54(P^)7CC)7}$EICAR-STANDARD-ANTIVIRUS-TEST-FILE!$H+H*";
constexpr char kFinding[] = "EICAR-Test-File";
constexpr char kAccessDenied[] = "AVS_ACCESSDENIED";
constexpr char kProtectedMarker[] = "VELQOR-PASSWORD-PROTECTED-TEST";
constexpr char kPasswordProtected[] = "Password-protected-EXE";
constexpr size_t kLongFindingSize = 600;
constexpr size_t kMaxRequest = 1024;  // larger than either form, so odd sizes show in the log

struct Settings {
    std::string logPath;
    bool accessDenied = false;
    bool longFinding = false;
    int delayMs = 0;
    std::optional<std::string> fixedReply;
    bool hang = false;
    std::string onlyBelow;  // with its final "/"
    bool report = false;
};

platform::PipeServer* g_server = nullptr;

void OnStopSignal(int) {
    if (g_server) g_server->Stop();
}

bool ParseArguments(int argc, char** argv, Settings& settings) {
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg.rfind("--log=", 0) == 0) {
            settings.logPath = arg.substr(6);
        } else if (arg == "--access-denied") {
            settings.accessDenied = true;
        } else if (arg == "--long-finding") {
            settings.longFinding = true;
        } else if (arg.rfind("--delay=", 0) == 0) {
            settings.delayMs = std::atoi(arg.c_str() + 8);
        } else if (arg.rfind("--reply=", 0) == 0) {
            settings.fixedReply = arg.substr(8);
        } else if (arg == "--hang") {
            settings.hang = true;
        } else if (arg.rfind("--only-below=", 0) == 0) {
            settings.onlyBelow = arg.substr(13);
            if (settings.onlyBelow.empty() || settings.onlyBelow.back() != '/') settings.onlyBelow += '/';
        } else if (arg == "--report") {
            settings.report = true;
        } else if (arg.rfind("-e=", 0) == 0 || arg == "-w") {
        } else {
            std::fprintf(stderr, "orqavs-stub: unknown option %s\n", arg.c_str());
            return false;
        }
    }
    return true;
}

uint32_t Little(const std::string& data, size_t at, int bytes) {
    uint32_t value = 0;
    for (int i = bytes - 1; i >= 0; --i) value = (value << 8) | static_cast<unsigned char>(data[at + static_cast<size_t>(i)]);
    return value;
}

// The members of a zip archive (local headers, stored data) that hold the
// EICAR string; empty for anything else.
std::vector<std::string> InfectedMembers(const std::string& content) {
    std::vector<std::string> members;
    size_t at = 0;
    while (at + 30 <= content.size() && content.compare(at, 4, "PK\x03\x04") == 0) {
        uint32_t size = Little(content, at + 18, 4);
        uint32_t nameLength = Little(content, at + 26, 2);
        uint32_t extraLength = Little(content, at + 28, 2);
        size_t data = at + 30 + nameLength + extraLength;
        if (data + size > content.size()) break;
        if (content.substr(data, size).find(kEicar) != std::string::npos)
            members.push_back(content.substr(at + 30, nameLength));
        at = data + size;
    }
    return members;
}

std::string Report(const std::vector<std::string>& members) {
    char name[] = "/tmp/orqavs-stub-report-XXXXXX";
    int fd = mkstemp(name);
    if (fd < 0) return kAccessDenied;
    std::string text;
    for (const std::string& member : members) text += std::string(kFinding) + "\t" + member + "\n";
    bool ok = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    close(fd);
    return ok ? std::string("?") + name : std::string(kAccessDenied);
}

// Where a /proc link leads (a deleted file's name ends in " (deleted)");
// any other path as it is.
std::string LinkTarget(const std::string& path) {
    if (path.rfind("/proc/", 0) != 0) return path;
    char target[4096];
    ssize_t n = ::readlink(path.c_str(), target, sizeof target);
    return n > 0 ? std::string(target, static_cast<size_t>(n)) : path;
}

std::string Scan(const std::string& path, const Settings& settings) {
    if (settings.fixedReply) return *settings.fixedReply;
    if (!settings.onlyBelow.empty() && LinkTarget(path).rfind(settings.onlyBelow, 0) != 0) return "";
    std::ifstream file(path, std::ios::binary);
    if (!file) return kAccessDenied;
    // Read in one piece: byte by byte, a mail of a few MiB takes the stub
    // longer than the relay that asks.
    std::string content;
    file.seekg(0, std::ios::end);
    const std::streamoff size = file.tellg();
    file.seekg(0, std::ios::beg);
    if (size > 0) {
        content.resize(static_cast<size_t>(size));
        file.read(content.data(), size);
        content.resize(static_cast<size_t>(file.gcount()));
    }
    if (settings.accessDenied) return kAccessDenied;
    if (settings.report) {
        std::vector<std::string> members = InfectedMembers(content);
        if (!members.empty()) return Report(members);
    }
    if (content.find(kEicar) == std::string::npos)
        return content.find(kProtectedMarker) == std::string::npos ? "" : kPasswordProtected;
    if (!settings.longFinding) return kFinding;
    std::string longName = std::string(kFinding) + "-";
    longName.resize(kLongFindingSize, 'X');
    return longName;
}

// The source as the log shows it: the digit, "TAB" or "-".
void Record(const Settings& settings, const std::string& request, const common::ScanRequest& parsed) {
    if (settings.logPath.empty()) return;
    std::ofstream log(settings.logPath, std::ios::app);
    const std::string source = !parsed.source ? "-" : parsed.source->empty() ? "TAB" : *parsed.source;
    log << request.size() << '\t' << source << '\t' << parsed.path << '\n';
}

}  // namespace

int main(int argc, char** argv) {
    Settings settings;
    if (!ParseArguments(argc, argv, settings)) return 2;

    int error = 0;
    auto server = platform::PipeServer::Create(common::kScanPipeName, kMaxRequest, &error);
    if (!server) {
        std::fprintf(stderr, "orqavs-stub: cannot serve the pipe, error %d\n", error);
        return 1;
    }
    g_server = server.get();
    std::signal(SIGTERM, OnStopSignal);
    std::signal(SIGINT, OnStopSignal);
    std::printf("orqavs-stub: serving %s\n", platform::PipeSocketPath(common::kScanPipeName).c_str());
    std::fflush(stdout);

    while (server->ServeOne([&](const std::string& request, int) -> std::optional<std::string> {
        const common::ScanRequest parsed = common::SplitScanRequest(request);
        Record(settings, request, parsed);
        if (settings.hang) {
            while (!server->stopped()) std::this_thread::sleep_for(std::chrono::milliseconds(20));
            return std::nullopt;
        }
        std::string reply = Scan(parsed.path, settings);
        if (settings.delayMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(settings.delayMs));
        return reply;
    })) {
    }
    g_server = nullptr;
    return 0;
}
