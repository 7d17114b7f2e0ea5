// The requests the suite's programs send each other over the pipes named in
// pipe_names.h, each built and split here so both ends read one layout:
//
//   scan:        <file path> TAB <source digit>                          (engine)
//                <file path>                                             (watchers, service, panel)
//   scan reply:  empty (clean) or the finding's name
//   word filter: <stored response path>?<list name>*<host and path>
//   spam check:  <mail path> TAB <client address> TAB <envelope sender>  (SMTP)
//                <mail path>?<list name>                                (POP3, IMAP4)
//   archiving:   <mail path>
//   alert:       [<finding>] <path>
//
// Each request travels in a zeroed buffer: the receiving side reads the
// text up to its first NUL.
//
// A list name names a file under the data folder, written with "\" between
// folders and ";" for ":" in a file name.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace common {

// The most bytes of a file path the engine puts in a scan or archiving
// request; a longer path is cut there.
inline constexpr size_t kRequestPathLimit = 260;

// The buffer of the plain scan request and of its reply (the watchers, the
// service, the panel) and of the alert: the text, then zero bytes, so at
// most kPlainMessageSize - 1 bytes of text.
inline constexpr size_t kPlainMessageSize = 512;

// The word filter reads at most this much of a request, its NUL included,
// and its answer fills at most kWordFilterReplySize bytes.
inline constexpr size_t kWordFilterReadLimit = 4161;
inline constexpr size_t kWordFilterReplySize = 1041;

// The engine's form: the path (cut at kRequestPathLimit), a TAB and the
// digit of the road that asks (empty for SOCKS, which sends the TAB alone).
// The plain form of the other askers is the path alone: BuildPlainMessage.
std::string BuildScanRequest(std::string_view path, std::string_view sourceDigit);

// The plain scan request or an alert as it travels: the text up to its
// first NUL, cut at kPlainMessageSize - 1 bytes, then zero bytes up to
// kPlainMessageSize. An asker that must not send a cut path checks its
// length first.
std::string BuildPlainMessage(std::string_view text);

// The scan server's answers for a file it could not look into. The askers
// do not take them for findings, each by its own rule of case and length.
inline constexpr std::string_view kScanReplyPasswordProtected = "Password-protected-EXE";
inline constexpr std::string_view kScanReplyAccessDenied = "AVS_ACCESSDENIED";

struct ScanRequest {
    std::string path;
    // The engine's form: the digit, or empty for a TAB alone. None: the
    // plain form.
    std::optional<std::string> source;
};

// The engine's form when the text ends in a TAB, alone or with one digit
// after it; otherwise the whole text is the path.
ScanRequest SplitScanRequest(std::string_view text);

std::string BuildWordFilterRequest(std::string_view responsePath, std::string_view listName,
                                   std::string_view hostAndPath);

struct WordFilterRequest {
    std::string responsePath;
    std::optional<std::string> listName;  // relative to the data folder
    std::optional<std::string> url;       // host and path, without scheme
};

// Splits at the last "*" (the URL follows), then what precedes at its last
// "?" (the list name follows). The text ends at its first NUL. A list name
// that is absolute or climbs out of the data folder is refused (no list
// name: the common files are used).
WordFilterRequest SplitWordFilterRequest(std::string_view text);

std::string BuildSpamRequest(std::string_view mailPath, std::string_view clientAddress, std::string_view sender);
std::string BuildSpamListRequest(std::string_view mailPath, std::string_view listName);

struct SpamRequest {
    std::string text;      // the request without its list name (what the SPF check reads)
    std::string listName;  // as a file (ListNameAsFile), not yet checked; empty: none
    std::string mailPath;  // up to the first TAB
    bool smtpForm = false; // the text holds a TAB
};

// The text ends at its first NUL. The list name follows the last "?" of
// the part before the first TAB: the SMTP form never carries one, so a
// "?" in an envelope sender can never name a file to read.
SpamRequest SplitSpamRequest(std::string_view text);

// The file a list name names, relative to the data folder: ":" read as ";"
// and "\" as "/".
std::string ListNameAsFile(std::string_view listName);

// A list file that stays inside the data folder: relative, without ".."
// parts. Others are not used.
bool IsSafeListName(std::string_view name);

// The mail path cut at kRequestPathLimit.
std::string BuildArchiveRequest(std::string_view mailPath);
// The mail path: the text up to its first NUL.
std::string SplitArchiveRequest(std::string_view text);

std::string BuildAlert(std::string_view finding, std::string_view path);

struct Alert {
    std::string finding;
    std::string path;
};

// Splits at the first "] " (a finding holds none); the "[" before the
// finding is dropped when there is one. The text ends at its first NUL.
// None for a text without "] ": it names no file.
std::optional<Alert> SplitAlert(std::string_view text);

}  // namespace common
