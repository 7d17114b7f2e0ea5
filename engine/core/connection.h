// The connection record: everything the engine keeps about one client
// connection, from accept to close. The listener makes it, the
// connection's worker owns it from then on, and CloseClient ends it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include "engine/core/tls_session.h"

namespace engine {

// Capacities of the record's text fields: a field holds at most its width
// less one character (AssignField cuts longer texts).
inline constexpr std::size_t kHostNameWidth = 256;       // ServerHost, MailId, HostName, ListenHostName, ClientHostName
inline constexpr std::size_t kAddressTextWidth = 65;     // ListenAddress, ClientAddress, ServerAddressText, SendAddress
inline constexpr std::size_t kTlsFileWidth = 261;        // Tls.certificateFile, Tls.privateKeyFile
inline constexpr std::size_t kRequestFileWidth = 260;    // RequestFile
inline constexpr std::size_t kRequestLineWidth = 16385;  // RequestLine
// No request head is longer: the worker refuses longer ones.
inline constexpr std::size_t kRequestFileStartLimit = std::size_t{1} << 16;
// The transfer buffer: 16,384 bytes of data and a NUL.
inline constexpr std::size_t kWorkBufferData = 16384;
inline constexpr std::size_t kWorkBufferSize = kWorkBufferData + 1;
inline constexpr std::size_t kSocksReplySize = 262;

inline constexpr int kNoSocket = -1;

// How the body of the captured request is framed, as the worker read it:
// the road that forwards the request sends the body on from RequestFile.
struct RequestBodyFraming {
    bool framed = false;       // the head gave a Content-Length or a Transfer-Encoding
    bool chunked = false;      // the body in RequestFile is chunked
    std::uint64_t offset = 0;  // where the body begins in RequestFile: the head's length
    std::uint64_t length = 0;  // the body's data bytes, without a chunked framing
};

struct ConnectionRecord {
    int KeepAlive = 0;
    int ServerSocket = kNoSocket;
    std::string ServerHost;
    int ServerConnected = 0;
    int DestinationEncrypted = 0;
    int ServerUseStartTls = 0;
    int ServerUseTls = 0;
    // The TLS sessions towards the client (a TLS listen port or STARTTLS)
    // and the server, each with its own context, and the listen port's
    // certificate and key files. A session carries its own lock, so the
    // relay threads use it directly instead of copies of it.
    ConnectionTls Tls;
    int ClientFamily = 0;
    int ClientSocket = kNoSocket;  // its number is the "[%04d]" of every log line
    sockaddr_in6 LocalAddress6{};
    sockaddr_in LocalAddress{};
    socklen_t LocalAddressLength = 0;
    addrinfo* HostLookupList = nullptr;    // freed by CloseClient when still held
    addrinfo* HostLookupCursor = nullptr;

    int SocksVersion = 0;
    int SocksAddressLength = 0;
    std::string SocksAddress;
    std::array<unsigned char, kSocksReplySize> SocksReply{};
    int SocksPort = 0;
    int SocksProtocol = -1;  // -1 until known; 1 SMTP

    int StatusCode = 0;
    std::uint64_t ResponseBytes = 0;
    std::string MailId;
    std::string HostName;
    std::string ListenHostName;
    std::string ListenAddress;
    std::string ClientAddress;
    std::string ProxyUserName;
    int ClientIsIPv4 = 0;
    int SendAddressIsIPv4 = 0;
    std::string ServerAddressText;
    std::string SendAddress;
    std::string CacheKeyUser;
    int ListenPort = 0;
    std::string ClientHostName;
    std::string RequestLine;
    int FixedRelay = 0;
    int ArchiveMail = 0;
    // The client's admission verdict (kAdmission* of engine/access/admission.h):
    // a "pass" client's mail is delivered even when the scan flagged it.
    int AdmissionClass = 0;
    std::string RequestFile;
    // The first bytes of the request in RequestFile (at most
    // kRequestFileStartLimit): the steps of this process read the request
    // head from here. Opening the file again by path for each of them cost
    // more than the rest of a small request.
    std::string RequestFileStart;
    RequestBodyFraming RequestBody;
    // Bytes the client sent behind the request in the same receive: the
    // start of its next request, or, behind a CONNECT, the tunnel's first
    // bytes, which the tunnel takes from here.
    std::string BytesAhead;
    std::vector<char> WorkBuffer = std::vector<char>(kWorkBufferSize, '\0');

    // Unique among the connections of this process for its whole life:
    // names the connection's spool files ("req-%d-%04d..."), which must not
    // be taken over by a later connection that gets the same socket number.
    int SpoolNumber = 0;
};

// Copies text into a record field, cut to the field's width less one.
void AssignField(std::string& field, std::string_view text, std::size_t width);

// The next spool number of this process (1, 2, ...; wraps to 1).
int NextSpoolNumber();

// Closes a socket. Graceful: sends the end of the stream after the
// pending bytes and lets the peer finish (briefly) before closing, so the
// last reply arrives whole. Otherwise the connection is reset.
void CloseSocket(int socket, bool graceful);

// Resets a connection at once while its socket stays open for its owner
// to close: the peer gets a reset instead of an end of stream, so it can't
// take what it received for a complete answer. Later sends on it fail.
void ResetConnection(int socket);

// Closes the client socket and frees the record. graceful 0 resets the
// connection (for a client refused outright); otherwise the pending bytes
// are delivered before the close. TLS must already be closed by the caller.
void CloseClient(ConnectionRecord* record, int graceful);

}  // namespace engine
