#include "MemListModel.h"

#include "StringTable.h"

#include <QCollator>

#include <algorithm>
#include <numeric>

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
        return pending ? text::tr(text::kNewFolder) : columnText(row, ColName);
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
        return text::tr(text::kName);
    case ColNumber:
        return text::tr(text::kNumber);
    case ColSize:
        return text::tr(text::kSize);
    case ColType:
        return text::tr(text::kType);
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
