// The engine settings: one record, filled from the command line by
// GetOption before any thread starts and only read afterwards.
#pragma once

#include <climits>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace engine {

enum Protocol : int {
    kProtocolHttp = 0,
    kProtocolSmtp = 1,
    kProtocolPop3 = 2,
    kProtocolImap4 = 3,
    kProtocolFtp = 4,
    kProtocolSocks = 5,
};

// Socket time-outs in milliseconds (option -t; defaults set by -p).
struct SocketTimeouts {
    int clientPlain = 0;
    int serverPlain = 0;
    int clientTls = 0;
    int serverTls = 0;

    // The bound of a whole TLS handshake on the side whose TLS time-out is
    // given (0: no bound). The TLS defaults of -p (10 and 50 ms) are far too
    // short for a handshake over a real network, so a handshake may always
    // take as long as the engine waits for a server's data.
    int Handshake(int tlsTimeout) const {
        return tlsTimeout <= 0 ? 0 : (tlsTimeout > serverPlain ? tlsTimeout : serverPlain);
    }
};

inline constexpr int kUnlimitedConnections = INT_MAX;
// The listen list text (entries and their separators) holds at most this.
inline constexpr size_t kListenListLimit = 1023;
inline constexpr const char* kEngineVersion = "v2.15";
// The bound of a pipe call's waits (for a busy pipe, then for the answer).
// A minute is far beyond any scan of a file the engine spools.
inline constexpr uint32_t kPipeCallTimeoutMs = 60 * 1000;
// Names a shorter bound in milliseconds (for tests, which can't wait a
// minute for a hung server).
inline constexpr const char* kPipeCallTimeoutVariable = "VELQOR_PIPE_TIMEOUT_MS";

struct EngineSettings {
    bool keepAliveOff = true;                 // -!
    unsigned long retryCount = 10;            // -$  worker starts, upstream connects
    bool proxyAuth = false;                   // -a
    int authKind = 0;                         // -a=<n>: 0 local user list, else LDAP
    bool mailBackup = false;                  // -b
    std::string backupFolder;                 // -b=<folder>
    int connectionLimit = kUnlimitedConnections;  // -c  also the listen backlog
    bool keepVirusBody = false;               // -d
    std::string dataRootVariable;             // -e
    std::string dataFolder;                   // "<root>/VELQOR/", or empty without -e
    bool accessLog = false;                   // -g
    int ipVersion = 0;                        // -i  0 IPv4, 1 IPv6, other both
    bool spamReject = false;                  // -j
    uint64_t scanSizeLimit = 0;               // -k  bytes, 0 no limit
    std::vector<std::string> listenList{"127.0.0.1"};  // -l / -f: "addr" or "addr port"
    int listenPort = 8080;                    // -l
    long cacheMinutes = 0;                    // -m
    int dataPortLow = 0;                      // -n  also seeds the data port counter
    int dataPortHigh = 0;
    int socksVersions = 0;                    // -o  0 both, 1 v4, 2 v5
    int protocol = kProtocolHttp;             // -p  the number is kept even when it names none
    bool protocolChosen = false;
    bool ftpRawCommands = true;               // -q
    unsigned long openRetryTries = 12000;     // -r  tries 50 ms apart
    std::string upstreamServer;               // -s  "<host>[ <port>]" as written
    SocketTimeouts timeouts;                  // -t
    bool addHeaders = true;                   // -u  master switch
    bool headerVia = false;                   // -u bit 0
    bool headerForwarded = false;             // -u bit 1
    bool headerRemoteHostWp = true;           // -u bit 2
    bool headerXForwardedFor = true;          // -u bit 3
    bool logToConsole = false;                // -v
    bool logToFile = false;                   // -w
    bool attachCompressed = false;            // -x  only shown in the settings log
    uint32_t pipeCallTimeoutMs = kPipeCallTimeoutMs;  // not an option: see kPipeCallTimeoutVariable

    // The protocol's file set (-p), each the data folder and a name.
    std::string logFolder;
    std::string connectTableFile;
    std::string clientAccessFile;
    std::string proxyUserFile;
    std::string dnsblZoneFile;
    std::string dnsblExceptionFile;
    std::string clientBlocklistFile;
    std::string clientBlocklistExceptionFile;
    std::string zipListenFile;
    std::string noCacheFile;
    std::string accessLogFolder;
    std::string accessLogMaskFile;
    std::string socksProtocolFile;
    std::string ldapSettingsFile;             // -a

    // Start-up state.
    std::string programPath;                  // lower-cased first argument
    std::string programFolder;
    int clientSocketTimeout = 0;              // receive and send, accepted sockets
    int serverSocketTimeout = 0;              // receive and send, upstream sockets
};

// The process-wide record.
EngineSettings& Settings();

// Locks and counters that start-up creates and the connection threads
// share. The daily log lock lives with the daily log, the access log lock
// with the access log. No code path holds two of these at once.
struct EngineShared {
    std::mutex mailIdLock;
    unsigned long mailIdCounter = 0;
    std::mutex scanPipeLock;
    std::mutex spamPipeLock;
    std::mutex wordFilterPipeLock;
    std::mutex archivePipeLock;
};

EngineShared& Shared();

}  // namespace engine
