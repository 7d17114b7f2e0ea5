// Leaving root once what only root may do is done. The servers that face
// the network or handle mail become the service user; the watchers, which
// read every file and end programs, stay root with only the capabilities
// that needs. Both do nothing unless the process runs as root, so a run by
// an ordinary user, or on a machine without the service user, goes on as
// it was.
#pragma once

#include <string>

namespace platform {

// The service user's name: $VELQOR_USER, or "velqor" when unset or empty.
std::string ServiceUserName();

// As root and when the service user exists: takes on its user id, its
// primary group and no other groups (a user of id 0, such as root itself,
// leaves the process as it is). Ends the process when the change
// cannot be made completely (a half-dropped server is worse than none).
// True when the process now runs as that user.
bool DropToServiceUser();

// As root: keeps reading every file and folder, signalling and looking
// into every process (CAP_DAC_READ_SEARCH, CAP_KILL, CAP_SYS_PTRACE), and
// gives up every other capability for good, for this process and what it
// starts. Ends the process when that fails. True when the set was narrowed.
bool KeepOnlyWatcherCapabilities();

// For a server once it runs as whom it serves as (the service user it
// became, or whoever started it): "" when it may make and remove files in
// `folder` (made first, with its parents, when missing); otherwise the line
// it logs before ending with exit code 1, naming the folder, the user and
// the reason.
std::string FolderProblem(const std::string& folder);

}  // namespace platform
