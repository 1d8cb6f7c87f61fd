// The session's wrappers for the operations that change a memory's files and
// directories: delete, upload, download, reorder, rename, format and the
// directory commands.

#include "zvs450_p.h"

#include "FileTran.h"
#include "RegKeys.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSet>
#include <QTemporaryDir>

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <optional>
#include <set>
#include <string>

using namespace zvs450_detail;

namespace {

// Extension of a local file name: the text after its last ".", where a name
// whose only "." is its first character (".profile") has none.
qsizetype extensionDot(const QString &name)
{
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return dot > 0 ? dot : -1;
}

// How an upload stores a device file: recordings become WAV files unless the
// settings ask for them as they are.
int conversionFor(const QString &name)
{
    const qsizetype dot = extensionDot(name);
    if (dot < 0)
        return ZVC450_UPLOAD_COPY;
    const QString extension = name.mid(dot + 1);
    if (RegKeys::adpcmConvert() == 0 && extension.compare(QLatin1String("BCW"), Qt::CaseInsensitive) == 0)
        return ZVC450_UPLOAD_BCW2WAV;
    if (RegKeys::bvfConvert() == 0 && extension.compare(QLatin1String("BVF"), Qt::CaseInsensitive) == 0)
        return ZVC450_UPLOAD_BVF2WAV;
    return ZVC450_UPLOAD_COPY;
}

QString withWavExtension(const QString &name) { return name.left(extensionDot(name)) + QStringLiteral(".WAV"); }

// A WAV file whose data chunk is empty: the recording it came from held no frame
// the converter could find. False for anything it cannot read as a WAV file.
bool wavHasNoSound(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray head = file.read(4096);
    if (head.size() < 12 || !head.startsWith("RIFF") || head.mid(8, 4) != "WAVE")
        return false;
    const auto le32 = [&head](qsizetype at) {
        return quint32(quint8(head[at])) | quint32(quint8(head[at + 1])) << 8 | quint32(quint8(head[at + 2])) << 16
               | quint32(quint8(head[at + 3])) << 24;
    };
    for (qsizetype at = 12; at + 8 <= head.size();) {
        const quint32 size = le32(at + 4);
        if (head.mid(at, 4) == "data")
            return size == 0;
        at += 8 + qsizetype(size) + qsizetype(size & 1);
    }
    return false;
}

// A directory command says nothing when not connected (NotOpen::Silent); its failure is
// shown without an owner.
int directoryResult(int ok)
{
    return ok ? ZVC450USB_ERR_NONE : reportLast(nullptr, Cancel::Silent);
}

int format(QWidget *owner, int memory, bool lowLevel)
{
    const Operation op(owner);
    if (const int error = op.unavailable())
        return error;
    Session &s = session();
    // A medium without a file system refuses its listing with the player's
    // reason: a format is what it needs, so that refusal does not stand in
    // its way (a missing medium or a failed link does).
    if (!validMemory(memory))
        return refreshFirst(owner, memory);  // says that there is no such medium
    if (!refresh(memory) && ZVC450_GetError() != ZVC450USB_ERR_INTERNAL)
        return reportLast(owner, Cancel::Shown);
    // Formatting takes far longer than any other answer of the player.
    ZVC450_SetTimeout(s.formatTimeout, s.sendTimeout);
    const int ok = lowLevel ? ZVC450_FormatLow(owner, s.handle, memory) : ZVC450_Format(owner, s.handle, memory);
    ZVC450_SetTimeout(s.recvTimeout, s.sendTimeout);
    const int error = ok ? ZVC450USB_ERR_NONE : reportLast(owner, Cancel::Shown);
    markStale(memory);
    return error;
}

} // namespace

int zvs450_Delete(QWidget *owner, int memory, int fileIndex, const QString &fileName)
{
    const Operation op(owner);
    if (const int error = op.unavailable())
        return error;
    Session &s = session();
    if (const int error = refreshFirst(owner, memory))
        return error;
    if (const int error = checkFileIndex(owner, memory, fileIndex))
        return error;
    if (!ZVC450_Delete(owner, s.handle, memory, fileIndex, fileName.toUtf8().constData()))
        return reportLast(owner, Cancel::Shown);
    markStale(memory);
    return ZVC450USB_ERR_NONE;
}

namespace {

// What one item of a batch came to.
enum class Step {
    Next,     // done or skipped: go on with the next item
    Stop,     // the user ended the batch
    Failed,   // the library failed: its error is shown after the batch
    Refused,  // already shown
};

// Runs a transfer per list item, in order, up to the first failure; the
// listing is stale afterwards whatever happened. A cancel in the library's
// progress window is not shown. The caller holds the session.
template <typename Transfer>
int runBatch(QWidget *owner, int memory, const HFileTransferList &list, Transfer transfer)
{
    Session &s = session();
    if (!s.handle)
        return reportNotOpen(owner);
    if (const int error = refreshFirst(owner, memory))
        return error;

    int error = ZVC450USB_ERR_NONE;
    Step step = Step::Next;
    QString failedFile;
    for (auto item = list.begin(); item != list.end() && step == Step::Next; ++item) {
        // A device change handled inside a progress window may have closed us.
        if (!s.handle) {
            error = ZVC450_SetError(ZVC450USB_ERR_DEVICE_OPEN);
            break;
        }
        step = transfer(s.handle, *item);
        if (step == Step::Failed || step == Step::Refused) {
            failedFile = item->name;
            error = ZVC450_GetError();
            if (error == ZVC450USB_ERR_NONE)
                error = ZVC450_SetError(ZVC450USB_ERR_USB);
        }
    }
    markStale(memory);
    return step == Step::Refused ? error : report(owner, error, Cancel::Silent, failedFile);
}

} // namespace

int zvs450_Upload(QWidget *owner, int memory, const QString &folder, const HFileTransferList &list,
                  std::vector<Zvs450Copied> *copied)
{
    const Operation op(owner);
    if (op.refused())
        return kZvs450ErrBusy;
    int position = -1;
    return runBatch(owner, memory, list, [&](HZVC450 handle, const FileTransferItem &item) {
        ++position;
        if (checkFileIndex(owner, memory, item.fileIndex) != ZVC450USB_ERR_NONE)
            return Step::Refused;
        // The device's name is only ever a file name inside the folder.
        QString name = zvs450_LocalFileName(item.name);
        std::optional<QString> secondName = item.secondName;
        const int conversion = conversionFor(name);
        if (conversion != ZVC450_UPLOAD_COPY) {
            name = withWavExtension(name);
            // The progress window names the file as it is on the player.
            secondName = item.name;
        }
        const QString localPath = localPathFor(folder, name);
        if (localEntryExists(localPath)) {
            const Zvs450Ui::Answer answer = askOverwrite(owner, localPath);
            if (answer == Zvs450Ui::Answer::Cancel)
                return Step::Stop;
            if (answer != Zvs450Ui::Answer::Yes)
                return Step::Next;
        }
        const QByteArray secondNameBytes = secondName ? secondName->toUtf8() : QByteArray();
        if (!ZVC450_Upload(owner, handle, memory, item.fileIndex, localPath.toUtf8().constData(),
                           secondName ? secondNameBytes.constData() : nullptr, item.size, conversion))
            return Step::Failed;
        // A converted recording that held no frame leaves a WAV file without sound:
        // not a silent success.
        if (conversion != ZVC450_UPLOAD_COPY && wavHasNoSound(localPath))
            zvs450_GetUi().message(owner,
                                   QCoreApplication::translate("TuneDeck",
                                                               "No sound was found in the recording \"%1\":\n%2 is empty.")
                                       .arg(item.name, localPath),
                                   QString());
        if (copied)
            copied->push_back({position, localPath});
        return Step::Next;
    });
}

namespace {

// What to do with the files whose names hold characters the player cannot store.
enum class Unstorable { None, Rename, Skip, Cancel };

// Asks once, before anything is sent, whether the copies of such files go to the
// player with "_" in place of each of those characters; says which characters and
// what the names become.
Unstorable askAboutUnstorableNames(QWidget *owner, const HFileTransferList &list)
{
    constexpr int kNamesShown = 10;
    QString characters;
    QStringList lines;
    int count = 0;
    for (const FileTransferItem &item : list) {
        const QString name = QFileInfo(item.name).fileName();
        const QString bad = zvs450_UnstorableCharacters(name);
        if (bad.isEmpty())
            continue;
        for (const QChar c : bad)
            if (!characters.contains(c))
                characters += c;
        if (++count <= kNamesShown)
            lines << name + QStringLiteral("  ") + QChar(0x2192) + QStringLiteral("  ") + zvs450_StorableName(name);
    }
    if (count == 0)
        return Unstorable::None;
    if (count > kNamesShown)
        lines << QCoreApplication::translate("TuneDeck", "... and %1 more").arg(count - kNamesShown);
    // Whole sentences for each count, so that every language can say them its own way.
    const bool one = characters.size() == 1;
    const QString problem =
        (one ? QCoreApplication::translate("TuneDeck", "The player cannot store the character %1 in a name:")
             : QCoreApplication::translate("TuneDeck", "The player cannot store the characters %1 in a name:"))
            .arg(zvs450_DescribeCharacters(characters));
    const QString offer =
        count == 1 ? (one ? QCoreApplication::translate("TuneDeck", "Store the copy with \"_\" in its place?\n"
                                                                     "(No leaves this file out, Cancel sends nothing.)")
                          : QCoreApplication::translate("TuneDeck", "Store the copy with \"_\" in their place?\n"
                                                                     "(No leaves this file out, Cancel sends nothing.)"))
                   : (one ? QCoreApplication::translate("TuneDeck", "Store the copies with \"_\" in its place?\n"
                                                                     "(No leaves these files out, Cancel sends nothing.)")
                          : QCoreApplication::translate("TuneDeck", "Store the copies with \"_\" in their place?\n"
                                                                     "(No leaves these files out, Cancel sends nothing.)"));
    const QString text = problem + QStringLiteral("\n\n") + lines.join(QLatin1Char('\n')) + QStringLiteral("\n\n") + offer;
    switch (zvs450_GetUi().question(owner, text, QString())) {
    case Zvs450Ui::Answer::Yes:
        return Unstorable::Rename;
    case Zvs450Ui::Answer::No:
        return Unstorable::Skip;
    default:
        return Unstorable::Cancel;
    }
}

// An entry's 8.3 name as the player stores it; unique within a directory
// whatever long name the entry has. Padding (or the end a listing's display
// name left in the cached field) is cut.
QByteArray storedName(const ZVC450_DIRENTRY &entry)
{
    const auto field = [](const char *bytes, size_t width) {
        QByteArray text(bytes, qsizetype(qstrnlen(bytes, width)));
        while (text.endsWith(' '))
            text.chop(1);
        return text;
    };
    return field(entry.szName, sizeof entry.szName - 1) + '.' + field(entry.szExt, sizeof entry.szExt - 1);
}

QSet<QByteArray> storedNames(const MemoryCache &c)
{
    QSet<QByteArray> names;
    for (int i = 0; i < c.fileCount && i < int(c.files.size()); ++i)
        names.insert(storedName(c.files[size_t(i)]));
    return names;
}

// Lists the memory again and finds the file a copy added to the current
// directory: the one whose stored name was not there before. *added is -1
// when there is none (the player refused the name) or more than one (no
// telling which). False when the player did not list.
bool listAdded(int memory, const QSet<QByteArray> &before, int *added)
{
    *added = -1;
    if (!refresh(memory))
        return false;
    const MemoryCache &c = session().memory[memory];
    for (int i = 0; i < c.fileCount && i < int(c.files.size()); ++i) {
        if (before.contains(storedName(c.files[size_t(i)])))
            continue;
        if (*added >= 0) {
            *added = -1;
            break;
        }
        *added = i;
    }
    return true;
}

// A copy to the player that did not finish leaves the part that arrived under
// the file's full name, which a listing cannot tell from a whole copy. It is
// deleted while the player answers; otherwise the user is told which file it is.
void removeIncompleteCopy(QWidget *owner, int memory, bool listed, int added, const QString &source,
                          const QString &nameOnPlayer)
{
    Session &s = session();
    const QString local = QDir::toNativeSeparators(source);
    if (listed && added >= 0) {
        MemoryCache &c = s.memory[memory];
        const QString name = displayName(c.files[size_t(added)]);
        markStale(memory);
        if (s.handle && ZVC450_Delete(owner, s.handle, memory, added, name.toUtf8().constData())) {
            zvs450_GetUi().message(owner, text::tr(text::kIncompleteDeleted).arg(local, name), QString());
            return;
        }
        zvs450_GetUi().message(owner, text::tr(text::kIncompleteKept).arg(local, name), QString());
        return;
    }
    if (!listed) {
        // The player is gone: whatever it made of the copy carries the file's name.
        zvs450_GetUi().message(
            owner, text::tr(text::kIncompleteKept).arg(local, nameOnPlayer), QString());
    }
}

// The library's error and system error, kept across the calls that clean up
// after a failure (the player's reason stays as the failure left it unless
// the clean-up fails too).
struct LibraryErrorState {
    int error = 0;
    unsigned sys = 0;

    static LibraryErrorState capture() { return {ZVC450_GetError(), ZVC450_GetWindowsError()}; }
    void restore() const
    {
        ZVC450_SetWindowsError(sys);
        ZVC450_SetError(error);
    }
};

// After a download that the player lists whole: reads the new file back
// from the player and compares it with its source. A copy that differs, or
// whose check was cancelled, is removed, so that no bad copy stays on the
// player looking good. index is the new file's number, -1 when the listing
// could not tell which file the copy made.
Step verifyCopy(QWidget *owner, HZVC450 handle, int memory, int index, const QString &path)
{
    if (index < 0) {
        zvs450_GetUi().message(owner, text::tr(text::kCopyMissing).arg(path), QString());
        ZVC450_SetError(ZVC450USB_ERR_INTERNAL);
        return Step::Refused;
    }
    const ZVC450_DIRENTRY entry = session().memory[memory].files[static_cast<size_t>(index)];
    const QByteArray localPath = path.toUtf8();
    long long difference = -1;
    const bool compared = ZVC450_VerifyFile(owner, handle, memory, index, localPath.constData(),
                                            localPath.constData(), entry.dwSize, &difference);
    markStale(memory);
    if (compared && difference < 0)
        return Step::Next;
    const LibraryErrorState failure = LibraryErrorState::capture();
    const QString name = QString::fromUtf8(entry.szLongName[0] ? entry.szLongName : localPath.constData());
    ZVC450_Delete(owner, handle, memory, index, name.toUtf8().constData());
    if (!compared) {
        failure.restore();
        return Step::Failed;
    }
    zvs450_GetUi().message(owner, text::tr(text::kCopyDiffers).arg(path).arg(difference),
                           QString());
    ZVC450_SetError(ZVC450USB_ERR_INTERNAL);
    return Step::Refused;
}

} // namespace

int zvs450_Download(QWidget *owner, int memory, const HFileTransferList &list, std::vector<Zvs450Copied> *done)
{
    const Operation op(owner);
    if (const int error = op.unavailable())
        return error;
    const Unstorable unstorable = askAboutUnstorableNames(owner, list);
    if (unstorable == Unstorable::Cancel)
        return ZVC450_SetError(ZVS450USB_ERR_USERBREAK);

    // The library names a copy after the file it reads: a file that must go under
    // another name is read through a link of that name.
    std::optional<QTemporaryDir> links;
    const bool verify = RegKeys::verifyCopies();
    int position = -1;
    return runBatch(owner, memory, list, [&](HZVC450 handle, const FileTransferItem &item) {
        ++position;
        QString source = item.name;
        const QString name = QFileInfo(item.name).fileName();
        if (!zvs450_UnstorableCharacters(name).isEmpty()) {
            if (unstorable != Unstorable::Rename)
                return Step::Next;
            if (!links)
                links.emplace(QDir::tempPath() + QStringLiteral("/tunedex-XXXXXX"));
            const QString link = links->filePath(zvs450_StorableName(name));
            const QByteArray nativeLink = QFile::encodeName(link);
            ::unlink(nativeLink.constData());  // an earlier file of the batch that came to the same name
            if (!links->isValid()
                || ::symlink(QFile::encodeName(QFileInfo(item.name).absoluteFilePath()).constData(),
                             nativeLink.constData()) != 0) {
                ZVC450_SetWindowsError(links->isValid() ? unsigned(errno) : unsigned(EACCES));
                return Step::Failed;
            }
            source = link;
        }
        if (checkName(owner, QFileInfo(source).fileName()) != ZVC450USB_ERR_NONE)
            return Step::Refused;

        // The listing is fresh: made before the batch, and again after every copy.
        const QSet<QByteArray> before = storedNames(session().memory[memory]);
        const qint64 size = QFileInfo(item.name).size();
        const bool copied = ZVC450_Download(owner, handle, memory, source.toUtf8().constData()) != 0;
        int error = ZVC450_GetError();
        unsigned sysError = ZVC450_GetWindowsError();

        // The player answers nothing after a file's data, and the last blocks
        // may still be on their way when the call returns: a copy counts only
        // once the player lists it with its whole size.
        int added = -1;
        const bool listed = listAdded(memory, before, &added);
        if (copied && listed && (added < 0 || session().memory[memory].files[size_t(added)].dwSize == quint64(size))) {
            const Step step = verify ? verifyCopy(owner, handle, memory, added, item.name) : Step::Next;
            if (step == Step::Next && done)
                done->push_back({position, item.name});
            return step;
        }
        if (copied) {
            // A transfer that ended short; or the player stopped answering.
            error = listed ? ZVC450USB_ERR_USB : ZVC450_GetError();
            sysError = listed ? 0 : ZVC450_GetWindowsError();
        }
        if (error == ZVC450USB_ERR_NONE)
            error = ZVC450USB_ERR_USB;
        // The copy's own error first, then what became of its file.
        ZVC450_SetWindowsError(sysError);
        ZVC450_SetError(error);
        report(owner, error, Cancel::Silent, item.name);
        removeIncompleteCopy(owner, memory, listed, added, item.name, QFileInfo(source).fileName());
        ZVC450_SetWindowsError(sysError);
        ZVC450_SetError(error);
        return Step::Refused;
    });
}

int zvs450_Replace(int memory, int fileIndex, int otherFileIndex)
{
    const Operation op(nullptr);
    if (const int error = op.unavailable())
        return error;
    Session &s = session();
    if (const int error = refreshFirst(nullptr, memory))
        return error;
    if (const int error = checkFileIndex(nullptr, memory, fileIndex))
        return error;
    if (const int error = checkFileIndex(nullptr, memory, otherFileIndex))
        return error;
    const int ok = ZVC450_Replace(s.handle, memory, fileIndex, otherFileIndex);
    markStale(memory);
    return ok ? ZVC450USB_ERR_NONE : reportLast(nullptr, Cancel::Silent);
}

int zvs450_Rename(int memory, int fileIndex, const QString &newName)
{
    const Operation op(nullptr);
    if (const int error = op.unavailable())
        return error;
    Session &s = session();
    if (const int error = checkFileIndex(nullptr, memory, fileIndex))
        return error;
    if (const int error = checkName(nullptr, newName))
        return error;
    // The player rewrites the whole entry: it gets the cached one to keep its
    // dates and attributes.
    const ZVC450_DIRENTRY entry = s.memory[memory].files[static_cast<size_t>(fileIndex)];
    const int ok = ZVC450_Rename(s.handle, memory, fileIndex, newName.toUtf8().constData(), &entry);
    markStale(memory);
    return ok ? ZVC450USB_ERR_NONE : reportLast(nullptr, Cancel::Silent);
}

int zvs450_Format(QWidget *owner, int memory) { return format(owner, memory, false); }

int zvs450_FormatLow(QWidget *owner, int memory) { return format(owner, memory, true); }

int zvs450_ChangeDirectory(int memory, unsigned key)
{
    const Operation op(nullptr);
    if (const int error = op.unavailable(Operation::NotOpen::Silent))
        return error;
    const HZVC450 handle = session().handle;
    markStale(memory);
    return directoryResult(ZVC450_ChangeDirectory(handle, memory, key));
}

int zvs450_ChangeToParent(int memory)
{
    const Operation op(nullptr);
    if (const int error = op.unavailable(Operation::NotOpen::Silent))
        return error;
    const HZVC450 handle = session().handle;
    if (!validMemory(memory))
        return ZVC450USB_ERR_NONE;
    MemoryCache &c = session().memory[memory];
    for (int i = 0; i < c.dirCount && i < static_cast<int>(c.dirs.size()); ++i) {
        ZVC450_DIRENTRY &entry = c.dirs[static_cast<size_t>(i)];
        // Compared without the padding, whether or not a listing trimmed it yet.
        char name[sizeof entry.szName];
        std::memcpy(name, entry.szName, sizeof name);
        name[sizeof name - 1] = '\0';
        for (size_t end = std::strlen(name); end > 0 && name[end - 1] == ' '; --end)
            name[end - 1] = '\0';
        if (std::strcmp(name, "..") != 0)
            continue;
        c.refreshNeeded = true;
        c.pathStale = true;
        return directoryResult(ZVC450_ChangeDirectory(handle, memory, entry.dwFirstCluster & 0xFFFFu));
    }
    return ZVC450USB_ERR_NONE;
}

int zvs450_MakeDirectory(int memory, const QString &name)
{
    const Operation op(nullptr);
    if (const int error = op.unavailable(Operation::NotOpen::Silent))
        return error;
    const HZVC450 handle = session().handle;
    if (const int error = checkName(nullptr, name))
        return error;
    markStale(memory);
    return directoryResult(ZVC450_MakeDirectory(handle, memory, name.toUtf8().constData()));
}

int zvs450_RemoveDirectory(int memory, unsigned key)
{
    const Operation op(nullptr);
    if (const int error = op.unavailable(Operation::NotOpen::Silent))
        return error;
    const HZVC450 handle = session().handle;
    markStale(memory);
    return directoryResult(ZVC450_RemoveDirectory(handle, memory, key));
}

int zvs450_RenameDirectory(int memory, unsigned key, const QString &newName)
{
    const Operation op(nullptr);
    if (const int error = op.unavailable(Operation::NotOpen::Silent))
        return error;
    const HZVC450 handle = session().handle;
    if (const int error = checkName(nullptr, newName))
        return error;
    markStale(memory);
    if (validMemory(memory)) {
        const MemoryCache &c = session().memory[memory];
        for (int i = 0; i < c.dirCount && i < static_cast<int>(c.dirs.size()); ++i) {
            const ZVC450_DIRENTRY entry = c.dirs[static_cast<size_t>(i)];
            if (entry.dwFirstCluster == key)
                return directoryResult(ZVC450_RenameDirectory(handle, memory, newName.toUtf8().constData(), &entry));
        }
    }
    ZVC450_SetError(ZVS450USB_ERR_INVALID_FILENAME);
    showLibraryError(nullptr, ZVS450USB_ERR_INVALID_FILENAME, 0);
    return ZVS450USB_ERR_INVALID_FILENAME;
}
