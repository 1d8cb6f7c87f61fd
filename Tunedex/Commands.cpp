#include "Commands.h"

#include "zvs450.h"

#include <QHash>

namespace cmd {

// Main menu 128. The spellings ("Memeory", "Interal", two blanks in "Low
// Format  Internal Memory") are the ones users of the player know.
const QList<MenuEntry> &mainMenu()
{
    static const QList<MenuEntry> menu = {
        {0, "&File", 0},
        {1, "E&xit", AppExit},

        {0, "Edit", 0},
        {1, "&Undo\tCtrl+Z", EditUndo},
        {1, "Cu&t\tCtrl+X", EditCut},
        {1, "&Copy\tCtrl+C", EditCopy},
        {1, "&Paste\tCtrl+V", EditPaste},
        {1, nullptr, 0},
        {1, "&Option", EditOption},
        {1, nullptr, 0},
        {1, "Sort By Name", MemSortByName},
        {1, "Natural Order", MemNaturalOrder},

        {0, "&View", 0},
        {1, "&Tool Bar", ViewToolBar},
        {1, "&Status Bar", ViewStatusBar},
        {1, nullptr, 0},
        {1, "&Properties", ViewProperties},

        {0, "Tool", 0},
        {1, "&Refresh\tF5", Refresh},
        {1, "Format", 0},
        {2, "Format Internal Memory", FormatInternal},
        {2, "Format External Memory", FormatExternal},
        {2, nullptr, 0},
        {2, "Format All Memory", FormatAll},
        {1, "Low Level Format", 0},
        {2, "Low Format  Internal Memory", LowFormatInternal},
        {2, "Low Format External Memeory", LowFormatExternal},
        {2, nullptr, 0},
        {2, "Low Format All Memory", LowFormatAll},
        {1, nullptr, 0},
        {1, "Upgrade Application Code", UpgradeApplication},
        {1, "Upgrade Boot Code", UpgradeBoot},
        {1, nullptr, 0},
        {1, "ZVC450 LCD Font", 0},
        {2, "Download Font", FontDownload},
        {2, "Erase Font", FontErase},
        {2, "Upload Font", FontUpload},
        {2, "View Font Information", FontInfo},
        {1, "Download Raw Data", 0},
        {2, "Download Interal Raw Data", RawDataInternal},
        {2, "Download External Raw Data", RawDataExternal},
        {2, nullptr, 0},
        {2, "View Saved Raw Data File", RawDataView},
        {1, "Medium Information", 0},
        {2, "Internal Memory Info", MediumInfo},
        {2, "External Memory Info", MediumInfo},

        {0, "Help", 0},
        {1, "About TuneDeck...", AppAbout},
    };
    return menu;
}

// Accelerator table 128.
const QList<Accelerator> &accelerators()
{
    static const QList<Accelerator> table = {
        {EditCopy, QKeySequence(Qt::CTRL | Qt::Key_C)},
        {EditCopy, QKeySequence(Qt::CTRL | Qt::Key_Insert)},
        {EditPaste, QKeySequence(Qt::CTRL | Qt::Key_V)},
        {EditPaste, QKeySequence(Qt::SHIFT | Qt::Key_Insert)},
        {EditCut, QKeySequence(Qt::CTRL | Qt::Key_X)},
        {EditCut, QKeySequence(Qt::SHIFT | Qt::Key_Delete)},
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
    static const QHash<int, QString> tips = {
        {FileNew, QStringLiteral("New")},
        {FilePrint, QStringLiteral("Print")},
        {EditCut, QStringLiteral("Cut")},
        {EditCopy, QStringLiteral("Copy")},
        {EditPaste, QStringLiteral("Paste")},
        {EditUndo, QStringLiteral("Undo")},
        {AppAbout, QStringLiteral("About")},
        {Rename, QStringLiteral("Rename")},
        {NextPane, QStringLiteral("Next Pane")},
        {PrevPane, QStringLiteral("Previous Pane")},
    };
    const auto it = tips.constFind(id);
    if (it != tips.constEnd())
        return *it;
    for (const MenuEntry &e : mainMenu())
        if (e.id == id)
            return plainText(e.text);
    return QString();
}

QString plainText(const char *menuText)
{
    QString s = QString::fromLatin1(menuText ? menuText : "");
    const qsizetype tab = s.indexOf(QLatin1Char('\t'));
    if (tab >= 0)
        s.truncate(tab);
    s.remove(QLatin1Char('&'));
    return s;
}

} // namespace cmd

bool HDeviceBusy::active()
{
    return s_depth > 0 || s_eventDepth > 1 || zvs450_IsBusy();
}
