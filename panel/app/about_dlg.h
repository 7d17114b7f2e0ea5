// The version dialog of the tray menu.
#pragma once

#include <QDialog>
#include <QString>

namespace panel {

class AboutDlg : public QDialog {
    Q_OBJECT
public:
    explicit AboutDlg(QWidget* parent = nullptr);
    // Bound to text line 1092.
    QString version;
    void OnInitDialog();
    int DoModal();

private:
    bool initialised_ = false;
};

}  // namespace panel
