#include "ChildView.h"

#include "Clipboard.h"
#include "DeskView.h"
#include "DragObj.h"
#include "FileListCtrl.h"
#include "Mp3MemVw.h"
#include "FontInfoDlg.h"
#include "PaintedIcon.h"
#include "StringTable.h"
#include "zvs450.h"

#include <QApplication>
#include <QPainter>
#include <QResizeEvent>
#include <QSplitter>
#include <QSplitterHandle>
#include <QToolButton>

#include <algorithm>

namespace {

// The transfer buttons' pictures: an arrow from one pane to the other, from the icon
// theme or else our own. Downloads (PC to player) point right, towards the player's pane.
QIcon arrowIcon(bool pointsRight)
{
    return hThemeIcon(pointsRight ? QStringLiteral("go-next") : QStringLiteral("go-previous"), 32,
                      [pointsRight](QPainter &p, const QPalette &) {
                          if (!pointsRight) {
                              p.translate(32, 0);
                              p.scale(-1, 1);
                          }
                          const QPolygonF arrow({{4, 12}, {17, 12}, {17, 5}, {29, 16}, {17, 27}, {17, 20}, {4, 20}});
                          p.setPen(QPen(QColor(0x1f, 0x4e, 0x79), 1.5));
                          p.setBrush(pointsRight ? QColor(0x3c, 0x8d, 0xd8) : QColor(0x4c, 0xae, 0x5a));
                          p.drawPolygon(arrow);
                      });
}

// The widget of the panes that focus moves between with F6 and Shift+F6.
QWidget *paneFocusWidget(QWidget *pane)
{
    if (auto *desk = qobject_cast<HDesktopView *>(pane))
        return desk->list();
    if (auto *mem = qobject_cast<HMp3MemView *>(pane))
        return mem->list()->isHidden() ? static_cast<QWidget *>(mem) : mem->list();
    return pane;
}

// The 55-pixel gap between the panes, which holds the transfer buttons, is the
// splitter's handle: the user drags the gap to move the divider.
class PaneGap : public QSplitterHandle
{
public:
    using QSplitterHandle::QSplitterHandle;

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter p(this);
        p.fillRect(rect(), palette().button());
    }
};

class PaneSplitter : public QSplitter
{
public:
    using QSplitter::QSplitter;

protected:
    QSplitterHandle *createHandle() override { return new PaneGap(orientation(), this); }
};

} // namespace

// ---------------------------------------------------------------------------------------
// HPaneLayout

HPaneLayout HPaneLayout::compute(const QRect &client, int oldDesktopWidth, int oldDeviceWidth)
{
    HPaneLayout l;
    const int w = client.width();
    const int h = client.height();
    if (w > kGap - 1) {
        const int extra = w - oldDesktopWidth - oldDeviceWidth - kGap;
        // Integer division: the odd pixel of a gain (or loss) goes to the device pane.
        int deskWidth = oldDesktopWidth + extra / 2;
        // Panes of very different widths cannot make the desktop pane negative
        // or push the device pane out of the window.
        deskWidth = std::clamp(deskWidth, 0, w - kGap);
        l.desktop = QRect(client.left(), client.top(), deskWidth, h);
        const int devLeft = client.left() + deskWidth + kGap;
        l.device = QRect(devLeft, client.top(), client.left() + w - devLeft, h);
    } else {
        l.desktop = QRect(client.left(), client.top(), 0, h);
        l.device = QRect(client.left() + w, client.top(), 0, h);
    }
    return l;
}

QPoint HPaneLayout::buttonPos(int buttonId) const
{
    // Edges as the window system counts them: right and bottom are exclusive.
    const int deskRight = desktop.left() + desktop.width();
    const int devTop = device.top();
    const int devBottom = device.top() + device.height();
    const int x = (deskRight + device.left()) / 2 - kButtonSize / 2;
    switch (buttonId) {
    case CChildView::DownloadInternal: return {x, devTop + 60};
    case CChildView::UploadInternal: return {x, devTop + 101};
    case CChildView::DownloadExternal: return {x, devBottom - 137};
    case CChildView::UploadExternal: return {x, devBottom - 96};
    default: return {x, devTop};
    }
}

// ---------------------------------------------------------------------------------------
// CChildView

// The memory view with the focus, seen as a command target.
class CChildView::MemViewTarget : public cmd::HCommandTarget
{
public:
    QPointer<HMp3MemView> view;

    bool commandState(int id, cmd::CommandState *state) override
    {
        if (!view || !HMp3MemView::handlesCommand(id))
            return false;
        state->enabled = view->isCommandEnabled(id);
        return true;
    }
    bool runCommand(int id) override { return view && HMp3MemView::handlesCommand(id) && view->runCommand(id); }
};

// The desktop pane with the focus: F2 renames there as it does on the player's side.
class CChildView::DeskViewTarget : public cmd::HCommandTarget
{
public:
    HDesktopView *view = nullptr;

    bool commandState(int id, cmd::CommandState *state) override
    {
        if (id != cmd::Rename)
            return false;
        state->enabled = view->canRename() && !HDeviceBusy::active();
        return true;
    }
    bool runCommand(int id) override
    {
        if (id != cmd::Rename)
            return false;
        view->renameSelected();
        return true;
    }
};

CChildView::CChildView(QWidget *parent)
    : QWidget(parent), m_memTarget(std::make_unique<MemViewTarget>()), m_deskTarget(std::make_unique<DeskViewTarget>())
{
    setObjectName(QStringLiteral("ChildView"));
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Button);

    m_splitter = new PaneSplitter(Qt::Horizontal, this);
    m_splitter->setObjectName(QStringLiteral("PaneSplitter"));
    m_splitter->setHandleWidth(HPaneLayout::kGap);
    m_splitter->setChildrenCollapsible(false);
    m_splitter->setOpaqueResize(true);
    m_desktop = new HDesktopView(m_splitter);
    m_deskTarget->view = m_desktop;
    m_device = new HMp3View(m_splitter);
    m_splitter->addWidget(m_desktop);
    m_splitter->addWidget(m_device);
    // Neither pane can be dragged away: each keeps room for a few characters of its
    // names next to its up button.
    const int minPane = fontMetrics().averageCharWidth() * 12 + HPaneLayout::kButtonSize;
    m_desktop->setMinimumWidth(minPane);
    m_device->setMinimumWidth(minPane);
    QSplitterHandle *gap = m_splitter->handle(1);
    gap->setObjectName(QStringLiteral("PaneGap"));
    connect(m_splitter, &QSplitter::splitterMoved, this, [this] { takeSplitterSizes(); });
    m_dnd = new HPaneDragDrop(m_desktop, m_device, this);
    m_clipboard = new HPaneClipboard(this);

    struct ButtonDef {
        int id;
        bool download;
        const char *tip;
    };
    const ButtonDef defs[4] = {
        {DownloadInternal, true, text::kDownloadInternal},
        {UploadInternal, false, text::kUploadInternal},
        {DownloadExternal, true, text::kDownloadExternal},
        {UploadExternal, false, text::kUploadExternal},
    };
    const QIcon downIcon = arrowIcon(true);
    const QIcon upIcon = arrowIcon(false);
    for (int i = 0; i < 4; ++i) {
        auto *b = new QToolButton(gap);
        b->setObjectName(QStringLiteral("TransferButton%1").arg(defs[i].id));
        b->setProperty("controlId", defs[i].id);
        b->setIcon(defs[i].download ? downIcon : upIcon);
        b->setIconSize(QSize(32, 32));
        b->setFixedSize(HPaneLayout::kButtonSize, HPaneLayout::kButtonSize);
        b->setToolTip(text::tr(defs[i].tip));
        b->setAccessibleName(text::tr(defs[i].tip));
        b->setEnabled(false);
        const int id = defs[i].id;
        connect(b, &QToolButton::clicked, this, [this, id] { runTransfer(id); });
        m_buttons[i] = b;
    }
}

CChildView::~CChildView() = default;

QToolButton *CChildView::transferButton(int id) const
{
    for (QToolButton *b : m_buttons)
        if (b && b->property("controlId").toInt() == id)
            return b;
    return nullptr;
}

void CChildView::resizeEvent(QResizeEvent *e)
{
    QWidget::resizeEvent(e);
    placeChildren();
}

void CChildView::placeChildren()
{
    m_splitter->setGeometry(rect());
    HPaneLayout next = HPaneLayout::compute(rect(), m_layout.desktop.width(), m_layout.device.width());
    if (m_pendingDivider >= 0 && width() > HPaneLayout::kGap) {
        const int desk = std::clamp(m_pendingDivider, 0, width() - HPaneLayout::kGap);
        next.desktop.setWidth(desk);
        next.device = QRect(desk + HPaneLayout::kGap, 0, width() - desk - HPaneLayout::kGap, height());
        m_pendingDivider = -1;
    }
    m_splitter->setSizes({next.desktop.width(), next.device.width()});
    takeSplitterSizes();
}

// The panes as the splitter placed them (it keeps their minimum widths), and the
// transfer buttons on the gap between them.
void CChildView::takeSplitterSizes()
{
    m_layout.desktop = m_desktop->geometry();
    m_layout.device = m_device->geometry();
    const QPoint gap = m_splitter->handle(1)->pos();
    for (QToolButton *b : m_buttons)
        b->move(m_layout.buttonPos(b->property("controlId").toInt()) - gap);
}

int CChildView::dividerPosition() const
{
    return m_splitter->sizes().value(0);
}

void CChildView::setDividerPosition(int desktopWidth)
{
    if (desktopWidth < 0)
        return;
    m_pendingDivider = desktopWidth;
    if (m_layout.desktop.width() + m_layout.device.width() > 0)
        placeChildren();
}

QList<QWidget *> CChildView::tabChain() const
{
    QList<QWidget *> chain = {m_desktop->folderComboBox(), m_desktop->upButton(), m_desktop->list()};
    for (QToolButton *b : m_buttons)
        chain.append(b);
    for (int i = 0; i < m_device->rowCount(); ++i)
        if (HMp3MemView *v = m_device->memoryView(i))
            chain.append(v->list());
    return chain;
}

void CChildView::applyTabOrder()
{
    const QList<QWidget *> chain = tabChain();
    for (int i = 1; i < chain.size(); ++i)
        QWidget::setTabOrder(chain.at(i - 1), chain.at(i));
}

void CChildView::reconnect()
{
    m_device->connectDevice();
    applyTabOrder();
    m_dnd->registerTargets();
    updateTransferButtons();
    emit reconnected();
}

void CChildView::refreshAll(bool force)
{
    m_desktop->listCurrentPlace();
    for (int i = 0; i < m_device->rowCount(); ++i)
        if (HMp3MemView *v = m_device->memoryView(i))
            v->refresh(force);
}

void CChildView::retitleAndRefresh()
{
    m_device->titleAndRefresh();
}

cmd::HCommandTarget *CChildView::focusedPaneTarget()
{
    HMp3MemView *v = m_device->memoryView(-1);
    if (!v) {
        QWidget *focus = QApplication::focusWidget();
        return focus && m_desktop->isAncestorOf(focus) ? m_deskTarget.get() : nullptr;
    }
    m_memTarget->view = v;
    return m_memTarget.get();
}

bool CChildView::commandState(int id, cmd::CommandState *state)
{
    using namespace cmd;
    if (m_clipboard->commandState(id, state))
        return true;
    const bool idle = !HDeviceBusy::active();
    switch (id) {
    case ViewProperties:
    case Refresh:
    case RawDataView:
        state->enabled = idle;
        return true;
    case NextPane:
    case PrevPane:
        state->enabled = true;
        return true;
    case FormatInternal:
    case LowFormatInternal:
        state->enabled = idle && m_device->present(0) && m_device->memoryView(0);
        return true;
    case FormatExternal:
    case LowFormatExternal:
        state->enabled = idle && m_device->present(1) && m_device->memoryView(1);
        return true;
    case FormatAll:
    case LowFormatAll:
        state->enabled = idle && m_device->present(-1);
        return true;
    case UpgradeApplication:
    case UpgradeBoot:
        state->enabled = idle && m_device->memoryCount() > 0;
        return true;
    case FontDownload:
    case FontErase:
    case FontUpload:
    case FontInfo:
    case RawDataInternal:
        state->enabled = idle && m_device->present(0);
        return true;
    case RawDataExternal:
        state->enabled = idle && m_device->present(1);
        return true;
    default:
        return false;
    }
}

bool CChildView::runCommand(int id)
{
    using namespace cmd;
    if (m_clipboard->runCommand(id))
        return true;
    cmd::CommandState state;
    if (!commandState(id, &state))
        return false;
    if (!state.enabled)
        return true;
    if (id == NextPane || id == PrevPane) {
        cyclePane(id == NextPane);
        return true;
    }
    HDeviceBusy busy;
    switch (id) {
    case ViewProperties:
        m_desktop->properties();
        break;
    case Refresh:
        refreshAll(true);
        break;
    case FormatInternal:
    case FormatExternal:
    case LowFormatInternal:
    case LowFormatExternal: {
        const int memory = (id == FormatInternal || id == LowFormatInternal) ? 0 : 1;
        m_device->formatMemory(memory, id == LowFormatInternal || id == LowFormatExternal);
        break;
    }
    case FormatAll:
    case LowFormatAll:
        // A No to any question ends the command: nothing more is asked.
        for (int i = 0; i < m_device->memoryCount(); ++i)
            if (m_device->present(i) && !m_device->formatMemory(i, id == LowFormatAll))
                break;
        break;
    case UpgradeApplication:
        upgrade(false);
        break;
    case UpgradeBoot:
        upgrade(true);
        break;
    case FontDownload:
        zvs450_DownloadFont(this);
        retitleAndRefresh();
        break;
    case FontErase:
        zvs450_EraseFont(this);
        retitleAndRefresh();
        break;
    case FontUpload: {
        const QString folder = m_desktop->destinationFolder();
        if (!folder.isEmpty()) {
            zvs450_UploadFont(this, folder);
            m_desktop->listCurrentPlace();
        }
        break;
    }
    case FontInfo: {
        HFontInfoDlg dlg(this);
        dlg.exec();
        break;
    }
    case RawDataInternal:
        zvs450_RawData(this, 0);
        break;
    case RawDataExternal:
        zvs450_RawData(this, 1);
        break;
    case RawDataView:
        zvs450_RawData(this, -1);
        break;
    default:
        break;
    }
    return true;
}

// Once the player's code flash has been touched, whether the upgrade succeeded
// or not, the player must be unplugged and the program started again: it says so
// and closes itself. A cancel, or a file refused before anything was sent (the
// session has said why), leaves the player as it was and the program open.
void CChildView::upgrade(bool bootCode)
{
    bool touched = false;
    const int result = bootCode ? zvs450_UpgradeBootCode(this, &touched) : zvs450_UpgradeApplicationCode(this, &touched);
    if (!touched)
        return;
    const QString text = QString::fromLatin1(result == 0 ? text::kUpgradeSucceeded : text::kUpgradeFailed)
                         + QLatin1Char('\n') + text::tr(text::kUnplug) + QLatin1Char('\n')
                         + text::tr(text::kRestart);
    zvs450_GetUi().message(this, text, text::tr(text::kRestart));
    if (QWidget *frame = window())
        QMetaObject::invokeMethod(frame, "close", Qt::QueuedConnection);
}

void CChildView::cyclePane(bool forward)
{
    QList<QWidget *> panes;
    if (m_desktop->isVisible())
        panes.append(paneFocusWidget(m_desktop));
    if (m_device->isVisible())
        for (int i = 0; i < m_device->rowCount(); ++i)
            if (HMp3MemView *v = m_device->memoryView(i); v && v->isVisible())
                panes.append(paneFocusWidget(v));
    if (panes.isEmpty())
        return;
    QWidget *focus = QApplication::focusWidget();
    int current = -1;
    for (int i = 0; i < panes.size(); ++i) {
        QWidget *pane = panes.at(i);
        QWidget *owner = pane->parentWidget();
        if (focus && (focus == pane || pane->isAncestorOf(focus) || (owner && owner->isAncestorOf(focus)))) {
            current = i;
            break;
        }
    }
    const int n = int(panes.size());
    const int next = current < 0 ? (forward ? 0 : n - 1) : (current + (forward ? 1 : n - 1)) % n;
    panes.at(next)->setFocus(forward ? Qt::TabFocusReason : Qt::BacktabFocusReason);
}

bool CChildView::transferEnabled(int buttonId) const
{
    if (HDeviceBusy::active())
        return false;
    switch (buttonId) {
    case DownloadInternal:
    case DownloadExternal:
        return m_desktop->selectedTransferableCount() > 0
               && m_device->canDrop(buttonId == DownloadInternal ? 0 : 1);
    case UploadInternal:
    case UploadExternal:
        return m_device->selectedCount(buttonId == UploadInternal ? 0 : 1) > 0 && m_desktop->canDrop();
    default:
        return false;
    }
}

void CChildView::updateTransferButtons()
{
    for (QToolButton *b : m_buttons)
        b->setEnabled(transferEnabled(b->property("controlId").toInt()));
}

void CChildView::runTransfer(int buttonId)
{
    if (!transferEnabled(buttonId))
        return;
    HDeviceBusy busy;
    const bool download = buttonId == DownloadInternal || buttonId == DownloadExternal;
    m_dnd->transfer(buttonId == DownloadInternal || buttonId == UploadInternal ? 0 : 1, download);
    updateTransferButtons();
}
