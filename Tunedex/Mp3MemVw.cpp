#include "Mp3MemVw.h"

#include "External/Folder.h"
#include "FileListCtrl.h"
#include "RegKeys.h"
#include "dialogs/MultiDirDlg.h"
#include "dialogs/ProgressDlg.h"
#include "StringTable.h"
#include "zvs450.h"

#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QHeaderView>
#include <QLineEdit>
#include <QMimeData>
#include <QPainter>
#include <QSet>
#include <QShortcut>
#include <QStyleOptionButton>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QToolButton>
#include <QUrl>

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <climits>

namespace {

constexpr quint64 kKB = 1024;
constexpr quint64 kMB = 1048576;

QString sectionOf(int memory) { return RegKeys::viewSection(memory); }

// The system's caption font, never smaller than the view's own font.
QFont titleFontFor(const QFont &viewFont)
{
    QFont f = QFontDatabase::systemFont(QFontDatabase::TitleFont);
    if (f.pointSizeF() > 0 && viewFont.pointSizeF() > f.pointSizeF())
        f.setPointSizeF(viewFont.pointSizeF());
    return f;
}

} // namespace

// ---- Name editor ---------------------------------------------------------

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
    m_titleFont = titleFontFor(font());

    m_up = new QToolButton(this);
    m_up->setObjectName(QStringLiteral("up"));
    m_up->setIcon(QIcon::fromTheme(QStringLiteral("go-up"), style()->standardIcon(QStyle::SP_FileDialogToParent)));
    m_up->setAutoRaise(false);
    m_up->setFocusPolicy(Qt::NoFocus);
    m_up->setToolTip(tr("Up One Level (Backspace)"));
    m_up->setAccessibleName(tr("Up One Level"));
    connect(m_up, &QToolButton::clicked, this, &HMp3MemView::onUpButton);
    // Backspace and Alt+Up go to the parent directory as the up button does, from
    // anywhere in the view but a name being typed.
    for (const QKeySequence &keys : {QKeySequence(Qt::Key_Backspace), QKeySequence(Qt::ALT | Qt::Key_Up)}) {
        auto *parentKey = new QShortcut(keys, this, nullptr, nullptr, Qt::WidgetWithChildrenShortcut);
        connect(parentKey, &QShortcut::activated, this, [this] {
            // A key that arrives while the player is busy (a transfer's window pumps
            // the events) must not start a second operation on it.
            if (!m_up->isHidden() && !qobject_cast<QLineEdit *>(QApplication::focusWidget())
                && !zvs450_IsBusy())
                onUpButton();
        });
    }

    m_model = new HMemListModel(this);
    m_list = new HFileListCtrl(this);
    m_list->setObjectName(QStringLiteral("list"));
    m_list->setModel(m_model);
    m_delegate = new NameDelegate(this);
    m_list->setItemDelegateForColumn(HMemListModel::ColName, m_delegate);
    m_list->setFillColumn(HMemListModel::ColName);
    m_list->setUncutColumns({HMemListModel::ColSize});
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
    m_list->setAccessibleName(title);
    update();
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
        return text::tr(text::kNotConnected);
    if (!usable && !(status & kZvs450FatValid))
        return text::tr(text::kNotFormatted).arg(total.first).arg(total.second);
    const char *format = usable || (status & kZvs450StandardGeometry) ? text::kStatusUsable
                                                                      : text::kStatusReadOnly;
    return text::tr(format)
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
    return tr(",  incomplete listing (%1 of %2 files)").arg(found).arg(announced);
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
    QList<bool> stored;
    for (int c = 0; c < HMemListModel::ColumnCount; ++c) {
        widths.append(RegKeys::columnWidth(m_memory, c));
        stored.append(RegKeys::hasColumnWidth(m_memory, c));
    }
    m_list->setColumnWidths(widths, stored);
}

void HMp3MemView::saveColumnWidths()
{
    const QList<int> widths = m_list->columnWidths();
    for (int c = 0; c < HMemListModel::ColumnCount; ++c) {
        // A column the user never sized keeps the first run's behaviour.
        if (!m_list->isColumnWidthChosen(c))
            continue;
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

    Zvs450Listing listing;
    if (!zvs450_ReadListing(memory, force, &listing)) {
        m_status = listing.status;
        if (listing.status & kZvs450DeviceIoGood) {
            // A medium without a file system: it can be formatted from here.
            m_totalBytes = listing.totalBytes;
            m_freeBytes = 0;
            clearView(State::NotFormatted);
        } else {
            clearView(State::Empty);
        }
        emit refreshed();
        return;
    }
    m_totalBytes = listing.totalBytes;
    m_freeBytes = listing.freeBytes;
    m_path = listing.path;
    m_status = listing.status;
    const State state = stateFor(true, m_status);
    if (state == State::Empty || state == State::NotFormatted) {
        clearView(state);
        emit refreshed();
        return;
    }

    m_fileCount = listing.fileCount;
    m_directoryCount = listing.directoryCount;
    m_filesFound = listing.filesFound;
    m_filesAnnounced = listing.filesAnnounced;
    m_state = state;
    m_usable = true;
    m_list->setEnabled(true);
    m_list->show();
    m_up->show();

    // Files first, then directories, as the rows stand before the sort.
    std::vector<MemItemData> rows;
    rows.reserve(listing.files.size() + listing.directories.size());
    for (const Zvs450Listing::Item &f : listing.files)
        rows.push_back({f.size, f.firstCluster, f.index, f.name, m_model->typeFor(f.name, false)});
    for (const Zvs450Listing::Item &d : listing.directories)
        rows.push_back({d.size, d.firstCluster, -1, d.name, 0});
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

bool HMp3MemView::format(bool lowLevel, int memory)
{
    if (memory == -1)
        memory = m_memory;
    const QString caption = QString::fromLatin1(lowLevel ? text::kLowFormatCaption : text::kFormatCaption);
    if (!prompter().confirm(this, caption, text::tr(text::kFormatQuestion), HMemPrompter::Icon::Question))
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
        const QString text = (rows.size() == 1 ? text::tr(text::kDeleteOne).arg(m_model->columnText(rows.first(), 0))
                                                : text::tr(text::kDeleteMany))
                             + QLatin1Char('\n') + text::tr(text::kPlayerHasNoTrash);
        if (!prompter().confirm(this, text::tr(text::kConfirmDeleteCaption), text,
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
                            QString::fromLatin1(natural ? text::kNaturalOrderQuestion
                                                        : text::kSortByNameQuestion),
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

void HMp3MemView::renameSelected()
{
    const QList<int> rows = m_list->selectedRows();
    if (!rows.isEmpty())
        startLabelEdit(rows.first());
}

void HMp3MemView::makeDirectory()
{
    if (!m_usable || m_memory == -1)
        return;
    const int row = m_model->appendPendingRow();
    m_list->selectRows({row});
    startLabelEdit(row);
}

void HMp3MemView::enterSelectedDirectory()
{
    const QList<int> rows = m_list->selectedRows();
    if (!rows.isEmpty())
        onRowActivated(rows.first());
}

void HMp3MemView::removeSelectedDirectory()
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

void HMp3MemView::makeMultipleDirectories()
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
    prompter().message(this, QString(), path + QLatin1Char('\n') + text::tr(text::kCannotTransferDirectory),
                       HMemPrompter::Icon::Warning);
    return false;
}

bool HMp3MemView::acceptDrop(const HFileTransferList &list, bool transfer, std::vector<Zvs450Copied> *copied)
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
        zvs450_Download(this, m_memory, list, copied);
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
            prompter().message(this, QString(), text::tr(text::kCannotTransferDirectory),
                               HMemPrompter::Icon::Stop);
            list.removeAll();
            return false;
        }
        list.add(d->name, d->fileIndex, d->size);
    }
    return !list.isEmpty();
}

bool HMp3MemView::uploadSelection(const QString &folder, HFileTransferList *uploaded,
                                  std::vector<Zvs450Copied> *copied)
{
    if (m_list->selectedCount() == 0 || folder.isEmpty() || m_memory == -1)
        return false;
    HFileTransferList list;
    if (!collectSelection(list))
        return false;
    zvs450_Upload(this, m_memory, folder, list, copied);
    if (uploaded)
        *uploaded = list;
    return true;
}

QString HMp3MemView::resolveDroppedPath(const QString &path)
{
    return hResolveShellLink(path);
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

int HMp3MemView::titleHeight() const
{
    // One line of the title font with room for the strip's raised edge.
    return std::max(kTitleHeight, QFontMetrics(m_titleFont).height() + 6);
}

int HMp3MemView::pathBottom() const
{
    return titleHeight() + std::max(kPathBottom - kTitleHeight, QFontMetrics(m_titleFont).height() + 6);
}

int HMp3MemView::upButtonWidth() const
{
    return std::max(kUpButtonWidth, pathBottom() - titleHeight() + 4);
}

void HMp3MemView::layoutChildren()
{
    m_up->setGeometry(0, titleHeight(), upButtonWidth(), pathBottom() - titleHeight());
    m_list->setGeometry(0, pathBottom(), width(), qMax(0, height() - pathBottom()));
}

void HMp3MemView::changeEvent(QEvent *e)
{
    QWidget::changeEvent(e);
    if (e->type() == QEvent::FontChange || e->type() == QEvent::ApplicationFontChange) {
        m_titleFont = titleFontFor(font());
        m_titleFont.setPointSizeF(std::max(m_titleFont.pointSizeF(), font().pointSizeF()));
        layoutChildren();
        update();
    }
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
    const int title = titleHeight();
    strip(QRect(0, 0, width(), title), titleText(), 0);
    if (!m_list->isHidden())
        strip(QRect(upButtonWidth(), title, width() - upButtonWidth(), pathBottom() - title), m_path, 5);
}
