#include "panel/mailpages/page_controls.h"

#include <utility>

#include "panel/shell/registry_ops.h"

namespace panel {

QCheckBox* CheckBoxControl(QWidget* page, int id, const char* text) {
    return WithId(new QCheckBox(QString::fromUtf8(text), page), id);
}

QLineEdit* EditControl(QWidget* page, int id) { return WithId(new QLineEdit(page), id); }

QLabel* StaticControl(QWidget* page, int id, const char* text) {
    auto* label = new QLabel(QString::fromUtf8(text), page);
    return id ? WithId(label, id) : label;
}

ColorButton* ButtonControl(QWidget* page, int id, const char* text) {
    return WithId(new ColorButton(QString::fromUtf8(text), page), id);
}

void EnableControls(QWidget* page, std::initializer_list<int> ids, bool on) {
    for (int id : ids)
        if (QWidget* control = FindControl(page, id)) control->setEnabled(on);
}

void AttachPageButton(ColorButton*& member, int id, QWidget* page, std::function<void()> onClick) {
    if (!AttachColorButton(member, id, page)) return;
    member->FaceColor = kPageColor;
    member->TextColor = 0;
    QObject::connect(member, &QPushButton::clicked, page, [onClick = std::move(onClick)] { onClick(); });
}

int ReadSetting(const char* name, int fallback) {
    return static_cast<int>(RegReadDword(kProductSettingsKey, name, static_cast<DWORD>(fallback)));
}

QString ReadSettingText(const char* name) {
    std::string text;
    RegReadString(RegRoot::LocalMachine, kProductSettingsKey, name, "", text, 512);
    return QString::fromStdString(text);
}

}  // namespace panel
