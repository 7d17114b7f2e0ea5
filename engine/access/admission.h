// Client admission: the address rules of the protocol's "<p>-con.ini" and
// the address list "<p>-conwl.db" of clients exempt from the client
// blocklists. Every file is read afresh at each call; a missing file admits
// everybody (rules) or exempts nobody (list).
#pragma once

#include <string>
#include <string_view>

namespace engine {

// Verdicts of QueryConnectPerimisson.
inline constexpr int kAdmissionRefuse = 0;
inline constexpr int kAdmissionAdmit = 1;
inline constexpr int kAdmissionPass = 2;  // admitted; the SMTP relay delivers even a mail the scan flagged

// The form in which rules and log lines see a client address: an
// IPv4-mapped IPv6 address ("::ffff:192.0.2.1") as its dotted IPv4 address,
// any other text unchanged.
std::string CanonicalClientAddress(std::string_view address);

// True when the address matches one address rule:
//  - a rule with "*": the part before it is a prefix of the address text
//    ("*" alone matches everybody, "192.168.*" every address beginning so);
//    when that part holds a colon it is an IPv6 address (missing groups
//    taken as zero) that must equal the address;
//  - "ADDR/N": the first N bits of the address equal those of ADDR (IPv4,
//    N 0-32, or IPv6, N 0-128; an IPv4-mapped IPv6 rule of at least 96
//    bits is its IPv4 rule);
//  - an IPv4 or IPv6 address: the same address;
//  - any other text: the address text equal to it.
// Addresses are compared as numbers, so "2001:DB8::1" and "2001:db8::1"
// are one address and "10.0.0.5/32" does not admit 10.0.0.50.
bool MatchAddressRule(std::string_view rule, std::string_view address);

// The verdict of the rule file for a client: the verdict word of the first
// rule line that matches ("pass", "reject", anything else admits); when no
// line matches, refuse if the file holds any rule line (an empty line
// counts as one), else admit. A missing file admits.
int QueryConnectPerimisson(const std::string& ruleFile, std::string_view clientAddress);

// 1 when a rule of the exemption list matches the client, else 0.
int QueryClientWhiteList(const std::string& whiteListFile, std::string_view clientAddress);

}  // namespace engine
