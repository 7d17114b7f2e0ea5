// One spooled mail turned into the archived mail: address headers limited,
// the mail classified, the password chosen, the archive, the archived mail
// and the password mail written, and the archived mail put in place.
#pragma once

#include <string>

#include "archiver/svt/archive_settings.h"

namespace archiver {

enum MailClass { kNotArchived = 0, kArchived = 1, kAlreadyArchived = 2 };

struct Classification {
    int result = kNotArchived;
    std::string boundary;  // the top-level boundary, in its own case
    bool signedMail = false;
};

// 1 when the file now holds the archived mail, 0 when the mail is not to be
// archived, 2 when it was archived before or the archive could not be made.
// On anything but 1 the mail is as it was (apart from header limiting).
int ProcessMailFile(const ArchiveSettings& settings, const std::string& path);

Classification ClassifyMail(const ArchiveSettings& settings, const std::string& path);

}  // namespace archiver
