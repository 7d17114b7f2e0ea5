#include "panel/app/on_demand_dlg.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QSystemTrayIcon>
#include <QTreeWidget>
#include <QUrl>
#include <QVBoxLayout>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <mutex>
#include <thread>
#include <vector>

#include "panel/app/on_demand_scan.h"
#include "panel/app/tray_icon_record.h"
#include "panel/framework/look.h"
#include "panel/framework/message_box.h"
#include "panel/framework/panel_state.h"
#include "platform/io/full_write.h"

namespace panel {
namespace {

constexpr int kFileRole = Qt::UserRole;
constexpr int kOrderRole = Qt::UserRole + 1;
const char kDashes[] = "------------------------------------------------------\n";

struct ScanThreads {
    std::mutex mutex;
    std::vector<std::thread> threads;
};
ScanThreads& Threads() {
    static ScanThreads threads;
    return threads;
}

QString Text(const std::string& bytes) { return QString::fromUtf8(bytes.data(), static_cast<int>(bytes.size())); }
std::string Bytes(const QString& text) { return text.toStdString(); }

// Moves a file into `folder` without replacing anything there; across file
// systems it is copied, synced and only then deleted.
bool MoveInto(const std::string& file, const std::string& folder) {
    std::string name = file.substr(file.find_last_of('/') + 1);
    std::string target = folder + (folder.empty() || folder.back() == '/' ? "" : "/") + name;
    if (::link(file.c_str(), target.c_str()) == 0) return ::unlink(file.c_str()) == 0;
    if (errno != EXDEV && errno != EPERM) return false;
    int in = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) return false;
    struct stat st;
    fstat(in, &st);
    int out = ::open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, st.st_mode & 0777);
    if (out < 0) {
        ::close(in);
        return false;
    }
    char buffer[65536];
    bool ok = true;
    for (ssize_t n; ok && (n = ::read(in, buffer, sizeof buffer)) != 0;) {
        if (n < 0) {
            ok = errno == EINTR;
            continue;
        }
        ok = platform::WriteAll(out, std::string_view(buffer, static_cast<size_t>(n)));
    }
    ok = ok && ::fsync(out) == 0;
    ok = (::close(out) == 0) && ok;
    ::close(in);
    if (!ok) {
        ::unlink(target.c_str());
        return false;
    }
    return ::unlink(file.c_str()) == 0;
}

}  // namespace

COnDemandDlg::COnDemandDlg(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("157"));
    MarkDialog(this);
    setWindowTitle(QString::fromUtf8("VELQOR Server ウィルススキャン"));
    setFont(DialogFont());
    resize(DialogUnitsToPixels(font(), 359, 267));
    auto* layout = new QVBoxLayout(this);
    auto* top = new QHBoxLayout;
    auto* picture = new QLabel(this);
    picture->setPixmap(Picture(154, QSize(32, 32)));
    top->addWidget(picture);
    auto* column = new QVBoxLayout;
    status_ = WithId(new QLabel(QString::fromUtf8("検査中...."), this), kScanStatusText);
    status_->setWordWrap(true);
    progress_ = WithId(new QProgressBar(this), kScanProgressBar);
    progress_->setTextVisible(false);
    column->addWidget(status_);
    column->addWidget(progress_);
    top->addLayout(column, 1);
    layout->addLayout(top);
    list_ = WithId(new QTreeWidget(this), kScanResultList);
    list_->setColumnCount(2);
    list_->setRootIsDecorated(false);
    list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    list_->header()->setSectionsClickable(true);
    list_->header()->setSortIndicatorShown(false);
    layout->addWidget(list_, 1);
    auto* buttons = new QHBoxLayout;
    auto* start = WithId(new QPushButton(QString::fromUtf8("スキャン開始"), this), kScanStartButton);
    start->hide();
    auto* copy = WithId(new QPushButton(QString::fromUtf8("コピー"), this), kScanCopyButton);
    copy->hide();
    auto* quit = WithId(new QPushButton(QString::fromUtf8("終了"), this), kScanQuitButton);
    quit->setDefault(true);
    buttons->addStretch();
    buttons->addWidget(start);
    buttons->addWidget(copy);
    buttons->addWidget(quit);
    layout->addLayout(buttons);
    connect(quit, &QPushButton::clicked, this, &COnDemandDlg::OnCancel);
    connect(copy, &QPushButton::clicked, this, &COnDemandDlg::OnCopy);
    connect(list_->header(), &QHeaderView::sectionClicked, this, &COnDemandDlg::SortByColumn);

    listMenu_ = std::make_unique<QMenu>();
    auto add = [this](QMenu* menu, int id, const char* text, auto slot) {
        QAction* action = menu->addAction(QString::fromUtf8(text));
        action->setData(id);
        connect(action, &QAction::triggered, this, slot);
    };
    add(listMenu_.get(), kScanCopyButton, "一覧をコピー(&C)", [this] { OnCopy(); });
    listMenu_->addSeparator();
    add(listMenu_.get(), kScanOpenFolderCommand, "フォルダを開く(&O)", [this] { OnOpenFolder(); });
    add(listMenu_.get(), kScanDeleteCommand, "ファイルを削除(&D)", [this] { OnDelete(); });
    add(listMenu_.get(), kScanMoveCommand, "ファイルを移動(&M)", [this] { OnMove(); });
    list_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(list_, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { listMenu_->popup(list_->viewport()->mapToGlobal(at)); });

    trayMenu_ = std::make_unique<QMenu>();
    add(trayMenu_.get(), kScanShowCommand, "表示(&V)", [this] { showNormal(); });
    trayMenu_->addSeparator();
    add(trayMenu_.get(), kScanExitCommand, "終了(&X)", [this] { OnCancel(); });
}

COnDemandDlg::~COnDemandDlg() { Finish(); }

void COnDemandDlg::OnInitDialog() {
    icon_ = new QSystemTrayIcon(QIcon(Picture(154, QSize(64, 64))), this);
    icon_->setContextMenu(trayMenu_.get());
    tray_ = std::make_unique<TrayIconRecord>(icon_);
    tray_->SetTip(QString::fromUtf8("フォルダの構成を確認中..."));
    icon_->show();
    status_->clear();
    list_->setHeaderLabels({QString::fromUtf8("発見されたウィルス名"), QString::fromUtf8("ファイル名")});
    list_->setColumnWidth(0, 240);
    list_->setColumnWidth(1, 240);
    WriteScanLog(DataFolder(), kDashes, true);
    WriteScanLog(DataFolder(), "[Start Virus scanning...]\n");
    StartOnDemandScan();
    if (QWidget* start = FindControl(this, kScanStartButton)) start->setEnabled(false);
}

void COnDemandDlg::StartOnDemandScan() {
    QPointer<COnDemandDlg> self(this);
    auto post = [self](auto work) {
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [self, work] {
                if (self) work(*self);
            },
            Qt::QueuedConnection);
    };
    ScanFeed feed;
    feed.status = [post](const std::string& text) { post([text](COnDemandDlg& d) { d.status_->setText(Text(text)); }); };
    feed.progressRange = [post](uint32_t n) {
        post([n](COnDemandDlg& d) { d.progress_->setRange(0, static_cast<int>(std::min<uint32_t>(n, INT32_MAX))); });
    };
    feed.progressPosition = [post](uint32_t n) {
        post([n](COnDemandDlg& d) { d.progress_->setValue(static_cast<int>(std::min<uint32_t>(n, INT32_MAX))); });
    };
    feed.tip = [post](const std::string& text) {
        post([text](COnDemandDlg& d) { d.tray_->SetTip(CutToUnits(Text(text), TrayIconRecord::kTipUnits)); });
    };
    feed.finding = [post](const std::string& finding, const std::string& shown, const std::string& file) {
        post([=](COnDemandDlg& d) { d.AddResultRow(Text(finding), Text(shown), Text(file)); });
    };
    scan_ = std::make_shared<OnDemandScan>(target, DataFolder(), std::move(feed));
    threadDone_ = std::make_shared<bool>(false);
    auto scan = scan_;
    std::thread thread([scan, post] {
        scan->OnDemandScanThread();
        post([](COnDemandDlg& d) { *d.threadDone_ = true; });
    });
    std::lock_guard<std::mutex> lock(Threads().mutex);
    Threads().threads.push_back(std::move(thread));
}

bool COnDemandDlg::ScanFinished() const { return threadDone_ && *threadDone_; }

QString COnDemandDlg::statusText() const { return status_->text(); }
QString COnDemandDlg::tipText() const { return tray_ ? tray_->tip() : QString(); }

void COnDemandDlg::AddResultRow(const QString& finding, const QString& shownPath, const QString& file) {
    auto* row = new QTreeWidgetItem({finding, shownPath.left(shownPath.indexOf('\t') < 0 ? -1 : shownPath.indexOf('\t'))});
    row->setData(0, kFileRole, file);
    row->setData(0, kOrderRole, rowsAdded_++);
    list_->insertTopLevelItem(0, row);
}

void COnDemandDlg::OnDelete() {
    QStringList refused;
    for (QTreeWidgetItem* row : list_->selectedItems()) {
        const std::string file = Bytes(row->data(0, kFileRole).toString());
        struct stat st;
        if (::unlink(file.c_str()) == 0 || lstat(file.c_str(), &st) != 0)
            delete row;
        else
            refused << row->text(1);
    }
    if (!refused.isEmpty()) ShowMessage(this, QString::fromUtf8("削除できません。\n") + refused.join('\n'), QMessageBox::Warning);
}

void COnDemandDlg::OnOpenFolder() {
    for (QTreeWidgetItem* row : list_->selectedItems()) {
        const QString file = row->data(0, kFileRole).toString();
        QDesktopServices::openUrl(QUrl::fromLocalFile(file.left(file.lastIndexOf('/') + 1)));
    }
}

void COnDemandDlg::OnMove(QString folder) {
    if (folder.isEmpty()) folder = QFileDialog::getExistingDirectory(this, QString());
    if (folder.isEmpty()) return;
    QStringList refused;
    for (QTreeWidgetItem* row : list_->selectedItems()) {
        // A member row names its container: the container is what moves.
        if (MoveInto(Bytes(row->data(0, kFileRole).toString()), Bytes(folder)))
            delete row;
        else
            refused << row->text(1);
    }
    if (!refused.isEmpty()) ShowMessage(this, QString::fromUtf8("移動できません。\n") + refused.join('\n'), QMessageBox::Warning);
}

void COnDemandDlg::OnCopy() {
    QString text;
    for (int i = 0; i < list_->topLevelItemCount(); ++i) {
        QTreeWidgetItem* row = list_->topLevelItem(i);
        if (row->isSelected()) text += row->text(0) + QStringLiteral(" ") + row->text(1) + QStringLiteral("\r\n");
    }
    if (!text.isEmpty()) QApplication::clipboard()->setText(text);
}

void COnDemandDlg::SortByColumn(int column) {
    if (column < 0 || column > 1) return;
    sortDirection_[column] = sortDirection_[column] == 1 ? 2 : 1;
    list_->sortItems(column, sortDirection_[column] == 1 ? Qt::AscendingOrder : Qt::DescendingOrder);
}

void COnDemandDlg::OnCancel() {
    if (scan_) scan_->Cancel();
    if (QWidget* start = FindControl(this, kScanStartButton)) start->setEnabled(true);
    reject();
    Finish();
}

void COnDemandDlg::Finish() {
    if (finished_ || !tray_) return;
    finished_ = true;
    if (scan_) scan_->Cancel();
    WriteScanLog(DataFolder(), "[End Virus scanning.]\n");
    WriteScanLog(DataFolder(), kDashes);
    State().scanWindowOpen = false;
    if (icon_) icon_->hide();
}

int COnDemandDlg::DoModal() {
    OnInitDialog();
    return exec();
}

void COnDemandDlg::changeEvent(QEvent* event) {
    QDialog::changeEvent(event);
    // Minimised, the window lives on in its tray icon only.
    if (event->type() == QEvent::WindowStateChange && isMinimized()) hide();
}

void COnDemandDlg::keyPressEvent(QKeyEvent* event) {
    if (list_->hasFocus() && event->key() == Qt::Key_Delete) {
        OnDelete();
        return;
    }
    if (list_->hasFocus() && (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)) {
        OnOpenFolder();
        return;
    }
    if (event->key() == Qt::Key_Escape) {
        OnCancel();
        return;
    }
    QDialog::keyPressEvent(event);
}

void COnDemandDlg::closeEvent(QCloseEvent* event) {
    OnCancel();
    event->accept();
}

void StopScanThreads() {
    std::vector<std::thread> threads;
    {
        std::lock_guard<std::mutex> lock(Threads().mutex);
        threads.swap(Threads().threads);
    }
    for (std::thread& thread : threads) thread.join();
}

}  // namespace panel
