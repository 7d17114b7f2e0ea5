#include "engine/ftp/ftp_data.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <atomic>
#include <cstdint>
#include <cstring>
#include <map>

#include "common/ascii_case.h"

namespace engine {

namespace {

struct Registry {
    std::mutex lock;
    // Port, then serial: the newest channel on a port is the last one.
    std::map<std::pair<int, uint64_t>, FtpDataChannelPtr> channels;
};

Registry& Channels() {
    static Registry registry;
    return registry;
}

std::atomic<uint64_t> nextSerial{1};

// The plain text of a numeric address (an IPv4-mapped IPv6 address as its
// IPv4 address); empty for a name.
std::string NumericAddress(const std::string& host) {
    char text[INET6_ADDRSTRLEN] = "";
    in_addr four{};
    in6_addr six{};
    if (::inet_pton(AF_INET, host.c_str(), &four) != 1) {
        if (::inet_pton(AF_INET6, host.c_str(), &six) != 1) return {};
        if (!IN6_IS_ADDR_V4MAPPED(&six)) return ::inet_ntop(AF_INET6, &six, text, sizeof text) ? text : "";
        std::memcpy(&four, &six.s6_addr[12], sizeof four);
    }
    return ::inet_ntop(AF_INET, &four, text, sizeof text) ? text : "";
}

}  // namespace

FtpDataChannel::FtpDataChannel(uint64_t serial, int port, int controlSocket, bool passive, std::string listenAddress,
                               std::string serverHost)
    : serial_(serial),
      port_(port),
      controlSocket_(controlSocket),
      passive_(passive),
      listenAddress_(std::move(listenAddress)),
      serverHost_(std::move(serverHost)),
      lastProgress_(std::chrono::steady_clock::now().time_since_epoch().count()) {}

void FtpDataChannel::NoteProgress() { lastProgress_.store(std::chrono::steady_clock::now().time_since_epoch().count()); }

void FtpDataChannel::NoteEnd() {
    NoteProgress();
    end_.Cancel();
}

bool FtpDataChannel::Download() const {
    std::lock_guard<std::mutex> guard(lock_);
    return planned_ && plan_.download;
}

std::chrono::steady_clock::time_point FtpDataChannel::LastProgress() const {
    return std::chrono::steady_clock::time_point(std::chrono::steady_clock::duration(lastProgress_.load()));
}

void FtpDataChannel::SetUploadFinding(const std::string& finding) {
    std::lock_guard<std::mutex> guard(lock_);
    uploadFinding_ = finding;
}

std::string FtpDataChannel::UploadFinding() const {
    std::lock_guard<std::mutex> guard(lock_);
    return uploadFinding_;
}

void FtpDataChannel::SetPlan(const FtpDataPlan& plan) {
    {
        std::lock_guard<std::mutex> guard(lock_);
        plan_ = plan;
        planned_ = true;
    }
    changed_.notify_all();
}

void FtpDataChannel::Cancel() {
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (cancelled_) return;
        cancelled_ = true;
    }
    cancel_.Cancel();
    changed_.notify_all();
}

void FtpDataChannel::Abort() {
    abort_.Cancel();
    Cancel();
}

void FtpDataChannel::SetOutcome(bool complete) {
    {
        std::lock_guard<std::mutex> guard(lock_);
        outcomeKnown_ = true;
        complete_ = complete;
    }
    changed_.notify_all();
}

bool FtpDataChannel::WaitForCompleteTransfer(std::chrono::milliseconds limit) const {
    std::unique_lock<std::mutex> guard(lock_);
    changed_.wait_for(guard, limit, [this] { return outcomeKnown_ || cancelled_; });
    return outcomeKnown_ && complete_;
}

FtpDataWait FtpDataChannel::WaitForPlan(std::chrono::milliseconds limit, FtpDataPlan& plan) const {
    std::unique_lock<std::mutex> guard(lock_);
    changed_.wait_for(guard, limit, [this] { return planned_ || cancelled_; });
    if (cancelled_) return FtpDataWait::Cancelled;
    if (!planned_) return FtpDataWait::TimedOut;
    plan = plan_;
    return FtpDataWait::Ready;
}

bool FtpDataChannel::Claim() {
    std::lock_guard<std::mutex> guard(lock_);
    if (claimed_ || cancelled_) return false;
    claimed_ = true;
    return true;
}

bool FtpDataChannel::Cancelled() const {
    std::lock_guard<std::mutex> guard(lock_);
    return cancelled_;
}

bool FtpDataChannel::Available() const {
    std::lock_guard<std::mutex> guard(lock_);
    return !claimed_ && !cancelled_;
}

FtpDataChannelPtr PrepareFtpDataChannel(int port, int controlSocket, bool passive, const std::string& listenAddress,
                                        const std::string& serverHost) {
    uint64_t serial = nextSerial++;
    auto channel = std::make_shared<FtpDataChannel>(serial, port, controlSocket, passive, listenAddress, serverHost);
    Registry& registry = Channels();
    std::lock_guard<std::mutex> guard(registry.lock);
    registry.channels[{port, serial}] = channel;
    return channel;
}

FtpDataChannelPtr FindFtpDataChannel(int port, const std::string& host) {
    const std::string wanted = NumericAddress(host);
    const auto serves = [&](const FtpDataChannel& channel) {
        if (host.empty() || common::EqualsIgnoringAsciiCase(host, channel.serverHost())) return true;
        const std::string bound = NumericAddress(channel.listenAddress());
        return bound.empty() || wanted == bound;
    };
    Registry& registry = Channels();
    std::lock_guard<std::mutex> guard(registry.lock);
    auto it = registry.channels.lower_bound({port + 1, 0});
    while (it != registry.channels.begin()) {
        --it;
        if (it->first.first != port) break;
        if (it->second->Available() && serves(*it->second)) return it->second;
    }
    return nullptr;
}

FtpDataChannelPtr NewestFtpDataChannel(int port) {
    Registry& registry = Channels();
    std::lock_guard<std::mutex> guard(registry.lock);
    auto it = registry.channels.lower_bound({port + 1, 0});
    if (it == registry.channels.begin() || (--it)->first.first != port) return nullptr;
    return it->second;
}

bool FtpDataChannel::Moving(std::chrono::milliseconds limit) const {
    return !Ended() && std::chrono::steady_clock::now() - LastProgress() < limit;
}

void ForgetFtpDataChannel(const FtpDataChannel& channel) {
    Registry& registry = Channels();
    std::lock_guard<std::mutex> guard(registry.lock);
    registry.channels.erase({channel.port(), channel.serial()});
}

}  // namespace engine
