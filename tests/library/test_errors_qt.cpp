// Error display in a Qt program: a message box instead of a line on stderr.

#include "protocol.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QTimer>

#include <string>

TEST(DispError, ApplicationModalBoxOverTheOwner)
{
    int argc = 1;
    char arg0[] = "library_tests";
    char *argv[] = {arg0, nullptr};
    QApplication app(argc, argv);
    QWidget owner;
    QString text;
    QString informative;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QWidget *parent = nullptr;
    Qt::WindowModality modality = Qt::NonModal;
    QTimer poll;
    int tries = 0;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (box) {
            text = box->text();
            informative = box->informativeText();
            icon = box->icon();
            parent = box->parentWidget();
            modality = box->windowModality();
            box->accept();
        } else if (++tries > 200) {
            QApplication::closeAllWindows();  // never hang the suite
        }
    });
    poll.start(10);
    testing::internal::CaptureStderr();
    ZVC450_DispError(&owner, 4, 0);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(text.toStdString(), "ZVC450USB_ERR_USB or TIMEOUT\nPlease check Timeout Value");
    EXPECT_EQ(icon, QMessageBox::Critical);
    EXPECT_EQ(parent, &owner);
    EXPECT_EQ(modality, Qt::ApplicationModal);
    EXPECT_EQ(err.find("ZVC450USB_ERR_USB"), std::string::npos) << "a box, not a line on stderr";
    EXPECT_TRUE(informative.isEmpty());

    // The caller's lines go under the library's text, in the same box.
    tries = 0;
    ZVC450_DispErrorEx(&owner, 13, 0, "/home/u/a:b.mp3\n\nRename the file.");
    EXPECT_EQ(text.toStdString(), "ZVS450USB_ERR_INVALID_FILENAME");
    EXPECT_EQ(informative.toStdString(), "/home/u/a:b.mp3\n\nRename the file.");
}
