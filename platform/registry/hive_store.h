// The hive files under $VELQOR_REGISTRY_DIR (default
// /var/lib/velqor/registry): HKEY_LOCAL_MACHINE.reg and
// HKEY_CURRENT_USER.reg.
//
// Readers read the file as it is: a writer never changes it in place, so a
// reader sees either the old or the new hive. Writers take an exclusive
// flock on "<hive>.lock", read the current file, change it, write
// "<hive>.reg.tmp", fsync it and rename it over the hive file.
#pragma once

#include <functional>
#include <string>

#include "platform/registry/hive.h"

namespace platform::registry_detail {

enum class Hive { kLocalMachine, kCurrentUser };

const char* HiveRootName(Hive hive);  // "HKEY_LOCAL_MACHINE", ...
std::string StoreFolder();
std::string HiveFilePath(Hive hive);

// Reads the hive; a missing file is an empty hive. kErrorCantRead or
// kErrorRegistryCorrupt on failure.
LONG LoadHive(Hive hive, RegKeyNode* root);

// Why LoadHive fails: the file, and the reason it cannot be read or the
// first line that does not parse; empty when it loads.
std::string DescribeHiveDamage(Hive hive);

// `change` edits the freshly read hive and sets `changed` when it did; its
// result is passed back. Only a successful change is written.
using HiveChange = std::function<LONG(RegKeyNode& root, bool& changed)>;
LONG ModifyHive(Hive hive, const HiveChange& change);

}  // namespace platform::registry_detail
