// DropObj: the receiving side of the program's own drag and drop. A drag source
// (DragObj) keeps a list of these, finds the one under the cursor by walking up
// from the window there, and hands it the chosen files directly; the system's
// drag-and-drop service is not involved. The transfer buttons between the panes
// end in the same calls.
#pragma once

#include <QPointer>
#include <QString>

class HDesktopView;
class HFileTransferList;
class HMp3MemView;
class QWidget;

class HDropObject
{
public:
    virtual ~HDropObject();

    // The window whose area (children included) takes drops.
    virtual QWidget *dropWindow() const = 0;
    // Takes a transfer list. transfer = true: run the transfer into this pane
    // (a download into a memory). transfer = false: the files have arrived,
    // list again and select them. Answers whether the drop was taken.
    virtual bool accept(const HFileTransferList &list, bool transfer) = 0;
    // The folder uploads go to; empty when this target has none.
    virtual QString destinationFolder() const { return QString(); }
    virtual bool canDrop() const { return true; }
};

// The desktop pane: only its list takes drops (not the folder combo box or the
// up button), into the folder it shows; uploads arrive here already done.
class HDeskDropTarget : public HDropObject
{
public:
    explicit HDeskDropTarget(HDesktopView *view) : m_view(view) {}
    HDesktopView *view() const { return m_view; }

    QWidget *dropWindow() const override;
    bool accept(const HFileTransferList &list, bool transfer) override;
    QString destinationFolder() const override;
    bool canDrop() const override;

private:
    QPointer<HDesktopView> m_view;
};

// A device memory pane: the whole view takes drops, the title and path strips
// included, while its memory is usable; the drop downloads into its memory.
class HMemDropTarget : public HDropObject
{
public:
    explicit HMemDropTarget(HMp3MemView *view) : m_view(view) {}
    HMp3MemView *view() const { return m_view; }

    QWidget *dropWindow() const override;
    bool accept(const HFileTransferList &list, bool transfer) override;
    bool canDrop() const override;

private:
    QPointer<HMp3MemView> m_view;
};
