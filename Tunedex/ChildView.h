#pragma once
// The client area of the main window: the desktop pane on the left, the
// player's pane (HMp3View, Mp3View.h) on the right, and the four transfer
// buttons in the 55-pixel gap between them. The gap is the handle of a
// splitter: dragging it moves the divider between the PC and the player.

#include "Commands.h"
#include "Mp3View.h"

#include <QPointer>
#include <QRect>
#include <QWidget>

#include <memory>

class HDesktopView;
class HMp3MemView;
class HPaneClipboard;
class HPaneDragDrop;
class QSplitter;
class QToolButton;

// Where the panes of the client view go (client coordinates).
struct HPaneLayout {
    QRect desktop;
    QRect device;

    static constexpr int kGap = 55;  // between the panes, holds the transfer buttons
    static constexpr int kButtonSize = 36;

    // The panes for a client rectangle, given their widths before: the width
    // the client gained (or lost) is shared half and half, the odd pixel going
    // to the device pane; both widths 0 share the whole width equally. A client
    // of 54 pixels or less collapses both panes.
    static HPaneLayout compute(const QRect &client, int oldDesktopWidth, int oldDeviceWidth);
    // Top-left corner of a transfer button (143, 144, 146 or 147) between the panes.
    QPoint buttonPos(int buttonId) const;
};

// The client view. It is also the second stop of a command: after the
// focused pane, before the frame; it takes the Tool-menu commands, Refresh,
// Properties, the pane switching keys, and Cut, Copy and Paste between the panes.
class CChildView : public QWidget, public cmd::HCommandTarget
{
    Q_OBJECT
public:
    enum ButtonId { DownloadInternal = 143, UploadInternal = 144, DownloadExternal = 146, UploadExternal = 147 };

    explicit CChildView(QWidget *parent = nullptr);
    ~CChildView() override;

    HDesktopView *desktopView() const { return m_desktop; }
    HMp3View *deviceContainer() const { return m_device; }
    HMp3MemView *memoryView(int index) const { return m_device->memoryView(index); }
    int memoryCount() const { return m_device->memoryCount(); }
    int presentMask() const { return m_device->presentMask(); }
    QToolButton *transferButton(int id) const;
    QRect desktopRect() const { return m_layout.desktop; }
    QRect deviceRect() const { return m_layout.device; }
    QSplitter *paneSplitter() const { return m_splitter; }

    // The divider between the panes: the desktop pane's width. Setting it before
    // the view has its size takes effect at the first layout (a remembered divider).
    int dividerPosition() const;
    void setDividerPosition(int desktopWidth);
    // The widgets that Tab walks through, in order: the folder box, its up
    // button, the PC list, the transfer buttons, and the player's lists.
    QList<QWidget *> tabChain() const;
    // The panes' drag sources and drop targets.
    HPaneDragDrop *dragDrop() const { return m_dnd; }
    // Cut, Copy and Paste between the panes.
    HPaneClipboard *clipboard() const { return m_clipboard; }

    // Runs the whole connection again and re-lists every memory.
    void reconnect();
    // Lists the desktop's place again, then every memory view (force: re-read
    // the player).
    void refreshAll(bool force);
    // Gives every memory view its title again and lists it (after a font change).
    void retitleAndRefresh();

    // The pane that holds the keyboard focus, as a command target: a memory view,
    // or the desktop pane (which takes Rename); null when the focus is elsewhere.
    cmd::HCommandTarget *focusedPaneTarget();

    bool commandState(int id, cmd::CommandState *state) override;
    bool runCommand(int id) override;

    // The transfer buttons' enabling rules; the frame calls this when it
    // updates its command states.
    void updateTransferButtons();
    // Runs a transfer button's action as a click does.
    void runTransfer(int buttonId);

signals:
    // The panes were connected again (the frame re-reads its states).
    void reconnected();

protected:
    void resizeEvent(QResizeEvent *e) override;

private:
    class MemViewTarget;
    class DeskViewTarget;

    void placeChildren();
    void takeSplitterSizes();
    void applyTabOrder();
    void upgrade(bool bootCode);
    void cyclePane(bool forward);
    bool transferEnabled(int buttonId) const;

    HDesktopView *m_desktop = nullptr;
    HMp3View *m_device = nullptr;
    QToolButton *m_buttons[4] = {};
    QSplitter *m_splitter = nullptr;
    HPaneLayout m_layout;
    int m_pendingDivider = -1;
    std::unique_ptr<MemViewTarget> m_memTarget;
    std::unique_ptr<DeskViewTarget> m_deskTarget;
    HPaneDragDrop *m_dnd = nullptr;
    HPaneClipboard *m_clipboard = nullptr;
};
