// Query_KeywordLists: the body of a stored response against the keyword
// list, then the rating label check and the kids-safe site check.
#pragma once

#include <optional>
#include <string>

#include "common/pipe_messages.h"
#include "filters/cwfs/body_chunks.h"

namespace cwfs {

// "<data folder><list name>" when a list name is given and that file
// opens, else "<data folder><common name>".
std::string ChooseDataFile(const std::optional<std::string>& listName, const std::string& suffix,
                           const std::string& commonName);

// Fills reply with the WordFilterReply text ("Keyword=...", "PICS-LABEL=...",
// "KIDS-FILTER=...") or leaves it empty on a pass. Non-zero when the last
// check that ran hit.
int Query_KeywordLists(BodyChunks& body, const common::WordFilterRequest& request, const std::string& charset,
                       std::string& reply);

}  // namespace cwfs
