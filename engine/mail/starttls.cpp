// STARTTLS on either side of the line relay.
#include <string>

#include "common/ascii_case.h"
#include "engine/core/daily_log.h"
#include "engine/core/engine_settings.h"
#include "engine/linerelay/relay_io.h"
#include "engine/linerelay/reply_completion.h"
#include "engine/mail/relay_sessions.h"
#include "engine/mail/reply_rewrite.h"
#include "engine/tls/tls.h"

namespace engine {
namespace {

constexpr const char* kFunction = "ClientToServerSession";

bool MentionsStartTls(std::string_view reply) {
    std::string lower(reply);
    for (char& c : lower) c = common::LowerAscii(c);
    return lower.find("starttls") != std::string::npos;
}

// A server that won't switch: the connection stays plain, as the
// connection list's "-" allows, but not without a word in the log.
bool Refused(const LineRelayState& state) {
    WriteLogF("[%s] [%04d] [%04d] the server refused STARTTLS: the connection stays plain.\n", kFunction,
              state.client, state.server);
    return true;
}

constexpr const char* kImapTag = "orq0";

// The capabilities a greeting names are those of the plain connection
// (LOGINDISABLED, STARTTLS): after the switch the client asks anew.
std::string WithoutCapabilityCode(std::string greeting) {
    const std::size_t open = greeting.find("[CAPABILITY ");
    const std::size_t close = open == std::string::npos ? open : greeting.find(']', open);
    if (close == std::string::npos) return greeting;
    std::size_t end = close + 1;
    if (end < greeting.size() && greeting[end] == ' ') ++end;
    return greeting.erase(open, end - open);
}

}  // namespace

bool RelayImapGreetingOverTls(LineRelayState& state) {
    std::string greeting;
    if (!ReadServerReply(state, greeting, kFunction) || !StartTlsTowardsServer(state, "")) return false;
    if (state.tls.serverSwitched) greeting = WithoutCapabilityCode(greeting);
    greeting = RewriteImapCapabilities(greeting, state.tls.offerToClient && !state.tls.clientSwitched);
    return SendToClient(state, greeting, kFunction);
}

bool StartTlsTowardsServer(LineRelayState& state, const std::string& ehloArgument) {
    const EngineSettings& settings = Settings();
    state.tls.towardsServer = false;  // asked once, whatever the server says
    std::string reply;
    if (state.protocol == LineProtocol::Smtp) {
        const std::string ehlo = "EHLO " + (ehloArgument.empty() ? state.record->ListenHostName : ehloArgument);
        if (!SendToServer(state, ehlo.substr(0, 253) + "\r\n", kFunction) ||
            !ReadServerReply(state, reply, kFunction))
            return false;
        if (!MentionsStartTls(reply)) return Refused(state);
        if (!SendToServer(state, "STARTTLS\r\n", kFunction) || !ReadServerReply(state, reply, kFunction))
            return false;
        if (reply.empty() || reply[0] != '2') return Refused(state);
    } else if (state.protocol == LineProtocol::Pop3) {
        if (!SendToServer(state, "STLS\r\n", kFunction) || !ReadServerReply(state, reply, kFunction)) return false;
        if (!common::StartsWithIgnoringAsciiCase(reply, "+ok")) return Refused(state);
    } else if (state.protocol == LineProtocol::Imap4) {
        // The relay's own command, under a tag of its own; the client's
        // first command takes the tag back.
        state.imapTag = std::string(kImapTag) + " ";
        const bool answered = SendToServer(state, std::string(kImapTag) + " STARTTLS\r\n", kFunction) &&
                              ReadServerReply(state, reply, kFunction);
        state.imapTag.clear();
        if (!answered) return false;
        if (!common::StartsWithIgnoringAsciiCase(reply, std::string(kImapTag) + " ok")) return Refused(state);
    } else {
        return true;
    }
    state.tls.serverAgreed = true;
    // Bytes the server sent before its TLS started would be taken for TLS.
    state.serverAhead.clear();
    state.record->Tls.server =
        OpenSSLClient(state.server, settings.timeouts.Handshake(settings.timeouts.serverTls), state.record->ServerHost);
    if (!state.record->Tls.server) {
        WriteLogF("[%s] [%04d] [%04d] STARTTLS towards the server failed.\n", kFunction, state.client, state.server);
        return false;
    }
    state.tls.serverSwitched = true;
    return true;
}

bool StartTlsTowardsClient(LineRelayState& state) {
    const EngineSettings& settings = Settings();
    ConnectionRecord* record = state.record;
    // Plain bytes the client sent behind its STARTTLS are dropped: taken
    // as commands, they would ride into the TLS session unauthenticated.
    state.clientAhead.clear();
    record->Tls.client = OpenSSLServer(state.client, record->Tls.certificateFile, record->Tls.privateKeyFile,
                                       settings.timeouts.Handshake(settings.timeouts.clientTls));
    if (!record->Tls.client) {
        WriteLogF("[TelnetDispatch] [%04d] STARTTLS towards the client failed.\n", state.client);
        return false;
    }
    state.tls.clientSwitched = true;
    return true;
}

}  // namespace engine
