#include "Mp3MemVw.h"

#include "FileListCtrl.h"
#include "RegKeys.h"
#include "dialogs/DiskInfoDlg.h"
#include "dialogs/MultiDirDlg.h"
#include "dialogs/ProgressDlg.h"
#include "errorsys.h"
#include "zvs450.h"

#include <QCollator>
#include <QContextMenuEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QFontDatabase>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QMimeDatabase>
#include <QPainter>
#include <QSet>
#include <QStyleOptionButton>
#include <QTextStream>
#include <QTimer>
#include <QToolButton>
#include <QUrl>

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <numeric>

namespace {

constexpr quint64 kKB = 1024;
constexpr quint64 kMB = 1048576;

QString sectionOf(int memory) { return RegKeys::viewSection(memory); }

} // namespace

// ---- Model ----------------------------------------------------------------------------

HMemListModel::HMemListModel(QObject *parent) : QAbstractTableModel(parent)
{
    typeFor(QString(), true);  // entry 0: every directory row
}

int HMemListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size()) + (m_pending ? 1 : 0);
}

int HMemListModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

const MemItemData *HMemListModel::item(int row) const
{
    return row >= 0 && size_t(row) < m_rows.size() ? &m_rows[size_t(row)] : nullptr;
}

QString HMemListModel::formatKB(quint32 bytes)
{
    return QString::number((quint64(bytes) + 1023) / 1024) + QLatin1String("KB");
}

QString HMemListModel::columnText(int row, int column) const
{
    const MemItemData *d = item(row);
    if (!d)
        return QString();
    switch (column) {
    case ColName:
        return d->name;
    case ColNumber:
        return d->isDirectory() ? QString() : QString::number(d->fileIndex);
    case ColSize:
        return d->isDirectory() ? QString() : formatKB(d->size);
    case ColType:
        return typeName(d->type);
    default:
        return QString();
    }
}

QVariant HMemListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid())
        return QVariant();
    const int row = index.row();
    const bool pending = row == pendingRow();
    switch (role) {
    case Qt::DisplayRole:
        return columnText(row, index.column());
    case Qt::EditRole:
        if (index.column() != ColName)
            return QVariant();
        return pending ? QString::fromLatin1(Mp3MemText::kNewFolder) : columnText(row, ColName);
    case Qt::DecorationRole:
        if (index.column() != ColName)
            return QVariant();
        return typeIcon(pending ? 0 : item(row) ? item(row)->type : 0);
    case Qt::TextAlignmentRole:
        return index.column() == ColSize ? QVariant(Qt::AlignRight | Qt::AlignVCenter)
                                         : QVariant(Qt::AlignLeft | Qt::AlignVCenter);
    default:
        return QVariant();
    }
}

QVariant HMemListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal)
        return QVariant();
    if (role == Qt::TextAlignmentRole)
        return section == ColSize ? QVariant(Qt::AlignRight | Qt::AlignVCenter)
                                  : QVariant(Qt::AlignLeft | Qt::AlignVCenter);
    if (role != Qt::DisplayRole)
        return QVariant();
    switch (section) {
    case ColName:
        return QString::fromLatin1(Mp3MemText::kName);
    case ColNumber:
        return QString::fromLatin1(Mp3MemText::kNumber);
    case ColSize:
        return QString::fromLatin1(Mp3MemText::kSize);
    case ColType:
        return QString::fromLatin1(Mp3MemText::kType);
    default:
        return QVariant();
    }
}

Qt::ItemFlags HMemListModel::flags(const QModelIndex &index) const
{
    Qt::ItemFlags f = QAbstractTableModel::flags(index);
    // Without this flag the list never starts a drag of its rows.
    if (index.isValid())
        f |= Qt::ItemIsDragEnabled;
    if (index.isValid() && index.column() == ColName && m_editable)
        f |= Qt::ItemIsEditable;
    return f;
}

bool HMemListModel::setRows(std::vector<MemItemData> rows)
{
    if (!m_pending && rows == m_rows)
        return false;
    beginResetModel();
    m_rows = std::move(rows);
    m_pending = false;
    endResetModel();
    return true;
}

void HMemListModel::clear()
{
    setRows({});
}

int HMemListModel::appendPendingRow()
{
    if (m_pending)
        return pendingRow();
    const int row = int(m_rows.size());
    beginInsertRows(QModelIndex(), row, row);
    m_pending = true;
    endInsertRows();
    return row;
}

void HMemListModel::removePendingRow()
{
    if (!m_pending)
        return;
    const int row = int(m_rows.size());
    beginRemoveRows(QModelIndex(), row, row);
    m_pending = false;
    endRemoveRows();
}

int HMemListModel::typeFor(const QString &name, bool folder)
{
    // Folders share entry "/"; files share one entry per extension: the text from the
    // last "." or, for a name without one, the whole name (which the type database may
    // still know, as "Makefile" or "README").
    QString key;
    if (folder) {
        key = QStringLiteral("/");
    } else {
        const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
        key = (dot < 0 ? name : name.mid(dot)).toLower();
    }
    const auto it = m_typeIndex.constFind(key);
    if (it != m_typeIndex.cend())
        return it.value();

    static const QMimeDatabase db;
    static const QFileIconProvider provider;
    TypeInfo info;
    if (folder) {
        const QMimeType mime = db.mimeTypeForName(QStringLiteral("inode/directory"));
        info.name = mime.isValid() ? mime.comment() : QStringLiteral("Folder");
        info.icon = provider.icon(QFileIconProvider::Folder);
    } else {
        const QString probe = key.startsWith(QLatin1Char('.')) ? QStringLiteral("x") + key : key;
        const QMimeType mime = db.mimeTypeForFile(probe, QMimeDatabase::MatchExtension);
        info.name = mime.comment();
        const QIcon fallback = provider.icon(QFileIconProvider::File);
        info.icon = QIcon::fromTheme(mime.iconName(), QIcon::fromTheme(mime.genericIconName(), fallback));
    }
    const int idx = int(m_types.size());
    m_types.push_back(std::move(info));
    m_typeIndex.insert(key, idx);
    return idx;
}

QString HMemListModel::typeName(int type) const
{
    return type >= 0 && size_t(type) < m_types.size() ? m_types[size_t(type)].name : QString();
}

QIcon HMemListModel::typeIcon(int type) const
{
    return type >= 0 && size_t(type) < m_types.size() ? m_types[size_t(type)].icon : QIcon();
}

void HMemListModel::sortRows(int column, bool ascending)
{
    const size_t n = m_rows.size();
    // Text columns compare case-sensitively in the user's collation; keys are made once.
    const bool textual = column == ColName || column == ColType;
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseSensitive);
    std::vector<QCollatorSortKey> keys;
    keys.reserve(n);
    for (size_t i = 0; i < n; ++i)
        keys.push_back(collator.sortKey(textual || m_rows[i].isDirectory() ? columnText(int(i), column) : QString()));

    auto compare = [&](size_t ia, size_t ib) -> int {
        const MemItemData &a = m_rows[ia];
        const MemItemData &b = m_rows[ib];
        if (a.isDirectory() || b.isDirectory()) {
            if (a.isDirectory() != b.isDirectory())
                return a.isDirectory() ? -1 : 1;
            return keys[ia].compare(keys[ib]);
        }
        switch (column) {
        case ColSize:
            return a.size < b.size ? -1 : a.size > b.size ? 1 : 0;
        case ColNumber:
            return a.fileIndex < b.fileIndex ? -1 : a.fileIndex > b.fileIndex ? 1 : 0;
        default:
            return keys[ia].compare(keys[ib]);
        }
    };
    std::vector<size_t> order(n);
    std::iota(order.begin(), order.end(), size_t(0));
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        const int r = compare(a, b);
        return ascending ? r < 0 : r > 0;
    });

    std::vector<MemItemData> sorted;
    sorted.reserve(n);
    for (size_t i : order)
        sorted.push_back(m_rows[i]);
    if (sorted == m_rows)
        return;
    emit layoutAboutToBeChanged();
    const QModelIndexList before = persistentIndexList();
    m_rows = std::move(sorted);
    std::vector<int> newRow(n);
    for (size_t i = 0; i < n; ++i)
        newRow[order[i]] = int(i);
    QModelIndexList after;
    after.reserve(before.size());
    for (const QModelIndex &idx : before) {
        const size_t r = size_t(idx.row());
        after.append(r < n ? index(newRow[r], idx.column()) : idx);
    }
    changePersistentIndexList(before, after);
    emit layoutChanged();
}

// ---- Prompter --------------------------------------------------------------------------

bool HMemPrompter::confirm(QWidget *owner, const QString &caption, const QString &text, Icon icon)
{
    QMessageBox box(icon == Icon::Question ? QMessageBox::Question : QMessageBox::Information, caption, text,
                    QMessageBox::Yes | QMessageBox::No, owner);
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

void HMemPrompter::message(QWidget *owner, const QString &caption, const QString &text, Icon icon)
{
    QMessageBox::Icon i = QMessageBox::Information;
    if (icon == Icon::Warning)
        i = QMessageBox::Warning;
    else if (icon == Icon::Stop)
        i = QMessageBox::Critical;
    QMessageBox box(i, caption, text, QMessageBox::Ok, owner);
    box.exec();
}

void HMemPrompter::showSystemError(QWidget *owner, int error, const QString &path)
{
    errorsys_Show(error, owner, path);
}

bool HMemPrompter::askMultipleDirectories(QWidget *owner, QString *pattern, int *startIndex, int *count)
{
    HMultiDirDlg dlg(owner);
    if (dlg.exec() != QDialog::Accepted)
        return false;
    *pattern = dlg.pattern();
    *startIndex = dlg.startIndex();
    *count = dlg.count();
    return true;
}

void HMemPrompter::showDiskProperties(QWidget *owner, int memory)
{
    HDiskInfoDlg dlg(owner);
    dlg.setMemoryIndex(memory);
    dlg.exec();
}

// ---- Listing sink and name editor ---------------------------------------------------------

// Collects one listing from the session: directories with the folder entry, files with
// the entry of their extension.
class HMp3MemView::Sink final : public Zvs450ItemSink {
public:
    Sink(HMemListModel *model, bool directories, std::vector<MemItemData> *rows)
        : m_model(model), m_directories(directories), m_rows(rows)
    {
    }
    void addItem(const QString &displayName, int index, quint32 size, quint32 firstCluster) override
    {
        MemItemData d;
        d.size = size;
        d.key = firstCluster;
        d.fileIndex = m_directories ? -1 : index;
        d.name = displayName;
        d.type = m_directories ? 0 : m_model->typeFor(displayName, false);
        m_rows->push_back(std::move(d));
    }

private:
    HMemListModel *m_model;
    bool m_directories;
    std::vector<MemItemData> *m_rows;
};

// The in-place editor of a name. The model is never written: a committed text goes to
// the view, which asks the player to rename or make the directory and lists again.
class HMp3MemView::NameDelegate final : public QStyledItemDelegate {
public:
    NameDelegate(HMp3MemView *view) : QStyledItemDelegate(view), m_view(view) {}

    void setEditorData(QWidget *editor, const QModelIndex &index) const override
    {
        QStyledItemDelegate::setEditorData(editor, index);
        if (auto *line = qobject_cast<QLineEdit *>(editor)) {
            if (!m_view->m_editSeed.isEmpty())
                line->setText(m_view->m_editSeed);
            line->selectAll();
        }
    }
    void setModelData(QWidget *editor, QAbstractItemModel *, const QModelIndex &index) const override
    {
        if (auto *line = qobject_cast<QLineEdit *>(editor))
            m_view->onLabelCommitted(index.row(), line->text());
    }

private:
    HMp3MemView *m_view;
};

// ---- View -------------------------------------------------------------------------------

HMp3MemView::HMp3MemView(QWidget *parent, HMemPrompter *prompter) : QWidget(parent), m_prompter(prompter)
{
    setObjectName(QStringLiteral("Mp3 Memory Viewer"));
    m_titleFont = QFontDatabase::systemFont(QFontDatabase::TitleFont);

    m_up = new QToolButton(this);
    m_up->setObjectName(QStringLiteral("up"));
    m_up->setIcon(style()->standardIcon(QStyle::SP_FileDialogToParent));
    m_up->setAutoRaise(false);
    m_up->setFocusPolicy(Qt::NoFocus);
    connect(m_up, &QToolButton::clicked, this, &HMp3MemView::onUpButton);

    m_model = new HMemListModel(this);
    m_list = new HFileListCtrl(this);
    m_list->setObjectName(QStringLiteral("list"));
    m_list->setModel(m_model);
    m_delegate = new NameDelegate(this);
    m_list->setItemDelegateForColumn(HMemListModel::ColName, m_delegate);
    connect(m_delegate, &QAbstractItemDelegate::closeEditor, this, &HMp3MemView::onEditorClosed);
    connect(m_list, &HFileListCtrl::headerClicked, this, &HMp3MemView::onHeaderClicked);
    connect(m_list, &HFileListCtrl::rowDoubleClicked, this, &HMp3MemView::onRowActivated);
    connect(m_list, &HFileListCtrl::deleteKeyPressed, this, [this] { deleteSelection(true); });
    connect(m_list, &HFileListCtrl::contextMenuAt, this, &HMp3MemView::showContextMenu);
    connect(m_list, &HFileListCtrl::dragBegins, this, &HMp3MemView::dragBegins);

    clearView(State::Empty);
    layoutChildren();
}

HMp3MemView::~HMp3MemView()
{
    if (m_memory != -1)
        saveColumnWidths();
}

HMemPrompter &HMp3MemView::prompter()
{
    return m_prompter ? *m_prompter : m_defaultPrompter;
}

void HMp3MemView::setTitle(const QString &title)
{
    if (title == m_title)
        return;
    m_title = title;
    update(0, 0, width(), kTitleHeight);
}

QPair<quint64, QString> HMp3MemView::sizeInUnits(quint64 bytes)
{
    if (bytes > kMB - 1)
        return {(bytes + kMB - 1) / kMB, QStringLiteral("MB")};
    return {(bytes + kKB - 1) / kKB, QStringLiteral("KB")};
}

QString HMp3MemView::statusText(bool usable, unsigned status, quint64 totalBytes, quint64 freeBytes, int files,
                                int directories)
{
    const auto total = sizeInUnits(totalBytes);
    const auto remain = sizeInUnits(freeBytes);
    if (!usable && !(status & kZvs450DeviceIoGood))
        return QString::fromLatin1(Mp3MemText::kNotConnected);
    if (!usable && !(status & kZvs450FatValid))
        return QString::fromLatin1(Mp3MemText::kNotFormatted).arg(total.first).arg(total.second);
    const char *format = usable || (status & kZvs450StandardGeometry) ? Mp3MemText::kStatusUsable
                                                                      : Mp3MemText::kStatusReadOnly;
    return QString::fromLatin1(format)
        .arg(total.first)
        .arg(total.second)
        .arg(remain.first)
        .arg(remain.second)
        .arg(files)
        .arg(directories);
}

HMp3MemView::State HMp3MemView::stateFor(bool listed, unsigned status)
{
    if (!listed || !(status & kZvs450DeviceIoGood))
        return State::Empty;
    if (!(status & kZvs450FatValid))
        return State::NotFormatted;
    if (!(status & kZvs450StandardGeometry))
        return State::ReadOnly;
    return State::Usable;
}

QString HMp3MemView::incompleteListingText(int found, int announced)
{
    if (found >= announced)
        return QString();
    return QStringLiteral(",  incomplete listing (%1 of %2 files)").arg(found).arg(announced);
}

QString HMp3MemView::titleText() const
{
    QString text = QLatin1Char(' ') + m_title + QLatin1String(" - ")
                   + statusText(m_usable, m_status, m_totalBytes, m_freeBytes, m_fileCount, m_directoryCount);
    if (m_state == State::Usable || m_state == State::ReadOnly)
        text += incompleteListingText(m_filesFound, m_filesAnnounced);
    return text;
}

void HMp3MemView::buildColumns()
{
    QList<int> widths;
    for (int c = 0; c < HMemListModel::ColumnCount; ++c)
        widths.append(RegKeys::columnWidth(m_memory, c));
    m_list->setColumnWidths(widths);
}

void HMp3MemView::saveColumnWidths()
{
    const QList<int> widths = m_list->columnWidths();
    for (int c = 0; c < HMemListModel::ColumnCount; ++c) {
        const int w = c < widths.size() && widths.at(c) > 0 ? widths.at(c) : RegKeys::kDefaultColumnWidth;
        RegKeys::setColumnWidth(m_memory, c, w);
    }
}

void HMp3MemView::clearView(State state)
{
    m_state = state;
    m_usable = false;
    setAcceptDrops(false);
    m_model->setEditable(false);
    m_model->clear();
    m_list->setEnabled(false);
    m_list->hide();
    m_up->hide();
    if (state == State::Empty) {
        m_fileCount = 0;
        m_directoryCount = 0;
    }
    update();
}

void HMp3MemView::showNotConnected()
{
    // Without a memory index no later refresh can list the memory again by itself: only
    // the container, which knows what the player has, gives the index back.
    if (m_memory != -1)
        saveColumnWidths();
    m_memory = -1;
    m_status = 0;
    m_totalBytes = 0;
    m_freeBytes = 0;
    m_path.clear();
    m_editRow = -1;
    clearView(State::Empty);
    emit refreshed();
}

void HMp3MemView::refresh(bool force, int memory)
{
    if (memory == -1)
        memory = m_memory;
    if (memory == -1) {
        m_status = 0;
        clearView(State::Empty);
        emit refreshed();
        return;
    }
    if (memory != m_memory) {
        if (m_memory != -1)
            saveColumnWidths();
        m_memory = memory;
        buildColumns();
    }

    m_status = 0;
    std::vector<MemItemData> directories, files;
    Sink dirSink(m_model, true, &directories);
    Sink fileSink(m_model, false, &files);
    quint64 total = 0, free = 0;
    QString path;
    // One forced listing is enough: the files come from the cache the directories just filled.
    const bool listed = zvs450_EnumDirectories(memory, dirSink, force) && zvs450_EnumFiles(memory, fileSink, false)
                        && zvs450_GetCapacity(memory, &total, &free) && zvs450_GetCurrentDirectory(memory, &path);
    if (!listed) {
        // A medium without a file system refuses its listing; the medium information
        // still says so, and the user must be able to format it from here.
        ZVC450_MEDIUMINFO info{};
        if (zvs450_IsOpen() && zvs450_GetMediumInfo(memory, &info) == 0 && info.bDeviceIOStatus
            && !(info.bFATStatus && info.bFATType)) {
            m_status = kZvs450MediumInfoRead | kZvs450DeviceIoGood;
            const quint64 blocks = info.wTotalBlockCount ? info.wTotalBlockCount : info.wPhysicalBlockCount;
            m_totalBytes = blocks * 16384;
            m_freeBytes = 0;
            clearView(State::NotFormatted);
        } else {
            clearView(State::Empty);
        }
        emit refreshed();
        return;
    }
    m_totalBytes = total;
    m_freeBytes = free;
    m_path = path;
    m_status = zvs450_GetMediumStatus(memory);
    const State state = stateFor(true, m_status);
    if (state == State::Empty || state == State::NotFormatted) {
        clearView(state);
        emit refreshed();
        return;
    }

    m_fileCount = zvs450_GetFileCount(memory);
    m_directoryCount = zvs450_GetDirectoryCount(memory);
    if (!zvs450_GetListedFileCounts(memory, &m_filesFound, &m_filesAnnounced))
        m_filesFound = m_filesAnnounced = 0;
    m_state = state;
    m_usable = true;
    m_list->setEnabled(true);
    m_list->show();
    m_up->show();

    // Files first, then directories, as the rows stand before the sort.
    std::vector<MemItemData> rows = std::move(files);
    rows.insert(rows.end(), std::make_move_iterator(directories.begin()),
                std::make_move_iterator(directories.end()));
    // A refresh that finds what is shown changes nothing: no reset, the selection stays.
    const bool changed = m_model->setRows(std::move(rows));
    if (changed)
        m_editRow = -1;
    sortStored();

    if (state == State::Usable) {
        m_model->setEditable(true);
        m_list->setPalette(QPalette());
        setAcceptDrops(true);
    } else {
        m_model->setEditable(false);
        QPalette pal = m_list->palette();
        pal.setColor(QPalette::Base, palette().color(QPalette::Button));
        m_list->setPalette(pal);
        setAcceptDrops(false);
        m_usable = false;
    }
    layoutChildren();
    update();
    emit refreshed();
}

void HMp3MemView::sortBy(int column, bool ascending)
{
    if (column < 0 || column >= HMemListModel::ColumnCount)
        column = 0;
    m_model->sortRows(column, ascending);
    m_list->header()->setSortIndicatorShown(true);
    m_list->header()->setSortIndicator(column, ascending ? Qt::AscendingOrder : Qt::DescendingOrder);
    if (m_memory != -1) {
        RegKeys::writeInt(sectionOf(m_memory), QLatin1String(RegKeys::kSortKey), column);
        RegKeys::writeInt(sectionOf(m_memory), QLatin1String(RegKeys::kSortAscendent), ascending ? 1 : 0);
    }
}

void HMp3MemView::sortStored()
{
    if (m_memory == -1)
        return;
    const int key = RegKeys::readInt(sectionOf(m_memory), QLatin1String(RegKeys::kSortKey), 0);
    const int ascending = RegKeys::readInt(sectionOf(m_memory), QLatin1String(RegKeys::kSortAscendent), 1);
    sortBy(key, ascending != 0);
}

void HMp3MemView::onHeaderClicked(int column)
{
    if (m_memory == -1)
        return;
    // A second click on the sorted column reverses it; another column sorts ascending.
    const int key = RegKeys::readInt(sectionOf(m_memory), QLatin1String(RegKeys::kSortKey), 0);
    const int ascending = RegKeys::readInt(sectionOf(m_memory), QLatin1String(RegKeys::kSortAscendent), 0);
    sortBy(column, !(column == key && ascending));
}

void HMp3MemView::onRowActivated(int row)
{
    const MemItemData *d = m_model->item(row);
    if (!d || !d->isDirectory() || m_memory == -1)
        return;
    zvs450_ChangeDirectory(m_memory, d->key);
    refresh(false);
}

// ---- Selection --------------------------------------------------------------------------

QList<const MemItemData *> HMp3MemView::selectedItems() const
{
    QList<const MemItemData *> items;
    for (int r : m_list->selectedRows())
        items.append(m_model->item(r));
    return items;
}

bool HMp3MemView::selectionHasDirectory() const
{
    for (const MemItemData *d : selectedItems())
        if (!d || d->isDirectory())
            return true;
    return false;
}

void HMp3MemView::selectFileIndices(const QList<int> &indices)
{
    const QSet<int> wanted(indices.begin(), indices.end());
    QList<int> rows;
    for (size_t r = 0; r < m_model->rows().size(); ++r) {
        const MemItemData &d = m_model->rows()[r];
        if (!d.isDirectory() && wanted.contains(d.fileIndex))
            rows.append(int(r));
    }
    m_list->selectRows(rows);
}

// ---- Commands ---------------------------------------------------------------------------

bool HMp3MemView::handlesCommand(int id)
{
    using namespace Mp3MemCmd;
    switch (id) {
    case Delete: case Up: case Down: case SortByName: case NaturalOrder: case Refresh: case Format:
    case LowLevelFormat: case Rename:
    case ChangeDirectory: case MakeDirectory: case MakeMultipleDirectory: case RemoveDirectory:
    case RenameDirectory: case DownloadRawData: case DiskProperties:
        return true;
    default:
        return false;
    }
}

bool HMp3MemView::isCommandEnabled(int id) const
{
    using namespace Mp3MemCmd;
    const QList<const MemItemData *> sel = selectedItems();
    const bool listShown = !m_list->isHidden();
    const bool oneDirectory = sel.size() == 1 && sel.first() && sel.first()->isDirectory();
    const bool filesOnly = !sel.isEmpty() && !selectionHasDirectory();
    switch (id) {
    case Delete:
        return m_usable && filesOnly;
    case Up:
        return m_usable && filesOnly
               && std::none_of(sel.begin(), sel.end(), [](const MemItemData *d) { return d->fileIndex == 0; });
    case Down:
        return m_usable && filesOnly && std::all_of(sel.begin(), sel.end(), [this](const MemItemData *d) {
                   return d->fileIndex < m_fileCount - 1;
               });
    case SortByName:
    case NaturalOrder:
        return listShown && m_usable && m_fileCount > 1;
    case Refresh:
    case DownloadRawData:
    case DiskProperties:
        return true;
    case Format:
    case LowLevelFormat:
        return (m_status & kZvs450DeviceIoGood) != 0;
    case Rename:
        return m_usable && sel.size() == 1 && sel.first() && !sel.first()->isDotEntry();
    case ChangeDirectory:
        return listShown && oneDirectory;
    case MakeDirectory:
    case MakeMultipleDirectory:
        return listShown && m_usable;
    case RemoveDirectory:
    case RenameDirectory:
        // "." and ".." are the directory itself and its parent: neither can go or be renamed.
        return listShown && m_usable && oneDirectory && !sel.first()->isDotEntry();
    default:
        return false;
    }
}

bool HMp3MemView::runCommand(int id)
{
    using namespace Mp3MemCmd;
    switch (id) {
    case Delete: onDelete(); return true;
    case Up: onUp(); return true;
    case Down: onDown(); return true;
    case SortByName: onSortByName(); return true;
    case NaturalOrder: onNaturalOrder(); return true;
    case Refresh: onRefresh(); return true;
    case Format: onFormat(); return true;
    case LowLevelFormat: onLowLevelFormat(); return true;
    case Rename: onRename(); return true;
    case ChangeDirectory: onChangeDirectory(); return true;
    case MakeDirectory: onMakeDirectory(); return true;
    case MakeMultipleDirectory: onMakeMultipleDirectory(); return true;
    case RemoveDirectory: onRemoveDirectory(); return true;
    case RenameDirectory: onRenameDirectory(); return true;
    case DownloadRawData: onDownloadRawData(); return true;
    case DiskProperties: onDiskProperties(); return true;
    default: return false;
    }
}

const QList<int> &HMp3MemView::contextMenuCommands()
{
    using namespace Mp3MemCmd;
    static const QList<int> commands{Delete, Up, Down, SortByName, NaturalOrder, 0, Refresh, Format, LowLevelFormat, Rename, 0,
                                     ChangeDirectory, MakeDirectory, MakeMultipleDirectory, RemoveDirectory,
                                     RenameDirectory, 0, DownloadRawData, DiskProperties};
    return commands;
}

QString HMp3MemView::commandText(int id)
{
    using namespace Mp3MemCmd;
    switch (id) {
    case Delete: return QStringLiteral("Delete");
    case Up: return QStringLiteral("Up");
    case Down: return QStringLiteral("Down");
    case SortByName: return QStringLiteral("Sort By Name");
    case NaturalOrder: return QStringLiteral("Natural Order");
    case Refresh: return QStringLiteral("Refresh");
    case Format: return QStringLiteral("Format");
    case LowLevelFormat: return QStringLiteral("Low Level Format");
    case Rename: return QStringLiteral("Rename");
    case ChangeDirectory: return QStringLiteral("Change Directory");
    case MakeDirectory: return QStringLiteral("Make Directory");
    case MakeMultipleDirectory: return QStringLiteral("Make Multiple Directory (Debug Only)");
    case RemoveDirectory: return QStringLiteral("Remove Directory");
    case RenameDirectory: return QStringLiteral("Rename Directory");
    case DownloadRawData: return QStringLiteral("Download Raw Data");
    case DiskProperties: return QStringLiteral("Disk Properties");
    default: return QString();
    }
}

QMenu *HMp3MemView::createContextMenu(QWidget *parent)
{
    auto *menu = new QMenu(QStringLiteral("Mp3Player TrackMenu"), parent);
    for (int id : contextMenuCommands()) {
        if (id == 0) {
            menu->addSeparator();
            continue;
        }
        QAction *a = menu->addAction(commandText(id));
        a->setData(id);
        a->setEnabled(isCommandEnabled(id));
    }
    emit contextMenuAboutToShow(menu);
    return menu;
}

void HMp3MemView::showContextMenu(const QPoint &globalPos)
{
    setFocus();
    QMenu *menu = createContextMenu(this);
    QAction *chosen = menu->exec(globalPos);
    const int id = chosen ? chosen->data().toInt() : 0;
    delete menu;
    if (id)
        runCommand(id);
}

void HMp3MemView::contextMenuEvent(QContextMenuEvent *e)
{
    showContextMenu(e->globalPos());
}

void HMp3MemView::onRefresh() { refresh(true); }
void HMp3MemView::onFormat() { format(false); }
void HMp3MemView::onLowLevelFormat() { format(true); }
void HMp3MemView::onDelete() { deleteSelection(true); }
void HMp3MemView::onUp() { reorder(true); }
void HMp3MemView::onDown() { reorder(false); }
void HMp3MemView::onSortByName() { sortPlayOrder(Mp3MemCmd::SortByName); }
void HMp3MemView::onNaturalOrder() { sortPlayOrder(Mp3MemCmd::NaturalOrder); }

bool HMp3MemView::format(bool lowLevel, int memory)
{
    if (memory == -1)
        memory = m_memory;
    const QString caption = QString::fromLatin1(lowLevel ? Mp3MemText::kLowFormatCaption : Mp3MemText::kFormatCaption);
    if (!prompter().confirm(this, caption, QString::fromLatin1(Mp3MemText::kFormatQuestion), HMemPrompter::Icon::Question))
        return false;
    const int result = lowLevel ? zvs450_FormatLow(this, memory) : zvs450_Format(this, memory);
    refresh(false);
    return result == 0;
}

void HMp3MemView::deleteSelection(bool ask)
{
    const QList<int> rows = m_list->selectedRows();
    if (rows.isEmpty() || m_memory == -1)
        return;
    if (ask) {
        const QString text = rows.size() == 1
                                 ? QString::fromLatin1(Mp3MemText::kDeleteOne).arg(m_model->columnText(rows.first(), 0))
                                 : QString::fromLatin1(Mp3MemText::kDeleteMany);
        if (!prompter().confirm(this, QString::fromLatin1(Mp3MemText::kConfirmDeleteCaption), text,
                                HMemPrompter::Icon::Information))
            return;
    }
    struct Target {
        int fileIndex;
        QString name;
    };
    std::vector<Target> targets;
    for (int r : rows) {
        const MemItemData *d = m_model->item(r);
        if (!d || d->isDirectory())
            return;
        targets.push_back({d->fileIndex, d->name});
    }
    std::sort(targets.begin(), targets.end(), [](const Target &a, const Target &b) { return a.fileIndex < b.fileIndex; });
    // The player closes the gap behind a deleted file: every later file moves down one,
    // so the i-th file in ascending order is found i places below where it was listed.
    for (size_t i = 0; i < targets.size(); ++i) {
        if (zvs450_Delete(this, m_memory, targets[i].fileIndex - int(i), targets[i].name) != 0)
            break;
    }
    refresh(false);
}

void HMp3MemView::reorder(bool up)
{
    if (m_memory == -1)
        return;
    QList<int> indices;
    for (const MemItemData *d : selectedItems()) {
        if (!d || d->isDirectory())
            return;
        indices.append(d->fileIndex);
    }
    if (indices.isEmpty())
        return;
    std::sort(indices.begin(), indices.end());
    bool moved = false;
    if (up && indices.first() >= 1) {
        for (int &i : indices) {
            zvs450_Replace(m_memory, i, i - 1);
            --i;
        }
        moved = true;
    } else if (!up && indices.last() < m_fileCount - 1) {
        for (auto it = indices.rbegin(); it != indices.rend(); ++it) {
            zvs450_Replace(m_memory, *it, *it + 1);
            ++*it;
        }
        moved = true;
    }
    refresh(false);
    if (moved)
        selectFileIndices(indices);
}

// The player plays a directory's files in the order of their entries. After a confirmation
// the files are put in order, one exchange of two files at a time, with a progress window
// whose Cancel stops between two exchanges (every file stays intact); the list then shows
// the new order by number.
void HMp3MemView::sortPlayOrder(int command)
{
    if (m_memory == -1)
        return;
    const bool natural = command == Mp3MemCmd::NaturalOrder;
    if (!prompter().confirm(this, commandText(command),
                            QString::fromLatin1(natural ? Mp3MemText::kNaturalOrderQuestion
                                                        : Mp3MemText::kSortByNameQuestion),
                            HMemPrompter::Icon::Question))
        return;
    int result;
    {
        HProgressDlg progress(this);
        progress.setStatus(commandText(command));
        progress.show();
        result = zvs450_SortFiles(this, m_memory, natural ? playorder::Key::Natural : playorder::Key::Name,
                                  [&progress](int done, int total) {
                                      progress.setRange(0, total);
                                      progress.setPos(done);
                                      progress.pump();
                                      return !progress.isCancelled();
                                  });
    }
    refresh(false);
    if (result == 0)
        sortBy(HMemListModel::ColNumber, true);
}

// ---- Names and directories --------------------------------------------------------------

void HMp3MemView::startLabelEdit(int row, const QString &seed)
{
    if (row < 0 || row >= m_model->rowCount())
        return;
    m_editRow = row;
    m_editCommitted = false;
    m_editText.clear();
    m_list->setFocus();
    const QModelIndex index = m_model->index(row, HMemListModel::ColName);
    m_list->scrollTo(index);
    m_editSeed = seed;
    m_list->edit(index);
    m_editSeed.clear();
    if (!m_list->indexWidget(index)) {
        // The list does not take edits now (not writable): nothing was started.
        m_editRow = -1;
        m_model->removePendingRow();
    }
}

void HMp3MemView::onLabelCommitted(int row, const QString &text)
{
    if (row != m_editRow)
        return;
    m_editCommitted = true;
    m_editText = text;
}

void HMp3MemView::onEditorClosed()
{
    // The editor is still being taken down: act once the list is done with it.
    QMetaObject::invokeMethod(this, &HMp3MemView::finishLabelEdit, Qt::QueuedConnection);
}

void HMp3MemView::finishLabelEdit()
{
    const int row = m_editRow;
    if (row < 0)
        return;
    m_editRow = -1;
    const bool pending = m_model->pendingRow() == row;
    const QString text = m_editCommitted ? m_editText : QString();
    m_editCommitted = false;
    m_editText.clear();
    if (!m_usable || text.isEmpty() || m_memory == -1) {
        m_model->removePendingRow();
        return;
    }
    int result = 0;
    if (pending) {
        result = zvs450_MakeDirectory(m_memory, text);
    } else if (const MemItemData *d = m_model->item(row)) {
        if (d->name == text)
            return;  // unchanged: nothing to ask of the player
        result = d->isDirectory() ? zvs450_RenameDirectory(m_memory, d->key, text)
                                  : zvs450_Rename(m_memory, d->fileIndex, text);
    }
    if (result == ZVS450USB_ERR_INVALID_FILENAME) {
        // A name the player cannot hold: the session said why; the edit stays open
        // with what was typed, to be corrected or cancelled.
        startLabelEdit(row, text);
        return;
    }
    m_model->removePendingRow();
    refresh(false);
}

void HMp3MemView::onRename()
{
    const QList<int> rows = m_list->selectedRows();
    if (!rows.isEmpty())
        startLabelEdit(rows.first());
}

void HMp3MemView::onRenameDirectory() { onRename(); }

void HMp3MemView::onMakeDirectory()
{
    if (!m_usable || m_memory == -1)
        return;
    const int row = m_model->appendPendingRow();
    m_list->selectRows({row});
    startLabelEdit(row);
}

void HMp3MemView::onChangeDirectory()
{
    const QList<int> rows = m_list->selectedRows();
    if (!rows.isEmpty())
        onRowActivated(rows.first());
}

void HMp3MemView::onRemoveDirectory()
{
    const QList<int> rows = m_list->selectedRows();
    if (rows.isEmpty() || m_memory == -1)
        return;
    const MemItemData *d = m_model->item(rows.first());
    if (!d || !d->isDirectory())
        return;
    zvs450_RemoveDirectory(m_memory, d->key);
    refresh(false);
}

void HMp3MemView::onMakeMultipleDirectory()
{
    if (m_memory == -1)
        return;
    QString pattern;
    int start = 0, count = 0;
    if (!prompter().askMultipleDirectories(this, &pattern, &start, &count) || pattern.isEmpty())
        return;
    int done = 0;
    {
        HProgressDlg progress(this);
        progress.setRange(0, count);
        progress.show();
        for (; done < count; ++done) {
            const QString name = HMultiDirDlg::directoryName(pattern, start + done);
            progress.setStatus(name);
            progress.setPos(done);
            progress.pump();
            if (progress.isCancelled())
                break;
            if (zvs450_MakeDirectory(m_memory, name) != 0)
                break;
        }
        progress.setPos(done);
    }
    m_model->removePendingRow();
    refresh(false);
}

void HMp3MemView::onDownloadRawData()
{
    zvs450_RawData(this, m_memory);
}

void HMp3MemView::onDiskProperties()
{
    prompter().showDiskProperties(this, m_memory < 0 ? 0 : m_memory);
}

void HMp3MemView::onUpButton()
{
    if (m_memory == -1)
        return;
    zvs450_ChangeToParent(m_memory);
    refresh(false);
}

// ---- Drag and drop ------------------------------------------------------------------------

bool HMp3MemView::canDrop() const
{
    return m_usable && isEnabled() && m_list->isEnabled();
}

QWidget *HMp3MemView::dragWindow() const
{
    return m_list;
}

bool HMp3MemView::onDroppedDirectory(const QString &path, bool show)
{
    if (!show)
        return true;
    prompter().message(this, QString(), path + QLatin1Char('\n') + QString::fromLatin1(Mp3MemText::kCannotTransferDirectory),
                       HMemPrompter::Icon::Warning);
    return false;
}

bool HMp3MemView::acceptDrop(const HFileTransferList &list, bool transfer)
{
    if (transfer) {
        for (const FileTransferItem &item : list) {
            const QByteArray native = QFile::encodeName(item.name);
            if (native.size() >= PATH_MAX) {
                prompter().showSystemError(this, ENAMETOOLONG, item.name);
                return false;
            }
            struct stat st;
            if (::stat(native.constData(), &st) != 0) {
                prompter().showSystemError(this, errno, item.name);
                return false;
            }
            if (S_ISDIR(st.st_mode) && !onDroppedDirectory(item.name, true))
                return false;
        }
        zvs450_Download(this, m_memory, list);
    }
    refresh(false);
    // Rows named like an item's file name (without regard to case) are the ones it made.
    QSet<QString> names;
    for (const FileTransferItem &item : list) {
        names.insert(HFileTransferList::fileNamePart(item.name).toCaseFolded());
        // A name with characters the player cannot store went there with "_" instead.
        names.insert(zvs450_StorableName(QFileInfo(item.name).fileName()).toCaseFolded());
    }
    QList<int> rows;
    for (size_t r = 0; r < m_model->rows().size(); ++r)
        if (names.contains(m_model->rows()[r].name.toCaseFolded()))
            rows.append(int(r));
    m_list->selectRows(rows);
    m_list->setFocus();
    return true;
}

bool HMp3MemView::collectSelection(HFileTransferList &list)
{
    for (int r : m_list->selectedRows()) {
        const MemItemData *d = m_model->item(r);
        if (!d || d->isDirectory()) {
            prompter().message(this, QString(), QString::fromLatin1(Mp3MemText::kCannotTransferDirectory),
                               HMemPrompter::Icon::Stop);
            list.removeAll();
            return false;
        }
        list.add(d->name, d->fileIndex, d->size);
    }
    return !list.isEmpty();
}

bool HMp3MemView::uploadSelection(const QString &folder, HFileTransferList *uploaded)
{
    if (m_list->selectedCount() == 0 || folder.isEmpty() || m_memory == -1)
        return false;
    HFileTransferList list;
    if (!collectSelection(list))
        return false;
    zvs450_Upload(this, m_memory, folder, list);
    if (uploaded)
        *uploaded = list;
    return true;
}

QString HMp3MemView::resolveDroppedPath(const QString &path)
{
    const QFileInfo fi(path);
    if (fi.isSymLink()) {
        // Followed to the end of a chain of links; a dangling link keeps its own path.
        const QString target = fi.canonicalFilePath();
        return target.isEmpty() ? path : target;
    }
    if (fi.suffix() == QLatin1String("desktop")) {
        // A desktop link file ("Type=Link", "URL=file:///...") stands for its target.
        QFile f(path);
        if (f.open(QIODevice::ReadOnly | QIODevice::Text)) {
            QTextStream in(&f);
            bool link = false;
            QString url;
            bool inEntry = false;
            while (!in.atEnd()) {
                const QString line = in.readLine().trimmed();
                if (line.startsWith(QLatin1Char('[')))
                    inEntry = line == QLatin1String("[Desktop Entry]");
                else if (inEntry && line == QLatin1String("Type=Link"))
                    link = true;
                else if (inEntry && line.startsWith(QLatin1String("URL=")))
                    url = line.mid(4);
            }
            const QUrl u(url);
            if (link && u.isLocalFile() && !u.toLocalFile().isEmpty())
                return u.toLocalFile();
        }
    }
    return path;
}

void HMp3MemView::dropUrls(const QList<QUrl> &urls)
{
    if (!m_usable)
        return;
    HFileTransferList list;
    for (const QUrl &url : urls) {
        if (url.isLocalFile())
            list.add(resolveDroppedPath(url.toLocalFile()), -1, 0);
    }
    if (!list.isEmpty())
        acceptDrop(list, true);
}

static bool hasLocalUrls(const QMimeData *mime)
{
    if (!mime || !mime->hasUrls())
        return false;
    const QList<QUrl> urls = mime->urls();
    return std::any_of(urls.begin(), urls.end(), [](const QUrl &u) { return u.isLocalFile(); });
}

// Files from the file manager are taken only while the player is free: the
// transfer would otherwise have to wait for, or cut into, the one running.
void HMp3MemView::dragEnterEvent(QDragEnterEvent *e)
{
    if (m_usable && !zvs450_IsBusy() && hasLocalUrls(e->mimeData()))
        e->acceptProposedAction();
    else
        e->ignore();
}

void HMp3MemView::dragMoveEvent(QDragMoveEvent *e)
{
    if (m_usable && !zvs450_IsBusy() && hasLocalUrls(e->mimeData()))
        e->acceptProposedAction();
    else
        e->ignore();
}

void HMp3MemView::dropEvent(QDropEvent *e)
{
    if (!m_usable || zvs450_IsBusy() || !hasLocalUrls(e->mimeData())) {
        e->ignore();
        return;
    }
    e->acceptProposedAction();
    // The file manager waits for the drop to finish: the transfer runs once it has.
    const QList<QUrl> urls = e->mimeData()->urls();
    QTimer::singleShot(0, this, [this, urls] { dropUrls(urls); });
}

// ---- Painting and layout -------------------------------------------------------------------

void HMp3MemView::layoutChildren()
{
    m_up->setGeometry(0, kTitleHeight, kUpButtonWidth, kPathBottom - kTitleHeight);
    m_list->setGeometry(0, kPathBottom, width(), qMax(0, height() - kPathBottom));
}

void HMp3MemView::resizeEvent(QResizeEvent *)
{
    layoutChildren();
}

void HMp3MemView::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.fillRect(rect(), palette().button());
    p.setFont(m_titleFont);

    auto strip = [&](const QRect &r, const QString &text, int indent) {
        QStyleOptionButton opt;
        opt.initFrom(this);
        opt.rect = r;
        opt.state |= QStyle::State_Raised;
        style()->drawControl(QStyle::CE_PushButtonBevel, &opt, &p, this);
        const QRect textRect = r.adjusted(indent, 0, -2, 0);
        p.setPen(palette().color(QPalette::ButtonText));
        p.drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                   p.fontMetrics().elidedText(text, Qt::ElideRight, textRect.width()));
    };
    strip(QRect(0, 0, width(), kTitleHeight), titleText(), 0);
    if (!m_list->isHidden())
        strip(QRect(kUpButtonWidth, kTitleHeight, width() - kUpButtonWidth, kPathBottom - kTitleHeight), m_path, 5);
}
