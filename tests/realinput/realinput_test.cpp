// The device view and the configuration dialog as real windows on an X server, typed
// into with key events that come through the server (xdotool): a name the player
// cannot hold keeps its editor open and holding the keyboard, and the configuration's
// fields take only what they can use; in the main window, Ctrl+C and Ctrl+V copy
// a file between the panes, a row dragged out of the window becomes a file for
// other programs, and the parent-folder and rename keys work in both panes. Run by
// under-xvfb with the xcb platform.

#include "ChildView.h"
#include "ConfigDlg.h"
#include "DeskView.h"
#include "DeskListModel.h"
#include "DragObj.h"
#include "FileListCtrl.h"
#include "MainFrm.h"
#include "Mp3MemVw.h"
#include "RegKeys.h"
#include "emulator.h"
#include "zvs450.h"

#include <QApplication>
#include <QClipboard>
#include <QMimeData>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

// Key events through the X server, to whichever window has its keyboard focus.
void type(const QString &text)
{
    QCOMPARE(QProcess::execute(QStringLiteral("xdotool"), {QStringLiteral("type"), QStringLiteral("--delay"),
                                                          QStringLiteral("20"), text}),
             0);
}

void key(const QString &name)
{
    QCOMPARE(QProcess::execute(QStringLiteral("xdotool"), {QStringLiteral("key"), name}), 0);
}

// A left click through the X server at a point of a widget.
void click(QWidget *w, QPoint at)
{
    const QPoint g = w->mapToGlobal(at);
    QCOMPARE(QProcess::execute(QStringLiteral("xdotool"), {QStringLiteral("mousemove"), QString::number(g.x()),
                                                          QString::number(g.y()), QStringLiteral("click"),
                                                          QStringLiteral("1")}),
             0);
}

class SessionUi : public Zvs450Ui {
public:
    QStringList messages;
    Answer question(QWidget *, const QString &, const QString &) override { return Answer::Cancel; }
    void message(QWidget *, const QString &text, const QString &) override { messages << text; }
    QString openFile(QWidget *, const QString &, const QString &, const QString &) override { return QString(); }
    bool startViewer(const QString &, const QString &) override { return true; }
};

class QuietPrompter : public HMemPrompter {
public:
    QStringList messages;
    void message(QWidget *, const QString &, const QString &text, Icon) override { messages << text; }
};

class CheckedConfigDlg : public HConfigDlg {
public:
    QStringList problems;
    void showInputProblems(const QString &text) override { problems << text; }
};

} // namespace

class RealInputTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    std::unique_ptr<emu::Emulator> m_player;
    SessionUi m_ui;

    // An emulated player with an 8 MiB internal memory and no card, its state and link
    // named by `suffix` so that each case starts from an empty player; the session is
    // pointed at it.
    bool startPlayer(const QString &suffix)
    {
        emu::EmulatorOptions options;
        options.state.folder = m_dir.filePath(QStringLiteral("player") + suffix).toStdString();
        options.state.internalBytes = 8u << 20;
        options.state.card = false;
        options.socketPath = m_dir.filePath(QStringLiteral("link") + suffix).toStdString();
        m_player = std::make_unique<emu::Emulator>(options);
        std::string error;
        if (!m_player->Start(&error)) {
            qWarning("emulated player: %s", error.c_str());
            return false;
        }
        qputenv("ZVC450_VUSB", QByteArray::fromStdString(options.socketPath));
        return true;
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(QGuiApplication::platformName() == QLatin1String("xcb"), "run me with under-xvfb");
        QSettings().clear();
    }

    void cleanup()
    {
        zvs450_SetUi(nullptr);
        zvs450_Terminate();
        if (m_player)
            m_player->Stop();
        m_player.reset();
    }

    void refusedNameKeepsItsEditorAndTheKeyboard()
    {
        QVERIFY(startPlayer(QStringLiteral("")));
        zvs450_SetUi(&m_ui);
        zvs450_Initialize();
        QVERIFY(zvs450_Connect(true, nullptr, nullptr));

        QuietPrompter prompter;
        HMp3MemView view(nullptr, &prompter);
        view.setTitle(QString::fromLatin1(text::kInternalMemory));
        view.resize(500, 300);
        view.show();
        view.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&view));
        view.refresh(true, 0);
        QCOMPARE(view.state(), HMp3MemView::State::Usable);

        const auto editor = [&view] {
            const int row = view.model()->pendingRow();
            return row < 0 ? nullptr
                           : qobject_cast<QLineEdit *>(view.list()->indexWidget(view.model()->index(row, 0)));
        };
        view.runCommand(Mp3MemCmd::MakeDirectory);
        QTRY_VERIFY(editor() && QApplication::focusWidget() == editor());
        QCOMPARE(editor()->selectedText(), QStringLiteral("New Folder"));

        // Typed over the selected "New Folder": a name ending in a dot.
        type(QStringLiteral("Live."));
        key(QStringLiteral("Return"));
        QTRY_COMPARE(m_ui.messages.size(), 1);
        QVERIFY2(m_ui.messages.first().contains(QStringLiteral("cannot end in a dot")), qPrintable(m_ui.messages.first()));
        // The editor is back with what was typed, selected, and the keys go to it.
        QTRY_VERIFY(editor() && QApplication::focusWidget() == editor());
        QCOMPARE(editor()->text(), QStringLiteral("Live."));
        QCOMPARE(editor()->selectedText(), QStringLiteral("Live."));
        QCOMPARE(zvs450_GetDirectoryCount(0), 0);

        type(QStringLiteral("Live 1999"));
        key(QStringLiteral("Return"));
        QTRY_COMPARE(view.model()->pendingRow(), -1);
        QTRY_COMPARE(view.model()->rowCount(), 1);
        QCOMPARE(view.model()->rows().front().name, QStringLiteral("Live 1999"));
        QCOMPARE(zvs450_GetDirectoryCount(0), 1);
        QCOMPARE(m_ui.messages.size(), 1);
        QVERIFY(prompter.messages.isEmpty());
    }

    // Ctrl+C on a PC file, a click into the player's pane, Ctrl+V: the file is
    // copied there, as the main window's keys and the real focus decide. Then
    // the player's row, dragged by the mouse out of the window, is copied for
    // other programs while the button is still down, and the system's drag
    // that carries it on ends where the button comes up.
    void clipboardAndDragOutWithRealInput()
    {
        const QString pcFolder = m_dir.filePath(QStringLiteral("pc"));
        QVERIFY(QDir().mkpath(pcFolder));
        QFile song(pcFolder + QStringLiteral("/SONG.MP3"));
        QVERIFY(song.open(QIODevice::WriteOnly));
        song.write(QByteArray(9000, 's'));
        song.close();
        QVERIFY(startPlayer(QStringLiteral("2")));
        m_ui = SessionUi();
        zvs450_SetUi(&m_ui);
        RegKeys::setLastDirectory(pcFolder);
        RegKeys::setFileListFilter(QStringLiteral("*.*"));
        zvs450_Initialize();

        CMainFrame frame;
        QVERIFY(frame.create());
        frame.resize(900, 600);
        frame.show();
        frame.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&frame));
        HDesktopView *desk = frame.childView()->desktopView();
        HMp3MemView *memory = frame.childView()->memoryView(0);
        QVERIFY(memory && memory->isUsable());
        QTRY_COMPARE(desk->model()->rowCount(), 1);

        HFileListCtrl *list = desk->list();
        click(list->viewport(), list->visualRect(list->model()->index(0, 0)).center());
        QTRY_COMPARE(list->selectedRows(), QList<int>({0}));
        QTRY_VERIFY(list->hasFocus());
        key(QStringLiteral("ctrl+c"));
        QTRY_COMPARE(QGuiApplication::clipboard()->mimeData()->urls(),
                     QList<QUrl>({QUrl::fromLocalFile(song.fileName())}));

        click(memory->list()->viewport(), QPoint(20, memory->list()->viewport()->height() - 10));
        QTRY_VERIFY(memory->list()->hasFocus());
        key(QStringLiteral("ctrl+v"));
        QTRY_COMPARE(memory->model()->rowCount(), 1);
        QCOMPARE(memory->model()->rows().front().name, QStringLiteral("SONG.MP3"));
        QVERIFY(song.exists());

        HDragObject *source = frame.childView()->dragDrop()->memorySource(0);
        QSignalSpy exported(source, &HDragObject::exported);
        QSignalSpy ended(source, &HDragObject::dragEnded);
        HFileListCtrl *rows = memory->list();
        const QPoint from = rows->viewport()->mapToGlobal(rows->visualRect(rows->model()->index(0, 0)).center());
        const QPoint out = frame.frameGeometry().bottomRight() + QPoint(40, 40);
        QVERIFY(out.x() < 1024 && out.y() < 768);
        const auto n = [](int v) { return QString::number(v); };
        QProcess hand;
        hand.start(QStringLiteral("xdotool"),
                   {QStringLiteral("mousemove"), n(from.x()), n(from.y()), QStringLiteral("mousedown"), QStringLiteral("1"),
                    QStringLiteral("mousemove"), n(from.x() + 30), n(from.y()), QStringLiteral("sleep"), QStringLiteral("0.2"),
                    QStringLiteral("mousemove"), n(out.x()), n(out.y()), QStringLiteral("sleep"), QStringLiteral("1"),
                    QStringLiteral("mousemove"), n(out.x() + 5), n(out.y()), QStringLiteral("sleep"), QStringLiteral("0.3"),
                    QStringLiteral("mouseup"), QStringLiteral("1")});
        QTRY_COMPARE_WITH_TIMEOUT(exported.size(), 1, 10000);
        QTRY_COMPARE_WITH_TIMEOUT(ended.size(), 1, 10000);
        if (hand.state() != QProcess::NotRunning)
            QVERIFY(hand.waitForFinished(10000));
        QCOMPARE(hand.exitCode(), 0);
        QCOMPARE(ended.at(0).at(0).toBool(), false);
        const QList<QUrl> files = exported.at(0).at(0).value<QList<QUrl>>();
        QCOMPARE(files.size(), 1);
        QVERIFY2(files.first().toLocalFile().startsWith(qEnvironmentVariable("XDG_CACHE_HOME")),
                 qPrintable(files.first().toString()));
        QFile copy(files.first().toLocalFile());
        QVERIFY(copy.open(QIODevice::ReadOnly));
        QCOMPARE(copy.readAll(), QByteArray(9000, 's'));
        // Nothing was dropped on the PC pane, and the player keeps its file.
        QCOMPARE(desk->model()->rowCount(), 1);
        QCOMPARE(memory->model()->rowCount(), 1);
        QVERIFY2(m_ui.messages.isEmpty(), qPrintable(m_ui.messages.join(QLatin1Char('\n'))));
    }

    // Backspace and Alt+Up go up in both panes, F2 renames on both sides, with the keys
    // coming from the X server to whatever has the focus.
    void parentAndRenameKeysInBothPanes()
    {
        QVERIFY(startPlayer(QStringLiteral("3")));
        m_ui.messages.clear();
        zvs450_SetUi(&m_ui);
        zvs450_Initialize();

        const QString pc = m_dir.filePath(QStringLiteral("pc3"));
        QVERIFY(QDir().mkpath(pc + QStringLiteral("/Albums")));
        QFile song(pc + QStringLiteral("/song.mp3"));
        QVERIFY(song.open(QIODevice::WriteOnly));
        song.write(QByteArray(700, 's'));
        song.close();
        RegKeys::setLastDirectory(pc);

        CMainFrame frame;
        QVERIFY(frame.create());
        QVERIFY(zvs450_MakeDirectory(0, QStringLiteral("LIVE")) == 0);
        frame.childView()->refreshAll(true);
        frame.show();
        frame.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&frame));
        HDesktopView *desk = frame.childView()->desktopView();
        QTRY_COMPARE(desk->model()->rowCount(), 2);
        QTRY_COMPARE(QApplication::focusWidget(), desk->list());

        // The PC pane: into "Albums" and out again, with each of the two keys.
        for (const char *parentKey : {"BackSpace", "alt+Up"}) {
            key(QStringLiteral("Home"));
            key(QStringLiteral("Return"));
            QTRY_COMPARE(desk->destinationFolder(), pc + QStringLiteral("/Albums"));
            key(QString::fromLatin1(parentKey));
            QTRY_COMPARE(desk->destinationFolder(), pc);
        }
        // F2 on the file: the editor has the name without its extension selected.
        QTRY_COMPARE(desk->model()->rowCount(), 2);
        key(QStringLiteral("End"));
        QTRY_COMPARE(desk->list()->selectedRows(), QList<int>({1}));
        frame.updateCommandStates();
        key(QStringLiteral("F2"));
        QTRY_VERIFY(qobject_cast<QLineEdit *>(QApplication::focusWidget()));
        type(QStringLiteral("tune"));
        key(QStringLiteral("Return"));
        QTRY_VERIFY(QFile::exists(pc + QStringLiteral("/tune.mp3")));
        QVERIFY(!QFile::exists(pc + QStringLiteral("/song.mp3")));

        // The player's pane: F6 to it, into LIVE, and up with Alt+Up.
        HMp3MemView *memory = frame.childView()->memoryView(0);
        key(QStringLiteral("F6"));
        QTRY_COMPARE(QApplication::focusWidget(), memory->list());
        key(QStringLiteral("Home"));
        key(QStringLiteral("Return"));
        QTRY_COMPARE(memory->currentPath(), QStringLiteral("/LIVE"));
        key(QStringLiteral("alt+Up"));
        QTRY_COMPARE(memory->currentPath(), QStringLiteral("/"));
        // F2 renames there too.
        memory->list()->selectRows({0});
        frame.updateCommandStates();
        key(QStringLiteral("F2"));
        QTRY_VERIFY(qobject_cast<QLineEdit *>(QApplication::focusWidget()));
        type(QStringLiteral("SHOW"));
        key(QStringLiteral("Return"));
        QTRY_COMPARE(memory->model()->rows().front().name, QStringLiteral("SHOW"));
        // The Return that ended the name did not also enter the directory.
        QCOMPARE(memory->currentPath(), QStringLiteral("/"));
        QVERIFY2(m_ui.messages.isEmpty(), qPrintable(m_ui.messages.join(QLatin1Char('|'))));
    }

    void configurationFieldsTakeOnlyWhatTheyCanUse()
    {
        zvs450_Initialize();
        zvs450_SetTimeouts(300000, 100000, 3000000);
        CheckedConfigDlg dlg;
        dlg.show();
        dlg.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&dlg));
        QLineEdit *recv = dlg.controls().recvTimeout;
        recv->setFocus();
        recv->selectAll();
        QTRY_COMPARE(QApplication::focusWidget(), recv);

        // Letters never get in; the hint's grouping does.
        type(QStringLiteral("12a,5x00"));
        QTRY_COMPARE(recv->text(), QStringLiteral("12,500"));
        // An empty field is refused at OK: the old value comes back, the dialog stays.
        key(QStringLiteral("ctrl+a"));
        key(QStringLiteral("BackSpace"));
        QTRY_COMPARE(recv->text(), QString());
        key(QStringLiteral("Return"));
        QTRY_COMPARE(dlg.problems.size(), 1);
        QVERIFY(dlg.isVisible());
        QCOMPARE(recv->text(), QStringLiteral("300000"));
        QTRY_COMPARE(QApplication::focusWidget(), recv);

        type(QStringLiteral("45,000"));
        key(QStringLiteral("Return"));
        QTRY_VERIFY(!dlg.isVisible());
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        unsigned value = 0;
        zvs450_GetTimeouts(&value, nullptr, nullptr);
        QCOMPARE(value, 45000u);
    }
};

int main(int argc, char **argv)
{
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
    QTemporaryDir cache;
    qputenv("XDG_CACHE_HOME", QFile::encodeName(cache.path()));
    qputenv("ZVC450_CODEPAGE", "");
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QString::fromLatin1(RegKeys::kOrganization));
    QApplication::setApplicationName(QString::fromLatin1(RegKeys::kApplication));
    RealInputTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "realinput_test.moc"
