#pragma once
// Commands: the program's command table as data.
//
// Every menu entry, accelerator and tool bar button names a command by its
// number; the numbers are the ones the player's PC software has always used
// (32773..32813 for the program's own commands, the framework's standard
// numbers for Exit, Undo, the bars and so on; the play-order commands that
// came later follow at 32814), so the device view's context menu, the main
// menu and the tool bar all meet on the same handler.
//
// A command goes first to the pane that holds the keyboard focus, then to the
// client view, then to the frame (HCommandTarget below). A command that no
// target takes shows disabled. The enabling rules live in the targets and are
// evaluated in one place, CMainFrame::updateCommandStates(), whenever a menu
// opens and when the program is idle.

#include <QKeySequence>
#include <QList>
#include <QRegularExpression>
#include <QString>

namespace cmd {

enum Id : int {
    // Framework standard commands.
    FileNew = 57600,
    FilePrint = 57607,
    EditCopy = 57634,
    EditCut = 57635,
    EditPaste = 57637,
    EditUndo = 57643,
    AppAbout = 57664,
    AppExit = 57665,
    NextPane = 57680,
    PrevPane = 57681,
    ViewToolBar = 59392,
    ViewStatusBar = 59393,

    // The program's own commands.
    MemFormat = 32773,          // device view: "Format"
    ViewProperties = 32779,
    FormatInternal = 32781,
    FormatExternal = 32782,
    FormatAll = 32783,
    MemDelete = 32784,          // device view: "Delete"
    UpgradeApplication = 32785,
    MemUp = 32786,              // device view: "Up"
    MemDown = 32787,            // device view: "Down"
    Refresh = 32788,
    EditOption = 32789,
    UpgradeBoot = 32791,
    Rename = 32792,             // device view: "Rename" (F2)
    FontDownload = 32793,
    MemLowFormat = 32794,       // device view: "Low Level Format"
    LowFormatInternal = 32795,
    LowFormatExternal = 32796,
    LowFormatAll = 32797,
    FontInfo = 32798,
    FontUpload = 32799,
    FontErase = 32800,
    RawDataInternal = 32802,
    RawDataExternal = 32803,
    RawDataView = 32804,
    MemRawData = 32805,         // device view: "Download Raw Data"
    MediumInfo = 32807,         // both entries of Tool > Medium Information
    MemDiskProperties = 32808,  // device view: "Disk Properties"
    MemMakeDirectory = 32809,
    MemChangeDirectory = 32810,
    MemRemoveDirectory = 32811,
    MemRenameDirectory = 32812,
    MemMakeMultipleDirectory = 32813,
    MemSortByName = 32814,      // device view: "Sort By Name" (play order)
    MemNaturalOrder = 32815,    // device view: "Natural Order" (play order)
};

// Control numbers of the frame's windows.
inline constexpr int kChildViewId = 0xE900;   // the client view (first pane)
inline constexpr int kReBarId = 0xE800;       // the tool bar band with the filter box
inline constexpr int kStatusBarId = 0xE801;
inline constexpr int kFirmwarePaneId = 3200;  // status bar pane with the firmware text

// One entry of the main menu. Entries are listed in menu order; depth 0 is a
// top-level menu, depth 1 its items, depth 2 the items of a sub-menu. A
// pop-up (top-level menu or sub-menu) has id 0; a separator has no text.
struct MenuEntry {
    int depth;
    const char *text;  // source text: "&" marks the mnemonic, "\t" the accelerator text
    int id;

    bool isSeparator() const { return text == nullptr; }
    bool isPopup() const { return text != nullptr && id == 0; }
};

const QList<MenuEntry> &mainMenu();

// One row of the accelerator table.
struct Accelerator {
    int id;
    QKeySequence keys;
};

const QList<Accelerator> &accelerators();
// The keys of one command, in table order.
QList<QKeySequence> acceleratorsOf(int id);

// A command that sits on the tool bar: the eight slots of the band in order;
// id 0 is the separator, -1 the slot of the file-filter box.
const QList<int> &toolBarSlots();
// Short name of a command for its tool tip and as text where no menu text exists.
QString toolTipOf(int id);

// A menu text of the table in the user's language.
QString menuText(const char *source);
// The text of a menu entry without its mnemonic marker and accelerator text
// ("Cu&t\tCtrl+X" gives "Cut", "파일(&F)" gives "파일"): a menu entry's words
// where they are a caption or a tool tip.
inline QString plainText(const QString &menuText)
{
    QString s = menuText;
    const qsizetype tab = s.indexOf(QLatin1Char('\t'));
    if (tab >= 0)
        s.truncate(tab);
    // Languages without Latin letters give the mnemonic in parentheses after
    // the words ("파일(&F)"): without the marker the letter goes too.
    static const QRegularExpression trailingMnemonic(QStringLiteral("\\(&[^)]\\)"));
    s.remove(trailingMnemonic);
    s.remove(QLatin1Char('&'));
    return s.trimmed();
}

// The state a target gives a command when asked.
struct CommandState {
    bool enabled = false;
    // Set for commands shown with a check mark (the bars).
    bool checkable = false;
    bool checked = false;
};

// Something that may handle commands: a pane, the client view, the frame.
class HCommandTarget
{
public:
    virtual ~HCommandTarget() = default;
    // True when this target has a handler for id; it then fills *state.
    virtual bool commandState(int id, CommandState *state) = 0;
    // Runs the command; true when this target has a handler for it.
    virtual bool runCommand(int id) = 0;
};

} // namespace cmd

// Whether a device operation may start now. The library's progress windows
// keep the program's events flowing while a transfer runs, so a menu click, a
// key or the device watcher's timer can arrive in the middle of one; none of
// them may start a second device operation (or reconnect) then. Busy means: a
// command of the frame is running a device operation (an HDeviceBusy object
// lives), the device session is running an operation, or an event loop is
// delivering events inside the handling of another such event (a progress
// window or a dialog pumping them). The application object counts that
// nesting (enterEvent/leaveEvent). This only keeps the commands' states
// honest; what stops a second operation is the library windows' modality and
// the session's own refusal (zvs450.h).
class HDeviceBusy
{
public:
    HDeviceBusy() { ++s_depth; }
    ~HDeviceBusy() { --s_depth; }
    HDeviceBusy(const HDeviceBusy &) = delete;
    HDeviceBusy &operator=(const HDeviceBusy &) = delete;

    static bool active();
    // A command of the frame is running a device operation.
    static bool commandRunning() { return s_depth > 0; }

    static void enterEvent() { ++s_eventDepth; }
    static void leaveEvent() { --s_eventDepth; }
    // Events from an event loop being handled right now, one inside the
    // other (1 at the top of the event loop, 0 outside any event).
    static int eventDepth() { return s_eventDepth; }

private:
    static inline int s_depth = 0;
    static inline int s_eventDepth = 0;
};
