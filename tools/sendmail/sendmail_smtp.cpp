#include "sendmail_smtp.h"

#include <netdb.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <iterator>
#include <sstream>
#include <vector>

#include "common/text.h"
#include "platform/io/full_write.h"
#include "sendmail_message.h"
#include "sendmail_text.h"

namespace sendmail {
namespace {

constexpr size_t kReplyBuffer = 2047;

class SmtpConnection {
public:
    explicit SmtpConnection(const SendmailSettings& settings) : settings_(settings) {}
    ~SmtpConnection() {
        if (ssl_ != nullptr) SSL_free(ssl_);
        if (context_ != nullptr) SSL_CTX_free(context_);
        if (fd_ >= 0) ::close(fd_);
    }

    // 1 connected, 0 socket or connect failure, -1 name not resolved.
    int Connect() {
        addrinfo hints{};
        hints.ai_family = settings_.family != 0 ? AF_INET6 : AF_INET;
        hints.ai_socktype = SOCK_STREAM;
        std::string port = std::to_string(settings_.port);
        addrinfo* found = nullptr;
        int error = getaddrinfo(settings_.smtpServer.c_str(), port.c_str(), &hints, &found);
        if (error != 0) {
            std::printf("Cannot resolve address [%s] and port [%s], error %d: %s\n", settings_.smtpServer.c_str(),
                        port.c_str(), error, gai_strerror(error));
            return -1;
        }
        fd_ = ::socket(found->ai_family, SOCK_STREAM, 0);
        if (fd_ < 0) {
            freeaddrinfo(found);
            Debug("socket() failed Error\n");
            return 0;
        }
        int connected = ::connect(fd_, found->ai_addr, found->ai_addrlen);
        freeaddrinfo(found);
        if (connected != 0) {
            Debug("Winsock connect failed.\n");
            return 0;
        }
        Debug("Winsock connect success.\n");
        // Every read, the TLS handshake's included, waits at most the
        // timeout; 0 leaves them unbounded as the setting asks.
        if (settings_.timeout > 0) {
            timeval limit{};
            limit.tv_sec = static_cast<time_t>(settings_.timeout);
            setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
            setsockopt(fd_, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
        }
        if (settings_.ssl) {
            // The server's certificate is not verified.
            context_ = SSL_CTX_new(TLS_client_method());
            if (context_ == nullptr) return 0;
            ssl_ = SSL_new(context_);
            if (ssl_ == nullptr) return 0;
            SSL_set_fd(ssl_, fd_);
            SSL_connect(ssl_);  // a failed handshake shows as failed reads later
        }
        return 1;
    }

    void Send(const std::string& text) {
        if (ssl_ != nullptr) {
            if (!text.empty()) SSL_write(ssl_, text.data(), static_cast<int>(text.size()));
            return;
        }
        platform::SendAll(fd_, text);  // a failed send shows as a failed read of the reply
    }

    void SendEchoed(const std::string& text) {
        if (settings_.debug) {
            std::string shown = text;
            for (size_t at; (at = shown.find("\r\n")) != std::string::npos;) shown.replace(at, 2, "\n");
            std::fputs(shown.c_str(), stdout);
        }
        Send(text);
    }

    // Positive (200..399) or not; the reply's text stays in lastReply.
    bool ReadReply() {
        std::string buffer;
        size_t scanned = 0;
        for (;;) {
            if (buffer.size() >= kReplyBuffer) {
                lastReply = "451 Requested action aborted: overflow of token.";
                std::printf("%s\n", lastReply.c_str());
                return false;
            }
            char chunk[kReplyBuffer];
            size_t room = kReplyBuffer - buffer.size();
            long n = ssl_ != nullptr ? SSL_read(ssl_, chunk, static_cast<int>(room))
                                     : static_cast<long>(::recv(fd_, chunk, room, 0));
            if (n <= 0) {
                char text[96];
                std::snprintf(text, sizeof text, "451 Requested action aborted: error in processing.(code=%d)\n",
                              errno);
                lastReply = text;
                std::fputs(text, stdout);
                return false;
            }
            buffer.append(chunk, static_cast<size_t>(n));
            if (settings_.debug) std::fwrite(chunk, 1, static_cast<size_t>(n), stdout);
            bool final = false;
            for (size_t end; !final && (end = buffer.find('\n', scanned)) != std::string::npos;) {
                std::string_view line(buffer.data() + scanned, end - scanned);
                if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
                final = line.size() <= 3 || line[3] == ' ';
                scanned = end + 1;
            }
            if (final) break;
        }
        lastReply = buffer;
        int code = std::atoi(buffer.c_str());
        return code >= 200 && code <= 399;
    }

    std::string lastReply;

private:
    void Debug(const char* text) const {
        if (settings_.debug) std::fputs(text, stdout);
    }

    const SendmailSettings& settings_;
    int fd_ = -1;
    SSL_CTX* context_ = nullptr;
    SSL* ssl_ = nullptr;
};

void Log(const SendmailSettings& s, const char* text) { WriteSendLog(s.logFile, text, std::time(nullptr)); }

// "PLAIN" among the mechanisms of the EHLO reply's AUTH line.
bool OffersAuthPlain(const std::string& reply) {
    std::istringstream lines(reply);
    for (std::string line; std::getline(lines, line);) {
        std::transform(line.begin(), line.end(), line.begin(), [](unsigned char c) { return std::toupper(c); });
        if (line.size() < 9 || line.compare(4, 4, "AUTH") != 0 || (line[8] != ' ' && line[8] != '=')) continue;
        std::istringstream words(line.substr(9));
        for (std::string word; words >> word;)
            if (word == "PLAIN") return true;
    }
    return false;
}

std::vector<std::string> SplitList(const std::string& list) {
    std::vector<std::string> items;
    std::string item;
    std::istringstream in(list);
    while (std::getline(in, item, ','))
        if (!item.empty()) items.push_back(item);
    return items;
}

bool RunSmtpSession(SmtpConnection& c, const SendmailSettings& s, const std::string& boundary) {
    Log(s, "send start.");
    bool accepted = false;
    auto finish = [&] {
        // The input file goes only once the message is the server's.
        if (accepted && !s.inputFile.empty() && s.deleteInputFile) std::remove(s.inputFile.c_str());
        c.SendEchoed("QUIT\r\n");
        c.ReadReply();
        return accepted;
    };
    if (!c.ReadReply()) {
        Log(s, "send fail. code=0x8001");
        return finish();
    }
    c.SendEchoed((s.esmtp ? "EHLO " : "HELO ") + s.smtpServer + "\r\n");
    if (!c.ReadReply()) {
        bool helo = false;
        if (s.esmtp) {
            c.SendEchoed("HELO " + s.smtpServer + "\r\n");
            helo = c.ReadReply();
        }
        if (!helo) {
            Log(s, "send fail. code=0x8002");
            return finish();
        }
    } else if (s.esmtp && OffersAuthPlain(c.lastReply)) {
        std::string credentials = std::string(1, '\0') + s.authId + std::string(1, '\0') + s.authPass;
        c.SendEchoed("AUTH PLAIN " + common::TextToBase64(credentials) + "\r\n");
        if (!c.ReadReply()) return finish();
    }
    c.SendEchoed("MAIL From: <" + s.fromAddress + ">\r\n");
    if (!c.ReadReply()) {
        Log(s, "send fail. code=0x8003");
        return finish();
    }
    int recipients = 0;
    for (const std::string& to : SplitList(s.recipients)) {
        c.SendEchoed("RCPT To: <" + to + ">\r\n");
        if (c.ReadReply()) ++recipients;
    }
    if (recipients == 0) return false;
    c.SendEchoed("DATA\r\n");
    if (!c.ReadReply()) {
        Log(s, "send fail. code=0x8004");
        return finish();
    }
    for (const std::string& header : BuildHeaders(s, boundary, FormatMailDate(std::time(nullptr))))
        c.SendEchoed(header);
    std::vector<std::string> body;
    bool haveBody = !s.inputFile.empty() || !s.message.empty();
    if (!ReadBodyLines(s, body)) std::printf("Send data file not found : %s\n", s.inputFile.c_str());
    std::string subtype = s.html ? "html" : "plain";
    if (!s.attachments.empty() && haveBody)
        c.SendEchoed("--" + boundary + "\r\nContent-Type: text/" + subtype + ";\r\n\tcharset=\"" + s.charset +
                     "\"\r\n\r\n");
    for (const std::string& line : body) c.SendEchoed(line);
    if (!s.attachments.empty()) {
        for (const std::string& path : SplitList(s.attachments)) {
            c.SendEchoed("\r\n--" + boundary + "\r\n");
            c.SendEchoed("Content-Transfer-Encoding: base64\r\n");
            c.SendEchoed("Content-Type: application/octet-stream;\r\n\tname=\"" + AttachmentName(path) +
                         "\"\r\n\r\n");
            std::ifstream file(path, std::ios::binary);
            if (!file) {
                if (s.debug) std::printf("Attach file not found: %s\n", path.c_str());
                continue;
            }
            std::string data((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
            for (const std::string& line : AttachmentLines(data)) c.SendEchoed(line);
        }
        c.SendEchoed("\r\n--" + boundary + "--\r\n");
    }
    // The data always ends, a message without body text included.
    c.SendEchoed("\r\n.\r\n");
    if (c.ReadReply()) {
        accepted = true;
        Log(s, "send success. code=0x0000");
    } else {
        Log(s, "send fail. code=0x8005");
    }
    return finish();
}

}  // namespace

bool SendMail(const SendmailSettings& settings, const std::string& boundary) {
    std::string refused = FindLineBreakValue(settings);
    if (!refused.empty()) {
        std::printf("%s\n", refused.c_str());
        return false;
    }
    SmtpConnection connection(settings);
    if (connection.Connect() != 1) {
        Log(settings, "connect fail.");
        return false;
    }
    Log(settings, "connect success.");
    return RunSmtpSession(connection, settings, boundary);
}

}  // namespace sendmail
