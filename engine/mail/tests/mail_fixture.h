// The set-up of the mail relay road tests: the stand-in scan server (and,
// when asked, stand-ins for the spam and archiving pipes) in the test's own
// pipe folder, and the engine serving one line protocol on a free port
// towards the test's server.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "engine_process.h"
#include "test_support.h"

namespace mailtest {

struct RelaySetup {
    int protocol = 1;           // -p
    std::string word = "smtp";  // names the connection list "<word>.ini"
    int serverPort = 0;
    std::string serverMarks;    // after the server's port: "-" STARTTLS, "+" TLS
    std::string listenTls;      // after the listen port: "" or "-<cert>\t<key>"
    std::vector<std::string> extra;  // further options
    std::vector<std::pair<std::string, std::string>> files;  // further data folder files
    std::map<std::string, std::string> env;  // further environment of the engine
};

class MailRelayTest : public ::testing::Test {
protected:
    void SetUp() override;
    void StartEngine(const RelaySetup& setup);
    // A stand-in for the pipe `name` ("orqspam", "orqsvt") with its options.
    void StartStandin(const std::string& name, const std::vector<std::string>& options);
    // The scan server's requests so far.
    std::string Scans() const;
    std::string path(const std::string& name) const { return dir_.path() + "/" + name; }

    testsupport::TempDir dir_;
    std::string pipes_;
    int port_ = 0;
    std::unique_ptr<testsupport::Process> scan_;
    std::vector<std::unique_ptr<testsupport::Process>> standins_;
    std::unique_ptr<listenertest::EngineProcess> engine_;
};

// Starts a server script (argv: "/usr/bin/python3", script, ...) and returns
// its port from its "port <n>" line (0 when it did not come up).
int StartPeer(std::unique_ptr<testsupport::Process>& process, const std::vector<std::string>& argv);

}  // namespace mailtest
