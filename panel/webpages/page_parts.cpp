#include "panel/webpages/page_parts.h"

namespace panel {

QCheckBox* CheckBox(QWidget* page, int id, const char* text) {
    return WithId(new QCheckBox(QString::fromUtf8(text), page), id);
}

QLineEdit* Edit(QWidget* page, int id) { return WithId(new QLineEdit(page), id); }

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

void AttachButton(QWidget* page, int id, std::function<void()> onClick) {
    ColorButton* button = nullptr;
    if (!AttachColorButton(button, id, page)) return;
    button->FaceColor = kPageColor;
    button->TextColor = 0;
    QObject::connect(button, &QPushButton::clicked, page, [onClick] { onClick(); });
}

}  // namespace panel
