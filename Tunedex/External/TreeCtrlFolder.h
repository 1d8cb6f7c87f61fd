// The drop-down tree of the desktop pane's folder combo box: a skeleton of special places
// (desktop, the computer with its drives, the network level, the personal documents) and
// one chain of ordinary folders from a drive down to the folder shown.
#pragma once

#include "Folder.h"

#include <QTreeWidget>

#include <memory>

// A tree item that owns the folder item describing its place.
class HFolderTreeItem : public QTreeWidgetItem {
public:
    explicit HFolderTreeItem(std::unique_ptr<HFolder> folder);
    HFolder *folder() const { return m_folder.get(); }

private:
    std::unique_ptr<HFolder> m_folder;
};

class HTreeCtrlFolder : public QTreeWidget {
    Q_OBJECT
public:
    // A popup window, hidden until the combo box drops it down. `comboBox` is the box the
    // tree drops down from (clicks on it while the tree is shown must not reopen it).
    explicit HTreeCtrlFolder(QWidget *comboBox);

    void setImages(const QList<QIcon> &images);
    const QList<QIcon> &images() const { return m_images; }
    QIcon image(int index) const;

    // Builds the skeleton and selects the process's current directory (with notification).
    void fill();

    // The place the desktop view shows, and its folder item (null when there is none).
    QTreeWidgetItem *currentPlace() const { return m_current; }
    const HFolder *currentFolder() const;
    static HFolder *folderOf(const QTreeWidgetItem *item);

    // Makes `path` (a folder on a drive or on a network mount) current, adding the missing
    // ordinary folders of its chain. Components that do not exist end the chain; false
    // when no drive holds the path (nothing changes then).
    bool selectPath(const QString &path, bool notify);
    // Inserts `folder` as last child of the deepest first-child descendant of the first
    // item of `kind`, and makes it current with notification.
    bool addBelowKind(std::unique_ptr<HFolder> folder, int kind);
    // Makes the parent of the current place current, removing the ordinary folders left
    // below it. False at the root.
    bool goUp();
    // Goes up as goUp does, then on while the place reached is a folder that no longer
    // exists; places without a path (the computer, the network level) and the top of
    // the tree always count as existing. False at the root.
    bool goUpToExisting();
    // Removes ordinary folders from the current place upwards, stopping at `stop` or at
    // the first special place, drive or kind other than ordinary; with `notify` the stop
    // item becomes current with notification.
    void prune(bool notify, QTreeWidgetItem *stop);
    // Removes every ordinary folder, leaving the skeleton.
    void keepOnlySpecialPlaces();
    void makeCurrent(QTreeWidgetItem *item, bool notify);

    QTreeWidgetItem *findKind(int kind) const;
    QTreeWidgetItem *findPath(const QString &path, int kind) const;

    // The drop-down: placed below the combo box, `width` × `height`.
    void showDropDown(int width, int height);
    void hideDropDown();
    // A choice in the drop-down: prune towards `item` (the selection when null), make it
    // current, hide, notify.
    void choose(QTreeWidgetItem *item);

signals:
    // Sent synchronously whenever a place becomes current with notification.
    void folderChanged(const HFolder *folder);
    // The current place or the drop-down's visibility changed (the combo box repaints).
    void currentPlaceChanged();

protected:
    bool event(QEvent *e) override;
    void mousePressEvent(QMouseEvent *e) override;
    void mouseMoveEvent(QMouseEvent *e) override;
    void keyPressEvent(QKeyEvent *e) override;
    void focusOutEvent(QFocusEvent *e) override;

private:
    QTreeWidgetItem *insertFolder(QTreeWidgetItem *parent, std::unique_ptr<HFolder> folder);
    QTreeWidgetItem *deepestFirstChild(QTreeWidgetItem *item) const;
    bool overComboBox() const;

    QWidget *m_comboBox;
    QList<QIcon> m_images;
    QTreeWidgetItem *m_current = nullptr;
};
