#include "archiver/svt/mail_process.h"

#include <sys/random.h>

#include <cstdio>
#include <random>

#include "archiver/svt/file_moves.h"
#include "archiver/svt/mail_build.h"
#include "archiver/svt/mail_job.h"
#include "archiver/svt/mail_lines.h"
#include "archiver/svt/message_id.h"
#include "archiver/svt/mime_rewrite.h"
#include "archiver/svt/zip_one_file.h"
#include "common/ascii_case.h"
#include "common/text.h"

namespace archiver {
namespace {

bool Contains(const std::string& lowerLine, const char* word) { return lowerLine.find(word) != std::string::npos; }

std::string Lower(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = common::LowerAscii(c);
    return out;
}

}  // namespace

Classification ClassifyMail(const ArchiveSettings& settings, const std::string& path) {
    Classification c;
    LineReader reader(path);
    if (!reader.ok()) return c;
    bool seenType = false;
    bool inType = false;  // on the Content-Type field's continuation lines
    bool related = false;
    bool marked = false;
    std::string line;
    while (reader.Next(line) && !IsEmptyLine(line)) {
        const std::string lower = Lower(line);
        const bool continuation = line[0] == ' ' || line[0] == '\t';
        if (!continuation) inType = false;
        if (!seenType && common::StartsWithIgnoringAsciiCase(line, "content-type:")) {
            seenType = true;
            inType = true;
            const bool plain = Contains(lower, "text/") || Contains(lower, "multipart/alternative") ||
                               Contains(lower, "message/partial");
            c.result = plain ? kNotArchived : kArchived;
            if (settings.perAttachment &&
                (Contains(lower, "multipart/signed") || Contains(lower, "application/x-pkcs")))
                c.signedMail = true;
            related = Contains(lower, "multipart/related");
        }
        if (inType) {
            // Only the Content-Type field's own lines carry its parameters.
            const std::string boundary = HeaderParameter(line, "boundary");
            if (!boundary.empty()) c.boundary = boundary;
            const std::string type = Lower(HeaderParameter(line, "type"));
            if (related && continuation && !type.empty())
                c.result = Contains(type, "multipart/alternative") ? kNotArchived : kArchived;
        }
        if (common::StartsWithIgnoringAsciiCase(line, "X-Sorvant: yes")) marked = true;
    }
    // The mark wins wherever it stands, so a mail is never archived twice.
    if (marked) c.result = kAlreadyArchived;
    return c;
}

bool LimitAddressHeaders(const ArchiveSettings& settings, const std::string& path) {
    if (!settings.toLimit && !settings.ccLimit) return true;
    LineReader in(path);
    if (!in.ok()) return true;  // nothing to limit; classification finds no mail either
    const std::string temporary = path + ".tmp";
    MailWriter out(temporary);
    if (!out.opened()) return false;
    bool inHeader = true;
    int limit = 0;        // addresses the current field keeps
    int complete = 0;     // addresses of the field completed so far
    bool inField = false;
    bool fieldDone = false;  // the field has its addresses: drop the rest
    bool quoted = false, escaped = false;
    std::string line;
    while (in.Next(line)) {
        if (!inHeader) {
            out.Write(line);
            continue;
        }
        if (IsEmptyLine(line)) {
            inHeader = false;
            out.Write(line);
            continue;
        }
        const bool continuation = line[0] == ' ' || line[0] == '\t';
        if (!continuation) {
            inField = false;
            if (settings.toLimit && common::StartsWithIgnoringAsciiCase(line, "to:")) {
                inField = true;
                limit = settings.toCount;
            } else if (settings.ccLimit && common::StartsWithIgnoringAsciiCase(line, "cc:")) {
                inField = true;
                limit = settings.ccCount;
            }
            complete = 0;
            quoted = escaped = false;
            // A count of 0 keeps no address, so the field goes whole.
            fieldDone = inField && limit <= 0;
        }
        if (!inField) {
            out.Write(line);
            continue;
        }
        if (fieldDone) continue;
        size_t cut = std::string::npos;
        for (size_t i = continuation ? 0 : 3; i < line.size(); ++i) {
            const char c = line[i];
            if (escaped) {
                escaped = false;
            } else if (quoted && c == '\\') {
                escaped = true;
            } else if (c == '"') {
                quoted = !quoted;
            } else if (!quoted && (c == ',' || c == ';') && ++complete >= limit) {
                cut = i;
                break;
            }
        }
        if (cut == std::string::npos) {
            out.Write(line);
        } else {
            out.Write(line.substr(0, cut) + "\r\n");
            fieldDone = true;
        }
    }
    if (!out.Close() || std::rename(temporary.c_str(), path.c_str()) != 0) {
        DeleteFileRetrying(temporary);
        return false;
    }
    return true;
}

std::string ChoosePassword(const ArchiveSettings& settings) {
    if (settings.level != 0) return settings.password;
    uint16_t value = 0;
    if (::getrandom(&value, sizeof value, 0) != static_cast<ssize_t>(sizeof value)) {
        std::random_device device;
        value = static_cast<uint16_t>(device());
    }
    char digits[8];
    std::snprintf(digits, sizeof digits, "%05d", value % 32768);
    return settings.password + digits;
}

int ProcessMailFile(const ArchiveSettings& settings, const std::string& path) {
    MailJob job(settings, path);
    job.id = MakeMessageId(settings.hostName);
    // A mail whose header limiting failed is passed on as it came.
    if (!LimitAddressHeaders(settings, path)) return kNotArchived;

    const Classification c = ClassifyMail(settings, path);
    if (c.result != kArchived) return c.result;

    const size_t slash = path.rfind('/');
    const size_t dot = path.rfind('.');
    const bool hasExtension = dot != std::string::npos && (slash == std::string::npos || dot > slash);
    const std::string base = hasExtension ? path.substr(0, dot) : path;
    const std::string ownExtension = hasExtension ? path.substr(dot) : ".eml";
    const std::string copy = base + ".eml";
    const std::string archived = path + ".eml";
    const std::string passwordMail = base + "-pw" + ownExtension;
    const std::string passwordTemporary = passwordMail + ".tmp";
    const bool writesPasswordMail = settings.level == 0 || settings.level == 1;

    job.archivePath = path + ".zip";
    job.extractFolder = path + ".parts";
    job.signedMail = c.signedMail;
    job.outerBoundary = c.boundary;
    const std::string password = ChoosePassword(settings);
    if (settings.level != 2) job.password = password;

    auto cleanUp = [&] {
        DeleteFileRetrying(copy);
        DeleteFileRetrying(job.archivePath);
        DeleteFileRetrying(archived);
        DeleteFileRetrying(passwordTemporary);
    };
    // The whole mail is packed from a copy; one archive per attachment
    // needs none.
    bool ok = true;
    if (!settings.perAttachment || c.signedMail) {
        ok = CopyFileWhole(path, copy) &&
             ZipOneFile({copy, job.archivePath, copy.substr(copy.rfind('/') + 1), job.password});
    }
    // Nothing takes the mail's place until every file is complete.
    if (ok && writesPasswordMail) ok = BuildPasswordMail(job, passwordTemporary);
    if (ok) ok = BuildZippedMail(job, archived);
    if (ok && writesPasswordMail) ok = std::rename(passwordTemporary.c_str(), passwordMail.c_str()) == 0;
    if (ok && std::rename(archived.c_str(), path.c_str()) != 0) {
        ok = false;
        if (writesPasswordMail) DeleteFileRetrying(passwordMail);
    }
    cleanUp();
    return ok ? kArchived : kAlreadyArchived;
}

}  // namespace archiver
