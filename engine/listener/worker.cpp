#include "engine/listener/worker.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cinttypes>
#include <cstring>
#include <mutex>

#include "common/file_retry.h"
#include "engine/access/admission.h"
#include "engine/access/auth.h"
#include "engine/access/dnsbl.h"
#include "engine/core/address.h"
#include "engine/core/daily_log.h"
#include "engine/core/engine_settings.h"
#include "engine/core/live_connections.h"
#include "engine/core/pipe_clients.h"
#include "engine/ftp/ftp_control.h"
#include "engine/http/block_pages.h"
#include "engine/http/get_dispatch.h"
#include "engine/http/outgoing_request.h"
#include "engine/http/proxy_replies.h"
#include "engine/listener/proxy_dispatch.h"
#include "engine/listener/request_completion.h"
#include "engine/listener/zip_list.h"
#include "engine/mail/telnet_dispatch.h"
#include "engine/socks/socks_session.h"
#include "platform/io/full_write.h"
#include "engine/tls/tls.h"
#include "engine/upstream/connect_host.h"

namespace engine {
namespace {

std::mutex workerCountLock;
int workerCount = 0;

// Takes a worker slot unless the connection limit is reached; the check
// and the count are one step, so two clients can't both take the last slot.
bool EnterWorker(int limit) {
    std::lock_guard<std::mutex> lock(workerCountLock);
    if (limit <= workerCount) return false;
    ++workerCount;
    return true;
}

void LeaveWorker() {
    std::lock_guard<std::mutex> lock(workerCountLock);
    --workerCount;
}

// Admission of the client, done here rather than on the listener thread so
// that a slow DNS zone or a client that stalls its TLS handshake holds up
// only its own connection. False when the client was refused (the record
// is then gone).
bool AdmitClient(ConnectionRecord* record) {
    const EngineSettings& settings = Settings();
    if (settings.protocol == kProtocolSmtp) {
        record->ArchiveMail = QueryZipList(settings.zipListenFile, record->ListenAddress, record->ListenPort);
    }
    AssignField(record->ListenHostName, ReverseName(record->ListenAddress), kHostNameWidth);

    record->AdmissionClass = QueryConnectPerimisson(settings.clientAccessFile, record->ClientAddress);
    if (record->AdmissionClass == kAdmissionRefuse) {
        WriteLogF("[AcceptClients] [%04d] Reject QueryConnectPerimisson() [%s]\n", record->ClientSocket,
                  record->ClientAddress.c_str());
        RefuseClient(record);
        return false;
    }
    if (Query_DNSBL(settings.clientBlocklistExceptionFile, settings.clientBlocklistFile, record->ClientAddress) != 0) {
        WriteLogF("[AcceptClients] [%04d] Reject Query_DNSBL() [%s]\n", record->ClientSocket,
                  record->ClientAddress.c_str());
        RefuseClient(record);
        return false;
    }

    record->Tls.client.reset();
    record->Tls.server.reset();
    if (Query_SecureSocketLayer(settings.connectTableFile, record->ListenAddress, record->ListenPort,
                                record->Tls.certificateFile, record->Tls.privateKeyFile) == 1) {
        record->Tls.client = OpenSSLServer(record->ClientSocket, record->Tls.certificateFile,
                                           record->Tls.privateKeyFile,
                                           settings.timeouts.Handshake(settings.timeouts.clientTls));
        if (!record->Tls.client) {
            WriteLogF("[AcceptClients] [%04d] Reject Open SSL failed [%s]\n", record->ClientSocket,
                      record->ClientAddress.c_str());
            RefuseClient(record);
            return false;
        }
    }
    return true;
}

std::string RequestFilePath(const ConnectionRecord& record) {
    char name[64];
    std::snprintf(name, sizeof name, "req-%d-%04d.dat", Settings().protocol, record.SpoolNumber);
    return Settings().dataFolder + "cache/" + name;
}

// The connection's request capture file, made with its first request,
// emptied after each request and deleted when the connection ends: a
// keep-alive connection then changes the shared cache folder twice in all
// rather than twice a request (such changes queue behind one another
// across every connection).
class RequestFileKeeper {
public:
    explicit RequestFileKeeper(const std::string& path) : path_(path) {}
    ~RequestFileKeeper() {
        if (fd_ < 0) return;
        ::close(fd_);
        common::DeleteWithRetry(path_);
    }
    RequestFileKeeper(const RequestFileKeeper&) = delete;
    RequestFileKeeper& operator=(const RequestFileKeeper&) = delete;

    // The file for the next request, written from its start; -1 (errno
    // set) when it can't be made.
    int Open() {
        struct stat info;
        // A file deleted by someone else meanwhile is made anew.
        if (fd_ >= 0 && ::fstat(fd_, &info) == 0 && info.st_nlink > 0 && ::lseek(fd_, 0, SEEK_SET) == 0) return fd_;
        if (fd_ >= 0) ::close(fd_);
        fd_ = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        return fd_;
    }
    // Cuts what an earlier, longer request left behind the new one, so the
    // file holds this request alone. The earlier request's bytes are
    // written over rather than cut first: emptying the file and filling it
    // again gave its memory back and took it anew for every request, which
    // cost more than the copy itself for large bodies.
    bool EndAt(std::uint64_t size) {
        struct stat info;
        if (fd_ < 0 || ::fstat(fd_, &info) != 0) return false;
        return static_cast<std::uint64_t>(info.st_size) <= size || ::ftruncate(fd_, static_cast<off_t>(size)) == 0;
    }
    // Once its request has been served, the file is left as it is for
    // the next one (which writes over it and cuts the rest), or deleted
    // when it can't be used again.
    void Empty() {
        if (fd_ >= 0 && ::lseek(fd_, 0, SEEK_SET) != 0) {
            ::close(fd_);
            fd_ = -1;
            common::DeleteWithRetry(path_);
        }
    }

private:
    const std::string path_;
    int fd_ = -1;
};

struct Capture {
    std::uint64_t bytes = 0;
    bool bodyExpected = false;
    bool stored = true;     // every received byte reached the request file
    bool complete = false;  // the request is whole and may be served
    RequestRefusal refusal; // why it is not, when the client is to be told
};

// Takes received bytes into the request file and the completion; false
// when the file can't take them.
bool StoreRequestBytes(ConnectionRecord* record, int fd, std::string_view bytes, Capture& capture) {
    if (!platform::WriteAll(fd, bytes)) {
        WriteLogF("[AcceptClients] [%04d] RequestFile write failed. (%s) %s\n", record->ClientSocket,
                  record->RequestFile.c_str(), std::strerror(errno));
        capture.stored = false;
        return false;
    }
    capture.bytes += bytes.size();
    std::string& start = record->RequestFileStart;
    if (start.size() < kRequestFileStartLimit) start.append(bytes.substr(0, kRequestFileStartLimit - start.size()));
    return true;
}

// Receives one request into the (emptied) request file until it is
// complete, the client stops sending or a receive fails. pipelined holds
// what came behind the previous request on the connection: it is this
// request's start, and what comes behind this one is left there.
Capture CaptureRequest(ConnectionRecord* record, RequestFileKeeper& requestFile, std::string& pipelined) {
    Capture capture;
    int fd = requestFile.Open();
    if (fd < 0) {
        WriteLogF("[AcceptClients] [%04d] RequestFile create failed. (%s) %s\n", record->ClientSocket,
                  record->RequestFile.c_str(), std::strerror(errno));
        capture.stored = false;
        return capture;
    }
    RequestCompletion completion;
    char* buffer = record->WorkBuffer.data();
    // What an earlier request's overlong head left held is let go.
    std::string& start = record->RequestFileStart;
    if (start.capacity() > kWorkBufferSize) std::string().swap(start);
    start.clear();
    std::string earlier;
    earlier.swap(pipelined);
    bool complete = false;
    // A client that waits for leave before it sends its body gets it as
    // soon as the head is in: the body is taken whole here in any case.
    bool continueSent = false;
    auto allowBody = [&] {
        if (complete || continueSent || !completion.AwaitsContinue()) return;
        continueSent = true;
        static constexpr std::string_view kContinue = "HTTP/1.1 100 Continue\r\n\r\n";
        SecureSendData(record->ClientSocket, record->Tls.client.get(), kContinue.data(), kContinue.size(),
                       ClientSendTimeout(Settings()));
    };
    if (!earlier.empty()) {
        complete = completion.Feed(earlier);
        allowBody();
        const std::size_t own = earlier.size() - completion.Unused();
        StoreRequestBytes(record, fd, std::string_view(earlier).substr(0, own), capture);
        pipelined.assign(earlier, own);
    }
    bool timedOut = false;
    while (!complete && capture.stored) {
        int n = SecureRecv(record->ClientSocket, record->Tls.client.get(), buffer, static_cast<int>(kWorkBufferData),
                           Settings().timeouts.serverPlain);
        if (n < 0) {
            timedOut = errno == ETIMEDOUT;
            WriteLogF("[AcceptClients] [%04d] C:recv:%d bytes. / WSAGetLastError() = %d\n", record->ClientSocket, -1,
                      errno);
            break;
        }
        if (n == 0) break;
        buffer[n] = '\0';
        WriteLogF("[AcceptClients] [%04d] C:recv:%d bytes.\n", record->ClientSocket, n);
        const std::string_view received(buffer, static_cast<std::size_t>(n));
        complete = completion.Feed(received);
        allowBody();
        const std::size_t own = received.size() - completion.Unused();
        if (!StoreRequestBytes(record, fd, received.substr(0, own), capture)) break;
        // Bytes behind the request's end are the next request's.
        pipelined.assign(received.substr(own));
    }
    buffer[0] = '\0';
    if (capture.stored && !requestFile.EndAt(capture.bytes)) {
        WriteLogF("[AcceptClients] [%04d] RequestFile write failed. (%s) %s\n", record->ClientSocket,
                  record->RequestFile.c_str(), std::strerror(errno));
        capture.stored = false;
    }
    capture.bodyExpected = completion.BodyExpected();
    capture.complete = completion.Complete();
    if (completion.Refusal().status != 0) {
        capture.refusal = completion.Refusal();
    } else if (!capture.complete && timedOut) {
        capture.refusal = {408, "Request Timeout", "a request that did not arrive whole in time"};
    } else if (!capture.complete) {
        // Sent on, a request cut short would be served as if it were whole.
        capture.refusal = {400, "Bad Request", "a request cut short by the client's end of sending"};
    }
    record->RequestBody = RequestBodyFraming{completion.Framed(), completion.Chunked(), completion.HeadLength(),
                                             completion.BodyLength()};
    AssignField(record->RequestLine, completion.FirstLine(), kRequestLineWidth);
    return capture;
}

// Answers a request that is not served and ends the connection: what
// follows it on the connection can't be told from the rest of it.
void RefuseRequest(ConnectionRecord* record, const RequestRefusal& refusal) {
    WriteLogF("[PROXYMain] [%04d] request refused: %d %s (%s)\n", record->ClientSocket, refusal.status,
              refusal.reason, refusal.why);
    const std::string message = std::string("The proxy could not read the request: ") + refusal.why + ".";
    AnswerProxyError(record, refusal.status, refusal.reason, message.c_str());
    // Refused requests are the ones an administrator most needs to see.
    WriteRequestAccessLog(*record);
}

// Puts the request's first line, line end included, into WorkBuffer (cut
// to the buffer) and returns the head for the credential check.
std::string RequestHead(ConnectionRecord* record) {
    std::string head = CapturedHead(record->RequestFileStart);
    const std::size_t lineEnd = head.find('\n');
    const std::size_t firstLine = std::min(lineEnd == std::string::npos ? head.size() : lineEnd + 1, kWorkBufferData);
    head.copy(record->WorkBuffer.data(), firstLine);
    record->WorkBuffer[firstLine] = '\0';
    return head;
}

// Proxy authentication (-a): true when the request may pass. A client that
// fails gets the 407 reply, after which the connection ends.
bool Authenticate(ConnectionRecord* record, const std::string& head) {
    const EngineSettings& settings = Settings();
    if (!settings.proxyAuth) return true;
    // A SOCKS client reaches the HTTP road only after its user and password
    // passed the SOCKS negotiation; it has no way to send HTTP credentials.
    if (settings.protocol == kProtocolSocks) return true;
    ProxyAuthResult result = CheckProxyAuthorization(record->ClientSocket, head, settings.authKind,
                                                     settings.proxyUserFile, ProcessLdapSettings());
    AssignField(record->ProxyUserName, result.userName, kHostNameWidth);
    if (result.passed) return true;
    const std::string reply = ProxyAuthRequiredReply();
    SecureSendData(record->ClientSocket, record->Tls.client.get(), reply.data(), reply.size(),
                   settings.timeouts.clientPlain);
    record->KeepAlive = 0;
    return false;
}

// The scan of an uploaded request body (the whole capture file). False
// when the scanner reports a finding: the client then has the virus page,
// which closes the connection.
bool ScanUpload(ConnectionRecord* record) {
    const EngineSettings& settings = Settings();
    // A SOCKS client's HTTP requests are scanned as the protocol it carries.
    int protocol = settings.protocol == kProtocolSocks ? record->SocksProtocol : settings.protocol;
    std::string finding;
    ScanFile(settings, protocol, record->ClientSocket, record->RequestFile, finding);
    WriteLogF("[AcceptClients] [%04d] [%s] [%s]\n", record->ClientSocket, record->RequestLine.c_str(),
              finding.empty() ? "CLEAN" : finding.c_str());
    if (finding.empty()) return true;
    SendVirusPage(*record, finding, settings);
    record->KeepAlive = 0;
    return false;
}

// The HTTP request loop: one request after another while the dispatcher
// keeps the connection alive.
void ServeHttp(ConnectionRecord* record) {
    record->ServerSocket = kNoSocket;
    record->KeepAlive = 0;
    RequestFileKeeper requestFile(record->RequestFile);
    // A client may send its next request before the answer to this one.
    std::string& pipelined = record->BytesAhead;
    pipelined.clear();
    do {
        Capture capture = CaptureRequest(record, requestFile, pipelined);
        if (!capture.stored) {
            // The data disk is full (or the cache folder unwritable): the
            // client is told, rather than left with a close it can't tell
            // from a broken proxy. The reason is in the log line above.
            AnswerProxyError(record, 503, "Service Unavailable",
                             "The proxy could not store the request (its data disk may be full).");
            break;
        }
        if (capture.bytes == 0) {
            // Nothing (whole) to serve: the client is gone or idle, so the
            // connection ends instead of serving an empty request.
            record->KeepAlive = 0;
            break;
        }
        if (!capture.complete) {
            RefuseRequest(record, capture.refusal);
            break;
        }
        if (!capture.bodyExpected || ScanUpload(record)) {
            // A SOCKS client's user is the one its negotiation checked.
            if (Settings().protocol != kProtocolSocks) record->ProxyUserName.clear();
            if (Authenticate(record, RequestHead(record))) Proxy_Dispatch(record);
        }
        requestFile.Empty();
    } while (record->KeepAlive);
}

}  // namespace

void RefuseClient(ConnectionRecord* record) {
    int socket = record->ClientSocket;
    CloseTls(record->Tls.client);
    CloseSocket(socket, true);
    WriteLogF("[AcceptClients] [%04d] Close Client socket.\n", socket);
    record->ClientSocket = kNoSocket;
    if (record->HostLookupList) freeaddrinfo(record->HostLookupList);
    delete record;
}

unsigned PROXYMain(ConnectionRecord* record) {
    if (!AdmitClient(record)) return 1;
    const EngineSettings& settings = Settings();
    // The SOCKS proxy looks the name up only for a connection that needs it.
    if (settings.protocol != kProtocolSocks)
        AssignField(record->ClientHostName, ReverseName(record->ClientAddress), kHostNameWidth);
    record->SocksProtocol = -1;

    if (!EnterWorker(settings.connectionLimit)) {
        WriteLogF("[AcceptClients] [%04d] Request exceeded. (Connection limit = %d)\n", record->ClientSocket,
                  settings.connectionLimit);
        CloseTls(record->Tls.client);
        CloseClient(record, 0);
        return 1;
    }
    WriteLogF("[AcceptClients] [%08" PRIxPTR "] START [%04d]\n", reinterpret_cast<std::uintptr_t>(record),
              record->ClientSocket);
    AssignField(record->RequestFile, RequestFilePath(*record), kRequestFileWidth);
    // A stopping engine ends the connection through its sockets.
    RegisterLiveConnection(record);

    switch (settings.protocol) {
    case kProtocolSmtp:
    case kProtocolPop3:
    case kProtocolImap4:
        record->WorkBuffer[0] = '\0';
        TelnetDispatch(record);
        break;
    case kProtocolFtp: {
        record->WorkBuffer[0] = '\0';
        LineRelayPlugins plugins;
        plugins.ftp = MakeFtpControlHooks;
        TelnetDispatch(record, plugins);
        break;
    }
    case kProtocolSocks:
        ServeSocks(record, &ServeHttp);
        break;
    default:
        ServeHttp(record);
        break;
    }

    UnregisterLiveConnection(record);
    LeaveWorker();
    CloseTls(record->Tls.client);
    // A server connection kept for keep-alive ends with its client.
    CloseServerConnection(record, "PROXYMain");
    CloseClient(record, 1);
    return 1;
}

}  // namespace engine
