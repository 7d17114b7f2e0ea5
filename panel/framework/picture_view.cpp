#include "panel/framework/picture_view.h"

#include <QMouseEvent>
#include <QPainter>

#include "panel/framework/look.h"

namespace panel {

PictureView::PictureView(int resourceId, uint32_t background, QWidget* parent)
    : QWidget(parent), resourceId_(resourceId) {
    SetBackground(this, background);
}

void PictureView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    QPixmap picture = Picture(resourceId_, size());
    painter.drawPixmap(0, 0, picture);
}

void PictureView::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) emit clicked();
}

}  // namespace panel
