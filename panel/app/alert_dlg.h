// The alert pop-up: a frameless window on top that slides in at the bottom
// right of the screen and asks whether to delete what was found.
#pragma once

#include <QDialog>
#include <QString>

class QTimer;

namespace panel {

class ColorButton;

inline constexpr int kAlertTitleText = 1090;
inline constexpr int kAlertText = 1046;

class Alert : public QDialog {
    Q_OBJECT
public:
    explicit Alert(QWidget* parent = nullptr);

    // Bound to the title line and to the text field.
    QString title;
    QString message;

    // Builds template 143 and places the window below the screen's bottom
    // edge, from where it slides in. DoModal does this and runs it:
    // Accepted for "はい".
    void OnInitDialog();
    int DoModal();

    // Where the slide ends: top (screen height − 10 × ceil(H / 10)).
    QPoint SlideEnd() const;
    bool Sliding() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void SlideStep();

    ColorButton* yes_ = nullptr;
    ColorButton* no_ = nullptr;
    QTimer* slide_ = nullptr;
    int stepsLeft_ = 0;
    bool initialised_ = false;
};

}  // namespace panel
