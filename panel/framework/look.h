// The control panel's look and the dialog-template conventions its windows
// share: colours given as Windows colour references, the dialog font, dialog
// units, pictures painted in code, and controls found by their id.
#pragma once

#include <QColor>
#include <QFont>
#include <QPixmap>
#include <QSize>
#include <QString>
#include <QWidget>
#include <cstdint>

namespace panel {

// Page brush and button face, the settings window's brush.
inline constexpr uint32_t kPageColor = 0xFFC5B0;
inline constexpr uint32_t kWindowColor = 0xDF8D6F;

// 0x00BBGGRR.
QColor FromColorRef(uint32_t colorRef);

// "ＭＳ Ｐゴシック" 9 point of the templates.
QFont DialogFont();

// Dialog units to pixels on `font`, by the Windows rule.
QSize DialogUnitsToPixels(const QFont& font, int x, int y);

// Contrast of two colours as the accessibility guidelines reckon it, from
// 1 (the same) to 21 (black on white).
double RelativeLuminance(const QColor& color);
double ContrastRatio(const QColor& a, const QColor& b);

// Fills the widget's background with the colour (auto-filled palette
// Window); its statics show through. Disabled texts get a grey that stays
// readable on it.
void SetBackground(QWidget* widget, uint32_t colorRef);

// A picture of the panel's resources (icons 128, 154, 156 and 185 to 210,
// banners 205 and 206, the alert's ground 162) painted at `size`.
QPixmap Picture(int resourceId, QSize size);

// Marks a widget as a dialog of its own, so that controls are looked up
// within it and never inside it from an enclosing dialog.
void MarkDialog(QWidget* dialog);

// The control with this id in `dialog`, not in a dialog inside it; null
// when it has none or it is not a T.
QWidget* FindControl(QWidget* dialog, int id);
template <typename T>
T* Control(QWidget* dialog, int id) {
    return qobject_cast<T*>(FindControl(dialog, id));
}

// Gives a control its id.
template <typename T>
T* WithId(T* control, int id) {
    control->setObjectName(QString::number(id));
    return control;
}

}  // namespace panel
