// The on-demand scan window: a scan of a target (or of the watched places)
// with progress, a list of findings and the commands on it, and a tray
// icon of its own.
#pragma once

#include <QDialog>
#include <QString>
#include <array>
#include <memory>
#include <string>

class QLabel;
class QMenu;
class QProgressBar;
class QSystemTrayIcon;
class QTreeWidget;

namespace panel {

class OnDemandScan;
class TrayIconRecord;

// The window's controls: the status line, the progress bar, the list of
// findings, the hidden start and copy buttons and the quit button.
inline constexpr int kScanStatusText = 1117;
inline constexpr int kScanProgressBar = 1116;
inline constexpr int kScanResultList = 1119;
inline constexpr int kScanStartButton = 1118;
inline constexpr int kScanCopyButton = 1318;
inline constexpr int kScanQuitButton = 2;
// The commands of the list's menu (copying has the copy button's id) and
// of the window's tray menu.
inline constexpr int kScanOpenFolderCommand = 1050;
inline constexpr int kScanDeleteCommand = 1042;
inline constexpr int kScanMoveCommand = 1047;
inline constexpr int kScanShowCommand = 32776;
inline constexpr int kScanExitCommand = 32777;

class COnDemandDlg : public QDialog {
    Q_OBJECT
public:
    explicit COnDemandDlg(QWidget* parent = nullptr);
    ~COnDemandDlg() override;

    // Set before the window runs; empty scans the watched places.
    std::string target;

    int DoModal();
    void OnInitDialog();

    // One finding at the top of the list.
    void AddResultRow(const QString& finding, const QString& shownPath, const QString& file);

    // List commands, on the selected rows.
    void OnDelete();
    void OnOpenFolder();
    // Moves into `folder`; an empty one asks for it.
    void OnMove(QString folder = {});
    void OnCopy();
    void SortByColumn(int column);
    void OnCancel();

    QTreeWidget* list() const { return list_; }
    QString statusText() const;
    QString tipText() const;
    // True once the scan thread has ended (tests wait on it).
    bool ScanFinished() const;

protected:
    void changeEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void StartOnDemandScan();
    void Finish();

    QTreeWidget* list_ = nullptr;
    QLabel* status_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QSystemTrayIcon* icon_ = nullptr;
    std::unique_ptr<QMenu> trayMenu_, listMenu_;
    std::unique_ptr<TrayIconRecord> tray_;
    std::shared_ptr<OnDemandScan> scan_;
    std::shared_ptr<bool> threadDone_;
    std::array<int, 2> sortDirection_{1, 1};
    int rowsAdded_ = 0;
    bool finished_ = false;
};

// Joins the scan threads of closed windows; the panel calls it before it
// ends. A thread ends after the request it has in flight.
void StopScanThreads();

}  // namespace panel
