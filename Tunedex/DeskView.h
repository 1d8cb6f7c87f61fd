// The desktop explorer view: the PC side of the main window. A folder combo box chooses
// the place (a folder, the desktop, the computer's drives, the network level), the list
// below shows its entries; folders always, files through the name filter.
#pragma once

#include "DeskListModel.h"
#include "External/ComboBoxFolder.h"
#include "FileTran.h"

#include <QWidget>

#include <memory>
#include <optional>
#include <vector>

class HFileListCtrl;
class QToolButton;
class QMenu;

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
    // A message about something the user asked that cannot be done.
    virtual void showError(QWidget *owner, const QString &text);
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
    // Moves the selected files to the trash, or with `permanently` deletes them for
    // good; asks first when `ask` is set. Folders are left alone (the system's reason
    // is shown and the batch ends there).
    void deleteSelection(bool ask = true, bool permanently = false);
    // Full path of the first selected row ("Properties"), shown through the prompter.
    QString properties();
    void goUp();
    // F2: the name editor on the first selected file or folder. A committed name
    // renames the entry (never over another one) and the list selects it.
    bool canRename() const;
    void renameSelected();
    // Renames an entry of the current folder; false (after saying why) when it could not.
    bool renameEntry(const QString &oldName, const QString &newName);

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
    class NameDelegate;
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
