#include "engine/socks/socks_relay.h"

#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "common/file_retry.h"
#include "engine/core/daily_log.h"
#include "engine/core/engine_settings.h"
#include "engine/ftp/ftp_client.h"
#include "engine/ftp/ftp_data.h"
#include "engine/ftp/thread_start.h"
#include "engine/tls/tls.h"

namespace engine {
namespace {

constexpr int kChunk = 16384;

struct Direction {
    const char* name;      // the routine in the log lines
    const char* fromSide;  // "C" or "S"
    const char* toSide;
    int from;
    TlsSession* fromTls;
    int fromTimeout;
    int to;
    TlsSession* toTls;
    int toTimeout;
    // FTP data: the engine's data channel behind the relay. Its transfer
    // may keep one side silent for longer than a time-out while it moves.
    FtpDataChannel* channel = nullptr;
};

// A spool name of its own for every direction: a descriptor number can be
// handed out again while an older relay's spool is still there.
std::string SpoolPath() {
    char name[48];
    std::snprintf(name, sizeof name, "req-%d-%04d.dat", Settings().protocol, NextSpoolNumber());
    return Settings().dataFolder + "cache/" + name;
}

void WaitReadable(int socket, int timeoutMs) {
    pollfd wait{socket, POLLIN, 0};
    int ready;
    do {
        ready = ::poll(&wait, 1, timeoutMs > 0 ? timeoutMs : -1);
    } while (ready < 0 && errno == EINTR);
}

std::uint64_t StoreAndForward(const SocksRelay& relay, const Direction& d) {
    WaitReadable(d.from, d.fromTimeout);
    WriteLogF("[%s] Strat. sockSv=%04d, sockCl=%04d\n", d.name, relay.sockSv, relay.sockCl);
    const std::string spool = SpoolPath();
    std::uint64_t received = 0;
    std::vector<char> buffer(kChunk + 1);
    {
        common::FilePtr out(std::fopen(spool.c_str(), "wb"));
        for (;;) {
            const int n = SecureRecv(d.from, d.fromTls, buffer.data(), kChunk, d.fromTimeout);
            if (n < 0 && errno == ETIMEDOUT && d.channel && d.channel->Moving(std::chrono::milliseconds(FtpWaitMs())))
                continue;
            if (d.channel && n > 0) d.channel->NoteProgress();
            if (n <= 0) {
                WriteLogF("[%s] %s:recv(%04d):%d bytes. / WSAGetLastError() = %d\n", d.name, d.fromSide, d.from, n,
                          n < 0 ? errno : 0);
                break;
            }
            WriteLogF("[%s] %s:recv(%04d):%d bytes.\n", d.name, d.fromSide, d.from, n);
            if (!out || std::fwrite(buffer.data(), 1, static_cast<std::size_t>(n), out.get()) !=
                            static_cast<std::size_t>(n)) {
                // What can't be stored whole is not sent on in part.
                WriteLogF("[%s] spool write failed. (%s)\n", d.name, spool.c_str());
                common::DeleteWithRetry(spool);
                return received;
            }
            received += static_cast<std::uint64_t>(n);
        }
    }
    common::OpenRetry retry;
    retry.tries = std::max(1UL, Settings().openRetryTries);
    if (common::FilePtr in = common::OpenWithRetry(spool, "rb", retry)) {
        std::size_t n;
        while ((n = std::fread(buffer.data(), 1, kChunk, in.get())) > 0) {
            const ssize_t sent = SecureSendData(d.to, d.toTls, buffer.data(), n, d.toTimeout);
            if (sent != static_cast<ssize_t>(n)) {
                WriteLogF("[%s] %s:send(%04d):%d bytes. / WSAGetLastError() = %d\n", d.name, d.toSide, d.to,
                          static_cast<int>(sent), errno);
                break;
            }
            WriteLogF("[%s] %s:send(%04d):%d bytes.\n", d.name, d.toSide, d.to, static_cast<int>(sent));
        }
    }
    // The other end reads until the stream ends: it ends here.
    if (!d.toTls) ::shutdown(d.to, SHUT_WR);
    common::DeleteWithRetry(spool, std::chrono::milliseconds(50));
    WriteLogF("[%s] End. sockSv=%04d, sockCl=%04d\n", d.name, relay.sockSv, relay.sockCl);
    return received;
}

}  // namespace

std::uint64_t ServerSocksSession(const SocksRelay& relay) {
    const SocketTimeouts& t = Settings().timeouts;
    return StoreAndForward(relay, {"ServerSocksSession", "C", "S", relay.sockCl, relay.tlsCl, t.clientPlain,
                                   relay.sockSv, relay.tlsSv, t.serverPlain, relay.channel});
}

std::uint64_t ClientSocksSession(const SocksRelay& relay) {
    const SocketTimeouts& t = Settings().timeouts;
    return StoreAndForward(relay, {"ClientSocksSession", "S", "C", relay.sockSv, relay.tlsSv, t.serverPlain,
                                   relay.sockCl, relay.tlsCl, t.clientPlain, relay.channel});
}

void RunSocksDataRelay(ConnectionRecord* record) {
    const FtpDataChannelPtr channel = NewestFtpDataChannel(record->SocksPort);
    const SocksRelay relay{record->ServerSocket, record->Tls.server.get(), record->ClientSocket,
                           record->Tls.client.get(), channel.get()};
    std::thread toServer;
    const bool started = StartThreadWithRetries(
        toServer, std::max(1UL, Settings().retryCount), [relay] { ServerSocksSession(relay); },
        [&](int error) {
            WriteLogF("[TelnetDispatch] [%04d] [%04d] ServerSocksSession() beginthread failed.(%d)\n",
                      record->ClientSocket, record->ServerSocket, error);
        });
    ClientSocksSession(relay);
    if (started) toServer.join();
}

}  // namespace engine
