// The server-to-client half of the line relay: one complete server reply,
// with the SMTP envelope steps, the STARTTLS rewrites and the checks of a
// retrieved mail.
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "common/ascii_case.h"
#include "common/file_retry.h"
#include "engine/core/daily_log.h"
#include "engine/core/engine_settings.h"
#include "engine/core/pipe_clients.h"
#include "engine/mail/alert_mail.h"
#include "engine/mail/mail_spool.h"
#include "engine/mail/relay_io.h"
#include "engine/mail/relay_sessions.h"
#include "engine/mail/reply_completion.h"
#include "engine/mail/reply_rewrite.h"

namespace engine {
namespace {

constexpr const char* kFunction = "ServerToClientSession";

bool Starts(std::string_view text, std::string_view prefix) {
    return common::StartsWithIgnoringAsciiCase(text, prefix);
}

int ReplyCode(std::string_view reply) {
    if (reply.size() < 3) return 0;
    int code = 0;
    for (int i = 0; i < 3; ++i) {
        if (reply[i] < '0' || reply[i] > '9') return 0;
        code = code * 10 + (reply[i] - '0');
    }
    return code;
}

std::string LastLine(std::string_view reply) {
    while (!reply.empty() && (reply.back() == '\n' || reply.back() == '\r')) reply.remove_suffix(1);
    const std::size_t lf = reply.rfind('\n');
    return std::string(lf == std::string_view::npos ? reply : reply.substr(lf + 1));
}

ReplyScanner ScannerFor(const LineRelayState& state, int mode) {
    switch (state.protocol) {
    case LineProtocol::Smtp: return ReplyScanner(ReplyKind::SmtpReply);
    case LineProtocol::Pop3:
        return ReplyScanner(mode == kReplyRetrieval || Pop3AnswerIsMultiLine(state.lastCommand) ? ReplyKind::Pop3Multi
                                                                                                : ReplyKind::Pop3Single);
    case LineProtocol::Imap4:
        // The greeting (no command yet) is one untagged line.
        if (state.imapTag.empty()) return ReplyScanner(ReplyKind::Pop3Single);
        return ReplyScanner(mode == kReplyRetrieval ? ReplyKind::ImapTagged : ReplyKind::ImapCommand, state.imapTag);
    case LineProtocol::Ftp: return ReplyScanner(ReplyKind::FtpReply);
    }
    return ReplyScanner(ReplyKind::SmtpReply);
}

// Gathers one complete reply; a server that ends or fails first leaves
// what it sent. False when nothing came.
bool Gather(LineRelayState& state, ReplyScanner& scanner, std::string& reply, const char* function) {
    std::string& data = state.serverAhead;
    for (;;) {
        const std::size_t length = scanner.Scan(data);
        if (length != kIncomplete) {
            reply = data.substr(0, length);
            data.erase(0, length);
            return true;
        }
        if (scanner.Overlong(data.size())) {
            WriteLogF("[%s] [%04d] [%04d] server reply longer than any reply: the relay ends.\n", function,
                      state.client, state.server);
            data.clear();
            return false;
        }
        if (ReceiveFromServer(state, data, function) <= 0) {
            reply.swap(data);
            data.clear();
            return !reply.empty();
        }
    }
}

// The SMTP envelope steps on the answer to the last command.
void SmtpEnvelopeStep(LineRelayState& state, std::string_view reply) {
    ConnectionRecord* record = state.record;
    const int code = ReplyCode(reply);
    if (state.mail == MailState::Sending) {
        Backup_Mail(state.client, record->MailId, code == 250);
        if (!record->MailId.empty()) DeleteMailEnvelope(record->MailId);
        state.mail = MailState::Idle;
        return;
    }
    if (state.senderAnswerDue) {
        // The answer to MAIL FROM itself: a refused sender starts no mail.
        state.senderAnswerDue = false;
        if (code / 100 != 2) {
            DeleteMailEnvelope(record->MailId);
            state.mail = MailState::Idle;
        }
        return;
    }
    if ((state.mail == MailState::From || state.mail == MailState::Recipients) && !state.pendingRecipient.empty()) {
        // 251 (not local, will forward) accepts the recipient as 250 does.
        if ((code == 250 || code == 251) && state.pendingRecipient.find(':') != std::string::npos) {
            for (bool spool : {true, false}) {
                if (spool && !record->ArchiveMail) continue;
                MailEnvelopeFile(record->MailId, state.pendingRecipient, EnvelopeLine::Recipient, spool);
            }
            if (Starts(state.pendingRecipient, "rcpt ")) state.mail = MailState::Recipients;
        }
        state.pendingRecipient.clear();
    }
}

std::string SpamListRequest(const LineRelayState& state) {
    return state.capturePath + "?spamkeyword/" + SafeFileNamePart(state.popUser) + ".db";
}

// Scans one spooled mail answer (`answer`, the content of the file at
// `path`) and turns it into the alert on a finding. A mail the spam server
// marked is read back from the file.
void CheckRetrievedFile(LineRelayState& state, const std::string& path, bool spamCheck, std::string& answer) {
    const EngineSettings& settings = Settings();
    const char* mailId = state.record->MailId.c_str();
    std::string finding;
    if (spamCheck) {
        ScanSpamFile(settings, state.client, path == state.capturePath ? SpamListRequest(state) : path, finding);
        WriteLogF("[%s] [%04d] [%04d] [%s] SPAM result [%s]\n", kFunction, state.client, state.server, mailId,
                  finding.empty() ? "CLEAN" : finding.c_str());
        if (!finding.empty()) {
            std::string marked;
            if (ReadWholeFile(path, marked)) answer.swap(marked);
        }
        finding.clear();
    }
    ScanFile(settings, static_cast<int>(state.protocol), state.client, path, finding);
    WriteLogF("[%s] [%04d] [%04d] [%s] VIRUS result [%s]\n", kFunction, state.client, state.server, mailId,
              finding.empty() ? "CLEAN" : finding.c_str());
    if (!finding.empty()) MakeMail(path, answer, finding, state.protocol, settings.keepVirusBody);
}

// POP3: the whole answer to RETR (or TOP) through the checks.
bool CheckPop3Retrieval(LineRelayState& state, std::string& reply) {
    if (Starts(reply, "-err")) return true;
    if (!WriteWholeFile(state.capturePath, reply)) {
        WriteLogF("[%s] [%04d] capture file write failed. (%s)\n", kFunction, state.client,
                  state.capturePath.c_str());
        return false;
    }
    CheckRetrievedFile(state, state.capturePath, true, reply);
    if (state.topForm) reply = CutToTop(reply, state.topLines);
    return true;
}

// IMAP4: each message of a FETCH answer through the scan on its own.
bool CheckImapFetch(LineRelayState& state, std::string& reply) {
    std::string out;
    int part = 0;
    std::vector<std::pair<std::size_t, std::size_t>> lines = ImapLogicalLines(reply);
    // Whatever follows the last whole line: nothing in a complete answer,
    // the start of a message in one the server cut short, which is checked
    // like a whole one.
    const std::size_t used = lines.empty() ? 0 : lines.back().first + lines.back().second;
    if (used < reply.size()) lines.emplace_back(used, reply.size() - used);
    for (const auto& [offset, length] : lines) {
        std::string line = reply.substr(offset, length);
        if (line.compare(0, 2, "* ") == 0 && ImapLiteralAtEnd(line.substr(0, line.find('\n') + 1)) >= 0) {
            char suffix[16];
            std::snprintf(suffix, sizeof suffix, ".%03d", part++ % 1000);
            const std::string path = state.capturePath + suffix;
            // A mail that can't be spooled can't be scanned: it doesn't go on.
            if (!WriteWholeFile(path, line)) {
                WriteLogF("[%s] [%04d] capture file write failed. (%s)\n", kFunction, state.client, path.c_str());
                common::DeleteWithRetry(path);
                return false;
            }
            CheckRetrievedFile(state, path, false, line);
            common::DeleteWithRetry(path);
        }
        out += line;
    }
    reply.swap(out);
    return true;
}

}  // namespace

bool ReadServerReply(LineRelayState& state, std::string& reply, const char* function) {
    ReplyScanner scanner = ScannerFor(state, kReplyCommand);
    return Gather(state, scanner, reply, function);
}

int ServerToClientSession(LineRelayState& state, int mode) {
    WriteLogF("[%s] [%04d] Start. sockSv=%04d, sockCl=%04d\n", kFunction, state.client, state.server, state.client);
    ReplyScanner scanner = ScannerFor(state, mode);
    std::string reply;
    if (!Gather(state, scanner, reply, kFunction)) return 0;
    if (scanner.continuation()) state.continuationOpen = true;

    switch (state.protocol) {
    case LineProtocol::Smtp:
        SmtpEnvelopeStep(state, reply);
        if (Starts(state.lastCommand, "ehlo"))
            reply = RewriteEhloAnswer(reply, state.tls.offerToClient && !state.tls.clientSwitched);
        break;
    case LineProtocol::Pop3:
        if (common::EqualsIgnoringAsciiCase(state.lastCommand, "capa"))
            reply = RewriteCapaAnswer(reply, state.tls.offerToClient && !state.tls.clientSwitched);
        if (mode == kReplyRetrieval && !CheckPop3Retrieval(state, reply)) return 0;
        break;
    case LineProtocol::Imap4:
        if (mode == kReplyRetrieval && state.mail == MailState::Fetch) {
            if (!CheckImapFetch(state, reply)) return 0;
        } else {
            reply = RewriteImapCapabilities(reply, state.tls.offerToClient && !state.tls.clientSwitched);
        }
        break;
    case LineProtocol::Ftp: state.ftp->OnServerReply(state, reply); break;
    }
    state.lastReplyLine = LastLine(reply);

    return SendToClient(state, reply, kFunction) ? 1 : 0;
}

}  // namespace engine
