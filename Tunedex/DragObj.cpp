#include "DragObj.h"

#include "Mp3View.h"
#include "Commands.h"
#include "DeskView.h"
#include "DropObj.h"
#include "FileListCtrl.h"
#include "FileTran.h"
#include "Mp3MemVw.h"
#include "zvs450.h"

#include <QApplication>
#include <QCursor>
#include <QDateTime>
#include <QDir>
#include <QDrag>
#include <QDropEvent>
#include <QEventLoop>
#include <QKeyEvent>
#include <QLabel>
#include <QMimeData>
#include <QMouseEvent>
#include <QStandardPaths>
#include <QTemporaryDir>

namespace {

// The rows' picture: a window of its own above everything, which never takes
// the mouse or the focus, so the drag can follow the cursor over the whole screen.
std::unique_ptr<QLabel> makeImageWindow(const QPixmap &picture)
{
    auto label = std::make_unique<QLabel>(nullptr, Qt::ToolTip | Qt::FramelessWindowHint
                                                       | Qt::WindowTransparentForInput
                                                       | Qt::X11BypassWindowManagerHint);
    label->setObjectName(QStringLiteral("DragImage"));
    label->setAttribute(Qt::WA_TransparentForMouseEvents);
    label->setAttribute(Qt::WA_ShowWithoutActivating);
    label->setAttribute(Qt::WA_TranslucentBackground);
    label->setFocusPolicy(Qt::NoFocus);
    label->setPixmap(picture);
    label->resize(picture.size());
    label->setWindowOpacity(0.7);
    return label;
}

// Picture of a list's selected rows, cut to what the list shows: a selection of
// thousands of rows must not become a picture thousands of rows high.
QPixmap selectedRowsImage(HFileListCtrl *list, QPoint *topLeft)
{
    const QRect all = list->selectedRowsRect();
    const QRect shown = all & list->viewport()->rect();
    if (shown.isEmpty())
        return QPixmap();
    if (topLeft)
        *topLeft = shown.topLeft();
    return list->selectedRowsPixmap().copy(shown.translated(-all.topLeft()));
}

bool isMouseEvent(QEvent::Type t)
{
    return t == QEvent::MouseMove || t == QEvent::MouseButtonPress || t == QEvent::MouseButtonRelease
           || t == QEvent::MouseButtonDblClick;
}

bool isRightButton(const QEvent *e)
{
    const QEvent::Type t = e->type();
    return (t == QEvent::MouseButtonPress || t == QEvent::MouseButtonRelease || t == QEvent::MouseButtonDblClick)
           && static_cast<const QMouseEvent *>(e)->button() == Qt::RightButton;
}

// The mark of the program's own rows in a system drag: which process and
// which source they come from.
const QString kRowsFormat = QStringLiteral("application/x-tunedex-rows");
const QString kUriList = QStringLiteral("text/uri-list");

QByteArray uriList(const QList<QUrl> &urls)
{
    QByteArray bytes;
    for (const QUrl &url : urls)
        bytes += url.toEncoded() + "\r\n";
    return bytes;
}

// The data of a system drag. The files for other programs are made only when a
// program asks for them, that is when the rows are dropped there: a drag
// between the panes copies nothing twice.
class HPaneDragData : public QMimeData
{
public:
    HPaneDragData(HDragObject *source, const QByteArray &mark) : m_source(source), m_mark(mark) {}
    // Files made already (the rows left the window during the capture).
    void setFiles(const QList<QUrl> &files)
    {
        m_files = files;
        m_exported = true;
    }

    QStringList formats() const override
    {
        QStringList list{kRowsFormat};
        if (m_source && m_source->canDragOut())
            list << kUriList;
        return list;
    }
    bool hasFormat(const QString &type) const override { return formats().contains(type); }

protected:
    QVariant retrieveData(const QString &type, QMetaType) const override
    {
        if (type == kRowsFormat)
            return m_mark;
        if (type != kUriList || !m_source || !m_source->canDragOut())
            return QVariant();
        if (!m_exported) {
            m_exported = true;
            m_files = m_source->exportSelection();
            emit m_source->exported(m_files);
        }
        return uriList(m_files);
    }

private:
    QPointer<HDragObject> m_source;
    QByteArray m_mark;
    mutable bool m_exported = false;
    mutable QList<QUrl> m_files;
};

} // namespace

// ---------------------------------------------------------------------------------------
// HDragObject

HDragObject::HDragObject(QObject *parent) : QObject(parent) {}

HDragObject::~HDragObject()
{
    if (m_dragging)
        endDrag(false);
}

void HDragObject::addTarget(HDropObject *target)
{
    if (target && !m_targets.contains(target))
        m_targets.append(target);
}

void HDragObject::beginDrag(const QPoint &pos)
{
    // A device operation pumping events in its progress window must not see a
    // second one start from a drop.
    if (m_dragging || HDeviceBusy::active())
        return;
    QWidget *window = dragWindow();
    if (!window || !prepareScreen())
        return;

    QPoint topLeft;
    const QPixmap picture = createDragImage(&topLeft);
    if (picture.isNull()) {
        releaseScreen();
        return;
    }
    if (m_systemDrag) {
        runSystemDrag(pos, picture, topLeft);
        return;
    }
    m_hotSpot = pos - topLeft;
    m_image = makeImageWindow(picture);
    m_lastPoint = window->mapToGlobal(pos);
    m_image->move(m_lastPoint - m_hotSpot);
    m_image->show();
    m_dragging = true;
    dragMove(m_lastPoint);
    runCaptureLoop();
}

bool HDragObject::prepareScreen()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::UpdateRequest);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::UpdateLater);
    return !QCoreApplication::closingDown();
}

void HDragObject::releaseScreen()
{
    m_image.reset();
}

void HDragObject::runCaptureLoop()
{
    m_grabber = dragWindow();
    // Platforms without a screen (offscreen tests) cannot grab; the event
    // filter below sees the events all the same.
    const QString platform = QGuiApplication::platformName();
    m_grabbed = m_grabber && platform != QLatin1String("offscreen") && platform != QLatin1String("minimal");
    if (m_grabbed) {
        m_grabber->grabMouse();
        m_grabber->grabKeyboard();
    }
    m_dropAtEnd = false;
    m_ending = false;
    m_rightButtonEnd = false;
    qApp->installEventFilter(this);
    QEventLoop loop;
    m_loop = &loop;
    // QCoreApplication::exit() ends every running loop: a quit during the drag
    // ends it here without a drop, and the program's own loop ends as well.
    if (m_dragging)
        loop.exec();
    m_loop = nullptr;
    m_ending = false;
    qApp->removeEventFilter(this);
    if (m_dragging)
        endDrag(m_dropAtEnd);
    if (m_dragOutPending) {
        m_dragOutPending = false;
        dragOut();
    }
}

bool HDragObject::systemDragByDefault()
{
    return QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}

QByteArray HDragObject::dragMark() const
{
    return QByteArray::number(QCoreApplication::applicationPid()) + ':' + QByteArray::number(quintptr(this), 16);
}

QMimeData *HDragObject::createDragData()
{
    return new HPaneDragData(this, dragMark());
}

bool HDragObject::isOwnDragData(const QMimeData *data) const
{
    return data && data->hasFormat(kRowsFormat) && data->data(kRowsFormat) == dragMark();
}

void HDragObject::runSystemDrag(const QPoint &pos, const QPixmap &picture, const QPoint &topLeft)
{
    QWidget *window = dragWindow();
    m_lastPoint = window->mapToGlobal(pos);
    execSystemDrag(createDragData(), picture, pos - topLeft);
}

void HDragObject::execSystemDrag(QMimeData *data, const QPixmap &picture, const QPoint &hotSpot)
{
    QWidget *window = dragWindow();
    // The program's windows take this drag's drops while it runs (the event
    // filter answers for them); the panes' own rules decide what is taken.
    QList<QPointer<QWidget>> opened;
    for (QWidget *w : QApplication::topLevelWidgets()) {
        if (w->isVisible() && !w->acceptDrops()) {
            w->setAcceptDrops(true);
            opened << w;
        }
    }
    m_dragging = true;
    m_inSystemDrag = true;
    m_systemDropped = false;
    m_noDrop = true;
    qApp->installEventFilter(this);
    // Qt deletes the drag object once the drag is over.
    auto *drag = new QDrag(window);
    drag->setMimeData(data);
    if (!picture.isNull()) {
        drag->setPixmap(picture);
        drag->setHotSpot(hotSpot);
    }
    if (m_systemDragRunner) {
        m_systemDragRunner(drag);
        drag->deleteLater();
    } else {
        drag->exec(Qt::CopyAction, Qt::CopyAction);
    }
    qApp->removeEventFilter(this);
    for (const QPointer<QWidget> &w : opened)
        if (w)
            w->setAcceptDrops(false);
    m_inSystemDrag = false;
    m_dragging = false;
    // As after the capture: the transfer runs once the drag is over.
    dropAtLastPoint(m_systemDropped);
}

bool HDragObject::systemDragEvent(QWidget *receiver, QEvent *e)
{
    const QEvent::Type t = e->type();
    if (t == QEvent::DragLeave) {
        m_noDrop = true;
        return false;
    }
    if (t != QEvent::DragEnter && t != QEvent::DragMove && t != QEvent::Drop)
        return false;
    auto *de = static_cast<QDropEvent *>(e);
    if (!isOwnDragData(de->mimeData()))
        return false;
    m_lastPoint = receiver->mapToGlobal(de->position().toPoint());
    HDropObject *target = targetAt(m_lastPoint);
    const bool takes = target && target->canDrop();
    m_noDrop = !takes;
    if (t == QEvent::Drop)
        m_systemDropped = takes;
    if (takes) {
        de->setDropAction(Qt::CopyAction);
        de->accept();
    } else {
        de->ignore();
    }
    return true;
}

bool HDragObject::outsideProgram(const QPoint &globalPos) const
{
    for (QWidget *w : QApplication::topLevelWidgets()) {
        if (w == m_image.get() || !w->isVisible() || w->windowType() == Qt::ToolTip)
            continue;
        if (w->frameGeometry().contains(globalPos))
            return false;
    }
    return true;
}

void HDragObject::dragOut()
{
    const QList<QUrl> files = exportSelection();
    emit exported(files);
    // The user may have let go while the files were copied: there is nothing
    // to carry then, and nowhere to put it.
    if (files.isEmpty() || !dragWindow() || !(QGuiApplication::mouseButtons() & Qt::LeftButton)) {
        emit dragEnded(false);
        return;
    }
    // The rows stay the program's too: brought back over a pane, they are
    // dropped there by the panes' rules.
    auto *data = new HPaneDragData(this, dragMark());
    data->setFiles(files);
    execSystemDrag(data, QPixmap(), QPoint());
}

void HDragObject::finish(bool drop)
{
    if (!m_dragging || m_ending)
        return;
    if (m_loop) {
        m_ending = true;
        // The drop runs after the loop, back in the event that started the drag:
        // its transfer must not run nested inside the capture.
        m_dropAtEnd = drop;
        m_loop->exit();
    } else {
        endDrag(drop);
    }
}

bool HDragObject::eventFilter(QObject *watched, QEvent *e)
{
    // The window system's events reach the program's windows first; their
    // bookkeeping of pressed buttons must see them. The drag takes them where
    // they reach a widget.
    if (!m_dragging || !watched->isWidgetType())
        return false;
    if (m_inSystemDrag)
        return systemDragEvent(static_cast<QWidget *>(watched), e);
    // The list that holds the mouse went away: nothing can be dropped any more.
    if (e->type() == QEvent::Hide && watched == m_grabber) {
        finish(false);
        return false;
    }
    return captureEvent(e);
}

bool HDragObject::captureEvent(QEvent *e)
{
    const QEvent::Type t = e->type();
    // The right-button press that cancelled the drag is the drag's to the
    // end: the window system makes a context menu of that same press (or of
    // its release, on some platforms), which would open at the pointer over
    // whatever pane is there and act on the dragged rows.
    if (m_rightButtonEnd && (t == QEvent::ContextMenu || isRightButton(e))) {
        if (t == QEvent::MouseButtonRelease)
            m_rightButtonEnd = false;
        return true;
    }
    // Once the end is decided, what follows until the loop returns is the
    // program's again.
    if (!m_dragging || m_ending)
        return false;
    if (t == QEvent::ContextMenu)
        return true;  // no menu while rows are dragged
    if (isMouseEvent(t)) {
        auto *me = static_cast<QMouseEvent *>(e);
        const QPoint global = me->globalPosition().toPoint();
        if (t == QEvent::MouseMove) {
            dragMove(global);
        } else if (t == QEvent::MouseButtonRelease && me->button() == Qt::LeftButton) {
            dragMove(global);
            finish(true);
        } else if (t == QEvent::MouseButtonPress && me->button() == Qt::RightButton) {
            m_rightButtonEnd = true;
            finish(false);
        }
        // Other buttons do nothing while the rows are dragged.
        return true;
    }
    switch (t) {
    case QEvent::ShortcutOverride:
        // The keys belong to the drag: no menu accelerator fires meanwhile.
        e->accept();
        return true;
    case QEvent::KeyPress: {
        auto *ke = static_cast<QKeyEvent *>(e);
        keyStateChange(ke->key(), true);
        if (ke->key() == Qt::Key_Escape)
            finish(false);
        return true;
    }
    case QEvent::KeyRelease:
        keyStateChange(static_cast<QKeyEvent *>(e)->key(), false);
        return true;
    case QEvent::ApplicationStateChange:
        // The program lost the mouse to another one: the drag is over, nothing dropped.
        if (QGuiApplication::applicationState() != Qt::ApplicationActive)
            finish(false);
        return false;
    default:
        return false;
    }
}

void HDragObject::dragMove(const QPoint &globalPos)
{
    // Out of the program's windows: the rows go on as files to whatever
    // program is there, through the system's drag service.
    if (m_loop && !m_ending && canDragOut() && outsideProgram(globalPos)) {
        m_lastPoint = globalPos;
        m_dragOutPending = true;
        finish(false);
        return;
    }
    if (m_image)
        m_image->move(globalPos - m_hotSpot);
    HDropObject *target = targetAt(globalPos);
    setCursorShape(!target || !target->canDrop());
    m_lastPoint = globalPos;
}

void HDragObject::setCursorShape(bool noDrop)
{
    m_noDrop = noDrop;
    const QCursor cursor(noDrop ? Qt::ForbiddenCursor : Qt::ArrowCursor);
    if (m_cursorSet) {
        QApplication::changeOverrideCursor(cursor);
    } else {
        QApplication::setOverrideCursor(cursor);
        m_cursorSet = true;
    }
}

void HDragObject::endDrag(bool drop)
{
    if (!m_dragging)
        return;
    if (m_grabber && m_grabbed) {
        m_grabber->releaseKeyboard();
        m_grabber->releaseMouse();
    }
    m_grabbed = false;
    m_grabber = nullptr;
    if (m_cursorSet) {
        QApplication::restoreOverrideCursor();
        m_cursorSet = false;
    }
    releaseScreen();
    m_dragging = false;
    dropAtLastPoint(drop);
}

void HDragObject::dropAtLastPoint(bool drop)
{
    // The rows go on out of the window: the drag is not over yet.
    if (m_dragOutPending)
        return;
    bool dropped = false;
    if (drop) {
        HDropObject *target = targetAt(m_lastPoint);
        if (target && target->canDrop()) {
            HDeviceBusy busy;
            dropOnTarget(target);
            dropped = true;
        }
    }
    emit dragEnded(dropped);
}

void HDragObject::keyStateChange(int, bool) {}

QWidget *HDragObject::windowAt(const QPoint &globalPos) const
{
    // Under the picture the window system may name the picture itself or
    // nothing: look at the program's windows directly there, the active one first.
    const bool underImage = m_image && m_image->isVisible() && m_image->geometry().contains(globalPos);
    if (!underImage)
        return QApplication::widgetAt(globalPos);
    QList<QWidget *> windows = QApplication::topLevelWidgets();
    if (QWidget *active = QApplication::activeWindow()) {
        windows.removeAll(active);
        windows.prepend(active);
    }
    for (QWidget *w : windows) {
        if (w == m_image.get() || !w->isVisible() || w->windowType() == Qt::ToolTip
            || !w->geometry().contains(globalPos))
            continue;
        QWidget *child = w->childAt(w->mapFromGlobal(globalPos));
        return child ? child : w;
    }
    return nullptr;
}

HDropObject *HDragObject::targetAt(const QPoint &globalPos) const
{
    QWidget *under = windowAt(globalPos);
    if (!under)
        return nullptr;
    for (HDropObject *target : m_targets) {
        QWidget *window = target->dropWindow();
        if (!window)
            continue;
        for (QWidget *w = under; w; w = w->parentWidget())
            if (w == window)
                return target;
    }
    return nullptr;
}

QWidget *HDragObject::dragImageWindow() const
{
    return m_image.get();
}

// ---------------------------------------------------------------------------------------
// Desktop pane as a source

HDeskDragSource::HDeskDragSource(HDesktopView *view) : m_view(view)
{
    connect(view, &HDesktopView::dragBegins, this, &HDragObject::beginDrag);
}

QWidget *HDeskDragSource::dragWindow() const
{
    return m_view ? m_view->list()->viewport() : nullptr;
}

QPixmap HDeskDragSource::createDragImage(QPoint *topLeft)
{
    return m_view ? selectedRowsImage(m_view->list(), topLeft) : QPixmap();
}

bool HDeskDragSource::collectSelection(HFileTransferList &list)
{
    return m_view && m_view->collectSelection(list);
}

void HDeskDragSource::dropOnTarget(HDropObject *target)
{
    HFileTransferList list;
    if (collectSelection(list) && !list.isEmpty())
        target->accept(list, true);
}

// ---------------------------------------------------------------------------------------
// Memory pane as a source

HMemDragSource::HMemDragSource(HMp3MemView *view) : m_view(view)
{
    connect(view, &HMp3MemView::dragBegins, this, &HDragObject::beginDrag);
}

QWidget *HMemDragSource::dragWindow() const
{
    return m_view ? m_view->list()->viewport() : nullptr;
}

QPixmap HMemDragSource::createDragImage(QPoint *topLeft)
{
    return m_view ? selectedRowsImage(m_view->list(), topLeft) : QPixmap();
}

bool HMemDragSource::collectSelection(HFileTransferList &list)
{
    return m_view && m_view->collectSelection(list);
}

void HMemDragSource::dropOnTarget(HDropObject *target)
{
    // Uploads go into the folder the target shows; a target without one (the
    // desktop showing the drives) takes nothing. Once the batch has run, the
    // target lists again whatever came of it.
    if (!m_view)
        return;
    HFileTransferList uploaded;
    if (m_view->uploadSelection(target->destinationFolder(), &uploaded))
        target->accept(uploaded, false);
}

QList<QUrl> HMemDragSource::exportSelection()
{
    if (!m_view)
        return {};
    const QString folder = newExportFolder();
    if (folder.isEmpty())
        return {};
    std::vector<Zvs450Copied> copied;
    {
        HDeviceBusy busy;
        m_view->uploadSelection(folder, nullptr, &copied);
    }
    QList<QUrl> files;
    for (const Zvs450Copied &c : copied)
        files << QUrl::fromLocalFile(c.localPath);
    if (files.isEmpty())
        QDir(folder).removeRecursively();
    return files;
}

QString HMemDragSource::newExportFolder()
{
    const QString cache = QStandardPaths::writableLocation(QStandardPaths::CacheLocation);
    if (cache.isEmpty())
        return QString();
    const QString base = cache + QStringLiteral("/drag-out");
    if (!QDir().mkpath(base))
        return QString();
    // The program that took the files may read them a while later (a player
    // opens them where they are): each drag's folder stays a day.
    const QDateTime old = QDateTime::currentDateTime().addDays(-1);
    for (const QFileInfo &fi : QDir(base).entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot))
        if (fi.lastModified() < old)
            QDir(fi.absoluteFilePath()).removeRecursively();
    QTemporaryDir folder(base + QStringLiteral("/XXXXXX"));
    if (!folder.isValid())
        return QString();
    folder.setAutoRemove(false);
    return folder.path();
}

// ---------------------------------------------------------------------------------------
// HPaneDragDrop

struct HPaneDragDrop::MemoryPane {
    QPointer<HMp3MemView> view;
    std::unique_ptr<HMemDragSource> source;
    std::unique_ptr<HMemDropTarget> target;
};

HPaneDragDrop::HPaneDragDrop(HDesktopView *desktop, HMp3View *device, QObject *parent)
    : QObject(parent),
      m_device(device),
      m_deskSource(std::make_unique<HDeskDragSource>(desktop)),
      m_deskTarget(std::make_unique<HDeskDropTarget>(desktop))
{
}

HPaneDragDrop::~HPaneDragDrop() = default;

std::unique_ptr<HPaneDragDrop::MemoryPane> HPaneDragDrop::makePane(HMp3MemView *view)
{
    auto p = std::make_unique<MemoryPane>();
    p->view = view;
    if (view) {
        p->source = std::make_unique<HMemDragSource>(view);
        p->target = std::make_unique<HMemDropTarget>(view);
    }
    return p;
}

void HPaneDragDrop::registerTargets()
{
    // The container makes its memory views at the first connect that finds a
    // memory; the rows keep their views from then on.
    const int rows = m_device ? m_device->rowCount() : 0;
    for (int i = 0; i < rows; ++i) {
        HMp3MemView *view = m_device->memoryView(i);
        if (i >= int(m_memories.size()))
            m_memories.push_back(makePane(view));
        else if (m_memories[size_t(i)]->view != view)
            m_memories[size_t(i)] = makePane(view);
    }

    m_deskSource->clearTargets();
    for (const auto &p : m_memories) {
        if (p->target)
            m_deskSource->addTarget(p->target.get());
        if (p->source) {
            p->source->clearTargets();
            p->source->addTarget(m_deskTarget.get());
        }
    }
}

HDragObject *HPaneDragDrop::desktopSource() const
{
    return m_deskSource.get();
}

HDropObject *HPaneDragDrop::desktopTarget() const
{
    return m_deskTarget.get();
}

HPaneDragDrop::MemoryPane *HPaneDragDrop::pane(int memory) const
{
    if (memory < 0 || memory >= int(m_memories.size()) || !m_memories[size_t(memory)]->view)
        return nullptr;
    return m_memories[size_t(memory)].get();
}

HDragObject *HPaneDragDrop::memorySource(int memory) const
{
    MemoryPane *p = pane(memory);
    return p ? p->source.get() : nullptr;
}

HDropObject *HPaneDragDrop::memoryTarget(int memory) const
{
    MemoryPane *p = pane(memory);
    return p ? p->target.get() : nullptr;
}

void HPaneDragDrop::transfer(int memory, bool download)
{
    if (download) {
        if (HDropObject *target = memoryTarget(memory); target && target->canDrop())
            m_deskSource->dropOnTarget(target);
    } else if (HDragObject *source = memorySource(memory); source && m_deskTarget->canDrop()) {
        source->dropOnTarget(m_deskTarget.get());
    }
}
