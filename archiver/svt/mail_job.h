// What the steps of archiving one mail share: the settings, the paths, the
// password and id of this mail, and what the MIME walk has found so far.
#pragma once

#include <optional>
#include <string>

#include "archiver/svt/archive_settings.h"

namespace archiver {

struct MailJob {
    MailJob(const ArchiveSettings& s, std::string work) : settings(s), workPath(std::move(work)) {}

    const ArchiveSettings& settings;
    std::string workPath;      // the mail's work copy, "<work folder>/<id>.dat"
    std::string archivePath;   // "<work path>.zip"
    std::optional<std::string> password;  // none: archives are not encrypted
    std::string id;            // this processing's Message-ID text
    bool signedMail = false;
    // Attachments are decoded here, under generated names, one at a time.
    std::string extractFolder;
    unsigned extractCounter = 0;

    // Shared across the parts of one mail.
    std::string outerBoundary;
    std::string encodedArchiveName;
    bool noticeWritten = false;
    // Set by any step whose failure would make the archived mail incomplete.
    bool failed = false;

    bool writesNotice() const { return settings.level == 0 || settings.level == 1; }
    std::string noticeFile() const { return settings.rootFolder + "ziped-message.txt"; }
    std::string passwordNoticeFile() const { return settings.rootFolder + "ziped-pw-message.txt"; }
};

}  // namespace archiver
