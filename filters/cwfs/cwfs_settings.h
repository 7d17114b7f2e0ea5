// The word filter server's settings: one record filled from the command
// line at start and read-only afterwards.
#pragma once

#include <string>
#include <vector>

#include "filters/cwfs/rating_levels.h"

namespace cwfs {

inline constexpr unsigned kDefaultBufferKiB = 300;
// A larger -m would only hold the server's memory; pages are judged by their
// first chunks long before that.
inline constexpr unsigned kMaxBufferKiB = 16 * 1024;

struct CwfsSettings {
    std::string dataRootVariable = "ALLUSERSPROFILE";  // -e, at most 260 characters
    std::string fallbackCharset = "shift_jis";         // -c; for a page that names no charset
    unsigned bufferKiB = kDefaultBufferKiB;            // -m, clamped to 1..kMaxBufferKiB
    bool logToFile = false;                            // -w
    bool ratingCheck = false;                          // -l
    RatingLevels levels;                               // -l
    std::string queryProxy;                            // -s; empty: the portal is asked directly

    // Made at start.
    std::string programName;  // argument 0 without its folder
    std::string dataRoot;
    std::string dataFolder;  // "<root>/VELQOR/"
    std::string logFolder;   // "<data folder>cwfenglog"
};

// The settings every check reads.
CwfsSettings& Settings();

// Options as the service writes them (-c, -e, -l, -m, -s, -w); other
// letters and empty arguments are ignored.
void ReadOptions(const std::vector<std::string>& args, CwfsSettings& settings);

// Looks the data root up and fills the paths.
void MakePaths(CwfsSettings& settings);

}  // namespace cwfs
