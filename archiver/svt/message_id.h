// Message-ID texts of this server, also used (cut at "@") in boundaries and
// as the name of a mail's working files.
#pragma once

#include <string>

namespace archiver {

// "VLQR_<local time to the millisecond><counter %05d><suffix>@<host>"; the
// process-wide counter grows with every call, so two texts of the same
// millisecond still differ.
std::string MakeMessageId(const std::string& hostName, const std::string& suffix = "");

// The text before its "@" (all of it when there is none).
std::string LocalPartOf(const std::string& id);

}  // namespace archiver
