// The tests' FTP server (ftp_server.py, pyftpdlib) on a free loopback
// port, serving a folder of its own; stopped with the fixture.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "test_support.h"

namespace ftptest {

class FtpPeer {
public:
    explicit FtpPeer(std::vector<std::string> flags = {}) {
        testsupport::MakeDirs(root());
        for (int attempt = 0; attempt < 5; ++attempt) {
            port_ = testsupport::FreeTcpPort();
            std::vector<std::string> argv{"/usr/bin/python3", testsupport::SourcePath("engine/ftp/tests/ftp_server.py"),
                                          std::to_string(port_), root(), commands()};
            argv.insert(argv.end(), flags.begin(), flags.end());
            process_ = std::make_unique<testsupport::Process>(argv, testsupport::Process::Options{});
            if (testsupport::WaitUntil([&] { return process_->out().find("ready") != std::string::npos; })) return;
        }
        port_ = 0;
    }
    int port() const { return port_; }
    std::string root() const { return dir_ / "root"; }
    std::string commandsSeen() const {
        return testsupport::FileExists(commands()) ? testsupport::ReadFile(commands()) : "";
    }
    std::string log() const { return process_ ? process_->err() : ""; }
    // Writes a file below the root (folders made as needed).
    void put(const std::string& relative, const std::string& content) const {
        std::string path = root() + "/" + relative;
        testsupport::MakeDirs(path.substr(0, path.rfind('/')));
        testsupport::WriteFile(path, content);
    }

private:
    std::string commands() const { return dir_ / "commands.log"; }
    testsupport::TempDir dir_;
    std::unique_ptr<testsupport::Process> process_;
    int port_ = 0;
};

// Bytes of every value, in a pattern that doesn't repeat within a chunk.
inline std::string BinaryPattern(size_t size) {
    std::string out(size, '\0');
    for (size_t i = 0; i < size; ++i) out[i] = static_cast<char>((i * 7 + i / 251) & 0xff);
    return out;
}

}  // namespace ftptest
