// The web page tests' fixture: a page test with the data folder made.
#pragma once

#include "page_test_support.h"

namespace webtest {

class WebPageTest : public paneltest::PageTest {
protected:
    void SetUp() override {
        PageTest::SetUp();
        testsupport::MakeDirs(dataFolder());
    }
};

}  // namespace webtest
