#include "MainFrm.h"

#include "PaintedIcon.h"
#include "AboutDlg.h"
#include "ChildView.h"
#include "ConfigDlg.h"
#include "DeskView.h"
#include "DeviceWatcher.h"
#include "FileFilterBox.h"
#include "FileListCtrl.h"
#include "Mp3MemVw.h"
#include "RegKeys.h"
#include "StringTable.h"
#include "Translations.h"
#include "zvs450.h"

#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QtDebug>

#include <cstdio>

namespace {

// Show states as the window placement records them.
enum ShowState { kShowNormal = 1, kShowMinimized = 2, kShowMaximized = 3, kShowDefault = 5 };

// Evaluation of the rules when nothing else happens: also catches changes
// the user did not cause (a player that stopped answering).
constexpr int kIdleIntervalMs = 500;

// Where the creation of a part of the frame is reported when it fails.
void trace(const char *line)
{
    std::fputs(line, stderr);
}

// ---- Pictures ------------------------------------------------------------------------------

QPixmap canvas(int size)
{
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    return pm;
}

// The tool bar's pictures, drawn on a 24-unit grid in the colours of the palette, for
// an icon theme that has none of them.
void drawToolPicture(int id, QPainter &p, const QPalette &pal)
{
    const QColor ink = pal.color(QPalette::WindowText);
    const QColor paper = pal.color(QPalette::Base);
    p.setPen(QPen(ink, 1.2));
    auto page = [&](qreal x, qreal y, qreal w, qreal h) {
        QPainterPath path;
        path.moveTo(x, y);
        path.lineTo(x + w - 4, y);
        path.lineTo(x + w, y + 4);
        path.lineTo(x + w, y + h);
        path.lineTo(x, y + h);
        path.closeSubpath();
        p.setBrush(paper);
        p.drawPath(path);
    };
    switch (id) {
    case cmd::FileNew:
        page(5, 3, 14, 18);
        break;
    case cmd::EditCut:
        p.setBrush(Qt::NoBrush);
        p.drawLine(QPointF(8, 3), QPointF(15, 15));
        p.drawLine(QPointF(16, 3), QPointF(9, 15));
        p.setBrush(QColor(0xc0, 0x39, 0x2b));
        p.drawEllipse(QPointF(7.5, 18), 3.2, 3.2);
        p.drawEllipse(QPointF(16.5, 18), 3.2, 3.2);
        break;
    case cmd::EditCopy:
        page(3, 3, 12, 14);
        page(9, 7, 12, 14);
        break;
    case cmd::EditPaste:
        p.setBrush(QColor(0xb9, 0x8b, 0x50));
        p.drawRoundedRect(QRectF(4, 4, 14, 17), 1.5, 1.5);
        p.setBrush(pal.color(QPalette::Mid));
        p.drawRect(QRectF(8, 2, 6, 4));
        page(10, 9, 11, 13);
        break;
    case cmd::FilePrint:
        page(7, 3, 10, 8);
        p.setBrush(pal.color(QPalette::Mid));
        p.drawRoundedRect(QRectF(3, 10, 18, 8), 1.5, 1.5);
        page(7, 15, 10, 6);
        break;
    case cmd::AppAbout: {
        p.setBrush(QColor(0x3c, 0x8d, 0xd8));
        p.setPen(QPen(QColor(0x1f, 0x4e, 0x79), 1.2));
        p.drawEllipse(QPointF(12, 12), 9, 9);
        QFont f = p.font();
        f.setBold(true);
        f.setPixelSize(13);
        p.setFont(f);
        p.setPen(Qt::white);
        p.drawText(QRectF(3, 3, 18, 18), Qt::AlignCenter, QStringLiteral("?"));
        break;
    }
    default:
        break;
    }
}

QIcon toolIcon(int id)
{
    static const QHash<int, QString> themeNames = {
        {cmd::FileNew, QStringLiteral("document-new")},   {cmd::EditCut, QStringLiteral("edit-cut")},
        {cmd::EditCopy, QStringLiteral("edit-copy")},     {cmd::EditPaste, QStringLiteral("edit-paste")},
        {cmd::FilePrint, QStringLiteral("document-print")}, {cmd::AppAbout, QStringLiteral("help-about")},
    };
    return hThemeIcon(themeNames.value(id), 24,
                      [id](QPainter &p, const QPalette &pal) { drawToolPicture(id, p, pal); });
}

// Lock key indicators: the keyboard LEDs the kernel publishes.
bool lockLedOn(const QString &kind)
{
    static QHash<QString, QStringList> files;
    auto it = files.find(kind);
    if (it == files.end()) {
        QStringList found;
        const QDir leds(QStringLiteral("/sys/class/leds"));
        for (const QString &name : leds.entryList({QStringLiteral("*::") + kind}, QDir::Dirs | QDir::System))
            found.append(leds.filePath(name) + QStringLiteral("/brightness"));
        it = files.insert(kind, found);
    }
    for (const QString &path : *it) {
        QFile f(path);
        if (f.open(QIODevice::ReadOnly) && f.readAll().trimmed().toInt() > 0)
            return true;
    }
    return false;
}

} // namespace

// ---------------------------------------------------------------------------------------
// CMainFrame

CMainFrame::CMainFrame(QWidget *parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("MainFrame"));
    setWindowTitle(text::tr(text::kAppTitle));
    resize(defaultSize());
}

CMainFrame::~CMainFrame()
{
    if (!m_windowStateSaved)
        saveWindowState();
    if (m_watcher)
        m_watcher->stop();
}

bool CMainFrame::create()
{
    setWindowIcon(appIcon());

    m_child = new CChildView(this);
    if (!m_child) {
        trace("Failed to create view window\n");
        return false;
    }
    setCentralWidget(m_child);

    createMenus();
    createReBar();
    if (!m_reBar) {
        trace("Failed to create Rebar\n");
        return false;
    }
    if (!m_filter) {
        trace("Failed to create Toolbar\n");
        return false;
    }
    createStatusBar();
    if (!statusBar()) {
        trace("Failed to create status bar\n");
        return false;
    }

    connect(m_child->deviceContainer(), &HMp3View::memoryViewCreated, this, [this](HMp3MemView *view) {
        // The view's own context menu follows the same rules as the main menu
        // while a device operation of the frame runs.
        connect(view, &HMp3MemView::contextMenuAboutToShow, this, [](QMenu *menu) {
            if (HDeviceBusy::active())
                for (QAction *a : menu->actions())
                    a->setEnabled(false);
        });
    });

    m_child->reconnect();
    // The keys act on the PC's list from the start.
    m_child->desktopView()->list()->setFocus(Qt::OtherFocusReason);

    m_watcher = new HDeviceWatcher(this);
    connect(m_watcher, &HDeviceWatcher::deviceChanged, this, &CMainFrame::onDeviceChanged);
    m_watcher->start();

    qApp->installEventFilter(this);
    m_idleTimer = new QTimer(this);
    m_idleTimer->setInterval(kIdleIntervalMs);
    connect(m_idleTimer, &QTimer::timeout, this, &CMainFrame::updateCommandStates);
    m_idleTimer->start();
    updateCommandStates();
    return true;
}

QAction *CMainFrame::makeAction(int id, const QString &text)
{
    auto *a = new QAction(text, this);
    a->setData(id);
    a->setObjectName(QStringLiteral("ID_%1").arg(id));
    const QList<QKeySequence> keys = cmd::acceleratorsOf(id);
    // One action per command carries the keys (two actions with the same keys
    // would make every key ambiguous).
    if (!keys.isEmpty() && m_actions.value(id).isEmpty()) {
        a->setShortcuts(keys);
        a->setShortcutContext(Qt::WindowShortcut);
    }
    if (id == cmd::ViewToolBar || id == cmd::ViewStatusBar)
        a->setCheckable(true);
    a->setEnabled(false);
    connect(a, &QAction::triggered, this, [this, id] { executeCommand(id); });
    m_actions[id].append(a);
    return a;
}

void CMainFrame::createMenus()
{
    QMenu *stack[3] = {};
    for (const cmd::MenuEntry &e : cmd::mainMenu()) {
        if (e.depth == 0) {
            stack[0] = menuBar()->addMenu(cmd::menuText(e.text));
            m_menus.append(stack[0]);
            continue;
        }
        QMenu *parent = stack[e.depth - 1];
        if (!parent)
            continue;
        if (e.isSeparator()) {
            parent->addSeparator();
        } else if (e.isPopup()) {
            stack[e.depth] = parent->addMenu(cmd::menuText(e.text));
            m_menus.append(stack[e.depth]);
        } else {
            parent->addAction(makeAction(e.id, cmd::menuText(e.text)));
        }
    }
    for (QMenu *m : m_menus)
        connect(m, &QMenu::aboutToShow, this, &CMainFrame::updateCommandStates);

    // Commands that only have keys: they act on the pane with the focus.
    for (int id : {cmd::Rename, cmd::NextPane, cmd::PrevPane}) {
        QAction *a = makeAction(id, cmd::toolTipOf(id));
        addAction(a);
    }
}

void CMainFrame::createReBar()
{
    // Its title names it in the window's own context menu: the words of View > Tool Bar.
    m_reBar = new QToolBar(cmd::plainText(cmd::menuText(QT_TRANSLATE_NOOP("Menu", "&Tool Bar"))), this);
    m_reBar->setObjectName(QStringLiteral("ReBar"));
    m_reBar->setProperty("controlId", cmd::kReBarId);
    m_reBar->setMovable(false);
    m_reBar->setFloatable(false);
    m_reBar->setIconSize(QSize(24, 24));
    m_reBar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    for (int slot : cmd::toolBarSlots()) {
        if (slot == 0) {
            m_reBar->addSeparator();
        } else if (slot == -1) {
            m_filter = new HFileFilterBox(m_reBar);
            m_filter->setProperty("controlId", HFileFilterBox::kControlId);
            m_filter->setFilter(RegKeys::fileListFilter());
            m_filter->setSizeAdjustPolicy(QComboBox::AdjustToContents);
            m_filter->setAccessibleName(tr("File filter"));
            m_reBar->addWidget(m_filter);
            connect(m_filter, &HFileFilterBox::filterChanged, this, &CMainFrame::onFilterChanged);
        } else {
            QAction *a = actionFor(slot);
            if (!a)
                a = makeAction(slot, cmd::toolTipOf(slot));
            a->setIcon(toolIcon(slot));
            a->setToolTip(cmd::toolTipOf(slot));
            // A button that no pane, view or frame would ever take is not shown,
            // rather than grey for good.
            a->setVisible(hasHandler(slot));
            m_reBar->addAction(a);
        }
    }
    for (QAction *a : m_reBar->actions())
        if (QWidget *w = m_reBar->widgetForAction(a); w && !a->isSeparator() && w != m_filter)
            w->setFixedSize(30, 30);
    addToolBar(Qt::TopToolBarArea, m_reBar);
}

void CMainFrame::createStatusBar()
{
    QStatusBar *bar = statusBar();
    bar->setObjectName(QStringLiteral("StatusBar"));
    bar->setProperty("controlId", cmd::kStatusBarId);
    bar->setSizeGripEnabled(true);
    m_messagePane = new QLabel(text::tr(text::kReady), bar);
    m_messagePane->setObjectName(QStringLiteral("MessagePane"));
    bar->addWidget(m_messagePane, 1);
    const char *texts[3] = {text::kCaps, text::kNum, text::kScroll};
    for (int i = 0; i < 3; ++i) {
        auto *l = new QLabel(bar);
        l->setObjectName(QString::fromLatin1(texts[i]));
        l->setFrameShape(QFrame::Panel);
        l->setFrameShadow(QFrame::Sunken);
        l->setAlignment(Qt::AlignCenter);
        l->setMinimumWidth(l->fontMetrics().horizontalAdvance(text::tr(texts[i])) + 12);
        bar->addPermanentWidget(l);
        m_indicators[i] = l;
    }
    m_firmwarePane = new QLabel(bar);
    m_firmwarePane->setObjectName(QStringLiteral("FirmwarePane"));
    m_firmwarePane->setProperty("controlId", cmd::kFirmwarePaneId);
    m_firmwarePane->setFrameShape(QFrame::Panel);
    m_firmwarePane->setFrameShadow(QFrame::Sunken);
    m_firmwarePane->setMinimumWidth(
        m_firmwarePane->fontMetrics().horizontalAdvance(text::tr(text::kFirmwarePaneSize)) + 12);
    bar->addPermanentWidget(m_firmwarePane);
}

bool CMainFrame::hasHandler(int id)
{
    cmd::CommandState state;
    return HMp3MemView::handlesCommand(id) || (m_child && m_child->commandState(id, &state)) || commandState(id, &state);
}

QLabel *CMainFrame::indicatorPane(int index) const
{
    return index >= 0 && index < 3 ? m_indicators[index] : nullptr;
}

QAction *CMainFrame::actionFor(int id) const
{
    const QList<QAction *> list = m_actions.value(id);
    return list.isEmpty() ? nullptr : list.first();
}

QMenu *CMainFrame::menuNamed(const QString &text) const
{
    for (QAction *a : menuBar()->actions())
        if (cmd::plainText(a->text()) == text)
            return a->menu();
    return nullptr;
}

// ---- Routing ---------------------------------------------------------------------------------

cmd::CommandState CMainFrame::commandStateOf(int id)
{
    cmd::CommandState state;
    if (!m_child)
        return state;
    cmd::HCommandTarget *targets[3] = {m_child->focusedPaneTarget(), m_child, this};
    for (cmd::HCommandTarget *t : targets) {
        if (t && t->commandState(id, &state))
            return state;
    }
    return cmd::CommandState{};
}

void CMainFrame::executeCommand(int id)
{
    if (!m_child)
        return;
    // The rules are asked again: the menu may have been built before the
    // selection changed.
    cmd::HCommandTarget *targets[3] = {m_child->focusedPaneTarget(), m_child, this};
    for (cmd::HCommandTarget *t : targets) {
        cmd::CommandState state;
        if (t && t->commandState(id, &state)) {
            if (state.enabled && !(HDeviceBusy::active() && t != this))
                t->runCommand(id);
            break;
        }
    }
    scheduleIdleUpdate();
}

void CMainFrame::updateCommandStates()
{
    m_idlePending = false;
    if (!m_child)
        return;
    for (auto it = m_actions.constBegin(); it != m_actions.constEnd(); ++it) {
        const cmd::CommandState state = commandStateOf(it.key());
        for (QAction *a : it.value()) {
            a->setEnabled(state.enabled);
            if (a->isCheckable())
                a->setChecked(state.checked);
        }
    }
    m_child->updateTransferButtons();
    updateStatusPanes();
}

void CMainFrame::updateStatusPanes()
{
    const char *fw = zvs450_GetFirmwareVersionString();
    const QString text = !fw ? QString() : *fw ? QString::fromLocal8Bit(fw) : text::tr(text::kUnknownFirmware);
    if (m_firmwarePane->text() != text)
        m_firmwarePane->setText(text);
    const char *kinds[3] = {"capslock", "numlock", "scrolllock"};
    const char *texts[3] = {text::kCaps, text::kNum, text::kScroll};
    for (int i = 0; i < 3; ++i) {
        const QString t = lockLedOn(QString::fromLatin1(kinds[i])) ? text::tr(texts[i]) : QString();
        if (m_indicators[i]->text() != t)
            m_indicators[i]->setText(t);
    }
}

void CMainFrame::scheduleIdleUpdate()
{
    if (m_idlePending)
        return;
    m_idlePending = true;
    QTimer::singleShot(0, this, &CMainFrame::updateCommandStates);
}

bool CMainFrame::eventFilter(QObject *watched, QEvent *e)
{
    switch (e->type()) {
    case QEvent::MouseButtonRelease:
    case QEvent::KeyRelease:
    case QEvent::FocusIn:
    case QEvent::WindowActivate:
        scheduleIdleUpdate();
        break;
    default:
        break;
    }
    return QMainWindow::eventFilter(watched, e);
}

bool CMainFrame::commandState(int id, cmd::CommandState *state)
{
    switch (id) {
    case cmd::AppExit:
    case cmd::AppAbout:
        state->enabled = true;
        return true;
    case cmd::EditOption:
        // The settings go into the library: not while it works for the player.
        state->enabled = !HDeviceBusy::active();
        return true;
    case cmd::ViewToolBar:
        state->enabled = true;
        state->checkable = true;
        state->checked = m_reBar && !m_reBar->isHidden();
        return true;
    case cmd::ViewStatusBar:
        state->enabled = true;
        state->checkable = true;
        state->checked = !statusBar()->isHidden();
        return true;
    default:
        return false;
    }
}

bool CMainFrame::runCommand(int id)
{
    switch (id) {
    case cmd::AppExit:
        close();
        return true;
    case cmd::EditOption: {
        HConfigDlg dlg(this);
        dlg.exec();
        return true;
    }
    case cmd::AppAbout: {
        HAboutDlg dlg(this);
        dlg.exec();
        return true;
    }
    case cmd::ViewToolBar:
        m_reBar->setVisible(m_reBar->isHidden());
        return true;
    case cmd::ViewStatusBar:
        statusBar()->setVisible(statusBar()->isHidden());
        return true;
    default:
        return false;
    }
}

void CMainFrame::onFilterChanged(const QString &filter)
{
    RegKeys::setFileListFilter(filter);
    if (!m_child)
        return;
    m_child->desktopView()->setFileFilter(filter);
    for (int i = 0; i < m_child->deviceContainer()->rowCount(); ++i)
        if (HMp3MemView *v = m_child->memoryView(i))
            v->refresh(false);
}

void CMainFrame::onDeviceChanged()
{
    // Never in the middle of something: a library operation pumps events
    // while it talks to the player, and a dialog may be asking about it.
    if (HDeviceBusy::active() || QApplication::activeModalWidget()
        || QApplication::activePopupWidget()) {
        if (!m_reconnectPending) {
            m_reconnectPending = true;
            QTimer::singleShot(500, this, [this] {
                m_reconnectPending = false;
                onDeviceChanged();
            });
        }
        return;
    }
    m_child->reconnect();
    if (m_watcher)
        m_watcher->resync();
    updateCommandStates();
}

void CMainFrame::closeEvent(QCloseEvent *e)
{
    // A command's device operation is still running (its progress window
    // pumps the events that brought this close): the frame stays until the
    // operation has ended.
    if (HDeviceBusy::commandRunning() || zvs450_IsBusy()) {
        QApplication::beep();
        e->ignore();
        return;
    }
    saveWindowState();
    m_windowStateSaved = true;
    QMainWindow::closeEvent(e);
}

void CMainFrame::saveWindowState()
{
    RegKeys::setWindowState(placementShowState());
    RegKeys::setWindowGeometry(saveGeometry());
    if (m_child)
        RegKeys::setPaneDivider(m_child->dividerPosition());
}

void CMainFrame::restoreWindowState()
{
    const QByteArray geometry = RegKeys::windowGeometry();
    if (geometry.isEmpty() || !restoreGeometry(geometry))
        resize(defaultSize());
    if (m_child)
        m_child->setDividerPosition(RegKeys::paneDivider());
}

// The first run's window: 960 by 640, or the whole screen where it is smaller.
QSize CMainFrame::defaultSize() const
{
    QSize size(960, 640);
    if (const QScreen *s = screen())
        size = size.boundedTo(s->availableSize());
    return size;
}

void CMainFrame::showWithState(int showState)
{
    switch (showState) {
    case kShowMaximized:
        showMaximized();
        break;
    case kShowMinimized:
    case 6:  // minimise
    case 7:  // minimised without activation
        showMinimized();
        break;
    default:
        // 0 would hide the only window the program has; it shows normally.
        showNormal();
        break;
    }
}

int CMainFrame::placementShowState() const
{
    if (isMinimized())
        return kShowMinimized;
    if (isMaximized())
        return kShowMaximized;
    return kShowNormal;
}

QIcon CMainFrame::appIcon()
{
    // The same picture as packaging/tunedex.svg: the player with a note on its screen.
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128}) {
        QPixmap pm = canvas(size);
        QPainter p(&pm);
        p.setRenderHint(QPainter::Antialiasing);
        p.scale(size / 64.0, size / 64.0);
        p.setPen(QPen(QColor(0x1b, 0x2f, 0x4f), 2));
        p.setBrush(QColor(0x2b, 0x4c, 0x7e));
        p.drawRoundedRect(QRectF(14, 3, 36, 58), 7, 7);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0xcf, 0xe8, 0xff));
        p.drawRoundedRect(QRectF(19, 9, 26, 22), 3, 3);
        p.setBrush(QColor(0x1b, 0x2f, 0x4f));
        p.drawEllipse(QPointF(28, 26), 3.5, 2.8);
        p.drawEllipse(QPointF(38, 24), 3.5, 2.8);
        p.setPen(QPen(QColor(0x1b, 0x2f, 0x4f), 2));
        p.drawLine(QPointF(31.3, 26), QPointF(31.3, 14));
        p.drawLine(QPointF(41.3, 24), QPointF(41.3, 12));
        p.drawLine(QPointF(31.3, 14), QPointF(41.3, 12));
        p.setPen(QPen(QColor(0x9f, 0xb8, 0xd8), 2));
        p.setBrush(QColor(0x3d, 0x66, 0xa3));
        p.drawEllipse(QPointF(32, 46), 9, 9);
        p.setBrush(QColor(0x9f, 0xb8, 0xd8));
        p.setPen(Qt::NoPen);
        p.drawEllipse(QPointF(32, 46), 3, 3);
        p.end();
        icon.addPixmap(pm);
    }
    return icon;
}

// ---------------------------------------------------------------------------------------
// CTunedexApp

CTunedexApp::CTunedexApp(int &argc, char **argv) : QApplication(argc, argv)
{
    setApplicationName(QString::fromLatin1(RegKeys::kApplication));
    setDesktopFileName(QStringLiteral("tunedex"));
    tunedex::installTranslations();
}

CTunedexApp::~CTunedexApp() = default;

bool CTunedexApp::notify(QObject *receiver, QEvent *e)
{
    // Only what an event loop delivers counts: input from the window system,
    // timers and queued calls. Events sent on the spot by a handler (the
    // shortcut of a key press, the close event of close()) belong to the
    // handler's own level.
    const bool fromLoop = e->spontaneous() || e->type() == QEvent::Timer || e->type() == QEvent::MetaCall;
    if (!fromLoop)
        return QApplication::notify(receiver, e);
    // Input reaches a widget in two steps: the loop gives it to the widget's
    // window, which hands it on to the widget there and then. The second step
    // is on the first one's level, or no click would ever find the program idle.
    static bool s_inWindowInput = false;
    const bool handedOn = s_inWindowInput && receiver->isWidgetType() && e->spontaneous();
    const bool outer = s_inWindowInput;
    s_inWindowInput = !receiver->isWidgetType() && e->spontaneous();
    if (!handedOn)
        HDeviceBusy::enterEvent();
    const bool r = QApplication::notify(receiver, e);
    if (!handedOn)
        HDeviceBusy::leaveEvent();
    s_inWindowInput = outer;
    return r;
}

bool CTunedexApp::initInstance()
{
    // The settings live under the maker's name.
    setOrganizationName(QString::fromLatin1(RegKeys::kOrganization));
    RegKeys::loadFileListFilter();
    RegKeys::loadLastDirectory();
    zvs450_Initialize();

    auto *frame = new CMainFrame;
    if (!frame->create()) {
        delete frame;
        std::fputs("tunedex: the main window could not be created\n", stderr);
        return false;
    }
    m_frame = frame;
    setWindowIcon(CMainFrame::appIcon());
    frame->restoreWindowState();
    frame->showWithState(RegKeys::windowState());
    return true;
}

int CTunedexApp::exitInstance(int code)
{
    delete m_frame.data();
    zvs450_Terminate();
    RegKeys::saveLastDirectory();
    RegKeys::saveFileListFilter();
    return code;
}
