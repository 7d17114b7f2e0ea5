// The client-to-server half of the line relay: one command, or the data
// part of an SMTP mail with its checks.
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

#include "common/ascii_case.h"
#include "common/file_retry.h"
#include "common/http_date.h"
#include "engine/access/admission.h"
#include "engine/core/daily_log.h"
#include "engine/core/engine_settings.h"
#include "engine/core/pipe_clients.h"
#include "engine/http/header_text.h"
#include "engine/mail/mail_spool.h"
#include "engine/mail/relay_io.h"
#include "engine/mail/relay_sessions.h"
#include "engine/mail/reply_completion.h"
#include "engine/mail/reply_rewrite.h"

namespace engine {
namespace {

constexpr const char* kFunction = "ClientToServerSession";
constexpr std::size_t kSenderLimit = 1023;
constexpr std::size_t kUserLimit = 1023;
// A command line longer than this is no command of these protocols: the
// relay ends rather than hold an endless line in memory.
constexpr std::size_t kCommandByteLimit = 1 << 20;
constexpr const char* kMailEnd = "\r\n.\r\n";

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

// Receives the data part up to the "." line into the capture file, after
// the Received: lines, and keeps what it wrote in `mail`. False when the
// client ended first.
bool CaptureMail(LineRelayState& state, std::string& mail) {
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
    // The end may straddle two reads: the last bytes written are kept.
    std::string tail = "\r\n";  // the data part begins at a line start
    std::string& data = state.clientAhead;
    bool complete = false;
    bool ok = true;
    while (ok) {
        const std::string probe = tail + data;
        const std::size_t end = probe.find(kMailEnd);
        if (end != std::string::npos) {
            const std::size_t own = end + 5 - tail.size();
            out.append(data, 0, own);
            data.erase(0, own);
            complete = true;
        } else {
            out += data;
            tail = probe.size() >= 4 ? probe.substr(probe.size() - 4) : probe;
            data.clear();
        }
        if (!out.empty()) {
            mail += out;
            const char* at = out.data();
            std::size_t left = out.size();
            while (left > 0) {
                const ssize_t n = ::write(fd, at, left);
                if (n < 0 && errno == EINTR) continue;
                if (n <= 0) {
                    ok = false;
                    break;
                }
                at += n;
                left -= static_cast<std::size_t>(n);
            }
            out.clear();
        }
        if (complete || !ok) break;
        if (ReceiveFromClient(state, data, kFunction) <= 0) ok = false;
    }
    ok = ok && EndFileAt(fd, mail.size());
    ok = ::close(fd) == 0 && ok;
    return ok && complete;
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
    std::string mail;
    if (!CaptureMail(state, mail)) return kRelayFailed;
    // The spam server marks a mail in place, the archiving server rewrites it.
    bool rewritten = false;
    const std::string& mailId = record->MailId;

    std::string finding;
    ScanSpamFile(settings, state.client, state.capturePath + "\t" + record->ClientAddress + "\t" + state.sender,
                 finding);
    WriteLogF("[%s] [%04d] [%s] SPAM result [%s]\n", kFunction, state.client, mailId.c_str(),
              finding.empty() ? "CLEAN" : finding.c_str());
    if (!finding.empty() && settings.spamReject) return RefuseMail(state, "SPAM", finding);
    rewritten = !finding.empty();

    finding.clear();
    ScanFile(settings, static_cast<int>(state.protocol), state.client, state.capturePath, finding);
    WriteLogF("[%s] [%04d] [%s] VIRUS result [%s]\n", kFunction, state.client, mailId.c_str(),
              finding.empty() ? "CLEAN" : finding.c_str());
    if (!finding.empty() && record->AdmissionClass != kAdmissionPass) return RefuseMail(state, "Virus", finding);

    BackupCopy(state.client, state.capturePath, mailId);
    if (record->ArchiveMail) {
        std::string reply;
        CompressedbyPipe(settings, state.client, state.capturePath, mailId, reply);
        rewritten = true;
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

    if (rewritten && !ReadWholeFile(state.capturePath, mail)) {
        WriteLogF("[%s] [%04d] capture file read failed. (%s)\n", kFunction, state.client, state.capturePath.c_str());
        return kRelayFailed;
    }
    if (!SendToServer(state, mail, kFunction)) return kRelayFailed;
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
