// A dnsmasq answering on 127.0.0.1 at a port chosen at run time, from its
// own configuration only, with every question it receives logged so a test
// can assert the exact names asked and their order.
//
//   testsupport::Dnsmasq dns({"address=/host.test.zone.test/127.0.0.2",
//                             "txt-record=t.test,\"hello\""});
//   testsupport::ProcessDnsServer use(dns.server());  // or a child's env
//   ...
//   EXPECT_EQ(dns.Questions(), (std::vector<std::string>{"A host.test.zone.test"}));
//
// Names it has no entry for get "no such name" at once (nothing is sent
// further), so a miss costs no time-out.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <chrono>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "test_support.h"

namespace testsupport {

class Dnsmasq {
public:
    explicit Dnsmasq(const std::vector<std::string>& configLines) {
        for (int attempt = 0; attempt < 5 && !process_; ++attempt) {
            port_ = FreeTcpPort();
            std::string config = "port=" + std::to_string(port_) +
                                 "\nlisten-address=127.0.0.1\nbind-interfaces\nno-resolv\nno-hosts\n"
                                 "log-queries\nlog-facility=" + logPath() + "\nlocal=/#/\n";
            for (const auto& line : configLines) config += line + "\n";
            WriteFile(dir_ / "dnsmasq.conf", config);
            auto process = std::make_unique<Process>(
                std::vector<std::string>{"/usr/sbin/dnsmasq", "-k", "--conf-file=" + (dir_ / "dnsmasq.conf"),
                                         "--pid-file=", "--user=root", "--group=root"},
                Process::Options{});
            // dnsmasq answers on TCP at the same port once it is ready.
            if (WaitForTcpPort(port_, std::chrono::seconds(5)) && process->running()) process_ = std::move(process);
        }
        if (!process_) ADD_FAILURE() << "dnsmasq did not start";
    }

    int port() const { return port_; }
    // The value for VELQOR_DNS_SERVER, or a zone line's server field.
    std::string server() const { return "127.0.0.1:" + std::to_string(port_); }

    // Questions received since the start (or the last Forget), as "TYPE name"
    // ("A host.test.zone.test", "TXT t.test"), in arrival order.
    std::vector<std::string> Questions() const {
        std::vector<std::string> all = Settled();
        return std::vector<std::string>(all.begin() + static_cast<long>(std::min(forgotten_, all.size())), all.end());
    }

    // Questions() starts after the ones received so far.
    void Forget() { forgotten_ = Settled().size(); }

private:
    std::string logPath() const { return dir_ / "queries.log"; }

    // dnsmasq writes its log a moment after answering: read until the log
    // has been quiet for a short while (at most a few seconds).
    std::vector<std::string> Settled() const {
        std::vector<std::string> all = Logged(), previous;
        for (int round = 0; round < 30 && (round == 0 || all != previous); ++round) {
            previous = all;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            all = Logged();
        }
        return all;
    }

    std::vector<std::string> Logged() const {
        // "Dec 10 12:58:26 dnsmasq[12612]: query[A] host.test.zone.test from 127.0.0.1"
        std::vector<std::string> questions;
        std::istringstream lines(FileExists(logPath()) ? ReadFile(logPath()) : std::string());
        for (std::string line; std::getline(lines, line);) {
            size_t start = line.find("]: query[");
            if (start == std::string::npos) continue;
            start += 9;
            size_t typeEnd = line.find(']', start);
            size_t nameEnd = line.find(" from ", typeEnd);
            if (typeEnd == std::string::npos || nameEnd == std::string::npos) continue;
            questions.push_back(line.substr(start, typeEnd - start) + " " +
                                line.substr(typeEnd + 2, nameEnd - typeEnd - 2));
        }
        return questions;
    }

    TempDir dir_;
    int port_ = 0;
    std::unique_ptr<Process> process_;
    size_t forgotten_ = 0;
};

// Points the process's DNS questions (VELQOR_DNS_SERVER) at one server for
// the lifetime of the object.
class ProcessDnsServer {
public:
    explicit ProcessDnsServer(const std::string& server) { setenv("VELQOR_DNS_SERVER", server.c_str(), 1); }
    ~ProcessDnsServer() { unsetenv("VELQOR_DNS_SERVER"); }
    ProcessDnsServer(const ProcessDnsServer&) = delete;
    ProcessDnsServer& operator=(const ProcessDnsServer&) = delete;
};

}  // namespace testsupport
