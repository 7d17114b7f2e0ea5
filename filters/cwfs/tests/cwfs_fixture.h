// The word filter server as its peers see it: orqcwfs started on a data
// root and pipe folder of its own, asked through the pipe the way the
// engine asks it, and HTTP peers on loopback.
#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "test_support.h"

namespace cwfstest {

// The engine's request and reply buffers.
inline constexpr size_t kRequestSize = 5201;
inline constexpr size_t kReplySize = 1041;

class CwfsServer {
public:
    CwfsServer();
    ~CwfsServer();

    const std::string& dataFolder() const { return dataFolder_; }  // ends with "/"
    const std::string& pipeFolder() const { return pipes_.path(); }
    // Serves the data root of the given data folder (the engine's) instead
    // of one of its own, as the service starts every program on the same
    // root; before start() and writeData().
    void useDataFolderOf(const std::string& dataFolder);
    // A file of the data folder (a list, an ini file).
    void writeData(const std::string& name, const std::string& content) const;
    // A stored response in the cache folder; its path.
    std::string storeResponse(const std::string& name, const std::string& head, const std::string& body) const;

    // Starts orqcwfs with "-e=" and the options; waits for its start line.
    void start(const std::vector<std::string>& options = {});
    testsupport::Process& process() { return *process_; }
    std::string log() const { return process_ ? process_->out() : std::string(); }
    std::vector<std::string> argv(const std::vector<std::string>& options) const;
    testsupport::Process::Options processOptions() const;

    // One pipe transaction as the engine makes it: the pipe error (0, or
    // 109 when the server closed without a reply) and the reply.
    int ask(const std::string& request, std::string& reply) const;

private:
    testsupport::TempDir root_;
    std::string rootPath_;
    testsupport::TempDir pipes_;
    std::string dataFolder_;
    std::unique_ptr<testsupport::Process> process_;
};

// fake_http.py on a loopback port.
class FakeHttp {
public:
    // mode "pages" (arg: a folder), "answer" (arg: a file), "silent";
    // listening on host.
    FakeHttp(const std::string& mode, const std::string& arg = "", const std::string& host = "127.0.0.1");
    int port() const { return port_; }
    // The request heads received so far, each followed by "----\n".
    std::string requests() const;

private:
    testsupport::TempDir dir_;
    std::unique_ptr<testsupport::Process> process_;
    int port_ = 0;
};

// Text converted by the iconv program.
std::string Iconv(const std::string& text, const std::string& from, const std::string& to);

}  // namespace cwfstest
