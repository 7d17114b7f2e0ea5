// Small operations the start-up, the settings window and the pages share.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace panel {

// The panel's own file version, most and least significant words.
void GetOwnFileVersion(uint32_t& mostSignificant, uint32_t& leastSignificant);

// Asks the anti-virus scan server about one file: the request carries the
// file-name bytes as they are (the server opens the file by them), in a
// zeroed 512-byte message. 1 when it answered: `reply` is empty for a clean
// file (also for "Password-protected-EXE" in any case of letters), else the
// finding. 0 when the pipe failed or no answer came within
// `replyTimeoutMs`; -1, and nothing sent, for a request that does not fit
// the message, since a cut one would name another file.
int AvScanRequest(std::string_view path, std::string& reply, uint32_t replyTimeoutMs = 0xFFFFFFFF);

// The server's drives for the watch pages: one drive, "/".
std::string ListServerDrives();

// True when no running program of the program folder has this file name
// (ASCII case ignored; a ".exe" ending is dropped).
bool IsProcessAbsent(std::string_view fileName);

// The program path of a command registered for a file type: the text after
// its first double quote, %VAR% references expanded, up to the next double
// quote or line end.
std::string ExpandShellCommand(std::string_view command);

// Opens the help's index page in the registered viewer; whether it started.
bool ShowHelpIndex();

// 1041 (Japanese) when the first non-empty of LC_ALL, LC_MESSAGES and LANG
// names the language "ja", else 1033.
int GetUserDefaultLangID();

}  // namespace panel
