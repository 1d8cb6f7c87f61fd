#include "DeskView.h"

#include "FileListCtrl.h"
#include "RegKeys.h"
#include "errorsys.h"

#include <QApplication>
#include <QCollator>
#include <QDesktopServices>
#include <QDir>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QHeaderView>
#include <QLocale>
#include <QMenu>
#include <QMessageBox>
#include <QMimeDatabase>
#include <QRegularExpression>
#include <QResizeEvent>
#include <QStyle>
#include <QToolButton>
#include <QUrl>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <numeric>

namespace {

// Texts of the program's string table used here, by number.
const char *const kTextName = QT_TRANSLATE_NOOP("HDesktopView", "Name");          // 3000
const char *const kTextSize = QT_TRANSLATE_NOOP("HDesktopView", "Size");          // 3001
const char *const kTextType = QT_TRANSLATE_NOOP("HDesktopView", "Type");          // 3002
const char *const kTextDate = QT_TRANSLATE_NOOP("HDesktopView", "Date");          // 3003
const char *const kTextConfirmCaption = "Confirm file deleting";                  // 3008
const char *const kTextDeleteOne = "Would delete file %1 ?";                      // 4002
const char *const kTextDeleteMany = "Would you delete the selected file?";        // 4003

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

}  // namespace

// ---------------------------------------------------------------------------------------
// HDeskListModel

HDeskListModel::HDeskListModel(QObject *parent) : QAbstractTableModel(parent)
{
    const QLocale loc;
    m_dateFormat = loc.dateFormat(QLocale::ShortFormat);
    m_timeFormat = loc.timeFormat(QLocale::ShortFormat);
    // Some locales put seconds into the short time too: the list never shows them.
    m_timeFormat.remove(QRegularExpression(QStringLiteral("[:.]s+")));
}

int HDeskListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int HDeskListModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QString HDeskListModel::formatKB(quint32 bytes)
{
    const quint64 kb = (quint64(bytes) + 1023) / 1024;
    QString digits = QString::number(kb);
    for (qsizetype pos = digits.size() - 3; pos > 0; pos -= 3)
        digits.insert(pos, QLatin1Char(','));
    return digits + QStringLiteral("KB");
}

QString HDeskListModel::formatDate(qint64 mtimeMs) const
{
    const QDateTime t = QDateTime::fromMSecsSinceEpoch(mtimeMs).toLocalTime();
    const QLocale loc;
    return loc.toString(t.date(), m_dateFormat) + QLatin1Char(' ') + loc.toString(t.time(), m_timeFormat);
}

QString HDeskListModel::typeName(int type) const
{
    return type >= 0 && size_t(type) < m_types.size() ? m_types[size_t(type)].name : QString();
}

int HDeskListModel::typeFor(const QString &name, bool folder)
{
    // Key: folders share one entry; files share one per extension (the text from the last
    // ".", none when the name has no ".").
    QString key;
    if (folder) {
        key = QStringLiteral("/");
    } else {
        const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
        key = dot < 0 ? QString() : name.mid(dot).toLower();
    }
    auto it = m_typeIndex.constFind(key);
    if (it != m_typeIndex.cend())
        return it.value();

    const QMimeDatabase db;
    const QFileIconProvider localProvider;
    TypeInfo info;
    if (folder) {
        const QMimeType mime = db.mimeTypeForName(QStringLiteral("inode/directory"));
        info.name = mime.isValid() ? mime.comment() : tr("Folder");
        info.icon = localProvider.icon(QFileIconProvider::Folder);
    } else {
        const QMimeType mime = key.isEmpty()
                                   ? db.mimeTypeForName(QStringLiteral("application/octet-stream"))
                                   : db.mimeTypeForFile(QStringLiteral("x") + key, QMimeDatabase::MatchExtension);
        info.name = mime.comment();
        const QIcon fallback = localProvider.icon(QFileIconProvider::File);
        info.icon = QIcon::fromTheme(mime.iconName(), QIcon::fromTheme(mime.genericIconName(), fallback));
    }
    const int idx = int(m_types.size());
    m_types.push_back(std::move(info));
    m_typeIndex.insert(key, idx);
    return idx;
}

QString HDeskListModel::columnText(int r, int column) const
{
    const DeskItemData &d = m_rows.at(size_t(r));
    switch (column) {
    case ColName:
        return d.name;
    case ColSize:
        // Folders show their recorded size too, which is 0.
        return d.kind == kDeskFile ? formatKB(d.isFolder() ? 0 : d.size) : QString();
    case ColType:
        if (d.kind == kDeskFile)
            return typeName(d.type);
        return d.kind == kDeskNetwork && d.net ? d.net->comment : QString();
    case ColDate:
        return d.kind == kDeskFile ? formatDate(d.mtimeMs) : QString();
    default:
        return QString();
    }
}

QVariant HDeskListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || size_t(index.row()) >= m_rows.size())
        return QVariant();
    const DeskItemData &d = m_rows[size_t(index.row())];
    switch (role) {
    case Qt::DisplayRole:
        return columnText(index.row(), index.column());
    case Qt::DecorationRole:
        if (index.column() != ColName)
            return QVariant();
        if (d.kind == kDeskFile)
            return d.type >= 0 ? m_types[size_t(d.type)].icon : QIcon();
        return d.image >= 0 && d.image < m_placeImages.size() ? m_placeImages.at(d.image) : QIcon();
    case Qt::TextAlignmentRole:
        return index.column() == ColSize ? QVariant(int(Qt::AlignRight | Qt::AlignVCenter))
                                         : QVariant(int(Qt::AlignLeft | Qt::AlignVCenter));
    default:
        return QVariant();
    }
}

Qt::ItemFlags HDeskListModel::flags(const QModelIndex &index) const
{
    Qt::ItemFlags f = QAbstractTableModel::flags(index);
    if (index.isValid())
        f |= Qt::ItemIsDragEnabled;
    return f;
}

QVariant HDeskListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal)
        return QVariant();
    if (role == Qt::TextAlignmentRole)
        return section == ColSize ? QVariant(int(Qt::AlignRight | Qt::AlignVCenter)) : QVariant();
    if (role != Qt::DisplayRole)
        return QVariant();
    static const char *const titles[ColumnCount] = {kTextName, kTextSize, kTextType, kTextDate};
    return section >= 0 && section < ColumnCount ? QCoreApplication::translate("HDesktopView", titles[section])
                                                 : QVariant();
}

void HDeskListModel::setRows(std::vector<DeskItemData> rows)
{
    beginResetModel();
    m_rows = std::move(rows);
    endResetModel();
}

void HDeskListModel::clear()
{
    if (m_rows.empty())
        return;
    setRows({});
}

void HDeskListModel::sortRows(int column, bool ascending)
{
    const size_t n = m_rows.size();
    std::vector<int> order(n);
    std::iota(order.begin(), order.end(), 0);

    // Text columns compare in the user's collation; the keys are made once per row.
    const bool textual = column == ColName || column == ColType
                         || std::any_of(m_rows.begin(), m_rows.end(), [](const DeskItemData &d) {
                                return d.kind != kDeskFile;
                            });
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseSensitive);
    collator.setNumericMode(false);
    std::vector<QCollatorSortKey> keys;
    if (textual) {
        keys.reserve(n);
        for (size_t i = 0; i < n; ++i)
            keys.push_back(collator.sortKey(columnText(int(i), column)));
    }

    auto compare = [&](int ia, int ib) -> int {
        const DeskItemData &a = m_rows[size_t(ia)];
        const DeskItemData &b = m_rows[size_t(ib)];
        int r = 0;
        if (a.kind != b.kind) {
            r = a.kind - b.kind;
        } else if (a.kind != kDeskFile) {
            r = keys[size_t(ia)].compare(keys[size_t(ib)]);
        } else if (a.isFolder() != b.isFolder()) {
            r = a.isFolder() ? -1 : 1;
        } else if (column == ColSize) {
            r = a.size < b.size ? -1 : a.size > b.size ? 1 : 0;
        } else if (column == ColDate) {
            r = a.mtimeMs < b.mtimeMs ? -1 : a.mtimeMs > b.mtimeMs ? 1 : 0;
        } else {
            r = keys[size_t(ia)].compare(keys[size_t(ib)]);
        }
        return ascending ? r : -r;
    };
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return compare(a, b) < 0; });

    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    std::vector<int> newRowOf(n);
    std::vector<DeskItemData> sorted;
    sorted.reserve(n);
    for (size_t i = 0; i < n; ++i) {
        newRowOf[size_t(order[i])] = int(i);
        sorted.push_back(std::move(m_rows[size_t(order[i])]));
    }
    m_rows = std::move(sorted);
    const QModelIndexList persistent = persistentIndexList();
    QModelIndexList moved;
    moved.reserve(persistent.size());
    for (const QModelIndex &idx : persistent)
        moved.append(index(newRowOf[size_t(idx.row())], idx.column()));
    changePersistentIndexList(persistent, moved);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

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
        text += QStringLiteral("\n\n%1: %2").arg(QCoreApplication::translate("HDesktopView", kTextSize),
                                                  QLocale().formattedDataSize(fi.size()));
        text += QStringLiteral("\n%1: %2").arg(QCoreApplication::translate("HDesktopView", kTextDate),
                                                QLocale().toString(fi.lastModified(), QLocale::LongFormat));
    }
    QMessageBox::information(owner, QCoreApplication::translate("HDesktopView", "Properties"), text);
}

// ---------------------------------------------------------------------------------------
// HDesktopView

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
    for (int c = 0; c < HDeskListModel::ColumnCount; ++c)
        m_list->setColumnWidth(c, RegKeys::columnWidth(kView, c));

    m_up = new QToolButton(this);
    m_up->setObjectName(QStringLiteral("DesktopUpButton"));
    m_up->setIcon(style()->standardIcon(QStyle::SP_FileDialogToParent));
    m_up->setToolTip(tr("Up One Level"));
    m_up->setAutoRaise(false);

    m_menu = new QMenu(this);
    m_menu->setObjectName(QStringLiteral("Desktop TrackMenu"));
    connect(m_menu->addAction(tr("Delete")), &QAction::triggered, this, [this] { deleteSelection(true); });
    m_menu->addSeparator();
    connect(m_menu->addAction(tr("Properties")), &QAction::triggered, this, [this] { properties(); });

    m_filter = RegKeys::fileListFilter();
    if (m_filter.isEmpty())
        m_filter = QStringLiteral("*.*");

    m_combo = new HComboBoxFolder(this);
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
    connect(m_list, &HFileListCtrl::headerClicked, this, &HDesktopView::sortByColumnClick);
    connect(m_list, &HFileListCtrl::rowDoubleClicked, this, &HDesktopView::openRow);
    connect(m_list, &HFileListCtrl::deleteKeyPressed, this, [this] { deleteSelection(true); });
    connect(m_list, &HFileListCtrl::contextMenuAt, this, &HDesktopView::onContextMenu);
    connect(m_list, &HFileListCtrl::dragBegins, this, &HDesktopView::dragBegins);

    // The first listing runs once the view exists.
    QMetaObject::invokeMethod(
        this, [this] { onFolderChanged(m_combo->currentFolder()); }, Qt::QueuedConnection);
}

HDesktopView::~HDesktopView()
{
    const QList<int> widths = m_list->columnWidths();
    for (int c = 0; c < HDeskListModel::ColumnCount; ++c)
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
        d.name = v.displayName.isEmpty() ? QStringLiteral("Drive (%1)").arg(v.rootPath) : v.displayName;
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

void HDesktopView::deleteSelection(bool ask)
{
    const QList<int> rows = m_list->selectedRows();
    const QString folder = destinationFolder();
    if (rows.isEmpty() || folder.isEmpty())
        return;
    if (ask) {
        const QString text = rows.size() == 1 ? QString::fromLatin1(kTextDeleteOne).arg(m_model->row(rows.first()).name)
                                              : QString::fromLatin1(kTextDeleteMany);
        if (!prompter().confirm(this, QString::fromLatin1(kTextConfirmCaption), text))
            return;
    }
    for (int r : rows) {
        const QString path = HFolderPath::join(folder, m_model->row(r).name);
        // Files only: a folder refuses to be unlinked and the system says why.
        if (::unlink(QFile::encodeName(path).constData()) != 0) {
            prompter().showSystemError(this, errno, path);
            break;
        }
    }
    listCurrentPlace();
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
