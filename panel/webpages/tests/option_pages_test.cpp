// The option and on/off pages, their values read back by the service's
// start table, which turns them into the engine's options.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include "panel/framework/look.h"
#include "panel/framework/registry_ops.h"
#include "panel/webpages/option_pages.h"
#include "qt_test_support.h"
#include "web_page_test.h"

namespace {

using namespace panel;

class OptionPagesTest : public webtest::WebPageTest {};

TEST_F(OptionPagesTest, ValuesTypedReachTheEnginesOptions) {
    auto http = Open<CHttpSetDlg>();
    auto httpConnections = Open<Chttp10dlg>();
    auto httpIp = Open<Chttpdlg00>();
    auto httpCache = Open<Chttp01dlg>();
    auto ftp = Open<CFtpSetupDlg>();
    auto ftpPorts = Open<Cftpdlg11>();
    auto socks = Open<CSocksSetDlg>();
    auto socksVersion = Open<Csocksdlg11>();
    auto socksPorts = Open<Csocksdlg12>();

    EXPECT_FALSE(Control<QCheckBox>(http.get(), kHttpLogCheck)->isEnabled());
    Click(http.get(), kHttpOnCheck);
    EXPECT_TRUE(Control<QCheckBox>(http.get(), kHttpLogCheck)->isEnabled());
    Click(http.get(), kHttpLogCheck);
    Type(httpConnections.get(), kHttpConnectionsEdit, "250");
    Click(httpIp.get(), kIpBothRadio);  // "併用"
    Type(httpCache.get(), kHttpCacheMinutesEdit, "60");
    Click(ftp.get(), kFtpOnCheck);
    Type(ftpPorts.get(), kDataPortStartEdit, "50000");
    Type(ftpPorts.get(), kDataPortEndEdit, "50100");
    Click(socks.get(), kSocksOnCheck);
    Click(socksVersion.get(), kSocksV5OnlyRadio);  // "v5のみ"
    Type(socksPorts.get(), kDataPortStartEdit, "40000");
    Type(socksPorts.get(), kDataPortEndEdit, "40010");
    for (SettingsPage* page : std::initializer_list<SettingsPage*>{
             http.get(), httpConnections.get(), httpIp.get(), httpCache.get(), ftp.get(), ftpPorts.get(),
             socks.get(), socksVersion.get(), socksPorts.get()})
        ASSERT_TRUE(page->SaveSettings());

    auto hprx = StartArgs("orqhprx");
    for (const char* arg : {"-c=250", "-i=2", "-m=60", "-w"}) EXPECT_TRUE(Has(hprx, arg)) << arg;
    auto fprx = StartArgs("orqfprx");
    EXPECT_TRUE(Has(fprx, "-n=50000-50100"));
    EXPECT_FALSE(Has(fprx, "-w"));
    auto cprx = StartArgs("orqcprx");
    EXPECT_TRUE(Has(cprx, "-o=2"));
    EXPECT_TRUE(Has(cprx, "-n=40000-40010"));

    // A new window shows what was stored.
    auto again = Open<Csocksdlg11>();
    EXPECT_TRUE(Control<QRadioButton>(again.get(), kSocksV5OnlyRadio)->isChecked());
    auto ipAgain = Open<Chttpdlg00>();
    EXPECT_TRUE(Control<QRadioButton>(ipAgain.get(), kIpBothRadio)->isChecked());
}

TEST_F(OptionPagesTest, LogSwitchKeepsItsMarkWhileTheProxyIsOff) {
    RegWriteDword(kProductSettingsKey, "ftp", 1);
    RegWriteDword(kProductSettingsKey, "ftplog", 1);
    auto page = Open<CFtpSetupDlg>();
    EXPECT_TRUE(Control<QCheckBox>(page.get(), kFtpLogCheck)->isEnabled());
    Click(page.get(), kFtpOnCheck);
    EXPECT_FALSE(Control<QCheckBox>(page.get(), kFtpLogCheck)->isEnabled());
    EXPECT_TRUE(Control<QCheckBox>(page.get(), kFtpLogCheck)->isChecked());
    ASSERT_TRUE(page->SaveSettings());
    EXPECT_EQ(Stored("ftp"), 0u);
    EXPECT_EQ(Stored("ftplog"), 1u);
}

// The ranged fields refuse a number beyond 65535 with the framework's
// message, also the SOCKS data ports; the save stops and stores nothing of
// the page. The unranged HTTP connections take it.
TEST_F(OptionPagesTest, RangedFieldsRefuseNumbersBeyond65535) {
    RegWriteDword(kProductSettingsKey, "ftpmaxconn", 10);
    RegWriteDword(kProductSettingsKey, "socksportstartrenge", 1000);
    auto ftp = Open<Cftpdlg00>();
    auto socks = Open<Csocksdlg12>();
    auto http = Open<Chttp10dlg>();
    paneltest::BoxAnswerer boxes;
    Type(ftp.get(), kFtpConnectionsEdit, "70000");
    EXPECT_FALSE(ftp->SaveSettings());
    Type(socks.get(), kDataPortStartEdit, "70000");
    EXPECT_FALSE(socks->SaveSettings());
    Type(socks.get(), kDataPortStartEdit, "2000");
    Type(socks.get(), kDataPortEndEdit, "70000");
    EXPECT_FALSE(socks->SaveSettings());
    Type(http.get(), kHttpConnectionsEdit, "70000");
    EXPECT_TRUE(http->SaveSettings());
    Type(ftp.get(), kFtpConnectionsEdit, "many");
    EXPECT_FALSE(ftp->SaveSettings());
    EXPECT_EQ(boxes.texts, (std::vector<std::string>{"0 から 65535 までの整数を入力してください。",
                                                     "0 から 65535 までの整数を入力してください。",
                                                     "0 から 65535 までの整数を入力してください。",
                                                     "整数を入力してください。"}));
    EXPECT_EQ(Stored("ftpmaxconn"), 10u);
    EXPECT_EQ(Stored("socksportstartrenge"), 1000u);
    EXPECT_EQ(Stored("httpmaxconn"), 70000u);
}

// A stored choice outside its radio group shows no button and is kept by a
// save, unless a button is chosen.
TEST_F(OptionPagesTest, StoredChoiceOutsideTheRadioGroupIsKept) {
    RegWriteDword(kProductSettingsKey, "sockstype", 7);
    RegWriteDword(kProductSettingsKey, "ftpipverstion", 9);
    auto socks = Open<Csocksdlg11>();
    auto ftp = Open<Cftpdlg10>();
    for (int id : {kSocksBothRadio, kSocksV4OnlyRadio, kSocksV5OnlyRadio})
        EXPECT_FALSE(Control<QRadioButton>(socks.get(), id)->isChecked());
    ASSERT_TRUE(socks->SaveSettings());
    EXPECT_EQ(Stored("sockstype"), 7u);
    Click(ftp.get(), kIpv4OnlyRadio);
    ASSERT_TRUE(ftp->SaveSettings());
    EXPECT_EQ(Stored("ftpipverstion"), 0u);
}

TEST_F(OptionPagesTest, ListButtonsOpenTheirFilesAndTheVirusPageNeedsTheScanServer) {
    std::string editor = Recorder("editor", dir_.path());
    ::setenv("VELQOR_EDITOR", editor.c_str(), 1);
    auto blockPages = Open<Chttpdlg02>();
    EXPECT_TRUE(Control<QPushButton>(blockPages.get(), kFoundVirusPageButton)->isHidden());
    testsupport::WriteFile(programFolder() + "/orqavs", "");
    auto withScanner = Open<Chttpdlg02>();
    EXPECT_FALSE(Control<QPushButton>(withScanner.get(), kFoundVirusPageButton)->isHidden());

    auto socksLists = Open<Csocksdlg1>();
    Click(socksLists.get(), kSocksProtocolsButton);
    EXPECT_EQ(RecordedArguments(editor), std::vector<std::string>{dataFolder() + "socks-ptl.ini"});
    EXPECT_TRUE(testsupport::FileExists(dataFolder() + "socks-ptl.ini"));
    ::unsetenv("VELQOR_EDITOR");
}

}  // namespace
