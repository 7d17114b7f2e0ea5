#include "filters/spam/body_check.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <sys/stat.h>

#include "common/ascii_case.h"
#include "common/file_retry.h"
#include "common/filter_text.h"
#include "common/list_file.h"
#include "common/pipe_messages.h"
#include "filters/spam/mark_mail.h"
#include "filters/spam/spam_log.h"
#include "filters/spam/spam_settings.h"
#include "platform/codepage/codepage.h"

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

// The charset parameter of a Content-Type line, lower-cased.
std::string CharsetValue(std::string_view line) {
    const std::string lowered = Lowered(line);
    const size_t at = lowered.find("charset=");
    if (at == std::string::npos) return {};
    std::string_view value = std::string_view(lowered).substr(at + 8);
    value.remove_prefix(std::min(value.find_first_not_of(" \t\"'"), value.size()));
    return std::string(value.substr(0, value.find_first_of(" \t\"';")));
}

std::string DecodedText(std::string_view text, Encoding encoding) {
    switch (encoding) {
        case Encoding::Base64: {
            std::string decoded;
            common::DecodeBase64(text, decoded, text.size() + 1);
            return decoded;
        }
        case Encoding::QuotedPrintable: return common::DecodeQuotedPrintable(text);
        default: return std::string(text);
    }
}

constexpr unsigned kCodePageUtf7 = 65000;

// The body text of one part, gathered so that it is decoded and converted
// whole: a word is not cut where an encoded line ends, and ISO-2022-JP
// text keeps the escape of an earlier line. A long part is taken in pieces
// of whole lines.
class PartText {
public:
    static constexpr size_t kPieceLimit = 1024 * 1024;

    void Start(Encoding encoding, std::string charset) {
        encoding_ = encoding;
        charset_ = std::move(charset);
        text_.clear();
    }
    // False when the piece is full and must be taken first.
    bool Add(std::string_view line) {
        text_.append(line);
        return text_.size() < kPieceLimit;
    }
    bool empty() const { return text_.empty(); }
    // The text decoded and in the local code page, valid up to the next
    // Take; the piece is emptied. Text that needs neither decoding nor
    // conversion (most parts) is handed over as it is, uncopied.
    const std::string& Take() {
        if (encoding_ == Encoding::None) {
            taken_.swap(text_);
        } else {
            taken_ = DecodedText(text_, encoding_);
        }
        text_.clear();
        // Only the Japanese encodings other than the list's own, and the
        // Unicode ones, can hold its keywords. A part that says us-ascii
        // or a Latin charset but holds Shift_JIS (as much Japanese mail
        // does) is matched as it stands rather than turned into '?'.
        const unsigned codePage = common::CodePageFromCharset(charset_);
        switch (codePage) {
            case platform::kCodePageUtf8:
            case kCodePageUtf7:
            case platform::kCodePageIso2022Jp:
            case platform::kCodePageEucJp: taken_ = common::ToLocalCodePage(codePage, taken_); break;
            default: break;
        }
        return taken_;
    }

private:
    Encoding encoding_ = Encoding::None;
    std::string charset_;
    std::string text_;
    std::string taken_;
};

}  // namespace

BodyLists ReadBodyLists(const std::string& listName) {
    const SpamSettings& settings = Settings();
    BodyLists lists;
    std::string keywordFile = settings.keywordFile;
    if (common::IsSafeListName(listName) && FileExists(settings.dataFolder + listName))
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

namespace {

// The lines of decoded body text against the keywords and the blocklists.
class BodyLineCheck {
public:
    BodyLineCheck(const BodyLists& lists, std::chrono::milliseconds lookupBound)
        : lists_(lists), lookupEnd_(std::chrono::steady_clock::now() + lookupBound) {}

    // 1 at the first hit.
    int Text(std::string_view text) {
        for (size_t start = 0; start < text.size();) {
            size_t end = text.find('\n', start);
            if (end == std::string_view::npos) end = text.size();
            std::string_view line = text.substr(start, end - start);
            if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
            if (Line(line)) return 1;
            start = end + 1;
        }
        return 0;
    }

    int Line(std::string_view line) {
        // Has nothing to hide: straight to the log, not looked over.
        SpamLog().write("Qery_Keyword()\n");
        if (Qery_Keyword(line, lists_.keywords)) return 1;
        std::string host;
        if (lookupsEnded_ || !ExtractUrlHost(host, line, lists_.shortUrls)) return 0;
        if (std::chrono::steady_clock::now() >= lookupEnd_) {
            WriteLog("Qery_SURBL() time over. skip the rest.\n");
            lookupsEnded_ = true;
            return 0;
        }
        WriteLogF("Qery_SURBL(%s)\n", host.c_str());
        return Qery_SURBL(host, lists_.zones);
    }

private:
    const BodyLists& lists_;
    const std::chrono::steady_clock::time_point lookupEnd_;
    bool lookupsEnded_ = false;
};

// The mail's lines as ReadWholeLine gives them (each up to keep characters,
// its LF included when it fits; the rest of a longer line passed over), read
// a block at a time: a character at a time was a fifth of the check's time.
// A line is valid up to the next Next; one that lies whole in the block is
// not copied.
class MailLines {
public:
    MailLines(FILE* file, size_t keep) : file_(file), keep_(keep == 0 ? 1 : keep), block_(kBlock, '\0') {}

    bool Next(std::string_view& line) {
        joined_.clear();
        bool cut = false;
        for (bool first = true;; first = false) {
            if (at_ == end_ && !Fill()) {
                line = joined_;
                return !joined_.empty();
            }
            const char* start = block_.data() + at_;
            const char* lf = static_cast<const char*>(std::memchr(start, '\n', end_ - at_));
            const size_t length = lf != nullptr ? static_cast<size_t>(lf - start) + 1 : end_ - at_;
            if (first && lf != nullptr && length <= keep_) {
                at_ += length;
                line = std::string_view(start, length);
                return true;
            }
            if (!cut) {
                const size_t room = keep_ - joined_.size();
                joined_.append(start, std::min(length, room));
                cut = length > room;
            }
            at_ += length;
            if (lf != nullptr) {
                line = joined_;
                return true;
            }
        }
    }

private:
    static constexpr size_t kBlock = 64 * 1024;

    bool Fill() {
        at_ = 0;
        end_ = std::fread(block_.data(), 1, block_.size(), file_);
        return end_ > 0;
    }

    FILE* const file_;
    const size_t keep_;
    std::string block_;
    std::string joined_;  // a line read from more than one block, or cut
    size_t at_ = 0;
    size_t end_ = 0;
};

// A boundary line of one of the boundaries; outermost: it is the mail's own.
bool IsBoundaryOf(std::string_view line, const std::vector<std::string>& boundaries, bool& closing, bool& outermost) {
    for (const std::string& boundary : boundaries) {
        if (line.size() < boundary.size() + 2 || line.compare(0, 2, "--") != 0 ||
            line.compare(2, boundary.size(), boundary) != 0)
            continue;
        std::string_view rest = common::TrimBlanks(line.substr(boundary.size() + 2));
        if (rest.empty() || rest == "--") {
            closing = !rest.empty();
            outermost = &boundary == &boundaries.front();
            return true;
        }
    }
    return false;
}

}  // namespace

int ScanMimeParts(FILE* mail, const BodyLists& lists, std::chrono::milliseconds lookupBound) {
    BodyLineCheck check(lists, lookupBound);
    bool head = true;
    bool mailHead = true;         // the mail's own head, not a part's
    bool inContentType = false;   // continuation lines belong to Content-Type
    Encoding encoding = Encoding::None;
    std::string charset;
    std::vector<std::string> boundaries;  // the mail's first, then those of nested parts
    PartText part;
    std::string_view line;
    auto checkPart = [&]() { return part.empty() ? 0 : check.Text(part.Take()); };
    MailLines lines(mail, kBodyLineKeep);
    while (lines.Next(line)) {
        // Up to the first CR or LF; a line holds an LF only at its end.
        std::string_view content = line;
        if (!content.empty() && content.back() == '\n') content.remove_suffix(1);
        if (const void* cr = std::memchr(content.data(), '\r', content.size()); cr != nullptr)
            content = content.substr(0, static_cast<size_t>(static_cast<const char*>(cr) - content.data()));
        if (head && !content.empty()) {
            bool continuation = content[0] == ' ' || content[0] == '\t';
            if (mailHead && IsCheckHeader(content)) {
                WriteLogF("[%s] found. skip spam check.\n", std::string(kCheckHeaderLine).c_str());
                return 0;
            }
            if (common::StartsWithIgnoringAsciiCase(content, "content-type:") || (continuation && inContentType)) {
                inContentType = true;
                std::string boundary = BoundaryValue(content);
                if (!boundary.empty() && std::find(boundaries.begin(), boundaries.end(), boundary) == boundaries.end())
                    boundaries.push_back(boundary);
                if (std::string value = CharsetValue(content); !value.empty()) charset = value;
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
        bool closing = false, outermost = false;
        if (IsBoundaryOf(content, boundaries, closing, outermost)) {
            if (checkPart()) return 1;
            // The end of the mail's own parts ends the walk.
            if (closing && outermost) return 0;
            // Each part says its own encoding and charset; one without a
            // header is 7bit text. What follows the end of nested parts is
            // plain text.
            head = !closing;
            mailHead = false;
            inContentType = false;
            encoding = Encoding::None;
            charset.clear();
            part.Start(encoding, charset);
            continue;
        }
        if (head) {
            // The empty line that ends a head.
            head = false;
            mailHead = false;
            part.Start(encoding, charset);
            if (check.Line({})) return 1;
            continue;
        }
        if (!part.Add(line) && checkPart()) return 1;
    }
    return checkPart();
}

int Qery_Keyword(std::string_view line, const std::vector<std::string>& keywords) {
    if (keywords.empty()) return 0;
    // A line with no encoded word and no ISO-2022-JP escape converts to
    // itself: most lines are matched as they are, uncopied.
    std::string converted;
    std::string_view local = line;
    if (line.find("=?") != std::string_view::npos || line.find("\x1b$") != std::string_view::npos)
        local = converted = common::ConvertToCodePage(line, common::FilterTextUser::SpamCheck);
    for (const std::string& pattern : keywords) {
        if (common::MatchPattern(pattern, local)) {
            WriteLogF("Hit. KEYWORD (%s)\n", pattern.c_str());
            return 1;
        }
    }
    return 0;
}

}  // namespace spam
