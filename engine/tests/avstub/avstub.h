// Starts the stand-in scan server orqavs-stub for a test (see the option
// list at the top of orqavs_stub.cpp). The test's CMake target needs
// add_dependencies(<test> orqavs-stub).
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "test_support.h"

namespace avstub {

// The EICAR test string, for files the stub must report.
constexpr char kEicarTestString[] = "X5O!P%@AP[4\\PZX54(P^)7CC)7}$EICAR-STANDARD-ANTIVIRUS-TEST-FILE!$H+H*";
constexpr char kFinding[] = "EICAR-Test-File";
// A file holding this is answered "Password-protected-EXE".
constexpr char kPasswordProtectedMarker[] = "VELQOR-PASSWORD-PROTECTED-TEST";

struct Options {
    std::string pipeDir;   // the stub's VELQOR_PIPE_DIR; the test's own folder
    std::string logFile;   // where each request is recorded; empty: not recorded
    bool accessDenied = false;
    bool longFinding = false;
    int delayMs = 0;
    std::string fixedReply = {};  // non-empty: the answer to every request
    bool hang = false;  // takes each request and never answers
    std::string onlyBelow = {};  // non-empty: only files below this folder can be findings
    bool report = false;  // zip archives answered with a "?" report file
    // Words run before the stub's own command line (nsenter into another
    // mount namespace, for one).
    std::vector<std::string> launcher = {};
};

inline std::string ProgramPath() { return std::string(VELQOR_TEST_BIN_DIR) + "/orqavs-stub"; }

// Starts the stub and returns once it serves "\\.\pipe\orqavs"; a failed
// test assertion when it does not come up within ten seconds.
inline std::unique_ptr<testsupport::Process> Start(const Options& options) {
    std::vector<std::string> argv = options.launcher;
    argv.push_back(ProgramPath());
    if (!options.logFile.empty()) argv.push_back("--log=" + options.logFile);
    if (options.accessDenied) argv.push_back("--access-denied");
    if (options.longFinding) argv.push_back("--long-finding");
    if (options.delayMs > 0) argv.push_back("--delay=" + std::to_string(options.delayMs));
    if (!options.fixedReply.empty()) argv.push_back("--reply=" + options.fixedReply);
    if (options.hang) argv.push_back("--hang");
    if (!options.onlyBelow.empty()) argv.push_back("--only-below=" + options.onlyBelow);
    if (options.report) argv.push_back("--report");
    testsupport::Process::Options processOptions;
    processOptions.env["VELQOR_PIPE_DIR"] = options.pipeDir;
    auto stub = std::make_unique<testsupport::Process>(argv, processOptions);
    bool serving = testsupport::WaitUntil(
        [&] { return stub->out().find("orqavs-stub: serving") != std::string::npos || !stub->running(); });
    EXPECT_TRUE(serving && stub->running()) << "orqavs-stub did not come up: " << stub->err();
    return stub;
}

}  // namespace avstub
