// mail-pipe-standin: a stand-in for the spam check server (orqspam) and
// the attachment archiving server (orqsvt), for the mail relay tests.
//
// Serves the pipe --pipe=NAME (in $VELQOR_PIPE_DIR) one request at a time
// and answers every request with --reply=TEXT (empty by default). Before
// answering it appends the request text (up to its first NUL) and a LF to
// --log=FILE. With --mark=LINE the mail the request names (the text before
// a TAB or "?") gets LINE and CR LF put in front, as the spam server marks a
// mail in place. With --envelope-copy=FILE the envelope beside the mail
// ("<mail without .dat>.$CP") is copied to FILE and then deleted, as the
// archiving server takes it over.
//
// Prints "mail-pipe-standin: serving" once it serves; ends on SIGTERM.
#include <csignal>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>

#include "platform/pipe/pipe.h"

namespace {

platform::PipeServer* g_server = nullptr;

void Stop(int) {
    if (g_server) g_server->Stop();
}

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

int main(int argc, char** argv) {
    std::string pipe, reply, log, mark, envelopeCopy;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&](const char* name, std::string& out) {
            const std::string prefix = std::string("--") + name + "=";
            if (arg.rfind(prefix, 0) != 0) return false;
            out = arg.substr(prefix.size());
            return true;
        };
        if (!value("pipe", pipe) && !value("reply", reply) && !value("log", log) && !value("mark", mark) &&
            !value("envelope-copy", envelopeCopy)) {
            std::fprintf(stderr, "mail-pipe-standin: unknown option %s\n", argv[i]);
            return 2;
        }
    }
    int error = 0;
    auto server = platform::PipeServer::Create(pipe, 1024, &error);
    if (!server) {
        std::fprintf(stderr, "mail-pipe-standin: cannot serve %s (%d)\n", pipe.c_str(), error);
        return 1;
    }
    g_server = server.get();
    std::signal(SIGTERM, Stop);
    std::signal(SIGINT, Stop);
    std::printf("mail-pipe-standin: serving\n");
    std::fflush(stdout);
    while (server->ServeOne([&](const std::string& request, int) -> std::optional<std::string> {
        const std::string text = request.substr(0, request.find('\0'));
        const std::string path = text.substr(0, text.find_first_of("\t?"));
        if (!mark.empty()) {
            const std::string mail = ReadAll(path);
            std::ofstream(path, std::ios::binary) << mark << "\r\n" << mail;
        }
        if (!envelopeCopy.empty() && path.size() > 4) {
            const std::string envelope = path.substr(0, path.size() - 4) + ".$CP";
            std::ofstream(envelopeCopy, std::ios::binary) << ReadAll(envelope);
            std::remove(envelope.c_str());
        }
        if (!log.empty()) std::ofstream(log, std::ios::app | std::ios::binary) << text << "\n";
        return reply;
    })) {
    }
    return 0;
}
