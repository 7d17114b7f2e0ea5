#include "engine/core/options.h"

#include <cctype>
#include <string_view>

#include "common/connect_table.h"
#include "common/data_folder.h"
#include "common/ldap_ini.h"
#include "common/list_file.h"
#include "common/option_arg.h"
#include "engine/core/daily_log.h"

namespace engine {

namespace {

int ToInt(int64_t value) {
    if (value > INT_MAX) return INT_MAX;
    if (value < INT_MIN) return INT_MIN;
    return static_cast<int>(value);
}

int Decimal(std::string_view text) { return ToInt(common::ParseDecimal(text)); }

// Counts: a negative count is none, a huge one stops at the limit.
unsigned long Count(int64_t value, unsigned long factor = 1) {
    if (value <= 0) return 0;
    if (static_cast<uint64_t>(value) > ULONG_MAX / factor) return ULONG_MAX;
    return static_cast<unsigned long>(value) * factor;
}

bool InHttpFileSet(int protocol) { return protocol < kProtocolHttp || protocol > kProtocolSocks; }

// Adds the entries of text (separated by commas and line ends) to the
// listen list, whole entries only while the list text stays within its
// limit.
void AddListenEntries(EngineSettings& s, std::string_view text, size_t& used) {
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find_first_of(",\n", start);
        if (end == std::string_view::npos) end = text.size();
        std::string_view entry = text.substr(start, end - start);
        if (!entry.empty()) {
            size_t needed = (used == 0 ? 0 : 1) + entry.size();
            if (used + needed > kListenListLimit) {
                WriteLogF("[GetOption] listen list too long, ignored (%.*s)\n",
                          static_cast<int>(entry.size()), entry.data());
            } else {
                used += needed;
                s.listenList.emplace_back(entry);
            }
        }
        start = end + 1;
    }
}

void ApplyListenOption(EngineSettings& s, const std::string& value) {
    std::string_view list = value;
    size_t blank = list.find(' ');
    if (blank != std::string_view::npos) {
        s.listenPort = Decimal(list.substr(blank + 1));
        list = list.substr(0, blank);
    }
    s.listenList.clear();
    size_t used = 0;
    AddListenEntries(s, list, used);
}

// Each line of the connection list that is no comment gives its listen
// entry: the listen address, a blank and the listen port. A line that gives
// none is named, so that a listener the administrator wrote does not
// vanish without a word.
void ReadListenListFile(EngineSettings& s) {
    if (s.connectTableFile.empty()) return;
    s.listenList.clear();
    common::ListFileRules rules;
    rules.maxLineLength = common::kListenListLineLimit;
    std::string joined;
    bool opened = common::ForEachListLine(s.connectTableFile, rules, [&joined](std::string_view line) {
        if (auto entry = common::ParseConnectTableLine(line))
            joined += entry->ListenEntry() + "\n";
        else
            WriteLogF("[GetOption] no listen entry (%.*s)\n", static_cast<int>(line.size()), line.data());
        return true;
    });
    if (!opened) {
        WriteLogF("[GetOption] file notfound (%s)\n", s.connectTableFile.c_str());
        return;
    }
    WriteLogF("[GetOption] %s%s", joined.c_str(), joined.empty() ? "\n" : "");
    size_t used = 0;
    AddListenEntries(s, joined, used);
}

void ApplyTimeouts(EngineSettings& s, std::string_view value) {
    int* slots[] = {&s.timeouts.clientPlain, &s.timeouts.serverPlain, &s.timeouts.clientTls,
                    &s.timeouts.serverTls};
    size_t start = 0;
    for (int* slot : slots) {
        if (start > value.size() || value.empty()) break;
        size_t comma = value.find(',', start);
        std::string_view number =
            value.substr(start, comma == std::string_view::npos ? std::string_view::npos : comma - start);
        int ms = Decimal(number);
        *slot = ms < 0 ? 0 : ms;
        if (comma == std::string_view::npos) break;
        start = comma + 1;
    }
}

void ApplyPortRange(EngineSettings& s, std::string_view value) {
    size_t dash = value.find('-');
    if (dash != std::string_view::npos) s.dataPortHigh = Decimal(value.substr(dash + 1));
    s.dataPortLow = Decimal(value);
}

void ApplyAddedHeaders(EngineSettings& s, int value) {
    s.addHeaders = value != 0;
    s.headerVia = (value & 1) != 0;
    s.headerForwarded = (value & 2) != 0;
    s.headerRemoteHostWp = (value & 4) != 0;
    s.headerXForwardedFor = (value & 8) != 0;
}

// Returns the note to log when the data root fell back.
void ApplyDataRoot(EngineSettings& s, const std::string& variable, std::string& fallbackNote) {
    common::DataRoot root = common::LookUpDataRoot(variable);
    s.dataRootVariable = variable;
    s.dataFolder = common::DataFolderPath(root.path);
    fallbackNote = root.fellBack ? common::DataRootFallbackNote(variable) : std::string();
}

void ApplyOption(EngineSettings& s, const common::OptionArg& arg, std::string& fallbackNote) {
    char letter = arg.letter;
    if (letter < '!' || letter > 'z') return;
    if (letter == 'I') return;  // only the lower-case -i is known
    letter = static_cast<char>(std::tolower(static_cast<unsigned char>(letter)));
    const std::string& value = arg.value;
    switch (letter) {
        case '!': s.keepAliveOff = Decimal(value) != 0; break;
        case '$': s.retryCount = Count(common::ParseDecimal(value)); break;
        case 'a':
            s.proxyAuth = true;
            s.ldapSettingsFile = s.dataFolder + common::ldap_ini::kFileName;
            s.authKind = arg.separator == '=' ? Decimal(value) : 0;
            break;
        case 'b':
            s.mailBackup = true;
            s.backupFolder = value;
            break;
        case 'c': {
            int limit = Decimal(value);
            s.connectionLimit = limit == 0 ? kUnlimitedConnections : limit;
            break;
        }
        case 'd': s.keepVirusBody = Decimal(value) != 0; break;
        case 'e': ApplyDataRoot(s, value, fallbackNote); break;
        case 'f': ReadListenListFile(s); break;
        case 'g': s.accessLog = Decimal(value) != 0; break;
        case 'i': s.ipVersion = Decimal(value); break;
        case 'j': s.spamReject = Decimal(value) != 0; break;
        case 'k': s.scanSizeLimit = static_cast<uint64_t>(common::ParseDecimal(value)); break;
        case 'l': ApplyListenOption(s, value); break;
        case 'm': s.cacheMinutes = Decimal(value); break;
        case 'n': ApplyPortRange(s, value); break;
        case 'o': {
            int versions = Decimal(value);
            s.socksVersions = versions >= 3 ? 0 : versions;
            break;
        }
        case 'p': SelectProtocol(s, Decimal(value)); break;
        case 'q': s.ftpRawCommands = Decimal(value) == 1; break;
        case 'r': s.openRetryTries = Count(common::ParseDecimal(value), 20); break;
        case 's': s.upstreamServer = value; break;
        case 't': ApplyTimeouts(s, value); break;
        case 'u': ApplyAddedHeaders(s, Decimal(value)); break;
        case 'v': s.logToConsole = true; break;
        case 'w': s.logToFile = true; break;
        case 'x': s.attachCompressed = Decimal(value) != 0; break;
        case 'z':
            if (!value.empty()) s.dataFolder = value.back() == '/' ? value : value + "/";
            break;
        default: break;
    }
}

}  // namespace

const char* ProtocolWord(int protocol) {
    static const char* const kWords[] = {"http", "smtp", "pop3", "imap4", "ftp", "socks"};
    return InHttpFileSet(protocol) ? "http" : kWords[protocol];
}

void SelectProtocol(EngineSettings& s, int protocol) {
    s.protocol = protocol;
    s.protocolChosen = true;
    const std::string& folder = s.dataFolder;
    const std::string word = ProtocolWord(protocol);
    s.logFolder = folder + word + "log";
    s.connectTableFile = folder + word + ".ini";
    s.clientAccessFile = folder + word + "-con.ini";
    s.proxyUserFile = folder + word + "-auth.ini";
    s.dnsblZoneFile = folder + word + "-dnsbl.db";
    s.dnsblExceptionFile = folder + word + "-dnswl.db";
    s.clientBlocklistFile = folder + word + "-conbl.db";
    s.clientBlocklistExceptionFile = folder + word + "-conwl.db";
    s.zipListenFile = folder + word + "-zip.db";

    const bool httpLike = protocol == kProtocolHttp || InHttpFileSet(protocol);
    const bool cached = httpLike || protocol == kProtocolFtp || protocol == kProtocolSocks;
    s.noCacheFile = cached ? folder + "no-cache.db" : std::string();
    if (protocol == kProtocolHttp || protocol == kProtocolSocks) {
        s.accessLogFolder = folder + "ncsalog";
        s.accessLogMaskFile = folder + "ncsalog-mask.db";
    } else if (httpLike) {
        s.accessLogFolder = folder + "httpnacalog";
        s.accessLogMaskFile = folder + "ncsalog-mask.db";
    } else {
        s.accessLogFolder.clear();
        s.accessLogMaskFile.clear();
    }
    s.socksProtocolFile = protocol == kProtocolSocks ? folder + "socks-ptl.ini" : std::string();

    if (httpLike)
        s.timeouts = {5, 3500, 10, 50};
    else
        s.timeouts = {300000, 300000, 10, 50};
    if (protocol == kProtocolHttp || protocol == kProtocolFtp || protocol == kProtocolSocks) {
        s.dataPortLow = 0;
        s.dataPortHigh = 0;
    }
    EngineLog().setFolder(s.logFolder);
}

void GetOption(int argc, char** argv) {
    std::vector<std::string> args;
    for (int i = 0; i < argc; ++i) args.emplace_back(argv[i] ? argv[i] : "");
    GetOption(args);
}

void GetOption(const std::vector<std::string>& args) {
    EngineSettings& s = Settings();
    for (size_t i = 1; i < args.size(); ++i) {
        char letter = common::ParseOptionArg(args[i]).letter;
        if (letter == 'v' || letter == 'V') s.logToConsole = true;
        if (letter == 'w' || letter == 'W') s.logToFile = true;
    }
    EngineLog().setToConsole(s.logToConsole);
    EngineLog().setToFile(s.logToFile);

    std::string fallbackNote;
    for (size_t i = 1; i < args.size(); ++i) ApplyOption(s, common::ParseOptionArg(args[i]), fallbackNote);
    // Written once the daily log folder is known (-e comes before -p).
    if (!fallbackNote.empty()) WriteLogF("[GetOption] %s\n", fallbackNote.c_str());
}

}  // namespace engine
