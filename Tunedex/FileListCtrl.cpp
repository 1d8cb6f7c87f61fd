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

void HFileListCtrl::keyPressEvent(QKeyEvent *e)
{
    const Qt::KeyboardModifiers mods = e->modifiers() & ~Qt::KeypadModifier;
    if (e->key() == Qt::Key_Delete && (mods == Qt::NoModifier || mods == Qt::ShiftModifier)) {
        emit deleteKeyPressed(mods == Qt::ShiftModifier);
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
    emit contextMenuAt(e->globalPos());
}

void HFileListCtrl::startDrag(Qt::DropActions)
{
    emit dragBegins(m_pressPos);
}
