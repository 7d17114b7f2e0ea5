// The backup tool's run: its settings, the options that set them, and the
// backup and restore of both product generations.
#pragma once

#include <string>
#include <vector>

namespace backup {

// Registry keys and data folder names of the two generations.
inline constexpr char kOlderKey[] = "SOFTWARE\\QUESSAT\\MORVASK";
inline constexpr char kCurrentKey[] = "SOFTWARE\\TAVRISK\\VELQOR_SERVER";
inline constexpr char kOlderFolderName[] = "PELLORA";
inline constexpr char kCurrentFolderName[] = "VELQOR";
inline constexpr char kOlderFileName[] = "velqor-v1.reg";
inline constexpr char kCurrentFileName[] = "velqor-v2.reg";
inline constexpr size_t kTargetLimit = 255;

struct RunSettings {
    int nZRev = 1;      // 1 older, 2 current, 12 older -> current, 21 current -> older
    int bMode = 0;      // 0 backup, 1 restore
    int bDisp = 1;      // echo settings, registry lines and keys
    std::string mTarget;  // ends with "/" when not empty
    std::string olderDataFolder;    // "<root>/PELLORA/"
    std::string currentDataFolder;  // "<root>/VELQOR/"
};

// Reads the options into `settings`. "-t" without "=" asks for the target
// on standard input; false when nothing was given there (the missing-target
// text has been printed and the run ends).
bool ParseOptions(const std::vector<std::string>& args, RunSettings& settings);

// The data folders of both generations, each from its own workenv value.
void FindDataFolders(RunSettings& settings);

// Backup and restore by nZRev. The backup returns false when something
// failed, so that a migration does not go on to the restore.
bool RunBackup(const RunSettings& settings);
void RunRestore(const RunSettings& settings);

}  // namespace backup
