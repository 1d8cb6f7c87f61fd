#include "Commands.h"

#include "zvs450.h"

#include <QCoreApplication>
#include <QHash>

namespace cmd {

// Main menu 128. The spellings ("Memeory", "Interal", two blanks in "Low
// Format  Internal Memory") are the ones users of the player know. Every
// menu and item has a mnemonic of its own within its menu, so that the whole
// menu can be worked with Alt and letters; the texts are marked for the
// catalogues under "Menu" and shown through menuText().
const QList<MenuEntry> &mainMenu()
{
    static const QList<MenuEntry> menu = {
        {0, QT_TRANSLATE_NOOP("Menu", "&File"), 0},
        {1, QT_TRANSLATE_NOOP("Menu", "E&xit"), AppExit},

        {0, QT_TRANSLATE_NOOP("Menu", "&Edit"), 0},
        {1, QT_TRANSLATE_NOOP("Menu", "&Undo\tCtrl+Z"), EditUndo},
        {1, QT_TRANSLATE_NOOP("Menu", "Cu&t\tCtrl+X"), EditCut},
        {1, QT_TRANSLATE_NOOP("Menu", "&Copy\tCtrl+C"), EditCopy},
        {1, QT_TRANSLATE_NOOP("Menu", "&Paste\tCtrl+V"), EditPaste},
        {1, nullptr, 0},
        {1, QT_TRANSLATE_NOOP("Menu", "&Option"), EditOption},
        {1, nullptr, 0},
        {1, QT_TRANSLATE_NOOP("Menu", "&Sort By Name"), MemSortByName},
        {1, QT_TRANSLATE_NOOP("Menu", "&Natural Order"), MemNaturalOrder},

        {0, QT_TRANSLATE_NOOP("Menu", "&View"), 0},
        {1, QT_TRANSLATE_NOOP("Menu", "&Tool Bar"), ViewToolBar},
        {1, QT_TRANSLATE_NOOP("Menu", "&Status Bar"), ViewStatusBar},
        {1, nullptr, 0},
        {1, QT_TRANSLATE_NOOP("Menu", "&Properties"), ViewProperties},

        {0, QT_TRANSLATE_NOOP("Menu", "&Tool"), 0},
        {1, QT_TRANSLATE_NOOP("Menu", "&Refresh\tF5"), Refresh},
        {1, QT_TRANSLATE_NOOP("Menu", "&Format"), 0},
        {2, QT_TRANSLATE_NOOP("Menu", "Format &Internal Memory"), FormatInternal},
        {2, QT_TRANSLATE_NOOP("Menu", "Format &External Memory"), FormatExternal},
        {2, nullptr, 0},
        {2, QT_TRANSLATE_NOOP("Menu", "Format &All Memory"), FormatAll},
        {1, QT_TRANSLATE_NOOP("Menu", "&Low Level Format"), 0},
        {2, QT_TRANSLATE_NOOP("Menu", "Low Format  &Internal Memory"), LowFormatInternal},
        {2, QT_TRANSLATE_NOOP("Menu", "Low Format &External Memeory"), LowFormatExternal},
        {2, nullptr, 0},
        {2, QT_TRANSLATE_NOOP("Menu", "Low Format &All Memory"), LowFormatAll},
        {1, nullptr, 0},
        {1, QT_TRANSLATE_NOOP("Menu", "Upgrade &Application Code"), UpgradeApplication},
        {1, QT_TRANSLATE_NOOP("Menu", "Upgrade &Boot Code"), UpgradeBoot},
        {1, nullptr, 0},
        {1, QT_TRANSLATE_NOOP("Menu", "ZVC450 LCD F&ont"), 0},
        {2, QT_TRANSLATE_NOOP("Menu", "&Download Font"), FontDownload},
        {2, QT_TRANSLATE_NOOP("Menu", "&Erase Font"), FontErase},
        {2, QT_TRANSLATE_NOOP("Menu", "&Upload Font"), FontUpload},
        {2, QT_TRANSLATE_NOOP("Menu", "View Font &Information"), FontInfo},
        {1, QT_TRANSLATE_NOOP("Menu", "Download Raw &Data"), 0},
        {2, QT_TRANSLATE_NOOP("Menu", "Download &Interal Raw Data"), RawDataInternal},
        {2, QT_TRANSLATE_NOOP("Menu", "Download &External Raw Data"), RawDataExternal},
        {2, nullptr, 0},
        {2, QT_TRANSLATE_NOOP("Menu", "&View Saved Raw Data File"), RawDataView},
        {1, QT_TRANSLATE_NOOP("Menu", "&Medium Information"), 0},
        {2, QT_TRANSLATE_NOOP("Menu", "&Internal Memory Info"), MediumInfo},
        {2, QT_TRANSLATE_NOOP("Menu", "&External Memory Info"), MediumInfo},

        {0, QT_TRANSLATE_NOOP("Menu", "&Help"), 0},
        {1, QT_TRANSLATE_NOOP("Menu", "&About TuneDeck..."), AppAbout},
    };
    return menu;
}

// Accelerator table 128. Shift+Delete is not Cut here as it once was: on
// this desktop it deletes for good (the lists take it themselves).
const QList<Accelerator> &accelerators()
{
    static const QList<Accelerator> table = {
        {EditCopy, QKeySequence(Qt::CTRL | Qt::Key_C)},
        {EditCopy, QKeySequence(Qt::CTRL | Qt::Key_Insert)},
        {EditPaste, QKeySequence(Qt::CTRL | Qt::Key_V)},
        {EditPaste, QKeySequence(Qt::SHIFT | Qt::Key_Insert)},
        {EditCut, QKeySequence(Qt::CTRL | Qt::Key_X)},
        {EditUndo, QKeySequence(Qt::CTRL | Qt::Key_Z)},
        {EditUndo, QKeySequence(Qt::ALT | Qt::Key_Backspace)},
        {Rename, QKeySequence(Qt::Key_F2)},
        {Refresh, QKeySequence(Qt::Key_F5)},
        {NextPane, QKeySequence(Qt::Key_F6)},
        {PrevPane, QKeySequence(Qt::SHIFT | Qt::Key_F6)},
        // What every program of the desktop quits with.
        {AppExit, QKeySequence(Qt::CTRL | Qt::Key_Q)},
    };
    return table;
}

QList<QKeySequence> acceleratorsOf(int id)
{
    QList<QKeySequence> keys;
    for (const Accelerator &a : accelerators())
        if (a.id == id)
            keys.append(a.keys);
    return keys;
}

const QList<int> &toolBarSlots()
{
    static const QList<int> band = {FileNew, EditCut, EditCopy, EditPaste, FilePrint, 0, AppAbout, -1};
    return band;
}

QString toolTipOf(int id)
{
    static const QHash<int, const char *> tips = {
        {FileNew, QT_TRANSLATE_NOOP("Menu", "New")},
        {FilePrint, QT_TRANSLATE_NOOP("Menu", "Print")},
        {EditCut, QT_TRANSLATE_NOOP("Menu", "Cut")},
        {EditCopy, QT_TRANSLATE_NOOP("Menu", "Copy")},
        {EditPaste, QT_TRANSLATE_NOOP("Menu", "Paste")},
        {EditUndo, QT_TRANSLATE_NOOP("Menu", "Undo")},
        {AppAbout, QT_TRANSLATE_NOOP("Menu", "About")},
        {Rename, QT_TRANSLATE_NOOP("Menu", "Rename")},
        {NextPane, QT_TRANSLATE_NOOP("Menu", "Next Pane")},
        {PrevPane, QT_TRANSLATE_NOOP("Menu", "Previous Pane")},
    };
    const auto it = tips.constFind(id);
    if (it != tips.constEnd())
        return QCoreApplication::translate("Menu", *it);
    for (const MenuEntry &e : mainMenu())
        if (e.id == id)
            return plainText(menuText(e.text));
    return QString();
}

QString menuText(const char *source)
{
    return source ? QCoreApplication::translate("Menu", source) : QString();
}

} // namespace cmd

bool HDeviceBusy::active()
{
    return s_depth > 0 || s_eventDepth > 1 || zvs450_IsBusy();
}
