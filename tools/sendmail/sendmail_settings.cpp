#include "sendmail_settings.h"

#include <fstream>
#include <string_view>

#include "common/ascii_case.h"
#include "common/option_arg.h"
#include "common/sendmail_ini.h"
#include "platform/codepage/codepage.h"

namespace sendmail {
namespace {

// On the number and switch keys a "'" starts a comment, so "port=25 ' mail"
// reads as 25. Text keys run to the line end: the panel writes passwords and
// names unchanged, and a "'" is a fair character in both.
std::string_view NumberPart(std::string_view value) {
    size_t quote = value.find('\'');
    return quote == std::string_view::npos ? value : value.substr(0, quote);
}

// "ssl=" and "debug=" are on unless their value begins with "0".
bool FirstCharOn(std::string_view value) {
    return value.empty() || value.front() != '0';
}

void ApplyLine(SendmailSettings& settings, std::string_view line) {
    // Leading "'" characters are skipped; a line that is a comment as a whole
    // then has a key that is not recognised.
    size_t start = line.find_first_not_of('\'');
    if (start == std::string_view::npos) return;
    line.remove_prefix(start);
    size_t equals = line.find('=');
    if (equals == std::string_view::npos) return;
    std::string_view key = line.substr(0, equals);
    std::string_view value = line.substr(equals + 1);
    size_t first = value.find_first_not_of(' ');
    value.remove_prefix(first == std::string_view::npos ? value.size() : first);

    auto number = [&] { return common::ParseDecimal(NumberPart(value)); };
    auto text = [&] { return platform::Cp932ToUtf8(value); };
    namespace ini = common::sendmail_ini;
    auto is = [key](const char* name) { return common::EqualsIgnoringAsciiCase(key, name); };
    if (is(ini::kEsmtp)) settings.esmtp = number() != 0;
    else if (is(ini::kFamily)) settings.family = number() != 0 ? 1 : 0;
    else if (is(ini::kPort)) settings.port = static_cast<uint16_t>(number());
    else if (is(ini::kTimeout)) settings.timeout = number();
    else if (is(ini::kSsl)) settings.ssl = FirstCharOn(NumberPart(value));
    else if (is(ini::kDebug)) settings.debug = FirstCharOn(NumberPart(value));
    else if (is(ini::kAuthId)) settings.authId = text();
    else if (is(ini::kAuthPass)) settings.authPass = text();
    else if (is(ini::kCharset)) settings.charset = text();
    else if (is(ini::kFrom)) settings.fromAddress = text();
    else if (is(ini::kName)) settings.fromName = text();
    else if (is(ini::kSmtpServer)) settings.smtpServer = text();
}

}  // namespace

int LoadSendmailIni(SendmailSettings& settings, const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return 0;
    std::string line;
    while (std::getline(file, line)) {
        // The panel writes CR LF; left in place the CR would end up in the
        // server name or the password.
        if (!line.empty() && line.back() == '\r') line.pop_back();
        ApplyLine(settings, line);
    }
    return 1;
}

}  // namespace sendmail
