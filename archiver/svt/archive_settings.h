// The archiving server's settings, filled once from the command line before
// any other work and read-only afterwards (the password-mail sender thread
// reads them too).
#pragma once

#include <string>
#include <vector>

namespace archiver {

struct ArchiveSettings {
    std::string password;              // -@: fixed password, or the prefix of the random one
    bool esmtp = false;                // -a
    unsigned long retrySeconds = 120;  // -c
    bool testMode = false;             // -d
    std::string environmentName = "ALLUSERSPROFILE";  // -e
    int addressFamily = 0;             // -f: 0 IPv4, otherwise IPv6
    std::string authId;                // -i
    int level = 0;                     // -l: 0 random password, 1 fixed, 2 no password
    int envelopeFromMode = 0;          // -m
    std::string envelopeFrom;          // -m: the address after the comma
    unsigned long smtpPort = 25;       // -p
    bool ccLimit = false;              // -q
    int ccCount = 0;
    std::string authPassword;          // -r
    std::string smtpServer;            // -s: empty means no password mail is sent
    bool toLimit = false;              // -t
    int toCount = 0;
    bool perAttachment = false;        // -u
    bool backToSender = false;         // -v
    bool logToFile = false;            // -w
    std::string mailExtension = "MSG";  // -x
    std::string archiveExtension = "ZIP";  // -z

    // Derived at start.
    std::string hostName;
    std::string rootFolder;  // "<R>/VELQOR/"
    std::string workFolder;  // "<R>/VELQOR/sorvspool"
    std::string logFolder;   // "<R>/VELQOR/sorvantlog"
};

// Applies the option arguments in order over the defaults; later arguments
// override earlier ones, unknown letters are ignored. "-y=<file>" takes the
// arguments the file holds (see common/secret_arguments.h) at its place.
void ReadArchiveOptions(const std::vector<std::string>& args, ArchiveSettings& settings);

// The banner and settings block logged at start, one entry per line.
std::vector<std::string> SettingsBlock(const ArchiveSettings& settings);

}  // namespace archiver
