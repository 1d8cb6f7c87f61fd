#pragma once
// The rows of a device memory view: the files and directories of the memory's
// current directory as the session listed them, with the texts, sort and name
// editing of the view's list.

#include "FileTypes.h"

#include <QAbstractTableModel>
#include <QString>

#include <vector>

// One row: a file or a directory of the current directory.
struct MemItemData {
    quint32 size = 0;   // bytes (directories: the entry's size field)
    quint32 key = 0;    // first cluster: the directory key of the directory commands
    int fileIndex = -1; // position in the player's file order; -1 for directories
    QString name;       // display name
    int type = 0;       // entry of the model's icon and type-name cache

    bool isDirectory() const { return fileIndex < 0; }
    bool isDotEntry() const { return isDirectory() && (name == QLatin1String(".") || name == QLatin1String("..")); }
    bool operator==(const MemItemData &o) const
    {
        return size == o.size && key == o.key && fileIndex == o.fileIndex && name == o.name && type == o.type;
    }
};

// The rows of one device view. Icons and type names come from one cache of the kinds
// of file (FileTypes.h); entry 0 is the folder every directory row shows.
class HMemListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { ColName = 0, ColNumber, ColSize, ColType, ColumnCount };

    explicit HMemListModel(QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

    // Replaces the rows; nothing is reset (and nothing repainted) when they are the same.
    // Answers whether the rows changed.
    bool setRows(std::vector<MemItemData> rows);
    void clear();
    const std::vector<MemItemData> &rows() const { return m_rows; }
    // Null for the row of a directory being named (it has no data yet).
    const MemItemData *item(int row) const;

    // Rows may be renamed in place (a writable memory).
    void setEditable(bool editable) { m_editable = editable; }
    bool isEditable() const { return m_editable; }

    // A row at the end with no data, for a new directory being named; its row number.
    int appendPendingRow();
    void removePendingRow();
    int pendingRow() const { return m_pending ? int(m_rows.size()) : -1; }

    // Cache entry of the icon and type name for a name (by extension, or the whole
    // name without a dot) or for folders.
    int typeFor(const QString &name, bool folder) { return m_types.typeFor(name, folder); }
    QString typeName(int type) const { return m_types.name(type); }
    QIcon typeIcon(int type) const { return m_types.icon(type); }
    int typeCount() const { return m_types.count(); }

    QString columnText(int row, int column) const;
    // Sorts in place: directories before files ascending (after them descending), files by
    // the column; the order of equal rows is kept.
    void sortRows(int column, bool ascending);

    // "%uKB" of the size rounded up to kilobytes.
    static QString formatKB(quint32 bytes);

private:
    std::vector<MemItemData> m_rows;
    HFileTypes m_types{HFileTypes::Dotless::WholeName};
    bool m_editable = false;
    bool m_pending = false;
};
