#include "filters/spam/body_check.h"

#include <memory>
#include <sys/stat.h>

#include "common/ascii_case.h"
#include "common/file_retry.h"
#include "common/filter_text.h"
#include "common/list_file.h"
#include "filters/spam/mark_mail.h"
#include "filters/spam/spam_log.h"
#include "filters/spam/spam_request.h"
#include "filters/spam/spam_settings.h"

namespace spam {
namespace {

constexpr common::ListFileRules kKeywordRules{510, common::kListCommentChars, true};
constexpr common::ListFileRules kShortUrlRules{511, common::kListCommentChars, true};
// A body line is looked at whole up to this length (a 5,000-character line
// of markup is one line, not ten).
constexpr size_t kBodyLineKeep = 64 * 1024;

enum class Encoding { None, Base64, QuotedPrintable };

bool FileExists(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

std::string Lowered(std::string_view text) {
    std::string lowered(text);
    for (char& c : lowered) c = common::LowerAscii(c);
    return lowered;
}

// The boundary of a "boundary=" parameter: quoted, up to the closing
// quote; unquoted, up to the next ";" or blank.
std::string BoundaryValue(std::string_view line) {
    size_t at = Lowered(line).find("boundary=");
    if (at == std::string::npos) return {};
    std::string_view value = line.substr(at + 9);
    if (!value.empty() && value[0] == '"') {
        value.remove_prefix(1);
        return std::string(value.substr(0, value.find('"')));
    }
    return std::string(value.substr(0, value.find_first_of("; \t")));
}

bool IsCheckHeader(std::string_view line) {
    if (!common::StartsWithIgnoringAsciiCase(line, kCheckHeaderName)) return false;
    return common::StartsWithIgnoringAsciiCase(common::SkipBlanks(line.substr(kCheckHeaderName.size())), "TRUE");
}

std::string DecodedLine(std::string_view line, Encoding encoding) {
    switch (encoding) {
        case Encoding::Base64: {
            std::string decoded;
            common::DecodeBase64(line, decoded, line.size() + 1);
            return decoded;
        }
        case Encoding::QuotedPrintable: return common::DecodeQuotedPrintable(line);
        default: return std::string(line);
    }
}

}  // namespace

BodyLists ReadBodyLists(const std::string& listName) {
    const SpamSettings& settings = Settings();
    BodyLists lists;
    std::string keywordFile = settings.keywordFile;
    if (IsSafeListName(listName) && FileExists(settings.dataFolder + listName))
        keywordFile = settings.dataFolder + listName;
    lists.keywords = common::ReadListFile(keywordFile, kKeywordRules).value_or(std::vector<std::string>{});
    lists.zones = common::ReadListFile(settings.zoneFile, kKeywordRules).value_or(std::vector<std::string>{});
    lists.shortUrls = common::ReadListFile(settings.shortUrlFile, kShortUrlRules).value_or(std::vector<std::string>{});
    return lists;
}

int CheckSpamBody(const std::string& mailPath, const std::string& listName) {
    common::FilePtr mail = common::OpenRegularFile(mailPath);
    if (!mail) return 0;
    int hit = ScanMimeParts(mail.get(), ReadBodyLists(listName));
    mail.reset();
    if (hit) MarkSpamMail(mailPath);
    return hit;
}

int ScanMimeParts(FILE* mail, const BodyLists& lists, std::chrono::milliseconds lookupBound) {
    const auto lookupEnd = std::chrono::steady_clock::now() + lookupBound;
    bool lookupsEnded = false;
    bool head = true;
    bool mailHead = true;         // the mail's own head, not a part's
    bool inContentType = false;   // continuation lines belong to Content-Type
    Encoding encoding = Encoding::None;
    std::string open, close;      // "--boundary", "--boundary--"
    std::string line;
    while (common::ReadWholeLine(mail, line, kBodyLineKeep)) {
        std::string_view content(line);
        content = content.substr(0, content.find_first_of("\r\n"));
        if (head && !content.empty()) {
            bool continuation = content[0] == ' ' || content[0] == '\t';
            if (mailHead && IsCheckHeader(content)) {
                WriteLogF("[%s] found. skip spam check.\n", std::string(kCheckHeaderLine).c_str());
                return 0;
            }
            if (common::StartsWithIgnoringAsciiCase(content, "content-type:") || (continuation && inContentType)) {
                inContentType = true;
                if (open.empty()) {
                    std::string boundary = BoundaryValue(content);
                    if (!boundary.empty()) {
                        open = "--" + boundary;
                        close = open + "--";
                    }
                }
            } else if (!continuation) {
                inContentType = false;
            }
            if (common::StartsWithIgnoringAsciiCase(content, "content-transfer-encoding:")) {
                std::string value = Lowered(content);
                encoding = value.find("base64") != std::string::npos             ? Encoding::Base64
                           : value.find("quoted-printable") != std::string::npos ? Encoding::QuotedPrintable
                                                                                 : Encoding::None;
            }
            continue;
        }
        if (!open.empty() && content == close) return 0;
        if (!open.empty() && content == open) {
            // Each part says its own encoding; one without a header is 7bit.
            head = true;
            mailHead = false;
            inContentType = false;
            encoding = Encoding::None;
            continue;
        }
        std::string decoded = DecodedLine(content, encoding);
        WriteLog("Qery_Keyword()\n");
        if (Qery_Keyword(decoded, lists.keywords)) return 1;
        head = false;
        mailHead = false;
        std::string host;
        if (lookupsEnded || !ExtractUrlHost(host, decoded, lists.shortUrls)) continue;
        if (std::chrono::steady_clock::now() >= lookupEnd) {
            WriteLog("Qery_SURBL() time over. skip the rest.\n");
            lookupsEnded = true;
            continue;
        }
        WriteLogF("Qery_SURBL(%s)\n", host.c_str());
        if (Qery_SURBL(host, lists.zones)) return 1;
    }
    return 0;
}

int Qery_Keyword(std::string_view line, const std::vector<std::string>& keywords) {
    if (keywords.empty()) return 0;
    std::string local = common::ConvertToCodePage(line, common::FilterTextUser::SpamCheck);
    for (const std::string& pattern : keywords) {
        if (common::MatchPattern(pattern, local)) {
            WriteLogF("Hit. KEYWORD (%s)\n", pattern.c_str());
            return 1;
        }
    }
    return 0;
}

}  // namespace spam
