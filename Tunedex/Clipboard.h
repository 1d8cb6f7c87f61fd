// Clipboard: Copy, Cut and Paste between the panes. Rows copied (or cut) in one
// pane are pasted into the other with the same checks and questions as the
// transfer buttons; a paste of cut rows moves them: each source file is deleted
// once its copy has arrived whole. PC files go on the system clipboard as files
// (text/uri-list, and the cut mark the file managers read), so they paste into
// a file manager too, and files copied in a file manager paste onto a memory.
// The player's rows go there under the program's own type: only its other
// pane can take them.
#pragma once

#include "Commands.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QUrl>

class CChildView;
class HMp3MemView;
class QMimeData;

class HPaneClipboard : public QObject, public cmd::HCommandTarget
{
    Q_OBJECT
public:
    explicit HPaneClipboard(CChildView *child);

    // Cut, Copy and Paste for the pane with the keyboard focus.
    bool commandState(int id, cmd::CommandState *state) override;
    bool runCommand(int id) override;

    // What the clipboard holds, as a paste sees it.
    struct Content {
        enum class Kind { None, PcFiles, PlayerFiles } kind = Kind::None;
        bool cut = false;
        QList<QUrl> files;   // PC files
        int memory = -1;     // player files: the memory, its directory, the names
        QString directory;
        QStringList names;
    };
    static Content contentOf(const QMimeData *data);
    const Content &content() const { return m_content; }

private:
    // The pane with the keyboard focus: -2 none, -1 the desktop, else a memory.
    int focusedPane() const;
    HMp3MemView *memoryView(int memory) const;
    bool canCopy(int pane) const;
    bool canPaste(int pane) const;
    void copy(int pane, bool cut);
    void pasteOnDesktop();
    void pasteOnMemory(HMp3MemView *view);
    void readClipboard();

    CChildView *m_child;
    Content m_content;
};
