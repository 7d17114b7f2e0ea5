#include "archiver/svt/archive_settings.h"

#include <cctype>
#include <cstdio>

#include "common/option_arg.h"
#include "common/secret_arguments.h"

namespace archiver {
namespace {

// Text options land in fields of 256 characters.
constexpr size_t kTextFieldLimit = 255;
constexpr size_t kPasswordLimit = 15;
constexpr size_t kArchiveExtensionLimit = 5;

std::string Cut(const std::string& text, size_t limit) { return text.substr(0, std::min(text.size(), limit)); }

long Number(std::string_view text) {
    // Values are read as unsigned decimals: anything not a number reads 0.
    const int64_t value = common::ParseDecimal(text);
    return value < 0 ? 0 : static_cast<long>(std::min<int64_t>(value, 0x7FFFFFFF));
}

// -t and -q: the digit at the fourth character switches the limit, and
// only then is the count read from the sixth character on.
void ReadLimit(const std::string& arg, bool& on, int& count) {
    on = Number(arg.size() > 3 ? std::string_view(arg).substr(3) : std::string_view()) != 0;
    if (on) count = static_cast<int>(Number(arg.size() > 5 ? std::string_view(arg).substr(5) : std::string_view()));
}

std::string Line(const char* format, const std::string& value) {
    char buffer[600];
    std::snprintf(buffer, sizeof buffer, format, value.c_str());
    return buffer;
}

}  // namespace

void ReadArchiveOptions(const std::vector<std::string>& args, ArchiveSettings& s) {
    for (const std::string& arg : args) {
        const common::OptionArg option = common::ParseOptionArg(arg);
        if (option.letter == 'y' || option.letter == 'Y') {
            // The passwords the service keeps off the command line; a file
            // naming another file is not followed.
            std::vector<std::string> secrets = common::ReadSecretArguments(option.value);
            std::erase_if(secrets, [](const std::string& secret) {
                const char letter = common::ParseOptionArg(secret).letter;
                return letter == 'y' || letter == 'Y';
            });
            ReadArchiveOptions(secrets, s);
            continue;
        }
        const std::string value = Cut(option.value, kTextFieldLimit);
        switch (std::tolower(static_cast<unsigned char>(option.letter))) {
            case '@': s.password = Cut(value, kPasswordLimit); break;
            case 'a': s.esmtp = Number(value) != 0; break;
            case 'c': s.retrySeconds = static_cast<unsigned long>(Number(value)); break;
            case 'd': s.testMode = true; break;
            case 'e': s.environmentName = value; break;
            case 'f': s.addressFamily = static_cast<int>(Number(value)); break;
            case 'i': s.authId = value; break;
            case 'l': s.level = static_cast<int>(Number(value)); break;
            case 'm': {
                s.envelopeFromMode = static_cast<int>(Number(value));
                const size_t comma = arg.find(',');
                if (s.envelopeFromMode != 0 && comma != std::string::npos)
                    s.envelopeFrom = Cut(arg.substr(comma + 1), kTextFieldLimit);
                break;
            }
            case 'p': s.smtpPort = static_cast<unsigned long>(Number(value)); break;
            case 'q': ReadLimit(arg, s.ccLimit, s.ccCount); break;
            case 'r': s.authPassword = value; break;
            case 's': s.smtpServer = value; break;
            case 't': ReadLimit(arg, s.toLimit, s.toCount); break;
            case 'u': s.perAttachment = Number(value) != 0; break;
            case 'v': s.backToSender = Number(value) != 0; break;
            case 'w': s.logToFile = Number(value) != 0; break;
            case 'x': s.mailExtension = value; break;
            case 'z': s.archiveExtension = Cut(value, kArchiveExtensionLimit); break;
            default: break;
        }
    }
}

std::vector<std::string> SettingsBlock(const ArchiveSettings& s) {
    const std::string dashes = "-----------------------------------------------------\n";
    char limit[300];
    std::vector<std::string> lines;
    lines.push_back("SORVANT.EXE (2.00)\n");
    lines.push_back(dashes);
    lines.push_back(Line("Log:                           %s\n", s.logToFile ? "yes" : "no"));
    lines.push_back(Line("Unit to compress:              %s\n", s.perAttachment ? "part" : "mail"));
    lines.push_back(Line("Attach extension:              %s\n", s.archiveExtension));
    lines.push_back(Line("SMTP Server:port:              %s:", s.smtpServer) + std::to_string(s.smtpPort) + "\n");
    lines.push_back(Line("SMTP Address family:           %s\n", s.addressFamily != 0 ? "IPv6" : "IPv4"));
    lines.push_back(Line("Envelope From:                 %s\n", s.envelopeFromMode != 0 ? s.envelopeFrom : "orign"));
    lines.push_back(Line("Envelope To:                   %s\n", s.backToSender ? "orgin chack" : "pass"));
    std::snprintf(limit, sizeof limit, "'To' header limit:             %s:%d\n", s.toLimit ? "yes" : "no", s.toCount);
    lines.push_back(limit);
    std::snprintf(limit, sizeof limit, "'Cc' header limit:             %s:%d\n", s.ccLimit ? "yes" : "no", s.ccCount);
    lines.push_back(limit);
    lines.push_back(Line("ESMTP:                         %s\n", s.esmtp ? "yes" : "no"));
    lines.push_back(Line("SMTP AUTH ID:                  %s\n", s.authId));
    lines.push_back(Line("SMTP AUTH PW:                  %s\n", s.authPassword));
    lines.push_back("Send password mail retry time: " + std::to_string(s.retrySeconds) + "(sec)\n");
    lines.push_back(Line("Make compress mail extension:  %s\n", s.mailExtension));
    lines.push_back(Line("Environment variable name:     %s\n", s.environmentName));
    lines.push_back(Line("Test  mode:                    %s\n", s.testMode ? "yes" : "no"));
    lines.push_back(dashes);
    return lines;
}

}  // namespace archiver
