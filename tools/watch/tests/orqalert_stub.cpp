// orqalert-stub: a stand-in for the control panel's alert pipe, for tests
// only. Serves "\\.\pipe\orqalert" (in $VELQOR_PIPE_DIR) one message at a
// time, answers each with the panel's two bytes "O\0", and records it.
//
// Options:
//   --log=FILE   append each message's text (up to its first NUL) and a
//                line end to FILE, before answering
//   --delay=MS   wait MS milliseconds before each answer (an administrator
//                who takes a while over the pop-up)
//
// Prints "orqalert-stub: serving <socket path>" once it serves; ends on
// SIGTERM or SIGINT. Exit code 1 when the pipe cannot be made, 2 on a bad
// option.
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <string>
#include <thread>

#include "common/pipe_names.h"
#include "platform/pipe/pipe.h"

namespace {

constexpr size_t kMaxRequest = 1024;  // larger than a message, so a wrong size shows

platform::PipeServer* g_server = nullptr;

void OnStopSignal(int) {
    if (g_server) g_server->Stop();
}

}  // namespace

int main(int argc, char** argv) {
    std::string logPath;
    int delayMs = 0;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg.rfind("--log=", 0) == 0) {
            logPath = arg.substr(6);
        } else if (arg.rfind("--delay=", 0) == 0) {
            delayMs = std::atoi(arg.c_str() + 8);
        } else {
            std::fprintf(stderr, "orqalert-stub: unknown option %s\n", arg.c_str());
            return 2;
        }
    }
    int error = 0;
    auto server = platform::PipeServer::Create(common::kAlertPipeName, kMaxRequest, &error);
    if (!server) {
        std::fprintf(stderr, "orqalert-stub: cannot serve the pipe, error %d\n", error);
        return 1;
    }
    g_server = server.get();
    std::signal(SIGTERM, OnStopSignal);
    std::signal(SIGINT, OnStopSignal);
    std::printf("orqalert-stub: serving %s\n", platform::PipeSocketPath(common::kAlertPipeName).c_str());
    std::fflush(stdout);

    while (server->ServeOne([&](const std::string& request, int) -> std::optional<std::string> {
        if (!logPath.empty()) {
            std::ofstream log(logPath, std::ios::app);
            log << request.substr(0, request.find('\0')) << '\n';
        }
        if (delayMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
        return std::string("O\0", 2);
    })) {
    }
    g_server = nullptr;
    return 0;
}
