#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "registry_seed.h"
#include "service/child_control.h"
#include "service/child_start_table.h"
#include "service/event_source.h"
#include "service/product_settings.h"
#include "service/run_service.h"
#include "service/service_context.h"
#include "service/service_entry.h"
#include "service/version_banner.h"
#include "test_support.h"

namespace fs = std::filesystem;
using servicetest::Seed;
using testsupport::TempDir;

namespace {

class ProductSettingsTest : public ::testing::Test {
protected:
    void SetUp() override { ::setenv("VELQOR_REGISTRY_DIR", registry.path().c_str(), 1); }
    TempDir registry;
};

constexpr const char* kKey = service::kProductSettingsKey;

}  // namespace

TEST_F(ProductSettingsTest, ProductValuesFallBackToTheirDefaults) {
    EXPECT_EQ(service::ReadProductDword(kKey, "http", 7), 7u);
    EXPECT_EQ(service::ReadProductString(kKey, "spamtag", "[SPAM]", 261), "[SPAM]");
    EXPECT_EQ(service::WriteProductDword(kKey, "", 1), platform::kErrorFileNotFound);

    Seed({{"short", std::string("ab")}, {"long", std::string("abcd")}, {"text", std::string("abcdef")},
          {"number", 0x01020304u}});
    // Four raw bytes whatever the stored type: a short text overlays the
    // default's first bytes, a longer one gives the default.
    EXPECT_EQ(service::ReadProductDword(kKey, "short", 0x11223344), 0x11006261u);
    EXPECT_EQ(service::ReadProductDword(kKey, "long", 0x11223344), 0x11223344u);
    EXPECT_EQ(service::ReadProductDword(kKey, "NUMBER", 0), 0x01020304u);
    EXPECT_EQ(service::ReadProductString(kKey, "text", "dflt", 7), "abcdef");
    EXPECT_EQ(service::ReadProductString(kKey, "text", "dflt", 6), "dflt");
    EXPECT_EQ(service::ReadProductString(kKey, "missing", "a default too long", 8), "a defau");

    EXPECT_EQ(service::ReadProductDword(kKey, "", 0), 0u);
    EXPECT_EQ(service::WriteProductDword(kKey, "", 1), 0);
    EXPECT_EQ(service::ReadProductDword(kKey, "", 0), 1u);
}

TEST_F(ProductSettingsTest, UpdaterArgumentsFollowTheProxyAndLogSwitches) {
    TempDir root;
    std::string dataRoot = root / "data root";
    ::setenv("VELQOR_TEST_ROOT", dataRoot.c_str(), 1);
    service::Settings().dataRootVariable = "VELQOR_TEST_ROOT";
    struct Case {
        servicetest::Settings settings;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {{}, {"-m=0"}},
        {{{"UpdateDB", 3u}, {"ProxyServerName", std::string("proxy.lan")}}, {"-m=3"}},
        {{{"ProxyServerUsed", 1u}}, {"-m=0", "-x=:8080"}},
        {{{"ProxyServerUsed", 1u}, {"ProxyServerName", std::string("proxy.lan")}, {"ProxyServerPort", 3128u},
          {"LogEnabled", 1u}},
         {"-m=0", "-x=proxy.lan:3128", "-l=" + dataRoot + "/VELQOR/updatelog/velqors.log"}},
    };
    for (const auto& c : cases) {
        TempDir fresh;
        ::setenv("VELQOR_REGISTRY_DIR", fresh.path().c_str(), 1);
        Seed(c.settings);
        EXPECT_EQ(service::UpdaterArguments(), c.expected);
    }
}

TEST(RunServiceTest, UpdateIntervalNeverSpinsAndHoldsLongTimeouts) {
    using std::chrono::hours;
    EXPECT_EQ(service::UpdateInterval(0), hours(24));
    EXPECT_EQ(service::UpdateInterval(-3), hours(24));
    EXPECT_EQ(service::UpdateInterval(1), hours(1));
    // Beyond the 32-bit millisecond range (about 1193 hours).
    EXPECT_EQ(service::UpdateInterval(2000).count(), 7'200'000'000LL);
    // Beyond what a deadline on the clock can hold (2,562,048 hours in
    // nanoseconds): a hundred years, which no run waits out.
    EXPECT_EQ(service::UpdateInterval(876'000), hours(876'000));
    EXPECT_EQ(service::UpdateInterval(2'562'048), hours(876'000));
    EXPECT_EQ(service::UpdateInterval(INT32_MAX), hours(876'000));
}

TEST(RunServiceTest, InstallFolderIsTheImagePathUpToItsLastSlash) {
    const std::pair<const char*, const char*> cases[] = {
        {"/opt/velqor/bin/velqors", "/opt/velqor/bin"}, {"/velqors", ""}, {"velqors", ""}, {"", ""}};
    for (const auto& [image, folder] : cases) EXPECT_EQ(service::InstallFolderOf(image), folder) << image;
}

TEST(RunServiceTest, CacheCleanOutDeletesFilesAndKeepsFolders) {
    TempDir root;
    ::setenv("VELQOR_TEST_ROOT", root.path().c_str(), 1);
    service::Settings().dataRootVariable = "VELQOR_TEST_ROOT";
    std::string cache = root / "VELQOR/cache";
    fs::create_directories(cache + "/httpcache");
    testsupport::WriteFile(cache + "/req-0-0005.dat", "x");
    testsupport::WriteFile(cache + "/httpcache/entry", "x");
    fs::create_symlink(cache + "/httpcache", cache + "/link");
    service::CleanCacheFolder();
    EXPECT_FALSE(fs::exists(cache + "/req-0-0005.dat"));
    EXPECT_FALSE(fs::is_symlink(cache + "/link"));
    EXPECT_TRUE(fs::exists(cache + "/httpcache/entry"));
}

TEST(VersionBannerTest, DateIsLocalStandardTimeWithTheStandardOffset) {
    const std::time_t november1994 = 784111777;  // Sun, 06 Nov 1994 08:49:37 UTC
    const std::time_t july1995 = 805000000;      // Thu, 06 Jul 1995 03:06:40 UTC
    struct Case { const char* tz; std::time_t when; const char* text; };
    const Case cases[] = {
        {"UTC0", november1994, "Sun, 06 Nov 1994 08:49:37 GMT"},
        {"JST-9", november1994, "Sun, 06 Nov 1994 17:49:37 +0900"},
        {"EST5", november1994, "Sun, 06 Nov 1994 03:49:37 -0500"},
        {"IST-5:30", november1994, "Sun, 06 Nov 1994 14:19:37 +0530"},
        {"CET-1CEST,M3.5.0,M10.5.0/3", july1995, "Thu, 06 Jul 1995 04:06:40 +0100"},
    };
    const char* saved = std::getenv("TZ");
    std::string savedTz = saved ? saved : "";
    for (const auto& c : cases) {
        ::setenv("TZ", c.tz, 1);
        EXPECT_EQ(service::FormatRfc822Date(c.when), c.text) << c.tz;
    }
    if (saved) ::setenv("TZ", savedTz.c_str(), 1); else ::unsetenv("TZ");
    tzset();
}

TEST(EventSourceTest, MessageFileAndErrorTexts) {
    EXPECT_EQ(service::EventMessageFilePath("/opt/velqor/bin/velqors"), "/opt/velqor/bin/velqors.dll");
    EXPECT_EQ(service::EventMessageFilePath("/opt/velqor.2/bin/velqors"), "/opt/velqor.2/bin/velqors.dll");
    EXPECT_EQ(service::EventMessageFilePath("/opt/bin/velqors.exe"), "/opt/bin/velqors.dll");
    EXPECT_EQ(service::LastErrorText(1073), "The specified service already exists. (0x431)");
}
