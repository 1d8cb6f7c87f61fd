// The program in the user's language, offscreen: the catalogues the system
// locale chooses (the test runs once with LANG=ko_KR.UTF-8 and once with
// LANG=de_DE.UTF-8, EXPECTED_LANGUAGE naming which), menus without English
// words left in them, a mnemonic on every menu and item and no letter twice in
// one menu, the About box's button, the plain words under a library error.

#include "AboutDlg.h"
#include "ChildView.h"
#include "Commands.h"
#include "MainFrm.h"
#include "Mp3MemVw.h"
#include "RegKeys.h"
#include "Translations.h"
#include "emulator.h"
#include "error_advice.h"
#include "zvc450usb.h"

#include <QAction>
#include <QFile>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

// The build tree's compiled catalogues first, then where the program looks.
QStringList folders()
{
    return QStringList{QStringLiteral(TUNEDEX_TEST_TRANSLATIONS_DIR)} + tunedex::catalogueFolders();
}

// Every entry of a menu and its sub-menus: (menu title, entry text).
void collect(const QMenu *menu, QList<QPair<QString, QString>> *entries, QList<const QMenu *> *menus)
{
    menus->append(menu);
    for (QAction *a : menu->actions()) {
        if (a->isSeparator())
            continue;
        entries->append({menu->title(), a->text()});
        if (a->menu())
            collect(a->menu(), entries, menus);
    }
}

// The mnemonic letter of a text ("&Datei" gives 'd'), or a null QChar when it
// has none; a text with more than one marker gives '?'.
QChar mnemonic(const QString &text)
{
    QChar found;
    for (qsizetype i = 0; i + 1 < text.size(); ++i) {
        if (text.at(i) != QLatin1Char('&'))
            continue;
        if (text.at(i + 1) == QLatin1Char('&')) {
            ++i;
            continue;
        }
        if (!found.isNull())
            return QLatin1Char('?');
        found = text.at(i + 1).toLower();
    }
    return found;
}

} // namespace

class TranslationTest : public QObject {
    Q_OBJECT

public:
    explicit TranslationTest(CTunedexApp *app) : m_app(app) {}

private:
    CTunedexApp *m_app;
    QTemporaryDir m_dir;
    std::unique_ptr<emu::Emulator> m_player;

    // The menu bar's menus, the frame started as the program starts it.
    QList<QMenu *> topMenus() const
    {
        QList<QMenu *> menus;
        for (QAction *a : m_app->mainFrame()->menuBar()->actions())
            menus << a->menu();
        return menus;
    }

    void startProgram()
    {
        QSettings(QString::fromLatin1(RegKeys::kOrganization), QString::fromLatin1(RegKeys::kApplication)).clear();
        QVERIFY(m_app->initInstance());
    }

    void stopProgram()
    {
        if (m_app->mainFrame())
            m_app->exitInstance(0);
    }

private slots:
    void initTestCase()
    {
        // An emulated player with both memories, so that the panes have titles to show.
        emu::EmulatorOptions options;
        options.state.folder = m_dir.filePath(QStringLiteral("player")).toStdString();
        options.state.internalBytes = 8u << 20;
        options.state.cardBytes = 1u << 20;
        options.state.card = true;
        options.socketPath = m_dir.filePath(QStringLiteral("link")).toStdString();
        m_player = std::make_unique<emu::Emulator>(options);
        std::string error;
        QVERIFY2(m_player->Start(&error), error.c_str());
        qputenv("ZVC450_VUSB", QFile::encodeName(m_dir.filePath(QStringLiteral("link"))));
    }

    void cleanupTestCase()
    {
        if (m_player)
            m_player->Stop();
    }

    // The language comes from the environment, as for a user.
    void systemLocaleChoosesTheCatalogues()
    {
        const QString language = qEnvironmentVariable("EXPECTED_LANGUAGE");
        QVERIFY2(!language.isEmpty(), "run through ctest (EXPECTED_LANGUAGE)");
        const tunedex::LoadedCatalogues loaded = tunedex::installTranslations(QLocale::system(), folders());
        QVERIFY2(loaded.program.endsWith(QStringLiteral("/tunedex_%1.qm").arg(language)), qPrintable(loaded.program));
        QVERIFY2(loaded.qt.endsWith(QStringLiteral("/qtbase_%1.qm").arg(language)), qPrintable(loaded.qt));

        startProgram();
        QList<QPair<QString, QString>> entries;
        QList<const QMenu *> menus;
        for (QMenu *m : topMenus()) {
            entries.append({QString(), m->title()});
            collect(m, &entries, &menus);
        }
        // Not one entry shows the English text of the table.
        QStringList english;
        for (const cmd::MenuEntry &e : cmd::mainMenu())
            if (e.text)
                english << cmd::plainText(QString::fromLatin1(e.text));
        QStringList left;
        for (const auto &entry : entries)
            if (english.contains(cmd::plainText(entry.second)))
                left << entry.second;
        QVERIFY2(left.isEmpty(), qPrintable(left.join(QStringLiteral(", "))));
        QCOMPARE(entries.size(), int(english.size()));

        // The panes' title strips too.
        HMp3MemView *internal = m_app->mainFrame()->childView()->memoryView(0);
        QVERIFY(internal);
        const QString title = internal->titleText();
        QVERIFY2(!title.contains(QStringLiteral("Internal Memory")) && !title.contains(QStringLiteral("Remain")),
                 qPrintable(title));
        stopProgram();
    }

    // A mnemonic on every menu and every item (the main menu and the player's
    // pane's context menu), each letter once per menu, in the source language
    // and in both translations.
    void mnemonics_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::newRow("English") << "en_US";
        QTest::newRow("Korean") << "ko_KR";
        QTest::newRow("German") << "de_DE";
    }
    void mnemonics()
    {
        QFETCH(QString, locale);
        tunedex::installTranslations(QLocale(locale), folders());
        startProgram();
        QList<QPair<QString, QString>> entries;
        QList<const QMenu *> menus;
        QStringList titles;
        for (QMenu *m : topMenus()) {
            titles << m->title();
            collect(m, &entries, &menus);
        }
        QStringList problems;
        auto checkMenu = [&](const QString &where, const QStringList &texts) {
            QList<QChar> seen;
            for (const QString &t : texts) {
                const QChar c = mnemonic(t);
                if (c.isNull() || c == QLatin1Char('?'))
                    problems << where + QStringLiteral(": no single mnemonic in ") + t;
                else if (seen.contains(c))
                    problems << where + QStringLiteral(": '") + c + QStringLiteral("' twice, in ") + t;
                seen << c;
            }
        };
        checkMenu(QStringLiteral("menu bar"), titles);
        for (const QMenu *m : menus) {
            QStringList texts;
            for (QAction *a : m->actions())
                if (!a->isSeparator() && !a->text().isEmpty())
                    texts << a->text();
            checkMenu(m->title(), texts);
        }
        // The player's pane's context menu.
        HMp3MemView *internal = m_app->mainFrame()->childView()->memoryView(0);
        QVERIFY(internal);
        std::unique_ptr<QMenu> context(internal->createContextMenu(nullptr));
        QStringList texts;
        for (QAction *a : context->actions())
            if (!a->isSeparator())
                texts << a->text();
        checkMenu(QStringLiteral("context menu"), texts);
        stopProgram();
        tunedex::installTranslations(QLocale(QLocale::English), folders());
        QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QLatin1Char('\n'))));
    }

    void aboutButtonFollowsTheLocale_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("button");
        QTest::newRow("English") << "en_GB" << "OK";
        QTest::newRow("Korean") << "ko_KR" << QStringLiteral("확인");
        QTest::newRow("German") << "de_DE" << "OK";
    }
    void aboutButtonFollowsTheLocale()
    {
        QFETCH(QString, locale);
        QFETCH(QString, button);
        tunedex::installTranslations(QLocale(locale), folders());
        HAboutDlg about;
        auto *ok = about.findChild<QPushButton *>(QStringLiteral("ok"));
        QVERIFY(ok);
        QCOMPARE(ok->text(), button);
        tunedex::installTranslations(QLocale(QLocale::English), folders());
    }

    // A user whose language is English gets the texts as written.
    void englishFirstKeepsTheSourceTexts()
    {
        const tunedex::LoadedCatalogues loaded = tunedex::installTranslations(QLocale(QLocale::English), folders());
        QVERIFY(loaded.program.isEmpty());
        QCOMPARE(cmd::menuText("&File"), QStringLiteral("&File"));
        // The C locale (LC_ALL=C, the tests' own) is no language either.
        tunedex::installTranslations(QLocale(QLocale::Korean), folders());
        QVERIFY(tunedex::installTranslations(QLocale::c(), folders()).program.isEmpty());
        QCOMPARE(cmd::menuText("&File"), QStringLiteral("&File"));
    }

    // The plain words under a library error speak the user's language; the
    // library's text itself never changes.
    void errorAdviceIsTranslated_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<int>("code");
        QTest::addColumn<int>("internal");
        QTest::newRow("ko invalid name") << "ko_KR" << ZVS450USB_ERR_INVALID_FILENAME << 0;
        QTest::newRow("de disk full") << "de_DE" << ZVC450USB_ERR_DISKFULL << 0;
        QTest::newRow("de card missing") << "de_DE" << ZVC450USB_ERR_INTERNAL << ZVC450INT_ERR_CARD_NOT_DETECTED;
    }
    void errorAdviceIsTranslated()
    {
        QFETCH(QString, locale);
        QFETCH(int, code);
        QFETCH(int, internal);
        tunedex::installTranslations(QLocale(locale), folders());
        const char *advice = tunedeck::ErrorAdvice(code, internal, 0);
        QVERIFY(advice);
        const QString shown = QCoreApplication::translate("ErrorAdvice", advice);
        tunedex::installTranslations(QLocale(QLocale::English), folders());
        QVERIFY(!shown.isEmpty());
        QVERIFY2(shown != QString::fromUtf8(advice), advice);
    }
};

int main(int argc, char **argv)
{
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
    CTunedexApp app(argc, argv);
    app.setQuitOnLastWindowClosed(false);
    TranslationTest test(&app);
    return QTest::qExec(&test, argc, argv);
}

#include "translation_test.moc"
