// Rewrites of server answers on their way to the client, and the safe form
// of a client's user name inside a file name.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace engine {

// The answer to EHLO: PIPELINING and CHUNKING are dropped (pipelined
// commands and BDAT would pass the lockstep relay and the mail checks),
// and STARTTLS is shown exactly when the relay offers it to the client
// (appended as the last line when the server does not offer it itself).
std::string RewriteEhloAnswer(std::string_view answer, bool offerStartTls);

// The answer to CAPA: PIPELINING dropped; STLS shown exactly when the
// relay offers it.
std::string RewriteCapaAnswer(std::string_view answer, bool offerStls);

// IMAP4 capability lists ("* CAPABILITY ..." and "[CAPABILITY ...]" in a
// status line): STARTTLS shown exactly when the relay offers it; IDLE,
// NOTIFY and COMPRESS dropped, which the lockstep relay can't carry.
std::string RewriteImapCapabilities(std::string_view answer, bool offerStartTls);

// A user name as part of a file name: path separators, "..", wildcards
// and control bytes can't lead out of the folder or name another file.
std::string SafeFileNamePart(std::string_view name);

}  // namespace engine
