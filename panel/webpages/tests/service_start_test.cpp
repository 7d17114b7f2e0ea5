// The option pages' values as the service passes them on: velqors -debug
// with stand-in children in a temporary install folder records the
// arguments each engine and the content filter are started with.
#include <gtest/gtest.h>
#include <signal.h>

#include <QAbstractButton>
#include <QComboBox>
#include <QLineEdit>
#include <filesystem>
#include <sstream>

#include "panel/framework/look.h"
#include "panel/framework/registry_ops.h"
#include "panel/webpages/http_detail_page.h"
#include "panel/webpages/option_pages.h"
#include "platform/process/process.h"
#include "service/child_control.h"
#include "service/service_names.h"
#include "web_page_test.h"

namespace {

using namespace panel;
namespace fs = std::filesystem;

class ServiceStartTest : public webtest::WebPageTest {
protected:
    void SetUp() override {
        WebPageTest::SetUp();
        testsupport::MakeDirs(install);
    }
    void TearDown() override {
        for (const auto& name : service::KillList(true))
            for (pid_t pid : platform::FindProcesses(name, install)) platform::TerminateProcess(pid, true);
    }
    // The arguments a child was started with, TAB-separated; empty when it
    // was not started.
    std::string Started(const std::string& name) {
        std::istringstream in(testsupport::FileExists(record) ? testsupport::ReadFile(record) : "");
        for (std::string line; std::getline(in, line);)
            if (line.rfind(name + "\t", 0) == 0) return line.substr(name.size());
        return {};
    }
    const std::string install = dir_ / "install";
    const std::string record = dir_ / "record.log";
};

TEST_F(ServiceStartTest, VelqorsStartsTheEnginesWithTheOptionsThePagesSaved) {
    const std::string stub = std::string(VELQOR_TEST_BIN_DIR) + "/velqors-child-stub";
    for (const char* name : {"orqhprx", "orqfprx", "orqcprx", "orqcwfs", "orqsvt", "orqspam", "orqsprx", "orqpprx"})
        fs::copy_file(stub, install + "/" + name);
    RegEnsureKey(RegRoot::LocalMachine, service::kServiceKey);
    ASSERT_EQ(RegWriteString(service::kServiceKey, "ImagePath", install + "/velqors"), 0);

    auto http = Open<CHttpSetDlg>();
    auto connections = Open<Chttp10dlg>();
    auto ipVersion = Open<Chttpdlg00>();
    auto cache = Open<Chttp01dlg>();
    auto detail = Open<Chttpdlg>();
    auto ftp = Open<CFtpSetupDlg>();
    auto ports = Open<Cftpdlg11>();
    auto socks = Open<CSocksSetDlg>();
    auto socksVersion = Open<Csocksdlg11>();
    Click(http.get(), kHttpOnCheck);
    Click(http.get(), kHttpLogCheck);
    Type(connections.get(), kHttpConnectionsEdit, "250");
    Click(ipVersion.get(), kIpBothRadio);  // "併用"
    Type(cache.get(), kHttpCacheMinutesEdit, "60");
    Click(detail.get(), kPicsLabelCheck);
    auto* preset = Control<QComboBox>(detail.get(), kRatingPresetCombo);
    preset->setCurrentIndex(preset->findText(QString::fromUtf8("簡易制限（中学生以下）")));
    emit preset->activated(preset->currentIndex());
    Click(ftp.get(), kFtpOnCheck);
    Type(ports.get(), kDataPortStartEdit, "50000");
    Type(ports.get(), kDataPortEndEdit, "50100");
    Click(socks.get(), kSocksOnCheck);
    Click(socksVersion.get(), kSocksV5OnlyRadio);  // "v5のみ"
    for (SettingsPage* page : std::initializer_list<SettingsPage*>{http.get(), detail.get(), connections.get(),
                                                                    ipVersion.get(), cache.get(), ftp.get(),
                                                                    ports.get(), socks.get(), socksVersion.get()})
        ASSERT_TRUE(page->SaveSettings());

    testsupport::Process::Options options;
    options.env = {{"ALLUSERSPROFILE", dataRoot()}, {"VELQOR_STUB_RECORD", record}, {"NOTIFY_SOCKET", ""},
                   {"INVOCATION_ID", ""}, {"VELQOR_TMPFILES_DIR", dir_ / "tmpfiles"}};
    options.cwd = dir_.path();
    testsupport::Process velqors({testsupport::BinPath("velqors"), "-debug"}, options);
    ASSERT_TRUE(testsupport::WaitUntil([&] { return !Started("orqcprx").empty(); }, std::chrono::seconds(60)))
        << velqors.out();
    velqors.terminate(SIGINT);
    velqors.wait(std::chrono::seconds(30));

    auto has = [&](const std::string& name, const std::string& arg) {
        std::string args = Started(name) + "\t";
        return args.find("\t" + arg + "\t") != std::string::npos;
    };
    for (const char* arg : {"-c=250", "-i=2", "-m=60", "-w"}) EXPECT_TRUE(has("orqhprx", arg)) << arg << Started("orqhprx");
    EXPECT_TRUE(has("orqfprx", "-n=50000-50100")) << Started("orqfprx");
    EXPECT_TRUE(has("orqcprx", "-o=2")) << Started("orqcprx");
    EXPECT_TRUE(has("orqcwfs", "-l=0,0,0,0,0,1")) << Started("orqcwfs");
}

}  // namespace
