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
#include "engine/linerelay/relay_io.h"
#include "engine/linerelay/reply_completion.h"
#include "engine/mail/alert_mail.h"
#include "engine/mail/mail_spool.h"
#include "engine/mail/relay_sessions.h"
#include "engine/mail/reply_rewrite.h"
#include "engine/mail/retrieval_relay.h"

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

}  // namespace

bool ReadServerReply(LineRelayState& state, std::string& reply, const char* function) {
    ReplyScanner scanner = ScannerFor(state, kReplyCommand);
    return Gather(state, scanner, reply, function);
}

int ServerToClientSession(LineRelayState& state, int mode) {
    WriteLogF("[%s] [%04d] Start. sockSv=%04d, sockCl=%04d\n", kFunction, state.client, state.server, state.client);
    if (mode == kReplyRetrieval && state.protocol == LineProtocol::Pop3) return RelayPop3Retrieval(state) ? 1 : 0;
    if (mode == kReplyRetrieval && state.protocol == LineProtocol::Imap4 && state.mail == MailState::Fetch)
        return RelayImapFetch(state) ? 1 : 0;
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
        break;
    case LineProtocol::Imap4:
        reply = RewriteImapCapabilities(reply, state.tls.offerToClient && !state.tls.clientSwitched);
        break;
    case LineProtocol::Ftp: state.ftp->OnServerReply(state, reply); break;
    }
    state.lastReplyLine = LastLine(reply);

    return SendToClient(state, reply, kFunction) ? 1 : 0;
}

}  // namespace engine
