// How the session talks to the user: the question and dialog interface with
// its Qt implementation, and the failure reports through the library's message.

#include "zvs450_p.h"

#include <error_advice.h>
#include <localname_core.h>

#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QProcess>

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>

using namespace zvs450_detail;

namespace {

bool haveWidgets() { return qobject_cast<QApplication *>(QCoreApplication::instance()) != nullptr; }

void printLine(const QString &caption, const QString &text)
{
    QString line = caption.isEmpty() ? text : caption + QStringLiteral(": ") + text;
    line.replace(QLatin1Char('\n'), QLatin1Char(' '));
    std::fprintf(stderr, "%s\n", line.toLocal8Bit().constData());
    std::fflush(stderr);
}

class QtUi final : public Zvs450Ui
{
public:
    Answer question(QWidget *owner, const QString &text, const QString &caption) override
    {
        if (!haveWidgets()) {
            // Nobody to ask: the safe answer leaves existing files alone.
            printLine(caption, text);
            return Answer::Cancel;
        }
        switch (QMessageBox::question(owner, caption.isEmpty() ? QApplication::applicationDisplayName() : caption,
                                      text, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel,
                                      QMessageBox::Cancel)) {
        case QMessageBox::Yes:
            return Answer::Yes;
        case QMessageBox::No:
            return Answer::No;
        default:
            return Answer::Cancel;
        }
    }

    void message(QWidget *owner, const QString &text, const QString &caption) override
    {
        if (!haveWidgets()) {
            printLine(caption, text);
            return;
        }
        QMessageBox::warning(owner, caption.isEmpty() ? QApplication::applicationDisplayName() : caption, text);
    }

    QString openFile(QWidget *owner, const QString &title, const QString &filter, const QString &initialPath) override
    {
        if (!haveWidgets())
            return QString();
        return QFileDialog::getOpenFileName(owner, title, initialPath, filter);
    }

    bool startViewer(const QString &program, const QString &file) override
    {
        return QProcess::startDetached(program, {file});
    }
};

Zvs450Ui *g_ui = nullptr;

} // namespace

Zvs450Ui &zvs450_QtUi()
{
    static QtUi ui;
    return ui;
}

void zvs450_SetUi(Zvs450Ui *ui) { g_ui = ui; }

Zvs450Ui &zvs450_GetUi() { return g_ui ? *g_ui : zvs450_QtUi(); }

QString zvs450_QtFilter(const QString &pairs)
{
    // "description\npattern\n" pairs up to an empty entry.
    const QStringList parts = pairs.split(QLatin1Char('\n'));
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size() && !parts[i].isEmpty(); i += 2) {
        QString description = parts[i];
        QString pattern = parts[i + 1];
        // "*.*" matched every name where it came from; here it would hide the many
        // files that have no extension.
        if (pattern == QLatin1String("*.*"))
            pattern = QStringLiteral("*");
        // The file dialog takes its patterns from the parentheses: the description keeps
        // its words and gets the pattern in use.
        const qsizetype open = description.indexOf(QLatin1Char('('));
        if (open >= 0)
            description.truncate(open);
        filters << description.trimmed() + QStringLiteral(" (") + pattern + QLatin1Char(')');
    }
    return filters.join(QStringLiteral(";;"));
}

QString zvs450_LocalFileName(const QString &deviceName)
{
    // Names saved by the program have always had '\\' and ':' replaced too (the
    // folder separators of the system it came from), and ".." made "__": a file
    // copied again gets the name its earlier copy has.
    if (deviceName == QLatin1String(".."))
        return QStringLiteral("__");
    QString name = deviceName;
    for (QChar &c : name)
        if (c == QLatin1Char('\\') || c == QLatin1Char(':'))
            c = QLatin1Char('_');
    std::string safe;
    // No length limit here: a name too long for the folder fails where the file is made.
    if (zvs450_SafeLocalName(name.toStdString(), &safe) == LocalNameStatus::Empty)
        return QStringLiteral("_");
    return QString::fromStdString(safe);
}

namespace zvs450_detail {

void showLibraryError(QWidget *owner, int error, unsigned sysError, const QString &file)
{
    // 0 stands for the current codes, as for the library.
    const unsigned lastErrno = unsigned(errno);
    const int code = error != 0 ? error : ZVC450_GetError();
    QStringList lines;
    if (!file.isEmpty())
        lines << file;
    if (const char *advice = tunedeck::ErrorAdvice(code, ZVC450_GetInternalError(), sysError ? sysError : lastErrno))
        lines << QCoreApplication::translate("ErrorAdvice", advice);
    errno = int(lastErrno);
    ZVC450_DispErrorEx(owner, error, sysError, lines.join(QStringLiteral("\n\n")).toUtf8().constData());
}

int report(QWidget *owner, int error, Cancel cancel, const QString &file)
{
    if (error == ZVC450USB_ERR_NONE)
        return error;
    if (error == ZVS450USB_ERR_USERBREAK && cancel == Cancel::Silent)
        return error;
    showLibraryError(owner, error, ZVC450_GetWindowsError(), file);
    return error;
}

int reportLast(QWidget *owner, Cancel cancel)
{
    int error = ZVC450_GetError();
    // A failure that left no code still has to come out as a failure.
    if (error == ZVC450USB_ERR_NONE)
        error = ZVC450_SetError(ZVC450USB_ERR_USB);
    return report(owner, error, cancel);
}

int reportNotOpen(QWidget *owner)
{
    showLibraryError(owner, ZVC450USB_ERR_DEVICE_OPEN, 0);
    return ZVC450USB_ERR_DEVICE_OPEN;
}

int refreshFirst(QWidget *owner, int memory)
{
    if (!validMemory(memory)) {
        ZVC450_SetError(ZVC450USB_ERR_NODISK);
        return reportLast(owner, Cancel::Shown);
    }
    if (refresh(memory))
        return ZVC450USB_ERR_NONE;
    return reportLast(owner, Cancel::Shown);
}

int checkFileIndex(QWidget *owner, int memory, int fileIndex)
{
    // The index addresses the listing the view was filled from; one that is
    // not in the cache would send the player (or the rename) a wrong entry.
    if (validMemory(memory) && fileIndex >= 0 && fileIndex < session().memory[memory].fileCount)
        return ZVC450USB_ERR_NONE;
    ZVC450_SetError(ZVS450USB_ERR_INVALID_FILENAME);
    showLibraryError(owner, ZVS450USB_ERR_INVALID_FILENAME, 0);
    return ZVS450USB_ERR_INVALID_FILENAME;
}

int checkName(QWidget *owner, const QString &name)
{
    const QString problem = zvs450_NameProblem(name);
    if (problem.isEmpty())
        return ZVC450USB_ERR_NONE;
    ZVC450_SetError(ZVS450USB_ERR_INVALID_FILENAME);
    zvs450_GetUi().message(owner, QLatin1Char('"') + name + QStringLiteral("\"\n") + problem, QString());
    return ZVS450USB_ERR_INVALID_FILENAME;
}

bool localEntryExists(const QString &path)
{
    struct stat st;
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0;
}

Zvs450Ui::Answer askOverwrite(QWidget *owner, const QString &caption)
{
    return zvs450_GetUi().question(owner, text::tr(text::kOverwrite) + QStringLiteral("\n\n") + caption, caption);
}

QString localPathFor(const QString &folder, const QString &deviceName)
{
    const QString name = zvs450_LocalFileName(deviceName);
    if (folder.isEmpty())
        return name;
    return folder.endsWith(QLatin1Char('/')) ? folder + name : folder + QLatin1Char('/') + name;
}

} // namespace zvs450_detail
