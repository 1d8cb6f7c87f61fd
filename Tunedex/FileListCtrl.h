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

    QList<int> columnWidths() const;
    void setColumnWidths(const QList<int> &widths);

    // Bounding rectangle of the selected rows, in viewport coordinates (for a drag image).
    QRect selectedRowsRect() const;
    // Picture of the selected rows over a transparent background, the size of
    // selectedRowsRect().
    QPixmap selectedRowsPixmap() const;

signals:
    void headerClicked(int column);
    void rowDoubleClicked(int row);
    void deleteKeyPressed();
    void contextMenuAt(const QPoint &globalPos);
    // A drag of the selection starts at `pos` (viewport coordinates of the press).
    void dragBegins(const QPoint &pos);

protected:
    void reset() override;
    void keyPressEvent(QKeyEvent *e) override;
    void mousePressEvent(QMouseEvent *e) override;
    void mouseDoubleClickEvent(QMouseEvent *e) override;
    void contextMenuEvent(QContextMenuEvent *e) override;
    void startDrag(Qt::DropActions supportedActions) override;

private:
    // Where a menu opened from the keyboard goes: below the focused row.
    QPoint keyboardMenuPos() const;

    QPoint m_pressPos;
};
