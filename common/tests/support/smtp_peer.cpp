#include "smtp_peer.h"

namespace testsupport {

SmtpPeer::SmtpPeer(const std::vector<std::string>& options) {
    // Debian's python3, which sees the packaged aiosmtpd.
    std::vector<std::string> argv{"/usr/bin/python3", SourcePath("common/tests/support/smtp_peer.py"), "--out",
                                  folder_.path()};
    argv.insert(argv.end(), options.begin(), options.end());
    process_ = std::make_unique<Process>(argv, Process::Options{});
    WaitUntil(
        [&] {
            const std::string out = process_->out();
            if (out.rfind("port ", 0) != 0 || out.find('\n') == std::string::npos) return !process_->running();
            port_ = std::stoi(out.substr(5));
            return true;
        },
        std::chrono::seconds(20));
}

std::string SmtpPeer::MailPath(int n) const { return folder_ / ("mail-" + std::to_string(n) + ".eml"); }

std::string SmtpPeer::Envelope(int n) const { return ReadFile(folder_ / ("mail-" + std::to_string(n) + ".env")); }

std::vector<std::string> SmtpPeer::Mails() const {
    std::vector<std::string> mails;
    for (int n = 1; FileExists(MailPath(n)); ++n) mails.push_back(Mail(n));
    return mails;
}

bool SmtpPeer::Received(int n, std::chrono::milliseconds timeout) const {
    return WaitUntil([&] { return FileExists(folder_ / ("mail-" + std::to_string(n) + ".env")); }, timeout);
}

}  // namespace testsupport
