// The spam check server's settings: one record filled from the command
// line at start and read-only afterwards.
#pragma once

#include <string>
#include <vector>

namespace spam {

struct SpamSettings {
    std::string dataRootVariable = "ALLUSERSPROFILE";  // -e, at most 260 characters
    std::string subjectTag;                            // -t; empty: nothing inserted
    bool logToFile = false;                            // -w
    bool spfCheck = false;                             // -s
    bool dateCheck = false;                            // -d

    // Made at start from the data root.
    std::string dataRoot;
    std::string dataFolder;  // "<root>/VELQOR/"
    std::string logFolder;   // "<data folder>spamenglog"
    std::string zoneFile;    // spam-dnsbl.db
    std::string shortUrlFile;
    std::string keywordFile;  // spamkeyword.db
    std::string passSpfFile;  // passspf.db
};

// The settings every check reads.
SpamSettings& Settings();

// Options as the service writes them (-t, -e, -w, -s, -d); other letters
// are ignored.
void ReadOptions(const std::vector<std::string>& args, SpamSettings& settings);

// Looks the data root up and fills the paths.
void MakePaths(SpamSettings& settings);

}  // namespace spam
