#include "DeskListModel.h"

#include "StringTable.h"

#include <QCollator>
#include <QDateTime>
#include <QLocale>
#include <QRegularExpression>

#include <algorithm>
#include <numeric>

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
    case Qt::EditRole:
        return index.column() == ColName ? QVariant(d.name) : QVariant();
    case Qt::DecorationRole:
        if (index.column() != ColName)
            return QVariant();
        if (d.kind == kDeskFile)
            return m_types.icon(d.type);
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
    // Files and folders can be renamed in place (the list starts the editor only on F2).
    if (index.isValid() && index.column() == ColName && size_t(index.row()) < m_rows.size()
        && m_rows[size_t(index.row())].kind == kDeskFile)
        f |= Qt::ItemIsEditable;
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
    static const char *const titles[ColumnCount] = {text::kName, text::kSize, text::kType, text::kDate};
    return section >= 0 && section < ColumnCount ? text::tr(titles[section]) : QVariant();
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
