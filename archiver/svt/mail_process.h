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

// Keeps the first -t addresses of the To field and the first -q of the Cc
// field. The mail is written anew beside it and put in its place only when
// complete; false (the mail as it was) when that fails.
bool LimitAddressHeaders(const ArchiveSettings& settings, const std::string& path);

// The password of one mail: at level 0 the -@ prefix and five random digits
// from the system's random source, otherwise the -@ text.
std::string ChoosePassword(const ArchiveSettings& settings);

Classification ClassifyMail(const ArchiveSettings& settings, const std::string& path);

}  // namespace archiver
