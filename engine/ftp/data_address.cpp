#include "engine/ftp/data_address.h"

#include <arpa/inet.h>
#include <cctype>
#include <vector>

#include "common/text.h"

namespace engine {

bool DecimalUpTo(std::string_view text, int limit, int& value);

namespace {

bool SixNumbers(std::string_view text, DataAddress& address) {
    std::vector<int> parts;
    for (;;) {
        size_t comma = text.find(',');
        int value = 0;
        if (parts.size() == 6 || !DecimalUpTo(text.substr(0, comma), 255, value)) return false;
        parts.push_back(value);
        if (comma == std::string_view::npos) break;
        text.remove_prefix(comma + 1);
    }
    if (parts.size() != 6) return false;
    address.host = std::to_string(parts[0]) + "." + std::to_string(parts[1]) + "." + std::to_string(parts[2]) + "." +
                   std::to_string(parts[3]);
    address.port = parts[4] * 256 + parts[5];
    return address.port > 0;
}

// "<d>f<d>address<d>port<d>" with the delimiter d taken from the first
// character.
bool Delimited(std::string_view text, DataAddress& address, bool familyRequired) {
    text = common::TrimBlanks(text);
    if (text.size() < 4) return false;
    const char d = text.front();
    if (d < 33 || d > 126) return false;
    std::vector<std::string_view> fields;
    text.remove_prefix(1);
    for (size_t next; (next = text.find(d)) != std::string_view::npos;) {
        fields.push_back(text.substr(0, next));
        text.remove_prefix(next + 1);
    }
    if (fields.size() != 3 || !common::TrimBlanks(text).empty()) return false;
    if (familyRequired && fields[0] != "1" && fields[0] != "2") return false;
    address.host = std::string(fields[1]);
    if (!address.host.empty()) {
        unsigned char bytes[16];
        const int family = address.host.find(':') == std::string::npos ? AF_INET : AF_INET6;
        if (::inet_pton(family, address.host.c_str(), bytes) != 1) return false;
    }
    return DecimalUpTo(fields[2], 65535, address.port) && address.port > 0;
}

}  // namespace

bool DecimalUpTo(std::string_view text, int limit, int& value) {
    text = common::TrimBlanks(text);
    if (text.empty() || text.size() > 5) return false;
    value = 0;
    for (char c : text) {
        if (!std::isdigit(static_cast<unsigned char>(c))) return false;
        value = value * 10 + (c - '0');
    }
    return value <= limit;
}

bool ParsePortArgument(std::string_view argument, DataAddress& address) {
    return SixNumbers(common::TrimBlanks(argument.substr(0, argument.find_first_of("\r\n"))), address);
}

bool ParseEprtArgument(std::string_view argument, DataAddress& address) {
    return Delimited(argument.substr(0, argument.find_first_of("\r\n")), address, true) && !address.host.empty();
}

bool ParsePassiveReply(std::string_view reply, DataAddress& address) {
    size_t open = reply.find('(');
    size_t close = open == std::string_view::npos ? open : reply.find(')', open);
    if (reply.substr(0, 3) == "229") {
        return close != std::string_view::npos && Delimited(reply.substr(open + 1, close - open - 1), address, false);
    }
    if (close != std::string_view::npos) return SixNumbers(reply.substr(open + 1, close - open - 1), address);
    // RFC 959 doesn't demand the brackets: the six numbers are the first
    // run of digits and commas after the code.
    size_t start = reply.find_first_of("0123456789", 4);
    if (start == std::string_view::npos) return false;
    size_t end = reply.find_first_not_of("0123456789,", start);
    return SixNumbers(reply.substr(start, end == std::string_view::npos ? end : end - start), address);
}

bool ReadPassivePort(std::string_view reply, int& port) {
    DataAddress address;
    if (!ParsePassiveReply(reply, address)) return false;
    port = address.port;
    return true;
}

std::string CommaAddress(const std::string& ipv4, int port) {
    std::string text = ipv4;
    for (char& c : text)
        if (c == '.') c = ',';
    return text + "," + std::to_string(port >> 8) + "," + std::to_string(port & 0xff);
}

std::string EprtArgument(const std::string& address, int port) {
    const char* family = address.find(':') == std::string::npos ? "1" : "2";
    return std::string("|") + family + "|" + address + "|" + std::to_string(port) + "|";
}

std::string Reply227(const std::string& ipv4, int port) {
    return "227 Entering Passive Mode (" + CommaAddress(ipv4, port) + ")\r\n";
}

std::string Reply229(int port) { return "229 Entering Extended Passive Mode (|||" + std::to_string(port) + "|)\r\n"; }

}  // namespace engine
