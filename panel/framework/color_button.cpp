#include "panel/framework/color_button.h"

#include <QPainter>
#include <qdrawutil.h>

#include "panel/framework/look.h"

namespace panel {

ColorButton::ColorButton(const QString& text, QWidget* parent) : QPushButton(text, parent) {}

void ColorButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    DrawItem(painter, rect(), hasFocus(), isDown(), !isEnabled());
}

void ColorButton::DrawItem(QPainter& painter, const QRect& item, bool focus, bool selected, bool disabled) {
    const QString label = text();
    painter.fillRect(item, FromColorRef(FaceColor));
    painter.setPen(FromColorRef(TextColor));
    painter.drawText(item, Qt::AlignCenter | Qt::TextSingleLine | Qt::TextShowMnemonic, label);
    QPalette edges = palette();
    edges.setColor(QPalette::Light, FromColorRef(FaceColor).lighter(130));
    qDrawWinButton(&painter, item, edges, false, nullptr);
    if (focus) {
        if (selected) qDrawWinButton(&painter, item, edges, true, nullptr);
        QPen dotted(FromColorRef(TextColor), 1, Qt::DotLine);
        painter.setPen(dotted);
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(item.adjusted(4, 4, -5, -5));
    } else if (disabled) {
        painter.setPen(FromColorRef(DisabledTextColor));
        painter.drawText(item, Qt::AlignCenter | Qt::TextSingleLine | Qt::TextShowMnemonic, label);
    }
}

bool AttachColorButton(ColorButton*& member, int id, QWidget* dialog) {
    member = Control<ColorButton>(dialog, id);
    return member != nullptr;
}

}  // namespace panel
