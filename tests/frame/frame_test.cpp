// The main window, offscreen, against the emulated player running in a thread of
// the test: the menus as the command table lays them out, the enabling rules
// with no player, with the internal memory only and with both memories, the
// routing to the focused pane, Format All, the upgrade end message, the pane
// layout numbers, start-up settings, and the reconnect when the player stops
// and starts again.

#include "program_main.h"
#include "ChildView.h"
#include "Commands.h"
#include "DeskView.h"
#include "DeviceWatcher.h"
#include "FileFilterBox.h"
#include "FileListCtrl.h"
#include "MainFrm.h"
#include "Mp3MemVw.h"
#include "RegKeys.h"
#include "emulator.h"
#include "zvs450.h"

#include <QAccessible>
#include <QAction>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QSettings>
#include <QSplitter>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

#include <cstring>
#include <memory>

namespace {

// Answers the memory views' questions and counts them.
class CountingPrompter : public HMemPrompter {
public:
    bool answer = false;
    QStringList asked;
    bool confirm(QWidget *, const QString &caption, const QString &, Icon) override
    {
        asked << caption;
        return answer;
    }
    void message(QWidget *, const QString &, const QString &text, Icon) override { asked << text; }
    void showSystemError(QWidget *, int, const QString &) override {}
};

// The session's file dialogs and messages.
class ScriptedUi : public Zvs450Ui {
public:
    QString fileAnswer;
    QStringList messages;  // caption + "|" + text
    Answer question(QWidget *, const QString &, const QString &) override { return Answer::No; }
    void message(QWidget *, const QString &text, const QString &caption) override
    {
        messages << caption + QLatin1Char('|') + text;
    }
    QString openFile(QWidget *, const QString &, const QString &, const QString &) override { return fileAnswer; }
    bool startViewer(const QString &, const QString &) override { return true; }
};

// A modal box would stop the test: it is closed and its title kept.
class ModalGuard : public QObject {
public:
    QStringList seen;
    ModalGuard()
    {
        connect(&m_timer, &QTimer::timeout, this, [this] {
            QWidget *w = QApplication::activeModalWidget();
            // Progress windows are modal while their operation runs; closing one would cancel it.
            if (w && w->objectName() != QLatin1String("zvc450-progress") && !w->inherits("HProgressDlg")) {
                seen << w->windowTitle();
                w->close();
            }
        });
        m_timer.start(50);
    }

private:
    QTimer m_timer;
};

// A menu text without its mnemonic markers (the words users know).
QString withoutMnemonic(QString text)
{
    return text.remove(QLatin1Char('&'));
}

// The main menu as text: one line per entry, indented by depth, "-" for a
// separator, "text = id" for a command.
// A key as the user types it: to whatever holds the keyboard focus, shortcuts first.
void press(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QWidget *focus = QApplication::focusWidget();
    QVERIFY2(focus, "nothing has the keyboard focus");
    QTest::keyClick(focus, Qt::Key(key), modifiers);
}

// Answers the desktop pane's questions and keeps its errors.
class DeskAnswers : public HDeskPrompter {
public:
    QStringList errors;
    bool confirm(QWidget *, const QString &, const QString &) override { return true; }
    void showSystemError(QWidget *, int error, const QString &path) override
    {
        errors << path + QLatin1Char('|') + QString::fromLocal8Bit(strerror(error));
    }
    void showError(QWidget *, const QString &text) override { errors << text; }
    void openDocument(const QString &path) override { opened << path; }
    QStringList opened;
};

QStringList dumpMenu(const QMenu *menu, int depth)
{
    QStringList lines;
    const QString indent(depth * 2, QLatin1Char(' '));
    for (QAction *a : menu->actions()) {
        if (a->isSeparator())
            lines << indent + QStringLiteral("-");
        else if (a->menu())
            lines << indent + withoutMnemonic(a->text()) << dumpMenu(a->menu(), depth + 1);
        else
            lines << indent + withoutMnemonic(a->text()) + QStringLiteral(" = ") + QString::number(a->data().toInt());
    }
    return lines;
}

} // namespace

class FrameTest : public QObject {
    Q_OBJECT

public:
    explicit FrameTest(CTunedexApp *app) : m_app(app) {}

private:
    CTunedexApp *m_app;
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<emu::Emulator> m_player;
    emu::EmulatorOptions m_options;
    CountingPrompter m_prompter;
    ScriptedUi m_ui;
    std::unique_ptr<ModalGuard> m_guard;

    CMainFrame *frame() const { return m_app->mainFrame(); }
    CChildView *child() const { return frame()->childView(); }
    QString pcFolder() const { return m_dir->filePath(QStringLiteral("pc")); }

    bool startPlayer(bool card = true)
    {
        m_options = emu::EmulatorOptions();
        m_options.state.folder = m_dir->filePath(QStringLiteral("player")).toStdString();
        m_options.state.internalBytes = 8u << 20;
        m_options.state.cardBytes = 1u << 20;
        m_options.state.card = card;
        m_options.socketPath = m_dir->filePath(QStringLiteral("link")).toStdString();
        m_player = std::make_unique<emu::Emulator>(m_options);
        std::string error;
        if (!m_player->Start(&error)) {
            qWarning("player did not start: %s", error.c_str());
            return false;
        }
        return true;
    }

    void stopPlayer()
    {
        if (m_player)
            m_player->Stop();
        m_player.reset();
    }

    // The program's start: the settings as a first run would have them, with
    // the desktop pane in the test's PC folder.
    bool startProgram(bool internalOnly = false, const QString &filter = QStringLiteral("*.*"), int windowState = 5)
    {
        QSettings s(QString::fromLatin1(RegKeys::kOrganization), QString::fromLatin1(RegKeys::kApplication));
        s.setValue(QStringLiteral("Desktop/LastDirectory"), pcFolder());
        s.setValue(QStringLiteral("Firmware/IntOnly"), internalOnly ? 1 : 0);
        s.setValue(QStringLiteral("FileListFilter"), filter);
        s.setValue(QStringLiteral("WindowState"), windowState);
        s.sync();
        if (!m_app->initInstance())
            return false;
        frame()->childView()->deviceContainer()->setPrompter(&m_prompter);
        frame()->updateCommandStates();
        return true;
    }

    bool enabled(int id) { return frame()->commandStateOf(id).enabled; }

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QDir().mkpath(pcFolder());
        QSettings(QString::fromLatin1(RegKeys::kOrganization), QString::fromLatin1(RegKeys::kApplication)).clear();
        // Without a player the link points at a socket nobody listens on.
        qputenv("ZVC450_VUSB", QFile::encodeName(m_dir->filePath(QStringLiteral("link"))));
        m_prompter = CountingPrompter();
        m_ui = ScriptedUi();
        zvs450_SetUi(&m_ui);
        m_guard = std::make_unique<ModalGuard>();
    }

    void cleanup()
    {
        if (frame())
            m_app->exitInstance(0);
        stopPlayer();
        zvs450_SetUi(nullptr);
        m_dir.reset();
        QVERIFY2(m_guard->seen.isEmpty(), qPrintable(m_guard->seen.join(QLatin1Char(','))));
        m_guard.reset();
    }

    // ---- The command table ----

    void menuLayout()
    {
        QVERIFY(startProgram());
        QStringList lines;
        for (QAction *top : frame()->menuBar()->actions())
            lines << withoutMnemonic(top->text()) << dumpMenu(top->menu(), 1);
        const QStringList expected = {
            "File", "  Exit = 57665",
            "Edit", "  Undo\tCtrl+Z = 57643", "  Cut\tCtrl+X = 57635", "  Copy\tCtrl+C = 57634",
            "  Paste\tCtrl+V = 57637", "  -", "  Option = 32789", "  -", "  Sort By Name = 32814",
            "  Natural Order = 32815",
            "View", "  Tool Bar = 59392", "  Status Bar = 59393", "  -", "  Properties = 32779",
            "Tool", "  Refresh\tF5 = 32788",
            "  Format", "    Format Internal Memory = 32781", "    Format External Memory = 32782", "    -",
            "    Format All Memory = 32783",
            "  Low Level Format", "    Low Format  Internal Memory = 32795", "    Low Format External Memeory = 32796",
            "    -", "    Low Format All Memory = 32797",
            "  -", "  Upgrade Application Code = 32785", "  Upgrade Boot Code = 32791", "  -",
            "  ZVC450 LCD Font", "    Download Font = 32793", "    Erase Font = 32800", "    Upload Font = 32799",
            "    View Font Information = 32798",
            "  Download Raw Data", "    Download Interal Raw Data = 32802", "    Download External Raw Data = 32803",
            "    -", "    View Saved Raw Data File = 32804",
            "  Medium Information", "    Internal Memory Info = 32807", "    External Memory Info = 32807",
            "Help", "  About TuneDeck... = 57664",
        };
        QCOMPARE(lines, expected);
    }

    void accelerators_data()
    {
        QTest::addColumn<int>("id");
        QTest::addColumn<QString>("keys");
        QTest::newRow("copy") << int(cmd::EditCopy) << "Ctrl+C; Ctrl+Ins";
        QTest::newRow("paste") << int(cmd::EditPaste) << "Ctrl+V; Shift+Ins";
        QTest::newRow("cut") << int(cmd::EditCut) << "Ctrl+X";
        QTest::newRow("undo") << int(cmd::EditUndo) << "Ctrl+Z; Alt+Backspace";
        QTest::newRow("rename") << int(cmd::Rename) << "F2";
        QTest::newRow("refresh") << int(cmd::Refresh) << "F5";
        QTest::newRow("next pane") << int(cmd::NextPane) << "F6";
        QTest::newRow("previous pane") << int(cmd::PrevPane) << "Shift+F6";
        QTest::newRow("exit") << int(cmd::AppExit) << "Ctrl+Q";
    }
    void accelerators()
    {
        QFETCH(int, id);
        QFETCH(QString, keys);
        QVERIFY(startProgram());
        QAction *a = frame()->actionFor(id);
        QVERIFY(a);
        QStringList texts;
        for (const QKeySequence &k : a->shortcuts())
            texts << k.toString();
        QCOMPARE(texts.join(QStringLiteral("; ")), keys);
    }

    void toolBarAndStatusBar()
    {
        QVERIFY(startProgram(false, QStringLiteral("*.MP3")));
        QList<int> band;
        for (QAction *a : frame()->reBar()->actions())
            band << (a->isSeparator() ? 0 : a->data().isValid() ? a->data().toInt() : -1);
        QCOMPARE(band, QList<int>({57600, 57635, 57634, 57637, 57607, 0, 57664, -1}));
        // New and Print have nothing to do in this program: not shown at all.
        QList<int> shown;
        for (QAction *a : frame()->reBar()->actions())
            if (a->isVisible() && !a->isSeparator() && a->data().isValid())
                shown << a->data().toInt();
        QCOMPARE(shown, QList<int>({57635, 57634, 57637, 57664}));
        // A stored filter of *.MP3 (any case) selects the MP3 entry.
        QCOMPARE(frame()->filterBox()->currentIndex(), 0);

        QStringList panes;
        for (int i = 0; i < 3; ++i)
            panes << frame()->indicatorPane(i)->objectName();
        QCOMPARE(panes, QStringList({"CAP", "NUM", "SCRL"}));
        // Not connected: an empty firmware pane.
        QCOMPARE(frame()->firmwarePane()->text(), QString());

        // The bars are switched from the View menu, checked while shown.
        QVERIFY(frame()->commandStateOf(cmd::ViewToolBar).checked);
        frame()->executeCommand(cmd::ViewToolBar);
        QVERIFY(frame()->reBar()->isHidden());
        QVERIFY(!frame()->commandStateOf(cmd::ViewToolBar).checked);
        frame()->executeCommand(cmd::ViewStatusBar);
        QVERIFY(!frame()->commandStateOf(cmd::ViewStatusBar).checked);
    }

    void filterChangeIsStored()
    {
        QVERIFY(startProgram());
        HFileFilterBox *box = frame()->filterBox();
        QCOMPARE(box->currentIndex(), 1);
        box->setCurrentIndex(0);
        emit box->activated(0);
        QCOMPARE(RegKeys::fileListFilter(), QStringLiteral("*.mp3"));
        QCOMPARE(child()->desktopView()->fileFilter(), QStringLiteral("*.mp3"));
        m_app->exitInstance(0);
        QSettings s(QString::fromLatin1(RegKeys::kOrganization), QString::fromLatin1(RegKeys::kApplication));
        QCOMPARE(s.value(QStringLiteral("FileListFilter")).toString(), QStringLiteral("*.mp3"));
    }

    void windowState_data()
    {
        QTest::addColumn<int>("stored");
        QTest::addColumn<bool>("maximized");
        QTest::addColumn<int>("written");
        QTest::newRow("maximised") << 3 << true << 3;
        QTest::newRow("default") << 5 << false << 1;
        QTest::newRow("hidden shows normally") << 0 << false << 1;
    }
    void windowState()
    {
        QFETCH(int, stored);
        QFETCH(bool, maximized);
        QFETCH(int, written);
        QVERIFY(startProgram(false, QStringLiteral("*.*"), stored));
        QVERIFY(frame()->isVisible());
        QCOMPARE(frame()->isMaximized(), maximized);
        m_app->exitInstance(0);
        QCOMPARE(RegKeys::windowState(), written);
    }

    // The window comes back as the user left it: size, place and the divider between
    // the PC and the player, which the user moves by dragging the gap of the buttons.
    void windowAndDividerRemembered()
    {
        QVERIFY(startProgram(false, QStringLiteral("*.*"), 1));
        frame()->move(40, 30);
        frame()->resize(900, 600);
        QTRY_COMPARE(frame()->size(), QSize(900, 600));
        QSplitter *panes = child()->paneSplitter();
        QCOMPARE(panes->handleWidth(), HPaneLayout::kGap);
        const int before = child()->dividerPosition();
        QVERIFY(before > 0);

        // A drag on the gap, away from the buttons.
        QWidget *gap = panes->handle(1);
        QVERIFY(gap->isVisible());
        const QPoint grip(gap->width() / 2, gap->height() / 2);
        QVERIFY(!gap->childAt(grip));
        QTest::mousePress(gap, Qt::LeftButton, {}, grip);
        QTest::mouseMove(gap, grip + QPoint(-120, 0));
        QTest::mouseRelease(gap, Qt::LeftButton, {}, grip + QPoint(-120, 0));
        QTRY_COMPARE(child()->dividerPosition(), before - 120);
        // The transfer buttons went with the gap.
        const QRect button = child()->transferButton(CChildView::DownloadInternal)->geometry();
        QVERIFY(gap->rect().contains(button));
        QCOMPARE(child()->transferButton(CChildView::DownloadInternal)->mapTo(child(), QPoint()).x(),
                 before - 120 + (HPaneLayout::kGap - HPaneLayout::kButtonSize) / 2);

        // Widening the window still shares the gain between the panes.
        frame()->resize(1000, 600);
        QTRY_COMPARE(child()->dividerPosition(), before - 120 + 50);
        const int divider = child()->dividerPosition();
        const QRect geometry = frame()->geometry();
        m_app->exitInstance(0);

        QVERIFY(m_app->initInstance());
        QTRY_VERIFY(frame()->isVisible());
        QCOMPARE(frame()->geometry(), geometry);
        QTRY_COMPARE(child()->dividerPosition(), divider);
    }

    // No pane can be dragged away to nothing, and the gap keeps its 55 pixels.
    void dividerKeepsPanesAndGap()
    {
        QVERIFY(startProgram(false, QStringLiteral("*.*"), 1));
        frame()->resize(800, 500);
        QTRY_COMPARE(frame()->width(), 800);
        child()->setDividerPosition(0);
        QVERIFY(child()->dividerPosition() >= child()->desktopView()->minimumWidth());
        QVERIFY(child()->desktopView()->minimumWidth() > HPaneLayout::kButtonSize);
        child()->setDividerPosition(5000);
        QCOMPARE(child()->deviceContainer()->width(), child()->deviceContainer()->minimumWidth());
        QCOMPARE(child()->deviceContainer()->x() - child()->desktopView()->width(), HPaneLayout::kGap);
    }

    // ---- Keyboard ----

    // A whole round trip without a mouse: into a folder and back out, a file to the
    // player with its transfer button, renamed there with F2, back to the PC, renamed
    // on the PC with F2, F5 picking up a change, and Ctrl+Q.
    void keyboardOnlyCopy()
    {
        QVERIFY(startPlayer(false));
        QDir pc(pcFolder());
        QVERIFY(pc.mkdir(QStringLiteral("Albums")));
        QFile f(pc.filePath(QStringLiteral("TUNE.MP3")));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(4000, 't'));
        f.close();
        QVERIFY(startProgram());
        DeskAnswers answers;
        HDesktopView *desk = child()->desktopView();
        desk->setPrompter(&answers);
        frame()->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(frame()));
        QTRY_COMPARE(desk->model()->rowCount(), 2);
        // The PC's list has the keys from the start.
        QTRY_COMPARE(QApplication::focusWidget(), desk->list());

        // Into "Albums" (folders sort first) with Return, out with Backspace, in again
        // and out with Alt+Up.
        for (int parentKey : {int(Qt::Key_Backspace), int(Qt::Key_Up) | int(Qt::AltModifier)}) {
            press(Qt::Key_Home);
            press(Qt::Key_Return);
            QTRY_COMPARE(desk->destinationFolder(), pc.filePath(QStringLiteral("Albums")));
            press(parentKey & ~Qt::KeyboardModifierMask, Qt::KeyboardModifiers(parentKey & Qt::KeyboardModifierMask));
            QTRY_COMPARE(desk->destinationFolder(), pcFolder());
            QTRY_COMPARE(desk->model()->rowCount(), 2);
        }

        // The file, then Tab to the first transfer button that can act, and Space.
        QTRY_VERIFY(desk->list()->currentIndex().isValid());
        press(Qt::Key_End);
        QCOMPARE(desk->list()->selectedRows(), QList<int>({1}));
        frame()->updateCommandStates();
        press(Qt::Key_Tab);
        QToolButton *download = child()->transferButton(CChildView::DownloadInternal);
        QTRY_COMPARE(QApplication::focusWidget(), download);
        press(Qt::Key_Space);
        HMp3MemView *view = child()->memoryView(0);
        QTRY_COMPARE(view->model()->rowCount(), 1);
        QCOMPARE(view->model()->rows().front().name, QStringLiteral("TUNE.MP3"));
        // The progress window has come and gone; the window system gives the keys back.
        frame()->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(frame()));

        // F6 to the player's list, F2 to rename the copy there.
        desk->list()->setFocus();
        press(Qt::Key_F6);
        QTRY_COMPARE(QApplication::focusWidget(), view->list());
        press(Qt::Key_Home);
        frame()->updateCommandStates();
        press(Qt::Key_F2);
        QLineEdit *editor = nullptr;
        QTRY_VERIFY((editor = qobject_cast<QLineEdit *>(QApplication::focusWidget())));
        QTest::keyClicks(editor, QStringLiteral("SONG.MP3"));
        press(Qt::Key_Return);
        QTRY_COMPARE(view->model()->rows().front().name, QStringLiteral("SONG.MP3"));

        // Back to the PC: Shift+Tab walks back to the upload button.
        QTRY_COMPARE(QApplication::focusWidget(), view->list());
        view->list()->selectRows({0});
        frame()->updateCommandStates();
        QToolButton *upload = child()->transferButton(CChildView::UploadInternal);
        for (int i = 0; i < 4 && QApplication::focusWidget() != upload; ++i)
            press(Qt::Key_Backtab, Qt::ShiftModifier);
        QTRY_COMPARE(QApplication::focusWidget(), upload);
        press(Qt::Key_Space);
        QTRY_VERIFY(QFile::exists(pc.filePath(QStringLiteral("SONG.MP3"))));
        frame()->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(frame()));
        QCOMPARE(QFileInfo(pc.filePath(QStringLiteral("SONG.MP3"))).size(), qint64(4000));

        // F2 on the PC: the name editor; a name that is taken is refused, nothing is
        // overwritten; a free one renames the file and the list selects it.
        QTRY_COMPARE(QApplication::focusWidget(), desk->list());
        QTRY_COMPARE(desk->model()->rowCount(), 3);
        int row = -1;
        for (int r = 0; r < desk->model()->rowCount(); ++r)
            if (desk->model()->row(r).name == QStringLiteral("SONG.MP3"))
                row = r;
        desk->list()->selectRows({row});
        frame()->updateCommandStates();
        press(Qt::Key_F2);
        QTRY_VERIFY((editor = qobject_cast<QLineEdit *>(QApplication::focusWidget())));
        QCOMPARE(editor->selectedText(), QStringLiteral("SONG"));
        editor->selectAll();
        QTest::keyClicks(editor, QStringLiteral("TUNE.MP3"));
        press(Qt::Key_Return);
        QTRY_COMPARE(answers.errors.size(), 1);
        QVERIFY2(answers.errors.first().contains(QStringLiteral("exists")), qPrintable(answers.errors.first()));
        QCOMPARE(QFileInfo(pc.filePath(QStringLiteral("TUNE.MP3"))).size(), qint64(4000));
        QVERIFY(QFile::exists(pc.filePath(QStringLiteral("SONG.MP3"))));

        desk->list()->setFocus();
        press(Qt::Key_F2);
        QTRY_VERIFY((editor = qobject_cast<QLineEdit *>(QApplication::focusWidget())));
        editor->selectAll();
        QTest::keyClicks(editor, QStringLiteral("Evening tones.mp3"));
        press(Qt::Key_Return);
        QTRY_VERIFY(QFile::exists(pc.filePath(QStringLiteral("Evening tones.mp3"))));
        QVERIFY(!QFile::exists(pc.filePath(QStringLiteral("SONG.MP3"))));
        // The Return that ends the name is the editor's: it opens nothing.
        QTest::qWait(20);
        QCOMPARE(answers.opened, QStringList());
        QTRY_COMPARE(desk->list()->selectedRows().size(), 1);
        QCOMPARE(desk->model()->row(desk->list()->selectedRows().first()).name, QStringLiteral("Evening tones.mp3"));

        // F5 lists again what changed behind the program's back.
        QVERIFY(QFile(pc.filePath(QStringLiteral("new.txt"))).open(QIODevice::WriteOnly));
        press(Qt::Key_F5);
        QTRY_COMPARE(desk->model()->rowCount(), 4);

        press(Qt::Key_Q, Qt::ControlModifier);
        QTRY_VERIFY(!frame()->isVisible());
    }

    // Tab walks the folder box, the PC list, the transfer buttons that can act and the
    // player's lists, in the order they stand on the screen.
    void tabWalksThePanes()
    {
        QVERIFY(startPlayer());
        QVERIFY(startProgram());
        frame()->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(frame()));
        HDesktopView *desk = child()->desktopView();
        desk->folderComboBox()->setFocus();
        QTRY_COMPARE(QApplication::focusWidget(), desk->folderComboBox());
        const QList<QWidget *> expected = {desk->upButton(), desk->list(), child()->memoryView(0)->list(),
                                           child()->memoryView(1)->list()};
        for (QWidget *w : expected) {
            press(Qt::Key_Tab);
            QTRY_COMPARE(QApplication::focusWidget(), w);
        }
        // And round again to the folder box, by way of the file filter.
        QStringList visited;
        for (int i = 0; i < 6 && QApplication::focusWidget() != desk->folderComboBox(); ++i) {
            press(Qt::Key_Tab);
            visited << QApplication::focusWidget()->objectName();
        }
        QVERIFY2(QApplication::focusWidget() == desk->folderComboBox(), qPrintable(visited.join(QLatin1Char(','))));
        QVERIFY2(visited.contains(frame()->filterBox()->objectName()), qPrintable(visited.join(QLatin1Char(','))));
    }

    // Orca reads every control by its name: nothing that takes the keyboard focus may
    // be nameless.
    void everyControlHasAName()
    {
        QVERIFY(startPlayer());
        QVERIFY(startProgram());
        QStringList nameless;
        for (QWidget *w : frame()->findChildren<QWidget *>()) {
            if (w->focusPolicy() == Qt::NoFocus || !w->isVisibleTo(frame()) || w->inherits("QScrollBar")
                || w->parentWidget()->inherits("QAbstractItemView"))
                continue;
            QAccessibleInterface *a = QAccessible::queryAccessibleInterface(w);
            if (!a || a->text(QAccessible::Name).trimmed().isEmpty())
                nameless << QString::fromLatin1(w->metaObject()->className()) + QLatin1Char(' ') + w->objectName();
        }
        QVERIFY2(nameless.isEmpty(), qPrintable(nameless.join(QStringLiteral(", "))));
    }

    // ---- Enabling rules ----

    void enabling_data()
    {
        QTest::addColumn<int>("player");  // 0 none, 1 internal only (IntOnly), 2 no card, 3 both
        QTest::addColumn<QList<int>>("on");
        QTest::addColumn<QList<int>>("off");
        using namespace cmd;
        const QList<int> always = {AppExit, EditOption, ViewToolBar, ViewStatusBar, ViewProperties, Refresh,
                                   RawDataView, AppAbout};
        const QList<int> never = {EditUndo, EditCut, EditCopy, EditPaste, FileNew, FilePrint, MediumInfo};
        const QList<int> internal = {FormatInternal, FormatAll, LowFormatInternal, LowFormatAll, UpgradeApplication,
                                     UpgradeBoot, FontDownload, FontErase, FontUpload, FontInfo, RawDataInternal};
        const QList<int> external = {FormatExternal, LowFormatExternal, RawDataExternal};
        QTest::newRow("no player") << 0 << always << (never + internal + external);
        QTest::newRow("internal only") << 1 << (always + internal) << (never + external);
        QTest::newRow("no card") << 2 << (always + internal) << (never + external);
        QTest::newRow("both memories") << 3 << (always + internal + external) << never;
    }
    void enabling()
    {
        QFETCH(int, player);
        QFETCH(QList<int>, on);
        QFETCH(QList<int>, off);
        if (player > 0)
            QVERIFY(startPlayer(player != 2));
        QVERIFY(startProgram(player == 1));
        for (int id : on)
            QVERIFY2(enabled(id), qPrintable(QString::number(id)));
        for (int id : off)
            QVERIFY2(!enabled(id), qPrintable(QString::number(id)));
        // The menu items follow the same rules once a menu opens.
        frame()->menuNamed(QStringLiteral("Tool"))->aboutToShow();
        for (int id : on)
            for (QAction *a : frame()->actionsFor(id))
                QVERIFY2(a->isEnabled(), qPrintable(QString::number(id)));
        for (int id : off)
            for (QAction *a : frame()->actionsFor(id))
                QVERIFY2(!a->isEnabled(), qPrintable(QString::number(id)));

        HMp3View *device = child()->deviceContainer();
        if (player == 0) {
            // The not-connected picture: no rows shown.
            QVERIFY(!device->splitter() || device->splitter()->isHidden());
            QCOMPARE(child()->memoryCount(), 0);
            QCOMPARE(frame()->firmwarePane()->text(), QString());
        } else {
            QVERIFY(device->splitter() && !device->splitter()->isHidden());
            // Two rows even with one memory; the second one stays empty.
            QCOMPARE(device->rowCount(), 2);
            QCOMPARE(child()->memoryView(0)->title(), QStringLiteral("Internal Memory"));
            QCOMPARE(child()->memoryView(1)->title(), QStringLiteral("External Memory"));
            if (player == 1)
                QCOMPARE(child()->memoryView(1)->titleText(), QStringLiteral(" External Memory - Not Connected"));
            QVERIFY(frame()->firmwarePane()->text().startsWith(QStringLiteral("BRIGHTFEN ZVC450")));
        }
    }

    void routingToFocusedPane()
    {
        QVERIFY(startPlayer());
        QFile f(QDir(pcFolder()).filePath(QStringLiteral("SONG.MP3")));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(3000, 's'));
        f.close();
        HFileTransferList list;
        list.add(f.fileName(), -1, 0);
        QVERIFY(startProgram());
        QCOMPARE(zvs450_Download(nullptr, 0, list), 0);
        HMp3MemView *view = child()->memoryView(0);
        view->refresh(true);
        const int row = int(view->model()->rows().size()) - 1;
        QVERIFY(row >= 0);
        view->list()->selectRows({row});

        // F2 (Rename) belongs to the memory view: enabled only while it has the focus.
        frame()->activateWindow();
        view->list()->setFocus();
        QTRY_VERIFY(view->list()->hasFocus());
        QVERIFY(enabled(cmd::Rename));
        // The view's own Refresh answers before the client view's.
        QVERIFY(enabled(cmd::Refresh));
        child()->desktopView()->list()->setFocus();
        QTRY_VERIFY(child()->desktopView()->list()->hasFocus());
        QVERIFY(!enabled(cmd::Rename));

        // F6 moves the focus to the next pane.
        frame()->executeCommand(cmd::NextPane);
        QTRY_VERIFY(view->list()->hasFocus());
    }

    void transferButtons()
    {
        QVERIFY(startPlayer());
        QFile f(QDir(pcFolder()).filePath(QStringLiteral("TUNE.MP3")));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(5000, 't'));
        f.close();
        QVERIFY(startProgram());
        HDesktopView *desk = child()->desktopView();
        QTRY_COMPARE(desk->model()->rowCount(), 1);
        QToolButton *download = child()->transferButton(CChildView::DownloadInternal);
        QToolButton *upload = child()->transferButton(CChildView::UploadInternal);
        frame()->updateCommandStates();
        QVERIFY(!download->isEnabled());
        QVERIFY(!upload->isEnabled());

        desk->list()->selectRows({0});
        frame()->updateCommandStates();
        QVERIFY(download->isEnabled());
        QVERIFY(child()->transferButton(CChildView::DownloadExternal)->isEnabled());
        download->click();
        HMp3MemView *view = child()->memoryView(0);
        int row = -1;
        for (size_t r = 0; r < view->model()->rows().size(); ++r)
            if (view->model()->rows()[r].name == QStringLiteral("TUNE.MP3"))
                row = int(r);
        QVERIFY(row >= 0);
        QCOMPARE(view->list()->selectedRows(), QList<int>({row}));

        // And back: the selected device file goes into the desktop's folder.
        QVERIFY(QFile::remove(f.fileName()));
        desk->listCurrentPlace();
        frame()->updateCommandStates();
        QVERIFY(upload->isEnabled());
        upload->click();
        QVERIFY(QFile::exists(f.fileName()));
        QCOMPARE(QFile(f.fileName()).size(), qint64(5000));
    }

    // ---- Commands ----

    void formatAll_data()
    {
        QTest::addColumn<bool>("card");
        QTest::addColumn<bool>("answer");
        QTest::addColumn<int>("questions");
        QTest::newRow("No asks nothing more") << true << false << 1;
        QTest::newRow("Yes formats both") << true << true << 2;
        QTest::newRow("Yes without card formats internal only") << false << true << 1;
    }
    void formatAll()
    {
        QFETCH(bool, card);
        QFETCH(bool, answer);
        QFETCH(int, questions);
        QVERIFY(startPlayer(card));
        QFile f(QDir(pcFolder()).filePath(QStringLiteral("KEEP.MP3")));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(100, 'k'));
        f.close();
        HFileTransferList list;
        list.add(f.fileName(), -1, 0);
        QVERIFY(startProgram());
        QCOMPARE(zvs450_Download(nullptr, 0, list), 0);
        m_prompter.answer = answer;
        frame()->executeCommand(cmd::FormatAll);
        QCOMPARE(m_prompter.asked.size(), questions);
        for (const QString &caption : m_prompter.asked)
            QCOMPARE(caption, QStringLiteral("Format"));
        // The file is gone only when the user said Yes.
        QCOMPARE(zvs450_GetFileCount(0), answer ? 0 : 1);
    }

    // A library operation pumps events while it runs; a command that arrives
    // among them must not start a second operation on the player.
    void noDeviceCommandInsideRunningOperation()
    {
        QVERIFY(startPlayer());
        QVERIFY(startProgram());
        m_prompter.answer = true;
        bool insideEnabled = true;
        bool ran = false;
        QTimer::singleShot(0, this, [&] {
            // The first level stands for the click that started a transfer,
            // the second for what the transfer's window delivers meanwhile.
            QTimer::singleShot(0, this, [&] {
                insideEnabled = enabled(cmd::FormatInternal) || enabled(cmd::Refresh);
                frame()->executeCommand(cmd::FormatAll);
                ran = true;
            });
            QTRY_VERIFY(ran);
        });
        QTRY_VERIFY(ran);
        QVERIFY(!insideEnabled);
        QVERIFY(m_prompter.asked.isEmpty());
        // Back at the top of the event loop the commands work again.
        QVERIFY(enabled(cmd::FormatInternal));
    }

    void upgradeEndMessage()
    {
        QVERIFY(startPlayer());
        QVERIFY(startProgram());
        // Cancelled in the file dialog: no message, the program goes on.
        m_ui.fileAnswer.clear();
        frame()->executeCommand(cmd::UpgradeApplication);
        QVERIFY(m_ui.messages.isEmpty());
        QTest::qWait(50);
        QVERIFY(frame()->isVisible());

        // A file that is not Intel-hex text fails before anything reaches the player.
        const QString bad = QDir(pcFolder()).filePath(QStringLiteral("broken.hex"));
        QFile f(bad);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("this is not a hex file\n");
        f.close();
        m_ui.fileAnswer = bad;
        frame()->executeCommand(cmd::UpgradeApplication);
        // It says what is wrong with which file, and the program stays: the player was
        // never touched, so there is nothing to unplug.
        QCOMPARE(m_ui.messages.size(), 1);
        QVERIFY2(m_ui.messages.last().startsWith(QStringLiteral("Codec Upgrade|") + bad + QLatin1Char('\n')),
                 qPrintable(m_ui.messages.last()));
        QTest::qWait(50);
        QVERIFY(frame()->isVisible());

        // So does an image the code area cannot take.
        QFile big(QDir(pcFolder()).filePath(QStringLiteral("boot.bin")));
        QVERIFY(big.open(QIODevice::WriteOnly));
        big.write(QByteArray(8193, 'b'));
        big.close();
        m_ui.fileAnswer = big.fileName();
        frame()->executeCommand(cmd::UpgradeBoot);
        QCOMPARE(m_ui.messages.size(), 2);
        QVERIFY2(m_ui.messages.last().contains(QStringLiteral("the boot area holds at most 8,192")),
                 qPrintable(m_ui.messages.last()));
        QTest::qWait(50);
        QVERIFY(frame()->isVisible());

        // An image that reaches the player: the player must be unplugged, the program
        // says so and closes.
        QFile image(QDir(pcFolder()).filePath(QStringLiteral("codec.bin")));
        QVERIFY(image.open(QIODevice::WriteOnly));
        image.write(QByteArray(1000, 'c'));
        image.close();
        m_ui.fileAnswer = image.fileName();
        frame()->executeCommand(cmd::UpgradeApplication);
        QCOMPARE(m_ui.messages.last(),
                 QStringLiteral("Please restart this program~|ROM upagde was succeeded.\nPlease, Unplug USB connector!\n"
                                "Please restart this program~"));
        QTRY_VERIFY(!frame()->isVisible());
    }

    // ---- Layout ----

    void paneLayout_data()
    {
        QTest::addColumn<int>("oldWidth");
        QTest::addColumn<int>("newWidth");
        QTest::addColumn<int>("desktopGain");
        QTest::addColumn<int>("deviceGain");
        QTest::newRow("100 wider") << 855 << 955 << 50 << 50;
        QTest::newRow("101 wider") << 855 << 956 << 50 << 51;
        QTest::newRow("101 narrower") << 855 << 754 << -50 << -51;
    }
    void paneLayout()
    {
        QFETCH(int, oldWidth);
        QFETCH(int, newWidth);
        QFETCH(int, desktopGain);
        QFETCH(int, deviceGain);
        // First layout: the two panes share the width equally.
        const HPaneLayout first = HPaneLayout::compute(QRect(0, 0, oldWidth, 500), 0, 0);
        QCOMPARE(first.desktop.width(), 400);
        QCOMPARE(first.device.width(), 400);
        QCOMPARE(first.device.left(), 455);
        const HPaneLayout next =
            HPaneLayout::compute(QRect(0, 0, newWidth, 500), first.desktop.width(), first.device.width());
        QCOMPARE(next.desktop.width() - first.desktop.width(), desktopGain);
        QCOMPARE(next.device.width() - first.device.width(), deviceGain);
        QCOMPARE(next.device.left() - (next.desktop.left() + next.desktop.width()), HPaneLayout::kGap);
        QCOMPARE(next.device.left() + next.device.width(), newWidth);
    }

    void paneLayoutCollapse_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<bool>("collapsed");
        QTest::newRow("54") << 54 << true;
        QTest::newRow("1") << 1 << true;
        QTest::newRow("57") << 57 << false;
    }
    void paneLayoutCollapse()
    {
        QFETCH(int, width);
        QFETCH(bool, collapsed);
        const HPaneLayout l = HPaneLayout::compute(QRect(0, 0, width, 300), 400, 400);
        QCOMPARE(l.desktop.width() == 0 && l.device.width() == 0, collapsed);
        QVERIFY(l.desktop.width() >= 0 && l.device.width() >= 0);
        QCOMPARE(l.desktop.height(), 300);
        if (collapsed)
            QCOMPARE(l.device.left(), width);
    }

    void transferButtonPlaces()
    {
        const HPaneLayout l = HPaneLayout::compute(QRect(0, 0, 855, 500), 0, 0);
        // Centred in the gap between x 400 and 455.
        QCOMPARE(l.buttonPos(CChildView::DownloadInternal), QPoint(409, 60));
        QCOMPARE(l.buttonPos(CChildView::UploadInternal), QPoint(409, 101));
        QCOMPARE(l.buttonPos(CChildView::DownloadExternal), QPoint(409, 500 - 137));
        QCOMPARE(l.buttonPos(CChildView::UploadExternal), QPoint(409, 500 - 96));
    }

    // ---- Device changes ----

    void reconnectWhenPlayerStopsAndStarts()
    {
        QVERIFY(startPlayer());
        QVERIFY(startProgram());
        frame()->deviceWatcher()->setPollInterval(300);
        QCOMPARE(child()->memoryCount(), 2);
        QCOMPARE(child()->presentMask(), 3);

        stopPlayer();
        QTRY_COMPARE_WITH_TIMEOUT(child()->memoryCount(), 0, 10000);
        QVERIFY(child()->deviceContainer()->splitter()->isHidden());
        frame()->updateCommandStates();
        QVERIFY(!enabled(cmd::FormatInternal));
        QCOMPARE(frame()->firmwarePane()->text(), QString());

        QVERIFY(startPlayer(false));
        QTRY_COMPARE_WITH_TIMEOUT(child()->memoryCount(), 2, 10000);
        QCOMPARE(child()->presentMask(), 1);
        QVERIFY(!child()->deviceContainer()->splitter()->isHidden());
        QCOMPARE(child()->memoryView(0)->state(), HMp3MemView::State::Usable);
        frame()->updateCommandStates();
        QVERIFY(enabled(cmd::FormatInternal));
        QVERIFY(!enabled(cmd::FormatExternal));
    }

    // A player that is gone leaves no rows behind that would still take a drop or start
    // a transfer, and one that comes back with fewer memories never shows the old card.
    void viewsDoNotOutliveTheirMemory()
    {
        QVERIFY(startPlayer());
        QFile f(QDir(pcFolder()).filePath(QStringLiteral("TUNE.MP3")));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(700, 't'));
        f.close();
        HFileTransferList list;
        list.add(f.fileName(), -1, 0);
        QVERIFY(startProgram());
        frame()->deviceWatcher()->stop();  // the test says when the player came or went
        QCOMPARE(zvs450_Download(nullptr, 0, list), 0);
        QCOMPARE(zvs450_Download(nullptr, 1, list), 0);
        HDesktopView *desk = child()->desktopView();
        QTRY_COMPARE(desk->model()->rowCount(), 1);
        desk->list()->selectRows({0});
        for (int i = 0; i < 2; ++i) {
            HMp3MemView *view = child()->memoryView(i);
            view->refresh(false);
            QCOMPARE(view->model()->rowCount(), 1);
            view->list()->selectRows({0});
        }
        const int buttons[] = {CChildView::DownloadInternal, CChildView::UploadInternal,
                               CChildView::DownloadExternal, CChildView::UploadExternal};
        frame()->updateCommandStates();
        for (int id : buttons)
            QVERIFY2(child()->transferButton(id)->isEnabled(), qPrintable(QString::number(id)));

        stopPlayer();
        frame()->onDeviceChanged();
        QCOMPARE(child()->memoryCount(), 0);
        frame()->updateCommandStates();
        for (int i = 0; i < 2; ++i) {
            HMp3MemView *view = child()->memoryView(i);
            QCOMPARE(view->state(), HMp3MemView::State::Empty);
            QCOMPARE(view->model()->rowCount(), 0);
            QVERIFY(!view->canDrop());
            QVERIFY(!view->acceptDrops());
            QVERIFY(!view->isCommandEnabled(Mp3MemCmd::Format));
            QVERIFY(view->titleText().endsWith(QStringLiteral(" - Not Connected")));
        }
        for (int id : buttons)
            QVERIFY2(!child()->transferButton(id)->isEnabled(), qPrintable(QString::number(id)));

        // Back with the internal memory only (as "Use Internal Flash Only" asks): the card's
        // row stays empty, also after Refresh and a change of the file filter.
        zvs450_SetMemoryCount(1);
        QVERIFY(startPlayer());
        frame()->onDeviceChanged();
        QCOMPARE(child()->memoryCount(), 1);
        QCOMPARE(child()->memoryView(0)->model()->rowCount(), 1);
        frame()->executeCommand(cmd::Refresh);
        frame()->filterBox()->setCurrentIndex(0);
        emit frame()->filterBox()->activated(0);
        HMp3MemView *card = child()->memoryView(1);
        QCOMPARE(card->state(), HMp3MemView::State::Empty);
        QCOMPARE(card->model()->rowCount(), 0);
        QCOMPARE(card->titleText(), QStringLiteral(" External Memory - Not Connected"));
        frame()->updateCommandStates();
        QVERIFY(!child()->transferButton(CChildView::DownloadExternal)->isEnabled());
        QVERIFY(!child()->transferButton(CChildView::UploadExternal)->isEnabled());
    }
};

int main(int argc, char **argv) { return zvc450test::RunProgramTest<FrameTest>(argc, argv); }

#include "frame_test.moc"
