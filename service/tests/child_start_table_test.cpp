#include "service/child_start_table.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "registry_seed.h"
#include "test_support.h"

using servicetest::Seed;
using servicetest::Settings;
using service::ChildStart;

namespace {

// One step as a line: the program and each argument in brackets, or the
// skip line, or the cache clean-out; the scan server is marked with "*".
// The option naming the file of secret arguments shows what the file gets,
// in braces.
std::string Render(const ChildStart& step) {
    switch (step.kind) {
    case ChildStart::Kind::Skip: return step.logLine.substr(0, step.logLine.size() - 1);
    case ChildStart::Kind::CleanCache: return "(clean cache)";
    default: break;
    }
    std::string line = step.program + (step.kind == ChildStart::Kind::ScanServer ? "*" : "");
    for (const auto& a : step.args) {
        if (step.secretFile.empty() || a != "-y=" + step.secretFile) {
            line += " [" + a + "]";
            continue;
        }
        line += " [-y=FILE";
        for (const auto& secret : step.secretArgs) line += " {" + secret + "}";
        line += "]";
    }
    return line;
}

std::vector<std::string> Render(const std::vector<ChildStart>& table) {
    std::vector<std::string> lines;
    for (const auto& s : table) lines.push_back(Render(s));
    return lines;
}

const ChildStart* Find(const std::vector<ChildStart>& table, const std::string& program) {
    for (const auto& s : table)
        if (s.program == program) return &s;
    return nullptr;
}

class ChildStartTableTest : public ::testing::Test {
protected:
    void SetUp() override { ::setenv("VELQOR_REGISTRY_DIR", registry.path().c_str(), 1); }
    std::vector<ChildStart> Build(const Settings& settings, bool enginePresent, bool debug = false,
                                  const std::string& variable = "ALLUSERSPROFILE") {
        testsupport::TempDir fresh;
        ::setenv("VELQOR_REGISTRY_DIR", fresh.path().c_str(), 1);
        Seed(settings);
        return service::BuildChildStartTable({variable, debug, enginePresent});
    }
    testsupport::TempDir registry;
};

const char* const kArchiverDefaults =
    "orqsvt [-e=ALLUSERSPROFILE] [-z=ZIP] [-s=] [-p=25] [-a=0] [-i=] [-y=FILE {-r=} {-@=}] [-w=0] [-f=0] [-c=120] [-u=1] [-m=0] "
    "[-v=0] [-t=0,0] [-q=0,0] [-x=dat] [-l=0]";

}  // namespace

TEST_F(ChildStartTableTest, DefaultsStartTheSpamArchivingAndWatcherProgramsOnly) {
    struct Case {
        const char* what;
        Settings settings;
        bool enginePresent;
        std::vector<std::string> expected;
    };
    const std::vector<std::string> noProxies{"skip http proxy", "skip smtp proxy", "skip pop3 proxy",
                                             "skip ftp proxy", "skip socks proxy"};
    auto with = [&](std::vector<std::string> head) {
        head.insert(head.end(), noProxies.begin(), noProxies.end());
        return head;
    };
    const Case cases[] = {
        {"empty key, scan server installed", {}, true,
         with({"orqspam [-t=[SPAM]] [-e=ALLUSERSPROFILE]", kArchiverDefaults, "(clean cache)",
               "orqmemo [-t=30] [-e=ALLUSERSPROFILE]", "orqfile [-d=/] [-e=ALLUSERSPROFILE]"})},
        {"no scan server: no engine and no watchers whatever the switches",
         {{"scanmode", 1u}, {"process", 1u}, {"folder", 1u}, {"spamcheck", 0u}}, false,
         with({kArchiverDefaults, "(clean cache)", "skip memory", "skip folder"})},
        {"watchers switched off", {{"process", 0u}, {"folder", 0u}, {"spamcheck", 0u}}, true,
         with({kArchiverDefaults, "(clean cache)", "skip memory", "skip folder"})},
    };
    for (const auto& c : cases) EXPECT_EQ(Render(Build(c.settings, c.enginePresent)), c.expected) << c.what;
}

TEST_F(ChildStartTableTest, EveryProxyWithDefaultValuesInDebugMode) {
    auto table = Build({{"scanmode", 1u}, {"http", 1u}, {"smtp", 1u}, {"pop3", 1u}, {"ftp", 1u}, {"socks", 1u}},
                       true, true, "VELQOR_ROOT");
    const std::vector<std::string> expected{
        "orqavs* [-e=VELQOR_ROOT] [-w]",
        "orqspam [-t=[SPAM]] [-e=VELQOR_ROOT]",
        "orqsvt [-e=VELQOR_ROOT] [-z=ZIP] [-s=] [-p=25] [-a=0] [-i=] [-y=FILE {-r=} {-@=}] [-w=0] [-f=0] [-c=120] [-u=1] [-m=0] "
        "[-v=0] [-t=0,0] [-q=0,0] [-x=dat] [-l=0]",
        "(clean cache)",
        "orqmemo [-t=30] [-e=VELQOR_ROOT]",
        "orqfile [-d=/] [-e=VELQOR_ROOT]",
        "orqhprx [-v] [-e=VELQOR_ROOT] [-p=0] [-f] [-a=0] [-c=0] [-i=0] [-t=30000,30000,30000,30000] [-n=0-0] [-m=0] "
        "[-k=0] [-u=14] [-g=0] [-$=10] [-!=1]",
        "orqcwfs [-m=300] [-c=shift_jis] [-e=VELQOR_ROOT] [-s=]",
        "orqsprx [-v] [-e=VELQOR_ROOT] [-p=1] [-f] [-c=0] [-i=0] [-j=0] [-t=30000,30000,30000,30000] [-k=0] [-u=1] "
        "[-$=10]",
        "orqpprx [-v] [-e=VELQOR_ROOT] [-p=2] [-f] [-c=0] [-i=0] [-t=30000,30000,30000,30000] [-d=0] [-k=0] [-$=10]",
        "orqfprx [-v] [-e=VELQOR_ROOT] [-p=4] [-f] [-c=0] [-i=0] [-t=30000,30000,30000,30000] [-n=0-0] [-m=0] [-q=0] "
        "[-k=0] [-$=10]",
        "orqcprx [-v] [-e=VELQOR_ROOT] [-p=5] [-f] [-a=0] [-o=0] [-c=0] [-i=0] [-t=60000,60000,60000,60000] [-n=0-0] "
        "[-m=0] [-q=0] [-k=0] [-u=14] [-$=10]",
    };
    EXPECT_EQ(Render(table), expected);

    // One second before each start, except the archiving server and the
    // content filter, which follow at once.
    std::string pauses, logLines;
    for (const auto& s : table) {
        pauses += s.pause ? "P" : "-";
        logLines += s.logLine;
    }
    EXPECT_EQ(pauses, "PP--PPP-PPPP");
    EXPECT_EQ(logLines,
              "start engine.\nstart SPAM engine.\nstart SORVSPOOL engine.\nstart memory\nstart folder\n"
              "start http proxy\nstart contents filter engine.\nstart smtp proxy\nstart pop3 proxy\n"
              "start ftp proxy\nstart socks proxy\n");
    EXPECT_EQ(Find(table, "orqspam")->afterLine, "SPAM Option=none\n");
}

TEST_F(ChildStartTableTest, EverySetValueReachesItsArgumentWhole) {
    auto table = Build(
        {
            {"spamtag", std::string("[SPAM mail]")}, {"spamenglog", 1u}, {"spamspf1", 1u}, {"spamdate", 1u},
            {"TQXEtend", std::string("LZH")}, {"TQXSmtp", std::string("mail.example")}, {"TQXSmtpPort", 587u},
            {"TQXESmtp", 1u}, {"TQXSmtpAuthID", std::string("user")}, {"TQXSmtpAuthPW", std::string("pass word")},
            {"TQXUniqPW", std::string("secret")}, {"TQXLog", 1u}, {"TQXIPversion", 2u}, {"TQXRetryTime", 60u},
            {"TQXUnitZIP", 0u}, {"TQXEnvFromType", 1u}, {"TQXEnvFromAddr", std::string("from@example.com")},
            {"TQXEnvTo", 1u}, {"TQXToHead", 1u}, {"TQXToHeadCount", 5u}, {"TQXCcHead", 1u}, {"TQXCcHeadCount", 3u},
            {"TQXLevel", 9u},
            {"processtime", std::string("15")}, {"processlog", 1u},
            {"drivepath", std::string("/srv/share one;/home")}, {"folderlog", 1u},
            {"http", 1u}, {"httpproxyauthtype", 1u}, {"httpmaxconn", 100u}, {"httpipverstion", 2u},
            {"httpcltime", 1000u}, {"httpsvtime", 2000u}, {"httpsslcltime", 3000u}, {"httpsslsvtime", 4000u},
            {"ftpportstartrenge", 50000u}, {"ftpportendrenge", 50100u}, {"httpcacheexpire", 60u},
            {"scanmaxsizehigh", 1u}, {"scanmaxsizelow", 5u}, {"httpaddheader", 15u}, {"httpncsalog", 1u},
            {"httpconrtynum", 3u}, {"httpkeepalive", 1u}, {"httplog", 1u},
            {"cwfshtmlbuffer", 500u}, {"cwfshtmlcharset", std::string("euc-jp")}, {"cwflog", 1u},
            {"pics_use", 1u}, {"pics_nude", 1u}, {"pics_sex", 2u}, {"cwfsproxy", std::string("127.0.0.1:3128")},
            {"smtp", 1u}, {"smtpmaxconn", 10u}, {"smtpipverstion", 1u}, {"smtpmailbackup", 1u},
            {"smtpbackupfolder", std::string("/var/backup/mail box")}, {"smtpspamreject", 1u},
            {"smtpsslsvtime", 70000u}, {"smtpaddheader", 0u}, {"smtpconrtynum", 5u}, {"smtplog", 1u},
            {"pop3", 1u}, {"pop3maxconn", 0xFFFFFFFFu}, {"pop3virusbody", 1u}, {"pop3log", 1u},
            {"ftp", 1u}, {"ftpcacheexpire", 30u}, {"ftpcmdconvert", 1u}, {"ftpconrtynum", 7u}, {"ftplog", 1u},
            {"socks", 1u}, {"socksproxyauth", 0u}, {"socksproxyauthtype", 1u}, {"sockstype", 2u},
            {"socksportstartrenge", 40000u}, {"socksportendrenge", 40010u}, {"sockscacheexpire", 5u},
            {"socksftpcmdconvert", 1u}, {"socksconrtynum", 2u}, {"sockslog", 1u},
        },
        true, false, "R");
    const std::vector<std::string> expected{
        "orqspam [-t=[SPAM mail]] [-e=R] [-w] [-s] [-d]",
        "orqsvt [-e=R] [-z=LZH] [-s=mail.example] [-p=587] [-a=1] [-i=user] [-y=FILE {-r=pass word} {-@=secret}] [-w=1] [-f=2] "
        "[-c=60] [-u=0] [-m=1,from@example.com] [-v=1] [-t=1,5] [-q=1,3] [-x=dat] [-l=9]",
        "(clean cache)",
        "orqmemo [-t=15] [-e=R] [-w]",
        "orqfile [-d=/srv/share one;/home] [-e=R] [-w]",
        "orqhprx [-e=R] [-p=0] [-f] [-a=1] [-c=100] [-i=2] [-t=1000,2000,3000,4000] [-n=50000-50100] [-m=60] "
        "[-k=4294967301] [-u=15] [-g=1] [-$=3] [-!=0] [-w]",
        "orqcwfs [-m=500] [-c=euc-jp] [-e=R] [-w] [-l=1,2,4,4,3,2] [-s=127.0.0.1:3128]",
        "orqsprx [-e=R] [-p=1] [-f] [-c=10] [-i=1] [-b=/var/backup/mail box] [-j=1] [-t=30000,30000,30000,70000] "
        "[-k=4294967301] [-u=0] [-$=5] [-w]",
        "orqpprx [-e=R] [-p=2] [-f] [-c=-1] [-i=0] [-t=30000,30000,30000,30000] [-d=1] [-k=4294967301] [-$=10] [-w]",
        "orqfprx [-e=R] [-p=4] [-f] [-c=0] [-i=0] [-t=30000,30000,30000,30000] [-n=50000-50100] [-m=30] [-q=1] "
        "[-k=4294967301] [-$=7] [-w]",
        "orqcprx [-e=R] [-p=5] [-f] [-o=2] [-c=0] [-i=0] [-t=60000,60000,60000,60000] [-n=40000-40010] [-m=5] [-q=1] "
        "[-k=4294967301] [-u=15] [-$=2] [-w]",
    };
    EXPECT_EQ(Render(table), expected);
    EXPECT_EQ(Find(table, "orqspam")->afterLine, "SPAM Option=log,spf1,date\n");
}

TEST_F(ChildStartTableTest, SwitchesThatShapeSingleArguments) {
    struct Case {
        const char* what;
        Settings settings;
        const char* program;
        const char* argument;  // expected among the program's arguments
    };
    const Case cases[] = {
        {"keep-alive 0 turns it off", {{"http", 1u}, {"httpkeepalive", 0u}}, "orqhprx", "-!=1"},
        {"any other keep-alive keeps it on", {{"http", 1u}, {"httpkeepalive", 7u}}, "orqhprx", "-!=0"},
        {"64-bit scan limit", {{"http", 1u}, {"scanmaxsizehigh", 1u}, {"scanmaxsizelow", 0u}}, "orqhprx",
         "-k=4294967296"},
        {"sender type 0 ignores the address", {{"TQXEnvFromType", 0u}, {"TQXEnvFromAddr", std::string("a@b")}},
         "orqsvt", "-m=0"},
        {"sender type 2 with its address", {{"TQXEnvFromType", 2u}, {"TQXEnvFromAddr", std::string("a@b")}}, "orqsvt",
         "-m=2,a@b"},
        {"To head off hides its count", {{"TQXToHead", 0u}, {"TQXToHeadCount", 9u}}, "orqsvt", "-t=0,0"},
        {"unsigned port", {{"TQXSmtpPort", 0xFFFFFFFFu}}, "orqsvt", "-p=4294967295"},
    };
    for (const auto& c : cases) {
        auto table = Build(c.settings, false);
        const ChildStart* step = Find(table, c.program);
        ASSERT_NE(step, nullptr) << c.what;
        EXPECT_NE(std::find(step->args.begin(), step->args.end(), c.argument), step->args.end())
            << c.what << ": " << Render(*step);
    }

    const std::pair<Settings, const char*> spamLines[] = {
        {{{"spamspf1", 1u}}, "SPAM Option=spf1\n"},
        {{{"spamenglog", 1u}, {"spamdate", 1u}}, "SPAM Option=log,date\n"},
        {{{"spamspf1", 1u}, {"spamdate", 1u}}, "SPAM Option=spf1,date\n"},
    };
    for (const auto& [settings, line] : spamLines) EXPECT_EQ(Find(Build(settings, false), "orqspam")->afterLine, line);
}
