// The client-to-server half of the line relay: one command, or the data
// part of an SMTP mail with its checks.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <string>

#include "common/ascii_case.h"
#include "common/file_retry.h"
#include "common/http_date.h"
#include "common/pipe_messages.h"
#include "engine/access/admission.h"
#include "engine/core/daily_log.h"
#include "engine/core/engine_settings.h"
#include "engine/core/header_text.h"
#include "engine/core/pipe_clients.h"
#include "engine/linerelay/relay_io.h"
#include "engine/linerelay/reply_completion.h"
#include "engine/mail/mail_data.h"
#include "engine/mail/mail_spool.h"
#include "engine/mail/relay_sessions.h"
#include "engine/mail/reply_rewrite.h"
#include "platform/io/full_write.h"

namespace engine {
namespace {

constexpr const char* kFunction = "ClientToServerSession";
constexpr std::size_t kSenderLimit = 1023;
constexpr std::size_t kUserLimit = 1023;
// A command line longer than this is no command of these protocols: the
// relay ends rather than hold an endless line in memory.
constexpr std::size_t kCommandByteLimit = 1 << 20;
// A mail goes to the server in pieces of this size.
constexpr std::size_t kMailSendPiece = 256 * 1024;

bool Starts(std::string_view text, std::string_view prefix) {
    return common::StartsWithIgnoringAsciiCase(text, prefix);
}

// Reads one complete command (with the IMAP literals it carries) into
// `command`; what follows it stays for the next call. False when the client
// ended or failed first.
bool ReceiveCommand(LineRelayState& state, std::string& command) {
    std::string& data = state.clientAhead;
    ImapCommandScanner imap(state.continuationOpen ? state.clientLiteral : 0);
    for (;;) {
        const std::size_t length = state.protocol == LineProtocol::Imap4 ? imap.Scan(data) : FirstLineLength(data);
        if (length != kIncomplete) {
            command = data.substr(0, length);
            data.erase(0, length);
            if (state.protocol == LineProtocol::Imap4) state.clientLiteral = imap.owed();
            return true;
        }
        // A literal the client announced may be large; a line may not.
        const bool inLiteral = state.protocol == LineProtocol::Imap4 && imap.owed() > 0;
        if (data.size() > kCommandByteLimit && !inLiteral) return false;
        if (ReceiveFromClient(state, data, kFunction) <= 0) return false;
    }
}

bool AnswerClient(LineRelayState& state, std::string_view answer) {
    return SendToClient(state, answer, kFunction);
}

// --- SMTP ---------------------------------------------------------------

void StartMail(LineRelayState& state, const std::string& command) {
    ConnectionRecord* record = state.record;
    AssignField(record->MailId, MakeMailId(), kHostNameWidth);
    state.sender = CommandAddress(command).substr(0, kSenderLimit);
    for (bool spool : {true, false}) {
        if (spool && !record->ArchiveMail) continue;
        MailEnvelopeFile(record->MailId, command, EnvelopeLine::Start, spool);
        MailEnvelopeFile(record->MailId, command, EnvelopeLine::ReturnPath, spool);
    }
    state.mail = MailState::From;
    state.senderAnswerDue = true;
}

void EndMail(LineRelayState& state) {
    if (!state.record->MailId.empty()) DeleteMailEnvelope(state.record->MailId);
    state.mail = MailState::Idle;
    state.pendingRecipient.clear();
}

int SmtpCommand(LineRelayState& state, std::string& command) {
    if (common::EqualsIgnoringAsciiCase(command, "quit\r\n")) return kRelayQuit;
    if (common::EqualsIgnoringAsciiCase(command, "rset\r\n")) {
        EndMail(state);
        return kRelayGoOn;
    }
    if (Starts(command, "starttls")) {
        if (state.tls.offerToClient && !state.tls.clientSwitched) {
            state.tls.clientAsked = true;
            return AnswerClient(state, "220 Ready to start TLS\r\n") ? kRelayStartTlsAnswered : kRelayFailed;
        }
        // Passed on, the server would start TLS with a relay that can't.
        return AnswerClient(state, "454 TLS not available\r\n") ? kRelayAnswered : kRelayFailed;
    }
    if ((Starts(command, "ehlo") || Starts(command, "helo")) && state.tls.towardsServer && !state.tls.serverSwitched) {
        std::string argument = std::string(WithoutLineEnd(command)).substr(4);
        while (!argument.empty() && argument.front() == ' ') argument.erase(0, 1);
        if (!StartTlsTowardsServer(state, argument)) return kRelayFailed;
    }
    if (Starts(command, "mail from:") && (state.mail == MailState::Idle)) {
        StartMail(state, command);
        return kRelayGoOn;
    }
    if (Starts(command, "data")) {
        if (state.mail != MailState::Recipients) {
            // No accepted recipient: the server says why, as it would
            // without the relay (its own answer to DATA).
            return kRelayGoOn;
        }
        state.mail = MailState::Data;
        return AnswerClient(state, "354 <CRLF>.<CRLF>\r\n") ? kRelayRetrieval : kRelayFailed;
    }
    if (state.mail == MailState::From || state.mail == MailState::Recipients) state.pendingRecipient = command;
    return kRelayGoOn;
}

// The server's idle time-out runs while the client uploads a mail the
// relay answered 354 itself: a NOOP now and then keeps the server waiting.
// Servers count NOOPs as junk commands, so they are not sent more often
// than needed. The environment may ask for a shorter interval, never a
// longer one.
int ServerKeepAliveMs() {
    static const int interval = [] {
        constexpr int kDefault = 30'000;
        const char* text = std::getenv("VELQOR_SMTP_KEEPALIVE_MS");
        if (!text || !*text) return kDefault;
        char* end = nullptr;
        const long value = std::strtol(text, &end, 10);
        return *end == '\0' && value > 0 && value < kDefault ? static_cast<int>(value) : kDefault;
    }();
    return interval;
}

bool KeepServerWaiting(LineRelayState& state) {
    std::string reply;
    return SendToServer(state, "NOOP\r\n", kFunction) && ReadServerReply(state, reply, kFunction);
}

// Receives the data part up to the "." line into the capture file, after
// the Received: lines, piece by piece: memory holds one read whatever the
// mail's size. False when the client ended first.
bool CaptureMail(LineRelayState& state) {
    using Clock = std::chrono::steady_clock;
    const EngineSettings& settings = Settings();
    ConnectionRecord* record = state.record;
    const int fd = OpenForRewrite(state.capturePath);
    if (fd < 0) {
        WriteLogF("[%s] [%04d] capture file open failed. (%s) errno = %d\n", kFunction, state.client,
                  state.capturePath.c_str(), errno);
        return false;
    }
    std::string out;
    if (settings.addHeaders) {
        out = "Received: from " + record->ClientHostName + " by " + record->ListenHostName + " (VELQOR Server);\r\n";
        out += "\t" + common::FormatRfc822Date() + "\r\n";
    }
    const std::chrono::milliseconds keepAlive(ServerKeepAliveMs());
    const std::chrono::milliseconds clientTimeout(settings.timeouts.clientPlain);
    Clock::time_point serverContact = Clock::now();
    Clock::time_point clientContact = serverContact;
    std::string& data = state.clientAhead;
    MailDataLines lines;
    std::uint64_t written = 0;
    bool ok = true;
    for (;;) {
        const std::size_t used = lines.Feed(data, out);
        data.erase(0, used);
        ok = platform::WriteAll(fd, out);
        written += out.size();
        out.clear();
        if (!ok || lines.ended()) break;
        const Clock::time_point now = Clock::now();
        if (now - serverContact >= keepAlive) {
            if (!KeepServerWaiting(state)) {
                ok = false;
                break;
            }
            serverContact = Clock::now();
        }
        const auto wait = std::min(keepAlive - (now - serverContact), clientTimeout - (now - clientContact));
        const int waitMs =
            static_cast<int>(std::max<long long>(1, std::chrono::duration_cast<std::chrono::milliseconds>(wait).count()));
        const int n = ReceiveFromClientWithin(state, data, kFunction, waitMs);
        if (n == kReceiveTimedOut && Clock::now() - clientContact < clientTimeout) continue;
        if (n <= 0) {
            if (n == kReceiveTimedOut)
                WriteLogF("[%s] [%04d] S:recv:%d bytes. / error = %d\n", kFunction, state.client, -1, ETIMEDOUT);
            ok = false;
            break;
        }
        clientContact = Clock::now();
    }
    ok = ok && EndFileAt(fd, written);
    ok = ::close(fd) == 0 && ok;
    return ok && lines.ended();
}

// Sends the capture file to the server in large pieces.
bool SendCaptureFile(LineRelayState& state) {
    const int fd = ::open(state.capturePath.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        WriteLogF("[%s] [%04d] capture file read failed. (%s)\n", kFunction, state.client, state.capturePath.c_str());
        return false;
    }
    std::string buffer(kMailSendPiece, '\0');
    bool ok = true;
    for (;;) {
        const ssize_t n = ::read(fd, buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            WriteLogF("[%s] [%04d] capture file read failed. (%s)\n", kFunction, state.client,
                      state.capturePath.c_str());
            ok = false;
        }
        if (n <= 0) break;
        if (!SendToServer(state, std::string_view(buffer.data(), static_cast<std::size_t>(n)), kFunction)) {
            ok = false;
            break;
        }
    }
    ::close(fd);
    return ok;
}

int RefuseMail(LineRelayState& state, const char* why, const std::string& finding) {
    const std::string answer = std::string("552 Requested mail action aborted: ") + why + " found '" + finding + "'.\r\n";
    if (!AnswerClient(state, answer)) return kRelayFailed;
    Backup_Mail(state.client, state.record->MailId, false);
    EndMail(state);
    return kRelayMailRefused;
}

// Mode 1: the mail after DATA.
int RelayMail(LineRelayState& state) {
    const EngineSettings& settings = Settings();
    ConnectionRecord* record = state.record;
    if (!CaptureMail(state)) return kRelayFailed;
    const std::string& mailId = record->MailId;

    std::string finding;
    ScanSpamFile(settings, state.client, common::BuildSpamRequest(state.capturePath, record->ClientAddress, state.sender),
                 finding);
    WriteLogF("[%s] [%04d] [%s] SPAM result [%s]\n", kFunction, state.client, mailId.c_str(),
              finding.empty() ? "CLEAN" : finding.c_str());
    if (!finding.empty() && settings.spamReject) return RefuseMail(state, "SPAM", finding);

    finding.clear();
    ScanFile(settings, static_cast<int>(state.protocol), state.client, state.capturePath, finding);
    WriteLogF("[%s] [%04d] [%s] VIRUS result [%s]\n", kFunction, state.client, mailId.c_str(),
              finding.empty() ? "CLEAN" : finding.c_str());
    if (!finding.empty() && record->AdmissionClass != kAdmissionPass) return RefuseMail(state, "Virus", finding);

    BackupCopy(state.client, state.capturePath, mailId);
    if (record->ArchiveMail) {
        std::string reply;
        CompressedbyPipe(settings, state.client, state.capturePath, mailId, reply);
    }

    // The server must agree to take the mail before any of its lines go
    // out: otherwise they would reach it as commands.
    std::string answer;
    if (!SendToServer(state, "DATA\r\n", kFunction) || !ReadServerReply(state, answer, kFunction))
        return kRelayFailed;
    if (answer.compare(0, 4, "354 ") != 0 && answer.compare(0, 4, "354-") != 0 && WithoutLineEnd(answer) != "354") {
        if (!AnswerClient(state, answer)) return kRelayFailed;
        Backup_Mail(state.client, mailId, false);
        EndMail(state);
        return kRelayMailRefused;
    }
    state.mail = MailState::Sending;

    // Sent from the file: the spam server may have marked the mail in place
    // and the archiving server rewritten it.
    if (!SendCaptureFile(state)) return kRelayFailed;
    return kRelayGoOn;
}

// --- POP3 ---------------------------------------------------------------

int Pop3Command(LineRelayState& state, std::string& command) {
    if (Starts(command, "user ") || Starts(command, "apop ")) {
        std::string user = std::string(WithoutLineEnd(command)).substr(5);
        const std::size_t blank = user.find(' ');
        if (blank != std::string::npos) user.erase(blank);
        state.popUser = user.substr(0, kUserLimit);
    }
    if (Starts(command, "stls")) {
        if (state.tls.offerToClient && !state.tls.clientSwitched) {
            state.tls.clientAsked = true;
            return AnswerClient(state, "+OK  Begin TLS negotiation\r\n") ? kRelayStartTlsAnswered : kRelayFailed;
        }
        return AnswerClient(state, "-ERR TLS not available\r\n") ? kRelayAnswered : kRelayFailed;
    }
    if (common::EqualsIgnoringAsciiCase(command, "quit\r\n")) return kRelayQuit;
    state.topForm = false;
    if (Starts(command, "retr ")) return kRelayRetrieval;
    if (Starts(command, "top ")) {
        // Asked as RETR, so the whole mail is scanned; the answer is cut
        // back to the TOP form on its way to the client.
        const std::string line = std::string(WithoutLineEnd(command));
        const unsigned long number = std::strtoul(line.c_str() + 4, nullptr, 10);
        state.topLines = std::strtoul(line.c_str() + line.rfind(' ') + 1, nullptr, 10);
        state.topForm = true;
        command = "RETR " + std::to_string(number) + "\r\n";
        return kRelayRetrieval;
    }
    return kRelayGoOn;
}

// --- IMAP4 --------------------------------------------------------------

int Imap4Command(LineRelayState& state, std::string& command) {
    if (state.continuationOpen) {
        // The rest of a command the server asked for: no tag of its own.
        state.continuationOpen = false;
        return kRelayGoOn;
    }
    const std::size_t tagEnd = command.find_first_of(" \r\n");
    state.imapTag = command.substr(0, tagEnd) + " ";
    const std::string_view rest =
        tagEnd == std::string::npos ? std::string_view() : std::string_view(command).substr(tagEnd + 1);
    if (state.mail == MailState::Fetch) state.mail = MailState::Idle;
    if (Starts(rest, "logout")) return kRelayQuit;
    if (Starts(rest, "starttls")) {
        if (state.tls.offerToClient && !state.tls.clientSwitched) {
            state.tls.clientAsked = true;
            return AnswerClient(state, state.imapTag + "OK Begin TLS negotiation now\r\n") ? kRelayStartTlsAnswered
                                                                                          : kRelayFailed;
        }
        return AnswerClient(state, state.imapTag + "NO TLS not available\r\n") ? kRelayAnswered : kRelayFailed;
    }
    if (Starts(rest, "fetch ") || Starts(rest, "uid fetch ")) {
        state.mail = MailState::Fetch;
        return kRelayRetrieval;
    }
    return kRelayGoOn;
}

}  // namespace

int ClientToServerSession(LineRelayState& state, int mode) {
    WriteLogF("[%s] [%04d] Start. sockCl=%04d, sockSv=%04d\n", kFunction, state.client, state.client, state.server);
    if (mode == 1) return RelayMail(state);

    std::string command;
    if (!ReceiveCommand(state, command)) return kRelayFailed;
    state.lastCommand = WithoutLineEnd(std::string_view(command).substr(0, std::min(command.size(), kRequestLineWidth - 1)));

    int result = kRelayGoOn;
    switch (state.protocol) {
    case LineProtocol::Smtp: result = SmtpCommand(state, command); break;
    case LineProtocol::Pop3: result = Pop3Command(state, command); break;
    case LineProtocol::Imap4: result = Imap4Command(state, command); break;
    case LineProtocol::Ftp:
        if (!state.ftp->OnClientCommand(state, command)) return kRelayFailed;
        break;
    }
    if (result == kRelayFailed || result == kRelayAnswered || result == kRelayStartTlsAnswered) return result;
    if (state.protocol == LineProtocol::Smtp && result == kRelayRetrieval) return result;
    if (!SendToServer(state, command, kFunction)) return kRelayFailed;
    return result;
}

}  // namespace engine
