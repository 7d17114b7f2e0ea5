// A push button painted in chosen colours. Templates create the buttons
// that are to be painted so (owner-drawn) as ColorButton; the owning dialog
// attaches them to its members when it opens and sets their colours.
#pragma once

#include <QPushButton>
#include <cstdint>

namespace panel {

class ColorButton : public QPushButton {
    Q_OBJECT
public:
    explicit ColorButton(const QString& text, QWidget* parent = nullptr);

    // Windows colour references (0x00BBGGRR); read at each paint.
    uint32_t TextColor = 0x000000;
    uint32_t FaceColor = 0xC0C0C0;
    uint32_t DisabledTextColor = 0x808080;

protected:
    void paintEvent(QPaintEvent* event) override;
    // One paint of the button: face, label, raised edge; when focused the
    // focus rectangle (over a sunken edge while pressed), when disabled the
    // label once more in DisabledTextColor.
    void DrawItem(QPainter& painter, const QRect& item, bool focus, bool selected, bool disabled);
};

// Binds the dialog's owner-drawn button `id` to `member`; false when the
// dialog has no such button.
bool AttachColorButton(ColorButton*& member, int id, QWidget* dialog);

}  // namespace panel
