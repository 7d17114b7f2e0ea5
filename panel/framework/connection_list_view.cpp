#include "panel/framework/connection_list_view.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <algorithm>

namespace panel {

void SetUpConnectionList(QTreeWidget* list, const std::vector<ListColumn>& columns) {
    list->setRootIsDecorated(false);
    list->setItemsExpandable(false);
    list->setUniformRowHeights(true);
    list->setAllColumnsShowFocus(true);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list->setSortingEnabled(false);
    list->setColumnCount(static_cast<int>(columns.size()));
    QStringList titles;
    for (const ListColumn& column : columns) titles << QString::fromUtf8(column.title);
    list->setHeaderLabels(titles);
    list->header()->setSectionsClickable(true);
    list->header()->setSortIndicatorShown(false);
    list->header()->setStretchLastSection(false);
    for (size_t i = 0; i < columns.size(); ++i) list->setColumnWidth(static_cast<int>(i), columns[i].width);
}

int SortDirections::Toggle(int column) {
    if (column < 0) return 1;
    if (directions_.size() <= static_cast<size_t>(column)) directions_.resize(static_cast<size_t>(column) + 1, 1);
    int& direction = directions_[static_cast<size_t>(column)];
    direction = direction == 1 ? 2 : 1;
    return direction;
}

int CompareListTexts(const QString& a, const QString& b) {
    constexpr qsizetype kLimit = 255;
    qsizetype n = std::min({a.size(), b.size(), kLimit});
    for (qsizetype i = 0; i < n; ++i) {
        ushort x = a[i].unicode(), y = b[i].unicode();
        if (x != y) return x < y ? -1 : 1;
    }
    qsizetype la = std::min(a.size(), kLimit), lb = std::min(b.size(), kLimit);
    return la == lb ? 0 : (la < lb ? -1 : 1);
}

void SortListByColumn(QTreeWidget* list, int column, int direction) {
    QTreeWidgetItem* current = list->currentItem();
    const QList<QTreeWidgetItem*> selected = list->selectedItems();
    std::vector<QTreeWidgetItem*> rows;
    while (list->topLevelItemCount() > 0) rows.push_back(list->takeTopLevelItem(0));
    std::stable_sort(rows.begin(), rows.end(), [column, direction](QTreeWidgetItem* a, QTreeWidgetItem* b) {
        int order = CompareListTexts(a->text(column), b->text(column));
        return direction == 2 ? order > 0 : order < 0;
    });
    for (QTreeWidgetItem* row : rows) list->addTopLevelItem(row);
    // Taking the rows out forgot the selection; the rows keep it.
    if (current) list->setCurrentItem(current, 0, QItemSelectionModel::NoUpdate);
    for (QTreeWidgetItem* row : selected) row->setSelected(true);
}

void RemoveSelectedRows(QTreeWidget* list) {
    // One at a time, always the first selected row that is left.
    for (int guard = list->topLevelItemCount(); guard > 0; --guard) {
        QTreeWidgetItem* first = nullptr;
        for (int i = 0; i < list->topLevelItemCount() && !first; ++i)
            if (list->topLevelItem(i)->isSelected()) first = list->topLevelItem(i);
        if (!first) break;
        delete first;
    }
}

int RowAtOffset(QTreeWidget* list, int offset) {
    QTreeWidgetItem* current = list->currentItem();
    if (!current) return -1;
    int mark = list->indexOfTopLevelItem(current);
    int row = mark + offset;
    return row >= 0 && row < list->topLevelItemCount() ? row : mark;
}

ListKeys::ListKeys(QTreeWidget* list, std::function<void(int)> arrow, std::function<void()> remove,
                   std::function<void()> click)
    : QObject(list), arrow_(std::move(arrow)), remove_(std::move(remove)), click_(std::move(click)),
      viewport_(list->viewport()) {
    list->installEventFilter(this);
    viewport_->installEventFilter(this);
}

bool ListKeys::eventFilter(QObject* watched, QEvent* event) {
    if (watched == viewport_) {
        if (event->type() == QEvent::MouseButtonRelease &&
            static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton && click_)
            click_();
        return QObject::eventFilter(watched, event);
    }
    if (event->type() == QEvent::KeyPress) {
        switch (static_cast<QKeyEvent*>(event)->key()) {
        case Qt::Key_Up:
            arrow_(-1);
            break;
        case Qt::Key_Down:
            arrow_(+1);
            break;
        case Qt::Key_Delete:
            remove_();
            return true;
        default:
            break;
        }
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace panel
