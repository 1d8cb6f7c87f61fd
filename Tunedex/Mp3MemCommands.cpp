// The device view's commands as data: one row a command, with its id, its menu text,
// its enabling rule and its handler, in the order of the view's context menu.

#include "Mp3MemVw.h"

#include "FileListCtrl.h"
#include "zvs450.h"

#include <QContextMenuEvent>
#include <QMenu>

#include <algorithm>

// What the enabling rules look at, taken once when a menu asks.
struct HMp3MemView::CommandContext {
    bool usable = false;
    bool listShown = false;
    unsigned status = 0;
    int fileCount = 0;
    QList<const MemItemData *> selection;  // null for the row of a directory being named

    bool filesOnly() const
    {
        return !selection.isEmpty()
               && std::all_of(selection.begin(), selection.end(), [](const MemItemData *d) { return d && !d->isDirectory(); });
    }
    bool oneRow() const { return selection.size() == 1 && selection.first(); }
    bool oneDirectory() const { return oneRow() && selection.first()->isDirectory(); }
    // "." and ".." are the directory itself and its parent: neither can go or be renamed.
    bool oneNamedRow() const { return oneRow() && !selection.first()->isDotEntry(); }
};

// The view's commands in the order of its context menu ("Mp3Player TrackMenu"); a row
// without an id is a separator there. Each has a mnemonic of its own in that menu. The main menu and the accelerators reach the same
// rows by id while the view has the focus.
const std::vector<HMp3MemView::Command> &HMp3MemView::commands()
{
    using namespace Mp3MemCmd;
    using C = CommandContext;
    using V = HMp3MemView;
    static const std::vector<Command> table = {
        {Delete, QT_TR_NOOP("&Delete"), [](const C &c) { return c.usable && c.filesOnly(); },
         [](V &v) { v.deleteSelection(true); }},
        {Up, QT_TR_NOOP("&Up"),
         [](const C &c) {
             return c.usable && c.filesOnly() && std::none_of(c.selection.begin(), c.selection.end(), [](const MemItemData *d) {
                        return d->fileIndex == 0;
                    });
         },
         [](V &v) { v.reorder(true); }},
        {Down, QT_TR_NOOP("Do&wn"),
         [](const C &c) {
             return c.usable && c.filesOnly() && std::all_of(c.selection.begin(), c.selection.end(), [&c](const MemItemData *d) {
                        return d->fileIndex < c.fileCount - 1;
                    });
         },
         [](V &v) { v.reorder(false); }},
        {SortByName, QT_TR_NOOP("&Sort By Name"), [](const C &c) { return c.listShown && c.usable && c.fileCount > 1; },
         [](V &v) { v.sortPlayOrder(SortByName); }},
        {NaturalOrder, QT_TR_NOOP("&Natural Order"), [](const C &c) { return c.listShown && c.usable && c.fileCount > 1; },
         [](V &v) { v.sortPlayOrder(NaturalOrder); }},
        {},
        {Refresh, QT_TR_NOOP("&Refresh"), [](const C &) { return true; }, [](V &v) { v.refresh(true); }},
        {Format, QT_TR_NOOP("&Format"), [](const C &c) { return (c.status & kZvs450DeviceIoGood) != 0; },
         [](V &v) { v.format(false); }},
        {LowLevelFormat, QT_TR_NOOP("&Low Level Format"), [](const C &c) { return (c.status & kZvs450DeviceIoGood) != 0; },
         [](V &v) { v.format(true); }},
        {Rename, QT_TR_NOOP("Ren&ame"), [](const C &c) { return c.usable && c.oneNamedRow(); },
         [](V &v) { v.renameSelected(); }},
        {},
        {ChangeDirectory, QT_TR_NOOP("&Change Directory"), [](const C &c) { return c.listShown && c.oneDirectory(); },
         [](V &v) { v.enterSelectedDirectory(); }},
        {MakeDirectory, QT_TR_NOOP("&Make Directory"), [](const C &c) { return c.listShown && c.usable; },
         [](V &v) { v.makeDirectory(); }},
        {MakeMultipleDirectory, QT_TR_NOOP("Make Mult&iple Directory (Debug Only)"),
         [](const C &c) { return c.listShown && c.usable; }, [](V &v) { v.makeMultipleDirectories(); }},
        {RemoveDirectory, QT_TR_NOOP("Rem&ove Directory"),
         [](const C &c) { return c.listShown && c.usable && c.oneDirectory() && c.oneNamedRow(); },
         [](V &v) { v.removeSelectedDirectory(); }},
        {RenameDirectory, QT_TR_NOOP("Renam&e Directory"),
         [](const C &c) { return c.listShown && c.usable && c.oneDirectory() && c.oneNamedRow(); },
         [](V &v) { v.renameSelected(); }},
        {},
        {DownloadRawData, QT_TR_NOOP("Download Raw Da&ta"), [](const C &) { return true; },
         [](V &v) { zvs450_RawData(&v, v.m_memory); }},
        {DiskProperties, QT_TR_NOOP("Disk &Properties"), [](const C &) { return true; },
         [](V &v) { v.prompter().showDiskProperties(&v, v.m_memory < 0 ? 0 : v.m_memory); }},
    };
    return table;
}

const HMp3MemView::Command *HMp3MemView::command(int id)
{
    if (id == 0)
        return nullptr;
    for (const Command &c : commands())
        if (c.id == id)
            return &c;
    return nullptr;
}

bool HMp3MemView::handlesCommand(int id)
{
    return command(id) != nullptr;
}

bool HMp3MemView::isCommandEnabled(int id) const
{
    const Command *c = command(id);
    if (!c)
        return false;
    CommandContext context;
    context.usable = m_usable;
    context.listShown = !m_list->isHidden();
    context.status = m_status;
    context.fileCount = m_fileCount;
    context.selection = selectedItems();
    return c->enabled(context);
}

bool HMp3MemView::runCommand(int id)
{
    const Command *c = command(id);
    if (!c)
        return false;
    c->run(*this);
    return true;
}

const QList<int> &HMp3MemView::contextMenuCommands()
{
    static const QList<int> ids = [] {
        QList<int> list;
        for (const Command &c : commands())
            list.append(c.id);
        return list;
    }();
    return ids;
}

QString HMp3MemView::commandText(int id)
{
    const Command *c = command(id);
    return c ? cmd::plainText(tr(c->text)) : QString();
}

QMenu *HMp3MemView::createContextMenu(QWidget *parent)
{
    auto *menu = new QMenu(QStringLiteral("Mp3Player TrackMenu"), parent);
    for (const Command &c : commands()) {
        if (c.id == 0) {
            menu->addSeparator();
            continue;
        }
        QAction *a = menu->addAction(tr(c.text));
        a->setData(c.id);
        a->setEnabled(isCommandEnabled(c.id));
    }
    emit contextMenuAboutToShow(menu);
    return menu;
}

void HMp3MemView::showContextMenu(const QPoint &globalPos)
{
    setFocus();
    QMenu *menu = createContextMenu(this);
    QAction *chosen = menu->exec(globalPos);
    const int id = chosen ? chosen->data().toInt() : 0;
    delete menu;
    if (id)
        runCommand(id);
}

void HMp3MemView::contextMenuEvent(QContextMenuEvent *e)
{
    showContextMenu(e->globalPos());
}
