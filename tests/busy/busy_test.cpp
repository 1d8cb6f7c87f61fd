// One device operation at a time, tried as a user would: while a copy or a
// firmware upgrade runs, a double-click on a folder row, the Delete key or a
// right-button press reach the window through the window system (offscreen,
// or real X input with xdotool under Xvfb). Whatever they meet, the operation
// must end as it would have without them, and the player must hold exactly
// what was sent (mtools, fsck.fat). Also: Escape cancels a copy with or
// without a window manager, and a cancelled copy leaves no incomplete file
// on the player that looks whole.

#include "program_main.h"
#include "DragObj.h"
#include "program_fixture.h"

#include <QMenu>
#include <QSignalSpy>
#include <QToolButton>

using namespace fixture;

namespace {

// The copies crawl at this speed, so that the input arrives in the middle of
// the data phase.
constexpr uint32_t kSlowBus = 400000;
constexpr int kCopySize = (3 << 20) / 2;

QString libraryStatus()
{
    QWidget *w = libraryWindow();
    const QLabel *label = w ? w->findChild<QLabel *>(QStringLiteral("status")) : nullptr;
    return label ? label->toolTip() : QString();
}

// Popups (a context menu) are closed as well, and counted.
class PopupGuard : public QObject {
public:
    QStringList seen;
    PopupGuard()
    {
        connect(&m_timer, &QTimer::timeout, this, [this] {
            if (QWidget *w = QApplication::activePopupWidget()) {
                seen << w->metaObject()->className();
                w->close();
            }
        });
        m_timer.start(20);
    }

private:
    QTimer m_timer;
};

} // namespace

class BusyTest : public QObject {
    Q_OBJECT

public:
    explicit BusyTest(CTunedexApp *app) : m_app(app) {}

private:
    CTunedexApp *m_app;
    std::unique_ptr<Program> p;
    std::unique_ptr<ModalGuard> m_guard;
    std::unique_ptr<PopupGuard> m_popups;

    // Starts a copy of the desktop's selected file to the internal memory
    // with a click on the transfer button, runs `input` once the copy is in
    // its data phase, and returns when the copy has ended.
    void copyWith(const std::function<void()> &input, int atPercent = 5)
    {
        bool seen = false;
        During during(
            [&] {
                seen = seen || libraryWindow();
                return libraryPercent() >= atPercent;
            },
            input);
        p->frame()->updateCommandStates();
        QToolButton *button = p->child()->transferButton(CChildView::DownloadInternal);
        QVERIFY(button->isEnabled());
        p->hand->click(button, button->rect().center());
        QTRY_VERIFY_WITH_TIMEOUT(seen && !libraryWindow(), 60000);
        QVERIFY2(during.done(), "the copy ended before the input was given");
        // Input still on its way is handled now, after the copy.
        QTest::qWait(300);
    }

    // A PC file of kCopySize bytes, selected in the desktop pane.
    QByteArray selectPcFile(const QString &name)
    {
        const QByteArray content = patterned(kCopySize, 7);
        if (!writeFile(p->pc(name), content))
            return QByteArray();
        if (!p->listPc(1))
            return QByteArray();
        p->desk()->list()->selectRows({p->deskRow(name)});
        return content;
    }

private slots:
    void init()
    {
        p = std::make_unique<Program>(m_app);
        m_guard = std::make_unique<ModalGuard>();
        m_popups = std::make_unique<PopupGuard>();
    }

    void cleanup()
    {
        p->stopProgram();
        p->stopPlayer();
        p.reset();
        QVERIFY2(m_guard->seen.isEmpty(), qPrintable(m_guard->seen.join(QLatin1Char(','))));
        QVERIFY2(m_popups->seen.isEmpty(), qPrintable(m_popups->seen.join(QLatin1Char(','))));
        m_guard.reset();
        m_popups.reset();
    }

    // A double-click on a folder row of the player's pane while a copy to the
    // player runs: the copy goes on undisturbed, the pane stays where it was.
    void doubleClickDuringCopy()
    {
        QVERIFY(p->startPlayer(kSlowBus));
        QVERIFY(p->startProgram());
        QCOMPARE(zvs450_MakeDirectory(0, QStringLiteral("SUB")), 0);
        p->memory(0)->refresh(true);
        const QByteArray content = selectPcFile(QStringLiteral("BIG.MP3"));
        QVERIFY(!content.isEmpty());
        HFileListCtrl *list = p->memory(0)->list();
        const int sub = p->memRow(0, QStringLiteral("SUB"));
        QVERIFY(sub >= 0);

        copyWith([&] { p->hand->doubleClick(list->viewport(), p->rowCentre(list, sub)); });

        QCOMPARE(p->onPlayer(QStringLiteral("/BIG.MP3")), content);
        QCOMPARE(p->memory(0)->currentPath(), QStringLiteral("/"));
        QCOMPARE(p->fsck(QStringLiteral("internal.img")), QString());
        // The program still works: the double-click now opens the folder.
        p->hand->doubleClick(list->viewport(), p->rowCentre(list, p->memRow(0, QStringLiteral("SUB"))));
        QTRY_COMPARE(p->memory(0)->currentPath(), QStringLiteral("/SUB"));
    }

    // Delete on the player's pane while a copy runs: nothing is asked, nothing
    // deleted, and the copy arrives whole.
    void deleteDuringCopy()
    {
        QVERIFY(p->startPlayer(kSlowBus));
        QVERIFY(p->startProgram());
        const QByteArray old = patterned(20000, 3);
        QVERIFY(writeFile(p->pc(QStringLiteral("OLD.MP3")), old));
        HFileTransferList first;
        first.add(p->pc(QStringLiteral("OLD.MP3")), -1, 0);
        QCOMPARE(zvs450_Download(nullptr, 0, first), 0);
        QVERIFY(QFile::remove(p->pc(QStringLiteral("OLD.MP3"))));
        p->memory(0)->refresh(true);
        const QByteArray content = selectPcFile(QStringLiteral("BIG.MP3"));
        QVERIFY(!content.isEmpty());
        p->frame()->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(p->frame()));
        // The player's file is selected and its list has the keyboard focus.
        HFileListCtrl *list = p->memory(0)->list();
        p->hand->click(list->viewport(), p->rowCentre(list, p->memRow(0, QStringLiteral("OLD.MP3"))));
        QTRY_VERIFY(list->hasFocus());
        QTRY_COMPARE(list->selectedCount(), 1);

        // Back to the list (where a window manager gives the main window the
        // keyboard again) and Delete.
        copyWith([&] {
            p->hand->click(list->viewport(), p->rowCentre(list, p->memRow(0, QStringLiteral("OLD.MP3"))));
            p->hand->key(Qt::Key_Delete);
        });

        QVERIFY2(p->prompter.asked.isEmpty(), qPrintable(p->prompter.asked.join(QLatin1Char(','))));
        QCOMPARE(p->onPlayer(QStringLiteral("/OLD.MP3")), old);
        QCOMPARE(p->onPlayer(QStringLiteral("/BIG.MP3")), content);
        QCOMPARE(p->fsck(QStringLiteral("internal.img")), QString());
    }

    // A double-click on a folder row while the application code is written:
    // the player's code area holds exactly the file, and success is said only then.
    void doubleClickDuringUpgrade()
    {
        QVERIFY(p->startPlayer(150000));
        QVERIFY(p->startProgram());
        QCOMPARE(zvs450_MakeDirectory(0, QStringLiteral("SUB")), 0);
        p->memory(0)->refresh(true);
        const QByteArray image = patterned(300 * 1024, 11);
        const QString file = p->pc(QStringLiteral("codec.bin"));
        QVERIFY(writeFile(file, image));
        p->ui.fileAnswer = file;
        HFileListCtrl *list = p->memory(0)->list();
        const int sub = p->memRow(0, QStringLiteral("SUB"));
        QVERIFY(sub >= 0);

        During during([&] { return libraryStatus() == file && libraryPercent() >= 10; },
                      [&] { p->hand->doubleClick(list->viewport(), p->rowCentre(list, sub)); });
        p->frame()->executeCommand(cmd::UpgradeApplication);
        QVERIFY2(during.done(), "the upgrade ended before the input was given");
        QTest::qWait(300);

        QCOMPARE(readFile(p->state(QStringLiteral("app.bin"))), image);
        QCOMPARE(p->ui.messages.value(0),
                 QStringLiteral("Please restart this program~|ROM upagde was succeeded.\n"
                                "Please, Unplug USB connector!\nPlease restart this program~"));
        QCOMPARE(p->ui.messages.size(), 1);
    }

    // Escape cancels a copy at once, whether or not a window manager gives the
    // progress window the keyboard; the first part of the file that reached
    // the player is deleted again, and the user is told.
    void escapeCancelsCopyAndRemovesTheIncompleteFile()
    {
        QVERIFY(p->startPlayer(kSlowBus));
        QVERIFY(p->startProgram());
        const QByteArray content = selectPcFile(QStringLiteral("CUT.MP3"));
        QVERIFY(!content.isEmpty());

        copyWith([&] { p->hand->key(Qt::Key_Escape); }, 20);

        QVERIFY2(!p->namesOnPlayer(QStringLiteral("internal.img")).contains(QStringLiteral("CUT.MP3")),
                 qPrintable(p->namesOnPlayer(QStringLiteral("internal.img")).join(QLatin1Char(','))));
        QCOMPARE(p->memRow(0, QStringLiteral("CUT.MP3")), -1);
        QCOMPARE(p->ui.messages.size(), 1);
        QVERIFY2(p->ui.messages.value(0).contains(QStringLiteral("CUT.MP3"))
                     && p->ui.messages.value(0).contains(QStringLiteral("deleted")),
                 qPrintable(p->ui.messages.value(0)));
        QCOMPARE(p->fsck(QStringLiteral("internal.img")), QString());
    }

    // The right button ends a drag without a drop, and does nothing else: no
    // context menu opens under the pointer.
    void rightButtonOnlyCancelsTheDrag()
    {
        QVERIFY(p->startPlayer());
        QVERIFY(p->startProgram());
        QVERIFY(writeFile(p->pc(QStringLiteral("KEEP.MP3")), QByteArray(4000, 'k')));
        QVERIFY(p->listPc(1));
        HFileListCtrl *from = p->desk()->list();
        const QPoint press = p->rowCentre(from, 0);
        from->selectRows({0});

        HDragObject *source = p->child()->dragDrop()->desktopSource();
        QSignalSpy ended(source, &HDragObject::dragEnded);
        QWidget *to = p->memory(0)->list()->viewport();
        const QPoint over = to->rect().center();
        During during([&] { return source->isDragging(); }, [&] {
            p->hand->move(to, over);
            p->hand->pause();
            p->hand->press(to, over, Qt::RightButton);
            p->hand->pause();
            p->hand->release(to, over, Qt::RightButton);
            p->hand->release(to, over, Qt::LeftButton);
        });
        p->hand->press(from->viewport(), press);
        p->hand->pause();
        p->hand->move(from->viewport(), press + QPoint(2, 2));
        p->hand->pause();
        p->hand->move(from->viewport(), press + QPoint(QApplication::startDragDistance() + 8, 4));
        p->hand->pause();
        QTRY_VERIFY_WITH_TIMEOUT(during.done() && ended.size() == 1, 10000);
        QTest::qWait(300);

        QCOMPARE(ended.at(0).at(0).toBool(), false);
        QVERIFY(!source->isDragging());
        QVERIFY(!QApplication::activePopupWidget());
        QVERIFY2(m_popups->seen.isEmpty(), qPrintable(m_popups->seen.join(QLatin1Char(','))));
        QVERIFY(p->prompter.asked.isEmpty());
        QVERIFY(!p->namesOnPlayer(QStringLiteral("internal.img")).contains(QStringLiteral("KEEP.MP3")));
    }
};

int main(int argc, char **argv) { return zvc450test::RunProgramTest<BusyTest>(argc, argv); }

#include "busy_test.moc"
