// A watcher under test with its peers: the stand-in scan server and the
// stand-in alert receiver, each in the test's own folders.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "alertstub.h"
#include "engine/tests/avstub/avstub.h"
#include "test_support.h"

namespace watchtest {

class WatcherFixture : public ::testing::Test {
protected:
    void SetUp() override {
        testsupport::MakeDirs(pipeDir());
        testsupport::MakeDirs(src());
        eicar_ = std::string(avstub::kEicarTestString) + "\n";
        testsupport::WriteFile(src() + "/eicar.src", eicar_);
    }
    std::string t(const std::string& name) const { return dir_ / name; }
    std::string pipeDir() const { return t("pipe"); }
    std::string src() const { return t("src"); }
    std::string scanLog() const { return t("scan.log"); }
    std::string alertLog() const { return t("alert.log"); }

    void StartPeers(avstub::Options scan = {}, int alertDelayMs = 0) {
        scan.pipeDir = pipeDir();
        scan.logFile = scanLog();
        scanner_ = avstub::Start(scan);
        alerter_ = alertstub::Start({pipeDir(), alertLog(), alertDelayMs});
    }
    std::unique_ptr<testsupport::Process> StartWatcher(const std::string& program, std::vector<std::string> args,
                                                       std::map<std::string, std::string> env,
                                                       const std::vector<std::string>& launcher = {}) {
        args.insert(args.begin(), testsupport::BinPath(program));
        args.insert(args.begin(), launcher.begin(), launcher.end());
        testsupport::Process::Options options;
        options.env = std::move(env);
        options.env["VELQOR_PIPE_DIR"] = pipeDir();
        return std::make_unique<testsupport::Process>(args, options);
    }

    // The paths the scan server was asked about, in order.
    std::vector<std::string> Scanned() const {
        std::vector<std::string> paths;
        for (const std::string& line : alertstub::Messages(scanLog())) paths.push_back(line.substr(line.rfind('\t') + 1));
        return paths;
    }
    size_t ScanCount(const std::string& path) const {
        auto paths = Scanned();
        return std::count(paths.begin(), paths.end(), path);
    }
    std::vector<std::string> Alerts() const { return alertstub::Messages(alertLog()); }
    bool Alerted(const std::string& message) const {
        auto alerts = Alerts();
        return std::find(alerts.begin(), alerts.end(), message) != alerts.end();
    }
    static std::string EicarAlert(const std::string& path) { return std::string("[") + avstub::kFinding + "] " + path; }

    void Run(const std::string& command) {
        auto result = testsupport::RunCommand("cd " + dir_.path() + " && " + command);
        ASSERT_EQ(result.exitCode, 0) << command << ": " << result.output;
    }

    testsupport::TempDir dir_;
    std::string eicar_;
    std::unique_ptr<testsupport::Process> scanner_;
    std::unique_ptr<testsupport::Process> alerter_;
};

}  // namespace watchtest
