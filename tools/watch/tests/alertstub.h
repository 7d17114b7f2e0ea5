// Starts the stand-in alert receiver orqalert-stub for a test. The test's
// CMake target needs add_dependencies(<test> orqalert-stub).
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "test_support.h"

namespace alertstub {

struct Options {
    std::string pipeDir;  // the stub's VELQOR_PIPE_DIR
    std::string logFile;  // one line per message
    int delayMs = 0;
};

inline std::string ProgramPath() { return std::string(VELQOR_TEST_BIN_DIR) + "/orqalert-stub"; }

inline std::unique_ptr<testsupport::Process> Start(const Options& options) {
    std::vector<std::string> argv = {ProgramPath(), "--log=" + options.logFile};
    if (options.delayMs > 0) argv.push_back("--delay=" + std::to_string(options.delayMs));
    testsupport::Process::Options processOptions;
    processOptions.env["VELQOR_PIPE_DIR"] = options.pipeDir;
    auto stub = std::make_unique<testsupport::Process>(argv, processOptions);
    bool serving = testsupport::WaitUntil(
        [&] { return stub->out().find("orqalert-stub: serving") != std::string::npos || !stub->running(); });
    EXPECT_TRUE(serving && stub->running()) << "orqalert-stub did not come up: " << stub->err();
    return stub;
}

// The messages received so far, one a line.
inline std::vector<std::string> Messages(const std::string& logFile) {
    std::vector<std::string> lines;
    std::string text = testsupport::ReadFile(logFile);
    size_t start = 0;
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(text.substr(start, end - start));
    return lines;
}

}  // namespace alertstub
