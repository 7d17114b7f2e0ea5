#include "archiver/svt/message_id.h"

#include <atomic>
#include <cstdio>

#include "common/local_time.h"

namespace archiver {

std::string MakeMessageId(const std::string& hostName, const std::string& suffix) {
    static std::atomic<unsigned long> counter{0};
    const unsigned long n = counter.fetch_add(1);
    const common::LocalTime t = common::NowLocal();
    char text[64];
    std::snprintf(text, sizeof text, "VLQR_%04d%02d%02d%02d%02d%02d%03d%05lu", t.year, t.month, t.day, t.hour,
                  t.minute, t.second, t.millisecond, n);
    return std::string(text) + suffix + "@" + hostName;
}

std::string LocalPartOf(const std::string& id) { return id.substr(0, id.find('@')); }

}  // namespace archiver
