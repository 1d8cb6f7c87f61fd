// The desktop explorer view: the PC side of the main window. A folder combo box chooses
// the place (a folder, the desktop, the computer's drives, the network level), the list
// below shows its entries; folders always, files through the name filter.
#pragma once

#include "External/ComboBoxFolder.h"
#include "FileTran.h"

#include <QAbstractTableModel>
#include <QDateTime>
#include <QHash>
#include <QIcon>
#include <QWidget>

#include <memory>
#include <optional>
#include <vector>

class HFileListCtrl;
class QToolButton;
class QMenu;

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

// Rows of the desktop list. Icons and type names are kept once per extension, so a folder
// of many thousands of files costs one lookup per kind of file, not one per row.
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

    // Type-cache entry for a file-system entry (folder, or file by extension).
    int typeFor(const QString &name, bool folder);
    QString typeName(int type) const;
    int typeCount() const { return int(m_types.size()); }

    // Text of a column as the list shows it.
    QString columnText(int row, int column) const;
    // Sorts by the desktop rules; the selection follows its rows.
    void sortRows(int column, bool ascending);

    // "1,206KB": kilobytes rounded up, groups of three digits.
    static QString formatKB(quint32 bytes);
    // The user locale's short date, a blank, and its time without seconds, in local time.
    QString formatDate(qint64 mtimeMs) const;

private:
    struct TypeInfo {
        QString name;
        QIcon icon;
    };
    std::vector<DeskItemData> m_rows;
    std::vector<TypeInfo> m_types;
    QHash<QString, int> m_typeIndex;
    QList<QIcon> m_placeImages;
    QString m_dateFormat;
    QString m_timeFormat;
};

// The questions and system services the view needs; tests answer them without a person.
class HDeskPrompter {
public:
    virtual ~HDeskPrompter() = default;
    // Yes/No question; true for Yes.
    virtual bool confirm(QWidget *owner, const QString &caption, const QString &text);
    // The system's message for an errno value, naming the file or folder it concerns.
    virtual void showSystemError(QWidget *owner, int error, const QString &path);
    // Opens a file with its associated program.
    virtual void openDocument(const QString &path);
    // "Properties" of an entry.
    virtual void showProperties(QWidget *owner, const QString &path);
};

class HDesktopView : public QWidget {
    Q_OBJECT
public:
    static constexpr int kComboId = 140;
    static constexpr int kListId = 141;
    static constexpr int kUpButtonId = 142;

    // `prompter` is not owned; null uses message boxes and the desktop's services.
    explicit HDesktopView(QWidget *parent = nullptr, HDeskPrompter *prompter = nullptr);
    ~HDesktopView() override;

    HComboBoxFolder *folderComboBox() const { return m_combo; }
    HFileListCtrl *list() const { return m_list; }
    HDeskListModel *model() const { return m_model; }
    QToolButton *upButton() const { return m_up; }
    void setPrompter(HDeskPrompter *prompter);

    // The name filter for files ("*.mp3", "*.*"); setting it lists the place again.
    QString fileFilter() const { return m_filter; }
    void setFileFilter(const QString &filter);

    // Lists the current place again (also "Refresh" of the main window).
    void listCurrentPlace();
    // Sort as a click on a column header does.
    void sortByColumnClick(int column);
    // Sort with the stored key and direction (as after a listing).
    void sortStored();

    // Double click on a row: enter a folder, drive or network level, or open a file.
    void openRow(int row);
    // Delete the selected files; asks first when `ask` is set.
    void deleteSelection(bool ask = true);
    // Full path of the first selected row ("Properties"), shown through the prompter.
    QString properties();
    void goUp();

    // Drag-source side: every selected row except network levels, in selection order.
    bool collectSelection(HFileTransferList &list) const;
    int selectedTransferableCount() const;
    // Drop-target side: the current folder (empty when the place has none).
    QString destinationFolder() const;
    bool canDrop() const { return !destinationFolder().isEmpty(); }
    // Accepts only the refresh form (transfer = false): lists again and selects the rows
    // named in the list. Answers whether the drop was taken.
    bool acceptDrop(const HFileTransferList &list, bool transfer);

signals:
    // A drag of the list's selection starts at `pos` (list viewport coordinates); the
    // drag-and-drop scheme takes it from here.
    void dragBegins(const QPoint &pos);

protected:
    void resizeEvent(QResizeEvent *e) override;

private slots:
    void onFolderChanged(const HFolder *folder);
    void onContextMenu(const QPoint &globalPos);

private:
    enum class ListResult { Ok, Failed };
    ListResult listFolder(const QString &path, std::vector<DeskItemData> &rows);
    void listDrives(std::vector<DeskItemData> &rows);
    void listNetwork(const HNetResource *resource, std::vector<DeskItemData> &rows);
    void sortBy(int column, bool ascending);
    QString rowPath(int row) const;
    HDeskPrompter &prompter();

    HComboBoxFolder *m_combo = nullptr;
    HFileListCtrl *m_list = nullptr;
    HDeskListModel *m_model = nullptr;
    QToolButton *m_up = nullptr;
    QMenu *m_menu = nullptr;
    HDeskPrompter *m_prompter = nullptr;
    HDeskPrompter m_defaultPrompter;
    QList<QIcon> m_placeImages;
    QString m_filter;
    bool m_initialised = false;
};
