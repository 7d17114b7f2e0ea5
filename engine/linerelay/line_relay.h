// The lockstep line relay shared by the SMTP, POP3 and IMAP4 relays, the
// FTP control channel and the SOCKS connections that carry one of these:
// one client command goes to the server, then the server's whole answer
// goes back to the client, and only then is the next command read.
//
// How a protocol plugs in
// -----------------------
// The relay core (telnet_dispatch.cpp, client_session.cpp,
// server_session.cpp, in engine/mail above this folder) knows the four
// protocols' line rules: when a command is complete, when a reply is
// complete (reply_completion.h), the SMTP mail state and the POP3/IMAP4
// retrievals. What a protocol adds beyond that goes through hooks:
//
//  - FTP control: an FtpControlHooks object (below), made by the factory
//    that the caller of TelnetDispatch hands over in LineRelayPlugins. It
//    sees every client command before it goes to the server (user, cwd, the
//    cache of retr, PORT/EPRT rewriting, PASV/EPSV bridging, the data
//    thread's flag file) and every complete server reply before it reaches
//    the client (227/229 rewriting, the 425 of a data channel that failed),
//    and is told when the data channel's state is to be cleared and when
//    the relay ends. Without a factory the FTP control channel is relayed
//    unchanged (the hooks' defaults do nothing).
//  - SOCKS: a SocksDispatchSteps record (mail/telnet_dispatch.h) with the steps
//    of the SOCKS exchange that TelnetDispatch runs around the connect: the
//    request, the refusal and success replies and the FTP data relay.
//
// Everything a hook may read or change about the relay is in LineRelayState.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "engine/core/connection.h"

namespace engine {

// The four line protocols, numbered as the engine's protocol option and
// the SOCKS-detected protocol number.
enum class LineProtocol : int { Smtp = 1, Pop3 = 2, Imap4 = 3, Ftp = 4 };

// Result codes of the client-to-server relay (ClientToServerSession).
inline constexpr int kRelayGoOn = 0;
inline constexpr int kRelayFailed = -1;        // the connection failed or ended
inline constexpr int kRelayQuit = 1;           // the client quit
inline constexpr int kRelayRetrieval = 2;      // SMTP DATA, or a command whose answer is a mail
inline constexpr int kRelayMailRefused = -2;   // the relay (or the server's DATA answer) refused the mail
inline constexpr int kRelayStartTlsAnswered = 9;  // the relay answered the client's STARTTLS/STLS itself
inline constexpr int kRelayAnswered = 8;       // the relay answered the command itself: no server answer follows

// Modes of the server-to-client relay (ServerToClientSession).
inline constexpr int kReplyCommand = 0;     // the answer to an ordinary command
inline constexpr int kReplyRetrieval = 1;   // the answer to a retrieval: a mail

// The SMTP mail state of one connection (and the IMAP4 FETCH mark).
enum class MailState { Idle = 0, From = 1, Recipients = 2, Data = 3, Sending = 4, Fetch = 5 };

// STARTTLS progress: see TelnetDispatch.
// The relay answers the client's STARTTLS itself and speaks TLS to the
// server on its own account: the two sides switch independently.
struct StartTlsState {
    bool clientAsked = false;      // the client sent STARTTLS or STLS
    bool clientSwitched = false;   // the client side speaks TLS since STARTTLS
    bool serverSwitched = false;   // the server side speaks TLS since STARTTLS
    bool serverAgreed = false;     // the server agreed to STARTTLS
    bool offerToClient = false;    // the listen entry names a certificate and a key
    bool towardsServer = false;    // the connection list asks STARTTLS towards the server ("-")
};

class FtpControlHooks;

// Everything the relay keeps about one line-protocol connection.
struct LineRelayState {
    ConnectionRecord* record = nullptr;
    LineProtocol protocol = LineProtocol::Smtp;
    int client = kNoSocket;
    int server = kNoSocket;
    // The connection's capture file: the mail being relayed, the retrieved
    // mail, and the spool the pipe servers are asked about.
    std::string capturePath;

    std::string lastCommand;     // the last client command, without its line end
    int lastResult = kRelayGoOn;  // the last result of the client relay
    std::string lastReplyLine;   // the last line of the last server reply
    StartTlsState tls;

    // Bytes received behind a complete command or reply: the start of the
    // next one.
    std::string clientAhead;
    std::string serverAhead;

    // SMTP
    MailState mail = MailState::Idle;
    std::string sender;           // from MAIL FROM, at most 1,023 characters
    std::string pendingRecipient; // the command whose 250 adds a Recipient line
    bool senderAnswerDue = false; // the next answer is the one to MAIL FROM

    // POP3
    std::string popUser;          // from USER or APOP, for the spam keyword list
    bool topForm = false;         // the retrieval was a TOP, sent as RETR
    unsigned long topLines = 0;

    // IMAP4
    std::string imapTag;          // the tag of the last command and a blank
    bool continuationOpen = false;  // the server asked for the rest of a command
    std::uint64_t clientLiteral = 0;  // literal bytes the client still owes

    // FTP: the protocol's own hooks (never null while relaying FTP).
    std::unique_ptr<FtpControlHooks> ftp;
};

// The FTP control channel's part of the relay. Every default does nothing,
// so the control channel passes unchanged until the FTP proxy fills them.
class FtpControlHooks {
public:
    virtual ~FtpControlHooks() = default;
    // A complete client command (line end included) before it goes to the
    // server; may rewrite it (PORT/EPRT to the engine's data listener,
    // PASV/EPSV bridging, RETR of a cached file). False ends the relay.
    virtual bool OnClientCommand(LineRelayState& state, std::string& command) {
        (void)state;
        (void)command;
        return true;
    }
    // A complete server reply before it reaches the client; may rewrite it
    // (227/229 to the engine's address and data port, 425 for a data
    // channel that failed to open).
    virtual void OnServerReply(LineRelayState& state, std::string& reply) {
        (void)state;
        (void)reply;
    }
    // The transfer's final reply has been relayed (or a 226 seen): the data
    // channel state of the transfer is over.
    virtual void ClearDataChannel(LineRelayState& state) { (void)state; }
    // The relay ends (the server socket is still open): clean-up of the
    // data channel's files.
    virtual void OnRelayEnd(LineRelayState& state) { (void)state; }
    // The wait for a server reply timed out: true to wait once more (a
    // transfer that still moves holds its final reply back).
    virtual bool ServerWaitGoesOn(LineRelayState& state) {
        (void)state;
        return false;
    }
    // True while a transfer's final reply is awaited: the relay then
    // watches the client as well as the server, since the client may abort
    // the transfer before its end.
    virtual bool WatchesClient(LineRelayState& state) {
        (void)state;
        return false;
    }
    // The client has bytes for the relay while WatchesClient: an ABOR
    // among them goes to the server at once.
    virtual void OnClientWhileWaiting(LineRelayState& state) { (void)state; }
    // After a transfer's final reply: true when the server owes one more
    // reply (that of an ABOR passed on during the transfer) and it has come
    // before the client's next command; the relay then sends it on.
    virtual bool OwedReplyComes(LineRelayState& state) {
        (void)state;
        return false;
    }
};

using FtpHooksFactory = std::function<std::unique_ptr<FtpControlHooks>(LineRelayState&)>;

}  // namespace engine
