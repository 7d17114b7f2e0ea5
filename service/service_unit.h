// The service's unit as this installation sets it up, shared by velqors
// -install and the control panel's register command, and the
// administrators' group that may share the service's store, data and pipes.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>

#include "platform/service/service.h"

namespace service {

// The group whose members administer the service beside root.
inline constexpr const char* kAdministratorsGroup = "velqor";

// Its name: kAdministratorsGroup, or $VELQOR_GROUP where tests name a
// group of their own (a machine-wide "velqor" made by one test would change
// what every other test running beside it installs).
std::string AdministratorsGroup();

// The group's id, when the group exists.
std::optional<gid_t> AdministratorsGroupId();

// The unit of the service program at `programPath`, with the folders the
// calling process uses (the data root `dataRootVariable` names, the
// registry store, the pipe folder), and the group's umask when the group
// exists.
platform::ServiceDefinition ServiceUnitFor(const std::string& programPath, const std::string& dataRootVariable);

// Makes the registry store, the data folder and the pipe folder root's and
// the group's, 2770, with what they already hold readable and writable by
// the group (not followed through symbolic links), and has the pipe folder
// made again that way at boot (`velqor.conf` in $VELQOR_TMPFILES_DIR,
// default /etc/tmpfiles.d). Each failure is one line in `problems`; true
// when there was none.
// Makes the system user the servers run as (platform::ServiceUserName(),
// without a home or a login, its group `group`) first, when it is missing.
bool ShareWithGroup(gid_t group, const std::string& dataFolder, std::string& problems);

// $VELQOR_TMPFILES_DIR or /etc/tmpfiles.d.
std::string TmpfilesFolder();

}  // namespace service
