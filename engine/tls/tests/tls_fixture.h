// Test helpers for TLS: certificates made with the openssl tool, and
// loopback sockets. Header only, so any test target can include it.
#pragma once

#include "common/tests/support/test_support.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>
#include <string>
#include <utility>

namespace tlsfixture {

struct CertificateFiles {
    std::string certificateFile;  // PEM: the certificate, then any intermediate CAs
    std::string privateKeyFile;   // PEM, unencrypted
    std::string rootFile;         // what a client trusts to verify it
};

inline void RunOpenssl(const std::string& arguments) {
    auto result = testsupport::RunCommand("openssl " + arguments, std::chrono::seconds(60));
    if (result.exitCode != 0) throw std::runtime_error("openssl " + arguments + " failed: " + result.output);
}

// A self-signed certificate for CN=localhost, written as <name>.pem and
// <name>.key into `folder`.
inline CertificateFiles MakeSelfSignedCertificate(const std::string& folder, const std::string& name = "server") {
    CertificateFiles files{folder + "/" + name + ".pem", folder + "/" + name + ".key", folder + "/" + name + ".pem"};
    RunOpenssl("req -x509 -newkey rsa:2048 -nodes -subj /CN=localhost -days 2 -keyout '" + files.privateKeyFile +
               "' -out '" + files.certificateFile + "'");
    return files;
}

// A certificate for CN=localhost issued by an intermediate CA, which a root
// CA issued. The certificate file holds the certificate and then the
// intermediate; rootFile is the root alone, so a client that trusts only
// the root can verify the server only when the server sends the chain.
inline CertificateFiles MakeChainCertificate(const std::string& folder, const std::string& name = "chain") {
    const std::string base = folder + "/" + name;
    testsupport::WriteFile(base + "-ca.ext", "basicConstraints=critical,CA:TRUE\nkeyUsage=critical,keyCertSign,cRLSign\n");
    testsupport::WriteFile(base + "-leaf.ext", "basicConstraints=CA:FALSE\nsubjectAltName=DNS:localhost\n");
    RunOpenssl("req -x509 -newkey rsa:2048 -nodes -subj '/CN=Test Root CA' -days 2 -keyout '" + base +
               "-root.key' -out '" + base + "-root.pem' -addext basicConstraints=critical,CA:TRUE"
               " -addext keyUsage=critical,keyCertSign,cRLSign");
    RunOpenssl("req -newkey rsa:2048 -nodes -subj '/CN=Test Intermediate CA' -keyout '" + base +
               "-inter.key' -out '" + base + "-inter.csr'");
    RunOpenssl("x509 -req -days 2 -in '" + base + "-inter.csr' -CA '" + base + "-root.pem' -CAkey '" + base +
               "-root.key' -CAcreateserial -extfile '" + base + "-ca.ext' -out '" + base + "-inter.pem'");
    RunOpenssl("req -newkey rsa:2048 -nodes -subj /CN=localhost -keyout '" + base + ".key' -out '" + base +
               "-leaf.csr'");
    RunOpenssl("x509 -req -days 2 -in '" + base + "-leaf.csr' -CA '" + base + "-inter.pem' -CAkey '" + base +
               "-inter.key' -CAcreateserial -extfile '" + base + "-leaf.ext' -out '" + base + "-leaf.pem'");
    testsupport::WriteFile(base + ".pem", testsupport::ReadFile(base + "-leaf.pem") +
                                              testsupport::ReadFile(base + "-inter.pem"));
    return {base + ".pem", base + ".key", base + "-root.pem"};
}

// A socket descriptor closed on destruction.
class Fd {
public:
    Fd() = default;
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() { reset(); }
    Fd(Fd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    Fd& operator=(Fd&& other) noexcept {
        if (this != &other) {
            reset();
            fd_ = std::exchange(other.fd_, -1);
        }
        return *this;
    }
    int get() const { return fd_; }
    void reset() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

private:
    int fd_ = -1;
};

// A TCP socket listening on 127.0.0.1 at a port the system chose.
class LoopbackListener {
public:
    LoopbackListener() : fd_(::socket(AF_INET, SOCK_STREAM, 0)) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (fd_.get() < 0 || ::bind(fd_.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            ::listen(fd_.get(), 16) != 0 ||
            ::getsockname(fd_.get(), reinterpret_cast<sockaddr*>(&address), &length) != 0) {
            throw std::runtime_error("loopback listener failed");
        }
        port_ = ntohs(address.sin_port);
    }
    int port() const { return port_; }
    // The next client, or an invalid Fd when none came in time.
    Fd Accept(std::chrono::milliseconds timeout = std::chrono::seconds(20)) {
        pollfd entry{fd_.get(), POLLIN, 0};
        if (::poll(&entry, 1, static_cast<int>(timeout.count())) != 1) return Fd();
        return Fd(::accept(fd_.get(), nullptr, nullptr));
    }

private:
    Fd fd_;
    int port_ = 0;
};

inline Fd ConnectLoopback(int port) {
    Fd fd(::socket(AF_INET, SOCK_STREAM, 0));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    if (::connect(fd.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) return Fd();
    return fd;
}

// Two ends of one loopback TCP connection.
inline std::pair<Fd, Fd> TcpPair() {
    LoopbackListener listener;
    Fd near = ConnectLoopback(listener.port());
    Fd far = listener.Accept();
    if (near.get() < 0 || far.get() < 0) throw std::runtime_error("loopback connection failed");
    return {std::move(near), std::move(far)};
}

// Bytes of every value, many of them NUL, that no text function survives.
inline std::string BinaryPattern(size_t size, unsigned seed = 1) {
    std::string data(size, '\0');
    unsigned state = seed;
    for (size_t i = 0; i < size; ++i) {
        state = state * 1103515245u + 12345u;
        data[i] = (i % 5 == 0) ? '\0' : static_cast<char>(state >> 16);
    }
    return data;
}

inline size_t CountOf(const std::string& text, const std::string& piece) {
    size_t count = 0;
    for (size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at + piece.size())) ++count;
    return count;
}

}  // namespace tlsfixture
