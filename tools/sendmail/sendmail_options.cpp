#include "sendmail_options.h"

#include <cstdio>
#include <cstdlib>

#include "common/ascii_case.h"

namespace sendmail {
namespace {

void AppendListItem(std::string& list, std::string_view item) {
    if (!list.empty()) list += ',';
    list += item;
}

// The value after "=": double quotes before it are skipped and the next one
// ends it, so -subject="two words" reads as the two words.
std::string_view QuotedValue(std::string_view raw) {
    size_t start = raw.find_first_not_of('"');
    if (start == std::string_view::npos) return {};
    raw.remove_prefix(start);
    return raw.substr(0, raw.find('"'));
}

// An input file whose extension (from the last ".") begins ".htm", in any
// case, is sent as HTML.
bool IsHtmlName(std::string_view path) {
    size_t dot = path.rfind('.');
    return dot != std::string_view::npos && common::StartsWithIgnoringAsciiCase(path.substr(dot), ".htm");
}

}  // namespace

void ParseOption(SendmailSettings& settings, std::string_view argument) {
    size_t equals = argument.find('=');
    std::string_view name = argument.substr(0, equals);
    std::string_view value =
        equals == std::string_view::npos ? std::string_view{} : QuotedValue(argument.substr(equals + 1));

    if (common::EqualsIgnoringAsciiCase(name, "-f") || common::EqualsIgnoringAsciiCase(name, "-from")) {
        settings.fromAddress = value;
    } else if (common::EqualsIgnoringAsciiCase(name, "-replyto")) {
        settings.replyTo = value;
    } else if (common::EqualsIgnoringAsciiCase(name, "-attach")) {
        AppendListItem(settings.attachments, value);
    } else if (common::EqualsIgnoringAsciiCase(name, "-subject")) {
        settings.subject = value;
    } else if (common::EqualsIgnoringAsciiCase(name, "-message")) {
        settings.message = std::string(value) + "\r\n";
        settings.inputFile.clear();
    } else if (common::EqualsIgnoringAsciiCase(name, "-inputfile")) {
        settings.inputFile = value;
        settings.message.clear();
        if (IsHtmlName(value)) settings.html = true;
    } else if (common::EqualsIgnoringAsciiCase(name, "-nomessage")) {
        settings.message.clear();
        settings.inputFile.clear();
    } else if (common::EqualsIgnoringAsciiCase(name, "-logfile")) {
        settings.logFile = value.empty() ? std::string("sendmail-log.txt") : std::string(value);
    } else if (common::EqualsIgnoringAsciiCase(name, "-insert")) {
        settings.insert = value;
    } else {
        AppendListItem(settings.recipients, name);
    }
}

void ParseCommandLine(SendmailSettings& settings, int argc, char** argv) {
    for (int i = 1; i < argc; ++i) ParseOption(settings, argv[i]);
}

const std::string& UsageText() {
    static const std::string text =
        "orqnote v2.00 for Windows NT/2000/XP Comand prompt\n"
        "Sends one mail over SMTP with the settings of sendmail.ini.\n"
        "\n"
        "Usage:\n"
        " orqnote [-config] [-?|-h] [-t|-tjp] [<recipient>....]\n"
        "          [-check]\n"
        "          [-f<address>|-from=<address>] [-replyto=<address>]\n"
        "\t\t   [-subject=\"title\"] [-attach=\"filename\"]\n"
        "          [-inputfile=\"filename\"|-message=\"message\"|-nomessage]\n"
        "\n"
        "<option>\n"
        "-config       Configration sendmail client                        config mode\n"
        "-check        Recipient chcek                                             off\n"
        "<recipient>   Recipient address. (a@example.com b@example.com ...)  line mode.\n"
        "-inputfile=   Message file.                                         line mode.\n"
        "-message=     line input.                                           line mode.\n"
        "-nomessage    no massaage.                                          line mode.\n"
        "-subject=     subject.                                              line mode.\n"
        "-f= or -from= Sender address                                        line mode.\n";
    return text;
}

void PrintUsage() {
    std::fputs(UsageText().c_str(), stdout);
    std::fflush(stdout);
    std::exit(0);
}

}  // namespace sendmail
