#include "engine/socks/socks_client.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "engine/client_io/client_send.h"
#include "engine/core/daily_log.h"
#include "engine/core/engine_settings.h"
#include "engine/socks/binary_dump.h"
#include "engine/tls/tls.h"
#include "platform/io/full_write.h"

namespace engine {

SocksClient::SocksClient(ConnectionRecord* record) : record_(record) {
    if (!record->RequestFile.empty())
        requestFile_ = ::open(record->RequestFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
}

SocksClient::~SocksClient() {
    if (requestFile_ >= 0) ::close(requestFile_);
}

bool SocksClient::ReadUntil(const std::function<SocksParse(std::string_view)>& parse) {
    char* buffer = record_->WorkBuffer.data();
    for (;;) {
        last_ = parse(held_);
        if (last_ != SocksParse::kIncomplete) return last_ == SocksParse::kComplete;
        if (held_.size() >= kSocksReadLimit) {
            WriteLogF("[PROXYMain] [%04d] SOCKS request longer than %zu bytes.\n", socket(), kSocksReadLimit);
            return false;
        }
        const int room = static_cast<int>(kSocksReadLimit - held_.size());
        const int n = SecureRecv(socket(), record_->Tls.client.get(), buffer, room, Settings().timeouts.clientPlain);
        if (n <= 0) {
            WriteLogF("[PROXYMain] [%04d] C:recv:%d bytes. / WSAGetLastError() = %d\n", socket(), n,
                      n < 0 ? errno : 0);
            return false;
        }
        WriteLogF("[PROXYMain] [%04d] C:recv:%d bytes.\n", socket(), n);
        held_.append(buffer, static_cast<std::size_t>(n));
    }
}

void SocksClient::Consume(std::size_t length, bool recorded) {
    length = std::min(length, held_.size());
    if (recorded && requestFile_ >= 0) platform::WriteAll(requestFile_, std::string_view(held_).substr(0, length));
    held_.erase(0, length);
}

std::string SocksClient::TakeRest() {
    std::string rest;
    rest.swap(held_);
    return rest;
}

bool SocksClient::Send(std::string_view bytes, bool dumped) {
    if (dumped) BinaryDump(socket(), bytes.data(), bytes.size());
    const ssize_t sent = SecureSendData(socket(), record_->Tls.client.get(), bytes.data(), bytes.size(),
                                        ClientSendTimeout(Settings()));
    if (sent != static_cast<ssize_t>(bytes.size())) {
        WriteLogF("[PROXYMain] [%04d] C:send: WSAGetLastError() = %d\n", socket(), errno);
        return false;
    }
    return true;
}

}  // namespace engine
