#include "panel/mailpages/option_page_kinds.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QRadioButton>
#include <QVBoxLayout>

#include "panel/mailpages/mail_list_texts.h"
#include "panel/shell/list_file_edit.h"
#include "panel/shell/page_parts.h"
#include "panel/shell/strings.h"

namespace panel {

// --- Connections ------------------------------------------------------------------

ConnectionCountPage::ConnectionCountPage(int templateId, QWidget* parent, Spec spec)
    : SettingsPage(templateId, parent), spec_(spec) {}

void ConnectionCountPage::BuildTemplate() {
    auto* layout = new QVBoxLayout(this);
    auto* row = new QHBoxLayout;
    row->addWidget(Static(this, spec_.labelId, "同時接続数"));
    row->addWidget(Edit(this, spec_.editId));
    row->addStretch();
    layout->addLayout(row);
    layout->addStretch();
}

void ConnectionCountPage::OnInitDialog() {
    count_ = ReadSetting(spec_.valueName, 0);
    BindNumber(spec_.editId, count_, spec_.kind, Range{0, 65535});
    ControlsFromFields();
}

bool ConnectionCountPage::SaveSettings() {
    if (!FieldsFromControls()) return false;
    WriteDword(spec_.valueName, static_cast<uint32_t>(count_));
    ControlsFromFields();
    return true;
}

// --- Radio group -------------------------------------------------------------------

RadioValuePage::RadioValuePage(int templateId, QWidget* parent, Spec spec)
    : SettingsPage(templateId, parent), spec_(std::move(spec)) {}

void RadioValuePage::BuildTemplate() {
    auto* layout = new QVBoxLayout(this);
    auto* group = Group(this, 0, spec_.groupTitle);
    auto* buttons = new QVBoxLayout(group);
    for (const Choice& choice : spec_.choices)
        buttons->addWidget(Radio(this, choice.id, choice.text));
    layout->addWidget(group);
    layout->addStretch();
}

void RadioValuePage::OnInitDialog() {
    stored_ = ReadSetting(spec_.valueName, 0);
    ticked_ = stored_;
    std::vector<int> ids;
    for (const Choice& choice : spec_.choices) ids.push_back(choice.id);
    BindRadio(ids, ticked_);
    ControlsFromFields();
}

bool RadioValuePage::SaveSettings() {
    if (!FieldsFromControls()) return false;
    // With no button ticked the group says -1; the value read stays.
    if (ticked_ >= 0) stored_ = ticked_;
    WriteDword(spec_.valueName, static_cast<uint32_t>(stored_));
    ticked_ = stored_;
    ControlsFromFields();
    return true;
}

// --- List files ----------------------------------------------------------------------

ListFileButtonsPage::ListFileButtonsPage(int templateId, QWidget* parent, Spec spec)
    : SettingsPage(templateId, parent), spec_(std::move(spec)) {}

void ListFileButtonsPage::BuildTemplate() {
    auto* layout = new QVBoxLayout(this);
    if (spec_.switchId) layout->addWidget(CheckBox(this, spec_.switchId, spec_.switchText));
    for (const ListButton& button : spec_.buttons) {
        auto* row = new QHBoxLayout;
        row->addWidget(Button(this, button.id, button.text));
        row->addStretch();
        layout->addLayout(row);
    }
    layout->addStretch();
}

void ListFileButtonsPage::OnInitDialog() {
    buttons_.assign(spec_.buttons.size(), nullptr);
    for (size_t i = 0; i < spec_.buttons.size(); ++i) {
        const char* fileName = spec_.buttons[i].fileName;
        AttachButton(buttons_[i], spec_.buttons[i].id, this, [this, fileName] { OnEditList(fileName); });
    }
    if (spec_.titleString) setWindowTitle(LoadString(spec_.titleString));
    if (!spec_.switchId) return;
    switch_ = ReadSetting(spec_.switchValue, 0);
    BindCheck(spec_.switchId, switch_);
    ControlsFromFields();
}

bool ListFileButtonsPage::SaveSettings() {
    if (!spec_.switchId) return true;
    if (!FieldsFromControls()) return false;
    WriteDword(spec_.switchValue, static_cast<uint32_t>(switch_));
    ControlsFromFields();
    return true;
}

void ListFileButtonsPage::OnEditList(const char* fileName) { EditListFile(fileName, MailListTemplate(fileName)); }

}  // namespace panel
