#include "archiver/svt/mail_process.h"

#include "archiver/svt/mail_lines.h"
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

// The value after "name=" without leading double quotes, up to a double
// quote or the line end.
std::string ParameterAfter(const std::string& line, const std::string& lowerLine, const char* name) {
    const size_t at = lowerLine.find(name);
    if (at == std::string::npos) return {};
    size_t start = at + std::char_traits<char>::length(name);
    while (start < line.size() && line[start] == '"') ++start;
    const size_t end = line.find_first_of("\"\r\n", start);
    return line.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

// Where a "type=" parameter of its own begins ("report-type=" is another
// parameter); npos when there is none.
size_t TypeParameter(const std::string& lowerLine) {
    for (size_t at = lowerLine.find("type="); at != std::string::npos; at = lowerLine.find("type=", at + 1)) {
        if (at == 0 || lowerLine[at - 1] == ' ' || lowerLine[at - 1] == '\t' || lowerLine[at - 1] == ';') return at;
    }
    return std::string::npos;
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
            if (Contains(lower, "boundary=")) c.boundary = ParameterAfter(line, lower, "boundary=");
            const size_t type = TypeParameter(lower);
            if (related && continuation && type != std::string::npos) {
                const std::string value = Lower(ParameterAfter(line.substr(type), lower.substr(type), "type="));
                c.result = Contains(value, "multipart/alternative") ? kNotArchived : kArchived;
            }
        }
        if (common::StartsWithIgnoringAsciiCase(line, "X-Sorvant: yes")) marked = true;
    }
    // The mark wins wherever it stands, so a mail is never archived twice.
    if (marked) c.result = kAlreadyArchived;
    return c;
}

int ProcessMailFile(const ArchiveSettings& settings, const std::string& path) {
    const Classification c = ClassifyMail(settings, path);
    if (c.result != kArchived) return c.result;
    return kAlreadyArchived;
}

}  // namespace archiver
