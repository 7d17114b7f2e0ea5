#include "upstream_fixture.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>

#include "engine/core/daily_log.h"
#include "engine/upstream/connect_host.h"

namespace upstreamtest {

void UpstreamTest::SetUp() {
    dataFolder_ = root_.path() + "/VELQOR/";
    logFolder_ = root_.path() + "/log";
    testsupport::MakeDirs(dataFolder_);
    engine::Settings() = engine::EngineSettings{};
    engine::Settings().dataFolder = dataFolder_;
    engine::Settings().retryCount = 1;
    UseProtocol(engine::kProtocolHttp);
    engine::EngineLog().setFolder(logFolder_);
    engine::EngineLog().setToConsole(false);
    engine::EngineLog().setToFile(true);
}

void UpstreamTest::TearDown() {
    for (auto& record : records_) engine::CloseServerConnection(record.get(), "UpstreamTest");
    records_.clear();
    for (int s : peerSockets_) ::close(s);
    engine::EngineLog().setToFile(false);
    engine::EngineLog().setFolder("");
}

void UpstreamTest::UseProtocol(int protocol) {
    static const char* const kWords[] = {"http", "smtp", "pop3", "imap4", "ftp", "socks"};
    engine::EngineSettings& s = engine::Settings();
    s.protocol = protocol;
    s.protocolChosen = true;
    const std::string word = kWords[protocol];
    s.connectTableFile = dataFolder_ + word + ".ini";
    s.dnsblZoneFile = dataFolder_ + word + "-dnsbl.db";
    s.dnsblExceptionFile = dataFolder_ + word + "-dnswl.db";
    s.timeouts = engine::SocketTimeouts{4000, 2000, 3000, 5000};
}

void UpstreamTest::WriteConnectTable(const std::string& text) {
    testsupport::WriteFile(engine::Settings().connectTableFile, text);
}

engine::ConnectionRecord* UpstreamTest::NewRecord(int listenPort) {
    int pair[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0) return nullptr;
    peerSockets_.push_back(pair[0]);
    peerSockets_.push_back(pair[1]);
    auto record = std::make_unique<engine::ConnectionRecord>();
    record->ClientSocket = pair[0];
    record->ListenAddress = "127.0.0.1";
    record->ListenPort = listenPort;
    records_.push_back(std::move(record));
    return records_.back().get();
}

std::string UpstreamTest::Log() const {
    std::string text;
    std::error_code error;
    for (const auto& file : std::filesystem::directory_iterator(logFolder_, error))
        text += testsupport::ReadFile(file.path().string());
    return text;
}

size_t UpstreamTest::Count(const std::string& text, const std::string& what) {
    size_t count = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size())) ++count;
    return count;
}

}  // namespace upstreamtest
