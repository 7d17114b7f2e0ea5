// The small progress window the pages show while they empty a cache
// folder. The caller keeps the user-interface thread busy meanwhile and
// repaints it after each step.
#pragma once

#include <QDialog>
#include <QString>

class QLabel;
class QProgressBar;

namespace panel {

inline constexpr int kIndicatorText = 1239;
inline constexpr int kIndicatorBar = 1238;

class IndicatorDlg : public QDialog {
    Q_OBJECT
public:
    explicit IndicatorDlg(QWidget* parent = nullptr);

    // The line shown beside the bar; set before Create, or between steps
    // followed by ControlsFromFields.
    QString text;

    // Template 159, title string 136, centred; the window is shown modeless.
    void Create();
    // 0 to `steps`.
    void SetRange(int steps);
    // Steps done, shown at once.
    void SetPosition(int done);
    void ControlsFromFields();

    QProgressBar* progress() const { return progress_; }

private:
    QProgressBar* progress_ = nullptr;
    QLabel* label_ = nullptr;
};

}  // namespace panel
