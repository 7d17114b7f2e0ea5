#include "panel/shell/switch_and_log_page.h"

#include <QVBoxLayout>

#include "panel/shell/page_parts.h"

namespace panel {

SwitchAndLogPage::SwitchAndLogPage(int templateId, QWidget* parent, Spec spec)
    : SettingsPage(templateId, parent), spec_(spec) {}

void SwitchAndLogPage::BuildTemplate() {
    auto* layout = new QVBoxLayout(this);
    auto* onOff = CheckBox(this, spec_.switchId, spec_.switchText);
    layout->addWidget(onOff);
    layout->addWidget(CheckBox(this, spec_.logId, "ログを残す。"));
    layout->addStretch();
    connect(onOff, &QCheckBox::clicked, this, [this] { UpdateEnableState(); });
}

void SwitchAndLogPage::OnInitDialog() {
    switch_ = ReadSetting(spec_.switchValue, spec_.switchDefault);
    log_ = ReadSetting(spec_.logValue, spec_.logDefault);
    BindCheck(spec_.switchId, switch_);
    BindCheck(spec_.logId, log_);
    ControlsFromFields();
    UpdateEnableState();
}

void SwitchAndLogPage::UpdateEnableState() {
    FieldsFromControls();
    EnableIds(this, {spec_.logId}, switch_ != 0);
}

bool SwitchAndLogPage::SaveSettings() {
    if (!FieldsFromControls()) return false;
    WriteDword(spec_.switchValue, static_cast<uint32_t>(switch_));
    WriteDword(spec_.logValue, static_cast<uint32_t>(log_));
    ControlsFromFields();
    return true;
}

}  // namespace panel
