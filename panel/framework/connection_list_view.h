// The list of a connection-list page, shared by the web proxy pages
// (panel/webpages) and open to the mail proxy pages (panel/mailpages): a
// QTreeWidget in report form with fixed columns, its header-click sort
// with one direction per column kept per page class for the life of the
// process, removal of the selected rows, and the arrow and Delete keys
// handed to the page. Menu 155 comes from SettingsPage::AttachDeleteMenu.
#pragma once

#include <QObject>
#include <QString>
#include <QTreeWidget>
#include <functional>
#include <vector>

namespace panel {

struct ListColumn {
    const char* title;
    int width;  // pixels
};

// Report form, full-row select, many rows selectable, no sort of its own;
// the columns in order (column 0 is the row's item text).
void SetUpConnectionList(QTreeWidget* list, const std::vector<ListColumn>& columns);

// Sort directions of one page class: 1 ascending, 2 descending, all 1 at
// start. Keep one static instance per page class.
class SortDirections {
public:
    // Toggles the column's direction (1 becomes 2, anything else 1) and
    // returns the new one.
    int Toggle(int column);

private:
    std::vector<int> directions_;
};

// The order of two texts as the list sorts them: the first 255 UTF-16 code
// units, compared unit by unit as unsigned numbers; <0, 0 or >0.
int CompareListTexts(const QString& a, const QString& b);

// Sorts the rows by the column's text (2: descending), keeping the order
// of equal rows and each row's data.
void SortListByColumn(QTreeWidget* list, int column, int direction);

// Removes every selected row.
void RemoveSelectedRows(QTreeWidget* list);

// The row the page's fields show after a click (offset 0) or an arrow key
// (-1, +1): the selection mark (the current row) plus the offset when that
// lies in the list, else the mark itself; -1 when there is no mark.
int RowAtOffset(QTreeWidget* list, int offset);

// Up, Down and Delete on the list, seen before the list moves its current
// row: `arrow` gets -1 or +1, `remove` the Delete key; `click` a left click
// anywhere in the list, also where no row is.
class ListKeys : public QObject {
    Q_OBJECT
public:
    ListKeys(QTreeWidget* list, std::function<void(int offset)> arrow, std::function<void()> remove,
             std::function<void()> click);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::function<void(int)> arrow_;
    std::function<void()> remove_;
    std::function<void()> click_;
    QWidget* viewport_;
};

}  // namespace panel
