// The hive files under $VELQOR_REGISTRY_DIR (default
// /var/lib/velqor/registry): HKEY_LOCAL_MACHINE.reg and
// HKEY_CURRENT_USER.reg.
//
// Readers read the file as it is: a writer never changes it in place, so a
// reader sees either the old or the new hive. Writers take an exclusive
// flock on "<hive>.lock", read the current file, change it, write
// "<hive>.reg.tmp", fsync it and rename it over the hive file. A batch
// holds the lock from its first change to its end and writes once.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/registry/hive.h"

namespace platform::registry_detail {

enum class Hive { kLocalMachine, kCurrentUser };

const char* HiveRootName(Hive hive);  // "HKEY_LOCAL_MACHINE", ...
std::string StoreFolder();
std::string HiveFilePath(Hive hive);

// The hive as this thread sees it: the file's latest version (parsed again
// only when the file changed), or inside a batch the batch's own changes.
// A missing file is an empty hive. The tree is shared: never change it.
// kErrorCantRead or kErrorRegistryCorrupt on failure.
LONG LoadHive(Hive hive, std::shared_ptr<RegKeyNode>* root);

// Why LoadHive fails: the file, and the reason it cannot be read or the
// first line that does not parse; empty when it loads.
std::string DescribeHiveDamage(Hive hive);

// `change` edits the freshly read hive and sets `changed` when it did; its
// result is passed back. Only a successful change is written.
// Inside a batch the change is kept for the batch's end, with the hive's
// lock held until then.
using HiveChange = std::function<LONG(RegKeyNode& root, bool& changed)>;
LONG ModifyHive(Hive hive, const HiveChange& change);

// A batch of this thread's changes; batches nest, the outermost one
// writes each changed hive once at its end and returns the first error.
void BeginBatch();
LONG EndBatch();

}  // namespace platform::registry_detail
