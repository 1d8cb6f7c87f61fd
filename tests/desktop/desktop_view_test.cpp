// The desktop explorer view over temporary folders: what is listed and in which order,
// the columns, opening, deleting, the refresh form of a drop, and what is remembered.
#include "DeskView.h"
#include "FileListCtrl.h"
#include "desk_fixture.h"

#include <QHeaderView>
#include <QSettings>
#include <QSignalSpy>
#include <QToolTip>

#include <unistd.h>

namespace {

// Answers the view's questions from a script and records what it asked for.
struct ScriptedPrompter : HDeskPrompter {
    QList<bool> answers;
    QStringList questions;
    QList<int> errors;
    QStringList errorPaths;
    QStringList opened;
    bool confirm(QWidget *, const QString &caption, const QString &text) override
    {
        questions << caption + QLatin1Char('|') + text;
        return !answers.isEmpty() && answers.takeFirst();
    }
    void showSystemError(QWidget *, int error, const QString &path) override
    {
        errors << error;
        errorPaths << path;
    }
    void openDocument(const QString &path) override { opened << path; }
    void showProperties(QWidget *, const QString &) override {}
};

const QDateTime kT1(QDate(2001, 2, 3), QTime(4, 5), Qt::UTC);

}  // namespace

class DesktopViewTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    std::unique_ptr<FakeFolderSource> m_source;
    ScriptedPrompter m_prompter;
    std::unique_ptr<HDesktopView> m_view;
    int m_case = 0;

    QString base() const { return m_dir.path(); }

    // A fresh folder for one test, with the given entries: a name ending in "/" is a
    // folder, "name=size" a file of that size.
    QString makeFolder(const QStringList &entries)
    {
        const QString dir = base() + QStringLiteral("/case%1").arg(++m_case);
        QDir().mkpath(dir);
        for (const QString &e : entries) {
            if (e.endsWith(QLatin1Char('/'))) {
                QDir().mkpath(dir + QLatin1Char('/') + e);
            } else {
                const QStringList parts = e.split(QLatin1Char('='));
                writeFile(dir + QLatin1Char('/') + parts.at(0), parts.size() > 1 ? parts.at(1).toLongLong() : 0);
            }
        }
        return dir;
    }

    HDesktopView *openView(const QString &folder)
    {
        RegKeys::setLastDirectory(folder);
        m_view = std::make_unique<HDesktopView>(nullptr, &m_prompter);
        m_view->resize(600, 400);
        QCoreApplication::processEvents();  // the first listing is posted
        return m_view.get();
    }

    QStringList column(int col) const
    {
        QStringList out;
        for (int r = 0; r < m_view->model()->rowCount(); ++r)
            out << m_view->model()->columnText(r, col);
        return out;
    }
    int rowOf(const QString &name) const { return int(column(0).indexOf(name)); }
    QString currentPath() const { return m_view->destinationFolder(); }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_source = std::make_unique<FakeFolderSource>(base());
        HFolderSource::setInstance(m_source.get());
    }
    void cleanupTestCase() { HFolderSource::setInstance(nullptr); }
    void init()
    {
        clearSettings();
        m_prompter = ScriptedPrompter();
    }
    void cleanup() { m_view.reset(); }

    void listing_data()
    {
        QTest::addColumn<QString>("filter");
        QTest::addColumn<QStringList>("entries");
        QTest::addColumn<QStringList>("expected");
        const QStringList mixed = {"zeta/", "alpha/", ".hidden_dir/", "b.mp3", "A.MP3", "c.txt", "noext", ".hidden.mp3"};
        QTest::newRow("all files") << "*.*" << mixed << QStringList({"alpha", "zeta", "A.MP3", "b.mp3", "c.txt", "noext"});
        QTest::newRow("mp3 in any case") << "*.mp3" << mixed << QStringList({"alpha", "zeta", "A.MP3", "b.mp3"});
        QTest::newRow("nothing matches: folders only") << "*.mp3" << QStringList({"sub/", "x.wav"}) << QStringList({"sub"});
        QTest::newRow("empty folder") << "*.*" << QStringList() << QStringList();
        QTest::newRow("only hidden names") << "*.*" << QStringList({".a", ".b/", "..c"}) << QStringList();
    }
    void listing()
    {
        QFETCH(QString, filter);
        QFETCH(QStringList, entries);
        QFETCH(QStringList, expected);
        RegKeys::setFileListFilter(filter);
        openView(makeFolder(entries));
        QCOMPARE(m_view->fileFilter(), filter);
        QCOMPARE(column(0), expected);
        QVERIFY(m_prompter.errors.isEmpty());
    }

    void changingTheFilterListsAgain()
    {
        openView(makeFolder({"a.mp3", "b.txt"}));
        QCOMPARE(column(0), QStringList({"a.mp3", "b.txt"}));
        m_view->setFileFilter(QStringLiteral("*.mp3"));
        QCOMPARE(column(0), QStringList({"a.mp3"}));
        QCOMPARE(RegKeys::fileListFilter(), QStringLiteral("*.mp3"));
    }

    void sortRules_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<bool>("ascending");
        QTest::addColumn<QStringList>("files");  // the file rows; the two folders come first (ascending) or last
        QTest::newRow("name up") << 0 << true << QStringList({"big.mp3", "mid.wav", "small.png"});
        QTest::newRow("name down") << 0 << false << QStringList({"small.png", "mid.wav", "big.mp3"});
        QTest::newRow("size up") << 1 << true << QStringList({"small.png", "mid.wav", "big.mp3"});
        QTest::newRow("size down") << 1 << false << QStringList({"big.mp3", "mid.wav", "small.png"});
        QTest::newRow("type up") << 2 << true << QStringList({"big.mp3", "small.png", "mid.wav"});
        QTest::newRow("date up") << 3 << true << QStringList({"small.png", "mid.wav", "big.mp3"});
        QTest::newRow("date down") << 3 << false << QStringList({"big.mp3", "mid.wav", "small.png"});
    }
    void sortRules()
    {
        QFETCH(int, key);
        QFETCH(bool, ascending);
        QFETCH(QStringList, files);
        const QString dir = makeFolder({"dirB/", "dirA/"});
        // Sizes and dates run against the names, so every key gives its own order.
        writeFile(dir + QStringLiteral("/small.png"), 100, kT1);
        writeFile(dir + QStringLiteral("/mid.wav"), 2000, kT1.addDays(1));
        writeFile(dir + QStringLiteral("/big.mp3"), 5000, kT1.addDays(2));
        RegKeys::setSortKey(RegKeys::kDesktopView, key);
        RegKeys::setSortAscendent(RegKeys::kDesktopView, ascending);
        openView(dir);
        QStringList names = column(0);
        QCOMPARE(names.size(), 5);
        QStringList folders = ascending ? names.mid(0, 2) : names.mid(3);
        folders.sort();
        QCOMPARE(folders, QStringList({"dirA", "dirB"}));
        QCOMPARE(ascending ? names.mid(2) : names.mid(0, 3), files);
    }

    void headerClicksSortAndAreRemembered()
    {
        const QString dir = makeFolder({"sub/", "a.mp3=3000", "b.mp3=1000"});
        openView(dir);
        m_view->sortByColumnClick(1);
        QCOMPARE(column(0), QStringList({"sub", "b.mp3", "a.mp3"}));
        QCOMPARE(RegKeys::sortKey(RegKeys::kDesktopView), 1);
        QVERIFY(RegKeys::sortAscendent(RegKeys::kDesktopView));
        m_view->sortByColumnClick(1);  // same column again: reversed, folders last
        QCOMPARE(column(0), QStringList({"a.mp3", "b.mp3", "sub"}));
        QVERIFY(!RegKeys::sortAscendent(RegKeys::kDesktopView));
        m_view->sortByColumnClick(0);  // another column: ascending
        QCOMPARE(column(0), QStringList({"sub", "a.mp3", "b.mp3"}));
        m_view->sortByColumnClick(1);
        m_view->sortByColumnClick(1);
        // A new view sorts the way the last one left it.
        openView(dir);
        QCOMPARE(column(0), QStringList({"a.mp3", "b.mp3", "sub"}));
    }

    void sortKeepsTheSelectionOnItsRows()
    {
        openView(makeFolder({"a.mp3=1", "b.mp3=3000", "c.mp3=2000"}));
        m_view->list()->selectRows({rowOf(QStringLiteral("a.mp3")), rowOf(QStringLiteral("c.mp3"))});
        m_view->sortByColumnClick(1);
        HFileTransferList picked;
        m_view->collectSelection(picked);
        QCOMPARE(picked.count(), 2);
        QVERIFY(picked.containsFileName(QStringLiteral("a.mp3")));
        QVERIFY(picked.containsFileName(QStringLiteral("c.mp3")));
    }

    void symbolicLinks()
    {
        const QString dir = makeFolder({"realdir/", "file.mp3=3000"});
        QVERIFY(QFile::link(dir + QStringLiteral("/realdir"), dir + QStringLiteral("/linkdir")));
        QVERIFY(QFile::link(dir + QStringLiteral("/file.mp3"), dir + QStringLiteral("/link.mp3")));
        QVERIFY(QFile::link(dir + QStringLiteral("/gone.mp3"), dir + QStringLiteral("/broken.mp3")));
        openView(dir);
        QCOMPARE(column(0), QStringList({"linkdir", "realdir", "broken.mp3", "file.mp3", "link.mp3"}));
        QCOMPARE(column(1), QStringList({"0KB", "0KB", "0KB", "3KB", "3KB"}));
        QVERIFY(m_view->model()->row(0).isFolder());
        QVERIFY(m_view->model()->row(0).attributes & kDeskAttrSymlink);
        // A linked folder is entered under its own name.
        m_view->openRow(0);
        QCOMPARE(currentPath(), dir + QStringLiteral("/linkdir"));
    }

    void kilobytes_data()
    {
        QTest::addColumn<quint32>("bytes");
        QTest::addColumn<QString>("text");
        QTest::newRow("empty") << 0u << "0KB";
        QTest::newRow("one byte") << 1u << "1KB";
        QTest::newRow("1024") << 1024u << "1KB";
        QTest::newRow("1025") << 1025u << "2KB";
        QTest::newRow("999 KB") << 999u * 1024 << "999KB";
        QTest::newRow("1000 KB") << 1000u * 1024 << "1,000KB";
        QTest::newRow("example") << 1234567u << "1,206KB";
        QTest::newRow("4 GiB and more") << 0xFFFFFFFFu << "4,194,304KB";
    }
    void kilobytes()
    {
        QFETCH(quint32, bytes);
        QFETCH(QString, text);
        QCOMPARE(HDeskListModel::formatKB(bytes), text);
    }

    void dateInLocalTimeWithoutSeconds()
    {
        const QString dir = makeFolder({});
        writeFile(dir + QStringLiteral("/a.mp3"), 1, QDateTime(QDate(2001, 2, 3), QTime(4, 5, 6), Qt::UTC));
        openView(dir);
        // The test runs nine hours east of UTC.
        const QString text = column(3).value(0);
        QVERIFY2(text.startsWith(QLocale().toString(QDate(2001, 2, 3), QLocale::ShortFormat) + QLatin1Char(' ')),
                 qPrintable(text));
        QVERIFY2(text.contains(QStringLiteral("13")) && text.contains(QStringLiteral("05")), qPrintable(text));
        QVERIFY2(!text.contains(QStringLiteral(":06")), qPrintable(text));
    }

    void deleteAsksFirst()
    {
        const QString dir = makeFolder({"one.mp3", "two.mp3"});
        openView(dir);
        m_view->list()->selectRows({rowOf(QStringLiteral("one.mp3"))});
        m_prompter.answers = {false};
        m_view->deleteSelection(true);
        QVERIFY(QFile::exists(dir + QStringLiteral("/one.mp3")));
        QCOMPARE(m_prompter.questions, QStringList({"Confirm file deleting|Would delete file one.mp3 ?\nThe file will be moved to the trash."}));

        m_view->list()->selectRows({rowOf(QStringLiteral("one.mp3"))});
        m_prompter.answers = {true};
        m_view->deleteSelection(true);
        QVERIFY(!QFile::exists(dir + QStringLiteral("/one.mp3")));
        QCOMPARE(column(0), QStringList({"two.mp3"}));
    }

    void deleteStopsAtAFolderAndKeepsWhatWasDone()
    {
        const QString dir = makeFolder({"a.mp3", "b.mp3", "c.mp3", "zdir/"});
        RegKeys::setSortAscendent(RegKeys::kDesktopView, false);  // folders last
        openView(dir);
        QCOMPARE(column(0), QStringList({"c.mp3", "b.mp3", "a.mp3", "zdir"}));
        m_view->list()->selectRows({0, 2, 3});
        m_prompter.answers = {true};
        m_view->deleteSelection(true);
        QCOMPARE(m_prompter.questions, QStringList({"Confirm file deleting|Would you delete the selected file?\nThe files will be moved to the trash."}));
        QCOMPARE(m_prompter.errors, QList<int>({EISDIR}));
        QCOMPARE(m_prompter.errorPaths, QStringList({dir + QStringLiteral("/zdir")}));
        QCOMPARE(column(0), QStringList({"b.mp3", "zdir"}));
        QVERIFY(QFileInfo(dir + QStringLiteral("/zdir")).isDir());
    }

    void deleteNeedsASelectionAndAFolder()
    {
        openView(makeFolder({"a.mp3"}));
        m_view->deleteSelection(true);
        QVERIFY(m_prompter.questions.isEmpty());
        m_view->folderComboBox()->tree()->makeCurrent(m_view->folderComboBox()->tree()->findKind(kFolderDrives), true);
        m_view->list()->selectRows({0});
        m_view->deleteSelection(true);
        QVERIFY(m_prompter.questions.isEmpty());
    }

    void openEntersFoldersAndHandsFilesToTheSystem()
    {
        const QString dir = makeFolder({"sub/", "sub/inner.mp3", "song.mp3"});
        openView(dir);
        m_view->openRow(rowOf(QStringLiteral("song.mp3")));
        QCOMPARE(m_prompter.opened, QStringList({dir + QStringLiteral("/song.mp3")}));
        m_view->openRow(rowOf(QStringLiteral("sub")));
        QCOMPARE(currentPath(), dir + QStringLiteral("/sub"));
        QCOMPARE(column(0), QStringList({"inner.mp3"}));
        QCOMPARE(RegKeys::lastDirectory(), dir + QStringLiteral("/sub"));
        m_view->goUp();
        QCOMPARE(currentPath(), dir);
        QCOMPARE(RegKeys::lastDirectory(), dir);
    }

    void theComputerListsDrives()
    {
        const QString dir = makeFolder({"a.mp3"});
        openView(dir);
        HTreeCtrlFolder *tree = m_view->folderComboBox()->tree();
        tree->makeCurrent(tree->findKind(kFolderDrives), true);
        QCOMPARE(column(0), QStringList({"DISC (cdrom)", "STICK (usbstick)", "System (/)"}));
        QCOMPARE(column(1), QStringList({"", "", ""}));
        QCOMPARE(m_view->model()->row(0).image, int(kImageOptical));
        QCOMPARE(m_view->model()->row(1).image, int(kImageRemovable));
        QCOMPARE(m_view->model()->row(2).image, int(kImageDrive));
        QVERIFY(!m_view->canDrop());
        QCOMPARE(RegKeys::lastDirectory(), dir);  // the computer is no folder to come back to

        m_view->list()->selectRows({1, 2});
        HFileTransferList picked;
        QVERIFY(m_view->collectSelection(picked));
        QCOMPARE(picked.count(), 2);
        QCOMPARE(picked.at(0).name, base() + QStringLiteral("/usbstick"));
        QCOMPARE(picked.at(1).name, QStringLiteral("/"));

        m_view->openRow(1);
        QCOMPARE(currentPath(), base() + QStringLiteral("/usbstick"));
        QCOMPARE(RegKeys::lastDirectory(), base() + QStringLiteral("/usbstick"));
    }

    void theNetworkLevelListsMountedShares()
    {
        writeFile(base() + QStringLiteral("/netshare/track.mp3"), 10);
        QVERIFY(QDir().mkpath(base() + QStringLiteral("/netshare/albums")));
        const QString dir = makeFolder({});
        openView(dir);
        HTreeCtrlFolder *tree = m_view->folderComboBox()->tree();
        tree->makeCurrent(tree->findKind(kFolderNetwork), true);
        QCOMPARE(column(0), QStringList({"music"}));
        QVERIFY(column(2).value(0).contains(QStringLiteral("cifs")));
        m_view->list()->selectRows({0});
        QCOMPARE(m_view->selectedTransferableCount(), 0);
        HFileTransferList picked;
        m_view->collectSelection(picked);
        QCOMPARE(picked.count(), 0);

        m_view->openRow(0);
        QCOMPARE(m_view->folderComboBox()->currentFolder()->displayName, QStringLiteral("music"));
        QCOMPARE(column(0), QStringList({"albums", "track.mp3"}));
        m_view->openRow(0);
        QCOMPARE(currentPath(), base() + QStringLiteral("/netshare/albums"));
        // Network places are never the folder to start in.
        QCOMPARE(RegKeys::lastDirectory(), dir);
    }

    void collectSelectionGivesFullPathsInRowOrder()
    {
        const QString dir = makeFolder({"sub/", "a.mp3", "b.mp3"});
        openView(dir);
        m_view->list()->selectRows({2, 0});
        QCOMPARE(m_view->selectedTransferableCount(), 2);
        HFileTransferList picked;
        QVERIFY(m_view->collectSelection(picked));
        QCOMPARE(picked.count(), 2);
        QCOMPARE(picked.at(0).name, dir + QStringLiteral("/sub"));
        QCOMPARE(picked.at(1).name, dir + QStringLiteral("/b.mp3"));
        QCOMPARE(picked.at(1).size, 0u);
        QCOMPARE(m_view->destinationFolder(), dir);
        QVERIFY(m_view->canDrop());
    }

    void aDropRefreshesAndSelectsTheNamedFiles()
    {
        const QString dir = makeFolder({"old.mp3"});
        openView(dir);
        writeFile(dir + QStringLiteral("/new1.mp3"), 5);
        writeFile(dir + QStringLiteral("/new2.mp3"), 5);
        HFileTransferList uploaded;
        uploaded.add(QStringLiteral("NEW1.MP3"), 0, 5);
        uploaded.add(QStringLiteral("new2.mp3"), 1, 5);
        QVERIFY(!m_view->acceptDrop(uploaded, true));  // the desktop never transfers itself
        QCOMPARE(column(0), QStringList({"old.mp3"}));
        QVERIFY(m_view->acceptDrop(uploaded, false));
        QCOMPARE(column(0), QStringList({"new1.mp3", "new2.mp3", "old.mp3"}));
        QCOMPARE(m_view->list()->selectedRows(), QList<int>({0, 1}));
    }

    void aFolderThatCannotBeReadStepsBack()
    {
        const QString dir = makeFolder({"sub/"});
        openView(dir);
        m_view->openRow(0);
        QCOMPARE(currentPath(), dir + QStringLiteral("/sub"));
        // The folder turns into a file under the view's feet.
        QVERIFY(QDir(dir).rmdir(QStringLiteral("sub")));
        writeFile(dir + QStringLiteral("/sub"), 1);
        m_view->listCurrentPlace();
        QCOMPARE(m_prompter.errors, QList<int>({ENOTDIR}));
        QCOMPARE(m_prompter.errorPaths, QStringList({dir + QStringLiteral("/sub")}));
        QTRY_COMPARE(currentPath(), dir);
        QCOMPARE(column(0), QStringList({"sub"}));
    }

    // A folder deleted (or unmounted) under the view is not shown as an empty one: the
    // system's message names it, and the view goes up to the nearest folder that is
    // still there, with one message however many levels went.
    void aFolderThatIsGoneStepsBackToTheNearestExistingOne()
    {
        const QString top = makeFolder({"keep.mp3", "a/b/c/"});
        openView(top + QStringLiteral("/a/b/c"));
        QCOMPARE(currentPath(), top + QStringLiteral("/a/b/c"));
        QVERIFY(QDir(top + QStringLiteral("/a")).removeRecursively());
        m_view->listCurrentPlace();
        QCOMPARE(m_prompter.errors, QList<int>({ENOENT}));
        QCOMPARE(m_prompter.errorPaths, QStringList({top + QStringLiteral("/a/b/c")}));
        QTRY_COMPARE(currentPath(), top);
        QCOMPARE(column(0), QStringList({"keep.mp3"}));
        QCOMPARE(m_prompter.errors.size(), 1);
        QCOMPARE(RegKeys::lastDirectory(), top);
        // The folders that are gone left the place tree too.
        HTreeCtrlFolder *tree = m_view->folderComboBox()->tree();
        QVERIFY(!tree->findPath(top + QStringLiteral("/a"), kFolderOrdinary));
    }

    void columnWidthsAreKept()
    {
        openView(makeFolder({}));
        const QList<int> widths = {150, 60, 130, 170};
        m_view->list()->setColumnWidths(widths);
        m_view.reset();
        for (int c = 0; c < 4; ++c)
            QCOMPARE(RegKeys::columnWidth(RegKeys::kDesktopView, c), widths.at(c));
        openView(makeFolder({}));
        QCOMPARE(m_view->list()->columnWidths(), widths);
    }

    // The name takes the width the other columns leave, sizes and dates are never cut,
    // a cut name shows whole as a tool tip, and what is remembered is the user's widths,
    // not the widths the program fitted.
    void columnsFitThePane_data()
    {
        QTest::addColumn<int>("paneWidth");
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("nameCut");
        QTest::newRow("wide") << 900 << "Evening tones of a long summer day.mp3" << false;
        // The pane of the window's first-run size: the first-run widths give way.
        QTest::newRow("first-run window") << 400 << "Evening tones.mp3" << false;
        QTest::newRow("narrow") << 300 << "Evening tones of a long summer day.mp3" << true;
    }
    void columnsFitThePane()
    {
        QFETCH(int, paneWidth);
        QFETCH(QString, name);
        QFETCH(bool, nameCut);
        const int defaultWidth = RegKeys::kDefaultColumnWidth;
        openView(makeFolder({name + QStringLiteral("=1234567")}));
        HFileListCtrl *list = m_view->list();
        m_view->resize(paneWidth, 300);
        m_view->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_view.get()));
        QTRY_COMPARE(m_view->model()->rowCount(), 1);
        const int date = HDeskListModel::ColDate;
        QTRY_VERIFY(list->contentWidth(date) > 0);
        const auto others = [list] { return list->columnWidth(1) + list->columnWidth(2) + list->columnWidth(3); };
        // Sizes and dates whole; where there is room, the first-run widths.
        for (int c : {int(HDeskListModel::ColSize), date})
            QVERIFY2(!list->isTextCut(m_view->model()->index(0, c)), qPrintable(QString::number(c)));
        if (!nameCut && paneWidth > 800) {
            QCOMPARE(list->columnWidth(1), defaultWidth);
            QCOMPARE(list->columnWidth(2), defaultWidth);
            QCOMPARE(list->columnWidth(date), std::max(defaultWidth, list->contentWidth(date)));
        }
        QCOMPARE(list->columnWidth(0), std::max(defaultWidth, list->viewport()->width() - others()));
        const QModelIndex cell = m_view->model()->index(0, 0);
        QCOMPARE(list->isTextCut(cell), nameCut);

        const QPoint at = list->visualRect(cell).center();
        QHelpEvent help(QEvent::ToolTip, at, list->viewport()->mapToGlobal(at));
        QApplication::sendEvent(list->viewport(), &help);
        QTRY_COMPARE(QToolTip::text(), nameCut ? name : QString());
        QToolTip::hideText();

        // A width the user gives a column is kept; the name stays the filler.
        list->header()->resizeSection(2, 150);
        QCOMPARE(list->columnWidth(2), 150);
        QCOMPARE(list->columnWidth(0), std::max(defaultWidth, list->viewport()->width() - others()));
        m_view.reset();
        // Only that width is remembered: the others keep their first-run behaviour.
        QCOMPARE(RegKeys::columnWidth(RegKeys::kDesktopView, 2), 150);
        for (int c : {0, 1, 3})
            QVERIFY2(!RegKeys::hasColumnWidth(RegKeys::kDesktopView, c), qPrintable(QString::number(c)));
        QSettings().remove(QStringLiteral("Desktop/SubItemWidth_2"));
    }

    void theStartFolderIsNotOverwrittenByTheProcessFolder()
    {
        const QString dir = makeFolder({"a.mp3"});
        RegKeys::setLastDirectory(dir);
        RegKeys::setLastDirectoryHold(true);  // as after loading at start
        openView(dir);
        QCOMPARE(currentPath(), dir);
        QCOMPARE(RegKeys::lastDirectory(), dir);
        QVERIFY(!RegKeys::lastDirectoryHold());
    }

    void aLargeFolderIsListedCompletely()
    {
        const QString dir = makeFolder({"d1/", "d2/"});
        const char *const exts[] = {".mp3", ".wav", ".txt", ""};
        for (int i = 0; i < 20000; ++i) {
            QFile f(dir + QStringLiteral("/f%1%2").arg(i, 5, 10, QLatin1Char('0')).arg(QLatin1String(exts[i % 4])));
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
        openView(dir);
        QCOMPARE(m_view->model()->rowCount(), 20002);
        QCOMPARE(m_view->model()->columnText(0, 0), QStringLiteral("d1"));
        QCOMPARE(m_view->model()->columnText(2, 0), QStringLiteral("f00000.mp3"));
        QCOMPARE(m_view->model()->columnText(20001, 0), QStringLiteral("f19999"));
        // One type entry per extension plus folders, not one per row.
        QVERIFY(m_view->model()->typeCount() <= 5);
        m_view->setFileFilter(QStringLiteral("*.mp3"));
        QCOMPARE(m_view->model()->rowCount(), 5002);
    }
};

DESK_TEST_MAIN(DesktopViewTest)
#include "desktop_view_test.moc"
