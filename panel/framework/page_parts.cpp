#include "panel/framework/page_parts.h"

#include <utility>

#include "panel/framework/registry_ops.h"

namespace panel {

QCheckBox* CheckBox(QWidget* page, int id, const char* text) {
    return WithId(new QCheckBox(QString::fromUtf8(text), page), id);
}

QLineEdit* Edit(QWidget* page, int id) { return WithId(new QLineEdit(page), id); }

QLineEdit* PasswordEdit(QWidget* page, int id) {
    QLineEdit* edit = Edit(page, id);
    edit->setEchoMode(QLineEdit::Password);
    return edit;
}

QLabel* Static(QWidget* page, int id, const char* text) {
    auto* label = new QLabel(QString::fromUtf8(text), page);
    return id ? WithId(label, id) : label;
}

QGroupBox* Group(QWidget* page, int id, const char* text) {
    auto* group = new QGroupBox(QString::fromUtf8(text), page);
    return id ? WithId(group, id) : group;
}

QRadioButton* Radio(QWidget* parent, int id, const char* text) {
    return WithId(new QRadioButton(QString::fromUtf8(text), parent), id);
}

ColorButton* Button(QWidget* page, int id, const char* text) {
    return WithId(new ColorButton(QString::fromUtf8(text), page), id);
}

void EnableIds(QWidget* page, std::initializer_list<int> ids, bool on) {
    for (int id : ids)
        if (QWidget* control = FindControl(page, id)) control->setEnabled(on);
}

void AttachButton(ColorButton*& member, int id, QWidget* page, std::function<void()> onClick) {
    if (!AttachColorButton(member, id, page)) return;
    member->FaceColor = kPageColor;
    member->TextColor = 0;
    QObject::connect(member, &QPushButton::clicked, page, [onClick = std::move(onClick)] { onClick(); });
}

void AttachButton(QWidget* page, int id, std::function<void()> onClick) {
    ColorButton* button = nullptr;
    AttachButton(button, id, page, std::move(onClick));
}

int ReadSetting(const char* name, int fallback) {
    return static_cast<int>(RegReadDword(kProductSettingsKey, name, static_cast<DWORD>(fallback)));
}

QString ReadSettingText(const char* name, const std::string& fallback) {
    std::string text;
    RegReadString(RegRoot::LocalMachine, kProductSettingsKey, name, fallback, text, 512);
    return QString::fromStdString(text);
}

}  // namespace panel
