// The virus alert mail that replaces an infected mail retrieved over POP3
// or IMAP4: the mail's own header (with a new subject and a multipart
// content type), a text part naming the finding and the mail as an
// attached message (its body cut off unless -d keeps it).
#pragma once

#include <string>
#include <string_view>

#include "engine/linerelay/line_relay.h"

namespace engine {

// The alert answer for the retrieved answer `answer` as the server sent it:
// POP3, the "+OK" line, the (dot-stuffed) mail and the "." line; IMAP4,
// the FETCH line ending in the literal's "{n}", the literal, and the rest
// of the FETCH response. The status line's size is the new mail's.
std::string BuildAlertAnswer(std::string_view answer, const std::string& finding, LineProtocol protocol,
                             bool keepBody, const std::string& boundary);

// The alert mail for the retrieved mail `mail` (a POP3 mail, dot-stuffed
// and ended by its "." line, when `dotEnded`): its header with the alert's
// Subject and Content-Type, the alert's text and the mail attached.
std::string AlertMail(std::string_view mail, const std::string& finding, bool keepBody, const std::string& boundary,
                      bool dotEnded);

// The alert's text: what stands in for a part of an infected mail.
std::string AlertText(const std::string& finding);

// A dot-stuffed POP3 mail's size as a client counts it: each stuffed dot
// taken away.
std::size_t Pop3Octets(std::string_view mail);

// The boundary of an alert mail made now.
std::string AlertBoundary();

// Turns `answer`, the retrieved answer held in the spool file at
// spoolPath, into the alert answer, and writes the spool file anew with
// it. The alert replaces the mail also when the file can't be written: an
// infected mail never goes on for want of disk space.
void MakeMail(const std::string& spoolPath, std::string& answer, const std::string& finding, LineProtocol protocol,
              bool keepBody);

}  // namespace engine
