#include <algorithm>
#include <cstring>
#include <optional>

#include "common/ascii_case.h"
#include "common/hex_digit.h"
#include "common/url_host.h"
#include "filters/spam/body_check.h"

namespace spam {
namespace {

constexpr size_t kHostLimit = 255;

// What the characters of a line may mean: a hidden character ("=2e",
// "%XX") or a place a host can start after ("://", "www", "WWW", "@").
// Every body line of a mail is looked at, so 16 characters at a time.
struct LineMarks {
    bool hides = false;
    bool hostMark = false;
};

LineMarks MarksOf(std::string_view line) {
    using Bytes = unsigned char __attribute__((vector_size(16)));
    LineMarks marks;
    if (line.size() < sizeof(Bytes)) {
        for (char c : line) {
            marks.hides |= c == '=' || c == '%';
            marks.hostMark |= c == ':' || c == 'w' || c == 'W' || c == '@';
        }
        return marks;
    }
    Bytes hides{}, hostMarks{};
    auto look = [&](size_t at) {
        Bytes c;
        std::memcpy(&c, line.data() + at, sizeof c);
        hides |= (c == '=') | (c == '%');
        hostMarks |= (c == ':') | ((c | 0x20) == 'w') | (c == '@');
    };
    for (size_t at = 0; at + sizeof(Bytes) <= line.size(); at += sizeof(Bytes)) look(at);
    look(line.size() - sizeof(Bytes));  // the rest, overlapping what was looked at
    for (size_t i = 0; i < sizeof(Bytes); ++i) {
        marks.hides |= hides[i] != 0;
        marks.hostMark |= hostMarks[i] != 0;
    }
    return marks;
}

bool IsHostChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '.';
}

// "=2e" (a quoted-printable dot left in the text) and "%XX" of a printable
// character are what hides a host from a plain reader.
std::string Unhidden(std::string_view line) {
    std::string text;
    text.reserve(line.size());
    for (size_t i = 0; i < line.size(); ++i) {
        // The run up to the next '=' or '%' stays as it is.
        const size_t run = static_cast<size_t>(
            std::find_if(line.begin() + i, line.end(), [](char c) { return c == '=' || c == '%'; }) - line.begin());
        text.append(line.substr(i, run - i));
        if ((i = run) == line.size()) break;
        if (line[i] == '=' && i + 2 < line.size() && line[i + 1] == '2' && common::LowerAscii(line[i + 2]) == 'e') {
            text += '.';
            i += 2;
            continue;
        }
        if (line[i] == '%' && i + 2 < line.size() && common::HexValue(line[i + 1]) >= 0 &&
            common::HexValue(line[i + 2]) >= 0) {
            int value = common::HexValue(line[i + 1]) * 16 + common::HexValue(line[i + 2]);
            if (value >= 0x20 && value <= 0x7e) {
                text += static_cast<char>(value);
                i += 2;
                continue;
            }
        }
        text += line[i];
    }
    return text;
}

}  // namespace

int QueryShortUrl(std::string_view link, std::string& target, const std::vector<std::string>& shortUrls) {
    for (const std::string& line : shortUrls) {
        size_t separator = line.find_first_of(" \t");
        if (separator == std::string::npos || separator == 0) continue;
        if (!common::EqualsIgnoringAsciiCase(std::string_view(line).substr(0, separator), link)) continue;
        std::string_view rest = std::string_view(line).substr(separator + 1);
        rest.remove_prefix(std::min(rest.find_first_not_of(" \t"), rest.size()));
        rest = rest.substr(0, rest.find_first_of(" \t"));
        if (rest.empty()) continue;
        target = std::string(rest);
        return 1;
    }
    return 0;
}

int ExtractUrlHost(std::string& host, std::string_view line, const std::vector<std::string>& shortUrls) {
    host.clear();
    // One look over the line first: most lines hide nothing and are looked
    // at as they are, uncopied, and most hold no character a host can
    // start after, so the searches for each of them are not made.
    const LineMarks marks = MarksOf(line);
    if (!marks.hides && !marks.hostMark) return 0;
    std::string unhidden;
    std::string_view text = line;
    if (marks.hides) text = unhidden = Unhidden(line);
    std::optional<std::string_view> start = common::FindUrlHost(text);
    if (!start) return 0;
    std::string_view rest = start->substr(0, kHostLimit);
    size_t end = std::find_if_not(rest.begin(), rest.end(), IsHostChar) - rest.begin();
    host = std::string(rest.substr(0, end));
    if (end < rest.size() && rest[end] == '/') {
        // The first path segment: a short link is its host and that.
        std::string_view segment = rest.substr(end + 1);
        segment = segment.substr(0, std::find_if(segment.begin(), segment.end(), [](char c) {
                                        return !(IsHostChar(c) || c == '_' || c == '~');
                                    }) - segment.begin());
        std::string target;
        if (!host.empty() && !segment.empty() && QueryShortUrl(host + "/" + std::string(segment), target, shortUrls))
            host = target;
    }
    if (host.find('.') != std::string::npos) host = host.substr(0, host.find(':'));
    if (host.empty() || std::any_of(host.begin(), host.end(), [](char c) {
            return static_cast<unsigned char>(c) < 0x20 || c == 0x7f;
        })) {
        host.clear();
        return 0;
    }
    return 1;
}

}  // namespace spam
