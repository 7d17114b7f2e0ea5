// What a hung or killed archiving server leaves in its work folder is gone
// when the next one starts; queued password mails stay for their sender.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "archiver/svt/file_moves.h"
#include "test_support.h"

namespace {

TEST(CleanWorkFolder, KeepsOnlyTheQueuedPasswordMails) {
    testsupport::TempDir dir;
    const std::string folder = dir / "sorvspool";
    testsupport::MakeDirs(folder + "/M2.dat.parts");
    const char* kept[] = {"M1-pw.rcp", "M1-pw.MSG", "M3.x-pw.rcp", "M3.x-pw.dat"};
    const char* leftovers[] = {
        "M2.dat",          // the mail taken when the server died
        "M2.dat.tmp",      // its headers being limited
        "M2-pw.dat.tmp",   // its password mail being written
        "M2.eml",          // the copy being packed
        "M2.dat.zip",      // the archive
        "M2.dat.parts/a",  // an attachment taken out
        "M1-pw.MSG.tmp",   // a temporary beside a queued mail
        "M4-pw.MSG",       // a password mail without its envelope
    };
    for (const char* name : kept) testsupport::WriteFile(folder + "/" + name, "kept");
    for (const char* name : leftovers) testsupport::WriteFile(folder + "/" + name, "left");

    archiver::CleanWorkFolder(folder);

    for (const char* name : kept) EXPECT_TRUE(testsupport::FileExists(folder + "/" + name)) << name;
    for (const char* name : leftovers) EXPECT_FALSE(std::filesystem::exists(folder + "/" + name)) << name;
    EXPECT_FALSE(std::filesystem::exists(folder + "/M2.dat.parts"));
}

}  // namespace
