// The session's wrappers for the player's maintenance: firmware upgrade (from
// a flat image or an Intel-hex file), the LCD font, and raw memory blocks.

#include "zvs450_p.h"

#include "RegKeys.h"
#include "errorsys.h"
#include "intelhex.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QLocale>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

using namespace zvs450_detail;

namespace {

enum class CodeArea { Application = 0, Boot = 1 };

// What the code flash takes: the boot area holds 8 KiB, and the block count of
// any image travels in 16 bits.
constexpr qint64 kMaxBootImageBytes = 8192;
constexpr qint64 kMaxImageBytes = 65535 * 512;

bool isIntelHex(const QString &path)
{
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    const qsizetype dot = path.lastIndexOf(QLatin1Char('.'));
    return dot > slash && path.mid(dot + 1).compare(QLatin1String("hex"), Qt::CaseInsensitive) == 0;
}

// The library refuses these images before it sends anything; checking them here
// first tells the program that nothing reached the player, and lets it say why
// in words. Empty when the image can go to the player, else the reason (and the
// errno value the failure is recorded with).
QString imageProblem(const QString &image, CodeArea area, int *error)
{
    const QByteArray native = QFile::encodeName(image);
    const int fd = ::open(native.constData(), O_RDONLY | O_CLOEXEC);
    struct stat st {};
    *error = fd < 0 || ::fstat(fd, &st) != 0 ? errno : 0;
    if (fd >= 0)
        ::close(fd);
    if (*error == 0 && !S_ISREG(st.st_mode))
        *error = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
    if (*error != 0)
        return errorsys_Text(*error);
    const QLocale c(QLocale::English, QLocale::UnitedStates);  // "8,192", whatever the user's locale
    const qint64 limit = area == CodeArea::Boot ? kMaxBootImageBytes : kMaxImageBytes;
    *error = EFBIG;
    if (st.st_size == 0)
        return QCoreApplication::translate("TuneDeck", "The image is empty.");
    if (st.st_size > limit)
        return (area == CodeArea::Boot
                    ? QCoreApplication::translate("TuneDeck", "The image has %1 bytes; the boot area holds at most %2.")
                    : QCoreApplication::translate("TuneDeck",
                                                  "The image has %1 bytes; the application area holds at most %2."))
            .arg(c.toString(qint64(st.st_size)), c.toString(limit));
    *error = 0;
    return QString();
}

int upgrade(QWidget *owner, CodeArea area, bool *codeAreaTouched)
{
    bool touchedStorage = false;
    bool &touched = codeAreaTouched ? *codeAreaTouched : touchedStorage;
    touched = false;
    const Operation op(owner);
    if (const int error = op.unavailable())
        return error;
    Session &s = session();

    const bool boot = area == CodeArea::Boot;
    const QString title = text::tr(boot ? text::kBootUpgrade : text::kCodecUpgrade);
    const QString chosen = zvs450_GetUi().openFile(owner, title, zvs450_QtFilter(text::tr(text::kFilterIntelHex)),
                                                   boot ? RegKeys::bootCodeName() : RegKeys::codecCodeName());
    if (chosen.isEmpty())
        return ZVS450USB_ERR_USERBREAK;

    // The player takes flat images only; Intel-hex text is converted first.
    QString image = chosen;
    QString temporary;
    if (isIntelHex(chosen)) {
        QString reason;
        temporary = zvs450_ConvertIntelHexToTemp(chosen, boot ? kIntelHexBootBase : kIntelHexApplicationBase, &reason);
        if (temporary.isEmpty()) {
            // Nothing reached the player: say what is wrong with the file.
            zvs450_GetUi().message(owner, chosen + QStringLiteral("\n") + reason, title);
            ZVC450_SetWindowsError(EINVAL);
            return ZVC450_SetError(ZVC450USB_ERR_WINDOWS);
        }
        image = temporary;
    }
    if (boot)
        RegKeys::setBootCodeName(chosen);
    else
        RegKeys::setCodecCodeName(chosen);

    int refusal = 0;
    const QString problem = imageProblem(image, area, &refusal);
    if (!problem.isEmpty()) {
        if (!temporary.isEmpty())
            QFile::remove(temporary);
        zvs450_GetUi().message(owner, chosen + QStringLiteral("\n") + problem, title);
        ZVC450_SetWindowsError(static_cast<unsigned>(refusal));
        return ZVC450_SetError(ZVC450USB_ERR_WINDOWS);
    }

    // Erasing and writing flash takes as long as a format.
    touched = true;
    ZVC450_SetTimeout(s.formatTimeout, s.sendTimeout);
    const int ok = ZVC450_UpgradeFirmware(owner, s.handle, boot ? 1 : 0, RegKeys::romSelect(),
                                          image.toUtf8().constData(), chosen.toUtf8().constData());
    ZVC450_SetTimeout(s.recvTimeout, s.sendTimeout);

    const int error = ok ? ZVC450USB_ERR_NONE : reportLast(owner, Cancel::Shown);
    markStale(0);
    markStale(1);
    if (!temporary.isEmpty())
        QFile::remove(temporary);
    return error;
}

} // namespace

int zvs450_UpgradeApplicationCode(QWidget *owner, bool *codeAreaTouched)
{
    return upgrade(owner, CodeArea::Application, codeAreaTouched);
}

int zvs450_UpgradeBootCode(QWidget *owner, bool *codeAreaTouched)
{
    return upgrade(owner, CodeArea::Boot, codeAreaTouched);
}

int zvs450_DownloadFont(QWidget *owner)
{
    const Operation op(owner);
    if (const int error = op.unavailable())
        return error;
    Session &s = session();
    ZVC450_FONTINFO info{};
    if (ZVC450_GetFontInfo(s.handle, &info)) {
        // The player holds one font: a new one replaces it.
        info.szFontName[sizeof info.szFontName - 1] = '\0';
        if (askOverwrite(owner, QString::fromUtf8(info.szFontName)) != Zvs450Ui::Answer::Yes)
            return ZVC450USB_ERR_NONE;
    }
    const QString path = zvs450_GetUi().openFile(owner, text::tr(text::kFontDownload),
                                                 zvs450_QtFilter(text::tr(text::kFilterFont)), RegKeys::fontName());
    if (path.isEmpty())
        return ZVS450USB_ERR_USERBREAK;
    RegKeys::setFontName(path);
    markStale(0);
    if (!ZVC450_DownloadFont(owner, s.handle, path.toUtf8().constData()))
        return reportLast(owner, Cancel::Silent);
    return ZVC450USB_ERR_NONE;
}

int zvs450_GetFontInfo(ZVC450_FONTINFO *info)
{
    const Operation op(nullptr);
    if (const int error = op.unavailable())
        return error;
    Session &s = session();
    if (!ZVC450_GetFontInfo(s.handle, info)) {
        std::memset(info, 0, sizeof *info);
        showLibraryError(nullptr, 0, ZVC450_GetWindowsError());
        return ZVC450_GetError() ? ZVC450_GetError() : ZVC450_SetError(ZVC450USB_ERR_USB);
    }
    info->szFontName[sizeof info->szFontName - 1] = '\0';
    return ZVC450USB_ERR_NONE;
}

int zvs450_EraseFont(QWidget *owner)
{
    const Operation op(owner);
    if (const int error = op.unavailable())
        return error;
    Session &s = session();
    markStale(0);
    if (!ZVC450_EraseFont(s.handle)) {
        showLibraryError(owner, 0, ZVC450_GetWindowsError());
        return ZVC450_GetError() ? ZVC450_GetError() : ZVC450_SetError(ZVC450USB_ERR_USB);
    }
    return ZVC450USB_ERR_NONE;
}

int zvs450_UploadFont(QWidget *owner, const QString &folder)
{
    const Operation op(owner);
    if (const int error = op.unavailable())
        return error;
    Session &s = session();
    ZVC450_FONTINFO info{};
    if (!ZVC450_GetFontInfo(s.handle, &info)) {
        showLibraryError(owner, 0, 0);
        return ZVC450_GetError() ? ZVC450_GetError() : ZVC450_SetError(ZVC450USB_ERR_USB);
    }
    info.szFontName[sizeof info.szFontName - 1] = '\0';
    // The font's name comes from the player: it names a file in the folder, nothing more.
    const QString destination = localPathFor(folder, QString::fromUtf8(info.szFontName));
    if (localEntryExists(destination) && askOverwrite(owner, destination) != Zvs450Ui::Answer::Yes)
        return ZVS450USB_ERR_USERBREAK;
    if (!ZVC450_UploadFont(owner, s.handle, destination.toUtf8().constData(), nullptr, info.dwFontSize))
        return reportLast(owner, Cancel::Silent);
    return ZVC450USB_ERR_NONE;
}

int zvs450_RawData(QWidget *owner, int memory)
{
    const Operation op(owner);
    if (op.refused())
        return kZvs450ErrBusy;
    Session &s = session();
    Zvs450Ui &ui = zvs450_GetUi();
    const QString file = RegKeys::rawDataFileName();
    if (file.isEmpty()) {
        ui.message(owner, text::tr(text::kRawDataUnset), QString());
        return ZVC450USB_ERR_NONE;
    }

    if (memory >= 0) {
        if (!s.handle)
            return reportNotOpen(owner);
        unsigned first = 0;
        unsigned count = 0;
        RegKeys::getRawDataRange(&first, &count);
        if (count == 0) {
            ui.message(owner, text::tr(text::kRawDataUnset), QString());
            return ZVC450USB_ERR_NONE;
        }
        // The range is checked against the medium as it is now.
        const bool listed = validMemory(memory) && (!s.memory[memory].refreshNeeded || refresh(memory));
        const quint64 totalBlocks = listed ? s.memory[memory].summary.dwTotalBlocks : 0;
        if (count >= kZvs450RawDataMaxBlocks || quint64(first) + count > totalBlocks) {
            ui.message(owner, text::tr(text::kRawDataRange), QString());
            return ZVC450USB_ERR_NONE;
        }
        Zvs450Ui::Answer answer = Zvs450Ui::Answer::Yes;
        if (localEntryExists(file))
            answer = askOverwrite(owner, file);
        if (answer == Zvs450Ui::Answer::Cancel)
            return ZVC450USB_ERR_NONE;
        if (answer == Zvs450Ui::Answer::Yes
            && !ZVC450_UploadRawData(owner, s.handle, memory, first, count, file.toUtf8().constData(),
                                     nullptr, count * kBlockBytes))
            return reportLast(owner, Cancel::Silent);
    }

    const QString viewer = RegKeys::rawDataViewer();
    if (viewer.isEmpty())
        return ZVC450USB_ERR_NONE;
    if (!QFileInfo::exists(file)) {
        showLibraryError(owner, ZVC450USB_ERR_WINDOWS, ENOENT, file);
        return ZVC450USB_ERR_NONE;
    }
    if (!ui.startViewer(viewer, file))
        showLibraryError(owner, ZVC450USB_ERR_WINDOWS, ENOENT, viewer);
    return ZVC450USB_ERR_NONE;
}
