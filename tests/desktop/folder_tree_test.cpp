// The place tree and its combo box: skeleton, one chain of folders, pruning, going up,
// the drop-down's keys and clicks.
#include "ComboBoxFolder.h"
#include "FileFilterBox.h"
#include "desk_fixture.h"

#include <QSignalSpy>

class FolderTreeTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    std::unique_ptr<FakeFolderSource> m_source;
    std::unique_ptr<QWidget> m_window;
    HComboBoxFolder *m_combo = nullptr;

    QString base() const { return m_dir.path(); }
    HTreeCtrlFolder *tree() const { return m_combo->tree(); }
    QString currentPath() const { return m_combo->currentFolder() ? m_combo->currentFolder()->path : QString(); }

    // Display names from the item below `top` down to the current place.
    QStringList chainBelow(QTreeWidgetItem *top) const
    {
        QStringList names;
        for (QTreeWidgetItem *i = tree()->currentPlace(); i && i != top; i = i->parent())
            names.prepend(i->text(0));
        return names;
    }
    int ordinaryCount() const
    {
        int n = 0;
        for (QTreeWidgetItemIterator it(tree()); *it; ++it)
            n += HTreeCtrlFolder::folderOf(*it)->kind == kFolderOrdinary;
        return n;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_source = std::make_unique<FakeFolderSource>(base());
        HFolderSource::setInstance(m_source.get());
        for (const char *d : {"music/rock/old", "music/jazz", "usbstick/songs/live"})
            QVERIFY(QDir().mkpath(base() + QLatin1Char('/') + QLatin1String(d)));
        writeFile(base() + QStringLiteral("/music/readme.txt"), 10);
    }
    void cleanupTestCase() { HFolderSource::setInstance(nullptr); }

    void init()
    {
        m_window = std::make_unique<QWidget>();
        m_window->resize(400, 300);
        m_combo = new HComboBoxFolder(m_window.get());
        m_combo->setGeometry(5, 5, 300, 24);
        m_combo->createTree(300, 200);
        tree()->keepOnlySpecialPlaces();
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    }
    void cleanup() { m_window.reset(); }

    void skeletonHoldsTheSpecialPlacesAndDrives()
    {
        QCOMPARE(tree()->topLevelItemCount(), 1);
        QTreeWidgetItem *desktop = tree()->topLevelItem(0);
        const HFolder *df = HTreeCtrlFolder::folderOf(desktop);
        QCOMPARE(df->kind, int(kFolderDesktop));
        QCOMPARE(df->path, m_source->desktopPath());

        QStringList kinds;
        for (int i = 0; i < desktop->childCount(); ++i)
            kinds << QString::number(HTreeCtrlFolder::folderOf(desktop->child(i))->kind);
        QCOMPARE(kinds, QStringList({"17", "18", "5"}));  // computer, network, documents; no control panel

        QTreeWidgetItem *computer = desktop->child(0);
        QCOMPARE(computer->childCount(), 3);
        const int images[] = {kImageDrive, kImageRemovable, kImageOptical};
        for (int i = 0; i < 3; ++i) {
            const HFolder *f = HTreeCtrlFolder::folderOf(computer->child(i));
            QCOMPARE(f->kind, int(kFolderDrive));
            QCOMPARE(f->image, images[i]);
            QCOMPARE(f->path, m_source->drives().at(i).rootPath);
        }
        QCOMPARE(HTreeCtrlFolder::folderOf(desktop->child(2))->path, m_source->documentsPath());
        QCOMPARE(ordinaryCount(), 0);
    }

    void selectPath_data()
    {
        QTest::addColumn<QString>("relative");
        QTest::addColumn<QString>("expectedCurrent");
        QTest::addColumn<QStringList>("chainBelowDrive");
        QTest::newRow("deep folder") << "music/rock/old" << "music/rock/old" << QStringList({"music", "rock", "old"});
        QTest::newRow("trailing slash") << "music/jazz/" << "music/jazz" << QStringList({"music", "jazz"});
        QTest::newRow("missing component ends the chain")
            << "music/rock/gone/deeper" << "music/rock" << QStringList({"music", "rock"});
        QTest::newRow("a file is no folder") << "music/readme.txt" << "music" << QStringList({"music"});
        QTest::newRow("dot segments") << "music/rock/../jazz" << "music/jazz" << QStringList({"music", "jazz"});
        QTest::newRow("another drive") << "usbstick/songs/live" << "usbstick/songs/live" << QStringList({"songs", "live"});
    }
    void selectPath()
    {
        QFETCH(QString, relative);
        QFETCH(QString, expectedCurrent);
        QFETCH(QStringList, chainBelowDrive);
        QSignalSpy changed(m_combo, &HComboBoxFolder::folderChanged);
        QVERIFY(m_combo->selectPath(base() + QLatin1Char('/') + relative, true));
        QCOMPARE(currentPath(), base() + QLatin1Char('/') + expectedCurrent);
        QCOMPARE(changed.count(), 1);
        // The chain hangs below the drive holding the path; "/" adds the fixture's own
        // folders above the ones the row names.
        QTreeWidgetItem *drive = tree()->currentPlace();
        while (HTreeCtrlFolder::folderOf(drive)->kind != kFolderDrive)
            drive = drive->parent();
        const QStringList chain = chainBelow(drive);
        QCOMPARE(chain.mid(chain.size() - chainBelowDrive.size()), chainBelowDrive);

        // Selecting it again reuses the chain instead of growing a second one.
        const int before = ordinaryCount();
        QVERIFY(m_combo->selectPath(base() + QLatin1Char('/') + relative, false));
        QCOMPARE(ordinaryCount(), before);
        QCOMPARE(changed.count(), 1);
    }

    void pathOnNoDriveChangesNothing()
    {
        QVERIFY(m_combo->selectPath(base() + QStringLiteral("/music"), false));
        struct NoDrives : FakeFolderSource {
            using FakeFolderSource::FakeFolderSource;
            QList<HVolume> drives() const override { return {}; }
        } noDrives(base());
        HFolderSource::setInstance(&noDrives);
        const bool ok = m_combo->selectPath(base() + QStringLiteral("/music/jazz"), true);
        HFolderSource::setInstance(m_source.get());
        QVERIFY(!ok);
        QCOMPARE(currentPath(), base() + QStringLiteral("/music"));
    }

    void enteringAFolderAddsOneItemAndGoingUpRemovesIt()
    {
        QVERIFY(m_combo->selectPath(base() + QStringLiteral("/music"), false));
        const int before = ordinaryCount();
        QTreeWidgetItem *music = tree()->currentPlace();
        QVERIFY(m_combo->selectPath(base() + QStringLiteral("/music/rock"), true));
        QCOMPARE(ordinaryCount(), before + 1);
        QCOMPARE(tree()->currentPlace()->parent(), music);

        QSignalSpy changed(m_combo, &HComboBoxFolder::folderChanged);
        QVERIFY(m_combo->goUp());
        QCOMPARE(ordinaryCount(), before);
        QCOMPARE(tree()->currentPlace(), music);
        QCOMPARE(changed.count(), 1);
        QCOMPARE(changed.at(0).at(0).value<const HFolder *>()->path, base() + QStringLiteral("/music"));
    }

    void goingUpFromADriveReachesTheComputerThenTheDesktop()
    {
        QVERIFY(m_combo->selectPath(base() + QStringLiteral("/usbstick"), false));
        QCOMPARE(m_combo->currentFolder()->kind, int(kFolderDrive));
        QVERIFY(m_combo->goUp());
        QCOMPARE(m_combo->currentFolder()->kind, int(kFolderDrives));
        QVERIFY(m_combo->goUp());
        QCOMPARE(m_combo->currentFolder()->kind, int(kFolderDesktop));
        QVERIFY(!m_combo->goUp());
    }

    void choosingAnotherDrivePrunesTheOldChain()
    {
        QVERIFY(m_combo->selectPath(base() + QStringLiteral("/music/rock/old"), false));
        QVERIFY(ordinaryCount() >= 3);
        QTreeWidgetItem *stick = tree()->findPath(base() + QStringLiteral("/usbstick"), kFolderDrive);
        QVERIFY(stick);
        QSignalSpy changed(m_combo, &HComboBoxFolder::folderChanged);
        m_combo->showPopup();
        QVERIFY(m_combo->isDropDownVisible());
        tree()->scrollToItem(stick);
        QTest::mouseClick(tree()->viewport(), Qt::LeftButton, {}, tree()->visualItemRect(stick).center());
        QVERIFY(!m_combo->isDropDownVisible());
        QCOMPARE(tree()->currentPlace(), stick);
        QCOMPARE(ordinaryCount(), 0);
        QCOMPARE(changed.count(), 1);
    }

    void choosingAnAncestorKeepsItAndRemovesWhatLiesBelow()
    {
        QVERIFY(m_combo->selectPath(base() + QStringLiteral("/music/rock/old"), false));
        QTreeWidgetItem *music = tree()->currentPlace()->parent()->parent();
        const int before = ordinaryCount();
        tree()->choose(music);
        QCOMPARE(tree()->currentPlace(), music);
        QCOMPARE(ordinaryCount(), before - 2);
        // Choosing below the current place (reached by the arrow keys) removes nothing.
        QVERIFY(m_combo->selectPath(base() + QStringLiteral("/music/rock/old"), false));
        QTreeWidgetItem *old = tree()->currentPlace();
        tree()->makeCurrent(music, false);
        tree()->choose(old);
        QCOMPARE(tree()->currentPlace(), old);
    }

    void aNetworkFolderIsOneItemBelowTheDeepestNetworkLevel()
    {
        QVERIFY(QDir().mkpath(base() + QStringLiteral("/netshare/albums/2001")));
        auto share = std::make_unique<HFolder>();
        share->displayName = QStringLiteral("music");
        share->path = base() + QStringLiteral("/netshare");
        share->netResource = hNetResourceOf(m_source->networkMounts().first());
        QVERIFY(m_combo->addBelowKind(std::move(share), kFolderNetwork));
        QTreeWidgetItem *shareItem = tree()->currentPlace();
        QCOMPARE(HTreeCtrlFolder::folderOf(shareItem->parent())->kind, int(kFolderNetwork));

        QVERIFY(m_combo->selectPath(base() + QStringLiteral("/netshare/albums/2001"), true));
        QCOMPARE(tree()->currentPlace()->parent(), shareItem);
        QCOMPARE(tree()->currentPlace()->text(0), QStringLiteral("2001"));
        QCOMPARE(currentPath(), base() + QStringLiteral("/netshare/albums/2001"));

        // Going up twice climbs back to the network level and removes both.
        QVERIFY(m_combo->goUp());
        QVERIFY(m_combo->goUp());
        QCOMPARE(m_combo->currentFolder()->kind, int(kFolderNetwork));
        QCOMPARE(ordinaryCount(), 0);
    }

    void escapeInTheDropDownChangesNothing()
    {
        QVERIFY(m_combo->selectPath(base() + QStringLiteral("/music/jazz"), false));
        QTreeWidgetItem *before = tree()->currentPlace();
        QSignalSpy changed(m_combo, &HComboBoxFolder::folderChanged);
        m_combo->showPopup();
        QTest::keyClick(tree(), Qt::Key_Up);
        QTest::keyClick(tree(), Qt::Key_Up);
        QVERIFY(tree()->currentItem() != before);
        QTest::keyClick(tree(), Qt::Key_Escape);
        QVERIFY(!m_combo->isDropDownVisible());
        QCOMPARE(tree()->currentPlace(), before);
        QCOMPARE(tree()->currentItem(), before);
        QCOMPARE(changed.count(), 0);
    }

    void enterChoosesTheSelection()
    {
        QVERIFY(m_combo->selectPath(base() + QStringLiteral("/music/jazz"), false));
        QTreeWidgetItem *music = tree()->currentPlace()->parent();
        QSignalSpy changed(m_combo, &HComboBoxFolder::folderChanged);
        m_combo->showPopup();
        QTest::keyClick(tree(), Qt::Key_Up);
        QCOMPARE(tree()->currentItem(), music);
        QTest::keyClick(tree(), Qt::Key_Return);
        QVERIFY(!m_combo->isDropDownVisible());
        QCOMPARE(tree()->currentPlace(), music);
        QCOMPARE(changed.count(), 1);
    }

    void arrowKeysOnTheBoxStepThroughVisibleItems()
    {
        QVERIFY(m_combo->selectPath(base() + QStringLiteral("/music"), false));
        QTreeWidgetItem *music = tree()->currentPlace();
        QSignalSpy changed(m_combo, &HComboBoxFolder::folderChanged);
        m_combo->setFocus();
        QTest::keyClick(m_combo, Qt::Key_Up);
        QCOMPARE(tree()->currentPlace(), tree()->itemAbove(music));
        QTest::keyClick(m_combo, Qt::Key_Right);
        QCOMPARE(tree()->currentPlace(), music);
        QCOMPARE(changed.count(), 2);
        QVERIFY(!m_combo->isDropDownVisible());
        QTest::keyClick(m_combo, Qt::Key_Down, Qt::AltModifier);
        QVERIFY(m_combo->isDropDownVisible());
        QCOMPARE(changed.count(), 2);
        QTest::keyClick(tree(), Qt::Key_Escape);
    }

    void clickOnTheBoxTogglesTheDropDown()
    {
        QTest::mouseClick(m_combo, Qt::LeftButton);
        QVERIFY(m_combo->isDropDownVisible());
        QCOMPARE(tree()->width(), 300);
        QCOMPARE(tree()->height(), 200);
        QCOMPARE(tree()->geometry().topLeft(), m_combo->mapToGlobal(QPoint(0, m_combo->height())));
        QTest::mouseClick(m_combo, Qt::LeftButton);
        QVERIFY(!m_combo->isDropDownVisible());
    }

    void expandedItemsShowTheOpenImage()
    {
        QVERIFY(m_combo->selectPath(base() + QStringLiteral("/music/rock"), false));
        QTreeWidgetItem *music = tree()->currentPlace()->parent();
        music->setExpanded(false);
        QCOMPARE(music->icon(0).cacheKey(), tree()->image(kImageFolder).cacheKey());
        music->setExpanded(true);
        QCOMPARE(music->icon(0).cacheKey(), tree()->image(kImageFolderOpen).cacheKey());
    }

    void shellLinksResolve_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("content");  // "->target" makes a symbolic link
        QTest::addColumn<QString>("expected"); // relative to the fixture; "=" for the link itself
        QTest::newRow("symbolic link") << "a.lnk" << "->music/readme.txt" << "music/readme.txt";
        QTest::newRow("dangling link") << "b.lnk" << "->music/gone.mp3" << "=";
        QTest::newRow("desktop link to a file URL")
            << "c.desktop" << "[Desktop Entry]\nType=Link\nName=x\nURL=file://%1/music/readme.txt\n"
            << "music/readme.txt";
        QTest::newRow("desktop link with a comma")
            << "d.desktop" << "[Desktop Entry]\nType=Link\nURL=%1/a,b.mp3\n" << "a,b.mp3";
        QTest::newRow("remote URL stays") << "e.desktop" << "[Desktop Entry]\nType=Link\nURL=https://example.org/\n" << "=";
        QTest::newRow("application entry stays")
            << "f.desktop" << "[Desktop Entry]\nType=Application\nURL=%1/music\n" << "=";
        QTest::newRow("URL of another group") << "g.desktop" << "[Other]\nType=Link\nURL=%1/music\n" << "=";
        QTest::newRow("plain file") << "h.mp3" << "data" << "=";
    }
    void shellLinksResolve()
    {
        QFETCH(QString, name);
        QFETCH(QString, content);
        QFETCH(QString, expected);
        const QString path = base() + QStringLiteral("/links/") + name;
        QDir().mkpath(base() + QStringLiteral("/links"));
        if (content.startsWith(QStringLiteral("->"))) {
            QVERIFY(QFile::link(base() + QLatin1Char('/') + content.mid(2), path));
        } else {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(QString(content).replace(QStringLiteral("%1"), base()).toUtf8());
        }
        QCOMPARE(hResolveShellLink(path), expected == QLatin1String("=") ? path : base() + QLatin1Char('/') + expected);
    }

    void filterBoxFollowsTheStoredFilter_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<int>("entry");
        QTest::newRow("mp3") << "*.mp3" << 0;
        QTest::newRow("mp3 upper case") << "*.MP3" << 0;
        QTest::newRow("all") << "*.*" << 1;
        QTest::newRow("anything else") << "*.wav" << 1;
    }
    void filterBoxFollowsTheStoredFilter()
    {
        QFETCH(QString, stored);
        QFETCH(int, entry);
        HFileFilterBox box;
        QCOMPARE(box.count(), 2);
        QVERIFY(box.itemText(0).startsWith(QStringLiteral("Mp3 files(*.mp3)")));
        QCOMPARE(box.itemText(1), QStringLiteral("All files(*.*)"));
        QSignalSpy changed(&box, &HFileFilterBox::filterChanged);
        box.setFilter(stored);
        QCOMPARE(box.currentIndex(), entry);
        QCOMPARE(changed.count(), 0);
        emit box.activated(1 - entry);
        QCOMPARE(changed.count(), 1);
        QCOMPARE(changed.at(0).at(0).toString(), entry == 0 ? QStringLiteral("*.*") : QStringLiteral("*.mp3"));
    }
};

DESK_TEST_MAIN(FolderTreeTest)
#include "folder_tree_test.moc"
