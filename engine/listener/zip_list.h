// The archiving listen list ("<p>-zip.db"): the SMTP listen addresses and
// ports whose mail gets its attachments archived.
#pragma once

#include <string>

namespace engine {

// 1 when a line of the list (a "*" pattern) matches "<address>:<port>",
// else 0; 0 too when the list is missing. Read afresh at each call.
int QueryZipList(const std::string& listFile, const std::string& address, int port);

}  // namespace engine
