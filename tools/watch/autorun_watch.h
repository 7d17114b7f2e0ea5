// The autostart watcher orqmemo: in endless rounds, has the scan server
// check every running program, the commands of the autostart registry
// keys and the entries of the two startup folders; a running program with
// a finding is ended, every finding goes to the alert pipe.
#pragma once

#include <cstdint>
#include <string>

namespace watch {

struct MemoSettings {
    std::string dataRootVariable = "ALLUSERSPROFILE";
    uint32_t intervalMinutes = 60;
    bool logToFile = false;
};

// -e=<variable>, -t=<minutes> (decimal; not a number reads as 0), -w.
MemoSettings ParseMemoArguments(int argc, char** argv);

// The scan of one text with the autostart watcher's rule: a reply that
// begins "AVS_ACCESSDENIED" is clean, "Password-protected-EXE" is a
// finding. Empty when clean, when the scan failed, or when the text is too
// long to be sent whole.
std::string ScanAutostartText(const std::string& text);

// One round: running programs, autostart keys, startup folders.
void RunAutostartRound();

int AutorunWatchMain(int argc, char** argv);

}  // namespace watch
