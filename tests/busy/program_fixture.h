// The whole program against the emulated player running in a thread of the
// test, with input given as a user's hand gives it: through the window system.
//
// Two hands: on the offscreen platform the events enter at the window system's
// door (QWindow), where Qt applies modality, focus and shortcuts as it does for
// real input; on an X server (TUNEDEX_INPUT=x11, the xcb platform under Xvfb)
// xdotool moves the real pointer and presses real keys, so grabs, focus and
// the X server's own delivery are the real ones too.
#pragma once

#include "ChildView.h"
#include "Commands.h"
#include "DeskView.h"
#include "FileListCtrl.h"
#include "MainFrm.h"
#include "Mp3MemVw.h"
#include "RegKeys.h"
#include "emulator.h"
#include "zvs450.h"

#include <QApplication>
#include <QCursor>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include <functional>
#include <memory>

namespace fixture {

// ---- Hands ---------------------------------------------------------------------

class Hand {
public:
    virtual ~Hand() = default;
    // Points are in w's coordinates.
    virtual void click(QWidget *w, QPoint p, Qt::MouseButton button = Qt::LeftButton) = 0;
    virtual void doubleClick(QWidget *w, QPoint p) = 0;
    virtual void press(QWidget *w, QPoint p, Qt::MouseButton button = Qt::LeftButton) = 0;
    virtual void move(QWidget *w, QPoint p) = 0;
    virtual void release(QWidget *w, QPoint p, Qt::MouseButton button = Qt::LeftButton) = 0;
    // A key goes where the keyboard focus is, as on a real keyboard.
    virtual void key(Qt::Key key) = 0;
    virtual bool real() const = 0;
    // Lets the program read what the hand did so far, as the pause between
    // two movements of a real hand does (the X connection folds pointer
    // motions that arrive together into one).
    virtual void pause() {}
};

// Events handed to the window system's door of the window under the point.
// A click also activates its window, as a window manager does.
class WindowSystemHand final : public Hand {
public:
    void click(QWidget *w, QPoint p, Qt::MouseButton button) override
    {
        w->window()->activateWindow();
        QTest::mouseClick(windowOf(w), button, {}, inWindow(w, p));
    }
    void doubleClick(QWidget *w, QPoint p) override
    {
        // Press, release, press and release, as the window system sends them.
        QTest::mouseDClick(windowOf(w), Qt::LeftButton, {}, inWindow(w, p));
    }
    void press(QWidget *w, QPoint p, Qt::MouseButton button) override
    {
        QTest::mousePress(windowOf(w), button, {}, inWindow(w, p));
    }
    void move(QWidget *w, QPoint p) override { QTest::mouseMove(windowOf(w), inWindow(w, p)); }
    void release(QWidget *w, QPoint p, Qt::MouseButton button) override
    {
        QTest::mouseRelease(windowOf(w), button, {}, inWindow(w, p));
    }
    void key(Qt::Key key) override
    {
        QWindow *focus = QGuiApplication::focusWindow();
        if (!focus)
            focus = QApplication::topLevelWidgets().value(0) ? QApplication::topLevelWidgets().value(0)->windowHandle()
                                                             : nullptr;
        if (focus)
            QTest::keyClick(focus, key);
    }
    bool real() const override { return false; }

private:
    static QWindow *windowOf(QWidget *w) { return w->window()->windowHandle(); }
    static QPoint inWindow(QWidget *w, QPoint p) { return w->mapTo(w->window(), p); }
};

// xdotool on the X server the program shows on.
class XHand final : public Hand {
public:
    void click(QWidget *w, QPoint p, Qt::MouseButton button) override
    {
        run(pointerTo(w, p) << QStringLiteral("click") << buttonOf(button));
    }
    void doubleClick(QWidget *w, QPoint p) override
    {
        run(pointerTo(w, p) << QStringLiteral("click") << QStringLiteral("--repeat") << QStringLiteral("2")
                            << QStringLiteral("--delay") << QStringLiteral("60") << QStringLiteral("1"));
    }
    void press(QWidget *w, QPoint p, Qt::MouseButton button) override
    {
        run(pointerTo(w, p) << QStringLiteral("mousedown") << buttonOf(button));
    }
    void move(QWidget *w, QPoint p) override { run(pointerTo(w, p)); }
    void release(QWidget *w, QPoint p, Qt::MouseButton button) override
    {
        run(pointerTo(w, p) << QStringLiteral("mouseup") << buttonOf(button));
    }
    void key(Qt::Key key) override
    {
        QString name;
        switch (key) {
        case Qt::Key_Delete: name = QStringLiteral("Delete"); break;
        case Qt::Key_Escape: name = QStringLiteral("Escape"); break;
        case Qt::Key_Return: name = QStringLiteral("Return"); break;
        case Qt::Key_F2: name = QStringLiteral("F2"); break;
        case Qt::Key_F5: name = QStringLiteral("F5"); break;
        default: name = QKeySequence(key).toString(); break;
        }
        run({QStringLiteral("key"), name});
    }
    bool real() const override { return true; }
    void pause() override { QTest::qWait(100); }

private:
    // Moves the real pointer onto the point and waits until it is there
    // (xdotool would wait for ever for a move onto where the pointer is).
    static QStringList pointerTo(QWidget *w, QPoint p)
    {
        const QPoint g = w->mapToGlobal(p);
        if (g == QCursor::pos())
            return {};
        return {QStringLiteral("mousemove"), QStringLiteral("--sync"), QString::number(g.x()), QString::number(g.y())};
    }
    static QString buttonOf(Qt::MouseButton b)
    {
        return b == Qt::RightButton ? QStringLiteral("3") : b == Qt::MiddleButton ? QStringLiteral("2") : QStringLiteral("1");
    }
    static void run(const QStringList &args)
    {
        if (args.isEmpty())
            return;
        // xdotool hands the events to the X server and returns; the program
        // reads them on its next pass through its events.
        if (QProcess::execute(QStringLiteral("xdotool"), args) != 0)
            qWarning("xdotool %s failed", qPrintable(args.join(QLatin1Char(' '))));
    }
};

inline std::unique_ptr<Hand> makeHand()
{
    if (qEnvironmentVariable("TUNEDEX_INPUT") == QLatin1String("x11"))
        return std::make_unique<XHand>();
    return std::make_unique<WindowSystemHand>();
}

// ---- Answers without a person ---------------------------------------------------------

// The memory views' questions: Yes, or No when told; every question is counted.
class Prompter : public HMemPrompter {
public:
    bool answer = true;
    QStringList asked;     // caption
    QStringList messages;  // text
    bool confirm(QWidget *, const QString &caption, const QString &, Icon) override
    {
        asked << caption;
        return answer;
    }
    void message(QWidget *, const QString &, const QString &text, Icon) override { messages << text; }
    void showSystemError(QWidget *, int error, const QString &) override { messages << QStringLiteral("errno %1").arg(error); }
    bool askMultipleDirectories(QWidget *, QString *, int *, int *) override { return false; }
    void showDiskProperties(QWidget *, int) override {}
};

// The session's file dialogs, questions and messages.
class ScriptedUi : public Zvs450Ui {
public:
    QString fileAnswer;
    QStringList questions;
    QStringList messages;  // caption + "|" + text
    Answer question(QWidget *, const QString &text, const QString &) override
    {
        questions << text;
        return Answer::No;
    }
    void message(QWidget *, const QString &text, const QString &caption) override
    {
        messages << caption + QLatin1Char('|') + text;
    }
    QString openFile(QWidget *, const QString &, const QString &, const QString &) override { return fileAnswer; }
    bool startViewer(const QString &, const QString &) override { return true; }
};

// The library's own windows while an operation runs.
inline QWidget *libraryWindow()
{
    for (QWidget *w : QApplication::topLevelWidgets())
        if (w->objectName() == QLatin1String("zvc450-progress") && w->isVisible())
            return w;
    return nullptr;
}

// The percentage the library's transfer window shows, -1 before any.
inline int libraryPercent()
{
    QWidget *w = libraryWindow();
    const QLabel *label = w ? w->findChild<QLabel *>(QStringLiteral("percentage")) : nullptr;
    if (!label)
        return -1;
    bool ok = false;
    const int n = label->text().section(QLatin1Char(' '), 0, 0, QString::SectionSkipEmpty).toInt(&ok);
    return ok ? n : -1;
}

// Other modal boxes would stop the test: they are closed and their titles kept.
// The library's windows are left alone: closing one is its Cancel.
class ModalGuard : public QObject {
public:
    QStringList seen;
    ModalGuard()
    {
        connect(&m_timer, &QTimer::timeout, this, [this] {
            QWidget *w = QApplication::activeModalWidget();
            if (w && w->objectName() != QLatin1String("zvc450-progress")) {
                seen << w->windowTitle();
                w->close();
            }
        });
        m_timer.start(50);
    }

private:
    QTimer m_timer;
};

// Runs `what` once, from the events an operation hands the program while it
// runs, when `when` first holds.
class During : public QObject {
public:
    During(std::function<bool()> when, std::function<void()> what) : m_when(std::move(when)), m_what(std::move(what))
    {
        connect(&m_timer, &QTimer::timeout, this, [this] {
            if (m_done || !m_when())
                return;
            m_done = true;
            m_what();
        });
        m_timer.start(20);
    }
    bool done() const { return m_done; }

private:
    QTimer m_timer;
    std::function<bool()> m_when;
    std::function<void()> m_what;
    bool m_done = false;
};

// ---- Files -------------------------------------------------------------------------------

inline bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

inline QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Bytes that differ from block to block, so a block in the wrong place shows.
inline QByteArray patterned(int size, quint32 seed)
{
    QByteArray bytes(size, Qt::Uninitialized);
    quint32 x = seed * 2654435761u + 1;
    for (int i = 0; i < size; ++i) {
        x = x * 1664525u + 1013904223u;
        bytes[i] = char(x >> 24);
    }
    return bytes;
}

// Runs a tool nobody here wrote; its exit code, its output in *out.
inline int runTool(const QString &program, const QStringList &args, QByteArray *out = nullptr)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, args);
    if (!p.waitForFinished(60000))
        return -1;
    if (out)
        *out = p.readAll();
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

// ---- The player and the program -------------------------------------------------------------

class Program {
public:
    explicit Program(CTunedexApp *app) : m_app(app) {}

    QTemporaryDir dir;
    std::unique_ptr<emu::Emulator> player;
    Prompter prompter;
    ScriptedUi ui;
    std::unique_ptr<Hand> hand = makeHand();

    CMainFrame *frame() const { return m_app->mainFrame(); }
    CChildView *child() const { return frame()->childView(); }
    HDesktopView *desk() const { return child()->desktopView(); }
    HMp3MemView *memory(int i) const { return child()->memoryView(i); }
    QString pc(const QString &name = QString()) const
    {
        return dir.filePath(QStringLiteral("pc")) + (name.isEmpty() ? QString() : QLatin1Char('/') + name);
    }
    QString state(const QString &name) const { return dir.filePath(QStringLiteral("player/") + name); }

    bool startPlayer(uint32_t bytesPerSecond = 0, int slowMs = 0)
    {
        QDir().mkpath(pc());
        emu::EmulatorOptions options;
        options.state.folder = dir.filePath(QStringLiteral("player")).toStdString();
        options.state.internalBytes = 8u << 20;
        options.state.cardBytes = 2u << 20;
        options.socketPath = dir.filePath(QStringLiteral("link")).toStdString();
        options.bytesPerSecond = bytesPerSecond;
        options.slowMs = slowMs;
        player = std::make_unique<emu::Emulator>(options);
        std::string error;
        if (!player->Start(&error)) {
            qWarning("player did not start: %s", error.c_str());
            return false;
        }
        qputenv("ZVC450_VUSB", QByteArray::fromStdString(options.socketPath));
        return true;
    }

    void stopPlayer()
    {
        if (player)
            player->Stop();
        player.reset();
    }

    // The program as a first run would start it, with the desktop pane in the
    // test's PC folder and short time-outs: a player that never answers shows
    // in seconds, not minutes.
    bool startProgram()
    {
        QSettings s(QString::fromLatin1(RegKeys::kOrganization), QString::fromLatin1(RegKeys::kApplication));
        s.clear();
        s.setValue(QStringLiteral("Desktop/LastDirectory"), pc());
        s.setValue(QStringLiteral("FileListFilter"), QStringLiteral("*.*"));
        s.setValue(QStringLiteral("WindowState"), 1);
        s.setValue(QStringLiteral("ZVS450/TIMEOUT_RECV"), 3000);
        s.setValue(QStringLiteral("ZVS450/TIMEOUT_SEND"), 3000);
        s.setValue(QStringLiteral("ZVS450/TIMEOUT_FORMAT"), 30000);
        s.sync();
        zvs450_SetUi(&ui);
        if (!m_app->initInstance())
            return false;
        child()->deviceContainer()->setPrompter(&prompter);
        frame()->move(0, 0);
        frame()->resize(1000, 700);
        frame()->activateWindow();
        if (!QTest::qWaitForWindowExposed(frame()))
            return false;
        if (!QTest::qWaitForWindowActive(frame()))
            qWarning("the main window did not become active");
        return memory(0) && memory(0)->isUsable();
    }

    void stopProgram()
    {
        if (frame())
            m_app->exitInstance(0);
        zvs450_SetUi(nullptr);
    }

    // The PC folder listed again, `rows` rows in it.
    bool listPc(int rows)
    {
        desk()->listCurrentPlace();
        return QTest::qWaitFor([&] { return desk()->model()->rowCount() == rows; }, 5000);
    }

    int deskRow(const QString &name) const
    {
        for (int r = 0; r < desk()->model()->rowCount(); ++r)
            if (desk()->model()->row(r).name == name)
                return r;
        return -1;
    }

    int memRow(int memory, const QString &name) const
    {
        const auto &rows = this->memory(memory)->model()->rows();
        for (size_t r = 0; r < rows.size(); ++r)
            if (rows[r].name == name)
                return int(r);
        return -1;
    }

    QPoint rowCentre(HFileListCtrl *list, int row) const
    {
        return list->visualRect(list->model()->index(row, 0)).center();
    }

    // The file as the internal memory's image holds it (mtools); empty when absent.
    QByteArray onPlayer(const QString &path) const
    {
        const QString out = dir.filePath(QStringLiteral("mcopy.out"));
        QFile::remove(out);
        if (runTool(QStringLiteral("mcopy"), {QStringLiteral("-n"), QStringLiteral("-o"), QStringLiteral("-i"),
                                              state(QStringLiteral("internal.img")), QStringLiteral("::") + path, out})
            != 0)
            return QByteArray();
        const QByteArray bytes = readFile(out);
        QFile::remove(out);
        return bytes;
    }

    // The names in a directory of a memory's image (mtools), sorted.
    QStringList namesOnPlayer(const QString &image, const QString &folder = QStringLiteral("/")) const
    {
        QByteArray out;
        if (runTool(QStringLiteral("mdir"), {QStringLiteral("-b"), QStringLiteral("-i"), state(image),
                                             QStringLiteral("::") + folder},
                    &out)
            != 0)
            return {};
        QStringList names;
        for (const QByteArray &line : out.split('\n')) {
            const QString path = QString::fromUtf8(line).trimmed();
            if (path.isEmpty())
                continue;
            names << path.section(QLatin1Char('/'), -1, -1, QString::SectionSkipEmpty);
        }
        names.sort();
        return names;
    }

    // "" when fsck.fat finds the image clean, else what it said.
    QString fsck(const QString &image) const
    {
        QByteArray out;
        const int rc = runTool(QStringLiteral("fsck.fat"), {QStringLiteral("-n"), state(image)}, &out);
        return rc == 0 ? QString() : QString::fromUtf8(out);
    }

private:
    CTunedexApp *m_app;
};

} // namespace fixture
