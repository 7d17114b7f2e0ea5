#include "engine/ftp/ftp_url_road.h"

#include <cerrno>
#include <cstdio>
#include <sys/stat.h>
#include <vector>

#include "common/file_retry.h"
#include "engine/client_io/client_send.h"
#include "engine/core/daily_log.h"
#include "engine/core/engine_settings.h"
#include "engine/core/pipe_clients.h"
#include "engine/ftp/data_socket.h"
#include "engine/ftp/ftp_client.h"
#include "engine/ftp/ftp_url.h"

namespace engine {

namespace {

// The request line's target: the text between its first and last blank.
std::string RequestUrl(const std::string& requestLine) {
    std::string line = requestLine.substr(0, requestLine.find_first_of("\r\n"));
    size_t first = line.find(' '), last = line.rfind(' ');
    if (first == std::string::npos || last <= first) return "";
    return line.substr(first + 1, last - first - 1);
}

std::string SpoolPath(const ConnectionRecord& record) {
    char name[64];
    std::snprintf(name, sizeof name, "req-%d-%04d.ftp", Settings().protocol, record.SpoolNumber);
    return Settings().dataFolder + "cache/" + name;
}

std::string Head(int status, const char* reason, unsigned long long length, const char* type) {
    char head[256];
    std::snprintf(head, sizeof head,
                  "HTTP/1.1 %d %s\r\nContent-Type: %s\r\nContent-Length: %llu\r\nConnection: close\r\n\r\n", status,
                  reason, type, length);
    return head;
}

void Answer(ConnectionRecord* record, int status, const char* reason, const std::string& body, const char* function) {
    const std::string reply = Head(status, reason, body.size(), "text/plain") + body;
    record->StatusCode = status;
    if (SendToClient(record, reply.data(), reply.size(), function)) record->ResponseBytes = reply.size();
}

}  // namespace

void ServeFtpUrl(ConnectionRecord* record, const char* function) {
    const EngineSettings& settings = Settings();
    const int client = record->ClientSocket;
    record->KeepAlive = 0;
    record->StatusCode = 0;
    record->ResponseBytes = 0;

    FtpUrlRequest request;
    switch (ParseFtpUrl(RequestUrl(record->RequestLine), request)) {
    case FtpUrlResult::Ok:
        break;
    case FtpUrlResult::NoHost:
        Answer(record, 400, "Bad Request", "The ftp:// URL names no usable server.\r\n", function);
        return;
    case FtpUrlResult::Injection:
        WriteLogF("[%s] [%04d] line break in the ftp:// URL refused.\n", function, client);
        Answer(record, 400, "Bad Request", "The ftp:// URL holds a line break.\r\n", function);
        return;
    }

    const std::string spool = SpoolPath(*record);
    FILE* output = std::fopen(spool.c_str(), "wb");
    if (!output) {
        WriteLogF("[%s] [%04d] C:temp file not open. (%s)\n", function, client, spool.c_str());
        Answer(record, 502, "Bad Gateway", "The transfer could not be stored.\r\n", function);
        return;
    }
    FtpFetch fetch;
    int result = FtpClient(request, output, fetch);
    bool stored = std::fflush(output) == 0;
    std::fclose(output);

    if (result != 0 || !fetch.complete || !stored) {
        std::string body = result == -1  ? "The FTP server could not be reached.\r\n"
                           : result != 0 ? "The FTP data connection could not be prepared.\r\n"
                           : !stored     ? "The transfer could not be stored.\r\n"
                                         : fetch.refusal;
        // The server says the file or folder isn't there (its own text
        // goes along): that is no failure of the way to it.
        const bool missing = result == 0 && stored && fetch.refusalCode == 550;
        if (missing)
            Answer(record, 404, "Not Found", body, function);
        else
            Answer(record, 502, "Bad Gateway", body, function);
        common::DeleteWithRetry(spool);
        return;
    }

    std::string finding;
    const int scanProtocol = settings.protocol == kProtocolSocks ? record->SocksProtocol : settings.protocol;
    ScanFile(settings, scanProtocol, client, spool, finding);
    WriteLogF("[%s] [%04d] [%s] VIRUS result [%s]\n", function, client, spool.c_str(),
              finding.empty() ? "CLEAN" : finding.c_str());
    if (!finding.empty()) {
        // The client gets the finding in place of the file.
        Answer(record, 200, "OK", "Found " + finding + "\r\n", function);
        common::DeleteWithRetry(spool);
        return;
    }

    FILE* file = std::fopen(spool.c_str(), "rb");
    struct stat info {};
    if (!file || ::fstat(fileno(file), &info) != 0) {
        if (file) std::fclose(file);
        WriteLogF("[%s] [%04d] C:temp file not open. (%s)\n", function, client, spool.c_str());
        Answer(record, 502, "Bad Gateway", "The transfer could not be read back.\r\n", function);
        common::DeleteWithRetry(spool);
        return;
    }
    const char* type = request.fileName.empty() ? "text/plain" : "application/octet-stream";
    const std::string head = Head(200, "OK", static_cast<unsigned long long>(info.st_size), type);
    record->StatusCode = 200;
    if (SendToClient(record, head.data(), head.size(), function)) {
        uint64_t sent = head.size();
        if (!record->Tls.client) {
            SendFileToSocket(file, client, ClientSendTimeout(settings), [&](size_t, ssize_t bytes) {
                if (bytes > 0) sent += static_cast<uint64_t>(bytes);
                if (bytes < 0)
                    WriteLogF("[%s] [%04d] C:send: WSAGetLastError() = %d\n", function, client, errno);
                else
                    WriteLogF("[%s] [%04d] C:send:%d bytes\n", function, client, static_cast<int>(bytes));
            });
        } else {
            std::vector<char> buffer(kRelayReadSize);
            size_t n;
            while ((n = std::fread(buffer.data(), 1, buffer.size(), file)) > 0 &&
                   SendToClient(record, buffer.data(), n, function))
                sent += n;
        }
        record->ResponseBytes = sent;
    }
    std::fclose(file);
    common::DeleteWithRetry(spool);
}

}  // namespace engine
