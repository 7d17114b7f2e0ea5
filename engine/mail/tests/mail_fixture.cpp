#include "mail_fixture.h"

#include "avstub.h"

namespace mailtest {

void MailRelayTest::SetUp() {
    pipes_ = path("pipes");
    testsupport::MakeDirs(pipes_);
    avstub::Options options;
    options.pipeDir = pipes_;
    options.logFile = path("scans.log");
    scan_ = avstub::Start(options);
}

void MailRelayTest::StartEngine(const RelaySetup& setup) {
    port_ = testsupport::FreeTcpPort();
    const std::string line = "127.0.0.1 " + std::to_string(port_) + setup.listenTls + "=,127.0.0.1 " +
                             std::to_string(setup.serverPort) + setup.serverMarks + "\n";
    listenertest::EngineOptions options;
    options.extra = {"-p=" + std::to_string(setup.protocol), "-f", "-t=10000,10000,10000,10000"};
    options.extra.insert(options.extra.end(), setup.extra.begin(), setup.extra.end());
    options.files = setup.files;
    options.files.emplace_back(setup.word + ".ini", line);
    options.env = setup.env;
    options.env["VELQOR_PIPE_DIR"] = pipes_;
    options.env["VELQOR_PIPE_TIMEOUT_MS"] = "5000";
    engine_ = std::make_unique<listenertest::EngineProcess>("", options);
    ASSERT_TRUE(testsupport::WaitForTcpPort(port_)) << engine_->log();
}

void MailRelayTest::StartStandin(const std::string& name, const std::vector<std::string>& options) {
    std::vector<std::string> argv{std::string(VELQOR_TEST_BIN_DIR) + "/mail-pipe-standin", "--pipe=" + name};
    argv.insert(argv.end(), options.begin(), options.end());
    testsupport::Process::Options processOptions;
    processOptions.env["VELQOR_PIPE_DIR"] = pipes_;
    auto standin = std::make_unique<testsupport::Process>(argv, processOptions);
    ASSERT_TRUE(testsupport::WaitUntil([&] { return standin->out().find("serving") != std::string::npos; }))
        << standin->err();
    standins_.push_back(std::move(standin));
}

std::string MailRelayTest::Scans() const { return testsupport::ReadFile(dir_.path() + "/scans.log"); }

int StartPeer(std::unique_ptr<testsupport::Process>& process, const std::vector<std::string>& argv) {
    process = std::make_unique<testsupport::Process>(argv, testsupport::Process::Options{});
    int port = 0;
    testsupport::WaitUntil([&] {
        const std::string out = process->out();
        if (out.rfind("port ", 0) != 0 || out.find('\n') == std::string::npos) return !process->running();
        port = std::stoi(out.substr(5));
        return true;
    });
    EXPECT_NE(port, 0) << process->err();
    return port;
}

}  // namespace mailtest
