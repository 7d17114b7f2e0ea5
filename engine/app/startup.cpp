#include "engine/app/startup.h"

#include <algorithm>
#include <cctype>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "engine/access/ldap_settings.h"
#include "engine/core/daily_log.h"
#include "engine/core/engine_settings.h"
#include "engine/core/engine_stop.h"
#include "engine/core/options.h"
#include "engine/core/settings_log.h"

namespace engine {

namespace {

void MakeFolder(const std::string& path) {
    if (path.empty()) return;
    std::error_code ignored;  // a folder that can't be made shows up when it is used
    std::filesystem::create_directories(path, ignored);
}

// A shorter bound for the pipe calls from the environment; never longer.
uint32_t PipeCallTimeout() {
    const char* text = std::getenv(kPipeCallTimeoutVariable);
    if (!text || !*text) return kPipeCallTimeoutMs;
    char* end = nullptr;
    unsigned long value = std::strtoul(text, &end, 10);
    if (*end != '\0' || value == 0 || value >= kPipeCallTimeoutMs) return kPipeCallTimeoutMs;
    return static_cast<uint32_t>(value);
}

std::string LowerCased(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

}  // namespace

const char* ProtocolBanner(std::string_view programPath) {
    static const struct {
        const char* name;
        const char* banner;
    } kBanners[] = {
        {"orqhprx", "HTTP PROXY"}, {"orqsprx", "SMTP PROXY"}, {"orqpprx", "POP3 PROXY"},
        {"orqiprx", "IMAP PROXY"}, {"orqfprx", "FTP PROXY"},  {"orqcprx", "SOCKS PROXY"},
    };
    for (const auto& b : kBanners)
        if (programPath.find(b.name) != std::string_view::npos) return b.banner;
    return "HTTP PROXY";
}

std::vector<std::string> WorkFolders() {
    const std::string& data = Settings().dataFolder;
    return {data + "cache", data + "httpcache", data + "ftpcache"};
}

int RunEngine(int argc, char** argv) {
    // A write to a socket the peer has closed must fail, not end the
    // engine: libldap and the resolver write with plain write().
    std::signal(SIGPIPE, SIG_IGN);
    // Before any thread starts, so that every thread leaves the stop
    // signals to the listener.
    ArmStopSignals();
    EngineSettings& s = Settings();
    s = EngineSettings{};
    Shared().mailIdCounter = 0;

    GetOption(argc, argv);
    s.pipeCallTimeoutMs = PipeCallTimeout();

    for (const std::string& folder : WorkFolders()) MakeFolder(folder);
    if (!s.ldapSettingsFile.empty()) ProcessLdapSettings() = ReadLdapSettings(s.ldapSettingsFile);

    // The program folder keeps the path's letter case: on Linux a
    // lower-cased folder may not exist.
    const std::string program = argc > 0 && argv[0] ? argv[0] : "";
    s.programPath = LowerCased(program);
    std::printf("%s\n", s.programPath.c_str());
    size_t slash = program.rfind('/');
    s.programFolder = slash == std::string::npos ? std::string() : program.substr(0, slash);
    std::printf("%s", ProtocolBanner(s.programPath));
    std::fflush(stdout);

    WriteSettingsLog(s);
    MakeFolder(s.accessLogFolder);

    s.clientSocketTimeout = s.timeouts.clientPlain;
    s.serverSocketTimeout = s.timeouts.serverPlain;

    return ServeClients() ? 0 : 1;
}

}  // namespace engine
