#include "common/wildcard.h"

#include <cstddef>

#include "common/ascii_case.h"
#include "common/text.h"

namespace common {

bool WildcardMatch(std::string_view pattern, std::string_view text) {
    size_t star = pattern.find('*');
    if (star == std::string_view::npos) return EqualsIgnoringAsciiCase(pattern, text);

    // The head is anchored at the start of the text.
    std::string_view head = pattern.substr(0, star);
    if (text.size() < head.size() || !EqualsIgnoringAsciiCase(head, text.substr(0, head.size()))) return false;
    size_t consumed = head.size();

    // The tail after the last "*" is anchored at the end of the text. The
    // segments between stars may then each be taken at their first
    // occurrence: an earlier place never leaves less room for the rest.
    size_t lastStar = pattern.rfind('*');
    std::string_view tail = pattern.substr(lastStar + 1);
    if (text.size() < consumed + tail.size() ||
        !EqualsIgnoringAsciiCase(tail, text.substr(text.size() - tail.size())))
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
