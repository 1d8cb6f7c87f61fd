#include "TreeCtrlFolder.h"

#include <QApplication>
#include <QCursor>
#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QTreeWidgetItemIterator>

HFolderTreeItem::HFolderTreeItem(std::unique_ptr<HFolder> folder) : m_folder(std::move(folder))
{
    setText(0, m_folder->displayName);
}

HTreeCtrlFolder::HTreeCtrlFolder(QWidget *comboBox)
    : QTreeWidget(comboBox), m_comboBox(comboBox)
{
    setWindowFlags(Qt::Popup);
    setObjectName(QStringLiteral("FolderTree"));
    setHeaderHidden(true);
    setColumnCount(1);
    setRootIsDecorated(true);
    setUniformRowHeights(true);
    setDragEnabled(false);
    setMouseTracking(true);
    setIconSize(QSize(16, 16));
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setFrameShape(QFrame::Box);
    if (comboBox)
        setFont(comboBox->font());
    hide();

    setImages(hFolderImageList(style()));
    connect(this, &QTreeWidget::itemExpanded, this, [this](QTreeWidgetItem *item) {
        if (HFolder *f = folderOf(item))
            item->setIcon(0, image(f->openImage));
    });
    connect(this, &QTreeWidget::itemCollapsed, this, [this](QTreeWidgetItem *item) {
        if (HFolder *f = folderOf(item))
            item->setIcon(0, image(f->image));
    });
}

void HTreeCtrlFolder::setImages(const QList<QIcon> &images)
{
    m_images = images;
    for (QTreeWidgetItemIterator it(this); *it; ++it) {
        if (HFolder *f = folderOf(*it))
            (*it)->setIcon(0, image((*it)->isExpanded() ? f->openImage : f->image));
    }
}

QIcon HTreeCtrlFolder::image(int index) const
{
    return index >= 0 && index < m_images.size() ? m_images.at(index) : QIcon();
}

HFolder *HTreeCtrlFolder::folderOf(const QTreeWidgetItem *item)
{
    auto *fi = dynamic_cast<const HFolderTreeItem *>(item);
    return fi ? fi->folder() : nullptr;
}

const HFolder *HTreeCtrlFolder::currentFolder() const
{
    return folderOf(m_current);
}

QTreeWidgetItem *HTreeCtrlFolder::insertFolder(QTreeWidgetItem *parent, std::unique_ptr<HFolder> folder)
{
    const int img = folder->image;
    auto *item = new HFolderTreeItem(std::move(folder));
    item->setIcon(0, image(img));
    if (parent)
        parent->addChild(item);
    else
        addTopLevelItem(item);
    return item;
}

namespace {

std::unique_ptr<HFolder> specialPlace(int kind, int img, const QString &name, const QString &path)
{
    auto f = std::make_unique<HFolder>();
    f->kind = kind;
    f->image = f->openImage = img;
    f->path = path;
    // The name the user knows; the path when the place has no name of its own.
    f->displayName = name.isEmpty() ? path : name;
    return f;
}

}  // namespace

void HTreeCtrlFolder::fill()
{
    m_current = nullptr;
    clear();
    const HFolderSource &src = HFolderSource::instance();

    QTreeWidgetItem *desktop =
        insertFolder(nullptr, specialPlace(kFolderDesktop, kImageDesktop, tr("Desktop"), src.desktopPath()));
    QTreeWidgetItem *computer =
        insertFolder(desktop, specialPlace(kFolderDrives, kImageComputer, tr("Computer"), QString()));
    const QList<HVolume> drives = src.drives();
    for (const HVolume &v : drives) {
        auto f = std::make_unique<HFolder>();
        f->kind = kFolderDrive;
        f->path = v.rootPath;
        f->displayName = v.displayName.isEmpty() ? tr("Drive (%1)").arg(v.rootPath) : v.displayName;
        f->image = f->openImage = v.type == HVolume::Removable ? kImageRemovable
                                  : v.type == HVolume::Optical ? kImageOptical
                                                               : kImageDrive;
        insertFolder(computer, std::move(f));
    }
    // There is no control panel on this platform; the network level lists mounted
    // network file systems.
    insertFolder(desktop, specialPlace(kFolderNetwork, kImageNetwork, tr("Network"), QString()));
    const QString docs = src.documentsPath();
    if (!docs.isEmpty())
        insertFolder(desktop, specialPlace(kFolderPersonal, kImageDocuments, tr("Documents"), docs));

    desktop->setExpanded(true);
    selectPath(QDir::currentPath(), true);
    if (!m_current)
        makeCurrent(desktop, true);
}

QTreeWidgetItem *HTreeCtrlFolder::findKind(int kind) const
{
    for (QTreeWidgetItemIterator it(const_cast<HTreeCtrlFolder *>(this)); *it; ++it) {
        if (HFolder *f = folderOf(*it); f && f->kind == kind)
            return *it;
    }
    return nullptr;
}

QTreeWidgetItem *HTreeCtrlFolder::findPath(const QString &path, int kind) const
{
    // Paths are compared as they are spelled: Linux file names are case-sensitive.
    for (QTreeWidgetItemIterator it(const_cast<HTreeCtrlFolder *>(this)); *it; ++it) {
        if (HFolder *f = folderOf(*it); f && f->kind == kind && f->path == path)
            return *it;
    }
    return nullptr;
}

QTreeWidgetItem *HTreeCtrlFolder::deepestFirstChild(QTreeWidgetItem *item) const
{
    while (item && item->childCount() > 0)
        item = item->child(0);
    return item;
}

bool HTreeCtrlFolder::selectPath(const QString &rawPath, bool notify)
{
    const QString path = HFolderPath::normalize(rawPath);
    if (path.isEmpty())
        return false;
    const HFolderSource &src = HFolderSource::instance();

    // A folder on a mounted network file system is one item below the deepest network
    // level, named after its last component.
    const QList<HVolume> mounts = src.networkMounts();
    if (path.startsWith(QLatin1String("//")) || HFolderPath::volumeOf(mounts, path)) {
        QTreeWidgetItem *below = deepestFirstChild(findKind(kFolderNetwork));
        if (!below)
            return false;
        if (HFolder *f = folderOf(below); f && f->path == path) {
            makeCurrent(below, notify);
            return true;
        }
        auto f = std::make_unique<HFolder>();
        f->displayName = HFolderPath::fileNamePart(path);
        f->path = path;
        f->image = kImageFolder;
        f->openImage = kImageFolderOpen;
        f->kind = kFolderOrdinary;
        makeCurrent(insertFolder(below, std::move(f)), notify);
        return true;
    }

    // The drive is the mounted volume holding the path; the chain of folders below it
    // reuses the items that exist and adds the rest.
    const QList<HVolume> drives = src.drives();
    const HVolume *vol = HFolderPath::volumeOf(drives, path);
    QTreeWidgetItem *reached = vol ? findPath(vol->rootPath, kFolderDrive) : nullptr;
    if (!reached)
        return false;

    const QString rest = path.mid(vol->rootPath.size());
    const QStringList components = rest.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    QString accumulated = vol->rootPath;
    int i = 0;
    for (; i < components.size(); ++i) {
        const QString next = HFolderPath::join(accumulated, components.at(i));
        QTreeWidgetItem *child = nullptr;
        for (int c = 0; c < reached->childCount() && !child; ++c) {
            if (HFolder *f = folderOf(reached->child(c)); f && f->path == next)
                child = reached->child(c);
        }
        if (!child)
            break;
        reached = child;
        accumulated = next;
    }
    for (; i < components.size(); ++i) {
        const QString next = HFolderPath::join(accumulated, components.at(i));
        if (!QFileInfo(next).isDir())
            break;
        auto f = std::make_unique<HFolder>();
        f->displayName = components.at(i);
        f->path = next;
        f->image = kImageFolder;
        f->openImage = kImageFolderOpen;
        f->kind = kFolderOrdinary;
        reached = insertFolder(reached, std::move(f));
        accumulated = next;
    }
    makeCurrent(reached, notify);
    return true;
}

bool HTreeCtrlFolder::addBelowKind(std::unique_ptr<HFolder> folder, int kind)
{
    QTreeWidgetItem *below = deepestFirstChild(findKind(kind));
    if (!below || !folder)
        return false;
    makeCurrent(insertFolder(below, std::move(folder)), true);
    return true;
}

bool HTreeCtrlFolder::goUp()
{
    if (!m_current || !m_current->parent())
        return false;
    prune(true, m_current->parent());
    return true;
}

bool HTreeCtrlFolder::goUpToExisting()
{
    if (!m_current || !m_current->parent())
        return false;
    QTreeWidgetItem *stop = m_current->parent();
    while (stop->parent()) {
        const HFolder *f = folderOf(stop);
        if (!f || f->path.isEmpty() || QFileInfo(f->path).isDir())
            break;
        stop = stop->parent();
    }
    prune(true, stop);
    return true;
}

void HTreeCtrlFolder::prune(bool notify, QTreeWidgetItem *stop)
{
    // An ancestor of the stop item is never removed: it is the way to the stop item.
    const auto leadsTo = [](const QTreeWidgetItem *a, const QTreeWidgetItem *b) {
        for (; b; b = b->parent())
            if (a == b)
                return true;
        return false;
    };
    QTreeWidgetItem *item = m_current;
    while (item && item != stop) {
        HFolder *f = folderOf(item);
        if (!f || f->kind != kFolderOrdinary || leadsTo(item, stop))
            break;
        QTreeWidgetItem *parent = item->parent();
        delete item;  // frees its folder item and every item below it
        item = parent;
    }
    if (m_current != item) {
        // The old current place is gone; the survivor stands in until the caller chooses.
        m_current = item;
        if (item)
            setCurrentItem(item);
    }
    if (notify && stop)
        makeCurrent(stop, true);
}

void HTreeCtrlFolder::keepOnlySpecialPlaces()
{
    QList<QTreeWidgetItem *> ordinary;
    for (QTreeWidgetItemIterator it(this); *it; ++it) {
        HFolder *f = folderOf(*it);
        QTreeWidgetItem *parent = (*it)->parent();
        // Only the topmost ordinary item of each chain; deleting it takes the rest.
        if (f && f->kind == kFolderOrdinary && !(parent && folderOf(parent)->kind == kFolderOrdinary))
            ordinary.append(*it);
    }
    QTreeWidgetItem *survivor = m_current;
    while (survivor && folderOf(survivor)->kind == kFolderOrdinary)
        survivor = survivor->parent();
    m_current = survivor;
    qDeleteAll(ordinary);
    if (m_current)
        setCurrentItem(m_current);
}

void HTreeCtrlFolder::makeCurrent(QTreeWidgetItem *item, bool notify)
{
    if (!item)
        return;
    for (QTreeWidgetItem *p = item->parent(); p; p = p->parent())
        p->setExpanded(true);
    setCurrentItem(item);
    m_current = item;
    if (notify)
        emit folderChanged(folderOf(item));
    emit currentPlaceChanged();
}

void HTreeCtrlFolder::showDropDown(int width, int height)
{
    const QPoint at = m_comboBox ? m_comboBox->mapToGlobal(QPoint(0, m_comboBox->height())) : QPoint();
    setGeometry(QRect(at, QSize(width, height)));
    if (m_current) {
        setCurrentItem(m_current);
        scrollToItem(m_current);
    }
    show();
    raise();
    activateWindow();
    setFocus(Qt::PopupFocusReason);
    emit currentPlaceChanged();
}

void HTreeCtrlFolder::hideDropDown()
{
    if (!isVisible())
        return;
    hide();
    // The hot-tracked selection was only a candidate: show the current place again.
    if (m_current)
        setCurrentItem(m_current);
    emit currentPlaceChanged();
}

void HTreeCtrlFolder::choose(QTreeWidgetItem *item)
{
    if (!item)
        item = currentItem();
    if (!item) {
        hideDropDown();
        return;
    }
    prune(false, item);
    makeCurrent(item, false);
    hideDropDown();
    emit folderChanged(folderOf(item));
}

bool HTreeCtrlFolder::overComboBox() const
{
    return m_comboBox && m_comboBox->rect().contains(m_comboBox->mapFromGlobal(QCursor::pos()));
}

bool HTreeCtrlFolder::event(QEvent *e)
{
    // A press outside a popup arrives at the popup window itself, which a scroll area
    // would leave unhandled: close the drop-down here. A press on the combo box only
    // closes it (the box must not open it again at once).
    if (e->type() == QEvent::MouseButtonPress || e->type() == QEvent::MouseButtonDblClick) {
        auto *me = static_cast<QMouseEvent *>(e);
        if (!rect().contains(me->position().toPoint())) {
            if (m_comboBox
                && m_comboBox->rect().contains(m_comboBox->mapFromGlobal(me->globalPosition().toPoint())))
                setAttribute(Qt::WA_NoMouseReplay);
            hideDropDown();
            return true;
        }
    }
    return QTreeWidget::event(e);
}

void HTreeCtrlFolder::mousePressEvent(QMouseEvent *e)
{
    if (e->button() != Qt::LeftButton) {
        QTreeWidget::mousePressEvent(e);
        return;
    }
    const QPoint pos = e->position().toPoint();
    QTreeWidgetItem *item = itemAt(pos);
    // Left of the item's text and icon are the lines and the expand button.
    if (item && pos.x() < visualItemRect(item).left()) {
        QTreeWidget::mousePressEvent(e);
        return;
    }
    choose(item);
}

void HTreeCtrlFolder::mouseMoveEvent(QMouseEvent *e)
{
    // Hot tracking: the item under the mouse is the candidate, not yet the current place.
    if (QTreeWidgetItem *item = itemAt(e->position().toPoint()); item && item != currentItem())
        setCurrentItem(item);
    QTreeWidget::mouseMoveEvent(e);
}

void HTreeCtrlFolder::keyPressEvent(QKeyEvent *e)
{
    switch (e->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        choose(currentItem());
        return;
    case Qt::Key_Escape:
        hideDropDown();
        return;
    default:
        QTreeWidget::keyPressEvent(e);
    }
}

void HTreeCtrlFolder::focusOutEvent(QFocusEvent *e)
{
    QTreeWidget::focusOutEvent(e);
    if (e->reason() != Qt::PopupFocusReason && !overComboBox())
        hideDropDown();
}
