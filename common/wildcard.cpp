#include "common/wildcard.h"

#include <cstddef>

#include "common/text.h"

namespace common {

namespace {

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
    }
    return true;
}

}  // namespace

bool WildcardMatch(std::string_view pattern, std::string_view text) {
    size_t star = pattern.find('*');
    if (star == std::string_view::npos) return EqualsIgnoringCase(pattern, text);

    // The head is anchored at the start of the text.
    std::string_view head = pattern.substr(0, star);
    if (text.size() < head.size() || !EqualsIgnoringCase(head, text.substr(0, head.size()))) return false;
    size_t consumed = head.size();

    // The tail after the last "*" is anchored at the end of the text. The
    // segments between stars may then each be taken at their first
    // occurrence: an earlier place never leaves less room for the rest.
    size_t lastStar = pattern.rfind('*');
    std::string_view tail = pattern.substr(lastStar + 1);
    if (text.size() < consumed + tail.size() ||
        !EqualsIgnoringCase(tail, text.substr(text.size() - tail.size())))
        return false;
    std::string_view middleText = text.substr(consumed, text.size() - tail.size() - consumed);

    size_t position = 0;
    size_t segmentStart = star + 1;
    while (segmentStart <= lastStar) {
        size_t segmentEnd = pattern.find('*', segmentStart);
        std::string_view segment = pattern.substr(segmentStart, segmentEnd - segmentStart);
        segmentStart = segmentEnd + 1;
        if (segment.empty()) continue;  // "**"
        size_t found = StrIStr(middleText.substr(position), segment);
        if (found == std::string_view::npos) return false;
        position += found + segment.size();
    }
    return true;
}

}  // namespace common
