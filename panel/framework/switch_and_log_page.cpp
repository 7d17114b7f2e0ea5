#include "panel/framework/switch_and_log_page.h"

#include <QVBoxLayout>

#include "panel/framework/page_parts.h"

namespace panel {

SwitchAndLogPage::SwitchAndLogPage(int templateId, QWidget* parent, Shape shape)
    : SettingsPage(templateId, parent), shape_(shape) {}

void SwitchAndLogPage::BuildTemplate() {
    auto* layout = new QVBoxLayout(this);
    auto* onOff = CheckBox(this, shape_.switchId, shape_.switchText);
    layout->addWidget(onOff);
    layout->addWidget(CheckBox(this, shape_.logId, "ログを残す。"));
    layout->addStretch();
    connect(onOff, &QCheckBox::clicked, this, [this] { UpdateEnableState(); });
}

void SwitchAndLogPage::OnInitDialog() {
    switch_ = ReadSetting(shape_.switchValue.name, static_cast<int>(shape_.switchValue.byDefault));
    log_ = ReadSetting(shape_.logValue.name, static_cast<int>(shape_.logValue.byDefault));
    BindCheck(shape_.switchId, switch_);
    BindCheck(shape_.logId, log_);
    ControlsFromFields();
    UpdateEnableState();
}

void SwitchAndLogPage::UpdateEnableState() {
    FieldsFromControls();
    EnableIds(this, {shape_.logId}, switch_ != 0);
}

bool SwitchAndLogPage::SaveSettings() {
    if (!FieldsFromControls()) return false;
    WriteDword(shape_.switchValue.name, static_cast<uint32_t>(switch_));
    WriteDword(shape_.logValue.name, static_cast<uint32_t>(log_));
    ControlsFromFields();
    return true;
}

}  // namespace panel
