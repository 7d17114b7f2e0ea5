#include "panel/framework/look.h"

#include <QFontMetrics>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPalette>
#include <cmath>
#include <utility>

namespace panel {
namespace {

constexpr char kDialogProperty[] = "velqorDialog";

// Icons of the page tree: a rounded tile in the section's colour with its
// mark. The ids and colours are ours; only the sizes are fixed.
struct Tile {
    int id;
    uint32_t colorRef;
    const char* mark;
};
constexpr Tile kTiles[] = {
    {185, 0x2E7D32, "H"}, {197, 0x00838F, "F"}, {187, 0xC62828, "S"},  {188, 0x6A1B9A, "P"},
    {186, 0xEF6C00, "5"}, {189, 0x283593, "!"}, {198, 0x37474F, "V"},  {199, 0x8D6E63, "?"},
    {207, 0x607D8B, "-"}, {208, 0x455A64, "+"}, {209, 0x795548, "U"},  {203, 0x1565C0, "L"},
    {204, 0x00695C, "R"}, {202, 0xAD1457, "W"}, {128, 0xB25634, "V"},  {156, 0xB25634, "V"},
    {154, 0x2828C6, "!"},
};

void PaintBanner(QPainter& p, QSize size, bool top) {
    QLinearGradient gradient(0, 0, size.width(), 0);
    gradient.setColorAt(0, FromColorRef(0xB25634));
    gradient.setColorAt(1, FromColorRef(top ? 0xDF8D6F : 0xF7DFD6));
    p.fillRect(QRect(QPoint(0, 0), size), gradient);
    p.setPen(Qt::white);
    QFont font = DialogFont();
    if (top) {
        font.setPointSize(18);
        font.setBold(true);
        p.setFont(font);
        p.drawText(QRect(16, 0, size.width() - 32, size.height()), Qt::AlignVCenter | Qt::AlignLeft,
                   QStringLiteral("VELQOR Server V2"));
        font.setPointSize(9);
        font.setBold(false);
        p.setFont(font);
        p.drawText(QRect(16, 0, size.width() - 32, size.height()), Qt::AlignVCenter | Qt::AlignRight,
                   QString::fromUtf8("ゲートウェイ設定"));
    } else {
        p.setFont(font);
        p.drawText(QRect(16, 0, size.width() - 32, size.height()), Qt::AlignVCenter | Qt::AlignRight,
                   QStringLiteral("Tavrisk"));
    }
}

void PaintTile(QPainter& p, QSize size, const Tile& tile) {
    QRectF box(1, 1, size.width() - 2, size.height() - 2);
    QPainterPath path;
    path.addRoundedRect(box, size.width() / 6.0, size.height() / 6.0);
    p.fillPath(path, FromColorRef(tile.colorRef));
    p.setPen(Qt::white);
    QFont font = DialogFont();
    font.setBold(true);
    font.setPixelSize(std::max(6, size.height() * 3 / 5));
    p.setFont(font);
    p.drawText(box, Qt::AlignCenter, QString::fromUtf8(tile.mark));
}

bool IsDialog(const QWidget* widget) { return widget->property(kDialogProperty).toBool(); }

// Contrast of disabled texts against their ground: readable, yet lighter
// than the black of enabled ones.
constexpr double kDisabledTextContrast = 4.5;

// The lightest grey that keeps that contrast on the colour.
QColor DisabledTextOn(const QColor& ground) {
    for (int level = 0x90; level > 0; --level) {
        const QColor grey(level, level, level);
        if (ContrastRatio(grey, ground) >= kDisabledTextContrast) return grey;
    }
    return Qt::black;
}

}  // namespace

QColor FromColorRef(uint32_t colorRef) {
    return QColor(colorRef & 0xFF, (colorRef >> 8) & 0xFF, (colorRef >> 16) & 0xFF);
}

QFont DialogFont() {
    QFont font(QStringLiteral("IPAPGothic"));
    font.setPointSize(9);
    return font;
}

QSize DialogUnitsToPixels(const QFont& font, int x, int y) {
    QFontMetrics metrics(font);
    int averageWidth =
        (metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")) / 26 + 1) / 2;
    int lineHeight = metrics.height();
    return QSize(x * averageWidth / 4, y * lineHeight / 8);
}

double RelativeLuminance(const QColor& color) {
    auto linear = [](double channel) {
        return channel <= 0.04045 ? channel / 12.92 : std::pow((channel + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * linear(color.redF()) + 0.7152 * linear(color.greenF()) + 0.0722 * linear(color.blueF());
}

double ContrastRatio(const QColor& a, const QColor& b) {
    double la = RelativeLuminance(a), lb = RelativeLuminance(b);
    if (la < lb) std::swap(la, lb);
    return (la + 0.05) / (lb + 0.05);
}

void SetBackground(QWidget* widget, uint32_t colorRef) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, FromColorRef(colorRef));
    // The style's grey for disabled labels all but vanishes on the light
    // page colour.
    const QColor disabled = DisabledTextOn(FromColorRef(colorRef));
    for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        palette.setColor(QPalette::Disabled, role, disabled);
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

QPixmap Picture(int resourceId, QSize size) {
    QPixmap pixmap(size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    if (resourceId == 205 || resourceId == 206) {
        PaintBanner(p, size, resourceId == 205);
    } else if (resourceId == 162) {
        // The alert's ground: pale at the top, the page colour below.
        QLinearGradient gradient(0, 0, 0, size.height());
        gradient.setColorAt(0, FromColorRef(0xFFF5EE));
        gradient.setColorAt(1, FromColorRef(kPageColor));
        p.fillRect(QRect(QPoint(0, 0), size), gradient);
    } else if (resourceId == 210) {
        p.setBrush(FromColorRef(0xC06515));
        p.setPen(QPen(Qt::white, 2));
        p.drawEllipse(QRectF(2, 2, size.width() - 4, size.height() - 4));
        QFont font = DialogFont();
        font.setBold(true);
        font.setPixelSize(size.height() * 2 / 3);
        p.setFont(font);
        p.drawText(QRect(QPoint(0, 0), size), Qt::AlignCenter, QStringLiteral("?"));
    } else {
        for (const Tile& tile : kTiles)
            if (tile.id == resourceId) PaintTile(p, size, tile);
    }
    return pixmap;
}

void MarkDialog(QWidget* dialog) { dialog->setProperty(kDialogProperty, true); }

QWidget* FindControl(QWidget* dialog, int id) {
    const QString name = QString::number(id);
    for (QWidget* control : dialog->findChildren<QWidget*>(name)) {
        const QWidget* owner = control->parentWidget();
        while (owner && owner != dialog && !IsDialog(owner)) owner = owner->parentWidget();
        if (owner == dialog) return control;
    }
    return nullptr;
}

}  // namespace panel
