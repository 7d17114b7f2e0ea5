#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "engine/core/daily_log.h"
#include "engine/core/options.h"
#include "engine/core/settings_log.h"
#include "test_support.h"

namespace {

using Strings = std::vector<std::string>;

// The settings log, word for word, for the protocols whose lines differ.
TEST(EngineSettingsLog, LinesFollowTheProtocol) {
    testsupport::TempDir root;
    setenv("VELQOR_SETTINGS_ROOT", root.path().c_str(), 1);
    const std::string D = root.path() + "/VELQOR/";
    common::LocalTime at;
    at.year = 2024;
    at.month = 7;
    at.day = 1;
    at.hour = 9;
    at.minute = 8;
    at.second = 7;
    at.millisecond = 6;
    engine::EngineLog().setClock([at] { return at; });

    struct Case {
        const char* name;
        Strings args;
        std::string folder;
        std::string body;  // the lines without their stamps
    } cases[] = {
        {"HTTP",
         {"-p=0", "-c=0", "-u=12"},
         "httplog",
         " v2.15 VELQOR Server proxy engine for Linux\n"
         "SOCKET Con-Rty Time   = 10\n"
         "Keep-Alive            = off\n"
         "Connection            = 0\n"
         "IP version            = IPv4\n"
         "Proxy Auth            = no\n"
         "Timeout Client(Plain) = 5\n"
         "Timeout Client(SSL)   = 10\n"
         "Timeout Server(Plain) = 3500\n"
         "Timeout Server(SSL)   = 50\n"
         "FTP  PortRange        = 00000 - 00000\n"
         "HTTP  Cache time      = 0 min.\n"
         "Scan Max file size    = 0\n"
         "Log Folder            = " + D + "httplog\n"},
        {"SMTP",
         {"-p=1", "-b=/backup/mail", "-x=1", "-j=0", "-i=2", "-c=40", "-!=0", "-$=4"},
         "smtplog",
         " v2.15 VELQOR Server proxy engine for Linux\n"
         "SOCKET Con-Rty Time   = 4\n"
         "Keep-Alive            = on\n"
         "Connection            = 40\n"
         "IP version            = IPv4,IPv6\n"
         "Timeout Client(Plain) = 300000\n"
         "Timeout Client(SSL)   = 10\n"
         "Timeout Server(Plain) = 300000\n"
         "Timeout Server(SSL)   = 50\n"
         "Mail backup           = yes:/backup/mail\n"
         "Attach compressed     = yes\n"
         "SPAM reject           = no\n"
         "Scan Max file size    = 0\n"
         "Log Folder            = " + D + "smtplog\n"},
        {"POP3",
         {"-p=2", "-d=1"},
         "pop3log",
         " v2.15 VELQOR Server proxy engine for Linux\n"
         "SOCKET Con-Rty Time   = 10\n"
         "Keep-Alive            = off\n"
         "Connection            = 0\n"
         "IP version            = IPv4\n"
         "Timeout Client(Plain) = 300000\n"
         "Timeout Client(SSL)   = 10\n"
         "Timeout Server(Plain) = 300000\n"
         "Timeout Server(SSL)   = 50\n"
         "Virus Mail deleted    = Off.\n"
         "Scan Max file size    = 0\n"
         "Log Folder            = " + D + "pop3log\n"},
        {"FTP",
         {"-p=4", "-n=40000-40100", "-m=15", "-q=0", "-k=5000000000"},
         "ftplog",
         " v2.15 VELQOR Server proxy engine for Linux\n"
         "SOCKET Con-Rty Time   = 10\n"
         "Keep-Alive            = off\n"
         "Connection            = 0\n"
         "IP version            = IPv4\n"
         "Timeout Client(Plain) = 300000\n"
         "Timeout Client(SSL)   = 10\n"
         "Timeout Server(Plain) = 300000\n"
         "Timeout Server(SSL)   = 50\n"
         "FTP  PortRange        = 40000 - 40100\n"
         "FTP   Cache time      = 15 min.\n"
         "FTP Command           = transform\n"
         "Scan Max file size    = 5000000000\n"
         "Log Folder            = " + D + "ftplog\n"},
        {"SOCKS",
         {"-p=5", "-a=1", "-o=-1", "-i=1", "-n=2000-2010"},
         "sockslog",
         " v2.15 VELQOR Server proxy engine for Linux\n"
         "SOCKET Con-Rty Time   = 10\n"
         "Keep-Alive            = off\n"
         "Connection            = 0\n"
         "IP version            = IPv6\n"
         "Proxy Auth            = yes:LDAP\n"
         "Timeout Client(Plain) = 300000\n"
         "Timeout Client(SSL)   = 10\n"
         "Timeout Server(Plain) = 300000\n"
         "Timeout Server(SSL)   = 50\n"
         "Mail backup           = no:\n"
         "Attach compressed     = no\n"
         "SPAM reject           = no\n"
         "Bind PortRange        = 02000 - 02010\n"
         "SOCKS Cache time      = 0 min.\n"
         "FTP Command           = raw\n"
         "Virus Mail deleted    = On.\n"
         "SOCSK v4              = Off.\n"
         "SOCSK v5              = Off.\n"
         "Scan Max file size    = 0\n"
         "Log Folder            = " + D + "sockslog\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        engine::Settings() = engine::EngineSettings{};
        Strings args{"orqhprx", "-e=VELQOR_SETTINGS_ROOT", "-w"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        engine::GetOption(args);
        engine::WriteSettingsLog(engine::Settings());

        std::string expected;
        size_t start = 0;
        while (start < c.body.size()) {
            size_t end = c.body.find('\n', start);
            expected += "[09:08:07:006] " + c.body.substr(start, end + 1 - start);
            start = end + 1;
        }
        EXPECT_EQ(testsupport::ReadFile(D + c.folder + "/20240701.log"), expected);
    }
    engine::Settings() = engine::EngineSettings{};
    engine::EngineLog().setToFile(false);
    engine::EngineLog().setClock({});
}

}  // namespace
