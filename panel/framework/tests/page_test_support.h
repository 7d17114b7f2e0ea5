// A settings page test's fixture: the panel test's own world with the
// product key made, pages created in a hidden window, their controls driven
// by id, and what the pages stored read back as the service reads it.
#pragma once

#include <QAbstractButton>
#include <QLineEdit>
#include <QWidget>
#include <algorithm>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "panel/framework/look.h"
#include "panel/framework/registry_ops.h"
#include "panel_test_support.h"
#include "service/child_start_table.h"

namespace paneltest {

class PageTest : public PanelTest {
protected:
    void SetUp() override {
        PanelTest::SetUp();
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

    // The service's step that starts `program`, if it starts it.
    static std::optional<service::ChildStart> StartStep(const std::string& program, bool enginePresent = false) {
        for (auto& step : service::BuildChildStartTable({"VELQOR_TEST_DATA_ROOT", false, enginePresent}))
            if (step.program == program) return std::move(step);
        return std::nullopt;
    }
    // The arguments the service starts `program` with.
    static std::vector<std::string> StartArgs(const std::string& program, bool enginePresent = false) {
        std::optional<service::ChildStart> step = StartStep(program, enginePresent);
        return step ? step->args : std::vector<std::string>{"(not started)"};
    }
    static bool Has(const std::vector<std::string>& args, const std::string& arg) {
        return std::find(args.begin(), args.end(), arg) != args.end();
    }
    // Product-key values; 0xDEAD and "(none)" when missing.
    static uint32_t Stored(const char* name) { return panel::RegReadDword(panel::kProductSettingsKey, name, 0xDEADu); }
    static std::string Text(const char* name) {
        std::string text;
        panel::RegReadString(panel::RegRoot::LocalMachine, panel::kProductSettingsKey, name, "(none)", text, 4096);
        return text;
    }
    // A data folder file as it lies there.
    std::string File(const std::string& name) const { return testsupport::ReadFile(dataFolder() + name); }

    QWidget window_;
};

}  // namespace paneltest
