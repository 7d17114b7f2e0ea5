#include "archiver/svt/smtp_client.h"

#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "archiver/svt/archive_log.h"
#include "archiver/svt/mail_lines.h"
#include "common/option_arg.h"
#include "common/text.h"
#include "platform/io/full_write.h"

namespace archiver {
namespace {

constexpr int kReplyWaitMs = 300 * 1000;
constexpr int kConnectWaitMs = 30 * 1000;
// A reply longer than this is not an SMTP reply; the dialogue fails.
constexpr size_t kReplyLimit = 64 * 1024;
constexpr size_t kSendChunk = 64 * 1024;

// A reply is complete with its last line: "NNN text" (a blank in the
// fourth place) or a line of three characters or fewer.
bool ReplyComplete(const std::string& text) {
    size_t start = 0;
    for (size_t end = text.find('\n'); end != std::string::npos; end = text.find('\n', start)) {
        std::string_view line = WithoutLineEnd(std::string_view(text).substr(start, end - start + 1));
        if (line.size() <= 3 || line[3] == ' ') return true;
        start = end + 1;
    }
    return false;
}

class Dialogue {
public:
    Dialogue(const ArchiveSettings& settings, int socket) : settings_(settings), socket_(socket) {}

    // Reads one whole reply, however many lines and bytes it has, so that
    // the next command's reply is never taken for this one's rest.
    bool ReadReply() {
        reply_.clear();
        char buffer[2048];
        while (!ReplyComplete(reply_)) {
            pollfd p{socket_, POLLIN, 0};
            const int ready = ::poll(&p, 1, kReplyWaitMs);
            if (ready <= 0) return Fail(ready == 0 ? ETIMEDOUT : errno);
            const ssize_t got = ::recv(socket_, buffer, sizeof buffer, 0);
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) return Fail(got == 0 ? ECONNRESET : errno);
            if (settings_.testMode) LogLine(std::string(buffer, static_cast<size_t>(got)));
            reply_.append(buffer, static_cast<size_t>(got));
            if (reply_.size() > kReplyLimit) return Fail(EMSGSIZE);
        }
        return true;
    }

    bool Positive() const {
        const int code = static_cast<int>(common::ParseDecimal(reply_));
        return code >= 200 && code <= 399;
    }

    // Sends a command and reads its reply; true when the reply is positive.
    bool Command(const std::string& command) {
        if (settings_.testMode) LogLine(command + "\n");
        if (!platform::SendAll(socket_, command + "\r\n")) return false;
        return ReadReply() && Positive();
    }

    bool SendData(const std::string& path) {
        LineReader in(path);
        if (!in.ok()) {
            std::printf("Send data file not found : %s\n", path.c_str());
            return false;
        }
        std::string chunk, line;
        bool ended = false;
        while (in.Next(line)) {
            const std::string_view text = WithoutLineEnd(line);
            chunk.append(text);
            chunk += "\r\n";
            ended = text == ".";
            if (chunk.size() >= kSendChunk) {
                if (!platform::SendAll(socket_, chunk)) return false;
                chunk.clear();
            }
        }
        // A data file cut short still ends the data, so the server answers.
        if (!ended) chunk += ".\r\n";
        return platform::SendAll(socket_, chunk) && ReadReply() && Positive();
    }

    const std::string& reply() const { return reply_; }
    bool broken() const { return broken_; }

private:
    bool Fail(int error) {
        broken_ = true;
        LogFormat("451 Requested action aborted: error in processing.(code=%d)\n", error);
        return false;
    }

    const ArchiveSettings& settings_;
    int socket_;
    std::string reply_;
    bool broken_ = false;
};

std::string Upper(std::string text) {
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

int Run(const ArchiveSettings& settings, Dialogue& d, const QueuedMail& mail) {
    if (settings.testMode) LogLine("send start.\n");
    if (!d.ReadReply() || !d.Positive()) return kSmtpGreetingFailed;
    const std::string& name = settings.smtpServer;
    if (!d.Command((settings.esmtp ? "EHLO " : "HELO ") + name)) {
        if (!settings.esmtp || !d.Command("HELO " + name)) return kSmtpHelloFailed;
    } else if (settings.esmtp && Upper(d.reply()).find("PLAIN") != std::string::npos) {
        std::string credentials(1, '\0');
        credentials += settings.authId;
        credentials += '\0';
        credentials += settings.authPassword;
        if (!d.Command("AUTH PLAIN " + common::TextToBase64(credentials))) return kSmtpAuthFailed;
    }
    const std::string from = settings.envelopeFromMode != 0 ? settings.envelopeFrom : mail.sender;
    if (!d.Command("MAIL From: <" + from + ">")) return kSmtpMailFromFailed;
    bool accepted = false;
    if (settings.backToSender) {
        accepted = d.Command("RCPT To: <" + mail.sender + ">");
    } else {
        for (const std::string& recipient : mail.recipients) accepted = d.Command("RCPT To: <" + recipient + ">") || accepted;
    }
    if (!accepted) return kSmtpRcptFailed;
    if (!d.Command("DATA")) return kSmtpDataFailed;
    if (!d.SendData(mail.dataPath)) return kSmtpDataEndFailed;
    return kSmtpSent;
}

}  // namespace

int ConnectSmtpServer(const ArchiveSettings& settings) {
    addrinfo hints{};
    hints.ai_family = settings.addressFamily != 0 ? AF_INET6 : AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    const std::string port = std::to_string(settings.smtpPort);
    addrinfo* found = nullptr;
    const int error = ::getaddrinfo(settings.smtpServer.c_str(), port.c_str(), &hints, &found);
    if (error != 0) {
        LogFormat("Cannot resolve address [%s] and port [%s], error %d: %s\n", settings.smtpServer.c_str(),
                  port.c_str(), error, gai_strerror(error));
        LogLine("connect fail.");
        return -1;
    }
    int fd = ::socket(found->ai_family, found->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, found->ai_protocol);
    if (fd < 0) {
        if (settings.testMode) LogLine("socket() failed Error\n");
        ::freeaddrinfo(found);
        LogLine("connect fail.");
        return -1;
    }
    bool connected = ::connect(fd, found->ai_addr, found->ai_addrlen) == 0;
    if (!connected && errno == EINPROGRESS) {
        pollfd p{fd, POLLOUT, 0};
        int soError = 0;
        socklen_t length = sizeof soError;
        connected = ::poll(&p, 1, kConnectWaitMs) == 1 &&
                    ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &soError, &length) == 0 && soError == 0;
    }
    ::freeaddrinfo(found);
    if (!connected) {
        if (settings.testMode) std::printf("Winsock connect failed.\n");
        ::close(fd);
        LogLine("connect fail.");
        return -1;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    if (settings.testMode) LogLine("Winsock connect success.\n");
    return fd;
}

int SmtpSendMail(const ArchiveSettings& settings, int socket, const QueuedMail& mail) {
    Dialogue d(settings, socket);
    const int code = Run(settings, d, mail);
    if (code == kSmtpSent)
        LogFormat("%s -- send success. code=0x0000\n", mail.dataPath.c_str());
    else
        LogFormat("%s -- send fail. code=0x%04X\n", mail.dataPath.c_str(), static_cast<unsigned>(code));
    if (settings.testMode) LogLine("QUIT\n");
    // A connection that failed to answer is not waited on once more.
    if (platform::SendAll(socket, "QUIT\r\n") && !d.broken()) d.ReadReply();
    return code;
}

}  // namespace archiver
