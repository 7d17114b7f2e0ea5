#include "engine/mail/reply_rewrite.h"

#include "common/ascii_case.h"
#include "engine/linerelay/reply_completion.h"

namespace engine {
namespace {

std::string_view Keyword(std::string_view text) {
    const std::size_t end = text.find_first_of(" \r\n");
    return text.substr(0, end == std::string_view::npos ? text.size() : end);
}

bool Is(std::string_view word, std::string_view name) { return common::EqualsIgnoringAsciiCase(word, name); }

}  // namespace

std::string RewriteEhloAnswer(std::string_view answer, bool offerStartTls) {
    std::vector<std::string> kept;
    bool hasStartTls = false;
    for (std::string_view line : SplitLines(answer)) {
        if (line.size() >= 4 && line[0] == '2') {
            const std::string_view word = Keyword(line.substr(4));
            if (Is(word, "PIPELINING") || Is(word, "CHUNKING")) continue;
            if (Is(word, "STARTTLS")) {
                if (!offerStartTls) continue;
                hasStartTls = true;
            }
        }
        kept.emplace_back(line);
    }
    if (kept.empty()) return std::string(answer);
    if (offerStartTls && !hasStartTls && kept.front().compare(0, 3, "250") == 0) kept.emplace_back("250 STARTTLS\r\n");
    // Every line but the last continues the reply.
    std::string out;
    for (std::size_t i = 0; i < kept.size(); ++i) {
        std::string& line = kept[i];
        if (line.size() >= 4) line[3] = i + 1 < kept.size() ? '-' : ' ';
        out += line;
    }
    return out;
}

std::string RewriteCapaAnswer(std::string_view answer, bool offerStls) {
    if (!common::StartsWithIgnoringAsciiCase(answer, "+ok")) return std::string(answer);
    std::string out;
    bool first = true;
    bool hasStls = false;
    for (std::string_view line : SplitLines(answer)) {
        if (first) {
            first = false;
            out += line;
            continue;
        }
        const std::string_view word = Keyword(line);
        if (Is(word, "PIPELINING")) continue;
        if (Is(word, "STLS")) {
            if (!offerStls) continue;
            hasStls = true;
        }
        if (line == ".\r\n" && offerStls && !hasStls) out += "STLS\r\n";
        out += line;
    }
    return out;
}

std::string RewriteImapCapabilities(std::string_view answer, bool offerStartTls) {
    std::string out;
    for (std::string_view line : SplitLines(answer)) {
        std::string text(line);
        std::size_t start = text.rfind("* CAPABILITY ", 0) == 0 ? 2 : text.find("[CAPABILITY ");
        if (start == std::string::npos) {
            out += text;
            continue;
        }
        if (text[start] == '[') ++start;
        std::size_t end = text.find_first_of("]\r\n", start);
        if (end == std::string::npos) end = text.size();
        // The words of the list, STARTTLS taken out and put back when offered.
        // The first word is "CAPABILITY", the second the protocol version.
        std::string list;
        int words = 0;
        std::string_view rest = std::string_view(text).substr(start, end - start);
        while (!rest.empty()) {
            const std::size_t blank = rest.find(' ');
            const std::string_view word = rest.substr(0, blank);
            rest.remove_prefix(blank == std::string_view::npos ? rest.size() : blank + 1);
            // IDLE and NOTIFY let the server speak unasked, which a relay
            // that reads the client first holds back; COMPRESS would turn
            // the lines into a stream the relay can't read.
            if (word.empty() || Is(word, "STARTTLS") || Is(word, "IDLE") || Is(word, "NOTIFY") ||
                common::StartsWithIgnoringAsciiCase(word, "COMPRESS="))
                continue;
            list += (words == 0 ? "" : " ") + std::string(word);
            if (++words == 2 && offerStartTls) list += " STARTTLS";
        }
        out += text.substr(0, start) + list + text.substr(end);
    }
    return out;
}

std::string SafeFileNamePart(std::string_view name) {
    std::string out;
    for (char c : name) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7f || c == '/' || c == '\\' || c == '*' || c == '?' || c == ':' || c == '"' ||
            c == '<' || c == '>' || c == '|')
            continue;
        out += c;
    }
    // ".." anywhere could still climb out once joined; dots are kept singly.
    std::string::size_type at;
    while ((at = out.find("..")) != std::string::npos) out.erase(at, 1);
    // Nor a leading dot: no hidden file, no "." folder.
    while (!out.empty() && out.front() == '.') out.erase(0, 1);
    return out;
}

}  // namespace engine
