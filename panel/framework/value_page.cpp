#include "panel/framework/value_page.h"

#include <QButtonGroup>
#include <QHBoxLayout>
#include <QVBoxLayout>
#include <tuple>

#include "panel/framework/page_parts.h"
#include "panel/framework/panel_state.h"
#include "panel/framework/registry_ops.h"
#include "panel/framework/strings.h"

namespace panel {

ValuePage::ValuePage(int templateId, QWidget* parent) : SettingsPage(templateId, parent) {}

void ValuePage::AddNumber(QBoxLayout* layout, int labelId, const char* label, int editId, const common::DwordValue& value,
                          NumberKind kind, bool ranged) {
    auto* row = new QHBoxLayout;
    row->addWidget(Static(this, labelId, label));
    row->addWidget(Edit(this, editId));
    row->addStretch();
    layout->addLayout(row);
    Value v;
    v.value = value;
    v.ids = {editId};
    v.kind = kind;
    v.ranged = ranged;
    values_.push_back(v);
}

void ValuePage::AddPortRange(QBoxLayout* layout, const char* title, int startId, const common::DwordValue& startValue,
                             NumberKind startKind, int endId, const common::DwordValue& endValue, NumberKind endKind) {
    auto* group = Group(this, 0, title);
    auto* row = new QHBoxLayout(group);
    row->addWidget(Edit(group, startId));
    row->addWidget(Static(group, 0, "～"));
    row->addWidget(Edit(group, endId));
    layout->addWidget(group);
    for (const auto& [value, id, kind] : {std::tuple{startValue, startId, startKind}, std::tuple{endValue, endId, endKind}}) {
        Value v;
        v.value = value;
        v.ids = {id};
        v.kind = kind;
        v.ranged = true;
        values_.push_back(v);
    }
}

void ValuePage::AddRadioGroup(QBoxLayout* layout, const char* title, std::vector<std::pair<int, const char*>> radios,
                              const common::DwordValue& value) {
    auto* group = Group(this, 0, title);
    auto* column = new QVBoxLayout(group);
    Value v;
    v.value = value;
    v.shape = Shape::Radio;
    // One exclusive group whose buttons may all be off: a stored value
    // outside the group shows no choice.
    auto* buttons = new QButtonGroup(group);
    for (const auto& [id, text] : radios) {
        auto* radio = Radio(group, id, text);
        buttons->addButton(radio);
        column->addWidget(radio);
        v.ids.push_back(id);
    }
    layout->addWidget(group);
    values_.push_back(v);
}

void ValuePage::AddIpVersion(QBoxLayout* layout, const common::DwordValue& value) {
    AddRadioGroup(layout, "ＩＰバージョン", {{kIpv4OnlyRadio, "IPv4のみ"}, {kIpv6OnlyRadio, "IPv6のみ"}, {kIpBothRadio, "併用"}},
                  value);
}

void ValuePage::AddCheck(QBoxLayout* layout, int id, const char* text, const common::DwordValue& value) {
    layout->addWidget(CheckBox(this, id, text));
    Value v;
    v.value = value;
    v.shape = Shape::Check;
    v.ids = {id};
    values_.push_back(v);
}

void ValuePage::AddButton(QBoxLayout* layout, int id, const char* text, std::function<void()> action) {
    auto* row = new QHBoxLayout;
    row->addWidget(Button(this, id, text));
    row->addStretch();
    layout->addLayout(row);
    buttons_.emplace_back(id, std::move(action));
}

void ValuePage::OnInitDialog() {
    for (auto& [id, action] : buttons_) AttachButton(this, id, action);
    if (titleString_) setWindowTitle(LoadString(titleString_));
    for (Value& v : values_) {
        v.stored = RegReadDword(kProductSettingsKey, v.value.name, v.value.byDefault);
        switch (v.shape) {
        case Shape::Radio:
            v.choice = static_cast<int>(v.stored);
            BindRadio(v.ids, v.choice);
            break;
        case Shape::Check:
            v.choice = static_cast<int>(v.stored);
            BindCheck(v.ids[0], v.choice);
            break;
        case Shape::Number:
            v.number = v.stored;
            BindNumber(v.ids[0], v.number, v.kind, v.ranged ? std::optional<Range>(Range{0, 65535}) : std::nullopt);
            break;
        }
    }
    ControlsFromFields();
}

bool ValuePage::SaveSettings() {
    if (values_.empty()) return true;
    if (!FieldsFromControls()) return false;
    for (Value& v : values_) {
        switch (v.shape) {
        case Shape::Radio:
            // No button chosen (the stored value was outside the group):
            // the value stays what it was.
            if (v.choice >= 0) v.stored = static_cast<uint32_t>(v.choice);
            break;
        case Shape::Check:
            v.stored = static_cast<uint32_t>(v.choice);
            break;
        case Shape::Number:
            v.stored = v.number;
            break;
        }
        WriteDword(v.value.name, v.stored);
    }
    ControlsFromFields();
    return true;
}

}  // namespace panel
