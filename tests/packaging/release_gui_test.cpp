// The program as it is installed: linked to the shared device library, whose
// windows come from its Qt module in zvc450usb/ next to it, and showing the
// release version in its About box.
#include "AboutDlg.h"
#include "tunedeck_version.h"
#include "zvc450usb.h"

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QTimer>
#include <QtTest>

class ReleaseGuiTest : public QObject {
    Q_OBJECT
private slots:
    // The library finds its module and draws its error box with Qt (without
    // it, the box would become a line on stderr and nothing would be shown).
    void libraryLoadsItsQtModule()
    {
        QString shown;
        QTimer poll;
        connect(&poll, &QTimer::timeout, [&] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                shown = box->text();
                box->accept();
            }
        });
        poll.start(10);
        ZVC450_DispError(nullptr, ZVC450USB_ERR_DEVICE_OPEN, 0);
        poll.stop();
        QVERIFY2(!shown.isEmpty(), "no Qt message box: the library did not load its Qt module");
    }

    void aboutBoxNamesTheRelease()
    {
        HAboutDlg about;
        QStringList texts;
        for (const QLabel *label : about.findChildren<QLabel *>())
            texts << label->text();
        const QString all = texts.join(QLatin1Char('\n'));
        QVERIFY2(all.contains(QStringLiteral("TuneDeck for Linux " TUNEDECK_VERSION)), qPrintable(all));
        // The texts the player's software has always shown stay as they were.
        QVERIFY(texts.contains(QStringLiteral("TuneDeck Version 1.94 - 2")));
        QVERIFY(texts.contains(QStringLiteral("(Build Number #57)")));
    }
};

QTEST_MAIN(ReleaseGuiTest)
#include "release_gui_test.moc"
