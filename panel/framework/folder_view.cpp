#include "panel/framework/folder_view.h"

#include <dirent.h>
#include <sys/stat.h>

#include <QApplication>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QPushButton>
#include <QStyle>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <memory>
#include <set>

#include "common/folder_white_list.h"
#include "common/start_values.h"
#include "panel/framework/look.h"
#include "panel/framework/panel_state.h"
#include "panel/framework/registry_ops.h"
#include "panel/framework/strings.h"

namespace panel {

std::string ListServerDrives() { return "/"; }
namespace {

constexpr int kPathRole = Qt::UserRole;
constexpr int kLoadedRole = Qt::UserRole + 1;
constexpr const common::TextValue& kDrivePath = common::watch_value::kDrivePath;

// The sub-folders of a folder, sorted; links to folders are not followed,
// so a link loop never grows the tree.
std::vector<std::string> SubFolders(const std::string& folder) {
    std::vector<std::string> names;
    std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(folder.c_str()), closedir);
    if (!dir) return names;
    while (dirent* entry = readdir(dir.get())) {
        std::string name = entry->d_name;
        if (name == "." || name == "..") continue;
        struct stat st;
        if (lstat((folder + name).c_str(), &st) == 0 && S_ISDIR(st.st_mode)) names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string ReadDrivePath() {
    std::string text;
    // Read whole: a long list of places must not be cut.
    RegReadString(RegRoot::LocalMachine, kProductSettingsKey, kDrivePath.name, kDrivePath.byDefault, text, 1 << 20);
    return text;
}

std::string Local(const QString& text) { return text.toStdString(); }

}  // namespace

std::vector<std::string> DrivePathEntries(const std::string& drivePath) {
    std::vector<std::string> entries;
    std::string entry;
    for (char c : drivePath + ";") {
        if (c == ';' || c == ',') {
            if (!entry.empty()) entries.push_back(entry);
            entry.clear();
        } else {
            entry += c;
        }
    }
    return entries;
}

FolderTreeDialog::FolderTreeDialog(int templateId, int treeId, bool checkBoxes, int titleString, QWidget* parent)
    : QDialog(parent), checkBoxes_(checkBoxes) {
    setObjectName(QString::number(templateId));
    MarkDialog(this);
    setFont(DialogFont());
    setWindowTitle(LoadString(titleString));
    auto* layout = new QVBoxLayout(this);
    tree_ = WithId(new QTreeWidget(this), treeId);
    tree_->setHeaderHidden(true);
    tree_->setStyleSheet(QStringLiteral("QTreeWidget { background: white; }"));
    tree_->setIconSize(QSize(16, 16));
    layout->addWidget(tree_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    WithId(buttons->button(QDialogButtonBox::Ok), 1);
    WithId(buttons->button(QDialogButtonBox::Cancel), 2);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    resize(DialogUnitsToPixels(font(), 200, 220));
    connect(tree_, &QTreeWidget::itemExpanded, this, [this](QTreeWidgetItem* item) { FillAhead(item); });
}

QString FolderTreeDialog::PathOf(const QTreeWidgetItem* item) { return item->data(0, kPathRole).toString(); }

bool FolderTreeDialog::Loaded(const QTreeWidgetItem* item) { return item->data(0, kLoadedRole).toBool(); }

QTreeWidgetItem* FolderTreeDialog::AddDrive() {
    auto* drive = new QTreeWidgetItem(tree_, QStringList(QString::fromStdString(ListServerDrives())));
    drive->setData(0, kPathRole, QString::fromStdString(ListServerDrives()));
    drive->setIcon(0, style()->standardIcon(QStyle::SP_DriveHDIcon));
    return drive;
}

void FolderTreeDialog::FillChildren(QTreeWidgetItem* item, Qt::CheckState state) {
    if (Loaded(item)) return;
    item->setData(0, kLoadedRole, true);
    const std::string folder = Local(PathOf(item));
    const std::string dataFolder = DataFolder();
    for (const std::string& name : SubFolders(folder)) {
        auto* child = new QTreeWidgetItem(item, QStringList(QString::fromStdString(name)));
        const std::string path = folder + name + "/";
        child->setData(0, kPathRole, QString::fromStdString(path));
        child->setIcon(0, style()->standardIcon(QStyle::SP_DirIcon));
        if (checkBoxes_)
            child->setCheckState(0, common::IsPathInWatchList(dataFolder, path) ? Qt::Unchecked : state);
    }
}

void FolderTreeDialog::FillAhead(QTreeWidgetItem* item) {
    for (int i = 0; i < item->childCount(); ++i) {
        QTreeWidgetItem* child = item->child(i);
        FillChildren(child, checkBoxes_ ? child->checkState(0) : Qt::Unchecked);
    }
}

QTreeWidgetItem* FolderTreeDialog::ShowPath(const QString& path) {
    QTreeWidgetItem* item = tree_->topLevelItemCount() ? tree_->topLevelItem(0) : nullptr;
    while (item && PathOf(item) != path) {
        QTreeWidgetItem* next = nullptr;
        for (int i = 0; i < item->childCount() && !next; ++i)
            if (path.startsWith(PathOf(item->child(i)))) next = item->child(i);
        item = next;
        if (item) {
            item->parent()->setExpanded(true);
            FillAhead(item->parent());
        }
    }
    if (item) {
        item->setExpanded(true);
        FillAhead(item);
    }
    return item;
}

CFolderView::CFolderView(QWidget* parent) : FolderTreeDialog(144, kWatchedFolderTree, true, 134, parent) {
    connect(Control<QPushButton>(this, 1), &QPushButton::clicked, this, [this] { OnOK(); });
    connect(tree_, &QTreeWidget::itemChanged, this, &CFolderView::OnItemChanged);
    OnInitDialog();
}

void CFolderView::OnInitDialog() {
    propagating_ = true;
    tree_->clear();
    const std::vector<std::string> places = DrivePathEntries(ReadDrivePath());
    QTreeWidgetItem* drive = AddDrive();
    // Checked only when the drive itself is a watched place: "/" inside
    // "/srv/data/" is not the whole drive.
    const bool watched = std::find(places.begin(), places.end(), ListServerDrives()) != places.end();
    drive->setCheckState(0, watched ? Qt::Checked : Qt::Unchecked);
    FillChildren(drive, drive->checkState(0));
    drive->setExpanded(true);
    FillAhead(drive);
    propagating_ = false;
}

void CFolderView::OnItemChanged(QTreeWidgetItem* item, int column) {
    if (propagating_ || column != 0) return;
    propagating_ = true;
    const Qt::CheckState state = item->checkState(0);
    std::vector<QTreeWidgetItem*> pending = {item};
    while (!pending.empty()) {
        QTreeWidgetItem* at = pending.back();
        pending.pop_back();
        for (int i = 0; i < at->childCount(); ++i) {
            at->child(i)->setCheckState(0, state);
            pending.push_back(at->child(i));
        }
    }
    // A checked folder is watched only when every place above it is: check
    // the way up to the drive.
    if (state == Qt::Checked)
        for (QTreeWidgetItem* up = item->parent(); up; up = up->parent()) up->setCheckState(0, Qt::Checked);
    propagating_ = false;
}

void CFolderView::SaveFolderLists(QTreeWidgetItem* drive) {
    const std::string dataFolder = DataFolder();
    for (int i = 0; i < drive->childCount(); ++i) {
        QTreeWidgetItem* first = drive->child(i);
        const std::string firstPath = Local(PathOf(first));
        // The folders the tree shows under this first-level folder, and
        // which of them are left out; lines of folders never shown stay.
        std::set<std::string> shown;
        std::vector<std::string> excluded;
        std::vector<QTreeWidgetItem*> pending = {first};
        while (!pending.empty()) {
            QTreeWidgetItem* at = pending.back();
            pending.pop_back();
            const std::string path = Local(PathOf(at));
            shown.insert(path);
            if (at->checkState(0) == Qt::Unchecked) excluded.push_back(path);
            for (int c = at->childCount() - 1; c >= 0; --c) pending.push_back(at->child(c));
        }
        const std::string listPath = common::FolderListPath(dataFolder, firstPath);
        std::vector<std::string> lines = excluded;
        for (const std::string& old : common::ReadFolderList(listPath))
            if (!shown.count(old) && std::find(lines.begin(), lines.end(), old) == lines.end()) lines.push_back(old);
        struct stat st;
        if (lines.empty() && stat(listPath.c_str(), &st) != 0) continue;  // nothing to say, no file to empty
        common::SaveFolderList(dataFolder, firstPath, lines, false);
    }
}

void CFolderView::OnOK() {
    std::string places;
    for (const std::string& entry : DrivePathEntries(ReadDrivePath())) {
        if (entry == ListServerDrives()) continue;
        places += (places.empty() ? "" : ";") + entry;
    }
    QTreeWidgetItem* drive = tree_->topLevelItem(0);
    if (drive && drive->checkState(0) == Qt::Checked) {
        places += (places.empty() ? "" : ";") + Local(PathOf(drive));
        SaveFolderLists(drive);
    }
    RegWriteString(kProductSettingsKey, kDrivePath.name, places);
    accept();
}

CFolderView2::CFolderView2(QWidget* parent) : FolderTreeDialog(174, kFolderPickerTree, false, 135, parent) {
    connect(Control<QPushButton>(this, 1), &QPushButton::clicked, this, [this] { OnOK(); });
    connect(tree_, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem* item) { FillAhead(item); });
    OnInitDialog();
}

void CFolderView2::OnInitDialog() {
    tree_->clear();
    QTreeWidgetItem* drive = AddDrive();
    FillChildren(drive, Qt::Unchecked);
    drive->setExpanded(true);
    FillAhead(drive);
}

void CFolderView2::OnOK() {
    if (QTreeWidgetItem* item = tree_->currentItem()) result = PathOf(item);
    accept();
}

}  // namespace panel
