// Synchronous DNS questions (the DnsQuery_A of the blocklist, SPF and mail
// code), on libresolv with a resolver state of its own for every call, so
// threads never share one.
//
// The servers asked are the system's (/etc/resolv.conf), unless the
// environment variable VELQOR_DNS_SERVER=ADDR[:PORT] names one server for
// the whole process (tests aim it at a dnsmasq on a loopback port), or the
// caller names a server of its own for this question.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform::dns {

enum class RecordType : uint16_t { A = 1, PTR = 12, MX = 15, TXT = 16, AAAA = 28 };

struct Record {
    RecordType type;
    std::string name;  // owner name as the answer gives it
    // A / AAAA: the address text; PTR and MX: the target name; TXT: the
    // record's character strings joined without separator.
    std::string data;
    uint16_t preference = 0;  // MX only
};

enum class Status {
    Found,          // at least one record of the type asked for
    NameNotFound,   // the name does not exist
    NoRecords,      // the name exists, without records of that type
    Failed,         // no usable answer (time-out, server failure, refusal)
    InvalidName,    // not asked: empty, or longer than DNS allows
};

struct Answer {
    Status status = Status::Failed;
    std::vector<Record> records;
};

struct Server {
    std::string address;  // dotted IPv4
    uint16_t port = 53;
};

// "ADDR" or "ADDR:PORT" with an IPv4 address (read as inet_aton reads it);
// nullopt for anything else.
std::optional<Server> ParseServer(std::string_view text);

// True when the name fits DNS: at most 253 characters without the final
// dot, no empty or over-long (63) label.
bool IsValidQueryName(std::string_view name);

// Asks `server` when given, else the process's servers (see above). There
// is no resolver cache in this process: every question goes out.
Answer Query(std::string_view name, RecordType type, const std::optional<Server>& server = std::nullopt);

// Shorthand for the blocklist checks: an A record exists for the name.
bool HasAddressRecord(std::string_view name, const std::optional<Server>& server = std::nullopt);

}  // namespace platform::dns
