// The program's own drag and drop and the transfer buttons, offscreen, against the
// emulated player running in a thread of the test and a temporary PC folder: drags
// are driven with mouse and key events as a user's hand would give them (the
// press and the first moves reach the list, the rest arrive while the drag holds
// the mouse), downloads in on-screen order, the directory message, uploads with the
// overwrite question, the ways a drag ends without a transfer, the cursor and the
// picture, and the transfer buttons' enabling rules.

#include "ChildView.h"
#include "Commands.h"
#include "DeskView.h"
#include "DragObj.h"
#include "DropObj.h"
#include "FileListCtrl.h"
#include "MainFrm.h"
#include "Mp3MemVw.h"
#include "RegKeys.h"
#include "TreeCtrlFolder.h"
#include "emulator.h"
#include "zvs450.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QDrag>
#include <QDropEvent>
#include <QFile>
#include <QHeaderView>
#include <QMimeData>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QWindow>

#include <functional>
#include <memory>

namespace {

// The memory views' messages and questions.
class TestPrompter : public HMemPrompter {
public:
    QStringList messages;
    QList<Icon> icons;
    bool confirm(QWidget *, const QString &, const QString &, Icon) override { return true; }
    void message(QWidget *, const QString &, const QString &text, Icon icon) override
    {
        messages << text;
        icons << icon;
    }
    void showSystemError(QWidget *, int error, const QString &path) override
    {
        messages << QStringLiteral("errno %1 %2").arg(error).arg(path);
    }
};

// The session's questions: the overwrite answers in turn, Cancel when they run out.
class ScriptedUi : public Zvs450Ui {
public:
    QList<Answer> answers;
    QStringList questions;
    QStringList messages;
    Answer question(QWidget *, const QString &text, const QString &) override
    {
        questions << text;
        return answers.isEmpty() ? Answer::Cancel : answers.takeFirst();
    }
    void message(QWidget *, const QString &text, const QString &) override { messages << text; }
    QString openFile(QWidget *, const QString &, const QString &, const QString &) override { return QString(); }
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
                seen << w->windowTitle() + QLatin1Char(':') + w->property("text").toString();
                w->close();
            }
        });
        m_timer.start(50);
    }

private:
    QTimer m_timer;
};

QStringList memoryNames(const HMp3MemView *view)
{
    QStringList names;
    for (const MemItemData &d : view->model()->rows())
        if (!d.isDirectory())
            names << d.name;
    return names;
}

// The player's file names in its own order (file index).
QStringList playerOrder(const HMp3MemView *view)
{
    QStringList names(int(view->model()->rows().size()));
    int files = 0;
    for (const MemItemData &d : view->model()->rows())
        if (!d.isDirectory() && d.fileIndex >= 0 && d.fileIndex < names.size()) {
            names[d.fileIndex] = d.name;
            ++files;
        }
    names.resize(files);
    return names;
}

QStringList selectedNames(const HMp3MemView *view)
{
    QStringList names;
    for (int r : view->list()->selectedRows())
        names << view->model()->rows()[size_t(r)].name;
    return names;
}

int deskRow(const HDesktopView *desk, const QString &name)
{
    for (int r = 0; r < desk->model()->rowCount(); ++r)
        if (desk->model()->row(r).name == name)
            return r;
    return -1;
}

int memRow(const HMp3MemView *view, const QString &name)
{
    const auto &rows = view->model()->rows();
    for (size_t r = 0; r < rows.size(); ++r)
        if (rows[r].name == name)
            return int(r);
    return -1;
}

QPoint rowCentre(HFileListCtrl *list, int row)
{
    return list->visualRect(list->model()->index(row, 0)).center();
}

// How a drag ends once the cursor is over `to` (Leave: it has ended by itself there).
enum class Ending { Release, Escape, RightButton, Leave };

} // namespace

Q_DECLARE_METATYPE(QList<Zvs450Ui::Answer>)

class DndTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<emu::Emulator> m_player;
    std::unique_ptr<CChildView> m_child;
    TestPrompter m_prompter;
    ScriptedUi m_ui;
    std::unique_ptr<ModalGuard> m_guard;

    QString pc(const QString &name = QString()) const
    {
        return m_dir->filePath(QStringLiteral("pc")) + (name.isEmpty() ? QString() : QLatin1Char('/') + name);
    }

    static bool writeFile(const QString &path, const QByteArray &bytes)
    {
        QFile f(path);
        return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
    }

    static QByteArray readFile(const QString &path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    HDesktopView *desk() const { return m_child->desktopView(); }
    HMp3MemView *memory(int i) const { return m_child->memoryView(i); }

    // The player (8 MiB internal memory, a 1 MiB card when asked) and the client view
    // with the desktop pane in the test's PC folder.
    bool start(bool card = true)
    {
        emu::EmulatorOptions options;
        options.state.folder = m_dir->filePath(QStringLiteral("player")).toStdString();
        options.state.internalBytes = 8u << 20;
        options.state.cardBytes = 1u << 20;
        options.state.card = card;
        options.socketPath = m_dir->filePath(QStringLiteral("link")).toStdString();
        m_player = std::make_unique<emu::Emulator>(options);
        std::string error;
        if (!m_player->Start(&error)) {
            qWarning("player did not start: %s", error.c_str());
            return false;
        }
        qputenv("ZVC450_VUSB", QByteArray::fromStdString(options.socketPath));
        RegKeys::setLastDirectory(pc());
        zvs450_Initialize();
        m_child = std::make_unique<CChildView>();
        m_child->deviceContainer()->setPrompter(&m_prompter);
        m_child->resize(1000, 700);
        m_child->show();
        m_child->activateWindow();
        m_child->reconnect();
        return QTest::qWaitForWindowExposed(m_child.get()) && memory(0) && memory(0)->isUsable();
    }

    // Lists the PC folder again and waits for the rows.
    void listPc(int rows)
    {
        desk()->listCurrentPlace();
        QTRY_COMPARE(desk()->model()->rowCount(), rows);
    }

    // Copies PC files to memory 0 without the views.
    bool putOnPlayer(const QStringList &names)
    {
        HFileTransferList list;
        for (const QString &n : names)
            list.add(pc(n), -1, 0);
        const bool ok = zvs450_Download(nullptr, 0, list) == 0;
        memory(0)->refresh(true);
        return ok;
    }

    // Presses on a selected row of `from`, moves far enough for the list to start a
    // drag, and while the drag holds the mouse moves over `to` at `toPos` and ends
    // it as told. `during` runs with the cursor over `to`, before the end.
    void drag(HFileListCtrl *from, QWidget *to, QPoint toPos, Ending ending,
              const std::function<void()> &during = {})
    {
        const int row = from->selectedRows().value(0, -1);
        QVERIFY(row >= 0);
        QWidget *vp = from->viewport();
        const QPoint press = rowCentre(from, row);
        bool ran = false;
        QTimer feed;
        feed.setSingleShot(true);
        connect(&feed, &QTimer::timeout, this, [&] {
            ran = true;
            QTest::mouseMove(to, toPos);
            if (during)
                during();
            switch (ending) {
            case Ending::Release:
                QTest::mouseRelease(to, Qt::LeftButton, {}, toPos);
                break;
            case Ending::Escape:
                QTest::keyClick(to, Qt::Key_Escape);
                QTest::mouseRelease(to, Qt::LeftButton, {}, toPos);
                break;
            case Ending::RightButton:
                QTest::mousePress(to, Qt::RightButton, {}, toPos);
                QTest::mouseRelease(to, Qt::RightButton, {}, toPos);
                QTest::mouseRelease(to, Qt::LeftButton, {}, toPos);
                break;
            case Ending::Leave:
                break;
            }
        });
        feed.start(0);
        QTest::mousePress(vp, Qt::LeftButton, {}, press);
        QTest::mouseMove(vp, press + QPoint(1, 1));
        QTest::mouseMove(vp, press + QPoint(QApplication::startDragDistance() + 5, 0));
        // The drag's loop has run the moves and the end by now.
        QVERIFY(ran);
        QVERIFY(!m_child->dragDrop()->desktopSource()->isDragging());
        QTest::mouseRelease(vp, Qt::LeftButton, {}, press);  // no-op when the drag took it
    }

    QPoint memCentre(int i) const { return memory(i)->list()->viewport()->rect().center(); }

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QDir().mkpath(pc());
        QSettings(QString::fromLatin1(RegKeys::kOrganization), QString::fromLatin1(RegKeys::kApplication)).clear();
        RegKeys::setFileListFilter(QStringLiteral("*.*"));
        m_prompter = TestPrompter();
        m_ui = ScriptedUi();
        zvs450_SetUi(&m_ui);
        m_guard = std::make_unique<ModalGuard>();
    }

    void cleanup()
    {
        m_child.reset();
        zvs450_Terminate();
        if (m_player)
            m_player->Stop();
        m_player.reset();
        zvs450_SetUi(nullptr);
        m_dir.reset();
        QVERIFY(!QApplication::overrideCursor());
        QVERIFY2(m_guard->seen.isEmpty(), qPrintable(m_guard->seen.join(QLatin1Char(','))));
        m_guard.reset();
    }

    // ---- Downloads ----

    void dragToMemoryDownloadsInRowOrder()
    {
        QVERIFY(writeFile(pc(QStringLiteral("A.MP3")), QByteArray(30000, 'a')));
        QVERIFY(writeFile(pc(QStringLiteral("B.MP3")), QByteArray(20000, 'b')));
        QVERIFY(writeFile(pc(QStringLiteral("C.MP3")), QByteArray(10000, 'c')));
        QVERIFY(start());
        listPc(3);
        // Smallest first, so the rows' order is not the names' order.
        for (int i = 0; i < 2 && deskRow(desk(), QStringLiteral("C.MP3")) != 0; ++i)
            desk()->sortByColumnClick(HDeskListModel::ColSize);
        QCOMPARE(deskRow(desk(), QStringLiteral("C.MP3")), 0);
        QCOMPARE(deskRow(desk(), QStringLiteral("A.MP3")), 2);
        desk()->list()->selectRows({2, 0});

        HDragObject *source = m_child->dragDrop()->desktopSource();
        QSignalSpy ended(source, &HDragObject::dragEnded);
        drag(desk()->list(), memory(0)->list()->viewport(), memCentre(0), Ending::Release);

        QCOMPARE(ended.size(), 1);
        QCOMPARE(ended.at(0).at(0).toBool(), true);
        QCOMPARE(playerOrder(memory(0)), QStringList({QStringLiteral("C.MP3"), QStringLiteral("A.MP3")}));
        QStringList selected = selectedNames(memory(0));
        selected.sort();
        QCOMPARE(selected, QStringList({QStringLiteral("A.MP3"), QStringLiteral("C.MP3")}));
        QVERIFY(m_prompter.messages.isEmpty());
        // The drop landed where it was released: the card has nothing.
        QVERIFY(memoryNames(memory(1)).isEmpty());
    }

    void dragFolderShowsDirectoryMessage_data()
    {
        QTest::addColumn<bool>("drive");
        QTest::newRow("folder among files") << false;
        QTest::newRow("drive row") << true;
    }
    void dragFolderShowsDirectoryMessage()
    {
        QFETCH(bool, drive);
        QVERIFY(writeFile(pc(QStringLiteral("X.MP3")), QByteArray(1000, 'x')));
        QVERIFY(QDir().mkpath(pc(QStringLiteral("SUB"))));
        QVERIFY(start());
        listPc(2);
        QString path;
        if (drive) {
            HTreeCtrlFolder *tree = desk()->folderComboBox()->tree();
            tree->makeCurrent(tree->findKind(kFolderDrives), true);
            QTRY_VERIFY(desk()->model()->rowCount() > 0);
            QCOMPARE(desk()->model()->row(0).kind, int(kDeskDrive));
            path = desk()->model()->row(0).rootPath;
            desk()->list()->selectRows({0});
        } else {
            path = pc(QStringLiteral("SUB"));
            desk()->list()->selectRows({deskRow(desk(), QStringLiteral("X.MP3")), deskRow(desk(), QStringLiteral("SUB"))});
        }
        QSignalSpy refreshed(memory(0), &HMp3MemView::refreshed);
        drag(desk()->list(), memory(0)->list()->viewport(), memCentre(0), Ending::Release);

        QCOMPARE(m_prompter.messages,
                 QStringList(path + QStringLiteral("\nCannot download/upload the directory.")));
        // Nothing reached the player, and the view was left as it was.
        memory(0)->refresh(true);
        QVERIFY(memoryNames(memory(0)).isEmpty());
        QCOMPARE(refreshed.size(), 1);
    }

    // ---- Uploads ----

    void dragToDesktopUploads_data()
    {
        using A = Zvs450Ui::Answer;
        QTest::addColumn<QList<A>>("answers");
        QTest::addColumn<int>("questions");
        QTest::addColumn<bool>("oneReplaced");
        QTest::addColumn<bool>("twoReplaced");
        QTest::newRow("Yes, Yes") << QList<A>{A::Yes, A::Yes} << 2 << true << true;
        QTest::newRow("No, Yes") << QList<A>{A::No, A::Yes} << 2 << false << true;
        QTest::newRow("Cancel ends the batch") << QList<A>{A::Cancel, A::Yes} << 1 << false << false;
    }
    void dragToDesktopUploads()
    {
        QFETCH(QList<Zvs450Ui::Answer>, answers);
        QFETCH(int, questions);
        QFETCH(bool, oneReplaced);
        QFETCH(bool, twoReplaced);
        const QByteArray onPlayer1(7000, '1'), onPlayer2(9000, '2'), onPlayer3(513, '3');
        QVERIFY(writeFile(pc(QStringLiteral("ONE.MP3")), onPlayer1));
        QVERIFY(writeFile(pc(QStringLiteral("TWO.MP3")), onPlayer2));
        QVERIFY(writeFile(pc(QStringLiteral("PAD.MP3")), onPlayer3));
        QVERIFY(start());
        QVERIFY(putOnPlayer({QStringLiteral("ONE.MP3"), QStringLiteral("PAD.MP3"), QStringLiteral("TWO.MP3")}));
        // On the PC: older copies of two of them; the third is not there.
        QVERIFY(QFile::remove(pc(QStringLiteral("PAD.MP3"))));
        QVERIFY(writeFile(pc(QStringLiteral("ONE.MP3")), "old one"));
        QVERIFY(writeFile(pc(QStringLiteral("TWO.MP3")), "old two"));
        listPc(2);
        HMp3MemView *view = memory(0);
        view->list()->selectRows({memRow(view, QStringLiteral("ONE.MP3")), memRow(view, QStringLiteral("PAD.MP3")),
                                  memRow(view, QStringLiteral("TWO.MP3"))});
        m_ui.answers = answers;

        HDragObject *source = m_child->dragDrop()->memorySource(0);
        QVERIFY(source);
        QSignalSpy ended(source, &HDragObject::dragEnded);
        drag(view->list(), desk()->list()->viewport(), desk()->list()->viewport()->rect().center(), Ending::Release);

        QCOMPARE(ended.size(), 1);
        QCOMPARE(m_ui.questions.size(), questions);
        // Each question names its file in the box, under the question's text.
        const QStringList named = {pc(QStringLiteral("ONE.MP3")), pc(QStringLiteral("TWO.MP3"))};
        for (int i = 0; i < m_ui.questions.size(); ++i)
            QCOMPARE(m_ui.questions[i], QString::fromLatin1(text::kOverwrite) + QStringLiteral("\n\n") + named.value(i));
        QCOMPARE(readFile(pc(QStringLiteral("ONE.MP3"))), oneReplaced ? onPlayer1 : QByteArray("old one"));
        QCOMPARE(readFile(pc(QStringLiteral("TWO.MP3"))), twoReplaced ? onPlayer2 : QByteArray("old two"));
        // The new file comes second in the batch (rows by name): a Cancel at the first question stops it too.
        const bool cancelled = answers.first() == Zvs450Ui::Answer::Cancel;
        QCOMPARE(readFile(pc(QStringLiteral("PAD.MP3"))), cancelled ? QByteArray() : onPlayer3);
        // The desktop listed its folder again whatever the batch came to.
        QCOMPARE(desk()->model()->rowCount(), cancelled ? 2 : 3);
        QCOMPARE(desk()->list()->selectedCount(), cancelled ? 2 : 3);
    }

    void uploadOfDirectoryIsRefused()
    {
        QVERIFY(writeFile(pc(QStringLiteral("SONG.MP3")), QByteArray(100, 's')));
        QVERIFY(start());
        QVERIFY(putOnPlayer({QStringLiteral("SONG.MP3")}));
        QVERIFY(zvs450_MakeDirectory(0, QStringLiteral("DIR")) == 0);
        memory(0)->refresh(true);
        QVERIFY(QFile::remove(pc(QStringLiteral("SONG.MP3"))));
        listPc(0);
        HMp3MemView *view = memory(0);
        view->list()->selectRows({memRow(view, QStringLiteral("SONG.MP3")), memRow(view, QStringLiteral("DIR"))});
        drag(view->list(), desk()->list()->viewport(), desk()->list()->viewport()->rect().center(), Ending::Release);
        QCOMPARE(m_prompter.messages, QStringList(QStringLiteral("Cannot download/upload the directory.")));
        QCOMPARE(m_prompter.icons, QList<HMemPrompter::Icon>({HMemPrompter::Icon::Stop}));
        QVERIFY(!QFile::exists(pc(QStringLiteral("SONG.MP3"))));
    }

    // ---- Drags that transfer nothing ----

    void dragEndsWithoutTransfer_data()
    {
        QTest::addColumn<bool>("fromDesktop");
        QTest::addColumn<int>("ending");
        QTest::addColumn<QString>("over");
        QTest::newRow("Escape over a memory") << true << int(Ending::Escape) << "memory";
        QTest::newRow("right button over a memory") << true << int(Ending::RightButton) << "memory";
        QTest::newRow("released over its own pane") << true << int(Ending::Release) << "source";
        QTest::newRow("released over the gap") << true << int(Ending::Release) << "gap";
        QTest::newRow("released over a memory without card") << true << int(Ending::Release) << "card";
        QTest::newRow("upload: Escape over the desktop") << false << int(Ending::Escape) << "desktop";
        QTest::newRow("upload: right button over the desktop") << false << int(Ending::RightButton) << "desktop";
        QTest::newRow("upload: released on the folder combo box") << false << int(Ending::Release) << "combo";
        QTest::newRow("upload: released on the up button") << false << int(Ending::Release) << "up";
        QTest::newRow("upload: released over its own pane") << false << int(Ending::Release) << "source";
    }
    void dragEndsWithoutTransfer()
    {
        QFETCH(bool, fromDesktop);
        QFETCH(int, ending);
        QFETCH(QString, over);
        QVERIFY(writeFile(pc(QStringLiteral("KEEP.MP3")), QByteArray(4000, 'k')));
        QVERIFY(start(over != QLatin1String("card")));
        if (!fromDesktop) {
            QVERIFY(putOnPlayer({QStringLiteral("KEEP.MP3")}));
            QVERIFY(QFile::remove(pc(QStringLiteral("KEEP.MP3"))));
            listPc(0);
            memory(0)->list()->selectRows({memRow(memory(0), QStringLiteral("KEEP.MP3"))});
        } else {
            listPc(1);
            desk()->list()->selectRows({0});
        }
        HFileListCtrl *from = fromDesktop ? desk()->list() : memory(0)->list();

        QWidget *to = nullptr;
        QPoint at;
        if (over == QLatin1String("memory")) {
            to = memory(0)->list()->viewport();
            at = memCentre(0);
        } else if (over == QLatin1String("card")) {
            to = memory(1);
            at = memory(1)->rect().center();
        } else if (over == QLatin1String("desktop")) {
            to = desk()->list()->viewport();
            at = to->rect().center();
        } else if (over == QLatin1String("combo")) {
            to = desk()->folderComboBox();
            at = to->rect().center();
        } else if (over == QLatin1String("up")) {
            to = desk()->upButton();
            at = to->rect().center();
        } else if (over == QLatin1String("source")) {
            to = from->viewport();
            at = to->rect().center() + QPoint(0, 40);
        } else {
            to = m_child.get();
            at = QPoint(m_child->desktopRect().right() + 5, 30);
        }

        QSignalSpy deskRefreshed(desk()->model(), &QAbstractItemModel::modelReset);
        QSignalSpy memRefreshed(memory(0), &HMp3MemView::refreshed);
        HDragObject *source = fromDesktop ? m_child->dragDrop()->desktopSource() : m_child->dragDrop()->memorySource(0);
        QSignalSpy ended(source, &HDragObject::dragEnded);
        bool noDropShown = false;
        drag(from, to, at, Ending(ending), [&] { noDropShown = source->showsNoDrop(); });

        QCOMPARE(ended.size(), 1);
        QCOMPARE(ended.at(0).at(0).toBool(), false);
        // Over a place that takes the rows the cursor was the arrow; elsewhere "no".
        const bool takes = over == QLatin1String("memory") || over == QLatin1String("desktop");
        QCOMPARE(noDropShown, !takes);
        // No transfer and no refresh.
        QCOMPARE(memRefreshed.size(), 0);
        QCOMPARE(deskRefreshed.size(), 0);
        QVERIFY(m_ui.questions.isEmpty());
        QVERIFY(m_prompter.messages.isEmpty());
        if (fromDesktop)
            QVERIFY(memoryNames(memory(0)).isEmpty());
        else
            QVERIFY(!QFile::exists(pc(QStringLiteral("KEEP.MP3"))));
    }

    // ---- The drag itself ----

    void pictureAndCursorFollowTheDrag()
    {
        QVERIFY(writeFile(pc(QStringLiteral("P1.MP3")), QByteArray(100, 'p')));
        QVERIFY(writeFile(pc(QStringLiteral("P2.MP3")), QByteArray(200, 'p')));
        QVERIFY(start());
        listPc(2);
        desk()->list()->selectRows({0, 1});
        HDragObject *source = m_child->dragDrop()->desktopSource();
        const QRect rows = desk()->list()->selectedRowsRect();
        QSize pictureSize;
        QPoint pictureOffset;
        Qt::CursorShape overMemory = Qt::BlankCursor, overDesktop = Qt::BlankCursor;
        QWidget *target = memory(0)->list()->viewport();
        const QPoint at = memCentre(0);
        drag(desk()->list(), target, at, Ending::Escape, [&] {
            QWidget *image = source->dragImageWindow();
            QVERIFY(image && image->isVisible());
            pictureSize = image->size();
            pictureOffset = target->mapToGlobal(at) - image->pos();
            if (QApplication::overrideCursor())
                overMemory = QApplication::overrideCursor()->shape();
            QTest::mouseMove(desk()->list()->viewport(), QPoint(5, 5));
            if (QApplication::overrideCursor())
                overDesktop = QApplication::overrideCursor()->shape();
            QTest::mouseMove(target, at);
        });
        QCOMPARE(pictureSize, rows.size());
        // The picture keeps the place the rows had under the cursor at the press.
        const QPoint press = rowCentre(desk()->list(), 0);
        QCOMPARE(pictureOffset, press - rows.topLeft());
        QCOMPARE(overMemory, Qt::ArrowCursor);
        QCOMPARE(overDesktop, Qt::ForbiddenCursor);
        QVERIFY(!source->dragImageWindow());
        QVERIFY(!QApplication::overrideCursor());
    }

    void registrationsAtConnect()
    {
        QVERIFY(start());
        HPaneDragDrop *dnd = m_child->dragDrop();
        QCOMPARE(dnd->desktopSource()->targets(), QList<HDropObject *>({dnd->memoryTarget(0), dnd->memoryTarget(1)}));
        QCOMPARE(dnd->memorySource(0)->targets(), QList<HDropObject *>({dnd->desktopTarget()}));
        QCOMPARE(dnd->memorySource(1)->targets(), QList<HDropObject *>({dnd->desktopTarget()}));
        // A second connect rebuilds them without doubling.
        m_child->reconnect();
        QCOMPARE(dnd->desktopSource()->targets().size(), 2);
        QCOMPARE(dnd->memorySource(0)->targets().size(), 1);
        // Only the desktop's list is its drop window; a memory takes drops on its strips.
        QCOMPARE(dnd->desktopTarget()->dropWindow(), static_cast<QWidget *>(desk()->list()));
        QCOMPARE(dnd->memoryTarget(0)->dropWindow(), static_cast<QWidget *>(memory(0)));
        const QPoint strip = memory(0)->mapToGlobal(QPoint(memory(0)->width() / 2, 5));
        QCOMPARE(dnd->desktopSource()->targetAt(strip), dnd->memoryTarget(0));
        QCOMPARE(dnd->memorySource(0)->targetAt(desk()->folderComboBox()->mapToGlobal(QPoint(5, 5))),
                 static_cast<HDropObject *>(nullptr));
    }

    // ---- Out of the window, to other programs ----

    void dragOutOfTheWindowCopiesFilesToTheCache()
    {
        const QByteArray one(7000, '1');
        // A recording of three frames: four 0x7F bytes, then an ADPCM block
        // (predictor, step index, nibbles).
        QByteArray recording;
        for (int i = 0; i < 3; ++i)
            recording += QByteArray(4, '\x7f') + char(i) + '\0' + char(i * 7) + '\0' + QByteArray(252, '\x77');
        QVERIFY(writeFile(pc(QStringLiteral("ONE.MP3")), one));
        QVERIFY(writeFile(pc(QStringLiteral("REC.BCW")), recording));
        QVERIFY(start());
        QVERIFY(putOnPlayer({QStringLiteral("ONE.MP3"), QStringLiteral("REC.BCW")}));
        QVERIFY(QFile::remove(pc(QStringLiteral("ONE.MP3"))));
        QVERIFY(QFile::remove(pc(QStringLiteral("REC.BCW"))));
        listPc(0);
        HMp3MemView *view = memory(0);
        view->list()->selectRows({memRow(view, QStringLiteral("ONE.MP3")), memRow(view, QStringLiteral("REC.BCW"))});
        HDragObject *source = m_child->dragDrop()->memorySource(0);
        QSignalSpy exported(source, &HDragObject::exported);
        QSignalSpy ended(source, &HDragObject::dragEnded);
        // Far beyond the window's edge: another program's window is there.
        QWidget *vp = view->list()->viewport();
        drag(view->list(), vp, vp->mapFromGlobal(m_child->frameGeometry().bottomRight() + QPoint(300, 300)),
             Ending::Leave);

        QCOMPARE(ended.size(), 1);
        QCOMPARE(ended.at(0).at(0).toBool(), false);
        QCOMPARE(exported.size(), 1);
        const QList<QUrl> files = exported.at(0).at(0).value<QList<QUrl>>();
        QCOMPARE(files.size(), 2);
        const QString cache = qEnvironmentVariable("XDG_CACHE_HOME");
        QStringList names;
        for (const QUrl &url : files) {
            QVERIFY(url.isLocalFile());
            const QString path = url.toLocalFile();
            QVERIFY2(path.startsWith(cache + QStringLiteral("/Brightfen/TuneDeck/drag-out/")), qPrintable(path));
            names << QFileInfo(path).fileName();
        }
        // The recording arrives as the Upload buttons give it: a WAV file holding its frames.
        QCOMPARE(names, QStringList({QStringLiteral("ONE.MP3"), QStringLiteral("REC.WAV")}));
        QCOMPARE(readFile(files.at(0).toLocalFile()), one);
        const QByteArray wav = readFile(files.at(1).toLocalFile());
        QVERIFY(wav.startsWith("RIFF") && wav.mid(8, 4) == "WAVE");
        QVERIFY2(wav.size() >= 44 + 3 * 256, qPrintable(QString::number(wav.size())));
        // Nothing went to the PC pane's folder, and nothing was asked.
        QVERIFY(!QFile::exists(pc(QStringLiteral("ONE.MP3"))));
        QVERIFY(m_ui.questions.isEmpty());
        QVERIFY2(m_ui.messages.isEmpty(), qPrintable(m_ui.messages.join(QLatin1Char('\n'))));
    }

    // The system drag's data: a memory offers its rows to other programs as
    // files, made once when one asks; the desktop's rows are only the panes'.
    void systemDragData()
    {
        QVERIFY(writeFile(pc(QStringLiteral("SONG.MP3")), QByteArray(3000, 's')));
        QVERIFY(start());
        QVERIFY(putOnPlayer({QStringLiteral("SONG.MP3")}));
        memory(0)->list()->selectRows({memRow(memory(0), QStringLiteral("SONG.MP3"))});
        HDragObject *memSource = m_child->dragDrop()->memorySource(0);
        HDragObject *deskSource = m_child->dragDrop()->desktopSource();
        QSignalSpy exported(memSource, &HDragObject::exported);
        std::unique_ptr<QMimeData> memData(memSource->createDragData());
        std::unique_ptr<QMimeData> deskData(deskSource->createDragData());
        QCOMPARE(memData->formats(), QStringList({"application/x-tunedex-rows", "text/uri-list"}));
        QCOMPARE(deskData->formats(), QStringList({"application/x-tunedex-rows"}));
        QVERIFY(memSource->isOwnDragData(memData.get()));
        QVERIFY(!memSource->isOwnDragData(deskData.get()));
        QVERIFY(!deskSource->isOwnDragData(memData.get()));
        QCOMPARE(exported.size(), 0);  // nothing copied until a program asks

        const QList<QUrl> urls = memData->urls();
        QCOMPARE(urls.size(), 1);
        QCOMPARE(readFile(urls.first().toLocalFile()), QByteArray(3000, 's'));
        QCOMPARE(memData->urls(), urls);
        QCOMPARE(exported.size(), 1);
    }

    // Where the window system gives no program the mouse, the drag goes through
    // its drag service; the program's windows take the drop by the same rules.
    void systemDragBetweenPanes_data()
    {
        QTest::addColumn<bool>("fromDesktop");
        QTest::addColumn<QString>("over");
        QTest::addColumn<bool>("takes");
        QTest::newRow("download onto a memory") << true << "memory" << true;
        QTest::newRow("download onto the card's strip") << true << "card strip" << true;
        QTest::newRow("download onto its own pane") << true << "desktop" << false;
        QTest::newRow("upload onto the desktop list") << false << "desktop" << true;
        QTest::newRow("upload onto the folder combo box") << false << "combo" << false;
        QTest::newRow("upload onto its own pane") << false << "memory" << false;
    }
    void systemDragBetweenPanes()
    {
        QFETCH(bool, fromDesktop);
        QFETCH(QString, over);
        QFETCH(bool, takes);
        QVERIFY(writeFile(pc(QStringLiteral("MOVE.MP3")), QByteArray(5000, 'm')));
        QVERIFY(start());
        if (fromDesktop) {
            listPc(1);
            desk()->list()->selectRows({0});
        } else {
            QVERIFY(putOnPlayer({QStringLiteral("MOVE.MP3")}));
            QVERIFY(QFile::remove(pc(QStringLiteral("MOVE.MP3"))));
            listPc(0);
            memory(0)->list()->selectRows({memRow(memory(0), QStringLiteral("MOVE.MP3"))});
        }
        HFileListCtrl *from = fromDesktop ? desk()->list() : memory(0)->list();
        QWidget *to = over == QLatin1String("memory")       ? memory(0)->list()->viewport()
                      : over == QLatin1String("card strip") ? static_cast<QWidget *>(memory(1))
                      : over == QLatin1String("combo")      ? static_cast<QWidget *>(desk()->folderComboBox())
                                                            : desk()->list()->viewport();
        const QPoint at = over == QLatin1String("card strip") ? QPoint(to->width() / 2, 5) : to->rect().center();

        HDragObject *source = fromDesktop ? m_child->dragDrop()->desktopSource() : m_child->dragDrop()->memorySource(0);
        source->setUsesSystemDrag(true);
        bool entered = false, dropped = false, stranger = true;
        source->setSystemDragRunner([&](QDrag *drag) {
            QVERIFY(source->isDragging());
            // Data that is not this drag's is left to the panes' own handling.
            QMimeData other;
            other.setData(QStringLiteral("application/x-tunedex-rows"), "1:2");
            QDragEnterEvent foreign(at, Qt::CopyAction, &other, Qt::LeftButton, {});
            stranger = QApplication::sendEvent(to, &foreign) && foreign.isAccepted();
            QDragEnterEvent enter(at, Qt::CopyAction, drag->mimeData(), Qt::LeftButton, {});
            QApplication::sendEvent(to, &enter);
            entered = enter.isAccepted();
            QCOMPARE(source->showsNoDrop(), !takes);
            QDropEvent drop(at, Qt::CopyAction, drag->mimeData(), {}, {});
            QApplication::sendEvent(to, &drop);
            dropped = drop.isAccepted();
        });
        QSignalSpy ended(source, &HDragObject::dragEnded);
        source->beginDrag(from->visualRect(from->model()->index(from->selectedRows().first(), 0)).center());

        QVERIFY(!stranger);
        QCOMPARE(entered, takes);
        QCOMPARE(dropped, takes);
        QCOMPARE(ended.size(), 1);
        QCOMPARE(ended.at(0).at(0).toBool(), takes);
        QVERIFY(!source->isDragging());
        const bool onPlayer = memRow(memory(over == QLatin1String("card strip") ? 1 : 0), QStringLiteral("MOVE.MP3")) >= 0;
        if (fromDesktop)
            QCOMPARE(onPlayer, takes);
        else
            QCOMPARE(QFile::exists(pc(QStringLiteral("MOVE.MP3"))), takes);
        // The windows take the system's drops again only where they did before.
        QVERIFY(!m_child->acceptDrops());
    }

    // ---- Clipboard ----

    bool commandEnabled(int id)
    {
        cmd::CommandState state;
        return m_child->commandState(id, &state) && state.enabled;
    }

    // The keyboard focus in a pane of the active window (a progress window that
    // came and went may have taken the activation with it).
    void focusOn(QWidget *w)
    {
        QApplication::setActiveWindow(m_child.get());
        w->setFocus(Qt::OtherFocusReason);
        QTRY_VERIFY(w->hasFocus());
    }

    void clipboardPcToPlayer_data()
    {
        QTest::addColumn<bool>("cut");
        QTest::newRow("copy") << false;
        QTest::newRow("cut: a move") << true;
    }
    void clipboardPcToPlayer()
    {
        QFETCH(bool, cut);
        QVERIFY(writeFile(pc(QStringLiteral("A.MP3")), QByteArray(6000, 'a')));
        QVERIFY(writeFile(pc(QStringLiteral("B.MP3")), QByteArray(600, 'b')));
        QVERIFY(start());
        listPc(2);
        focusOn(desk()->list());
        QVERIFY(!commandEnabled(cmd::EditCopy));
        desk()->list()->selectRows({0, 1});
        QVERIFY(commandEnabled(cmd::EditCopy));
        QVERIFY(commandEnabled(cmd::EditCut));
        QVERIFY(m_child->runCommand(cut ? cmd::EditCut : cmd::EditCopy));
        // Files for the file managers too, with the mark of a cut.
        const QMimeData *data = QGuiApplication::clipboard()->mimeData();
        QCOMPARE(data->urls(), QList<QUrl>({QUrl::fromLocalFile(pc(QStringLiteral("A.MP3"))),
                                            QUrl::fromLocalFile(pc(QStringLiteral("B.MP3")))}));
        QVERIFY(data->data(QStringLiteral("x-special/gnome-copied-files")).startsWith(cut ? "cut\n" : "copy\n"));
        // Not back into the pane it came from.
        QVERIFY(!commandEnabled(cmd::EditPaste));

        focusOn(memory(0)->list());
        QVERIFY(commandEnabled(cmd::EditPaste));
        QVERIFY(m_child->runCommand(cmd::EditPaste));
        QCOMPARE(playerOrder(memory(0)), QStringList({QStringLiteral("A.MP3"), QStringLiteral("B.MP3")}));
        QCOMPARE(QFile::exists(pc(QStringLiteral("A.MP3"))), !cut);
        QCOMPARE(QFile::exists(pc(QStringLiteral("B.MP3"))), !cut);
        QCOMPARE(desk()->model()->rowCount(), cut ? 0 : 2);
        // A move is done once: the clipboard is empty after it.
        focusOn(memory(0)->list());
        QCOMPARE(commandEnabled(cmd::EditPaste), !cut);
        QVERIFY(m_prompter.messages.isEmpty());
    }

    void clipboardPlayerToPc_data()
    {
        using A = Zvs450Ui::Answer;
        QTest::addColumn<bool>("cut");
        QTest::addColumn<QList<A>>("answers");
        QTest::newRow("copy, Yes to the overwrite question") << false << QList<A>{A::Yes};
        QTest::newRow("cut, No to the overwrite question") << true << QList<A>{A::No};
    }
    void clipboardPlayerToPc()
    {
        QFETCH(bool, cut);
        QFETCH(QList<Zvs450Ui::Answer>, answers);
        const QByteArray one(7000, '1'), two(900, '2');
        QVERIFY(writeFile(pc(QStringLiteral("ONE.MP3")), one));
        QVERIFY(writeFile(pc(QStringLiteral("TWO.MP3")), two));
        QVERIFY(start());
        QVERIFY(putOnPlayer({QStringLiteral("ONE.MP3"), QStringLiteral("TWO.MP3")}));
        QVERIFY(writeFile(pc(QStringLiteral("ONE.MP3")), "old one"));
        QVERIFY(QFile::remove(pc(QStringLiteral("TWO.MP3"))));
        listPc(1);
        HMp3MemView *view = memory(0);
        focusOn(view->list());
        view->list()->selectRows({memRow(view, QStringLiteral("ONE.MP3")), memRow(view, QStringLiteral("TWO.MP3"))});
        QVERIFY(m_child->runCommand(cut ? cmd::EditCut : cmd::EditCopy));
        QVERIFY(!commandEnabled(cmd::EditPaste));
        // The selection may change meanwhile: what was copied is pasted.
        view->list()->selectRows({});
        focusOn(desk()->list());
        QVERIFY(commandEnabled(cmd::EditPaste));
        m_ui.answers = answers;
        QVERIFY(m_child->runCommand(cmd::EditPaste));

        QCOMPARE(m_ui.questions,
                 QStringList(QString::fromLatin1(text::kOverwrite) + QStringLiteral("\n\n") + pc(QStringLiteral("ONE.MP3"))));
        const bool replaced = answers.first() == Zvs450Ui::Answer::Yes;
        QCOMPARE(readFile(pc(QStringLiteral("ONE.MP3"))), replaced ? one : QByteArray("old one"));
        QCOMPARE(readFile(pc(QStringLiteral("TWO.MP3"))), two);
        // A move takes from the player only what arrived on the PC.
        QStringList left = memoryNames(view);
        left.sort();
        QCOMPARE(left, cut ? QStringList({QStringLiteral("ONE.MP3")})
                           : QStringList({QStringLiteral("ONE.MP3"), QStringLiteral("TWO.MP3")}));
        QCOMPARE(desk()->list()->selectedCount(), 2);
        QVERIFY(m_ui.messages.isEmpty());
    }

    // The player's rows are looked for where they were copied.
    void clipboardPlayerFilesGone()
    {
        QVERIFY(writeFile(pc(QStringLiteral("X.MP3")), QByteArray(100, 'x')));
        QVERIFY(start());
        QVERIFY(putOnPlayer({QStringLiteral("X.MP3")}));
        QVERIFY(QFile::remove(pc(QStringLiteral("X.MP3"))));
        listPc(0);
        HMp3MemView *view = memory(0);
        focusOn(view->list());
        view->list()->selectRows({memRow(view, QStringLiteral("X.MP3"))});
        QVERIFY(m_child->runCommand(cmd::EditCopy));
        view->deleteSelection(false);
        focusOn(desk()->list());
        QVERIFY(m_child->runCommand(cmd::EditPaste));
        QCOMPARE(m_ui.messages, QStringList(text::tr(text::kClipboardGone)));
        QVERIFY(!QFile::exists(pc(QStringLiteral("X.MP3"))));
    }

    // ---- Transfer buttons ----

    void transferButtonStates_data()
    {
        QTest::addColumn<bool>("card");
        QTest::addColumn<QString>("selection");
        QTest::addColumn<QString>("place");
        QTest::addColumn<QList<bool>>("enabled");  // 143, 144, 146, 147
        QTest::newRow("nothing selected") << true << "" << "folder" << QList<bool>{false, false, false, false};
        QTest::newRow("PC file, both memories") << true << "pc" << "folder" << QList<bool>{true, false, true, false};
        QTest::newRow("PC file, no card") << false << "pc" << "folder" << QList<bool>{true, false, false, false};
        QTest::newRow("player file") << true << "player" << "folder" << QList<bool>{false, true, false, false};
        QTest::newRow("player file, desktop at the drives")
            << true << "player" << "drives" << QList<bool>{false, false, false, false};
    }
    void transferButtonStates()
    {
        QFETCH(bool, card);
        QFETCH(QString, selection);
        QFETCH(QString, place);
        QFETCH(QList<bool>, enabled);
        QVERIFY(writeFile(pc(QStringLiteral("T.MP3")), QByteArray(100, 't')));
        QVERIFY(start(card));
        QVERIFY(putOnPlayer({QStringLiteral("T.MP3")}));
        listPc(1);
        if (selection == QLatin1String("pc"))
            desk()->list()->selectRows({0});
        if (selection == QLatin1String("player"))
            memory(0)->list()->selectRows({memRow(memory(0), QStringLiteral("T.MP3"))});
        if (place == QLatin1String("drives")) {
            HTreeCtrlFolder *tree = desk()->folderComboBox()->tree();
            tree->makeCurrent(tree->findKind(kFolderDrives), true);
            QTRY_VERIFY(desk()->model()->rowCount() > 0);
        }
        m_child->updateTransferButtons();
        const int ids[4] = {CChildView::DownloadInternal, CChildView::UploadInternal, CChildView::DownloadExternal,
                            CChildView::UploadExternal};
        for (int i = 0; i < 4; ++i)
            QCOMPARE(m_child->transferButton(ids[i])->isEnabled(), enabled.at(i));
        // Tool tips name the direction and the memory.
        QCOMPARE(m_child->transferButton(CChildView::DownloadExternal)->toolTip(),
                 QStringLiteral("Download To External Memory"));
        QCOMPARE(m_child->transferButton(CChildView::UploadInternal)->toolTip(),
                 QStringLiteral("Upload From Internal Memory"));
    }

    void transferButtonsMoveFiles()
    {
        QVERIFY(writeFile(pc(QStringLiteral("TO_CARD.MP3")), QByteArray(20000, 'c')));
        QVERIFY(start());
        listPc(1);
        desk()->list()->selectRows({0});
        m_child->updateTransferButtons();
        // A click as the window system gives it: the program is idle while it is handled.
        QToolButton *down = m_child->transferButton(CChildView::DownloadExternal);
        QTest::mouseClick(m_child->windowHandle(), Qt::LeftButton, {}, down->mapTo(m_child->window(), down->rect().center()));
        QCOMPARE(memoryNames(memory(1)), QStringList(QStringLiteral("TO_CARD.MP3")));
        QCOMPARE(selectedNames(memory(1)), QStringList(QStringLiteral("TO_CARD.MP3")));
        QVERIFY(memoryNames(memory(0)).isEmpty());

        // Back from the card into an empty folder, which lists and selects it.
        QVERIFY(QFile::remove(pc(QStringLiteral("TO_CARD.MP3"))));
        listPc(0);
        m_child->updateTransferButtons();
        QToolButton *up = m_child->transferButton(CChildView::UploadExternal);
        QTest::mouseClick(m_child->windowHandle(), Qt::LeftButton, {}, up->mapTo(m_child->window(), up->rect().center()));
        QCOMPARE(readFile(pc(QStringLiteral("TO_CARD.MP3"))), QByteArray(20000, 'c'));
        QCOMPARE(desk()->list()->selectedRows(), QList<int>({0}));
        QVERIFY(m_ui.questions.isEmpty());
    }
};

int main(int argc, char **argv)
{
    // Settings go to a folder of the test's own.
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
    QTemporaryDir cache;
    qputenv("XDG_CACHE_HOME", QFile::encodeName(cache.path()));
    qputenv("ZVC450_CODEPAGE", "");
    // The program's application object: it tells when the program is busy.
    CTunedexApp app(argc, argv);
    app.setQuitOnLastWindowClosed(false);
    QApplication::setOrganizationName(QString::fromLatin1(RegKeys::kOrganization));
    QApplication::setApplicationName(QString::fromLatin1(RegKeys::kApplication));
    DndTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "dnd_test.moc"
