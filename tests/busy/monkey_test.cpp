// The monkey: while the program copies a file to the player, copies one back,
// formats the internal memory and writes the application code (the emulated
// player slowed down), random input rains on the main window through the
// window system: clicks, double-clicks and right clicks anywhere, keys
// (Delete, Enter, F2, F5, Escape, arrows, letters, accelerators), drags,
// files dropped from the file manager and menu commands. Afterwards every
// operation must have come out as it would have without the input: the
// player's image holds exactly the expected files and bytes (mtools),
// fsck.fat finds it clean, the code area holds the image, and the program
// still works.
//
// Seeded: MONKEY_SEED (printed; default: from the clock), MONKEY_INPUTS per
// operation (default 150), MONKEY_ROUNDS of the four operations (default 1).
// CI runs the short form; bench/soak/run the long one.

#include "program_main.h"
#include "program_fixture.h"

#include <QAction>
#include <QMimeData>
#include <QToolButton>
#include <QUrl>

#include <random>

using namespace fixture;

namespace {

quint64 envNumber(const char *name, quint64 fallback)
{
    bool ok = false;
    const quint64 n = qEnvironmentVariable(name).toULongLong(&ok);
    return ok ? n : fallback;
}

// Random input for the main window, given while a library window is up.
class Monkey : public QObject {
public:
    Monkey(Program *p, quint64 seed) : m_p(p), m_rng(seed)
    {
        connect(&m_timer, &QTimer::timeout, this, &Monkey::tick);
    }

    // Gives `inputs` random inputs while the operation runs.
    void arm(int inputs)
    {
        m_left = inputs;
        m_given = 0;
        m_timer.start(5);
    }
    void disarm() { m_timer.stop(); }
    int given() const { return m_given; }
    QStringList log;  // the kinds given, for the failure message

private:
    int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(m_rng); }

    // A point of the main window: anywhere, or on something worth hitting.
    QPoint somewhere(QWidget **target)
    {
        CMainFrame *f = m_p->frame();
        QList<QWidget *> hot = {m_p->desk()->list()->viewport(), m_p->child()->deviceContainer()};
        for (int i = 0; i < 2; ++i)
            if (HMp3MemView *v = m_p->memory(i))
                hot << v->list()->viewport() << v->upButton() << v;
        for (int id : {CChildView::DownloadInternal, CChildView::UploadInternal, CChildView::DownloadExternal,
                       CChildView::UploadExternal})
            hot << m_p->child()->transferButton(id);
        QWidget *w = f;
        if (pick(3) > 0)
            w = hot.value(pick(int(hot.size())), f);
        if (!w || !w->isVisible())
            w = f;
        *target = w;
        return QPoint(pick(qMax(1, w->width())), pick(qMax(1, w->height())));
    }

    // The library hands out events only every so often: a few inputs each time.
    void tick()
    {
        for (int burst = 0; burst < 30 && m_left > 0 && libraryWindow() && m_p->frame(); ++burst)
            giveOne();
    }

    void giveOne()
    {
        --m_left;
        ++m_given;
        QWindow *window = m_p->frame()->windowHandle();
        QWidget *target = nullptr;
        const QPoint at = somewhere(&target);
        const QPoint inWindow = target->mapTo(target->window(), at);
        switch (pick(9)) {
        case 0:
            log << QStringLiteral("click");
            m_p->hand->click(target, at);
            break;
        case 1:
            log << QStringLiteral("double-click");
            m_p->hand->doubleClick(target, at);
            break;
        case 2:
            log << QStringLiteral("right click");
            m_p->hand->click(target, at, Qt::RightButton);
            break;
        case 3:
        case 4: {
            static const Qt::Key keys[] = {Qt::Key_Delete, Qt::Key_Return, Qt::Key_Enter, Qt::Key_F2,
                                           Qt::Key_F5,     Qt::Key_F6,     Qt::Key_Escape, Qt::Key_Up,
                                           Qt::Key_Down,   Qt::Key_Space,  Qt::Key_A,      Qt::Key_Backspace};
            const Qt::Key key = keys[pick(int(std::size(keys)))];
            const Qt::KeyboardModifiers mods = pick(4) == 0 ? Qt::ControlModifier : Qt::NoModifier;
            log << QStringLiteral("key %1").arg(QKeySequence(key | mods).toString());
            // At the main window: a user typing at it, not at the progress window.
            QTest::keyClick(window, key, mods);
            break;
        }
        case 5: {
            log << QStringLiteral("drag");
            QWidget *to = nullptr;
            const QPoint end = somewhere(&to);
            QTest::mousePress(window, Qt::LeftButton, {}, inWindow);
            QTest::mouseMove(window, inWindow + QPoint(3, 3));
            QTest::mouseMove(window, to->mapTo(to->window(), end));
            QTest::mouseRelease(window, Qt::LeftButton, {}, to->mapTo(to->window(), end));
            break;
        }
        case 6: {
            // The file manager's drop reaches a pane's widget directly.
            log << QStringLiteral("drop");
            HMp3MemView *view = m_p->memory(pick(2));
            if (!view)
                break;
            QMimeData mime;
            mime.setUrls({QUrl::fromLocalFile(m_p->pc(QStringLiteral("dropped.mp3")))});
            QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, {});
            QApplication::sendEvent(view, &enter);
            QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, {});
            QApplication::sendEvent(view, &drop);
            break;
        }
        default: {
            // A menu command or accelerator, as the frame routes it.
            const QList<QAction *> actions = m_p->frame()->findChildren<QAction *>();
            QAction *a = actions.value(pick(int(actions.size())));
            if (!a || !a->data().isValid())
                break;
            log << QStringLiteral("command %1").arg(a->data().toInt());
            m_p->frame()->executeCommand(a->data().toInt());
            break;
        }
        }
    }

    Program *m_p;
    std::mt19937_64 m_rng;
    QTimer m_timer;
    int m_left = 0;
    int m_given = 0;
};

// A context menu opened by the input would hold the test in its loop: it is
// closed, and counted (none may open while an operation runs).
class PopupCloser : public QObject {
public:
    int closed = 0;
    PopupCloser()
    {
        connect(&m_timer, &QTimer::timeout, this, [this] {
            if (QWidget *w = QApplication::activePopupWidget()) {
                ++closed;
                w->close();
            }
        });
        m_timer.start(20);
    }

private:
    QTimer m_timer;
};

} // namespace

class MonkeyTest : public QObject {
    Q_OBJECT

public:
    explicit MonkeyTest(CTunedexApp *app) : m_app(app) {}

private:
    CTunedexApp *m_app;

    // Waits until the operation that `start` begins has shown its window and
    // ended; the monkey plays meanwhile.
    static bool runWith(Monkey &monkey, int inputs, const std::function<void()> &start)
    {
        bool seen = false;
        During watch([&] { return (seen = seen || libraryWindow()), false; }, [] {});
        monkey.arm(inputs);
        start();
        const bool ended = QTest::qWaitFor([&] { return seen && !libraryWindow(); }, 120000);
        monkey.disarm();
        QTest::qWait(200);
        std::fprintf(stderr, "monkey: %d inputs during the operation\n", monkey.given());
        return ended;
    }

private slots:
    void monkeyDuringLongOperations()
    {
        const quint64 seed = envNumber("MONKEY_SEED", quint64(QDateTime::currentMSecsSinceEpoch()));
        const int inputs = int(envNumber("MONKEY_INPUTS", 150));
        const int rounds = int(envNumber("MONKEY_ROUNDS", 1));
        std::fprintf(stderr, "monkey: seed %llu, %d inputs per operation, %d round(s)\n",
                     static_cast<unsigned long long>(seed), inputs, rounds);

        Program p(m_app);
        ModalGuard guard;
        PopupCloser popups;
        QVERIFY(p.startPlayer());
        QVERIFY(p.startProgram());
        Monkey monkey(&p, seed);
        QVERIFY(writeFile(p.pc(QStringLiteral("dropped.mp3")), QByteArray(1000, 'd')));
        const QString upgradeFile = p.pc(QStringLiteral("codec.bin"));
        const auto failure = [&](const char *what, int round) {
            return QStringLiteral("%1 (seed %2, round %3): %4")
                .arg(QLatin1String(what))
                .arg(seed)
                .arg(round)
                .arg(monkey.log.mid(qMax(0, int(monkey.log.size()) - 40)).join(QLatin1Char(',')));
        };

        for (int round = 0; round < rounds; ++round) {
            if (!p.frame())
                QVERIFY(p.startProgram());
            // ---- A long copy to the player.
            const QString name = QStringLiteral("SONG%1.MP3").arg(round);
            const QByteArray song = patterned(1 << 20, quint32(seed + round));
            QVERIFY(writeFile(p.pc(name), song));
            p.desk()->listCurrentPlace();
            QTRY_VERIFY(p.deskRow(name) >= 0);
            p.desk()->list()->selectRows({p.deskRow(name)});
            p.frame()->updateCommandStates();
            p.player->Link().bytesPerSecond = 256000;
            QVERIFY(runWith(monkey, inputs, [&] { p.child()->runTransfer(CChildView::DownloadInternal); }));
            p.player->Link().bytesPerSecond = 0;
            QVERIFY2(p.onPlayer(QLatin1Char('/') + name) == song, qPrintable(failure("copy to the player", round)));
            QCOMPARE(p.namesOnPlayer(QStringLiteral("internal.img")), QStringList{name});
            QCOMPARE(p.fsck(QStringLiteral("internal.img")), QString());
            QVERIFY(p.namesOnPlayer(QStringLiteral("card.img")).isEmpty());

            // ---- A long copy from it, into a folder without that file.
            QVERIFY(QFile::remove(p.pc(name)));
            p.desk()->listCurrentPlace();
            p.memory(0)->refresh(true);
            QTRY_VERIFY(p.memRow(0, name) >= 0);
            p.memory(0)->list()->selectRows({p.memRow(0, name)});
            p.frame()->updateCommandStates();
            p.player->Link().bytesPerSecond = 256000;
            QVERIFY(runWith(monkey, inputs, [&] { p.child()->runTransfer(CChildView::UploadInternal); }));
            p.player->Link().bytesPerSecond = 0;
            QVERIFY2(readFile(p.pc(name)) == song, qPrintable(failure("copy from the player", round)));
            QCOMPARE(p.namesOnPlayer(QStringLiteral("internal.img")), QStringList{name});

            // ---- A slow format of the internal memory.
            p.prompter.asked.clear();
            p.player->Faults().slowMs = 400;
            QVERIFY(runWith(monkey, inputs, [&] { p.frame()->executeCommand(cmd::FormatInternal); }));
            p.player->Faults().slowMs = 0;
            QCOMPARE(p.prompter.asked, QStringList{QStringLiteral("Format")});
            QVERIFY2(p.namesOnPlayer(QStringLiteral("internal.img")).isEmpty(), qPrintable(failure("format", round)));
            QCOMPARE(p.fsck(QStringLiteral("internal.img")), QString());
            QCOMPARE(p.fsck(QStringLiteral("card.img")), QString());

            // ---- The application code, after which the program closes itself.
            const QByteArray image = patterned(256 * 1024, quint32(seed + 100 + round));
            QVERIFY(writeFile(upgradeFile, image));
            p.ui.fileAnswer = upgradeFile;
            p.ui.messages.clear();
            p.player->Link().bytesPerSecond = 150000;
            p.player->Faults().slowMs = 50;
            QVERIFY(runWith(monkey, inputs, [&] { p.frame()->executeCommand(cmd::UpgradeApplication); }));
            p.player->Link().bytesPerSecond = 0;
            p.player->Faults().slowMs = 0;
            QVERIFY2(readFile(p.state(QStringLiteral("app.bin"))) == image, qPrintable(failure("upgrade", round)));
            QVERIFY2(p.ui.messages.contains(QStringLiteral("Please restart this program~|ROM upagde was succeeded.\n"
                                                           "Please, Unplug USB connector!\nPlease restart this program~")),
                     qPrintable(p.ui.messages.join(QLatin1Char(';'))));
            QTRY_VERIFY(!p.frame() || !p.frame()->isVisible());
            p.stopProgram();
            QVERIFY(QFile::remove(p.pc(name)));
        }

        // ---- The program still works.
        QVERIFY(p.startProgram());
        const QByteArray small = patterned(40000, 99);
        QVERIFY(writeFile(p.pc(QStringLiteral("AFTER.MP3")), small));
        p.desk()->listCurrentPlace();
        QTRY_VERIFY(p.deskRow(QStringLiteral("AFTER.MP3")) >= 0);
        p.desk()->list()->selectRows({p.deskRow(QStringLiteral("AFTER.MP3"))});
        p.frame()->updateCommandStates();
        p.child()->runTransfer(CChildView::DownloadInternal);
        QCOMPARE(p.onPlayer(QStringLiteral("/AFTER.MP3")), small);
        QVERIFY(p.memRow(0, QStringLiteral("AFTER.MP3")) >= 0);
        QCOMPARE(p.fsck(QStringLiteral("internal.img")), QString());
        p.stopProgram();
        p.stopPlayer();
        // Only the about box may have come up (its command is the frame's own).
        guard.seen.removeAll(QStringLiteral("TuneDeck"));
        QVERIFY2(guard.seen.isEmpty(), qPrintable(guard.seen.join(QLatin1Char(','))));
        QCOMPARE(popups.closed, 0);
    }
};

int main(int argc, char **argv) { return zvc450test::RunProgramTest<MonkeyTest>(argc, argv); }

#include "monkey_test.moc"
