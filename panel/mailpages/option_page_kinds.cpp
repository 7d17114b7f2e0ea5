#include "panel/mailpages/option_page_kinds.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QRadioButton>
#include <QVBoxLayout>

#include "panel/framework/list_file_edit.h"
#include "panel/framework/page_parts.h"
#include "panel/framework/strings.h"
#include "panel/mailpages/mail_list_texts.h"

namespace panel {

// --- Connections ------------------------------------------------------------------

ConnectionCountPage::ConnectionCountPage(int templateId, QWidget* parent, Shape shape)
    : SettingsPage(templateId, parent), shape_(shape) {}

void ConnectionCountPage::BuildTemplate() {
    auto* layout = new QVBoxLayout(this);
    auto* row = new QHBoxLayout;
    row->addWidget(Static(this, shape_.labelId, "同時接続数"));
    row->addWidget(Edit(this, shape_.editId));
    row->addStretch();
    layout->addLayout(row);
    layout->addStretch();
}

void ConnectionCountPage::OnInitDialog() {
    count_ = ReadSetting(shape_.valueName, 0);
    BindNumber(shape_.editId, count_, shape_.kind, Range{0, 65535});
    ControlsFromFields();
}

bool ConnectionCountPage::SaveSettings() {
    if (!FieldsFromControls()) return false;
    WriteDword(shape_.valueName, static_cast<uint32_t>(count_));
    ControlsFromFields();
    return true;
}

// --- Radio group -------------------------------------------------------------------

RadioValuePage::RadioValuePage(int templateId, QWidget* parent, Shape shape)
    : SettingsPage(templateId, parent), shape_(std::move(shape)) {}

void RadioValuePage::BuildTemplate() {
    auto* layout = new QVBoxLayout(this);
    auto* group = Group(this, 0, shape_.groupTitle);
    auto* buttons = new QVBoxLayout(group);
    for (const Choice& choice : shape_.choices)
        buttons->addWidget(Radio(this, choice.id, choice.text));
    layout->addWidget(group);
    layout->addStretch();
}

void RadioValuePage::OnInitDialog() {
    stored_ = ReadSetting(shape_.valueName, 0);
    ticked_ = stored_;
    std::vector<int> ids;
    for (const Choice& choice : shape_.choices) ids.push_back(choice.id);
    BindRadio(ids, ticked_);
    ControlsFromFields();
}

bool RadioValuePage::SaveSettings() {
    if (!FieldsFromControls()) return false;
    // With no button ticked the group says -1; the value read stays.
    if (ticked_ >= 0) stored_ = ticked_;
    WriteDword(shape_.valueName, static_cast<uint32_t>(stored_));
    ticked_ = stored_;
    ControlsFromFields();
    return true;
}

// --- List files ----------------------------------------------------------------------

ListFileButtonsPage::ListFileButtonsPage(int templateId, QWidget* parent, Shape shape)
    : SettingsPage(templateId, parent), shape_(std::move(shape)) {}

void ListFileButtonsPage::BuildTemplate() {
    auto* layout = new QVBoxLayout(this);
    if (shape_.switchId) layout->addWidget(CheckBox(this, shape_.switchId, shape_.switchText));
    for (const ListButton& button : shape_.buttons) {
        auto* row = new QHBoxLayout;
        row->addWidget(Button(this, button.id, button.text));
        row->addStretch();
        layout->addLayout(row);
    }
    layout->addStretch();
}

void ListFileButtonsPage::OnInitDialog() {
    buttons_.assign(shape_.buttons.size(), nullptr);
    for (size_t i = 0; i < shape_.buttons.size(); ++i) {
        const char* fileName = shape_.buttons[i].fileName;
        AttachButton(buttons_[i], shape_.buttons[i].id, this, [this, fileName] { OnEditList(fileName); });
    }
    if (shape_.titleString) setWindowTitle(LoadString(shape_.titleString));
    if (!shape_.switchId) return;
    switch_ = ReadSetting(shape_.switchValue, 0);
    BindCheck(shape_.switchId, switch_);
    ControlsFromFields();
}

bool ListFileButtonsPage::SaveSettings() {
    if (!shape_.switchId) return true;
    if (!FieldsFromControls()) return false;
    WriteDword(shape_.switchValue, static_cast<uint32_t>(switch_));
    ControlsFromFields();
    return true;
}

void ListFileButtonsPage::OnEditList(const char* fileName) { EditListFile(fileName, MailListTemplate(fileName)); }

}  // namespace panel
