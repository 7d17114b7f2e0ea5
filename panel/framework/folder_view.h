// The folder tree dialogs: CFolderView sets the watched places and the
// folders real-time watching leaves out (check boxes over the one drive
// "/"), CFolderView2 picks one folder. Both fill the tree one level ahead
// of what is shown, so expanding never waits on a deep walk.
#pragma once

#include <QDialog>
#include <QString>
#include <optional>
#include <string>

class QTreeWidget;
class QTreeWidgetItem;

namespace panel {

// The server's drives for the watch pages: one drive, "/".
std::string ListServerDrives();

class FolderTreeDialog : public QDialog {
    Q_OBJECT
public:
    QTreeWidget* tree() const { return tree_; }
    // The item showing `path` ("/" or a folder ending in "/"), expanding
    // (and so loading) the way down; null when there is no such folder.
    QTreeWidgetItem* ShowPath(const QString& path);
    // The folder an item stands for, ending in "/".
    static QString PathOf(const QTreeWidgetItem* item);

protected:
    FolderTreeDialog(int templateId, int treeId, bool checkBoxes, int titleString, QWidget* parent);
    // Adds the folders of `item` as its children; with check boxes each is
    // unchecked when its own list names it, else takes `state`.
    void FillChildren(QTreeWidgetItem* item, Qt::CheckState state);
    // Loads the children of each child of `item` not yet loaded.
    void FillAhead(QTreeWidgetItem* item);
    static bool Loaded(const QTreeWidgetItem* item);
    QTreeWidgetItem* AddDrive();

    QTreeWidget* tree_ = nullptr;
    bool checkBoxes_;
};

inline constexpr int kWatchedFolderTree = 1049;
class CFolderView : public FolderTreeDialog {
    Q_OBJECT
public:
    explicit CFolderView(QWidget* parent = nullptr);
    void OnInitDialog();
    // Writes drivepath and the folder lists, then closes with OK.
    void OnOK();

private:
    void OnItemChanged(QTreeWidgetItem* item, int column);
    void SaveFolderLists(QTreeWidgetItem* drive);
    bool propagating_ = false;
};

inline constexpr int kFolderPickerTree = 1144;
class CFolderView2 : public FolderTreeDialog {
    Q_OBJECT
public:
    explicit CFolderView2(QWidget* parent = nullptr);
    void OnInitDialog();
    // The selected folder into the result, then closes with OK.
    void OnOK();
    // The chosen folder ("/srv/mail/"); as it was when Cancel closed.
    QString result;
};

// The watched places of drivepath: entries separated by ";" (or ","),
// empty ones dropped.
std::vector<std::string> DrivePathEntries(const std::string& drivePath);

}  // namespace panel
