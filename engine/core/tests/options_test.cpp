#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "engine/core/daily_log.h"
#include "engine/core/options.h"
#include "test_support.h"

namespace {

using engine::EngineSettings;
using engine::SocketTimeouts;
using Strings = std::vector<std::string>;

void ExpectTimeouts(const EngineSettings& s, SocketTimeouts t) {
    EXPECT_EQ(s.timeouts.clientPlain, t.clientPlain);
    EXPECT_EQ(s.timeouts.serverPlain, t.serverPlain);
    EXPECT_EQ(s.timeouts.clientTls, t.clientTls);
    EXPECT_EQ(s.timeouts.serverTls, t.serverTls);
}

// Every case starts from the defaults and reads its arguments; "$D" in an
// argument stands for the data folder of the fixture (whose root variable
// is VELQOR_OPTIONS_ROOT).
TEST(EngineOptions, OptionTableOrderRulesAndEdgeCases) {
    testsupport::TempDir root;
    setenv("VELQOR_OPTIONS_ROOT", root.path().c_str(), 1);
    unsetenv("VELQOR_OPTIONS_UNSET");
    const std::string D = root.path() + "/VELQOR/";
    testsupport::MakeDirs(D);
    testsupport::WriteFile(D + "http.ini",
                           "'comment line\r\n"
                           " blank first\r\n"
                           "\r\n"
                           "127.0.0.1 8080=\r\n"
                           "10.0.0.1 8443+/etc/cert.pem\t/etc/key.pem=,upstream.test 3128,Up\r\n"
                           "10.0.0.2,10.0.0.3 8081=\r\n"
                           "::1 8082\r\n");
    std::string longList;
    for (int i = 0; i < 200; ++i) longList += (i ? "," : "") + std::string("192.168.100.") + std::to_string(i);
    std::string manyLines;
    for (int i = 0; i < 200; ++i) manyLines += "192.168.200." + std::to_string(i) + " 8080=\r\n";
    testsupport::WriteFile(D + "socks.ini", manyLines);

    struct Case {
        const char* name;
        Strings args;
        std::function<void(const EngineSettings&)> check;
    };
    const Case cases[] = {
        {"defaults", {},
         [](const EngineSettings& s) {
             EXPECT_TRUE(s.keepAliveOff);
             EXPECT_EQ(s.retryCount, 10u);
             EXPECT_EQ(s.connectionLimit, INT_MAX);
             EXPECT_EQ(s.listenList, Strings{"127.0.0.1"});
             EXPECT_EQ(s.listenPort, 8080);
             EXPECT_EQ(s.openRetryTries, 12000u);
             EXPECT_TRUE(s.addHeaders);
             EXPECT_FALSE(s.headerVia || s.headerForwarded);
             EXPECT_TRUE(s.headerRemoteHostWp && s.headerXForwardedFor);
             EXPECT_TRUE(s.ftpRawCommands);
         }},
        {"no -p: every path empty, time-outs 0", {"-e=VELQOR_OPTIONS_ROOT"},
         [&](const EngineSettings& s) {
             EXPECT_EQ(s.dataFolder, D);
             EXPECT_FALSE(s.protocolChosen);
             EXPECT_EQ(s.logFolder, "");
             EXPECT_EQ(s.connectTableFile, "");
             EXPECT_EQ(s.accessLogFolder, "");
             ExpectTimeouts(s, {0, 0, 0, 0});
         }},
        {"no -e: the empty prefix", {"-p=0"},
         [](const EngineSettings& s) {
             EXPECT_EQ(s.dataFolder, "");
             EXPECT_EQ(s.logFolder, "httplog");
             EXPECT_EQ(s.connectTableFile, "http.ini");
         }},
        {"HTTP file set", {"-e=VELQOR_OPTIONS_ROOT", "-p=0"},
         [&](const EngineSettings& s) {
             EXPECT_EQ(s.protocol, 0);
             EXPECT_EQ(s.logFolder, D + "httplog");
             EXPECT_EQ(s.connectTableFile, D + "http.ini");
             EXPECT_EQ(s.clientAccessFile, D + "http-con.ini");
             EXPECT_EQ(s.proxyUserFile, D + "http-auth.ini");
             EXPECT_EQ(s.dnsblZoneFile, D + "http-dnsbl.db");
             EXPECT_EQ(s.dnsblExceptionFile, D + "http-dnswl.db");
             EXPECT_EQ(s.clientBlocklistFile, D + "http-conbl.db");
             EXPECT_EQ(s.clientBlocklistExceptionFile, D + "http-conwl.db");
             EXPECT_EQ(s.zipListenFile, D + "http-zip.db");
             EXPECT_EQ(s.noCacheFile, D + "no-cache.db");
             EXPECT_EQ(s.accessLogFolder, D + "ncsalog");
             EXPECT_EQ(s.accessLogMaskFile, D + "ncsalog-mask.db");
             EXPECT_EQ(s.socksProtocolFile, "");
             ExpectTimeouts(s, {5, 3500, 10, 50});
         }},
        {"SMTP file set", {"-e=VELQOR_OPTIONS_ROOT", "-p=1"},
         [&](const EngineSettings& s) {
             EXPECT_EQ(s.logFolder, D + "smtplog");
             EXPECT_EQ(s.connectTableFile, D + "smtp.ini");
             EXPECT_EQ(s.zipListenFile, D + "smtp-zip.db");
             EXPECT_EQ(s.noCacheFile, "");
             EXPECT_EQ(s.accessLogFolder, "");
             EXPECT_EQ(s.accessLogMaskFile, "");
             ExpectTimeouts(s, {300000, 300000, 10, 50});
         }},
        {"IMAP4 file set", {"-e=VELQOR_OPTIONS_ROOT", "-p=3"},
         [&](const EngineSettings& s) {
             EXPECT_EQ(s.logFolder, D + "imap4log");
             EXPECT_EQ(s.noCacheFile, "");
         }},
        {"FTP file set", {"-e=VELQOR_OPTIONS_ROOT", "-p=4"},
         [&](const EngineSettings& s) {
             EXPECT_EQ(s.logFolder, D + "ftplog");
             EXPECT_EQ(s.noCacheFile, D + "no-cache.db");
             EXPECT_EQ(s.accessLogFolder, "");
         }},
        {"SOCKS file set", {"-e=VELQOR_OPTIONS_ROOT", "-p=5"},
         [&](const EngineSettings& s) {
             EXPECT_EQ(s.logFolder, D + "sockslog");
             EXPECT_EQ(s.accessLogFolder, D + "ncsalog");
             EXPECT_EQ(s.socksProtocolFile, D + "socks-ptl.ini");
             EXPECT_EQ(s.noCacheFile, D + "no-cache.db");
         }},
        {"-p above 5 keeps its number with the HTTP set", {"-e=VELQOR_OPTIONS_ROOT", "-p=9"},
         [&](const EngineSettings& s) {
             EXPECT_EQ(s.protocol, 9);
             EXPECT_EQ(s.connectTableFile, D + "http.ini");
             EXPECT_EQ(s.accessLogFolder, D + "httpnacalog");
             ExpectTimeouts(s, {5, 3500, 10, 50});
         }},
        {"-c=0 is unlimited", {"-c=0"}, [](const EngineSettings& s) { EXPECT_EQ(s.connectionLimit, INT_MAX); }},
        {"-c=25", {"-c=25"}, [](const EngineSettings& s) { EXPECT_EQ(s.connectionLimit, 25); }},
        {"-I=1 is ignored", {"-I=1"}, [](const EngineSettings& s) { EXPECT_EQ(s.ipVersion, 0); }},
        {"-i=1 selects IPv6", {"-i=1"}, [](const EngineSettings& s) { EXPECT_EQ(s.ipVersion, 1); }},
        {"-o=7 reads as 0", {"-o=7"}, [](const EngineSettings& s) { EXPECT_EQ(s.socksVersions, 0); }},
        {"-o=-1 stays", {"-o=-1"}, [](const EngineSettings& s) { EXPECT_EQ(s.socksVersions, -1); }},
        {"-t after -p=1 keeps missing trailing values", {"-p=1", "-t=100,200"},
         [](const EngineSettings& s) { ExpectTimeouts(s, {100, 200, 10, 50}); }},
        {"-t negative becomes 0", {"-p=0", "-t=-5"},
         [](const EngineSettings& s) { ExpectTimeouts(s, {0, 3500, 10, 50}); }},
        {"-t all four", {"-p=2", "-t=1,2,3,4"},
         [](const EngineSettings& s) { ExpectTimeouts(s, {1, 2, 3, 4}); }},
        {"-t before -p is overwritten", {"-t=1,2,3,4", "-p=2"},
         [](const EngineSettings& s) { ExpectTimeouts(s, {300000, 300000, 10, 50}); }},
        {"-n after -p=1 is kept", {"-p=1", "-n=1000-2000"},
         [](const EngineSettings& s) {
             EXPECT_EQ(s.dataPortLow, 1000);
             EXPECT_EQ(s.dataPortHigh, 2000);
         }},
        {"-p=0 resets -n", {"-n=1000-2000", "-p=0"},
         [](const EngineSettings& s) {
             EXPECT_EQ(s.dataPortLow, 0);
             EXPECT_EQ(s.dataPortHigh, 0);
         }},
        {"-n low alone keeps the high port", {"-n=1000-2000", "-n=1500"},
         [](const EngineSettings& s) {
             EXPECT_EQ(s.dataPortLow, 1500);
             EXPECT_EQ(s.dataPortHigh, 2000);
         }},
        {"-l with two addresses and a port", {"-l=10.0.0.1,10.0.0.2 3128"},
         [](const EngineSettings& s) {
             EXPECT_EQ(s.listenList, (Strings{"10.0.0.1", "10.0.0.2"}));
             EXPECT_EQ(s.listenPort, 3128);
         }},
        {"-l without a port keeps 8080", {"-l=::1"},
         [](const EngineSettings& s) {
             EXPECT_EQ(s.listenList, Strings{"::1"});
             EXPECT_EQ(s.listenPort, 8080);
         }},
        {"-f before -p does nothing", {"-e=VELQOR_OPTIONS_ROOT", "-f", "-p=0"},
         [](const EngineSettings& s) { EXPECT_EQ(s.listenList, Strings{"127.0.0.1"}); }},
        {"-f reads the listen entries", {"-e=VELQOR_OPTIONS_ROOT", "-p=0", "-f"},
         [](const EngineSettings& s) {
             EXPECT_EQ(s.listenList,
                       (Strings{"127.0.0.1 8080", "10.0.0.1 8443", "10.0.0.2", "10.0.0.3 8081", "::1 8082"}));
         }},
        {"-l after -f replaces the list", {"-e=VELQOR_OPTIONS_ROOT", "-p=0", "-f", "-l=127.0.0.2 81"},
         [](const EngineSettings& s) {
             EXPECT_EQ(s.listenList, Strings{"127.0.0.2"});
             EXPECT_EQ(s.listenPort, 81);
         }},
        {"-f with a missing file empties the list", {"-e=VELQOR_OPTIONS_ROOT", "-p=2", "-f"},
         [](const EngineSettings& s) { EXPECT_TRUE(s.listenList.empty()); }},
        {"a long -l keeps whole entries within 1,023 characters", {"-l=" + longList + " 9000"},
         [](const EngineSettings& s) {
             size_t used = 0;
             for (const auto& e : s.listenList) used += e.size() + 1;
             EXPECT_LE(used - 1, 1023u);
             EXPECT_GT(used, 1000u);
             EXPECT_EQ(s.listenList.front(), "192.168.100.0");
             EXPECT_EQ(s.listenList.back(), "192.168.100." + std::to_string(s.listenList.size() - 1));
             EXPECT_EQ(s.listenPort, 9000);
         }},
        {"a long connection list keeps whole entries within 1,023 characters",
         {"-e=VELQOR_OPTIONS_ROOT", "-p=5", "-f"},
         [](const EngineSettings& s) {
             size_t used = 0;
             for (const auto& e : s.listenList) used += e.size() + 1;
             EXPECT_LE(used - 1, 1023u);
             EXPECT_EQ(s.listenList.back(),
                       "192.168.200." + std::to_string(s.listenList.size() - 1) + " 8080");
         }},
        {"-a alone is the local list", {"-e=VELQOR_OPTIONS_ROOT", "-a"},
         [&](const EngineSettings& s) {
             EXPECT_TRUE(s.proxyAuth);
             EXPECT_EQ(s.authKind, 0);
             EXPECT_EQ(s.ldapSettingsFile, D + "http-ldap.ini");
         }},
        {"-a=1 is LDAP", {"-a=1"},
         [](const EngineSettings& s) {
             EXPECT_TRUE(s.proxyAuth);
             EXPECT_EQ(s.authKind, 1);
         }},
        {"-a takes a value only after =", {"-ax1"}, [](const EngineSettings& s) { EXPECT_EQ(s.authKind, 0); }},
        {"value switches", {"-!=0", "-d=1", "-g=1", "-j=1", "-x=1", "-q=2", "-m=30", "-b=/backup", "-s=proxy.test 3128"},
         [](const EngineSettings& s) {
             EXPECT_FALSE(s.keepAliveOff);
             EXPECT_TRUE(s.keepVirusBody && s.accessLog && s.spamReject && s.attachCompressed);
             EXPECT_FALSE(s.ftpRawCommands);
             EXPECT_EQ(s.cacheMinutes, 30);
             EXPECT_TRUE(s.mailBackup);
             EXPECT_EQ(s.backupFolder, "/backup");
             EXPECT_EQ(s.upstreamServer, "proxy.test 3128");
         }},
        {"counts", {"-$=3", "-r=2", "-k=5000000000"},
         [](const EngineSettings& s) {
             EXPECT_EQ(s.retryCount, 3u);
             EXPECT_EQ(s.openRetryTries, 40u);
             EXPECT_EQ(s.scanSizeLimit, 5000000000u);
         }},
        {"negative counts are none", {"-$=-1", "-r=-1"},
         [](const EngineSettings& s) {
             EXPECT_EQ(s.retryCount, 0u);
             EXPECT_EQ(s.openRetryTries, 0u);
         }},
        {"-u=0 turns every added header off", {"-u=0"},
         [](const EngineSettings& s) {
             EXPECT_FALSE(s.addHeaders || s.headerVia || s.headerForwarded || s.headerRemoteHostWp ||
                          s.headerXForwardedFor);
         }},
        {"-u=3", {"-u=3"},
         [](const EngineSettings& s) {
             EXPECT_TRUE(s.addHeaders && s.headerVia && s.headerForwarded);
             EXPECT_FALSE(s.headerRemoteHostWp || s.headerXForwardedFor);
         }},
        {"letters in either case", {"-P=1", "-C=5", "-V", "-W"},
         [](const EngineSettings& s) {
             EXPECT_EQ(s.protocol, 1);
             EXPECT_EQ(s.connectionLimit, 5);
             EXPECT_TRUE(s.logToConsole && s.logToFile);
         }},
        {"short, unknown and out-of-range arguments are skipped", {"", "-", "-p", "-h=1", "-y", "-~=1", "- "},
         [](const EngineSettings& s) {
             EXPECT_TRUE(s.protocolChosen);  // "-p" alone reads as protocol 0
             EXPECT_EQ(s.protocol, 0);
             EXPECT_FALSE(s.logToConsole || s.logToFile);
         }},
        {"an unset -e variable falls back to /var/lib", {"-e=VELQOR_OPTIONS_UNSET"},
         [](const EngineSettings& s) {
             EXPECT_EQ(s.dataRootVariable, "VELQOR_OPTIONS_UNSET");
             EXPECT_EQ(s.dataFolder, "/var/lib/VELQOR/");
         }},
        {"-z replaces the data folder", {"-e=VELQOR_OPTIONS_ROOT", "-z=/srv/velqor", "-p=0"},
         [](const EngineSettings& s) {
             EXPECT_EQ(s.dataFolder, "/srv/velqor/");
             EXPECT_EQ(s.connectTableFile, "/srv/velqor/http.ini");
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        engine::Settings() = EngineSettings{};
        Strings args{"orqhprx"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        engine::GetOption(args);
        c.check(engine::Settings());
    }
    engine::Settings() = EngineSettings{};
    engine::EngineLog().setToConsole(false);
    engine::EngineLog().setToFile(false);
}

// -w given last still puts the lines written while reading the options
// into the file, and the log folder is made for them.
TEST(EngineOptions, LinesOfTheOptionReadingReachTheLogFile) {
    testsupport::TempDir root;
    setenv("VELQOR_OPTIONS_ROOT2", root.path().c_str(), 1);
    common::LocalTime day;
    day.year = 2024;
    day.month = 5;
    day.day = 6;
    engine::EngineLog().setClock([day] { return day; });
    engine::Settings() = EngineSettings{};
    engine::GetOption(Strings{"orqhprx", "-e=VELQOR_OPTIONS_ROOT2", "-p=0", "-f", "-w"});
    std::string log = testsupport::ReadFile(root.path() + "/VELQOR/httplog/20240506.log");
    EXPECT_EQ(log, "[00:00:00:000] [GetOption] file notfound (" + root.path() + "/VELQOR/http.ini)\n");
    engine::Settings() = EngineSettings{};
    engine::EngineLog().setToFile(false);
    engine::EngineLog().setClock({});
}

// -f takes the listen port after any number of blanks, and up to blanks
// before "=" or the client mark; a line that gives no listen entry is
// named in the log instead of being dropped without a word.
TEST(EngineOptions, ListenEntriesOfSpacedLinesAndLinesThatGiveNone) {
    testsupport::TempDir root;
    setenv("VELQOR_OPTIONS_ROOT3", root.path().c_str(), 1);
    const std::string D = root.path() + "/VELQOR/";
    testsupport::MakeDirs(D);
    testsupport::WriteFile(D + "http.ini",
                           "'comment\r\n"
                           "127.0.0.1  8080=, ,two blanks\r\n"
                           "127.0.0.1 8081 =,proxy.test 3128,blank before =\r\n"
                           "127.0.0.1 8082 +/c.pem\t/k.pem=, ,blank before +\r\n"
                           "127.0.0.1 80x=, ,junk\r\n"
                           "127.0.0.1 =, ,no port\r\n"
                           "127.0.0.1 8083=, ,plain\r\n");
    common::LocalTime day;
    day.year = 2024;
    day.month = 5;
    day.day = 7;
    engine::EngineLog().setClock([day] { return day; });
    engine::Settings() = EngineSettings{};
    engine::GetOption(Strings{"orqhprx", "-e=VELQOR_OPTIONS_ROOT3", "-p=0", "-f", "-w"});
    EXPECT_EQ(engine::Settings().listenList,
              (Strings{"127.0.0.1 8080", "127.0.0.1 8081", "127.0.0.1 8082", "127.0.0.1 8083"}));
    const std::string log = testsupport::ReadFile(D + "httplog/20240507.log");
    EXPECT_NE(log.find("[GetOption] no listen entry (127.0.0.1 80x=, ,junk)\n"), std::string::npos) << log;
    EXPECT_NE(log.find("[GetOption] no listen entry (127.0.0.1 =, ,no port)\n"), std::string::npos) << log;
    EXPECT_EQ(log.find("no listen entry ('comment"), std::string::npos) << log;
    EXPECT_NE(log.find("[GetOption] 127.0.0.1 8080\n127.0.0.1 8081\n127.0.0.1 8082\n127.0.0.1 8083\n"),
              std::string::npos)
        << log;
    engine::Settings() = EngineSettings{};
    engine::EngineLog().setToFile(false);
    engine::EngineLog().setClock({});
}

}  // namespace
