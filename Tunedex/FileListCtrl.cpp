#include "FileListCtrl.h"

#include <QContextMenuEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QPainter>

#include <algorithm>

HFileListCtrl::HFileListCtrl(QWidget *parent) : QTreeView(parent)
{
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);  // keeps layout cost flat for folders of many thousands of files
    setAllColumnsShowFocus(true);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSortingEnabled(false);  // the owner sorts, by its own rules
    // Press-and-move over a selected row keeps the selection and calls startDrag(), which
    // hands the drag to the owner instead of the system's drag service.
    setDragEnabled(true);
    setDragDropMode(QAbstractItemView::DragOnly);
    setContextMenuPolicy(Qt::DefaultContextMenu);
    setIconSize(QSize(16, 16));
    header()->setSectionsClickable(true);
    header()->setSectionsMovable(false);
    header()->setStretchLastSection(false);
    connect(header(), &QHeaderView::sectionClicked, this, &HFileListCtrl::headerClicked);
}

QList<int> HFileListCtrl::selectedRows() const
{
    QList<int> rows;
    if (!selectionModel())
        return rows;
    const QModelIndexList sel = selectionModel()->selectedRows();
    rows.reserve(sel.size());
    for (const QModelIndex &i : sel)
        rows.append(i.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

int HFileListCtrl::selectedCount() const
{
    return selectionModel() ? int(selectionModel()->selectedRows().size()) : 0;
}

void HFileListCtrl::selectRows(const QList<int> &rows)
{
    if (!model() || !selectionModel())
        return;
    QItemSelection sel;
    for (int r : rows) {
        if (r >= 0 && r < model()->rowCount())
            sel.select(model()->index(r, 0), model()->index(r, model()->columnCount() - 1));
    }
    selectionModel()->select(sel, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    if (!rows.isEmpty() && rows.first() >= 0 && rows.first() < model()->rowCount()) {
        selectionModel()->setCurrentIndex(model()->index(rows.first(), 0), QItemSelectionModel::NoUpdate);
        scrollTo(model()->index(rows.first(), 0));
    }
}

QList<int> HFileListCtrl::columnWidths() const
{
    QList<int> w;
    const int n = model() ? model()->columnCount() : header()->count();
    for (int c = 0; c < n; ++c)
        w.append(columnWidth(c));
    return w;
}

void HFileListCtrl::setColumnWidths(const QList<int> &widths)
{
    for (int c = 0; c < widths.size(); ++c)
        setColumnWidth(c, widths.at(c));
}

QRect HFileListCtrl::selectedRowsRect() const
{
    QRect all;
    const QList<int> rows = selectedRows();
    for (int r : rows) {
        const QModelIndex idx = model()->index(r, 0);
        QRect rowRect = visualRect(idx);
        rowRect.setLeft(0);
        rowRect.setRight(std::max(rowRect.right(), header()->length() - header()->offset()));
        all |= rowRect;
    }
    return all;
}

QPixmap HFileListCtrl::selectedRowsPixmap() const
{
    const QRect all = selectedRowsRect();
    if (all.isEmpty())
        return QPixmap();
    QPixmap pm(all.size());
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    const QList<int> rows = selectedRows();
    for (int r : rows) {
        const QRect rowRect = visualRect(model()->index(r, 0)).adjusted(0, 0, 0, 0);
        if (!viewport()->rect().intersects(rowRect))
            continue;
        const QRect src(0, rowRect.top(), all.width(), rowRect.height());
        p.drawPixmap(src.topLeft() - all.topLeft(), viewport()->grab(src));
    }
    return pm;
}

void HFileListCtrl::reset()
{
    QTreeView::reset();
    // A new listing starts with the keyboard on its first row (not selected), so the
    // first arrow, End or Page key moves from there instead of only finding the list.
    // The selection model forgets its current row after the view has heard of the
    // reset: the row is set once both have.
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (model() && selectionModel() && !currentIndex().isValid() && model()->rowCount() > 0)
                selectionModel()->setCurrentIndex(model()->index(0, 0), QItemSelectionModel::NoUpdate);
        },
        Qt::QueuedConnection);
}

void HFileListCtrl::keyPressEvent(QKeyEvent *e)
{
    if (e->key() == Qt::Key_Delete && e->modifiers() == Qt::NoModifier) {
        emit deleteKeyPressed();
        return;
    }
    if (e->key() == Qt::Key_F10 && e->modifiers() == Qt::ShiftModifier) {
        emit contextMenuAt(keyboardMenuPos());
        return;
    }
    if ((e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) && currentIndex().isValid()) {
        emit rowDoubleClicked(currentIndex().row());
        return;
    }
    QTreeView::keyPressEvent(e);
}

void HFileListCtrl::mousePressEvent(QMouseEvent *e)
{
    m_pressPos = e->position().toPoint();
    QTreeView::mousePressEvent(e);
}

void HFileListCtrl::mouseDoubleClickEvent(QMouseEvent *e)
{
    const QModelIndex idx = indexAt(e->position().toPoint());
    if (e->button() == Qt::LeftButton && idx.isValid()) {
        emit rowDoubleClicked(idx.row());
        return;
    }
    QTreeView::mouseDoubleClickEvent(e);
}

void HFileListCtrl::contextMenuEvent(QContextMenuEvent *e)
{
    // From the keyboard (the Menu key) the menu opens at the focused row, not
    // wherever the mouse happens to be.
    emit contextMenuAt(e->reason() == QContextMenuEvent::Keyboard ? keyboardMenuPos() : e->globalPos());
}

QPoint HFileListCtrl::keyboardMenuPos() const
{
    const QRect row = visualRect(currentIndex());
    const QPoint local = row.isValid() && viewport()->rect().intersects(row) ? row.bottomLeft() + QPoint(8, 0)
                                                                            : QPoint(8, 8);
    return viewport()->mapToGlobal(local);
}

void HFileListCtrl::startDrag(Qt::DropActions)
{
    emit dragBegins(m_pressPos);
}
