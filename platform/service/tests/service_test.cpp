#include "platform/service/service.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "platform/registry/registry.h"
#include "platform/win32_errors.h"
#include "test_support.h"

namespace fs = std::filesystem;
using testsupport::ReadFile;
using testsupport::TempDir;

namespace {

class ServiceInstallTest : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(units / "");
        ::setenv("VELQOR_SYSTEMD_DIR", units.path().c_str(), 1);
        ::setenv("VELQOR_SYSTEMCTL", testsupport::SourcePath("platform/service/tests/fake-systemctl").c_str(), 1);
        ::setenv("FAKE_SYSTEMCTL_DIR", tools.path().c_str(), 1);
        ::setenv("VELQOR_REGISTRY_DIR", registry.path().c_str(), 1);
    }
    std::string ImagePath() {
        platform::HKEY key = nullptr;
        if (platform::RegOpenKeyExA(platform::HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services\\VELQORSV2", 0,
                                    platform::KEY_READ, &key) != 0)
            return "<no key>";
        std::string path;
        platform::LONG rc = platform::RegQueryValueUtf8(key, "ImagePath", 512, &path);
        platform::RegCloseKey(key);
        return rc == 0 ? path : "<no value>";
    }
    TempDir units, tools, registry;
    platform::ServiceDefinition definition{
        "VELQORSV2", "Tavrisk VELQOR Server V2 Service", "/opt/velqor 2/bin/velqors",
        {{"ALLUSERSPROFILE", "/var/lib/100%"}},
        ""};
};

}  // namespace

TEST_F(ServiceInstallTest, InstallWritesADemandStartUnitAndTheImagePathRemoveUndoesIt) {
    ASSERT_EQ(platform::OpenServiceManager(), 0);
    ASSERT_EQ(platform::CreateService(definition), 0);
    EXPECT_EQ(platform::ServiceUnitPath("VELQORSV2"), units / "velqorsv2.service");
    EXPECT_EQ(ReadFile(units / "velqorsv2.service"),
              "[Unit]\nDescription=Tavrisk VELQOR Server V2 Service\n"
              "Wants=network-online.target\nAfter=network-online.target\n\n[Service]\nType=notify\n"
              "ExecStart=\"/opt/velqor 2/bin/velqors\"\nEnvironment=\"ALLUSERSPROFILE=/var/lib/100%%\"\n"
              "KillMode=mixed\nNoNewPrivileges=yes\nProtectSystem=full\nPrivateTmp=yes\n"
              "RestrictAddressFamilies=AF_UNIX AF_INET AF_INET6 AF_NETLINK\n\n[Install]\nWantedBy=multi-user.target\n");
    EXPECT_EQ(ImagePath(), "/opt/velqor 2/bin/velqors");
    EXPECT_EQ(platform::CreateService(definition), platform::kErrorServiceExists);

    EXPECT_EQ(platform::OpenService("VELQORSV2"), 0);
    EXPECT_EQ(platform::ControlServiceStop("VELQORSV2"), platform::kErrorServiceNotActive);
    ASSERT_EQ(platform::DeleteService("VELQORSV2"), 0);
    EXPECT_FALSE(fs::exists(units / "velqorsv2.service"));
    EXPECT_EQ(ImagePath(), "<no key>");
    EXPECT_EQ(platform::DeleteService("VELQORSV2"), platform::kErrorServiceDoesNotExist);
    EXPECT_EQ(platform::OpenService("VELQORSV2"), platform::kErrorServiceDoesNotExist);
    // Enabling is the administrator's choice: nothing but reloads and a state look.
    EXPECT_EQ(ReadFile(tools / "systemctl.log"),
              "daemon-reload\nis-active velqorsv2.service\ndaemon-reload\n");
}

TEST_F(ServiceInstallTest, AnImagePathInJapaneseLettersReadsBackAsItWas) {
    definition.binaryPath = "/opt/テスト/bin/velqors";
    ASSERT_EQ(platform::CreateService(definition), 0);
    EXPECT_EQ(ImagePath(), "/opt/テスト/bin/velqors");
    EXPECT_NE(ReadFile(units / "velqorsv2.service").find("ExecStart=\"/opt/テスト/bin/velqors\"\n"), std::string::npos);
}

TEST_F(ServiceInstallTest, StopsARunningServiceAndReportsItsStates) {
    ASSERT_EQ(platform::CreateService(definition), 0);
    testsupport::WriteFile(tools / "state", "active\n");
    uint32_t state = 0;
    ASSERT_EQ(platform::QueryServiceState("VELQORSV2", &state), 0);
    EXPECT_EQ(state, platform::kServiceRunning);
    EXPECT_EQ(platform::ControlServiceStop("VELQORSV2"), 0);
    ASSERT_EQ(platform::QueryServiceState("VELQORSV2", &state), 0);
    EXPECT_EQ(state, platform::kServiceStopPending);
    ASSERT_EQ(platform::QueryServiceState("VELQORSV2", &state), 0);
    EXPECT_EQ(state, platform::kServiceStopped);
    EXPECT_NE(ReadFile(tools / "systemctl.log").find("stop --no-block velqorsv2.service\n"), std::string::npos);
}

TEST_F(ServiceInstallTest, StartAndEnableAskSystemdWithoutWaitingAndNeedTheUnit) {
    EXPECT_EQ(platform::StartService("VELQORSV2"), platform::kErrorServiceDoesNotExist);
    EXPECT_EQ(platform::EnableService("VELQORSV2"), platform::kErrorServiceDoesNotExist);
    definition.umask = "0007";
    ASSERT_EQ(platform::CreateService(definition), 0);
    EXPECT_NE(ReadFile(units / "velqorsv2.service").find("\nUMask=0007\nKillMode=mixed\n"), std::string::npos);
    EXPECT_EQ(platform::StartService("VELQORSV2"), 0);
    EXPECT_EQ(platform::EnableService("VELQORSV2"), 0);
    EXPECT_EQ(ReadFile(tools / "systemctl.log"),
              "daemon-reload\nstart --no-block velqorsv2.service\nenable velqorsv2.service\n");
    testsupport::WriteFile(tools / "refuse", "start\nenable\n");
    EXPECT_EQ(platform::StartService("VELQORSV2"), platform::kErrorServiceNotActive);
    EXPECT_EQ(platform::EnableService("VELQORSV2"), platform::kErrorServiceNotActive);
}

TEST_F(ServiceInstallTest, AMissingOrReadOnlyUnitFolderRefusesTheServiceManager) {
    ::setenv("VELQOR_SYSTEMD_DIR", (units / "missing").c_str(), 1);
    EXPECT_EQ(platform::OpenServiceManager(), platform::kErrorPathNotFound);
    EXPECT_EQ(platform::CreateService(definition), platform::kErrorPathNotFound);
    EXPECT_EQ(ImagePath(), "<no key>");
}

TEST(ServiceStatusTest, ReportsEachStateToTheNotifySocket) {
    TempDir dir;
    std::string path = dir / "notify";
    for (bool abstract : {false, true}) {
        int fd = ::socket(AF_UNIX, SOCK_DGRAM, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        std::string name = abstract ? "@velqor-notify-" + std::to_string(::getpid()) : path;
        std::strcpy(addr.sun_path, name.c_str());
        if (abstract) addr.sun_path[0] = '\0';
        auto size = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + name.size());
        ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr), size), 0);
        ::setenv("NOTIFY_SOCKET", name.c_str(), 1);

        struct Case { uint32_t state; uint32_t exitCode; const char* message; };
        const Case cases[] = {
            {platform::kServiceStartPending, 0, "STATUS=Starting\n"},
            {platform::kServiceRunning, 0, "READY=1\nSTATUS=Running\n"},
            {platform::kServiceStopPending, 0, "STOPPING=1\nSTATUS=Stopping\n"},
            {platform::kServiceStopped, 0, "STATUS=Stopped\n"},
            {platform::kServiceStopped, 231, "STATUS=Stopped (error 231)\n"},
        };
        for (const auto& c : cases) {
            platform::ServiceStatus status;
            status.currentState = c.state;
            status.win32ExitCode = c.exitCode;
            ASSERT_TRUE(platform::SetServiceStatus(status));
            char buf[256];
            ssize_t n = ::recv(fd, buf, sizeof buf, MSG_DONTWAIT);
            ASSERT_GT(n, 0);
            EXPECT_EQ(std::string(buf, static_cast<size_t>(n)), c.message);
        }
        ::close(fd);
    }
    ::setenv("NOTIFY_SOCKET", (dir / "nobody").c_str(), 1);
    EXPECT_FALSE(platform::SetServiceStatus({}));
    ::unsetenv("NOTIFY_SOCKET");
    EXPECT_TRUE(platform::SetServiceStatus({}));
}

TEST(EventLogTest, EachEventIsOneSyslogMessageWithItsPriority) {
    TempDir dir;
    std::string path = dir / "log";
    int fd = ::socket(AF_UNIX, SOCK_DGRAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strcpy(addr.sun_path, path.c_str());
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ::setenv("VELQOR_SYSLOG_SOCKET", path.c_str(), 1);
    const std::pair<uint16_t, const char*> cases[] = {
        {platform::kEventLogErrorType, "<27>"}, {platform::kEventLogWarningType, "<28>"},
        {platform::kEventLogInformationType, "<30>"}};
    for (const auto& [type, priority] : cases) {
        platform::ReportEvent("VELQORSV2", type, "VELQORSV2 text");
        char buf[512];
        ssize_t n = ::recv(fd, buf, sizeof buf, MSG_DONTWAIT);
        ASSERT_GT(n, 0);
        std::string message(buf, static_cast<size_t>(n));
        EXPECT_EQ(message.rfind(priority, 0), 0u) << message;
        std::string tail = " VELQORSV2[" + std::to_string(::getpid()) + "]: VELQORSV2 text";
        EXPECT_EQ(message.substr(message.size() - std::min(message.size(), tail.size())), tail);
    }
    ::unsetenv("VELQOR_SYSLOG_SOCKET");
    ::close(fd);
}

TEST(ServiceDispatcherTest, RefusesAProgramTheServiceManagerDidNotStart) {
    ::unsetenv("NOTIFY_SOCKET");
    // A shell in a desktop terminal inherits INVOCATION_ID; that alone is no
    // service start.
    ::setenv("INVOCATION_ID", "terminal", 1);
    static bool ran = false;
    EXPECT_EQ(platform::StartServiceCtrlDispatcher("VELQORSV2", [](int, char**) { ran = true; }, 0, nullptr),
              platform::kErrorFailedServiceControllerConnect);
    EXPECT_FALSE(ran);
    ::unsetenv("INVOCATION_ID");
}
