// A picture of the panel's resources on a coloured ground; a click is
// reported.
#pragma once

#include <QWidget>
#include <cstdint>

namespace panel {

class PictureView : public QWidget {
    Q_OBJECT
public:
    PictureView(int resourceId, uint32_t background, QWidget* parent = nullptr);

signals:
    void clicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    int resourceId_;
};

}  // namespace panel
