// The web page tests' fixture: the panel test's own world with the data
// folder and the product key made, pages created in a hidden window, and
// their controls driven by id.
#pragma once

#include <QAbstractButton>
#include <QLineEdit>
#include <memory>
#include <string>

#include "panel/shell/look.h"
#include "panel/shell/registry_ops.h"
#include "panel_test_support.h"

namespace webtest {

class WebPageTest : public paneltest::PanelTest {
protected:
    void SetUp() override {
        PanelTest::SetUp();
        testsupport::MakeDirs(dataFolder());
        ASSERT_EQ(panel::RegEnsureKey(panel::RegRoot::LocalMachine, panel::kProductSettingsKey), 0);
    }
    template <typename Page>
    std::unique_ptr<Page> Open() {
        auto page = std::make_unique<Page>();
        page->Create(&window_);
        return page;
    }
    // Text typed into an edit (UTF-8).
    static void Type(QWidget* page, int id, const std::string& text) {
        panel::Control<QLineEdit>(page, id)->setText(QString::fromStdString(text));
    }
    static void Click(QWidget* page, int id) { panel::Control<QAbstractButton>(page, id)->click(); }

    QWidget window_;
};

}  // namespace webtest
