#include "Clipboard.h"

#include "ChildView.h"
#include "DeskView.h"
#include "FileListCtrl.h"
#include "FileTran.h"
#include "Mp3MemVw.h"
#include "StringTable.h"
#include "errorsys.h"
#include "zvs450.h"

#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMimeData>
#include <QSet>

#include <unistd.h>

#include <cerrno>

namespace {

// The player's rows on the clipboard: which memory, which directory, which files.
const QString kPlayerFiles = QStringLiteral("application/x-tunedex-player-files");
// How file managers mark files that were cut rather than copied: GNOME's and its
// kin's list ("cut" or "copy", then the files), and KDE's flag.
const QString kGnomeFiles = QStringLiteral("x-special/gnome-copied-files");
const QString kKdeCut = QStringLiteral("application/x-kde-cutselection");

QList<QUrl> localFiles(const QList<QUrl> &urls)
{
    QList<QUrl> files;
    for (const QUrl &u : urls)
        if (u.isLocalFile())
            files << u;
    return files;
}

} // namespace

HPaneClipboard::HPaneClipboard(CChildView *child) : QObject(child), m_child(child)
{
    connect(QGuiApplication::clipboard(), &QClipboard::dataChanged, this, &HPaneClipboard::readClipboard);
    readClipboard();
}

HPaneClipboard::Content HPaneClipboard::contentOf(const QMimeData *data)
{
    Content c;
    if (!data)
        return c;
    if (data->hasFormat(kPlayerFiles)) {
        const QJsonObject o = QJsonDocument::fromJson(data->data(kPlayerFiles)).object();
        c.kind = Content::Kind::PlayerFiles;
        c.cut = o.value(QLatin1String("cut")).toBool();
        c.memory = o.value(QLatin1String("memory")).toInt(-1);
        c.directory = o.value(QLatin1String("directory")).toString();
        for (const QJsonValue &v : o.value(QLatin1String("files")).toArray())
            c.names << v.toString();
        if (c.memory < 0 || c.names.isEmpty())
            c = Content();
        return c;
    }
    c.files = localFiles(data->urls());
    if (c.files.isEmpty())
        return Content();
    c.kind = Content::Kind::PcFiles;
    c.cut = data->data(kGnomeFiles).startsWith("cut\n") || data->data(kKdeCut).startsWith('1');
    return c;
}

void HPaneClipboard::readClipboard()
{
    m_content = contentOf(QGuiApplication::clipboard()->mimeData());
}

int HPaneClipboard::focusedPane() const
{
    if (HMp3MemView *v = m_child->deviceContainer()->memoryView(-1))
        return v->memoryIndex() < 0 ? -2 : v->memoryIndex();
    QWidget *focus = QApplication::focusWidget();
    HDesktopView *desk = m_child->desktopView();
    return focus && (focus == desk || desk->isAncestorOf(focus)) ? -1 : -2;
}

HMp3MemView *HPaneClipboard::memoryView(int memory) const
{
    HMp3MemView *v = memory >= 0 ? m_child->memoryView(memory) : nullptr;
    return v && v->memoryIndex() == memory ? v : nullptr;
}

bool HPaneClipboard::canCopy(int pane) const
{
    if (pane == -1)
        return m_child->desktopView()->selectedTransferableCount() > 0;
    const HMp3MemView *v = memoryView(pane);
    return v && v->isUsable() && v->list()->selectedCount() > 0;
}

bool HPaneClipboard::canPaste(int pane) const
{
    if (pane == -1) {
        const HMp3MemView *source = memoryView(m_content.memory);
        return m_content.kind == Content::Kind::PlayerFiles && source && source->isUsable()
               && m_child->desktopView()->canDrop();
    }
    const HMp3MemView *v = memoryView(pane);
    return m_content.kind == Content::Kind::PcFiles && v && v->canDrop();
}

bool HPaneClipboard::commandState(int id, cmd::CommandState *state)
{
    if (id != cmd::EditCopy && id != cmd::EditCut && id != cmd::EditPaste)
        return false;
    const int pane = focusedPane();
    state->enabled = pane != -2 && !HDeviceBusy::active() && (id == cmd::EditPaste ? canPaste(pane) : canCopy(pane));
    return true;
}

bool HPaneClipboard::runCommand(int id)
{
    cmd::CommandState state;
    if (!commandState(id, &state))
        return false;
    if (!state.enabled)
        return true;
    const int pane = focusedPane();
    if (id != cmd::EditPaste) {
        copy(pane, id == cmd::EditCut);
        return true;
    }
    HDeviceBusy busy;
    if (pane == -1)
        pasteOnDesktop();
    else if (HMp3MemView *v = memoryView(pane))
        pasteOnMemory(v);
    return true;
}

void HPaneClipboard::copy(int pane, bool cut)
{
    auto *data = new QMimeData;
    QStringList lines;
    if (pane == -1) {
        HFileTransferList list;
        m_child->desktopView()->collectSelection(list);
        QList<QUrl> urls;
        QByteArray gnome = cut ? "cut" : "copy";
        for (const FileTransferItem &item : list) {
            urls << QUrl::fromLocalFile(item.name);
            gnome += '\n' + urls.last().toEncoded();
            lines << item.name;
        }
        data->setUrls(urls);
        data->setData(kGnomeFiles, gnome);
        data->setData(kKdeCut, cut ? "1" : "0");
    } else {
        const HMp3MemView *v = memoryView(pane);
        QJsonArray files;
        for (int r : v->list()->selectedRows()) {
            const MemItemData *d = v->model()->item(r);
            if (!d)
                continue;
            files.append(d->name);
            lines << d->name;
        }
        const QJsonObject o{{QLatin1String("memory"), pane},
                            {QLatin1String("directory"), v->currentPath()},
                            {QLatin1String("cut"), cut},
                            {QLatin1String("files"), files}};
        data->setData(kPlayerFiles, QJsonDocument(o).toJson(QJsonDocument::Compact));
    }
    data->setText(lines.join(QLatin1Char('\n')));
    QGuiApplication::clipboard()->setMimeData(data);
    readClipboard();
}

// The player's rows into the desktop's folder, as the upload button takes them:
// the same overwrite question and conversions. They are found again by name in
// the directory they were copied in.
void HPaneClipboard::pasteOnDesktop()
{
    const Content clip = m_content;
    HMp3MemView *source = memoryView(clip.memory);
    HDesktopView *desk = m_child->desktopView();
    if (source->currentPath() != clip.directory) {
        zvs450_GetUi().message(source, text::tr(text::kClipboardElsewhere).arg(clip.directory), QString());
        return;
    }
    const QSet<QString> wanted(clip.names.begin(), clip.names.end());
    QList<int> rows;
    for (size_t r = 0; r < source->model()->rows().size(); ++r)
        if (wanted.contains(source->model()->rows()[r].name))
            rows << int(r);
    if (rows.isEmpty()) {
        zvs450_GetUi().message(source, text::tr(text::kClipboardGone), QString());
        return;
    }
    source->list()->selectRows(rows);
    HFileTransferList uploaded;
    std::vector<Zvs450Copied> copied;
    if (!source->uploadSelection(desk->destinationFolder(), &uploaded, &copied))
        return;
    desk->acceptDrop(uploaded, false);
    if (!clip.cut || copied.empty())
        return;
    // A move: the files that arrived whole leave the player.
    QSet<QString> moved;
    for (const Zvs450Copied &c : copied)
        moved.insert(uploaded.at(c.position).name);
    source->refresh(false);
    QList<int> gone;
    for (size_t r = 0; r < source->model()->rows().size(); ++r) {
        const MemItemData &d = source->model()->rows()[r];
        if (!d.isDirectory() && moved.contains(d.name))
            gone << int(r);
    }
    source->list()->selectRows(gone);
    source->deleteSelection(false);
    QGuiApplication::clipboard()->clear();
}

// PC files onto a memory, as the download button takes them; links lead to their
// targets as for files dropped from the file manager.
void HPaneClipboard::pasteOnMemory(HMp3MemView *view)
{
    const Content clip = m_content;
    HFileTransferList list;
    for (const QUrl &url : clip.files)
        list.add(HMp3MemView::resolveDroppedPath(url.toLocalFile()), -1, 0);
    std::vector<Zvs450Copied> copied;
    view->acceptDrop(list, true, &copied);
    if (!clip.cut || copied.empty())
        return;
    // A move: the PC files whose copies the player holds whole are deleted.
    for (const Zvs450Copied &c : copied) {
        const QString path = clip.files.at(c.position).toLocalFile();
        if (::unlink(QFile::encodeName(path).constData()) != 0) {
            errorsys_Show(errno, view, path);
            break;
        }
    }
    m_child->desktopView()->listCurrentPlace();
    QGuiApplication::clipboard()->clear();
}
