#include "engine/listener/zip_list.h"

#include "common/list_file.h"
#include "common/wildcard.h"

namespace engine {

int QueryZipList(const std::string& listFile, const std::string& address, int port) {
    const std::string key = address + ":" + std::to_string(port);
    common::ListFileRules rules;
    rules.maxLineLength = 256;
    bool hit = false;
    common::ForEachListLine(listFile, rules, [&](std::string_view line) {
        hit = common::WildcardMatch(line, key);
        return !hit;
    });
    return hit ? 1 : 0;
}

}  // namespace engine
