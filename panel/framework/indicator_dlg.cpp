#include "panel/framework/indicator_dlg.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QScreen>
#include <QVBoxLayout>

#include "panel/framework/look.h"
#include "panel/framework/strings.h"

namespace panel {

IndicatorDlg::IndicatorDlg(QWidget* parent) : QDialog(parent) { MarkDialog(this); }

void IndicatorDlg::Create() {
    setFont(DialogFont());
    auto* icon = WithId(new QLabel(this), 128);
    icon->setPixmap(Picture(128, QSize(32, 32)));
    label_ = WithId(new QLabel(this), kIndicatorText);
    progress_ = WithId(new QProgressBar(this), kIndicatorBar);
    progress_->setTextVisible(false);
    auto* column = new QVBoxLayout;
    column->addWidget(label_);
    column->addWidget(progress_);
    auto* row = new QHBoxLayout(this);
    row->addWidget(icon, 0, Qt::AlignTop);
    row->addLayout(column, 1);
    resize(DialogUnitsToPixels(font(), 200, 50));
    setWindowTitle(LoadString(136));
    ControlsFromFields();
    if (QScreen* screen = QGuiApplication::primaryScreen()) move(screen->geometry().center() - rect().center());
    show();
}

void IndicatorDlg::SetRange(int steps) { progress_->setRange(0, steps); }

void IndicatorDlg::SetPosition(int done) {
    progress_->setValue(done);
    ControlsFromFields();
    repaint();
}

void IndicatorDlg::ControlsFromFields() { label_->setText(text); }

}  // namespace panel
