// Query_PICS_LABEL: the content-rating label in the head of a page against
// the allowed levels (-l, or the rule set's "<list name>.pics.ini").
#pragma once

#include <optional>
#include <string>

namespace cwfs {

// The service URLs of the six vocabularies, lower case (the page is lowered
// before the search), in the order they are looked at.
inline constexpr const char* kSafeSurfService = "http://www.classify.org/safesurf/";
inline constexpr const char* kRsacService = "http://www.rsac.org/ratingsv01.html";
inline constexpr const char* kEncService = "http://www.nmda.or.jp/enc/rating.html";
inline constexpr const char* kIaJapanService = "http://www.iajapan.org/rating/";
inline constexpr const char* kIcraV02Service = "http://www.icra.org/ratingsv02.html";
inline constexpr const char* kIcraV03Service = "http://www.icra.org/ratingsv03.html";
// The form ICRA's label generator writes into published v03 labels.
inline constexpr const char* kIcraV03VocabularyService = "http://www.icra.org/pics/vocabularyv03/";

// chunk: the first body chunk (lowered and cut here). 1 = block (label
// holds the service URL and the ratings that were judged), 0 = pass.
int Query_PICS_LABEL(std::string& chunk, const std::optional<std::string>& url, std::string& label,
                     const std::optional<std::string>& listName);

}  // namespace cwfs
