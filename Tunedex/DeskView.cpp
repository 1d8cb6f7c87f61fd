#include "DeskView.h"

#include "FileListCtrl.h"
#include "RegKeys.h"
#include "StringTable.h"
#include "errorsys.h"
#include "zvs450.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QLocale>
#include <QMenu>
#include <QMessageBox>
#include <QKeySequence>
#include <QLineEdit>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QResizeEvent>
#include <QShortcut>
#include <QStyledItemDelegate>
#include <QStyle>
#include <QToolButton>
#include <QUrl>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>

namespace {

constexpr int kDefaultColumnWidth = RegKeys::kDefaultColumnWidth;
constexpr int kView = RegKeys::kDesktopView;

qint64 mtimeOf(const struct stat &st)
{
    return qint64(st.st_mtim.tv_sec) * 1000 + st.st_mtim.tv_nsec / 1000000;
}

// Windows wildcard semantics: "*.*" and "*" take every name, other patterns match the
// whole name without regard to case.
class NameFilter {
public:
    explicit NameFilter(const QString &pattern)
    {
        const QString p = pattern.trimmed();
        m_all = p.isEmpty() || p == QLatin1String("*.*") || p == QLatin1String("*");
        if (!m_all)
            m_re = QRegularExpression(QRegularExpression::wildcardToRegularExpression(p),
                                      QRegularExpression::CaseInsensitiveOption);
    }
    bool matches(const QString &name) const { return m_all || m_re.match(name).hasMatch(); }

private:
    bool m_all = true;
    QRegularExpression m_re;
};

// Moves a file to the freedesktop trash: the home trash under the XDG data folder,
// or the trash at the top of another file system. Qt finds the trash, but when the
// home trash cannot be made (no data folder yet, or a file in its place) it moves the
// file into "files" and "info" folders of the process's current folder instead. So the
// home trash is made here first, as private as the trash must be, and a file that
// landed anywhere but in a trash is put back: false then, and the file is where it was.
bool moveToTrash(const QString &path)
{
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (data.isEmpty() || !QDir().mkpath(data))
        return false;
    const QString home = data + QStringLiteral("/Trash");
    for (const QString &dir : {home, home + QStringLiteral("/files"), home + QStringLiteral("/info")}) {
        if (::mkdir(QFile::encodeName(dir).constData(), 0700) != 0 && !QFileInfo(dir).isDir())
            return false;
    }
    QString inTrash;
    if (!QFile::moveToTrash(path, &inTrash))
        return false;
    const QFileInfo placed(inTrash);
    const QDir files = placed.absoluteDir();
    const QString trash = QFileInfo(files.absolutePath()).absolutePath();
    const QString trashName = QFileInfo(trash).fileName();
    const QString trashParent = QFileInfo(QFileInfo(trash).absolutePath()).fileName();
    if (placed.isAbsolute() && files.dirName() == QLatin1String("files")
        && (trash == QDir(home).absolutePath() || trashName.startsWith(QLatin1String(".Trash-"))
            || trashParent == QLatin1String(".Trash")))
        return true;
    QFile::rename(inTrash, path);
    QFile::remove(trash + QStringLiteral("/info/") + placed.fileName() + QStringLiteral(".trashinfo"));
    return false;
}

}  // namespace

// ---------------------------------------------------------------------------------------
// HDeskPrompter

bool HDeskPrompter::confirm(QWidget *owner, const QString &caption, const QString &text)
{
    return QMessageBox::question(owner, caption, text, QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
           == QMessageBox::Yes;
}

void HDeskPrompter::showSystemError(QWidget *owner, int error, const QString &path)
{
    errorsys_Show(error, owner, path);
}

void HDeskPrompter::openDocument(const QString &path)
{
    QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

void HDeskPrompter::showProperties(QWidget *owner, const QString &path)
{
    const QFileInfo fi(path);
    QString text = path;
    if (fi.exists()) {
        text += QStringLiteral("\n\n%1: %2").arg(text::tr(text::kSize),
                                                  QLocale().formattedDataSize(fi.size()));
        text += QStringLiteral("\n%1: %2").arg(text::tr(text::kDate),
                                                QLocale().toString(fi.lastModified(), QLocale::LongFormat));
    }
    QMessageBox::information(owner, QCoreApplication::translate("HDesktopView", "Properties"), text);
}

void HDeskPrompter::showError(QWidget *owner, const QString &text)
{
    QMessageBox::warning(owner, QString(), text);
}

// ---------------------------------------------------------------------------------------
// HDesktopView

// The in-place name editor. The model is never written: the committed name goes to the
// view once the editor has closed, which renames the entry and lists the folder again.
class HDesktopView::NameDelegate final : public QStyledItemDelegate {
public:
    explicit NameDelegate(HDesktopView *view) : QStyledItemDelegate(view), m_view(view) {}

    void setModelData(QWidget *editor, QAbstractItemModel *, const QModelIndex &index) const override
    {
        auto *line = qobject_cast<QLineEdit *>(editor);
        if (!line || index.row() >= m_view->m_model->rowCount())
            return;
        const QString oldName = m_view->m_model->row(index.row()).name;
        const QString newName = line->text();
        QMetaObject::invokeMethod(
            m_view, [v = m_view, oldName, newName] { v->renameEntry(oldName, newName); }, Qt::QueuedConnection);
    }

private:
    HDesktopView *m_view;
};

HDesktopView::HDesktopView(QWidget *parent, HDeskPrompter *prompter)
    : QWidget(parent), m_prompter(prompter)
{
    setObjectName(QStringLiteral("Desktop Explorer"));
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Button);
    m_placeImages = hFolderImageList(style());

    m_list = new HFileListCtrl(this);
    m_list->setObjectName(QStringLiteral("DesktopList"));
    m_model = new HDeskListModel(this);
    m_model->setPlaceImages(m_placeImages);
    m_list->setModel(m_model);
    QList<int> widths;
    QList<bool> stored;
    for (int c = 0; c < HDeskListModel::ColumnCount; ++c) {
        widths.append(RegKeys::columnWidth(kView, c));
        stored.append(RegKeys::hasColumnWidth(kView, c));
    }
    m_list->setColumnWidths(widths, stored);
    // The name takes the room the other columns leave; sizes and dates are never cut.
    m_list->setFillColumn(HDeskListModel::ColName);
    m_list->setUncutColumns({HDeskListModel::ColSize, HDeskListModel::ColDate});

    m_up = new QToolButton(this);
    m_up->setObjectName(QStringLiteral("DesktopUpButton"));
    m_up->setIcon(QIcon::fromTheme(QStringLiteral("go-up"), style()->standardIcon(QStyle::SP_FileDialogToParent)));
    m_up->setToolTip(tr("Up One Level (Backspace)"));
    m_up->setAccessibleName(tr("Up One Level"));
    m_up->setAutoRaise(false);
    m_list->setAccessibleName(tr("Files on this computer"));
    m_list->setItemDelegateForColumn(HDeskListModel::ColName, new NameDelegate(this));

    m_menu = new QMenu(this);
    m_menu->setObjectName(QStringLiteral("Desktop TrackMenu"));
    connect(m_menu->addAction(tr("&Delete")), &QAction::triggered, this, [this] { deleteSelection(true); });
    m_menu->addSeparator();
    connect(m_menu->addAction(tr("&Properties")), &QAction::triggered, this, [this] { properties(); });

    m_filter = RegKeys::fileListFilter();
    if (m_filter.isEmpty())
        m_filter = QStringLiteral("*.*");

    m_combo = new HComboBoxFolder(this);
    m_combo->setAccessibleName(tr("Folder"));
    connect(m_combo, &HComboBoxFolder::folderChanged, this, &HDesktopView::onFolderChanged);
    // The tree first selects the process's folder; that must not become the stored one.
    RegKeys::setLastDirectoryHold(true);
    m_combo->createTree(300, 200);
    m_combo->tree()->setImages(m_placeImages);
    m_combo->tree()->keepOnlySpecialPlaces();
    QString last = RegKeys::lastDirectory();
    if (last.isEmpty())
        last = QDir::currentPath();
    if (!m_combo->selectPath(last, false) && !m_combo->currentFolder())
        m_combo->tree()->makeCurrent(m_combo->tree()->findKind(kFolderDesktop), false);
    RegKeys::setLastDirectoryHold(false);
    m_initialised = true;

    connect(m_up, &QToolButton::clicked, this, &HDesktopView::goUp);
    // Backspace and Alt+Up go to the parent folder from anywhere in the pane, except
    // inside a name being typed (the editor keeps Backspace for itself) and while a
    // copy runs: its files land in, or come from, the folder shown.
    for (const QKeySequence &keys : {QKeySequence(Qt::Key_Backspace), QKeySequence(Qt::ALT | Qt::Key_Up)}) {
        auto *parentKey = new QShortcut(keys, this, nullptr, nullptr, Qt::WidgetWithChildrenShortcut);
        connect(parentKey, &QShortcut::activated, this, [this] {
            if (!qobject_cast<QLineEdit *>(QApplication::focusWidget()) && !zvs450_IsBusy())
                goUp();
        });
    }
    connect(m_list, &HFileListCtrl::headerClicked, this, &HDesktopView::sortByColumnClick);
    connect(m_list, &HFileListCtrl::rowDoubleClicked, this, &HDesktopView::openRow);
    connect(m_list, &HFileListCtrl::deleteKeyPressed, this, [this](bool permanently) { deleteSelection(true, permanently); });
    connect(m_list, &HFileListCtrl::contextMenuAt, this, &HDesktopView::onContextMenu);
    connect(m_list, &HFileListCtrl::dragBegins, this, &HDesktopView::dragBegins);

    // The first listing runs once the view exists.
    QMetaObject::invokeMethod(
        this, [this] { onFolderChanged(m_combo->currentFolder()); }, Qt::QueuedConnection);
}

HDesktopView::~HDesktopView()
{
    // The widths the user gave; a column never sized keeps the first run's behaviour.
    const QList<int> widths = m_list->columnWidths();
    for (int c = 0; c < HDeskListModel::ColumnCount; ++c)
        if (m_list->isColumnWidthChosen(c))
            RegKeys::setColumnWidth(kView, c, c < widths.size() && widths.at(c) > 0 ? widths.at(c) : kDefaultColumnWidth);
}

void HDesktopView::setPrompter(HDeskPrompter *prompter)
{
    m_prompter = prompter;
}

HDeskPrompter &HDesktopView::prompter()
{
    return m_prompter ? *m_prompter : m_defaultPrompter;
}

void HDesktopView::setFileFilter(const QString &filter)
{
    m_filter = filter.isEmpty() ? QStringLiteral("*.*") : filter;
    RegKeys::setFileListFilter(m_filter);
    listCurrentPlace();
}

void HDesktopView::resizeEvent(QResizeEvent *e)
{
    QWidget::resizeEvent(e);
    const int w = width();
    const int h = height();
    const int comboH = m_combo->sizeHint().height();
    const int b = comboH;  // the field with its frame
    m_combo->setGeometry(5, 5, std::max(0, w - 43), comboH);
    m_combo->setDropDownWidth(std::max(250, w - 43));
    m_combo->setDropDownHeight(200);
    m_up->setGeometry(w - 33, 5, 28, b);
    m_list->setGeometry(5, b + 10, std::max(0, w - 10), std::max(0, h - b - 15));
}

void HDesktopView::onFolderChanged(const HFolder *folder)
{
    if (folder && folder->isFileSystemFolder() && !folder->netResource && !folder->path.startsWith(QLatin1String("//"))
        && !HFolderPath::volumeOf(HFolderSource::instance().networkMounts(), folder->path))
        RegKeys::setLastDirectory(folder->path);
    if (m_initialised)
        listCurrentPlace();
}

void HDesktopView::goUp()
{
    m_combo->goUp();
}

void HDesktopView::listCurrentPlace()
{
    m_model->clear();
    const HFolder *folder = m_combo->currentFolder();
    if (!folder)
        return;
    std::vector<DeskItemData> rows;
    bool ok = true;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    if (folder->kind == kFolderDesktop) {
        // There is no all-users desktop here: the user's own desktop folder only.
        ok = listFolder(folder->path, rows) == ListResult::Ok;
    } else if (folder->kind == kFolderDrives) {
        listDrives(rows);
    } else if (folder->kind == kFolderNetwork || folder->netResource) {
        listNetwork(folder->netResource ? &*folder->netResource : nullptr, rows);
    } else if (!folder->path.isEmpty()) {
        ok = listFolder(folder->path, rows) == ListResult::Ok;
    }
    QApplication::restoreOverrideCursor();
    if (!ok)
        return;
    m_model->setRows(std::move(rows));
    sortStored();
}

HDesktopView::ListResult HDesktopView::listFolder(const QString &path, std::vector<DeskItemData> &rows)
{
    const QByteArray native = QFile::encodeName(path);
    DIR *dir = ::opendir(native.constData());
    if (!dir) {
        const int err = errno;
        // The system says why, naming the folder, and the combo box steps back to where
        // the user came from: up one level, and further while the folders there are gone
        // too (a stick that was pulled out, a tree deleted by another program).
        if (err != ECANCELED)
            prompter().showSystemError(this, err, path);
        QMetaObject::invokeMethod(m_combo, [c = m_combo] { c->goUpToExisting(); }, Qt::QueuedConnection);
        return ListResult::Failed;
    }

    const NameFilter filter(m_filter);
    std::vector<DeskItemData> folders;
    std::vector<DeskItemData> files;
    const int dfd = ::dirfd(dir);
    while (const struct dirent *ent = ::readdir(dir)) {
        if (ent->d_name[0] == '.')
            continue;  // hidden names, "." and ".."
        struct stat st {};
        struct stat lst {};
        bool link = ent->d_type == DT_LNK;
        if (ent->d_type == DT_UNKNOWN && ::fstatat(dfd, ent->d_name, &lst, AT_SYMLINK_NOFOLLOW) == 0)
            link = S_ISLNK(lst.st_mode);
        if (::fstatat(dfd, ent->d_name, &st, 0) != 0) {
            // A link whose target is gone is still an entry of the folder: an empty file.
            if (::fstatat(dfd, ent->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0)
                continue;
            st.st_size = 0;
        }
        DeskItemData d;
        d.kind = kDeskFile;
        d.name = QFile::decodeName(ent->d_name);
        const bool isDir = S_ISDIR(st.st_mode);
        if (!isDir && !filter.matches(d.name))
            continue;
        d.attributes = (isDir ? kDeskAttrDirectory : 0u) | (link ? kDeskAttrSymlink : 0u)
                       | ((st.st_mode & S_IWUSR) ? 0u : kDeskAttrReadOnly);
        d.size = isDir ? 0 : (quint64(st.st_size) > 0xFFFFFFFFull ? 0xFFFFFFFFu : quint32(st.st_size));
        d.mtimeMs = mtimeOf(st);
        d.type = m_model->typeFor(d.name, isDir);
        (isDir ? folders : files).push_back(std::move(d));
    }
    ::closedir(dir);

    rows.reserve(rows.size() + folders.size() + files.size());
    for (auto *part : {&folders, &files}) {
        for (DeskItemData &d : *part) {
            d.index = int(rows.size());
            rows.push_back(std::move(d));
        }
    }
    return ListResult::Ok;
}

void HDesktopView::listDrives(std::vector<DeskItemData> &rows)
{
    const QList<HVolume> drives = HFolderSource::instance().drives();
    for (const HVolume &v : drives) {
        DeskItemData d;
        d.kind = kDeskDrive;
        d.index = int(rows.size());
        d.name = v.displayName.isEmpty() ? tr("Drive (%1)").arg(v.rootPath) : v.displayName;
        d.rootPath = v.rootPath;
        d.image = v.type == HVolume::Removable ? kImageRemovable : v.type == HVolume::Optical ? kImageOptical : kImageDrive;
        rows.push_back(std::move(d));
    }
}

void HDesktopView::listNetwork(const HNetResource *resource, std::vector<DeskItemData> &rows)
{
    if (resource && resource->displayType == kNetDisplayShare) {
        // A share is a folder: its files are read at its mount point.
        listFolder(resource->localName, rows);
        return;
    }
    const QList<HVolume> mounts = HFolderSource::instance().networkMounts();
    for (const HVolume &m : mounts) {
        if (resource && !m.device.startsWith(resource->remoteName))
            continue;
        const HNetResource r = hNetResourceOf(m);
        DeskItemData d;
        d.kind = kDeskNetwork;
        d.index = int(rows.size());
        d.name = HFolderPath::fileNamePart(r.remoteName);
        d.image = r.displayType == kNetDisplayServer  ? kImageComputer
                  : r.displayType == kNetDisplayShare ? kImageFolder
                                                      : kImageNetwork;
        d.net = std::make_shared<const HNetResource>(r);
        rows.push_back(std::move(d));
    }
}

void HDesktopView::sortBy(int column, bool ascending)
{
    if (column < 0 || column >= HDeskListModel::ColumnCount)
        return;
    m_model->sortRows(column, ascending);
    m_list->header()->setSortIndicatorShown(true);
    m_list->header()->setSortIndicator(column, ascending ? Qt::AscendingOrder : Qt::DescendingOrder);
    RegKeys::setSortKey(kView, column);
    RegKeys::setSortAscendent(kView, ascending);
}

void HDesktopView::sortStored()
{
    sortBy(RegKeys::sortKey(kView), RegKeys::sortAscendent(kView));
}

void HDesktopView::sortByColumnClick(int column)
{
    // A second click on the sorted column reverses it; another column sorts ascending.
    const int key = RegKeys::sortKey(kView);
    const bool asc = RegKeys::readInt(RegKeys::viewSection(kView), QString::fromLatin1(RegKeys::kSortAscendent), 0) != 0;
    sortBy(column, !(column == key && asc));
}

QString HDesktopView::destinationFolder() const
{
    const HFolder *f = m_combo->currentFolder();
    return f ? f->path : QString();
}

QString HDesktopView::rowPath(int row) const
{
    const DeskItemData &d = m_model->row(row);
    if (d.kind == kDeskDrive)
        return d.rootPath;
    return HFolderPath::join(destinationFolder(), d.name);
}

void HDesktopView::openRow(int row)
{
    if (row < 0 || row >= m_model->rowCount())
        return;
    const DeskItemData &d = m_model->row(row);
    if (d.kind == kDeskNetwork && d.net) {
        auto f = std::make_unique<HFolder>();
        f->displayName = HFolderPath::fileNamePart(d.net->remoteName);
        f->path = d.net->displayType == kNetDisplayShare ? d.net->localName : QString();
        f->image = f->openImage = d.image;
        f->kind = kFolderOrdinary;
        f->netResource = *d.net;
        m_combo->addBelowKind(std::move(f), kFolderNetwork);
        return;
    }
    const QString path = rowPath(row);
    struct stat st {};
    const int statError = ::stat(QFile::encodeName(path).constData(), &st) == 0 ? 0 : errno;
    if (statError == 0 && S_ISDIR(st.st_mode)) {
        m_combo->selectPath(path, true);
        return;
    }
    if (statError == ENOMEDIUM) {
        prompter().showSystemError(this, ENOMEDIUM, path);
        return;
    }
    prompter().openDocument(path);
}

void HDesktopView::deleteSelection(bool ask, bool permanently)
{
    const QList<int> rows = m_list->selectedRows();
    const QString folder = destinationFolder();
    if (rows.isEmpty() || folder.isEmpty())
        return;
    if (ask) {
        const bool one = rows.size() == 1;
        QString text = one ? text::tr(text::kDeleteOne).arg(m_model->row(rows.first()).name) : text::tr(text::kDeleteMany);
        text += QLatin1Char('\n')
                + text::tr(permanently ? (one ? text::kForGoodOne : text::kForGoodMany)
                                       : (one ? text::kToTrashOne : text::kToTrashMany));
        if (!prompter().confirm(this, text::tr(text::kConfirmDeleteCaption), text))
            return;
    }
    for (int r : rows) {
        const QString path = HFolderPath::join(folder, m_model->row(r).name);
        const QByteArray native = QFile::encodeName(path);
        struct stat st {};
        // Files only: a folder is not deleted from here, in the trash or for good.
        if (::lstat(native.constData(), &st) == 0 && S_ISDIR(st.st_mode)) {
            prompter().showSystemError(this, EISDIR, path);
            break;
        }
        if (!permanently) {
            if (moveToTrash(path))
                continue;
            // No trash on that file system, or none that can be written: only
            // with the user's word does the file go for good instead.
            if (!prompter().confirm(this, text::tr(text::kConfirmDeleteCaption), text::tr(text::kTrashFailed).arg(path)))
                break;
        }
        if (::unlink(native.constData()) != 0) {
            prompter().showSystemError(this, errno, path);
            break;
        }
    }
    listCurrentPlace();
}

bool HDesktopView::canRename() const
{
    const QList<int> rows = m_list->selectedRows();
    return rows.size() == 1 && m_model->row(rows.first()).kind == kDeskFile && !destinationFolder().isEmpty();
}

void HDesktopView::renameSelected()
{
    if (!canRename())
        return;
    const QModelIndex index = m_model->index(m_list->selectedRows().first(), HDeskListModel::ColName);
    m_list->setFocus();
    m_list->scrollTo(index);
    m_list->edit(index);
    if (auto *line = qobject_cast<QLineEdit *>(m_list->indexWidget(index))) {
        // The name without its extension is what one usually changes.
        const QString name = line->text();
        const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
        line->setSelection(0, int(dot > 0 ? dot : name.size()));
    }
}

bool HDesktopView::renameEntry(const QString &oldName, const QString &newName)
{
    const QString folder = destinationFolder();
    if (folder.isEmpty() || newName.isEmpty() || newName == oldName)
        return false;
    const QString from = HFolderPath::join(folder, oldName);
    const QString to = HFolderPath::join(folder, newName);
    if (newName.contains(QLatin1Char('/')) || newName == QLatin1String(".") || newName == QLatin1String("..")) {
        prompter().showError(this, tr("\"%1\" cannot be a file name: a name cannot contain \"/\" or be \".\" or \"..\".")
                                       .arg(newName));
        return false;
    }
    const QByteArray src = QFile::encodeName(from);
    const QByteArray dst = QFile::encodeName(to);
    // Never over another entry: the kernel refuses when the new name is taken. A file
    // system without that refusal gets the check done here instead.
    int rc = ::renameat2(AT_FDCWD, src.constData(), AT_FDCWD, dst.constData(), RENAME_NOREPLACE);
    if (rc != 0 && (errno == EINVAL || errno == ENOSYS)) {
        struct stat st {};
        if (::lstat(dst.constData(), &st) == 0) {
            errno = EEXIST;
        } else {
            rc = ::rename(src.constData(), dst.constData());
        }
    }
    if (rc != 0) {
        const int error = errno;
        prompter().showSystemError(this, error, error == EEXIST ? to : from);
        return false;
    }
    listCurrentPlace();
    for (int r = 0; r < m_model->rowCount(); ++r) {
        if (m_model->row(r).name == newName) {
            m_list->selectRows({r});
            break;
        }
    }
    m_list->setFocus(Qt::OtherFocusReason);
    return true;
}

QString HDesktopView::properties()
{
    const QList<int> rows = m_list->selectedRows();
    if (rows.isEmpty())
        return QString();
    const QString path = rowPath(rows.first());
    prompter().showProperties(this, path);
    return path;
}

bool HDesktopView::collectSelection(HFileTransferList &list) const
{
    const QList<int> rows = m_list->selectedRows();
    for (int r : rows) {
        const DeskItemData &d = m_model->row(r);
        if (d.kind == kDeskNetwork)
            continue;
        list.add(rowPath(r), d.index, 0);
    }
    return true;
}

int HDesktopView::selectedTransferableCount() const
{
    const QList<int> rows = m_list->selectedRows();
    return int(std::count_if(rows.begin(), rows.end(),
                             [this](int r) { return m_model->row(r).kind != kDeskNetwork; }));
}

bool HDesktopView::acceptDrop(const HFileTransferList &list, bool transfer)
{
    if (transfer)
        return false;
    listCurrentPlace();
    QList<int> hit;
    for (int r = 0; r < m_model->rowCount(); ++r) {
        if (list.containsFileName(m_model->row(r).name))
            hit.append(r);
    }
    m_list->selectRows(hit);
    m_list->setFocus(Qt::OtherFocusReason);
    return true;
}

void HDesktopView::onContextMenu(const QPoint &globalPos)
{
    m_menu->popup(globalPos);
}
