#include "engine/ftp/ftp_client.h"

#include <algorithm>
#include <cerrno>
#include <thread>
#include <unistd.h>

#include "engine/core/daily_log.h"
#include "engine/core/engine_settings.h"
#include "engine/ftp/data_port.h"
#include "engine/ftp/data_socket.h"
#include "engine/ftp/ftp_reply.h"
#include "engine/ftp/data_address.h"
#include "engine/ftp/thread_start.h"
#include "engine/tls/tls.h"
#include "engine/upstream/server_socket.h"
#include "platform/codepage/codepage.h"

namespace engine {

namespace {

constexpr int kDefaultWaitMs = 60 * 1000;

// One transfer's data connection, served by its own thread.
struct DataJob {
    FILE* output = nullptr;
    bool passive = true;
    SocketAddress peer;     // passive: where to connect; active: who may connect
    int listenSocket = -1;  // active mode
    CancelSignal cancel;
    int waitMs = 0;
    // Written by the data thread, read after it was joined.
    bool connected = false;
    ReceiveResult received;
};

void RunDataJob(DataJob& job) {
    const char* name = job.passive ? "FtpDataByPASV" : "FtpDataByPORT";
    int data = job.passive ? ConnectDataPeer(job.peer, &job.cancel, job.waitMs)
                           : AcceptDataPeer(job.listenSocket, {job.peer}, &job.cancel, job.waitMs);
    if (data < 0) {
        if (job.passive)
            WriteLogF("[%s] connect failed. code = %d\n", name, errno);
        else
            WriteLog("[FtpDataByPORT] accept failed.\n");
        return;
    }
    job.connected = true;
    job.received = ReceiveToFile(data, job.output, &job.cancel, job.waitMs, [data](const char*, size_t size) {
        WriteLogF("[FtpDataByPASV] S:recv(%04d):%d bytes. \n", data, static_cast<int>(size));
    });
    WriteLogF("[FtpDataByPASV] S:recv(%04d):%d bytes. / error = %d\n", data, job.received.ended ? 0 : -1,
              job.received.error);
    ::close(data);
}

class Dialogue {
public:
    Dialogue(int socket, int waitMs) : socket_(socket), waitMs_(waitMs), reader_(socket, waitMs) {}

    // Sends one command line (CR LF added) and reads its reply.
    bool Command(const std::string& command, FtpReply& reply) { return Send(command) && Read(reply); }
    bool Send(const std::string& command) {
        // A password never reaches the log.
        const bool secret = command.compare(0, 5, "PASS ") == 0;
        WriteLogF("[FtpClient] [%04d] %s\r\n", socket_, secret ? "PASS ********" : command.c_str());
        const std::string line = command + "\r\n";
        return SecureSendData(socket_, nullptr, line.data(), line.size(), waitMs_) == static_cast<ssize_t>(line.size());
    }
    bool Read(FtpReply& reply) {
        bool ok = reader_.Read(reply);
        WriteLogF("[FtpClient] [%04d] %s", socket_, reply.lastLine.c_str());
        if (!reply.lastLine.empty() && reply.lastLine.back() != '\n') WriteLog("\n");
        return ok;
    }
    int socket() const { return socket_; }

private:
    int socket_;
    int waitMs_;
    FtpReplyReader reader_;
};

bool Positive(const FtpReply& reply) { return reply.code >= 200 && reply.code < 300; }
bool Preliminary(const FtpReply& reply) { return reply.code >= 100 && reply.code < 200; }

int ConnectControl(const FtpUrlRequest& request, const EngineSettings& settings, int waitMs) {
    std::vector<SocketAddress> addresses;
    if (ResolveServer(request.host, std::to_string(request.port), settings.ipVersion, addresses) != 0) return -1;
    const unsigned long tries = std::max(1UL, settings.retryCount);
    int error = 0;
    for (unsigned long attempt = 1; attempt <= tries; ++attempt) {
        int fd = OpenServerSocket(addresses.front(), std::nullopt, {});
        if (fd < 0) return -2;
        ConnectAttempt connected = ConnectToAny(fd, addresses, std::nullopt, waitMs, {});
        if (connected.connected) return connected.socket;
        error = connected.error;
        if (attempt < tries) std::this_thread::sleep_for(std::chrono::milliseconds(100) * attempt);
    }
    WriteLogF("[FtpClient] connect failed. WSAGetLastError() = %d\n", error);
    return -1;
}

// The active-mode data port: a listener on the next data port and the
// PORT or EPRT command that names it. 0, or the result code of FtpClient.
int PrepareActive(const SocketAddress& own, DataJob& job, std::string& command) {
    const bool v4 = AddressText(own).find('.') != std::string::npos;
    int port = 0;
    int fd = BindDataPort(own.family(), SOCK_STREAM, port, SOMAXCONN);
    if (fd < 0) {
        WriteLog(v4 ? "[FtpClient] v4 bind failed.\n" : "[FtpClient] v6 bind failed.\n");
        return -2;
    }
    job.listenSocket = fd;
    const std::string address = AddressText(own);
    command = v4 ? "PORT " + CommaAddress(address, port) : "EPRT " + EprtArgument(address, port);
    return 0;
}

}  // namespace

int FtpWaitMs() {
    const SocketTimeouts& t = Settings().timeouts;
    int longer = std::max(t.clientPlain, t.serverPlain);
    return longer > 0 ? longer : kDefaultWaitMs;
}

int FtpClient(FtpUrlRequest& request, FILE* output, FtpFetch& fetch) {
    fetch = FtpFetch{};
    const EngineSettings& settings = Settings();
    const int waitMs = FtpWaitMs();
    int control = ConnectControl(request, settings, waitMs);
    if (control < 0) return control;

    Dialogue dialogue(control, waitMs);
    FtpReply reply;
    DataJob job;
    job.output = output;
    job.waitMs = waitMs;
    std::thread dataThread;
    int result = 0;

    // Ends the dialogue early with the reply that refused a step.
    auto refuse = [&](const FtpReply& refusal) {
        fetch.refusal = refusal.lastLine.empty() ? "no reply from the FTP server\r\n" : refusal.lastLine;
        fetch.refusalCode = refusal.code;
    };
    // Changes to the folder, retried in code page 932: a server that keeps
    // its names in it refuses the UTF-8 bytes of the URL.
    auto changeFolder = [&](const std::string& folder) {
        if (!dialogue.Command("CWD " + folder, reply)) return false;
        if (reply.code >= 500) {
            const std::string sjis = platform::Utf8ToCp932(folder);
            if (!sjis.empty() && sjis != folder) dialogue.Command("CWD " + sjis, reply);
        }
        return true;
    };

    do {
        if (!dialogue.Read(reply) || !Positive(reply)) {
            refuse(reply);
            break;
        }
        if (!dialogue.Command("USER " + request.user, reply)) {
            refuse(reply);
            break;
        }
        if (reply.code == 331 || reply.code == 332) dialogue.Command("PASS " + request.password, reply);
        if (!Positive(reply)) {
            refuse(reply);
            break;
        }
        dialogue.Command("SYST", reply);
        if (!changeFolder(request.path)) {
            refuse(reply);
            break;
        }
        const size_t slash = request.path.rfind('/');
        if (reply.code >= 500 && request.fileName.empty() && request.path.back() != '/' && slash != std::string::npos) {
            // A name without a short extension ("README", "data.backup")
            // that is no folder may be a file.
            request.fileName = request.path.substr(slash + 1);
            request.path.erase(slash + 1);
            request.command = "RETR";
            if (!changeFolder(request.path)) {
                refuse(reply);
                break;
            }
        }
        if (!Positive(reply)) {
            // Listing the folder the login left us in would answer for the
            // wrong folder.
            refuse(reply);
            break;
        }
        dialogue.Command(std::string("TYPE ") + (request.fileName.empty() ? "A" : "I"), reply);

        SocketAddress serverAddress, ownAddress;
        if (!PeerAddress(control, serverAddress) || !LocalAddress(control, ownAddress)) {
            WriteLog("[FtpClient] v4 command_socket getsockname failed.\n");
            result = -4;
            break;
        }
        const bool v4 = AddressText(serverAddress).find('.') != std::string::npos;
        dialogue.Command(v4 ? "PASV" : "EPSV", reply);
        int passivePort = 0;
        if ((reply.code == 227 || reply.code == 229) && ReadPassivePort(reply.lastLine, passivePort)) {
            // The data connection goes to the server the control connection
            // reached, whatever address the reply names.
            job.passive = true;
            job.peer = serverAddress;
            SetAddressPort(job.peer, passivePort);
        } else {
            job.passive = false;
            job.peer = serverAddress;
            std::string portCommand;
            result = PrepareActive(ownAddress, job, portCommand);
            if (result != 0) break;
            if (!dialogue.Command(portCommand, reply) || !Positive(reply)) {
                refuse(reply);
                break;
            }
        }
        const bool started = StartThreadWithRetries(
            dataThread, std::max(1UL, settings.retryCount), [&job] { RunDataJob(job); },
            [&](int error) {
                WriteLogF(job.passive ? "[FtpClient] [%04d] FtpDataByPASV() beginthread failed.(%d)\n"
                                      : "[FtpClient] [%04d] FtpDataByPORT() beginthread failed.(%d)\n",
                          control, error);
            });
        if (!started) {
            fetch.refusal = "the data connection could not be served\r\n";
            break;
        }
        const std::string command =
            request.fileName.empty() ? request.command : request.command + " " + request.fileName;
        if (!dialogue.Command(command, reply) || !Preliminary(reply)) {
            // No transfer follows a reply that isn't "1xx": it is final.
            refuse(reply);
            break;
        }
        // The final reply may come before the last bytes have been read:
        // the transfer is over when both have arrived.
        dataThread.join();
        bool finalRead = dialogue.Read(reply);
        fetch.complete = finalRead && Positive(reply) && job.connected && job.received.ended;
        if (!fetch.complete) refuse(reply);
    } while (false);

    job.cancel.Cancel();
    if (dataThread.joinable()) dataThread.join();
    if (job.listenSocket >= 0) ::close(job.listenSocket);
    if (result == 0) {
        // QUIT is a courtesy: a server that doesn't answer is left soon.
        dialogue.Send("QUIT");
        FtpReplyReader quitReader(control, std::min(waitMs, 1000));
        FtpReply bye;
        if (quitReader.Read(bye)) WriteLogF("[FtpClient] [%04d] %s", control, bye.lastLine.c_str());
    }
    ::shutdown(control, SHUT_RDWR);
    ::close(control);
    return result;
}

}  // namespace engine
