// The start table: which programs the service starts, in which order, and
// with which arguments, all from the values of the product settings key.
// No server reads the registry itself; this is where settings reach them.
#pragma once

#include <string>
#include <vector>

namespace service {

struct ChildStart {
    enum class Kind {
        Start,       // start `program` with `args`
        Skip,        // switched off: only the log line
        ScanServer,  // start the scan server and wait for its pipe to answer
        CleanCache,  // empty the data folder's cache folder
    };
    Kind kind = Kind::Start;
    std::string program;            // file name in the install folder
    std::vector<std::string> args;  // after the program name, each one whole
    // Arguments kept off the command line (passwords): written to
    // `secretFile` before the start, which `args` names instead.
    std::vector<std::string> secretArgs;
    std::string secretFile;
    bool pause = false;             // one second before the log line
    std::string logLine;
    std::string afterLine;          // written once the program is started
};

struct ChildStartContext {
    std::string dataRootVariable;  // passed as -e=
    bool debug = false;            // the engine gets -v
    bool enginePresent = false;    // the scan server is installed
};

// Reads the settings and lays out every step in start order.
std::vector<ChildStart> BuildChildStartTable(const ChildStartContext& context);

// Builds the table and carries it out; stops early when the service is
// asked to stop.
void StartChildren(bool enginePresent);

// Deletes the file of the archiving server's secret arguments.
void RemoveSecretArguments();

// Deletes every file (not the folders) in "<data root>/VELQOR/cache".
void CleanCacheFolder();

}  // namespace service
