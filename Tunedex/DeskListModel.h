#pragma once
// The rows of the desktop explorer view: the network level, the drives, or the
// folders and files of a PC folder, with the texts and sort of the view's list.

#include "External/Folder.h"
#include "FileTypes.h"

#include <QAbstractTableModel>
#include <QIcon>
#include <QList>
#include <QString>

#include <memory>
#include <vector>

// Kinds of desktop rows; the values order them (network before drives before files).
enum HDeskKind : int { kDeskNetwork = 1, kDeskDrive = 2, kDeskFile = 3 };

// File attribute bits kept with a file-system row.
enum HDeskAttribute : quint32 {
    kDeskAttrReadOnly = 0x1,
    kDeskAttrDirectory = 0x10,
    kDeskAttrSymlink = 0x400,
};

struct DeskItemData {
    int kind = kDeskFile;
    int index = 0;            // position in the listing
    quint32 attributes = 0;
    quint32 size = 0;         // bytes; 4294967295 for files of 4 GiB and more
    qint64 mtimeMs = 0;       // last write, milliseconds since the epoch (UTC)
    QString name;             // file name, drive name, or network level name
    int type = -1;            // index into the model's type cache (file-system rows)
    int image = -1;           // place image (drive and network rows)
    QString rootPath;         // drive rows: the mount point
    std::shared_ptr<const HNetResource> net;  // network rows (kept small: rows are moved a lot)

    bool isFolder() const { return kind == kDeskFile && (attributes & kDeskAttrDirectory); }
};

// Rows of the desktop list. Icons and type names come from one cache of the kinds of
// file (FileTypes.h).
class HDeskListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { ColName = 0, ColSize, ColType, ColDate, ColumnCount };

    explicit HDeskListModel(QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    // Every row can be dragged (the list hands the drag to the program's own scheme).
    Qt::ItemFlags flags(const QModelIndex &index) const override;

    void setRows(std::vector<DeskItemData> rows);
    void clear();
    const DeskItemData &row(int r) const { return m_rows.at(size_t(r)); }
    const std::vector<DeskItemData> &rows() const { return m_rows; }
    void setPlaceImages(const QList<QIcon> &images) { m_placeImages = images; }

    // Type-cache entry for a file-system entry (folder, or file by extension; every
    // name without a dot shares one).
    int typeFor(const QString &name, bool folder) { return m_types.typeFor(name, folder); }
    QString typeName(int type) const { return m_types.name(type); }
    int typeCount() const { return m_types.count(); }

    // Text of a column as the list shows it.
    QString columnText(int row, int column) const;
    // Sorts by the desktop rules; the selection follows its rows.
    void sortRows(int column, bool ascending);

    // "1,206KB": kilobytes rounded up, groups of three digits.
    static QString formatKB(quint32 bytes);
    // The user locale's short date, a blank, and its time without seconds, in local time.
    QString formatDate(qint64 mtimeMs) const;

private:
    std::vector<DeskItemData> m_rows;
    HFileTypes m_types{HFileTypes::Dotless::Generic};
    QList<QIcon> m_placeImages;
    QString m_dateFormat;
    QString m_timeFormat;
};
