// The program as a native Wayland client of a headless weston (run by
// under-weston): the main window comes up on the wayland platform with the
// emulated player connected, and the panes' drag, which cannot hold the mouse
// there, goes through the system's drag service and moves files both ways by
// the same rules. The compositor has no input device, so the drag's events are
// delivered to the program's windows as Qt delivers those of a data offer.

#include "ChildView.h"
#include "DeskView.h"
#include "DragObj.h"
#include "FileListCtrl.h"
#include "MainFrm.h"
#include "Mp3MemVw.h"
#include "RegKeys.h"
#include "emulator.h"
#include "zvs450.h"

#include <QDir>
#include <QDrag>
#include <QDropEvent>
#include <QFile>
#include <QMimeData>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QWindow>

#include <memory>

namespace {

class SilentUi : public Zvs450Ui {
public:
    QStringList said;
    Answer question(QWidget *, const QString &text, const QString &) override
    {
        said << text;
        return Answer::Cancel;
    }
    void message(QWidget *, const QString &text, const QString &) override { said << text; }
    QString openFile(QWidget *, const QString &, const QString &, const QString &) override { return QString(); }
    bool startViewer(const QString &, const QString &) override { return true; }
};

} // namespace

class WaylandTest : public QObject {
    Q_OBJECT

public:
    explicit WaylandTest(CTunedexApp *app) : m_app(app) {}

private:
    CTunedexApp *m_app;
    QTemporaryDir m_dir;
    std::unique_ptr<emu::Emulator> m_player;
    SilentUi m_ui;

    CChildView *child() const { return m_app->mainFrame()->childView(); }
    QString pc(const QString &name) const { return m_dir.filePath(QStringLiteral("pc/") + name); }

    // Drags the selection of `from` onto `to` at `at` through the system's drag
    // service; false when the drop was refused there.
    bool systemDrag(HDragObject *source, HFileListCtrl *from, QWidget *to, QPoint at)
    {
        bool taken = false;
        source->setSystemDragRunner([&](QDrag *drag) {
            QDragEnterEvent enter(at, Qt::CopyAction, drag->mimeData(), Qt::LeftButton, {});
            QApplication::sendEvent(to, &enter);
            QDropEvent drop(at, Qt::CopyAction, drag->mimeData(), {}, {});
            QApplication::sendEvent(to, &drop);
            taken = enter.isAccepted() && drop.isAccepted();
        });
        source->beginDrag(from->visualRect(from->model()->index(from->selectedRows().first(), 0)).center());
        source->setSystemDragRunner({});
        return taken;
    }

private slots:
    void initTestCase()
    {
        QCOMPARE(QGuiApplication::platformName(), QStringLiteral("wayland"));
        QVERIFY(QDir().mkpath(m_dir.filePath(QStringLiteral("pc"))));
        emu::EmulatorOptions options;
        options.state.folder = m_dir.filePath(QStringLiteral("player")).toStdString();
        options.state.internalBytes = 8u << 20;
        options.state.card = false;
        options.socketPath = m_dir.filePath(QStringLiteral("link")).toStdString();
        m_player = std::make_unique<emu::Emulator>(options);
        std::string error;
        QVERIFY2(m_player->Start(&error), error.c_str());
        qputenv("ZVC450_VUSB", QByteArray::fromStdString(options.socketPath));
        zvs450_SetUi(&m_ui);
        QSettings s(QString::fromLatin1(RegKeys::kOrganization), QString::fromLatin1(RegKeys::kApplication));
        s.setValue(QStringLiteral("Desktop/LastDirectory"), m_dir.filePath(QStringLiteral("pc")));
        s.setValue(QStringLiteral("FileListFilter"), QStringLiteral("*.*"));
        s.sync();
    }

    void cleanupTestCase()
    {
        if (m_app->mainFrame())
            m_app->exitInstance(0);
        zvs450_SetUi(nullptr);
        if (m_player)
            m_player->Stop();
    }

    void startsAsANativeClient()
    {
        QVERIFY(m_app->initInstance());
        CMainFrame *frame = m_app->mainFrame();
        QVERIFY(QTest::qWaitForWindowExposed(frame));
        QVERIFY(frame->windowHandle() && frame->windowHandle()->handle());
        QVERIFY(child()->memoryView(0) && child()->memoryView(0)->isUsable());
        QVERIFY(child()->dragDrop()->desktopSource()->usesSystemDrag());
        QVERIFY(child()->dragDrop()->memorySource(0)->usesSystemDrag());
    }

    void paneToPaneDragBothWays()
    {
        QFile f(pc(QStringLiteral("WAVE.MP3")));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(12000, 'w'));
        f.close();
        HDesktopView *desk = child()->desktopView();
        HMp3MemView *memory = child()->memoryView(0);
        desk->listCurrentPlace();
        QTRY_COMPARE(desk->model()->rowCount(), 1);
        desk->list()->selectRows({0});

        // Download: the desktop's rows onto the memory's list.
        QVERIFY(systemDrag(child()->dragDrop()->desktopSource(), desk->list(), memory->list()->viewport(),
                           memory->list()->viewport()->rect().center()));
        QCOMPARE(memory->model()->rowCount(), 1);
        QCOMPARE(memory->model()->rows().front().name, QStringLiteral("WAVE.MP3"));

        // Not onto the desktop's folder box: only its list takes rows.
        QVERIFY(QFile::remove(pc(QStringLiteral("WAVE.MP3"))));
        desk->listCurrentPlace();
        memory->list()->selectRows({0});
        QWidget *combo = desk->folderComboBox();
        QVERIFY(!systemDrag(child()->dragDrop()->memorySource(0), memory->list(), combo, combo->rect().center()));
        QVERIFY(!QFile::exists(pc(QStringLiteral("WAVE.MP3"))));

        // Upload: the memory's rows onto the desktop's list.
        QVERIFY(systemDrag(child()->dragDrop()->memorySource(0), memory->list(), desk->list()->viewport(),
                           desk->list()->viewport()->rect().center()));
        QFile back(pc(QStringLiteral("WAVE.MP3")));
        QVERIFY(back.open(QIODevice::ReadOnly));
        QCOMPARE(back.readAll(), QByteArray(12000, 'w'));
        QVERIFY2(m_ui.said.isEmpty(), qPrintable(m_ui.said.join(QLatin1Char('\n'))));
    }
};

int main(int argc, char **argv)
{
    QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.filePath(QStringLiteral("config"))));
    qputenv("XDG_CACHE_HOME", QFile::encodeName(home.filePath(QStringLiteral("cache"))));
    qputenv("ZVC450_CODEPAGE", "");
    CTunedexApp app(argc, argv);
    app.setQuitOnLastWindowClosed(false);
    QApplication::setOrganizationName(QString::fromLatin1(RegKeys::kOrganization));
    WaylandTest test(&app);
    return QTest::qExec(&test, argc, argv);
}

#include "wayland_test.moc"
