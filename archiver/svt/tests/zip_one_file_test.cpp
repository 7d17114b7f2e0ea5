#include <gtest/gtest.h>
#include <sys/stat.h>
#include <utime.h>

#include <cstdint>

#include "archiver/svt/zip_one_file.h"
#include "test_support.h"

namespace {

using testsupport::RunCommand;

uint16_t Read16(const std::string& s, size_t at) {
    return static_cast<uint16_t>(static_cast<unsigned char>(s[at]) | (static_cast<unsigned char>(s[at + 1]) << 8));
}

struct ZipFixture : ::testing::Test {
    testsupport::TempDir dir;
    std::string file = dir / "work-17.bin";
    std::string archive = dir / "out.zip";
    std::string content;
    void SetUp() override {
        for (int i = 0; i < 20000; ++i) content += "line " + std::to_string(i) + "\r\n";
        content += std::string("\0\xff\x80", 3);
        testsupport::WriteFile(file, content);
    }
};

TEST_F(ZipFixture, EncryptedEntryOpensWithUnzipAndTheRightPasswordOnly) {
    ASSERT_TRUE(archiver::ZipOneFile({file, archive, "report.pdf", std::string("pw01234")}));
    auto good = RunCommand("cd " + dir.path() + " && unzip -P pw01234 -p out.zip report.pdf > back.bin");
    ASSERT_EQ(good.exitCode, 0) << good.output;
    EXPECT_EQ(testsupport::ReadFile(dir / "back.bin"), content);
    auto bad = RunCommand("cd " + dir.path() + " && unzip -P wrong -p out.zip report.pdf");
    EXPECT_NE(bad.exitCode, 0);
    // One entry, no folder, and the traditional encryption flag (bit 0).
    const std::string zip = testsupport::ReadFile(archive);
    ASSERT_GT(zip.size(), 30u);
    EXPECT_EQ(Read16(zip, 6) & 1, 1);
    auto list = RunCommand("unzip -Z1 " + archive);
    EXPECT_EQ(list.output, "report.pdf\n");
}

TEST_F(ZipFixture, CompressedDataIsStoredAndStillOpens) {
    std::string noise;
    unsigned x = 12345;
    for (int i = 0; i < 200000; ++i) noise += static_cast<char>((x = x * 1103515245 + 12345) >> 23);
    testsupport::WriteFile(file, noise);
    ASSERT_TRUE(archiver::ZipOneFile({file, archive, "photo.jpg", std::string("pw")}));
    const std::string zip = testsupport::ReadFile(archive);
    EXPECT_EQ(Read16(zip, 8), 0) << "stored";
    auto out = RunCommand("unzip -P pw -p " + archive + " > " + dir / "back.bin");
    ASSERT_EQ(out.exitCode, 0) << out.output;
    EXPECT_EQ(testsupport::ReadFile(dir / "back.bin"), noise);
    // Text is deflated.
    testsupport::WriteFile(file, content);
    ASSERT_TRUE(archiver::ZipOneFile({file, archive, "a.txt", std::string("pw")}));
    EXPECT_EQ(Read16(testsupport::ReadFile(archive), 8), 8) << "deflated";
}

TEST_F(ZipFixture, WithoutPasswordTheEntryIsPlain) {
    ASSERT_TRUE(archiver::ZipOneFile({file, archive, "a.txt", std::nullopt}));
    const std::string zip = testsupport::ReadFile(archive);
    EXPECT_EQ(Read16(zip, 6) & 1, 0);
    auto out = RunCommand("unzip -p " + archive + " a.txt > " + dir / "plain.bin");
    ASSERT_EQ(out.exitCode, 0) << out.output;
    EXPECT_EQ(testsupport::ReadFile(dir / "plain.bin"), content);
}

TEST_F(ZipFixture, JapaneseNameStoredAsCp932WithoutTheUtf8Flag) {
    const std::string name = "\x8c\xa9\x90\xcf\x8f\x91.pdf";  // 見積書.pdf in CP932
    ASSERT_TRUE(archiver::ZipOneFile({file, archive, name, std::string("x")}));
    const std::string zip = testsupport::ReadFile(archive);
    EXPECT_EQ(Read16(zip, 6) & 0x0800, 0) << "UTF-8 flag must stay off";
    ASSERT_EQ(Read16(zip, 26), name.size());
    EXPECT_EQ(zip.substr(30, name.size()), name);
    // Readers take a name without the flag in the legacy code page.
    auto list = RunCommand("/usr/bin/python3 -c \"import zipfile,sys; "
                           "print(zipfile.ZipFile(sys.argv[1]).namelist()[0].encode('cp437').decode('cp932'))\" " +
                           archive);
    EXPECT_EQ(list.output, "見積書.pdf\n");
}

TEST_F(ZipFixture, EntryTimeIsTheFilesDosTime) {
    struct tm t{};
    t.tm_year = 2024 - 1900;
    t.tm_mon = 4;
    t.tm_mday = 17;
    t.tm_hour = 13;
    t.tm_min = 45;
    t.tm_sec = 30;
    t.tm_isdst = -1;
    const time_t when = mktime(&t);
    struct utimbuf times{when, when};
    ASSERT_EQ(utime(file.c_str(), &times), 0);
    ASSERT_TRUE(archiver::ZipOneFile({file, archive, "a.bin", std::string("x")}));
    const std::string zip = testsupport::ReadFile(archive);
    const uint16_t dosTime = Read16(zip, 10), dosDate = Read16(zip, 12);
    EXPECT_EQ(dosDate, ((2024 - 1980) << 9) | (5 << 5) | 17);
    EXPECT_EQ(dosTime, (13 << 11) | (45 << 5) | (30 / 2));
}

TEST_F(ZipFixture, StaleArchiveIsReplacedAndFailureLeavesNone) {
    testsupport::WriteFile(archive, "stale bytes that are not a zip");
    ASSERT_TRUE(archiver::ZipOneFile({file, archive, "a.bin", std::string("x")}));
    EXPECT_EQ(RunCommand("unzip -Z1 " + archive).output, "a.bin\n");

    EXPECT_FALSE(archiver::ZipOneFile({dir / "missing.bin", archive, "m.bin", std::string("x")}));
    EXPECT_FALSE(testsupport::FileExists(archive));
    EXPECT_FALSE(archiver::ZipOneFile({file, dir / "no/such/folder/out.zip", "a.bin", std::string("x")}));
}

}  // namespace
