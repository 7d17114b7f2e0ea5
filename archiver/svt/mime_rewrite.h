// The MIME side of archiving: the header block of the mail or of one part
// rewritten (content headers, Message-ID, the "X-Sorvant: yes" mark), and
// in per-attachment mode the walk over the parts below the top-level
// boundary, each attachment packed into its own zip archive in place of its
// content.
#pragma once

#include <string>

#include "archiver/svt/mail_job.h"
#include "archiver/svt/mail_lines.h"

namespace archiver {

struct PartHeader {
    bool seenSubject = false, seenMessageId = false, seenType = false, seenDisposition = false, seenCte = false;
    std::string typeRaw, dispositionRaw, cteRaw;  // whole fields with their line ends
    std::string name, boundary, filename;         // parameters as written
    std::string nameDecoded, filenameDecoded, subjectDecoded;  // in the local code page
    bool filenameFromPieces = false;  // filename*0*= ... pieces
    bool boundaryMadeHere = false;
    bool attachment = false;
    std::string emptyLine;  // the line that ended the block, as read
    std::string rawHeader;  // the block as read
    std::string rewritten;  // the block as it is to be written
};

// Transfer encoding kinds of a part's body.
enum TransferKind { kOtherEncoding = 0, kBase64 = 1, kQuotedPrintable = 2, kUuencode = 3, kBinhex = 4 };

// The first Subject field of the mail's head, unfolded.
std::string ReadSubject(const std::string& path);

// Reads one header block and fills part.rewritten; at the top level also
// sets the job's outer boundary (made when the mail has none). False when
// no line could be read.
bool RewriteHeaderBlock(MailJob& job, LineReader& in, PartHeader& part, bool top);

// Per-attachment mode: the whole mail rewritten from in to out, the final
// "." line included.
void RewriteMail(MailJob& job, LineReader& in, MailWriter& out);

// The value of a parameter ("name", "boundary", "filename") of a header
// field, quoted or not; empty when absent.
std::string HeaderParameter(const std::string& field, const std::string& parameter);

// A name made safe as a zip entry name: the characters \ / : * ? " < > | and
// control characters become "_", character by character (a Shift_JIS trail
// byte 0x5C or 0x7C is part of its character and stays).
std::string CleanEntryName(const std::string& name);

}  // namespace archiver
