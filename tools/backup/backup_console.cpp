#include "tools/backup/backup_console.h"

#include <cstdio>
#include <iconv.h>
#include <langinfo.h>
#include <strings.h>

#include "platform/codepage/codepage.h"

namespace backup {
namespace {

// The terminal's character set when text must be converted for it; empty
// when UTF-8 is shown as it is (a UTF-8 locale, or the C locale, in which
// Japanese cannot be shown any better).
std::string TerminalCharset() {
    const char* codeset = nl_langinfo(CODESET);
    if (!codeset || !*codeset) return {};
    if (strcasecmp(codeset, "UTF-8") == 0 || strcasecmp(codeset, "utf8") == 0 ||
        strcasecmp(codeset, "ANSI_X3.4-1968") == 0 || strcasecmp(codeset, "ASCII") == 0)
        return {};
    return codeset;
}

std::string ForTerminal(std::string_view utf8) {
    static const std::string charset = TerminalCharset();
    if (charset.empty()) return std::string(utf8);
    iconv_t cd = iconv_open((charset + "//TRANSLIT").c_str(), "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1)) return std::string(utf8);
    std::string out(utf8.size() * 4 + 16, '\0');
    char* in = const_cast<char*>(utf8.data());
    size_t inLeft = utf8.size();
    char* dst = out.data();
    size_t dstLeft = out.size();
    size_t rc = iconv(cd, &in, &inLeft, &dst, &dstLeft);
    iconv_close(cd);
    if (rc == static_cast<size_t>(-1)) return std::string(utf8);
    out.resize(out.size() - dstLeft);
    return out;
}

}  // namespace

void Console::Say(std::string_view utf8) { SayBytes(ForTerminal(utf8)); }

void Console::SayCp932(std::string_view cp932) { Say(platform::Cp932ToUtf8(cp932)); }

void Console::SayBytes(std::string_view bytes) {
    fwrite(bytes.data(), 1, bytes.size(), stdout);
    fflush(stdout);
}

void Console::Fail(std::string_view what, std::string_view reason) {
    ++failures_;
    std::string line(what);
    line += ": ";
    line += reason;
    line += "\n";
    fwrite(line.data(), 1, line.size(), stderr);
    fflush(stderr);
}

Console& Out() {
    static Console console;
    return console;
}

}  // namespace backup
