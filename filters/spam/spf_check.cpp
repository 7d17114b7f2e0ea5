#include "filters/spam/spf_check.h"

#include <cstdio>
#include <vector>

#include "common/ascii_case.h"
#include "common/list_file.h"
#include "common/text.h"
#include "filters/spam/mark_mail.h"
#include "filters/spam/spam_log.h"
#include "filters/spam/spam_settings.h"
#include "platform/dns/dns.h"

namespace spam {
namespace {

// Lookups one check may cost (include, a, mx, ptr, exists, redirect): a
// loop of records through each other ends here.
constexpr int kLookupLimit = 10;
// Names one mx or ptr term looks at.
constexpr size_t kNameLimit = 10;

namespace dns = platform::dns;

bool IsSpfRecord(std::string_view text, std::string_view version) {
    return common::StartsWithIgnoringAsciiCase(text, version) &&
           (text.size() == version.size() || text[version.size()] == ' ' || text[version.size()] == '/');
}

// A name that does not exist or has no records is an answer; a lookup
// that got none (time-out, server failure) is not.
bool Answered(const dns::Answer& answer) { return answer.status != dns::Status::Failed; }

// nullopt when the lookup got no answer.
std::optional<std::vector<IpAddress>> AddressesOf(std::string_view name, bool v6) {
    dns::Answer answer = dns::Query(name, v6 ? dns::RecordType::AAAA : dns::RecordType::A);
    if (!Answered(answer)) return std::nullopt;
    std::vector<IpAddress> addresses;
    for (const dns::Record& record : answer.records) {
        if (std::optional<IpAddress> address = ParseIpAddress(record.data)) addresses.push_back(*address);
    }
    return addresses;
}

bool AnyInNetwork(const IpAddress& client, const std::vector<IpAddress>& addresses, int prefix) {
    for (const IpAddress& address : addresses) {
        if (InNetwork(client, IpNetwork{address, prefix})) return true;
    }
    return false;
}

// "name.example" is "name.example" itself or ends in ".name.example".
bool WithinDomain(std::string_view name, std::string_view domain) {
    if (!name.empty() && name.back() == '.') name.remove_suffix(1);
    if (name.size() == domain.size()) return common::EqualsIgnoringAsciiCase(name, domain);
    return name.size() > domain.size() && name[name.size() - domain.size() - 1] == '.' &&
           common::EqualsIgnoringAsciiCase(name.substr(name.size() - domain.size()), domain);
}

struct Term {
    char qualifier = '+';
    std::string_view name;      // mechanism or modifier name
    std::string_view argument;  // after ":" or "="
    bool modifier = false;
    int prefix = -1;            // "/N" after a or mx
    bool badPrefix = false;
};

Term ParseTerm(std::string_view text, bool v6Client) {
    Term term;
    if (!text.empty() && (text[0] == '+' || text[0] == '-' || text[0] == '~' || text[0] == '?')) {
        term.qualifier = text[0];
        text.remove_prefix(1);
    }
    size_t mark = text.find_first_of(":=/");
    term.name = text.substr(0, mark);
    if (mark == std::string_view::npos) return term;
    if (text[mark] == '=') {
        term.modifier = true;
        term.argument = text.substr(mark + 1);
        return term;
    }
    std::string_view rest = text.substr(mark);
    if (rest[0] == ':') rest.remove_prefix(1);
    if (common::EqualsIgnoringAsciiCase(term.name, "ip4") || common::EqualsIgnoringAsciiCase(term.name, "ip6")) {
        term.argument = rest;
        return term;
    }
    size_t slash = rest.find('/');
    term.argument = rest.substr(0, slash);
    if (slash != std::string_view::npos) {
        // "a:name/24//64": the IPv4 length, then the IPv6 one; either may be missing.
        std::string_view cidr = rest.substr(slash);
        size_t dual = cidr.find("//");
        std::string_view length;
        if (v6Client) {
            if (dual != std::string_view::npos) length = cidr.substr(dual + 2);
        } else if (dual != 0) {
            length = cidr.substr(1, dual == std::string_view::npos ? dual : dual - 1);
        }
        if (!length.empty()) {
            std::optional<IpNetwork> check = ParseIpNetwork((v6Client ? "::/" : "0.0.0.0/") + std::string(length));
            if (check) term.prefix = check->prefix; else term.badPrefix = true;
        }
    }
    return term;
}

SpfResult Verdict(char qualifier) {
    switch (qualifier) {
        case '-': return SpfResult::Fail;
        case '~': return SpfResult::SoftFail;
        case '?': return SpfResult::Neutral;
        default: return SpfResult::Pass;
    }
}

class Evaluation {
public:
    Evaluation(SpfWalk& walk, std::string_view domain) : walk_(walk), domain_(domain) {}

    // true: the term matched; nullopt: the walk must end with an error.
    std::optional<bool> Matches(const Term& term) {
        const std::string_view name = term.name;
        auto is = [&](std::string_view mechanism) { return common::EqualsIgnoringAsciiCase(name, mechanism); };
        if (is("all")) return true;
        if (!walk_.client) return false;  // an unreadable client address is in no network
        const IpAddress& client = *walk_.client;
        if (is("ip4") || is("ip6")) {
            std::optional<IpNetwork> network = ParseIpNetwork(term.argument);
            return network && network->base.v6 == is("ip6") && InNetwork(client, *network);
        }
        if (!(is("a") || is("mx") || is("ptr") || is("include") || is("exists"))) return false;  // unknown: ignored
        if (term.badPrefix) return false;
        std::string_view target = term.argument.empty() ? domain_ : term.argument;
        // Macros are not expanded: such a name is never looked up.
        if (target.find('%') != std::string_view::npos) return false;
        if (++walk_.lookups > kLookupLimit || walk_.TimeOver()) return std::nullopt;
        int prefix = term.prefix >= 0 ? term.prefix : (client.v6 ? 128 : 32);
        if (is("a")) {
            const auto addresses = AddressesOf(target, client.v6);
            if (!addresses) return LookupFailed();
            return AnyInNetwork(client, *addresses, prefix);
        }
        if (is("exists")) {
            const auto addresses = AddressesOf(target, false);
            if (!addresses) return LookupFailed();
            return !addresses->empty();
        }
        if (is("mx")) {
            dns::Answer answer = dns::Query(target, dns::RecordType::MX);
            if (!Answered(answer)) return LookupFailed();
            for (size_t i = 0; i < answer.records.size() && i < kNameLimit; ++i) {
                if (walk_.TimeOver()) return std::nullopt;
                const auto addresses = AddressesOf(answer.records[i].data, client.v6);
                if (!addresses) return LookupFailed();
                if (AnyInNetwork(client, *addresses, prefix)) return true;
            }
            return false;
        }
        if (is("ptr")) return PtrMatches(client, target);
        // include: only a pass of the included record is a match; a
        // missing record is an error of the sender's.
        SpfRecordLookup included = LookUpSpfRecord(target);
        if (included.problem == SpfResult::TempError) return LookupFailed();
        if (!included.record) return std::nullopt;
        SpfResult nested = EvaluateSpf(walk_, true, target, *included.record);
        if (nested == SpfResult::PermError || nested == SpfResult::TempError) return std::nullopt;
        return nested == SpfResult::Pass;
    }

private:
    // A lookup without an answer ends the walk without a verdict: the
    // sender's DNS may answer the next time.
    std::optional<bool> LookupFailed() {
        walk_.lookupFailed = true;
        return std::nullopt;
    }

    // The client's reverse names that lead back to the client (a name that
    // does not is anyone's claim) and lie within the domain.
    bool PtrMatches(const IpAddress& client, std::string_view domain) {
        std::string reverse;
        char text[64];
        if (client.v6) {
            static const char* digits = "0123456789abcdef";
            for (int i = 15; i >= 0; --i) {
                reverse += digits[client.bytes[i] & 15];
                reverse += '.';
                reverse += digits[client.bytes[i] >> 4];
                reverse += '.';
            }
            reverse += "ip6.arpa";
        } else {
            std::snprintf(text, sizeof text, "%u.%u.%u.%u.in-addr.arpa", client.bytes[3], client.bytes[2],
                          client.bytes[1], client.bytes[0]);
            reverse = text;
        }
        dns::Answer answer = dns::Query(reverse, dns::RecordType::PTR);
        for (size_t i = 0; i < answer.records.size() && i < kNameLimit && !walk_.TimeOver(); ++i) {
            const std::string& name = answer.records[i].data;
            if (!WithinDomain(name, domain)) continue;
            // A name whose addresses can't be had is passed over.
            const auto addresses = AddressesOf(name, client.v6);
            if (addresses && AnyInNetwork(client, *addresses, client.v6 ? 128 : 32)) return true;
        }
        return false;
    }

    SpfWalk& walk_;
    std::string_view domain_;
};

}  // namespace

SpfRecordLookup LookUpSpfRecord(std::string_view domain) {
    SpfRecordLookup found;
    dns::Answer answer = dns::Query(domain, dns::RecordType::TXT);
    if (!Answered(answer)) {
        found.problem = SpfResult::TempError;
        return found;
    }
    for (std::string_view version : {"v=spf1", "spf2.0"}) {
        for (const dns::Record& record : answer.records) {
            if (!IsSpfRecord(record.data, version)) continue;
            // Which of two records holds depends on the order of the
            // answer: neither does.
            if (found.record) {
                found.record.reset();
                found.problem = SpfResult::PermError;
                return found;
            }
            found.record = record.data;
        }
        if (found.record) return found;
    }
    return found;
}

SpfResult EvaluateSpf(SpfWalk& walk, bool nested, std::string_view domain, std::string_view record) {
    if (nested && common::EqualsIgnoringAsciiCase(record, walk.topRecord)) return SpfResult::NoMatch;
    if (!IsSpfRecord(record, "v=spf1") && !IsSpfRecord(record, "spf2.0")) return SpfResult::NoMatch;
    Evaluation evaluation(walk, domain);
    std::string_view redirect;
    size_t start = record.find(' ');
    while (start != std::string_view::npos && start < record.size()) {
        size_t end = record.find(' ', start + 1);
        std::string_view text = record.substr(start + 1, end == std::string_view::npos ? end : end - start - 1);
        start = end;
        if (text.empty()) continue;
        Term term = ParseTerm(text, walk.client && walk.client->v6);
        if (term.modifier) {
            if (common::EqualsIgnoringAsciiCase(term.name, "redirect")) redirect = term.argument;
            continue;
        }
        std::optional<bool> matched = evaluation.Matches(term);
        if (!matched) return walk.lookupFailed ? SpfResult::TempError : SpfResult::PermError;
        if (*matched) return Verdict(term.qualifier);
    }
    if (redirect.empty()) return SpfResult::NoMatch;
    if (++walk.lookups > kLookupLimit || walk.TimeOver()) return SpfResult::PermError;
    SpfRecordLookup target = LookUpSpfRecord(redirect);
    if (target.problem == SpfResult::TempError) return SpfResult::TempError;
    if (!target.record) return SpfResult::PermError;
    return EvaluateSpf(walk, true, redirect, *target.record);
}

int QueryPassSpf(const std::string& file, std::string_view value, int mode) {
    constexpr common::ListFileRules kRules{127, common::kListCommentChars, true};
    std::optional<IpAddress> address = mode == 1 ? ParseIpAddress(value) : std::nullopt;
    bool listed = false;
    common::ForEachListLine(file, kRules, [&](std::string_view line) {
        if (mode == 0) {
            size_t star = line.find('*');
            if (star == std::string_view::npos) {
                listed = common::EqualsIgnoringAsciiCase(value, line);
            } else {
                std::string_view head = line.substr(0, star), tail = line.substr(star + 1);
                listed = value.size() >= head.size() + tail.size() &&
                         common::StartsWithIgnoringAsciiCase(value, head) &&
                         common::EqualsIgnoringAsciiCase(value.substr(value.size() - tail.size()), tail);
            }
        } else if (!line.empty() && line.back() == '*') {
            // "192.168.*": the address written as a beginning of text.
            listed = value.substr(0, line.size() - 1) == line.substr(0, line.size() - 1);
        } else if (std::optional<IpNetwork> network = ParseIpNetwork(line)) {
            listed = address && InNetwork(*address, *network);
        }
        return !listed;
    });
    return listed ? 1 : 0;
}

int QuerySPF(std::string_view requestText) {
    WriteLogF("QuerySPF(%s)\n", std::string(requestText).c_str());
    size_t tab = requestText.find('\t');
    if (tab == std::string_view::npos) return kSpfPass;
    std::string mailPath(requestText.substr(0, tab));
    std::string_view rest = requestText.substr(tab + 1);
    size_t second = rest.find('\t');
    std::string client(rest.substr(0, second));
    std::string sender(second == std::string_view::npos ? std::string_view() : rest.substr(second + 1));

    const std::string& passFile = Settings().passSpfFile;
    for (const auto& [value, mode] : {std::pair<const std::string&, int>{sender, 0}, {client, 1}}) {
        if (!value.empty() && QueryPassSpf(passFile, value, mode)) {
            WriteConsoleF("Skip -> %s\n", value.c_str());
            return kSpfSkip;
        }
    }
    size_t at = sender.rfind('@');
    std::string domain = at == std::string::npos ? std::string() : sender.substr(at + 1);
    const SpfRecordLookup found = domain.empty() ? SpfRecordLookup{} : LookUpSpfRecord(domain);
    if (found.problem == SpfResult::TempError || found.problem == SpfResult::PermError) {
        WriteLogF("%s -> %s (%d)\n", found.problem == SpfResult::TempError ? "TempError" : "PermError",
                  client.c_str(), kSpfNone);
        return kSpfNone;
    }
    if (!found.record) {
        WriteLogF("None -> %s\n", client.c_str());
        return kSpfNone;
    }
    const std::string& record = *found.record;
    SpfWalk walk{ParseIpAddress(client), record, 0};
    switch (EvaluateSpf(walk, false, domain, record)) {
        case SpfResult::Pass:
            WriteLogF("%s -> %s (%d)\n", "Pass", client.c_str(), kSpfPass);
            return kSpfPass;
        case SpfResult::Fail:
        case SpfResult::SoftFail:
            MarkSpamMail(mailPath);
            WriteLogF("%s -> %s (%d)\n", "Fail", client.c_str(), kSpfFail);
            return kSpfFail;
        case SpfResult::PermError:
        case SpfResult::TempError:
            WriteLogF("%s -> %s (%d)\n", walk.lookupFailed ? "TempError" : "PermError", client.c_str(), kSpfNone);
            return kSpfNone;
        default:
            WriteLogF("%s -> %s (%d)\n", "Neutral", client.c_str(), kSpfNone);
            return kSpfNone;
    }
}

}  // namespace spam
