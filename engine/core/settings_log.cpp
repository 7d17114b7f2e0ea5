#include "engine/core/settings_log.h"

#include <cinttypes>
#include <filesystem>

#include "engine/core/daily_log.h"

namespace engine {

namespace {

const char* YesNo(bool yes) { return yes ? "yes" : "no"; }
const char* OnOff(bool on) { return on ? "On" : "Off"; }

// Counts the settings log shows as 32-bit unsigned numbers.
unsigned long AsUnsigned32(long value) { return static_cast<uint32_t>(value); }

}  // namespace

void WriteSettingsLog(const EngineSettings& s) {
    const int p = s.protocol;
    const bool http = p == kProtocolHttp, ftp = p == kProtocolFtp, socks = p == kProtocolSocks;

    WriteLogF(" %s %s\n", kEngineVersion, kEngineNotice);
    WriteLogF("SOCKET Con-Rty Time   = %lu\n", s.retryCount);
    WriteLogF("Keep-Alive            = %s\n", s.keepAliveOff ? "off" : "on");
    WriteLogF("Connection            = %lu\n",
              s.connectionLimit == kUnlimitedConnections ? 0UL : AsUnsigned32(s.connectionLimit));
    WriteLogF("IP version            = %s\n",
              s.ipVersion == 0 ? "IPv4" : s.ipVersion == 1 ? "IPv6" : "IPv4,IPv6");
    if (http || socks)
        WriteLogF("Proxy Auth            = %s%s\n", YesNo(s.proxyAuth),
                  !s.proxyAuth ? "" : s.authKind != 0 ? ":LDAP" : ":LOCAL");
    WriteLogF("Timeout Client(Plain) = %d\n", s.timeouts.clientPlain);
    WriteLogF("Timeout Client(SSL)   = %d\n", s.timeouts.clientTls);
    WriteLogF("Timeout Server(Plain) = %d\n", s.timeouts.serverPlain);
    WriteLogF("Timeout Server(SSL)   = %d\n", s.timeouts.serverTls);
    if (p == kProtocolSmtp || socks) {
        WriteLogF("Mail backup           = %s:%s\n", YesNo(s.mailBackup),
                  s.mailBackup ? s.backupFolder.c_str() : "");
        WriteLogF("Attach compressed     = %s\n", YesNo(s.attachCompressed));
        WriteLogF("SPAM reject           = %s\n", YesNo(s.spamReject));
    }
    if (http || ftp || socks) {
        WriteLogF("%s PortRange        = %05d - %05d\n", socks ? "Bind" : "FTP ", s.dataPortLow,
                  s.dataPortHigh);
        WriteLogF("%s Cache time      = %lu min.\n", http ? "HTTP " : ftp ? "FTP  " : "SOCKS",
                  AsUnsigned32(s.cacheMinutes));
    }
    if (ftp || socks) WriteLogF("FTP Command           = %s\n", s.ftpRawCommands ? "raw" : "transform");
    if (p == kProtocolPop3 || p == kProtocolImap4 || socks) {
        WriteLogF("Virus Mail deleted    = %s.\n", OnOff(!s.keepVirusBody));
        if (socks) {
            WriteLogF("SOCSK v4              = %s.\n", OnOff(s.socksVersions == 0 || s.socksVersions == 1));
            WriteLogF("SOCSK v5              = %s.\n", OnOff(s.socksVersions == 0 || s.socksVersions == 2));
        }
    }
    WriteLogF("Scan Max file size    = %" PRIu64 "\n", s.scanSizeLimit);
    if (!s.logFolder.empty()) {
        std::error_code ignored;
        std::filesystem::create_directories(s.logFolder, ignored);
    }
    WriteLogF("Log Folder            = %s\n", s.logFolder.c_str());
}

}  // namespace engine
