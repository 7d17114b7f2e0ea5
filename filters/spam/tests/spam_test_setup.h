// The settings of an in-process spam check over a data folder of its own.
#pragma once

#include <string>

#include "filters/spam/spam_log.h"
#include "filters/spam/spam_settings.h"
#include "test_support.h"

namespace spamtest {

class DataFolder {
public:
    explicit DataFolder(const std::string& tag = "[SPAM]") {
        testsupport::MakeDirs(dir_ / "VELQOR");
        spam::SpamSettings& settings = spam::Settings();
        settings = spam::SpamSettings{};
        settings.subjectTag = tag;
        setenv("VELQOR_SPAM_TEST_ROOT", dir_.path().c_str(), 1);
        settings.dataRootVariable = "VELQOR_SPAM_TEST_ROOT";
        spam::MakePaths(settings);
        spam::SpamLog().setToConsole(false);
    }
    // A file in the data folder.
    std::string operator/(const std::string& name) const { return spam::Settings().dataFolder + name; }
    void Write(const std::string& name, const std::string& content) const { testsupport::WriteFile(*this / name, content); }

private:
    testsupport::TempDir dir_;
};

}  // namespace spamtest
