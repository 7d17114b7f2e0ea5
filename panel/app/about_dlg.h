// The version dialog of the tray menu.
#pragma once

#include <QDialog>
#include <QString>

namespace panel {

inline constexpr int kAboutVersionText = 1092;

class AboutDlg : public QDialog {
    Q_OBJECT
public:
    explicit AboutDlg(QWidget* parent = nullptr);
    // Bound to the version line.
    QString version;
    void OnInitDialog();
    int DoModal();

private:
    bool initialised_ = false;
};

}  // namespace panel
