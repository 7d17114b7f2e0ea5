// The SPF check of mail the SMTP relay received: may the client that
// delivered the mail send for the envelope sender's domain?
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

#include "filters/spam/ip_network.h"

namespace spam {

// Results of QuerySPF.
inline constexpr int kSpfFail = 0;  // the mail has been marked
inline constexpr int kSpfPass = 1;
inline constexpr int kSpfNone = 2;  // no record, a neutral verdict or a broken record
inline constexpr int kSpfSkip = 3;  // exempt by passspf.db

// "<mail path> TAB <client address> TAB <sender>"; text without a TAB
// passes at once.
int QuerySPF(std::string_view requestText);

// mode 0: the sender against the sender entries; mode 1: the client
// address against the address entries. 1 when listed.
int QueryPassSpf(const std::string& file, std::string_view value, int mode);

enum class SpfResult {
    NoMatch,   // no term decided (the record's own result is neutral)
    Pass,
    Fail,
    SoftFail,  // "~": counts as a fail here
    Neutral,   // "?": counts as no record at all
    PermError, // more than 10 lookups, a missing included record, two records
    TempError, // a lookup that got no answer: no verdict for now
};

// One check: the client and what the walk has spent.
// What one check's lookups may take together: a sender's DNS that answers
// each of its up to a hundred names slowly would otherwise hold the
// single-threaded server for minutes per mail. Past it the check ends as
// an error (no verdict).
constexpr std::chrono::seconds kSpfCheckBound{20};

struct SpfWalk {
    std::optional<IpAddress> client;
    std::string topRecord;
    int lookups = 0;
    std::chrono::steady_clock::time_point deadline = std::chrono::steady_clock::now() + kSpfCheckBound;
    bool lookupFailed = false;  // the error that ended the walk is a temporary one
    bool TimeOver() const { return std::chrono::steady_clock::now() >= deadline; }
};

// The verdict of one record for the domain. nested: reached through
// include or redirect.
SpfResult EvaluateSpf(SpfWalk& walk, bool nested, std::string_view domain, std::string_view record);

// The SPF record the domain publishes: the TXT record that begins
// "v=spf1" (else one that begins "spf2.0"), its strings joined as they
// were split. problem: NoMatch when there is none, PermError when the
// domain publishes two, TempError when the lookup got no answer.
struct SpfRecordLookup {
    std::optional<std::string> record;
    SpfResult problem = SpfResult::NoMatch;
};
SpfRecordLookup LookUpSpfRecord(std::string_view domain);

}  // namespace spam
