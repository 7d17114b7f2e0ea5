#include "filters/cwfs/keyword_check.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

#include "common/file_retry.h"
#include "common/filter_text.h"
#include "common/list_file.h"
#include "common/option_arg.h"
#include "filters/cwfs/cwfs_log.h"
#include "filters/cwfs/cwfs_settings.h"
#include "filters/cwfs/kids_check.h"
#include "filters/cwfs/pattern_convert.h"
#include "filters/cwfs/pics_check.h"
#include "filters/cwfs/trigram_index.h"
#include "filters/cwfs/word_filter_request.h"

namespace cwfs {
namespace {

constexpr size_t kKeywordLineLimit = 511;

bool CanOpen(const std::string& path) { return common::OpenRegularFile(path) != nullptr; }

// The chunk indexes of one request, made as the chunks are first matched.
// Only chunks that stay in memory get one, so the indexes stay bounded too.
class ChunkIndexes {
public:
    const TrigramIndex* For(BodyChunks& body, size_t index, std::string_view text) {
        if (index >= kMaxIndexes || !body.InMemory(index)) return nullptr;
        if (indexes_.size() <= index) indexes_.resize(index + 1);
        if (!indexes_[index]) indexes_[index] = std::make_unique<TrigramIndex>(text);
        return indexes_[index].get();
    }

private:
    static constexpr size_t kMaxIndexes = 64;
    std::vector<std::unique_ptr<TrigramIndex>> indexes_;
};

// True when the keyword hits: its pattern matches in at least `count`
// chunks (a count of 0 or less: in one).
bool KeywordHits(BodyChunks& body, ChunkIndexes& indexes, std::string_view pattern, int64_t count) {
    const std::vector<uint32_t> grams = TrigramIndex::GramsOf(pattern);
    size_t hits = 0;
    std::string_view text;
    for (size_t index = 0; body.Get(index, text); ++index) {
        const TrigramIndex* quick = indexes.For(body, index, text);
        if (quick && !quick->MayContain(grams)) continue;
        if (!common::MatchPattern(pattern, text)) continue;
        ++hits;
        if (count <= 0 || static_cast<int64_t>(hits) >= count) return true;
    }
    return false;
}

}  // namespace

std::string ChooseDataFile(const std::optional<std::string>& listName, const std::string& suffix,
                           const std::string& commonName) {
    const std::string& folder = Settings().dataFolder;
    if (listName) {
        const std::string path = folder + *listName + suffix;
        if (CanOpen(path)) return path;
    }
    return folder + commonName;
}

int Query_KeywordLists(BodyChunks& body, const common::WordFilterRequest& request, const std::string& charset,
                       std::string& reply) {
    reply.clear();
    const unsigned codePage = common::CodePageFromCharset(charset);
    const std::string listPath = ChooseDataFile(request.listName, "", "cwf.db");
    WriteLog(listPath + "\n");

    struct Keyword {
        std::string line;  // as the list has it, for the reply
        int64_t count;
        std::string pattern;  // in the page's encoding
    };
    std::vector<Keyword> keywords;
    size_t longest = 0;
    common::ListFileRules rules;
    rules.maxLineLength = kKeywordLineLimit;
    common::ForEachListLine(listPath, rules, [&](std::string_view line) {
        const size_t comma = line.find(',');
        const std::string_view keyword = line.substr(0, comma);
        const int64_t count = comma == std::string_view::npos ? 1 : common::ParseDecimal(line.substr(comma + 1));
        std::string pattern = ConvertPatternForPage(keyword, codePage);
        longest = std::max(longest, pattern.size() - static_cast<size_t>(std::count(pattern.begin(), pattern.end(), '*')));
        keywords.push_back({std::string(keyword), count, std::move(pattern)});
        return true;
    });
    // A keyword that straddles the end of one chunk is whole in the next.
    body.SetOverlap(longest > 0 ? longest - 1 : 0);

    bool hit = false;
    ChunkIndexes indexes;
    for (const Keyword& keyword : keywords) {
        if (!KeywordHits(body, indexes, keyword.pattern, keyword.count)) continue;
        reply = "Keyword=" + keyword.line;
        WriteLog("[Query_KeywordLists] Hit. KEYWORD (" + keyword.line + ")\n");
        hit = true;
        break;
    }
    if (hit) return 1;

    int result = 0;
    std::string chunk;
    if (Settings().ratingCheck && body.First(chunk)) {
        std::string label;
        result = Query_PICS_LABEL(chunk, request.url, label, request.listName);
        if (result) {
            reply = "PICS-LABEL=" + label;
            WriteLog("[Query_PICS_LABEL] Hit. PICS-LABEL (" + label + ")\n");
        }
    }
    if (body.First(chunk)) {
        std::string name;
        const int kids = Query_KIDS_FILTER_SITE(request.url, name, request.listName);
        if (kids) {
            reply = "KIDS-FILTER=" + name;
            WriteLog("[Query_KIDS_FILTER_SITE] Hit. KIDS_FILTER (" + name + ")\n");
        }
        result = kids;
    }
    // The client reads at most this many bytes.
    if (reply.size() > common::kWordFilterReplySize) reply.resize(common::kWordFilterReplySize);
    return result;
}

}  // namespace cwfs
