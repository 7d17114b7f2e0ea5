#include "panel/app/alert_dlg.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPainter>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>

#include "panel/framework/color_button.h"
#include "panel/framework/look.h"
#include "panel/framework/panel_state.h"
#include "panel/framework/picture_view.h"
#include "panel/framework/strings.h"

namespace panel {
namespace {

constexpr uint32_t kButtonFace = 0xE1E1E1;
constexpr int kSlidePixels = 10;
constexpr int kSlideMs = 50;

// The screen's right and bottom edges as the start-up took them, or the
// primary screen's now when it took none.
QPoint ScreenCorner() {
    const DesktopRect& desktop = State().desktop;
    if (desktop.right > 0 && desktop.bottom > 0) return {desktop.right, desktop.bottom};
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) return {0, 0};
    QRect area = screen->geometry();
    return {area.right() + 1, area.bottom() + 1};
}

ColorButton* Button(QWidget* parent, int id, const char* text) {
    auto* button = WithId(new ColorButton(QString::fromUtf8(text), parent), id);
    button->FaceColor = kButtonFace;
    button->TextColor = 0x000000;
    return button;
}

}  // namespace

Alert::Alert(QWidget* parent)
    : QDialog(parent, Qt::FramelessWindowHint | Qt::Tool | Qt::WindowStaysOnTopHint) {
    MarkDialog(this);
}

void Alert::OnInitDialog() {
    if (initialised_) return;
    initialised_ = true;
    setFont(DialogFont());
    setFixedSize(DialogUnitsToPixels(font(), 149, 124));
    title = LoadString(133);

    auto* titleLine = WithId(new QLabel(title, this), kAlertTitleText);
    QFont bold = font();
    bold.setBold(true);
    titleLine->setFont(bold);
    auto* icon = new PictureView(154, 0xFFF5EE, this);
    icon->setFixedSize(32, 32);
    auto* question = new QLabel(QString::fromUtf8("発見されたウイルスを削除しますか？"), this);
    question->setWordWrap(true);
    // The path is what the administrator decides on: it is shown whole,
    // wrapped where it is too long for a line (a path rarely has blanks to
    // break at), and can be selected and copied.
    auto* text = WithId(new QPlainTextEdit(this), kAlertText);
    text->setReadOnly(true);
    text->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    text->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    text->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    text->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    const QString shown = QString(message).replace(QStringLiteral("\r\n"), QStringLiteral("\n")).trimmed();
    text->setPlainText(shown);
    text->setToolTip(shown);
    yes_ = Button(this, 1, "はい");
    no_ = Button(this, 2, "いいえ");
    connect(yes_, &QPushButton::clicked, this, &QDialog::accept);
    connect(no_, &QPushButton::clicked, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(titleLine);
    auto* middle = new QHBoxLayout;
    middle->addWidget(icon, 0, Qt::AlignTop);
    middle->addWidget(question, 1);
    layout->addLayout(middle);
    layout->addWidget(text, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(yes_);
    buttons->addWidget(no_);
    buttons->addStretch(1);
    layout->addLayout(buttons);

    // Start below the screen's bottom edge.
    QPoint corner = ScreenCorner();
    move(corner.x() - width(), corner.y());
    stepsLeft_ = (height() + kSlidePixels - 1) / kSlidePixels;
    slide_ = new QTimer(this);
    slide_->setInterval(kSlideMs);
    connect(slide_, &QTimer::timeout, this, &Alert::SlideStep);
}

int Alert::DoModal() {
    OnInitDialog();
    if (stepsLeft_ > 0) slide_->start();
    return exec();
}

QPoint Alert::SlideEnd() const {
    QPoint corner = ScreenCorner();
    int steps = (height() + kSlidePixels - 1) / kSlidePixels;
    return {corner.x() - width(), corner.y() - kSlidePixels * steps};
}

bool Alert::Sliding() const { return stepsLeft_ > 0; }

void Alert::SlideStep() {
    if (stepsLeft_ <= 0) {
        slide_->stop();
        return;
    }
    move(x(), y() - kSlidePixels);
    if (--stepsLeft_ == 0) slide_->stop();
}

void Alert::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.drawPixmap(rect(), Picture(162, size()));
}

}  // namespace panel
