// The mail page tests' fixture: a page test with the data folder made, and
// the editor and language a test sets put back afterwards.
#pragma once

#include <cstdlib>
#include <string>

#include "page_test_support.h"

namespace mailtest {

class MailPageTest : public paneltest::PageTest {
protected:
    void SetUp() override {
        PageTest::SetUp();
        testsupport::MakeDirs(dataFolder());
        if (const char* lang = std::getenv("LANG")) lang_ = lang;
    }
    void TearDown() override {
        ::unsetenv("VELQOR_EDITOR");
        ::setenv("LANG", lang_.c_str(), 1);
    }

    std::string lang_;
};

}  // namespace mailtest
