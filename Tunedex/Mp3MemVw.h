// The device memory view: one memory of the player (0 internal, 1 external card) as the
// device session has cached it. From top to bottom a painted title strip (the memory's
// name and its state: size, free space, counts), a path strip with the button that goes
// up one directory, and the file list. Every change on the player goes through the
// device session; after each operation the view reads the listing again.
#pragma once

#include "Commands.h"
#include "FileTran.h"
#include "MemListModel.h"
#include "MemPrompter.h"
#include "zvs450.h"

#include <QWidget>

#include <vector>

class HFileListCtrl;
class QMenu;
class QToolButton;

// Command identifiers the view handles: the program's numbers (Commands.h), which the
// menus and the frame use too, under the view's names.
namespace Mp3MemCmd {
enum : int {
    Format = cmd::MemFormat,
    Delete = cmd::MemDelete,
    Up = cmd::MemUp,
    Down = cmd::MemDown,
    Refresh = cmd::Refresh,
    Rename = cmd::Rename,
    LowLevelFormat = cmd::MemLowFormat,
    DownloadRawData = cmd::MemRawData,
    DiskProperties = cmd::MemDiskProperties,
    MakeDirectory = cmd::MemMakeDirectory,
    ChangeDirectory = cmd::MemChangeDirectory,
    RemoveDirectory = cmd::MemRemoveDirectory,
    RenameDirectory = cmd::MemRenameDirectory,
    MakeMultipleDirectory = cmd::MemMakeMultipleDirectory,
    SortByName = cmd::MemSortByName,
    NaturalOrder = cmd::MemNaturalOrder,
};
} // namespace Mp3MemCmd

class HMp3MemView : public QWidget {
    Q_OBJECT
public:
    static constexpr int kUpButtonId = 142;
    static constexpr int kListId = 145;
    // The strips are never lower than these; a larger font makes them as high as
    // its line needs.
    static constexpr int kTitleHeight = 20;
    static constexpr int kPathBottom = 40;
    static constexpr int kUpButtonWidth = 24;
    // Heights of the title and path strips and width of the up button, from the font.
    int titleHeight() const;
    int pathBottom() const;
    int upButtonWidth() const;

    // What the view shows, from the medium status word of the last refresh.
    enum class State { Empty, NotFormatted, ReadOnly, Usable };

    // `prompter` is not owned; null uses message boxes and the program's dialogs.
    explicit HMp3MemView(QWidget *parent = nullptr, HMemPrompter *prompter = nullptr);
    ~HMp3MemView() override;

    HFileListCtrl *list() const { return m_list; }
    HMemListModel *model() const { return m_model; }
    QToolButton *upButton() const { return m_up; }
    void setPrompter(HMemPrompter *prompter) { m_prompter = prompter; }

    int memoryIndex() const { return m_memory; }
    QString title() const { return m_title; }
    void setTitle(const QString &title);
    State state() const { return m_state; }
    bool isUsable() const { return m_usable; }
    unsigned status() const { return m_status; }
    QString currentPath() const { return m_path; }
    // " " + title + " - " + the status text, as the title strip shows it; a listing
    // that stopped before the player's count says so at its end.
    QString titleText() const;

    // Rebuilds the view from the session; memory -1 keeps the current one.
    void refresh(bool force, int memory = -1);
    // The memory is not there any more (the player was unplugged, or came back without
    // it): the view forgets its rows, counts and memory index and shows "Not Connected"
    // until a refresh names the memory again.
    void showNotConnected();
    // Asks, then formats the memory (-1: the view's); true when the session succeeded.
    bool format(bool lowLevel, int memory = -1);
    // Deletes the selected files, asking first when `ask` is set.
    void deleteSelection(bool ask = true);

    // ---- Commands (ids of Mp3MemCmd; their table is Mp3MemCommands.cpp) ----
    // The view knows the command; it then has an enabling rule and a handler.
    static bool handlesCommand(int id);
    bool isCommandEnabled(int id) const;
    // Runs a command the view handles (whatever its enabling rule says, as the keyboard
    // paths do); false for a command it does not know.
    bool runCommand(int id);
    // The context menu's commands in order, 0 for a separator.
    static const QList<int> &contextMenuCommands();
    static QString commandText(int id);
    // The context menu ("Mp3Player TrackMenu") with every entry enabled by its rule; each
    // action's data is its command id. The caller owns it.
    QMenu *createContextMenu(QWidget *parent);

    // ---- Drag and drop, device side ----
    // Drop target: the window is the whole view; it takes drops when usable.
    QWidget *dropWindow() { return this; }
    QString destinationFolder() const { return QString(); }
    bool canDrop() const;
    // Downloads the list when `transfer` is set (after checking every path), then lists
    // again and selects the rows named in the list. False when the checks refused it.
    // *copied (when given) receives the items the player took whole.
    bool acceptDrop(const HFileTransferList &list, bool transfer, std::vector<Zvs450Copied> *copied = nullptr);
    // A directory among dropped PC items: with `show` it is reported and refused.
    bool onDroppedDirectory(const QString &path, bool show);
    // Drag source: the list starts drags; the selection as device files (name, file
    // index, size). A directory in it is reported and empties the list.
    QWidget *dragWindow() const;
    bool collectSelection(HFileTransferList &list);
    // Uploads the selection into `folder` (the target's destination folder); the
    // uploaded list is handed back for the target's accept. False when nothing ran.
    // *copied (when given) receives the files that were written.
    bool uploadSelection(const QString &folder, HFileTransferList *uploaded,
                         std::vector<Zvs450Copied> *copied = nullptr);
    // Files dropped from the desktop's file manager (local file URLs); links are
    // followed to their targets as the desktop pane follows them (hResolveShellLink).
    void dropUrls(const QList<QUrl> &urls);
    static QString resolveDroppedPath(const QString &path);

    // ---- Texts ----
    // The title strip's status text for a state.
    static QString statusText(bool usable, unsigned status, quint64 totalBytes, quint64 freeBytes,
                              int files, int directories);
    // ",  incomplete listing (16 of 100 files)" when fewer files arrived than the
    // player announced, else empty.
    static QString incompleteListingText(int found, int announced);
    // Value and unit of a byte count: MB above 1048575 bytes, else KB, rounded up.
    static QPair<quint64, QString> sizeInUnits(quint64 bytes);
    static State stateFor(bool listed, unsigned status);

public slots:
    void onUpButton();
    void showContextMenu(const QPoint &globalPos);

signals:
    // A drag of the list's selection starts at `pos` (list viewport coordinates).
    void dragBegins(const QPoint &pos);
    // The context menu is about to be shown: the frame may apply its own rules.
    void contextMenuAboutToShow(QMenu *menu);
    // The view listed again (after any operation).
    void refreshed();

protected:
    void paintEvent(QPaintEvent *e) override;
    void resizeEvent(QResizeEvent *e) override;
    void changeEvent(QEvent *e) override;
    void contextMenuEvent(QContextMenuEvent *e) override;
    void dragEnterEvent(QDragEnterEvent *e) override;
    void dragMoveEvent(QDragMoveEvent *e) override;
    void dropEvent(QDropEvent *e) override;

private:
    class NameDelegate;
    struct CommandContext;
    // One command of the view: its id (0: a separator of the context menu), its menu
    // text, its enabling rule and its handler.
    struct Command {
        int id = 0;
        const char *text = nullptr;
        bool (*enabled)(const CommandContext &) = nullptr;
        void (*run)(HMp3MemView &) = nullptr;
    };
    static const std::vector<Command> &commands();
    static const Command *command(int id);

    void clearView(State state);
    void buildColumns();
    void saveColumnWidths();
    void sortBy(int column, bool ascending);
    void sortStored();
    void onHeaderClicked(int column);
    void onRowActivated(int row);
    void reorder(bool up);
    void sortPlayOrder(int command);
    void renameSelected();
    void enterSelectedDirectory();
    void makeDirectory();
    void makeMultipleDirectories();
    void removeSelectedDirectory();
    // Opens the name editor on row; with a seed the editor starts with that text
    // instead of the row's name (a name the player refused, to be corrected).
    void startLabelEdit(int row, const QString &seed = QString());
    void onLabelCommitted(int row, const QString &text);
    void onEditorClosed();
    void finishLabelEdit();
    void selectFileIndices(const QList<int> &indices);
    QList<const MemItemData *> selectedItems() const;
    HMemPrompter &prompter();
    void layoutChildren();

    HFileListCtrl *m_list = nullptr;
    HMemListModel *m_model = nullptr;
    NameDelegate *m_delegate = nullptr;
    QToolButton *m_up = nullptr;
    HMemPrompter *m_prompter = nullptr;
    HMemPrompter m_defaultPrompter;

    int m_memory = -1;
    QString m_title;
    QFont m_titleFont;
    quint64 m_totalBytes = 0;
    quint64 m_freeBytes = 0;
    int m_fileCount = 0;
    int m_directoryCount = 0;
    int m_filesFound = 0;      // files the listing delivered...
    int m_filesAnnounced = 0;  // ...and the count its header announced
    bool m_usable = false;
    unsigned m_status = 0;
    State m_state = State::Empty;
    QString m_path;

    // The label edit in progress: the row and the committed text (none when cancelled).
    int m_editRow = -1;
    bool m_editCommitted = false;
    QString m_editText;
    QString m_editSeed;
};
