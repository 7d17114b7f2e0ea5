// An orqhprx started for one test: its own data root (and pipe folder,
// unless the test names one) with the given http.ini, the daily log on the
// console (captured), loopback clients.
#pragma once

#include <chrono>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "test_support.h"

namespace listenertest {

struct EngineOptions {
    // Options after "-e=... -p=0 -f -v", so they may follow -p (-t, -c ...).
    std::vector<std::string> extra;
    // Further files of the data folder: name, content.
    std::vector<std::pair<std::string, std::string>> files;
    std::map<std::string, std::string> env;
    int fileLimit = 0;  // when not 0, caps the engine's open descriptors
    // Words before the engine's command line (a private mount namespace).
    std::vector<std::string> launcher;
};

class EngineProcess {
public:
    // Starts orqhprx for the HTTP proxy with http.ini holding httpIni.
    EngineProcess(const std::string& httpIni, const EngineOptions& options = {});

    const std::string& dataFolder() const { return dataFolder_; }
    std::string log() const { return process_->err(); }
    // What the engine printed on its standard output (console-only lines).
    std::string console() const { return process_->out(); }
    // Number of times the text occurs in the log.
    int count(const std::string& text) const;
    bool waitForLog(const std::string& text, int times = 1,
                    std::chrono::milliseconds timeout = std::chrono::seconds(10)) const;
    // True once the cache folder holds no request capture file.
    bool waitForEmptyCache(std::chrono::milliseconds timeout = std::chrono::seconds(10)) const;
    testsupport::Process& process() { return *process_; }

private:
    testsupport::TempDir root_;
    std::string dataFolder_;
    std::unique_ptr<testsupport::Process> process_;
};

// The bytes of the origin's "data-<n>" bodies: a pattern that holds
// "0\r\n\r\n" and every byte value, cut at size.
std::string OriginPattern(size_t size);

// The test origin on a loopback port (origin_server.py, see its paths):
// "length/hello" answers "hello\n" with a Content-Length.
class OriginServer {
public:
    OriginServer();
    int port() const { return port_; }
    std::string url(const std::string& path = "length/hello") const;
    // Every request head it got, one JSON line each.
    std::string heads() const;
    // The connection number of each request head, in order.
    std::vector<int> connections() const;
    // Lets the "late" responses go on.
    void release() const;
    // An "endless" response found its reader gone.
    bool readerGone() const;

private:
    testsupport::TempDir dir_;
    std::string log_ = dir_ / "heads.log";
    std::unique_ptr<testsupport::Process> process_;
    int port_ = 0;
};

// The set-up of the tests of scanned roads: the stand-in scan server,
// recording each request, and an orqhprx on a free port, both with the
// test's own pipe folder.
class ScannedEngine {
protected:
    void StartScanServer();
    // Starts the scan server (unless scanServer is false), then the engine;
    // options get the pipe folder.
    void StartEngine(EngineOptions options, bool scanServer = true);
    // The scan requests so far: "<request bytes>\t<source>\t<path>" lines.
    std::string Scans() const;

    testsupport::TempDir pipes_;
    // Set before the start for a scan server that takes each request and
    // answers none.
    bool hungScanServer_ = false;
    // Set before the start for a scan server that answers each request this late.
    int scanDelayMs_ = 0;
    std::unique_ptr<testsupport::Process> stub_;
    std::unique_ptr<EngineProcess> engine_;
    int port_ = 0;
};

// A raw loopback client.
class Client {
public:
    // Connects to host:port (IPv4 or IPv6 text), from the IPv4 address
    // `from` when given; check ok().
    Client(const std::string& host, int port, const std::string& from = "");
    ~Client();
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;

    bool ok() const { return fd_ >= 0; }
    int fd() const { return fd_; }
    bool send(const std::string& bytes);
    void halfClose();
    void close();
    // True when something (data, end or reset) arrives within the time.
    bool readable(std::chrono::milliseconds timeout) const;
    // Reads until the peer ends the stream, fails or the time runs out.
    // error: 0 for an orderly end, else the errno (ETIMEDOUT on time-out).
    std::string readToEnd(int& error, std::chrono::milliseconds timeout = std::chrono::seconds(10));

private:
    int fd_ = -1;
};

}  // namespace listenertest
