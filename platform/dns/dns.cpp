#include "platform/dns/dns.h"

#include <arpa/inet.h>
#include <arpa/nameser.h>
#include <cstdlib>
#include <cstring>
#include <netdb.h>
#include <netinet/in.h>
#include <resolv.h>

#include <charconv>

namespace platform::dns {
namespace {

constexpr size_t kMaxNameLength = 253;  // without the final dot
constexpr size_t kMaxLabelLength = 63;

std::optional<Server> EnvironmentServer() {
    const char* text = std::getenv("VELQOR_DNS_SERVER");
    if (!text || !*text) return std::nullopt;
    return ParseServer(text);
}

// One resolver state per question, closed on every path.
class ResolverState {
public:
    ResolverState() {
        std::memset(&state_, 0, sizeof state_);
        ok_ = res_ninit(&state_) == 0;
    }
    ~ResolverState() { res_nclose(&state_); }
    ResolverState(const ResolverState&) = delete;
    ResolverState& operator=(const ResolverState&) = delete;
    bool ok() const { return ok_; }
    res_state get() { return &state_; }

    void UseOnly(const Server& server) {
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_port = htons(server.port);
        inet_aton(server.address.c_str(), &addr.sin_addr);
        state_.nsaddr_list[0] = addr;
        state_.nscount = 1;
    }

private:
    struct __res_state state_;
    bool ok_ = false;
};

std::string ExpandName(const ns_msg& msg, const unsigned char* at) {
    char name[NS_MAXDNAME];
    if (dn_expand(ns_msg_base(msg), ns_msg_end(msg), at, name, sizeof name) < 0) return {};
    return name;
}

bool ReadRecord(const ns_msg& msg, const ns_rr& rr, RecordType type, Record& record) {
    const unsigned char* rdata = ns_rr_rdata(rr);
    size_t length = ns_rr_rdlen(rr);
    record.type = type;
    record.name = ns_rr_name(rr);
    char text[INET6_ADDRSTRLEN];
    switch (type) {
        case RecordType::A:
            if (length != 4 || !inet_ntop(AF_INET, rdata, text, sizeof text)) return false;
            record.data = text;
            return true;
        case RecordType::AAAA:
            if (length != 16 || !inet_ntop(AF_INET6, rdata, text, sizeof text)) return false;
            record.data = text;
            return true;
        case RecordType::PTR:
            record.data = ExpandName(msg, rdata);
            return !record.data.empty();
        case RecordType::MX:
            if (length < 3) return false;
            record.preference = ns_get16(rdata);
            record.data = ExpandName(msg, rdata + 2);
            return !record.data.empty();
        case RecordType::TXT:
            for (size_t pos = 0; pos < length;) {
                size_t piece = rdata[pos++];
                if (piece > length - pos) return false;
                record.data.append(reinterpret_cast<const char*>(rdata + pos), piece);
                pos += piece;
            }
            return true;
    }
    return false;
}

}  // namespace

std::optional<Server> ParseServer(std::string_view text) {
    Server server;
    std::string_view address = text;
    size_t colon = text.find(':');
    if (colon != std::string_view::npos) {
        address = text.substr(0, colon);
        std::string_view portText = text.substr(colon + 1);
        unsigned port = 0;
        auto [end, ec] = std::from_chars(portText.data(), portText.data() + portText.size(), port);
        if (ec != std::errc() || end != portText.data() + portText.size() || port == 0 || port > 65535) {
            return std::nullopt;
        }
        server.port = static_cast<uint16_t>(port);
    }
    in_addr parsed{};
    server.address = std::string(address);
    if (address.empty() || inet_aton(server.address.c_str(), &parsed) == 0) return std::nullopt;
    char canonical[INET_ADDRSTRLEN];
    server.address = inet_ntop(AF_INET, &parsed, canonical, sizeof canonical);
    return server;
}

bool IsValidQueryName(std::string_view name) {
    if (!name.empty() && name.back() == '.') name.remove_suffix(1);
    if (name.empty() || name.size() > kMaxNameLength) return false;
    size_t start = 0;
    for (;;) {
        size_t dot = name.find('.', start);
        size_t label = (dot == std::string_view::npos ? name.size() : dot) - start;
        if (label == 0 || label > kMaxLabelLength) return false;
        if (dot == std::string_view::npos) return true;
        start = dot + 1;
    }
}

Answer Query(std::string_view name, RecordType type, const std::optional<Server>& server) {
    Answer answer;
    if (!IsValidQueryName(name)) {
        answer.status = Status::InvalidName;
        return answer;
    }
    ResolverState resolver;
    if (!resolver.ok()) return answer;
    if (std::optional<Server> target = server ? server : EnvironmentServer()) resolver.UseOnly(*target);

    std::vector<unsigned char> reply(NS_MAXMSG);
    int length = res_nquery(resolver.get(), std::string(name).c_str(), ns_c_in, static_cast<int>(type),
                            reply.data(), static_cast<int>(reply.size()));
    if (length < 0) {
        int error = resolver.get()->res_h_errno;
        answer.status = error == HOST_NOT_FOUND ? Status::NameNotFound
                        : error == NO_DATA      ? Status::NoRecords
                                                : Status::Failed;
        return answer;
    }
    ns_msg msg;
    if (ns_initparse(reply.data(), length, &msg) < 0) return answer;
    for (int i = 0; i < ns_msg_count(msg, ns_s_an); ++i) {
        ns_rr rr;
        if (ns_parserr(&msg, ns_s_an, i, &rr) < 0) break;
        if (ns_rr_type(rr) != static_cast<int>(type) || ns_rr_class(rr) != ns_c_in) continue;  // CNAMEs on the way
        Record record;
        if (ReadRecord(msg, rr, type, record)) answer.records.push_back(std::move(record));
    }
    answer.status = answer.records.empty() ? Status::NoRecords : Status::Found;
    return answer;
}

bool HasAddressRecord(std::string_view name, const std::optional<Server>& server) {
    return Query(name, RecordType::A, server).status == Status::Found;
}

}  // namespace platform::dns
