// The report-style file list of the explorer panes: rows over a model, a header whose
// clicks sort, the Delete key, the context menu and the start of a drag reported to the
// owning view, which runs the program's own drag scheme.
#pragma once

#include <QList>
#include <QTreeView>

class HFileListCtrl : public QTreeView {
    Q_OBJECT
public:
    explicit HFileListCtrl(QWidget *parent = nullptr);

    // Rows selected, in on-screen order (increasing row index).
    QList<int> selectedRows() const;
    int selectedCount() const;
    // Replaces the selection; the first row also becomes the focused row.
    void selectRows(const QList<int> &rows);

    // Column widths as the user chose them (what is remembered), and setting them.
    // The widths on the screen may be larger: see setFillColumn and setUncutColumns.
    QList<int> columnWidths() const;
    // `chosen` says which widths are the user's own (all, when empty); the others are
    // the first run's: kept where the pane is wide enough, given up (down to the
    // column's widest text or header) where a name would be cut otherwise.
    void setColumnWidths(const QList<int> &widths, const QList<bool> &chosen = {});
    // The column's width is the user's own (or was set as such), not a default.
    bool isColumnWidthChosen(int column) const;
    // The column (the name) that takes whatever width the others leave free; its own
    // width is then its narrowest. -1: none.
    void setFillColumn(int column);
    // Columns whose texts are never cut (dates, sizes): they are at least as wide as
    // their widest text.
    void setUncutColumns(const QList<int> &columns);
    // The narrowest width that shows every text of a column whole.
    int contentWidth(int column) const;
    // The text of a cell is cut: the list shows it whole as a tool tip.
    bool isTextCut(const QModelIndex &index) const;

    // Bounding rectangle of the selected rows, in viewport coordinates (for a drag image).
    QRect selectedRowsRect() const;
    // Picture of the selected rows over a transparent background, the size of
    // selectedRowsRect().
    QPixmap selectedRowsPixmap() const;

signals:
    void headerClicked(int column);
    void rowDoubleClicked(int row);
    // Delete; with Shift held, `permanently` (no trash).
    void deleteKeyPressed(bool permanently);
    void contextMenuAt(const QPoint &globalPos);
    // A drag of the selection starts at `pos` (viewport coordinates of the press).
    void dragBegins(const QPoint &pos);

protected:
    void reset() override;
    void changeEvent(QEvent *e) override;
    bool viewportEvent(QEvent *e) override;
    void keyPressEvent(QKeyEvent *e) override;
    void mousePressEvent(QMouseEvent *e) override;
    void mouseDoubleClickEvent(QMouseEvent *e) override;
    void contextMenuEvent(QContextMenuEvent *e) override;
    void startDrag(Qt::DropActions supportedActions) override;

private:
    // Where a menu opened from the keyboard goes: below the focused row.
    QPoint keyboardMenuPos() const;
    void onSectionResized(int column, int oldSize, int newSize);
    void fitIconSize();
    void measureContents();
    void fitColumns();

    QPoint m_pressPos;
    QList<int> m_userWidths;
    QList<bool> m_chosen;
    int m_fillColumn = -1;
    QList<int> m_uncut;
    QList<int> m_contentWidths;  // per column, of the uncut ones; 0 for the others
    bool m_fitting = false;
};
