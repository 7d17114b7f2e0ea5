// The mail id, the envelope file beside a spooled mail ("<id>.$CP") and
// the mail backup (-b): "<id>.$ML" while the mail is on its way, then
// "<id>.EML" and "<id>.RCP" once the server has accepted it.
#pragma once

#include <string>
#include <string_view>

namespace engine {

// "YYYYMMDDhhmmssmmm.nnnnnnnn" from the local time and the process-wide
// counter (taken under its lock).
std::string MakeMailId();

// The address of a MAIL FROM or RCPT TO line: the text after the first
// colon, without blanks and "<" before it, up to ">", CR or LF. Empty
// when the line holds no colon.
std::string CommandAddress(std::string_view commandLine);

// The backup day folder of a mail id ("<-b value>YYYYMMDD/"); empty
// without -b.
std::string BackupDayFolder(const std::string& mailId);

enum class EnvelopeLine { Start, ReturnPath, Recipient };

// Writes one envelope line: Start makes the file (and its folder) anew
// with the Message-ID line; ReturnPath and Recipient append the address
// of `commandLine`. `spool` picks the cache folder copy, else the backup
// day folder copy (only with -b). A file that can't be written is skipped.
void MailEnvelopeFile(const std::string& mailId, std::string_view commandLine, EnvelopeLine mode, bool spool);

// Copies the captured mail to "<id>.$ML" in the backup day folder (-b).
void BackupCopy(int clientSocket, const std::string& mailPath, const std::string& mailId);

// Ends the backup of one mail (-b): kept, "<id>.$ML" becomes "<id>.EML" and
// "<id>.$CP" becomes "<id>.RCP"; not kept, all four are deleted.
void Backup_Mail(int clientSocket, const std::string& mailId, bool keep);

// Deletes the envelope of a mail: "<id>.$CP" in the backup day folder and
// in the cache folder.
void DeleteMailEnvelope(const std::string& mailId);

}  // namespace engine
