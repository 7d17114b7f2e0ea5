// A page of one switch and its log switch (a proxy, the scan engine). The
// log box is enabled exactly while the switch is ticked; greyed, it keeps
// its value and is saved as shown.
#pragma once

#include "common/setting_value.h"
#include "panel/framework/settings_page.h"

namespace panel {

class SwitchAndLogPage : public SettingsPage {
    Q_OBJECT
public:
    struct Shape {
        int switchId;
        const char* switchText;
        common::DwordValue switchValue;
        int logId;
        common::DwordValue logValue;
    };
    SwitchAndLogPage(int templateId, QWidget* parent, Shape shape);
    bool SaveSettings() override;

protected:
    void BuildTemplate() override;
    void OnInitDialog() override;

private:
    void UpdateEnableState();
    Shape shape_;
    int switch_ = 0;
    int log_ = 0;
};

}  // namespace panel
