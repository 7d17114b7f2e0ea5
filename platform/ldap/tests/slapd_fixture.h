// A throw-away OpenLDAP server on a loopback port for tests: a fresh
// database in a temporary folder holding the entries of the suffix and
// one inetOrgPerson per user, started in the foreground and ended with the
// fixture. It accepts unauthenticated binds (a DN with an empty password),
// as directories set up for anonymous access do, so callers can show that
// they never send one.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "test_support.h"

namespace testsupport {

// A value in LDIF's base64 form ("dn:: ..."), for DNs and values that are
// not plain ASCII.
inline std::string Base64(std::string_view bytes) {
    static const char digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    size_t i = 0;
    for (; i + 2 < bytes.size(); i += 3) {
        unsigned v = (unsigned char)bytes[i] << 16 | (unsigned char)bytes[i + 1] << 8 | (unsigned char)bytes[i + 2];
        for (int shift = 18; shift >= 0; shift -= 6) out += digits[(v >> shift) & 63];
    }
    if (i < bytes.size()) {
        unsigned v = (unsigned char)bytes[i] << 16;
        if (i + 1 < bytes.size()) v |= (unsigned char)bytes[i + 1] << 8;
        out += digits[(v >> 18) & 63];
        out += digits[(v >> 12) & 63];
        out += i + 1 < bytes.size() ? digits[(v >> 6) & 63] : '=';
        out += '=';
    }
    return out;
}

struct SlapdOptions {
    struct User {
        std::string cn;
        std::string password;
    };
    std::string suffix = "dc=test";
    std::vector<User> users = {{"alice", "secret"}};
    // Further LDIF records, added after the users (non-ASCII DNs in the
    // "dn::" base64 form).
    std::string extraLdif;
};

class SlapdServer {
public:
    SlapdServer() : SlapdServer(SlapdOptions()) {}
    explicit SlapdServer(SlapdOptions options) : options_(std::move(options)) {
        port_ = FreeTcpPort();
        MakeDirs(dir_ / "db");
        WriteFile(dir_ / "slapd.conf", Config());
        WriteFile(dir_ / "data.ldif", Entries());
        auto load = RunCommand("/usr/sbin/slapadd -f " + dir_ / "slapd.conf" + " -l " +
                               dir_ / "data.ldif" + " 2>&1");
        loadOutput_ = load.output;
        loaded_ = load.exitCode == 0;
        if (loaded_) Start();
    }

    ~SlapdServer() { Stop(); }
    SlapdServer(const SlapdServer&) = delete;
    SlapdServer& operator=(const SlapdServer&) = delete;

    // True while the server accepts on its port.
    bool ok() const { return loaded_ && process_ != nullptr; }
    std::string diagnostics() const {
        return loadOutput_ + (process_ ? process_->err() + process_->out() : std::string());
    }
    int port() const { return port_; }
    const std::string& suffix() const { return options_.suffix; }
    std::string UserDn(const std::string& cn) const { return "cn=" + cn + "," + options_.suffix; }

    // Starts (again) on the same port with the same database.
    bool Start() {
        if (process_) return true;
        process_ = std::make_unique<Process>(
            std::vector<std::string>{"/usr/sbin/slapd", "-h",
                                     "ldap://127.0.0.1:" + std::to_string(port_) + "/", "-f",
                                     dir_ / "slapd.conf", "-d", "0"},
            Process::Options{});
        if (!WaitForTcpPort(port_, std::chrono::seconds(15))) {
            process_.reset();
            return false;
        }
        return true;
    }

    // Ends the server; its port then refuses connections.
    void Stop() {
        if (!process_) return;
        process_->terminate(15);
        process_->wait(std::chrono::seconds(10));
        process_.reset();
    }

private:
    std::string Config() const {
        return "include /etc/ldap/schema/core.schema\n"
               "include /etc/ldap/schema/cosine.schema\n"
               "include /etc/ldap/schema/inetorgperson.schema\n"
               "modulepath /usr/lib/ldap\n"
               "moduleload back_mdb\n"
               "pidfile " + dir_ / "slapd.pid" + "\n"
               "allow bind_anon_dn\n"
               "database mdb\n"
               "maxsize 10485760\n"
               "suffix \"" + options_.suffix + "\"\n"
               "rootdn \"cn=admin," + options_.suffix + "\"\n"
               "rootpw admin-password\n"
               "directory " + dir_ / "db" + "\n";
    }

    std::string Entries() const {
        std::string first = options_.suffix.substr(3, options_.suffix.find(',') - 3);
        std::string ldif = "dn: " + options_.suffix + "\nobjectClass: dcObject\nobjectClass: organization\n"
                           "dc: " + first + "\no: " + first + "\n\n";
        for (const auto& user : options_.users) {
            ldif += "dn: " + UserDn(user.cn) + "\nobjectClass: inetOrgPerson\ncn: " + user.cn +
                    "\nsn: " + user.cn + "\nuserPassword: " + user.password + "\n\n";
        }
        return ldif + options_.extraLdif;
    }

    SlapdOptions options_;
    TempDir dir_;
    int port_ = 0;
    bool loaded_ = false;
    std::string loadOutput_;
    std::unique_ptr<Process> process_;
};

// A loopback TCP port that accepts and counts connections but never
// answers: each connection is either held open in silence or closed at
// once. Shows how often a client tried, and what it does when a server
// does not reply.
class MuteTcpServer {
public:
    enum class Mode { kHoldOpen, kCloseAtOnce };

    explicit MuteTcpServer(Mode mode) : mode_(mode) {
        listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
        int one = 1;
        ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(listener_, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
        socklen_t len = sizeof addr;
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&addr), &len);
        port_ = ntohs(addr.sin_port);
        ::listen(listener_, 16);
        thread_ = std::thread([this] { Run(); });
    }

    ~MuteTcpServer() {
        stop_ = true;
        thread_.join();
        for (int fd : held_) ::close(fd);
        ::close(listener_);
    }
    MuteTcpServer(const MuteTcpServer&) = delete;
    MuteTcpServer& operator=(const MuteTcpServer&) = delete;

    int port() const { return port_; }
    int connections() const { return connections_; }

private:
    void Run() {
        while (!stop_) {
            pollfd p{listener_, POLLIN, 0};
            if (::poll(&p, 1, 20) <= 0) continue;
            int fd = ::accept(listener_, nullptr, nullptr);
            if (fd < 0) continue;
            ++connections_;
            if (mode_ == Mode::kCloseAtOnce)
                ::close(fd);
            else
                held_.push_back(fd);
        }
    }

    Mode mode_;
    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<int> connections_{0};
    std::vector<int> held_;
    std::thread thread_;
};

}  // namespace testsupport
