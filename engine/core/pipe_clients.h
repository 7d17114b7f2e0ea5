// The engine's hand-offs to the pipe servers: the anti-virus scan server
// (orqavs), the spam check (orqspam), the content word filter (orqcwfs) and
// the attachment archiving server (orqsvt). Each client sends one zeroed
// request buffer of the size its server expects and takes one reply. One
// lock per pipe (Shared()) is held for the whole transaction, so a process
// sends at most one request at a time to each pipe; while a pipe is busy
// the client tries again every 10 ms. A call waits at most the settings'
// pipeCallTimeoutMs for a busy pipe to become free, and as long again for
// the answer: a server that hangs then fails the call instead of holding
// the lock, and every request behind it, for ever.
//
// No client fails a connection: a pipe that can't be reached, or that
// doesn't answer in time, leaves the reply empty, which every caller
// treats as nothing found.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "common/pipe_messages.h"
#include "common/pipe_names.h"
#include "engine/core/engine_settings.h"

namespace engine {

// Request and reply sizes the servers rely on. A reply may fill its whole
// buffer; the text handed back is NUL-terminated beyond it.
inline constexpr size_t kScanRequestSize = 521;
inline constexpr size_t kScanReplySize = 521;
inline constexpr size_t kSpamRequestSize = 521;
inline constexpr size_t kSpamReplySize = 521;
inline constexpr size_t kWordFilterRequestSize = 5201;
inline constexpr size_t kArchiveRequestSize = 521;
inline constexpr size_t kArchiveReplySize = 521;

// The spam request's fields (path, client address, sender) fill the buffer
// up to its terminating NUL.
inline constexpr size_t kSpamTextLimit = kSpamRequestSize - 1;
// What the word filter reads of a request, less its NUL.
inline constexpr size_t kWordFilterTextLimit = common::kWordFilterReadLimit - 1;

// False only when nobody can serve the pipe: its socket file is missing, so
// a call would fail at once with error 2. Lets a caller leave unwritten a
// spool file that only the pipe's server would read.
bool PipeMayBeServed(std::string_view pipe);

// Writes, just before a pipe server is asked about it, a spool file that
// was left unwritten while nobody served the pipe. False when the file can
// no longer be made (its bytes were not kept): the call then fails as it
// would have when the file was left out, with error 2.
using LateFile = std::function<bool()>;

// True when the file at path is larger than sizeLimit bytes (0: no limit)
// and must not be sent; logged. A file that can't be found is sent.
bool FileSizeCheck(int clientSocket, const std::string& path, uint64_t sizeLimit);

// The source digit of a scan request for an engine protocol (option -p):
// "1" HTTP, "3" SMTP, "4" POP3, "5" IMAP4, "2" FTP, none for SOCKS.
std::string ScanSourceDigit(int protocol);

// Anti-virus scan of the file at path (cut at common::kRequestPathLimit
// bytes for the request). reply gets the finding, or stays empty for a
// clean file, a file the scanner couldn't scan, a file over the -k size
// (not sent) and a failed call. Result: 0 when the pipe failed, else 1.
// With late, the file is written only when a scan server may take the
// request; nobody serving the pipe then fails the call without it (for
// callers without a -k limit, whose size check needs the file).
int ScanFile(const EngineSettings& settings, int protocol, int clientSocket, const std::string& path,
             std::string& reply, const LateFile& late = nullptr);

// Once a scan call has run out its bound without an answer, the calls
// after it fail at once (logged) instead of waiting as long again, and one
// call every few seconds tries the server until it answers. This forgets
// such a server (for a new one that starts out answering).
void ForgetSilentScanServer();

// Spam check of a mail; request is "<mail path>\t<client address>\t<sender>"
// or "<mail path>?<list name>". reply gets the server's answer unchanged.
// Result: 0 when the pipe failed, else 1.
int ScanSpamFile(const EngineSettings& settings, int clientSocket, const std::string& request,
                 std::string& reply);

// Word filter check; request is "<response path>?<list name>*<host and path>".
// reply gets the server's answer unchanged (empty: pass). Result: 0 when the
// pipe failed (the server sends no reply for a response it doesn't judge),
// else 1. late: as for ScanFile, the file the request names.
int ScanHttpFile(const EngineSettings& settings, int clientSocket, const std::string& request,
                 std::string& reply, const LateFile& late = nullptr);

// Attachment archiving of the mail at mailPath. The mail moves to
// "<data folder>cache/<mailId>.dat" for the server, which rewrites it there
// and takes over the envelope "<mailId>.$CP" beside it, and then moves back.
// reply gets "Compressed" when the server archived the mail, else stays
// empty (and the envelope is deleted). Result: 0 when the pipe failed.
int CompressedbyPipe(const EngineSettings& settings, int clientSocket, const std::string& mailPath,
                     const std::string& mailId, std::string& reply);

}  // namespace engine
