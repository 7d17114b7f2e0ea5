// Small builders the mail pages lay their templates out with, and the
// product-key reads with their defaults.
#pragma once

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QString>
#include <functional>
#include <initializer_list>
#include <string>

#include "panel/shell/color_button.h"
#include "panel/shell/look.h"

namespace panel {

QCheckBox* CheckBoxControl(QWidget* page, int id, const char* text);
QLineEdit* EditControl(QWidget* page, int id);
// A static text; id 0 leaves it without one.
QLabel* StaticControl(QWidget* page, int id, const char* text);
// A template button the page attaches as a colour button.
ColorButton* ButtonControl(QWidget* page, int id, const char* text);

void EnableControls(QWidget* page, std::initializer_list<int> ids, bool on);

// Attaches button `id` as a colour button in the pages' colours (face
// 0xFFC5B0, black text) and runs `onClick` on its clicks.
void AttachPageButton(ColorButton*& member, int id, QWidget* page, std::function<void()> onClick);

// Product-key values, missing ones read as `fallback`.
int ReadSetting(const char* name, int fallback);
QString ReadSettingText(const char* name);

}  // namespace panel
