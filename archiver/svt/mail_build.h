// The two mails that replace and accompany an archived mail: the archived
// mail (the header block kept, a notice text and the zip archive) and the
// password mail (the same Subject, the password text). Both end with the
// line "." like the relay's captured mails.
#pragma once

#include <optional>
#include <string>

#include "archiver/svt/mail_job.h"
#include "archiver/svt/mail_lines.h"

namespace archiver {

// The notice file's lines (or the built-in text when the file cannot be
// opened) as ISO-2022-JP, each "%s" replaced by fill when one is given.
// Lines that begin with "." are doubled, as the mail data needs.
void WriteNoticeText(const std::string& noticeFile, MailWriter& out, const std::optional<std::string>& fill);

// The notice part that per-attachment archiving puts before the closing
// boundary.
void WriteNoticePart(MailWriter& out, const std::string& boundary, const std::string& noticeFile);

// The file Base64-encoded, 48 bytes a line; false when it cannot be read.
bool WriteBase64File(const std::string& file, MailWriter& out);

// Writes the archived mail of job.workPath to output: true when the file is
// complete. job.archivePath holds the archive (whole-mail mode).
bool BuildZippedMail(MailJob& job, const std::string& output);

// Writes the password mail of the mail at job.workPath to output; true when
// the file is complete.
bool BuildPasswordMail(const MailJob& job, const std::string& output);

}  // namespace archiver
