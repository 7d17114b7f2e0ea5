// The SMTP server the tests deliver to: smtp_peer.py (aiosmtpd, or one of
// its scripted servers) on loopback, writing what it accepts to a folder of
// its own, ended with this object.
#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "test_support.h"

namespace testsupport {

class SmtpPeer {
public:
    // options: smtp_peer.py's options other than --out (its usage names
    // them), e.g. {"--auth", "user:secret"} or {"--script", "refuse-data"}.
    explicit SmtpPeer(const std::vector<std::string>& options = {});
    SmtpPeer(const SmtpPeer&) = delete;
    SmtpPeer& operator=(const SmtpPeer&) = delete;

    // The port it listens on; 0 when it did not come up (see err()).
    int port() const { return port_; }
    std::string err() const { return process_->err(); }

    // The n-th accepted mail (from 1) as it arrived, and its envelope:
    // "FROM <sender>\n", "TO <recipient>\n" for each recipient, then
    // "AUTH <user> <password>\n" when the client logged in.
    std::string MailPath(int n) const;
    std::string Mail(int n) const { return ReadFile(MailPath(n)); }
    std::string Envelope(int n) const;
    // Every mail accepted so far, in order.
    std::vector<std::string> Mails() const;
    // True once the n-th mail and its envelope are written.
    bool Received(int n, std::chrono::milliseconds timeout = std::chrono::seconds(10)) const;
    // A line "DATA-ACCEPTED <recipients>[ over TLS]" a mail; a scripted
    // server's every command line instead.
    std::string Commands() const { return ReadFile(folder_ / "commands.log"); }

private:
    TempDir folder_;
    std::unique_ptr<Process> process_;
    int port_ = 0;
};

}  // namespace testsupport
