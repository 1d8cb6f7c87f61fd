// The main window in Korean on a real X server, worked with keys that come
// through the server (xdotool): Alt and the mnemonic letter open a menu, the
// next letter chooses its item, here Help > About, whose button is "확인".
// Run by under-xvfb with the xcb platform.

#include "MainFrm.h"
#include "Translations.h"

#include <QApplication>
#include <QFile>
#include <QMenu>
#include <QMenuBar>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace {

void key(const QString &name)
{
    QCOMPARE(QProcess::execute(QStringLiteral("xdotool"), {QStringLiteral("key"), name}), 0);
}

} // namespace

class MenuKeysTest : public QObject {
    Q_OBJECT

public:
    explicit MenuKeysTest(CTunedexApp *app) : m_app(app) {}

private:
    CTunedexApp *m_app;

private slots:
    void initTestCase()
    {
        QVERIFY2(QGuiApplication::platformName() == QLatin1String("xcb"), "run me with under-xvfb");
    }

    void mnemonicsOpenHelpAboutInKorean()
    {
        const tunedex::LoadedCatalogues loaded =
            tunedex::installTranslations(QLocale(QLocale::Korean, QLocale::SouthKorea),
                                         {QStringLiteral(TUNEDEX_TEST_TRANSLATIONS_DIR)});
        QVERIFY(!loaded.program.isEmpty());
        QVERIFY(m_app->initInstance());
        CMainFrame *frame = m_app->mainFrame();
        frame->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(frame));

        // The About box runs modally inside the key's handling: it is read and
        // closed from a timer.
        QString button;
        QTimer poll;
        connect(&poll, &QTimer::timeout, this, [&] {
            QWidget *w = QApplication::activeModalWidget();
            if (!w)
                return;
            if (auto *ok = w->findChild<QPushButton *>(QStringLiteral("ok")))
                button = ok->text();
            w->close();
        });
        poll.start(50);

        key(QStringLiteral("alt+h"));
        QTRY_VERIFY(QApplication::activePopupWidget());
        QCOMPARE(qobject_cast<QMenu *>(QApplication::activePopupWidget())->title(), QStringLiteral("도움말(&H)"));
        key(QStringLiteral("a"));
        QTRY_COMPARE(button, QStringLiteral("확인"));
        m_app->exitInstance(0);
    }
};

int main(int argc, char **argv)
{
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
    // No player: the link names a socket nobody listens on.
    qputenv("ZVC450_VUSB", QFile::encodeName(config.filePath(QStringLiteral("link"))));
    CTunedexApp app(argc, argv);
    app.setQuitOnLastWindowClosed(false);
    MenuKeysTest test(&app);
    return QTest::qExec(&test, argc, argv);
}

#include "menu_keys_test.moc"
