// Small builders the settings pages lay out their templates with, and the
// product-key reads with their defaults.
#pragma once

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QString>
#include <functional>
#include <initializer_list>
#include <string>

#include "panel/framework/color_button.h"
#include "panel/framework/look.h"

namespace panel {

QCheckBox* CheckBox(QWidget* page, int id, const char* text);
QLineEdit* Edit(QWidget* page, int id);
// An edit that shows dots for what is typed.
QLineEdit* PasswordEdit(QWidget* page, int id);
// A static text; id 0 leaves it without one.
QLabel* Static(QWidget* page, int id, const char* text);
// A group frame; id 0 leaves it without one.
QGroupBox* Group(QWidget* page, int id, const char* text);
QRadioButton* Radio(QWidget* parent, int id, const char* text);
// A template button the page attaches as a colour button.
ColorButton* Button(QWidget* page, int id, const char* text);

void EnableIds(QWidget* page, std::initializer_list<int> ids, bool on);

// Attaches template button `id` as a colour button in the pages' colours
// (face 0xFFC5B0, black text) that runs `onClick`; `member` is left pointing
// at it (null when the template has no such button).
void AttachButton(ColorButton*& member, int id, QWidget* page, std::function<void()> onClick);
// The same for a page that keeps no pointer to the button.
void AttachButton(QWidget* page, int id, std::function<void()> onClick);

// Product-key values, missing ones read as `fallback`.
int ReadSetting(const char* name, int fallback);
QString ReadSettingText(const char* name, const std::string& fallback = "");

}  // namespace panel
