// Stands in for every program the service starts. It appends one line to
// $VELQOR_STUB_RECORD: the name it was started under and each argument,
// TAB-separated. Then, by that name: "autoupdate" ends after a moment (or,
// with $VELQOR_STUB_HOLD, once that file exists, 30 s at most), "orqavs"
// answers the scan pipe with a clean verdict (or, with
// $VELQOR_STUB_SCAN=silent, takes the first request and never answers),
// any other runs until ended.
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/pipe/pipe.h"

int main(int argc, char** argv) {
    std::string name = argv[0];
    name = name.substr(name.rfind('/') + 1);
    std::string line = name;
    for (int i = 1; i < argc; ++i) line += std::string("\t") + argv[i];
    line += "\n";
    if (const char* record = std::getenv("VELQOR_STUB_RECORD")) {
        int fd = ::open(record, O_WRONLY | O_APPEND | O_CREAT, 0644);
        if (fd >= 0) {
            ssize_t written = ::write(fd, line.data(), line.size());
            (void)written;
            ::close(fd);
        }
    }
    if (name == "autoupdate") {
        const char* hold = std::getenv("VELQOR_STUB_HOLD");
        for (int wait = 0; hold && wait < 3000 && ::access(hold, F_OK) != 0; ++wait) ::usleep(10 * 1000);
        if (!hold) ::usleep(300 * 1000);
        return 0;
    }
    if (name == "orqavs") {
        int error = 0;
        auto server = platform::PipeServer::Create("\\\\.\\pipe\\orqavs", 521, &error);
        if (!server) return 1;
        const char* mode = std::getenv("VELQOR_STUB_SCAN");
        if (mode && std::strcmp(mode, "silent") == 0) {
            std::string request;
            if (server->WaitForClient() == platform::PipeServer::WaitResult::Connected) server->ReadRequest(request);
            for (;;) ::pause();
        }
        while (server->ServeOne([](const std::string&, int) { return std::optional<std::string>(""); })) {
        }
        return 0;
    }
    for (;;) ::pause();
}
