// DragObj: the giving side of the program's own drag and drop. A drag takes the
// mouse for the list it started in, moves a picture of the dragged rows over the
// whole screen, shows the arrow over a pane that can take the rows and the "no"
// cursor elsewhere, and on release hands the rows to that pane's drop target
// (DropObj) directly. Escape or the right button cancel. The panes' sources and
// targets are linked anew at every connect (HPaneDragDrop), so that rows go only
// from the desktop to a memory or from a memory to the desktop.
//
// Where no program may hold the mouse (a Wayland session) the same drag runs
// through the system's drag service instead: the program's own windows take its
// drop events and apply the same rules. Rows of a memory taken out of the
// program's windows go to other programs as files (text/uri-list), copied from
// the player into a cache folder first.
#pragma once

#include <QList>
#include <QObject>
#include <QPixmap>
#include <QPoint>
#include <QPointer>
#include <QUrl>

#include <functional>
#include <memory>
#include <vector>

class HDesktopView;
class HDropObject;
class HDeskDropTarget;
class HFileTransferList;
class HMemDropTarget;
class HMp3MemView;
class HMp3View;
class QDrag;
class QEventLoop;
class QMimeData;
class QLabel;
class QWidget;

class HDragObject : public QObject
{
    Q_OBJECT
public:
    explicit HDragObject(QObject *parent = nullptr);
    ~HDragObject() override;

    // The window whose area starts drags; drag points are in its coordinates.
    virtual QWidget *dragWindow() const = 0;
    // Picture of the dragged rows and its top-left corner in dragWindow()
    // coordinates; a null picture when nothing is selected.
    virtual QPixmap createDragImage(QPoint *topLeft) = 0;
    // The selection as a transfer list, in the list's on-screen order.
    virtual bool collectSelection(HFileTransferList &list) = 0;
    // Hands this source's selection to the target (the drop, and the transfer buttons).
    virtual void dropOnTarget(HDropObject *target) = 0;

    // Registered targets, searched in the order they were added; not owned.
    void clearTargets() { m_targets.clear(); }
    void addTarget(HDropObject *target);
    const QList<HDropObject *> &targets() const { return m_targets; }

    // Starts a drag at pos (dragWindow() coordinates) and returns when it has
    // ended, the drop done. Nothing when a drag runs or the rows give no picture.
    void beginDrag(const QPoint &pos);
    bool isDragging() const { return m_dragging; }
    // The cursor moved to a screen point: the picture follows, the cursor tells
    // whether a drop there would be taken.
    virtual void dragMove(const QPoint &globalPos);
    // Ends the drag; with drop, the target under the last point gets the rows
    // when it can take them.
    virtual void endDrag(bool drop);
    // A key went down or up during the drag (Escape has ended it already).
    virtual void keyStateChange(int key, bool down);

    // The registered target whose window holds the screen point, or null.
    HDropObject *targetAt(const QPoint &globalPos) const;
    // The widget of this program at a screen point, looking through the drag picture.
    QWidget *windowAt(const QPoint &globalPos) const;

    // What the capture loop does with one event; true when the drag took it.
    // The loop's event filter calls it; tests may feed events through it.
    bool captureEvent(QEvent *e);

    // Whether drags go through the system's drag service: by default where the
    // window system lets no program hold the mouse (Wayland).
    bool usesSystemDrag() const { return m_systemDrag; }
    void setUsesSystemDrag(bool on) { m_systemDrag = on; }
    static bool systemDragByDefault();
    // Stands in for the window system during a system drag (tests): it gets
    // the drag and delivers its events instead of QDrag::exec().
    void setSystemDragRunner(std::function<void(QDrag *)> runner) { m_systemDragRunner = std::move(runner); }
    // The data a system drag carries: the mark by which the program's own panes
    // know the rows, and the rows as files for other programs where the source
    // can give them (made when a program asks for them).
    QMimeData *createDragData();
    // Whether data of a drag is this source's rows.
    bool isOwnDragData(const QMimeData *data) const;
    // What the program's windows do with one event of this source's system
    // drag (enter, move, drop); true when it was this drag's. Tests feed it.
    bool systemDragEvent(QWidget *receiver, QEvent *e);

    // Rows that leave the program's windows go on as files (memory panes).
    virtual bool canDragOut() const { return false; }
    // Copies the selection where other programs can take it, with the progress
    // window and Cancel; the files made (none when nothing could be copied).
    virtual QList<QUrl> exportSelection() { return {}; }
    // The window showing the picture during a drag (null otherwise).
    QWidget *dragImageWindow() const;
    QPoint lastPoint() const { return m_lastPoint; }
    // Whether the cursor shows the "no" shape (no target here, or one that cannot drop).
    bool showsNoDrop() const { return m_noDrop; }

signals:
    // The drag ended; dropped when a target got the rows.
    void dragEnded(bool dropped);
    // Rows taken out of the program's windows were copied for other programs.
    void exported(const QList<QUrl> &files);

protected:
    bool eventFilter(QObject *watched, QEvent *e) override;
    // Delivers the paints still pending, so no window redraws over the picture
    // later; false when the program is closing and no drag may start.
    virtual bool prepareScreen();
    virtual void releaseScreen();
    // Holds the mouse and keyboard and runs a nested event loop until the drag ends.
    virtual void runCaptureLoop();
    // The drag through the system's drag service, from start to drop.
    virtual void runSystemDrag(const QPoint &pos, const QPixmap &picture, const QPoint &topLeft);
    // The rows left the program's windows during the capture: they go on as files.
    virtual void dragOut();

private:
    void finish(bool drop);
    void setCursorShape(bool noDrop);
    bool outsideProgram(const QPoint &globalPos) const;
    QByteArray dragMark() const;
    // Runs a system drag of data until it ends, then drops where it ended.
    void execSystemDrag(QMimeData *data, const QPixmap &picture, const QPoint &hotSpot);
    void dropAtLastPoint(bool drop);

    QList<HDropObject *> m_targets;
    bool m_dragging = false;
    bool m_noDrop = false;
    bool m_cursorSet = false;
    bool m_dropAtEnd = false;
    bool m_ending = false;
    bool m_rightButtonEnd = false;  // the right button ended the drag; its press is still ours
    bool m_grabbed = false;
    bool m_systemDrag = systemDragByDefault();
    bool m_inSystemDrag = false;
    bool m_systemDropped = false;
    bool m_dragOutPending = false;
    std::function<void(QDrag *)> m_systemDragRunner;
    QPoint m_lastPoint;
    QPoint m_hotSpot;
    QPointer<QWidget> m_grabber;
    std::unique_ptr<QLabel> m_image;
    QEventLoop *m_loop = nullptr;
};

// The desktop list as a drag source: its full paths go to a memory, which downloads them.
class HDeskDragSource : public HDragObject
{
    Q_OBJECT
public:
    explicit HDeskDragSource(HDesktopView *view);
    QWidget *dragWindow() const override;
    QPixmap createDragImage(QPoint *topLeft) override;
    bool collectSelection(HFileTransferList &list) override;
    void dropOnTarget(HDropObject *target) override;

private:
    QPointer<HDesktopView> m_view;
};

// A memory's list as a drag source: its files are uploaded into the target's folder.
class HMemDragSource : public HDragObject
{
    Q_OBJECT
public:
    explicit HMemDragSource(HMp3MemView *view);
    QWidget *dragWindow() const override;
    QPixmap createDragImage(QPoint *topLeft) override;
    bool collectSelection(HFileTransferList &list) override;
    void dropOnTarget(HDropObject *target) override;
    bool canDragOut() const override { return true; }
    QList<QUrl> exportSelection() override;

    // A new folder under the user's cache for the files of one drag out; older
    // ones (a day and more) are removed. Empty when none can be made.
    static QString newExportFolder();

private:
    QPointer<HMp3MemView> m_view;
};

// The drag sources and drop targets of the client view's panes, and the
// transfer buttons' actions over them.
class HPaneDragDrop : public QObject
{
    Q_OBJECT
public:
    HPaneDragDrop(HDesktopView *desktop, HMp3View *device, QObject *parent = nullptr);
    ~HPaneDragDrop() override;

    // At every connect: the desktop's source gets every memory view's target in
    // memory order; each memory view's source gets only the desktop's target.
    void registerTargets();

    HDragObject *desktopSource() const;
    HDropObject *desktopTarget() const;
    // Null when the memory has no view.
    HDragObject *memorySource(int memory) const;
    HDropObject *memoryTarget(int memory) const;

    // A transfer button: the desktop's selection dropped on a memory (download),
    // or a memory's selection dropped on the desktop (upload).
    void transfer(int memory, bool download);

private:
    struct MemoryPane;
    MemoryPane *pane(int memory) const;
    static std::unique_ptr<MemoryPane> makePane(HMp3MemView *view);

    QPointer<HMp3View> m_device;
    std::unique_ptr<HDeskDragSource> m_deskSource;
    std::unique_ptr<HDeskDropTarget> m_deskTarget;
    std::vector<std::unique_ptr<MemoryPane>> m_memories;
};
