// Small builders the web proxy pages lay out their templates with.
#pragma once

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <functional>
#include <initializer_list>

#include "panel/shell/color_button.h"
#include "panel/shell/look.h"

namespace panel {

QCheckBox* CheckBox(QWidget* page, int id, const char* text);
QLineEdit* Edit(QWidget* page, int id);
// A static text; id 0 leaves it without one.
QLabel* Static(QWidget* page, int id, const char* text);
QGroupBox* Group(QWidget* page, int id, const char* text);
QRadioButton* Radio(QWidget* parent, int id, const char* text);
ColorButton* Button(QWidget* page, int id, const char* text);

void EnableIds(QWidget* page, std::initializer_list<int> ids, bool on);

// Attaches template button `id` as a colour button in the pages' colours
// (face 0xFFC5B0, black text) that runs `onClick`.
void AttachButton(QWidget* page, int id, std::function<void()> onClick);

}  // namespace panel
