#include "FileListCtrl.h"

#include <QContextMenuEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QPainter>
#include <QToolTip>

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
    fitIconSize();
    header()->setSectionsClickable(true);
    header()->setSectionsMovable(false);
    header()->setStretchLastSection(false);
    connect(header(), &QHeaderView::sectionClicked, this, &HFileListCtrl::headerClicked);
    connect(header(), &QHeaderView::sectionResized, this, &HFileListCtrl::onSectionResized);
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
        w.append(c < m_userWidths.size() && m_userWidths.at(c) > 0 ? m_userWidths.at(c) : columnWidth(c));
    return w;
}

void HFileListCtrl::setColumnWidths(const QList<int> &widths, const QList<bool> &chosen)
{
    m_userWidths = widths;
    m_chosen = chosen;
    while (m_chosen.size() < widths.size())
        m_chosen.append(chosen.isEmpty());
    fitColumns();
}

bool HFileListCtrl::isColumnWidthChosen(int column) const
{
    return m_chosen.value(column);
}

void HFileListCtrl::setFillColumn(int column)
{
    m_fillColumn = column;
    measureContents();
    fitColumns();
}

void HFileListCtrl::setUncutColumns(const QList<int> &columns)
{
    m_uncut = columns;
    measureContents();
    fitColumns();
}

int HFileListCtrl::contentWidth(int column) const
{
    return m_contentWidths.value(column);
}

// A width the user gives a column (or a program sets) becomes the column's own; the
// widths this list gives the columns while fitting them do not.
void HFileListCtrl::onSectionResized(int column, int, int newSize)
{
    if (m_fitting)
        return;
    const int n = model() ? model()->columnCount() : header()->count();
    while (m_userWidths.size() < n)
        m_userWidths.append(columnWidth(int(m_userWidths.size())));
    while (m_chosen.size() < n)
        m_chosen.append(false);
    if (column < n) {
        m_userWidths[column] = newSize;
        m_chosen[column] = true;
    }
    fitColumns();
}

void HFileListCtrl::measureContents()
{
    m_contentWidths.clear();
    if (!model())
        return;
    const QFontMetrics fm(font());
    // The item's own margins on both sides of its text, as the style draws them.
    const int margin = 2 * (style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 1) + 2;
    m_contentWidths = QList<int>(model()->columnCount(), 0);
    const int rows = model()->rowCount();
    QList<int> measured = m_uncut;
    if (m_fillColumn >= 0)
        measured.append(m_fillColumn);
    for (int column : measured) {
        if (column < 0 || column >= m_contentWidths.size())
            continue;
        // The name column's texts follow their icons.
        const int icon = column == m_fillColumn ? iconSize().width() + margin : 0;
        int widest = 0;
        for (int r = 0; r < rows; ++r)
            widest = std::max(widest, fm.horizontalAdvance(model()->index(r, column).data().toString()));
        m_contentWidths[column] = widest > 0 ? widest + margin + icon : 0;
    }
}

// Every column gets its own width (the user's, else the first-run default), the uncut
// ones at least their widest text, and the fill column what is left. Where the pane is
// too narrow for the names, the columns the user never sized give up width, down to
// their widest text or header, before a name is cut.
void HFileListCtrl::fitColumns()
{
    if (!model() || m_fitting)
        return;
    m_fitting = true;
    const int n = model()->columnCount();
    const auto own = [this](int c) {
        return c < m_userWidths.size() && m_userWidths.at(c) > 0 ? m_userWidths.at(c) : columnWidth(c);
    };
    QList<int> widths(n, 0);
    int others = 0;
    for (int c = 0; c < n; ++c) {
        if (c == m_fillColumn)
            continue;
        widths[c] = std::max(own(c), m_contentWidths.value(c));
        others += widths[c];
    }
    if (m_fillColumn >= 0 && m_fillColumn < n) {
        int deficit = others + m_contentWidths.value(m_fillColumn) - viewport()->width();
        for (int c = n - 1; c >= 0 && deficit > 0; --c) {
            if (c == m_fillColumn || m_chosen.value(c))
                continue;
            const int floor = std::max(m_contentWidths.value(c), header()->sectionSizeHint(c));
            const int give = std::clamp(widths[c] - floor, 0, deficit);
            widths[c] -= give;
            others -= give;
            deficit -= give;
        }
        const int fillOwn = m_chosen.value(m_fillColumn) ? own(m_fillColumn)
                                                         : std::min(own(m_fillColumn), std::max(1, m_contentWidths.value(m_fillColumn)));
        widths[m_fillColumn] = std::max(fillOwn, viewport()->width() - others);
    }
    for (int c = 0; c < n; ++c)
        if (widths[c] > 0 && columnWidth(c) != widths[c])
            setColumnWidth(c, widths[c]);
    m_fitting = false;
}

bool HFileListCtrl::isTextCut(const QModelIndex &index) const
{
    if (!index.isValid())
        return false;
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    option.rect = visualRect(index);
    const QAbstractItemDelegate *delegate = itemDelegateForIndex(index);
    return delegate && delegate->sizeHint(option, index).width() > option.rect.width();
}

bool HFileListCtrl::viewportEvent(QEvent *e)
{
    if (e->type() == QEvent::Resize) {
        // Also when a scroll bar comes or goes: the free width is the viewport's.
        const bool r = QTreeView::viewportEvent(e);
        fitColumns();
        return r;
    }
    if (e->type() == QEvent::ToolTip) {
        const auto *help = static_cast<QHelpEvent *>(e);
        const QModelIndex index = indexAt(help->pos());
        const QString text = index.data(Qt::DisplayRole).toString();
        if (isTextCut(index) && !text.isEmpty())
            QToolTip::showText(help->globalPos(), text, viewport(), visualRect(index));
        else
            QToolTip::hideText();
        return true;
    }
    return QTreeView::viewportEvent(e);
}

QRect HFileListCtrl::selectedRowsRect() const
{
    QRect all;
    const QList<int> rows = selectedRows();
    for (int r : rows) {
        const QModelIndex idx = model()->index(r, 0);
        QRect rowRect = visualRect(idx);
        rowRect.setLeft(0);
        // right() is the last pixel: the columns end one before their length.
        rowRect.setRight(std::max(rowRect.right(), header()->length() - header()->offset() - 1));
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

// Row icons grow with the font in the steps icon themes draw (16, 24, 32), so that a
// large font does not leave them tiny beside their names.
void HFileListCtrl::fitIconSize()
{
    const int line = fontMetrics().height();
    const int side = line <= 20 ? 16 : line <= 28 ? 24 : 32;
    setIconSize(QSize(side, side));
}

void HFileListCtrl::changeEvent(QEvent *e)
{
    QTreeView::changeEvent(e);
    if (e->type() == QEvent::FontChange) {
        fitIconSize();
        measureContents();
        fitColumns();
    }
}

void HFileListCtrl::reset()
{
    QTreeView::reset();
    measureContents();
    fitColumns();
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
    const Qt::KeyboardModifiers mods = e->modifiers() & ~Qt::KeypadModifier;
    if (e->key() == Qt::Key_Delete && (mods == Qt::NoModifier || mods == Qt::ShiftModifier)) {
        emit deleteKeyPressed(mods == Qt::ShiftModifier);
        return;
    }
    if (e->key() == Qt::Key_F10 && e->modifiers() == Qt::ShiftModifier) {
        emit contextMenuAt(keyboardMenuPos());
        return;
    }
    // The Return that ends a name being typed comes here too once the editor has
    // taken it (the list commits the name after the event): it belongs to the editor
    // and must not also open or enter the row.
    if ((e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) && state() == QAbstractItemView::EditingState) {
        e->accept();
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
