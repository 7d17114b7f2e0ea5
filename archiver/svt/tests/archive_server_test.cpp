#include <gtest/gtest.h>

#include "archiver/svt/archive_settings.h"
#include "common/secret_arguments.h"
#include "svt_fixture.h"
#include "test_support.h"

namespace {

using archiver::ArchiveSettings;

ArchiveSettings Read(std::vector<std::string> args) {
    ArchiveSettings s;
    archiver::ReadArchiveOptions(args, s);
    return s;
}

TEST(ArchiveOptions, LettersValuesAndCuts) {
    const ArchiveSettings d = Read({});
    EXPECT_EQ(d.retrySeconds, 120u);
    EXPECT_EQ(d.smtpPort, 25u);
    EXPECT_EQ(d.mailExtension, "MSG");
    EXPECT_EQ(d.archiveExtension, "ZIP");
    EXPECT_EQ(d.environmentName, "ALLUSERSPROFILE");

    const ArchiveSettings s = Read({"-@=ABCDEFGHIJKLMNOPQRST", "-Z=ABCDEFG", "-l=1", "-U=1", "-x=dat", "-c=7",
                                    "-p=2525", "-s=127.0.0.1", "-a=1", "-i=id", "-r=pw", "-f=1", "-v=1", "-k=9"});
    EXPECT_EQ(s.password, "ABCDEFGHIJKLMNO");
    EXPECT_EQ(s.archiveExtension, "ABCDE");
    EXPECT_EQ(s.level, 1);
    EXPECT_TRUE(s.perAttachment);
    EXPECT_EQ(s.mailExtension, "dat");
    EXPECT_EQ(s.retrySeconds, 7u);
    EXPECT_EQ(s.smtpPort, 2525u);
    EXPECT_EQ(s.smtpServer, "127.0.0.1");
    EXPECT_TRUE(s.esmtp);
    EXPECT_EQ(s.authId, "id");
    EXPECT_EQ(s.authPassword, "pw");
    EXPECT_EQ(s.addressFamily, 1);
    EXPECT_TRUE(s.backToSender);
    EXPECT_EQ(Read({"-l=1", "-l=2"}).level, 2);  // later arguments win
}

// The file the service writes for the passwords, read back at the place of
// its option: any text survives, and a file naming another is not followed.
TEST(ArchiveOptions, SecretArgumentsFileTakesThePlaceOfItsOption) {
    testsupport::TempDir dir;
    const std::string inner = dir / "inner";
    ASSERT_TRUE(common::WriteSecretArguments(inner, {"-r=never"}));
    const std::string file = dir / "secret";
    ASSERT_TRUE(common::WriteSecretArguments(file, {"-r=pass word\nnext", "-@=", "-y=" + inner}));
    const ArchiveSettings s = Read({"-@=before", "-y=" + file, "-i=id"});
    EXPECT_EQ(s.authPassword, "pass word\nnext");
    EXPECT_EQ(s.password, "");
    EXPECT_EQ(s.authId, "id");
    EXPECT_EQ(Read({"-y=" + file, "-r=later"}).authPassword, "later");
    EXPECT_EQ(Read({"-y=" + (dir / "missing")}).authPassword, "");
}

TEST(ArchiveOptions, LimitsEnvelopeFromAndTestMode) {
    struct Case {
        std::string arg;
        bool on;
        int count;
    };
    for (const Case& c : {Case{"-t=0,5", false, 0}, Case{"-t=1,5", true, 5}, Case{"-t=1,3", true, 3},
                          Case{"-t=1", true, 0}}) {
        const ArchiveSettings s = Read({c.arg});
        EXPECT_EQ(s.toLimit, c.on) << c.arg;
        EXPECT_EQ(s.toCount, c.count) << c.arg;
    }
    EXPECT_EQ(Read({"-q=1,2"}).ccCount, 2);
    EXPECT_TRUE(Read({"-q=1,2"}).ccLimit);

    ArchiveSettings m = Read({"-m=0,boss@example.test"});
    EXPECT_EQ(m.envelopeFromMode, 0);
    EXPECT_EQ(m.envelopeFrom, "");
    m = Read({"-m=1"});
    EXPECT_EQ(m.envelopeFromMode, 1);
    EXPECT_EQ(m.envelopeFrom, "");
    m = Read({"-m=1,boss@example.test"});
    EXPECT_EQ(m.envelopeFrom, "boss@example.test");

    EXPECT_TRUE(Read({"-d"}).testMode);
    EXPECT_TRUE(Read({"-D=0"}).testMode);
}

TEST(ArchiveServer, SecondCopyExitsAtOnce) {
    svttest::Orqsvt first({"-x=dat"});
    testsupport::Process second({testsupport::BinPath("orqsvt"), "-e=SVT_TEST_ROOT"},
                                {{{"VELQOR_PIPE_DIR", first.pipeDir()}}, "", true});
    EXPECT_EQ(second.wait(std::chrono::seconds(10)), 0);
    EXPECT_EQ(second.out(), "");
}

TEST(ArchiveServer, BannerListsTheSettings) {
    svttest::Orqsvt server({"-x=dat", "-u=1", "-s=mail.example.test", "-p=587", "-t=1,3", "-w=1"});
    const std::string log = server.log();
    EXPECT_NE(log.find("] SORVANT.EXE (2.00)\n"), std::string::npos) << log;
    EXPECT_NE(log.find("Unit to compress:              part\n"), std::string::npos);
    EXPECT_NE(log.find("SMTP Server:port:              mail.example.test:587\n"), std::string::npos);
    EXPECT_NE(log.find("'To' header limit:             yes:3\n"), std::string::npos);
    EXPECT_NE(log.find("Send password mail retry time: 120(sec)\n"), std::string::npos);
    EXPECT_NE(log.find("Make compress mail extension:  dat\n"), std::string::npos);
    EXPECT_TRUE(testsupport::FileExists(server.workFolder()));
    // With -w the same lines go to the day's file.
    auto files = testsupport::RunCommand("cat " + server.dataFolder() + "/sorvantlog/*.log");
    EXPECT_NE(files.output.find("] Unit to compress:              part\n"), std::string::npos) << files.output;
}

TEST(ArchiveServer, PlainTextMailIsAnsweredEmptyAndStaysByteIdentical) {
    svttest::Orqsvt server({"-x=dat"});
    const std::string mail =
        "From: a@example.test\r\nTo: b@example.test\r\nSubject: hi\r\nContent-Type: text/plain\r\n\r\nbody\r\n.\r\n";
    const std::string path = server.PutMail("20261211000000001.00000001", mail);
    std::string reply = "x";
    ASSERT_EQ(server.Ask(path, reply), 0);
    EXPECT_EQ(reply, "");
    EXPECT_EQ(testsupport::ReadFile(path), mail);
    EXPECT_TRUE(testsupport::FileExists(server.cacheFolder() + "/20261211000000001.00000001.$CP"));
}

TEST(ArchiveServer, RefusesPathsOutsideTheCacheFolder) {
    svttest::Orqsvt server({"-x=dat"});
    testsupport::TempDir elsewhere;
    const std::string mail = "Content-Type: application/pdf\r\n\r\nJVBERi0=\r\n.\r\n";
    const std::string outside = elsewhere / "victim.dat";
    testsupport::WriteFile(outside, mail);
    // A link in the cache folder to a file elsewhere is refused as well.
    const std::string link = server.cacheFolder() + "/link.dat";
    ASSERT_EQ(::symlink(outside.c_str(), link.c_str()), 0);
    for (const std::string& path : {outside, link, server.cacheFolder() + "/../cache/missing.dat",
                                    std::string("relative.dat"), server.cacheFolder() + "/"}) {
        std::string reply = "x";
        ASSERT_EQ(server.Ask(path, reply), 0) << path;
        EXPECT_EQ(reply, "") << path;
    }
    EXPECT_EQ(testsupport::ReadFile(outside), mail);
    struct stat info{};
    EXPECT_EQ(::stat(platform::PipeSocketPath("orqsvt").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0077, 0u) << "the pipe must be the owner's only";
}

TEST(ArchiveServer, EmptyRequestGetsNoReplyAndTheServerGoesOn) {
    svttest::Orqsvt server({"-x=dat"});
    std::string reply;
    const int error = platform::CallNamedPipe("\\\\.\\pipe\\orqsvt", std::string(521, '\0'), 521, reply,
                                              platform::kPipeWaitForever, 10000);
    EXPECT_EQ(error, 109);  // disconnected without a reply
    EXPECT_TRUE(testsupport::WaitUntil([&] { return server.log().find("ReadFile() fail. code = ") != std::string::npos; }));
    const std::string path = server.PutMail("M2", "Subject: x\r\n\r\nplain\r\n.\r\n");
    EXPECT_EQ(server.Ask(path, reply), 0);
    EXPECT_EQ(reply, "");
}

}  // namespace
