// The text a new file of the archiving and spam check pages receives: the
// listen addresses whose mail is archived, the two notice texts of the
// archiving server, and the spam check's keyword, URI blocklist and SPF
// pass lists.
#pragma once

#include <string_view>

#include "panel/framework/list_file_texts.h"

namespace panel {

// "smtp-zip.db", "ziped-message.txt", "ziped-pw-message.txt",
// "spamkeyword.db", "spam-dnsbl.db", "passspf.db"; empty for other names.
ListFileTemplate MailFilterTemplate(std::string_view fileName);

}  // namespace panel
