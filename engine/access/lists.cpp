#include "engine/access/lists.h"

#include "common/list_file.h"
#include "common/wildcard.h"

namespace engine {

namespace {

// Lines longer than this are read in pieces, each piece an entry.
constexpr size_t kListLineLength = 4095;

}  // namespace

std::string WidenListEntry(std::string_view entry) {
    std::string widened(entry);
    size_t comma = widened.find(',');
    if (comma == std::string::npos) return widened;
    if (widened.find(':') < comma) return widened;
    widened.insert(comma, ":*");
    return widened;
}

bool QueryDBList(const std::string& listPath, std::string_view urlKey, std::string_view listKey) {
    if (listPath.find(kBlackListName) != std::string::npos && common::WildcardMatch(kBuiltInBlackEntry, urlKey))
        return true;

    common::ListFileRules rules;
    rules.maxLineLength = kListLineLength;
    bool hit = false;
    common::ForEachListLine(listPath, rules, [&](std::string_view line) {
        std::string entry = WidenListEntry(line);
        hit = common::WildcardMatch(entry, urlKey) || (!listKey.empty() && common::WildcardMatch(entry, listKey));
        return !hit;
    });
    return hit;
}

}  // namespace engine
