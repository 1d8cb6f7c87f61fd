// The library windows as Qt dialogs (offscreen).

#include "progress.h"

#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <climits>
#include <memory>

using namespace zvc450;

namespace {

class QtWindows : public ::testing::Test {
protected:
    void SetUp() override { owner = std::make_unique<QWidget>(); }
    void TearDown() override {
        DestroyProgressWindow(rec.hDlg);
        owner.reset();
    }

    QDialog *Dialog() { return owner->findChild<QDialog *>(QStringLiteral("zvc450-progress")); }
    QString Label(const char *name) {
        QLabel *label = Dialog()->findChild<QLabel *>(QString::fromLatin1(name));
        return label != nullptr ? label->text() : QStringLiteral("<missing>");
    }
    void OpenTransfer(unsigned title, int index, const char *status) {
        rec.title = title;
        rec.index = index;
        rec.status = status;
        ASSERT_NE(CreateProgressWindow(owner.get(), &rec), nullptr);
        ASSERT_NE(Dialog(), nullptr);
    }

    std::unique_ptr<QWidget> owner;
    ProgressRecord rec{};
};

TEST_F(QtWindows, TransferWindowShowsItsFields) {
    OpenTransfer(kStrDownloading, 7, "/music/song.mp3");
    QDialog *d = Dialog();
    EXPECT_TRUE(d->isVisible());
    // Modal to the whole program while the operation runs, and holding the
    // keyboard so that Esc reaches its Cancel.
    EXPECT_EQ(d->windowModality(), Qt::ApplicationModal);
    EXPECT_TRUE(d->isActiveWindow());
    EXPECT_EQ(d->windowTitle(), QStringLiteral("Downloading"));
    EXPECT_EQ(Label("index"), QStringLiteral("7"));
    EXPECT_EQ(Label("status"), QStringLiteral("/music/song.mp3"));
    EXPECT_EQ(Label("percentage"), QStringLiteral(" 0 %"));

    SetProgressRange(&rec, 0, 200, nullptr);
    EXPECT_EQ(Label("speed"), QString());
    UpdateProgress(&rec, 84, 0);
    EXPECT_EQ(Label("percentage"), QStringLiteral("42 %"));
    auto *bar = d->findChild<QProgressBar *>(QStringLiteral("bar"));
    EXPECT_EQ(bar->value() * 200, bar->maximum() * 84);

    SetProgressRange(&rec, 0, 10, "Codec Area Erasing...");
    EXPECT_EQ(Label("status"), QStringLiteral("Codec Area Erasing..."));

    DestroyProgressWindow(rec.hDlg);
    EXPECT_EQ(rec.hDlg, nullptr);
    EXPECT_EQ(Dialog(), nullptr);
}

TEST_F(QtWindows, CaptionAndIndexFallbacks) {
    OpenTransfer(9999, -1, nullptr);
    EXPECT_EQ(Dialog()->windowTitle(), QStringLiteral("ZVC450"));
    EXPECT_EQ(Label("index"), QString());
}

TEST_F(QtWindows, LongPathIsShortenedInTheMiddle) {
    const std::string path = "/home/user/" + std::string(300, 'x') + "/last folder/song name.mp3";
    OpenTransfer(kStrUploading, 1, path.c_str());
    const QString shown = Label("status");
    EXPECT_LT(shown.size(), static_cast<int>(path.size()));
    EXPECT_TRUE(shown.startsWith(QStringLiteral("/home/"))) << shown.toStdString();
    EXPECT_TRUE(shown.endsWith(QStringLiteral("song name.mp3"))) << shown.toStdString();
}

TEST_F(QtWindows, MarkupInNamesIsShownAsText) {
    OpenTransfer(kStrUploading, 1, "<b>bold</b>.mp3");
    auto *status = Dialog()->findChild<QLabel *>(QStringLiteral("status"));
    EXPECT_EQ(status->textFormat(), Qt::PlainText);
}

TEST_F(QtWindows, BarCoversFullUnsignedRange) {
    OpenTransfer(kStrDownloading, 0, "big.bin");
    auto *bar = Dialog()->findChild<QProgressBar *>(QStringLiteral("bar"));
    // An empty file: an empty bar, not the busy animation of a 0..0 bar.
    SetProgressRange(&rec, 0, 0, nullptr);
    EXPECT_GT(bar->maximum(), bar->minimum());
    EXPECT_EQ(bar->value(), bar->minimum());

    SetProgressRange(&rec, 0, UINT_MAX, nullptr);
    UpdateProgress(&rec, 0xC0000000u, 0);
    EXPECT_EQ(Label("percentage"), QStringLiteral("75 %"));
    EXPECT_NEAR(double(bar->value()) / bar->maximum(), 0.75, 0.001);
    UpdateProgress(&rec, UINT_MAX, 0);
    EXPECT_EQ(bar->value(), bar->maximum());
}

TEST_F(QtWindows, CancelButtonAndEscCancel) {
    OpenTransfer(kStrUploading, 2, "a.mp3");
    auto *cancel = Dialog()->findChild<QPushButton *>(QStringLiteral("cancel"));
    ASSERT_NE(cancel, nullptr);
    EXPECT_EQ(cancel->text(), QStringLiteral("&Cancel"));
    EXPECT_TRUE(cancel->isDefault());
    QTest::mouseClick(cancel, Qt::LeftButton);
    EXPECT_NE(rec.flags & kProgressCancelled, 0u);
    EXPECT_TRUE(Dialog()->isVisible());  // the operation closes it, not the user

    rec.flags = 0;
    QTest::keyClick(Dialog(), Qt::Key_Escape);
    EXPECT_NE(rec.flags & kProgressCancelled, 0u);

    rec.flags = 0;
    Dialog()->close();
    EXPECT_NE(rec.flags & kProgressCancelled, 0u);
    EXPECT_TRUE(Dialog()->isVisible());
}

TEST_F(QtWindows, ConversionCancelThroughTheWindow) {
    rec.flags = kProgressCountMode;
    OpenTransfer(kStrConverting, -1, "voice.bvf");
    EXPECT_EQ(ConversionProgressCallback(1200, 5000, &rec), 0);
    EXPECT_EQ(Label("percentage"), QStringLiteral("1200 / 5000"));
    QTest::mouseClick(Dialog()->findChild<QPushButton *>(QStringLiteral("cancel")), Qt::LeftButton);
    EXPECT_EQ(ConversionProgressCallback(2400, 5000, &rec), -1);
}

TEST_F(QtWindows, OwnerGoneWhileTheOperationRuns) {
    OpenTransfer(kStrDownloading, 1, "a.mp3");
    SetProgressRange(&rec, 0, 100, nullptr);
    owner.reset();  // e.g. the pane closed during a pump
    UpdateProgress(&rec, 50, 1);
    SetProgressWaiting(&rec, "wait", "status");
    DestroyProgressWindow(rec.hDlg);
    EXPECT_EQ(rec.hDlg, nullptr);
}

TEST_F(QtWindows, DeletingWindowIgnoresCancel) {
    ProgressWindow *w = CreateDeletingWindow(owner.get(), 12, "SONG.MP3");
    ASSERT_NE(w, nullptr);
    QPointer<QDialog> d = Dialog();
    ASSERT_FALSE(d.isNull());
    EXPECT_EQ(d->windowTitle(), QStringLiteral("Deleting..."));
    EXPECT_EQ(Label("text"), QStringLiteral("Deleting..."));
    EXPECT_EQ(Label("index"), QStringLiteral("12"));
    EXPECT_EQ(Label("status"), QStringLiteral("SONG.MP3"));
    QTest::mouseClick(d->findChild<QPushButton *>(QStringLiteral("cancel")), Qt::LeftButton);
    EXPECT_TRUE(d->isVisible());
    DestroyProgressWindow(w);
    EXPECT_TRUE(d.isNull());

    w = CreateDeletingWindow(owner.get(), -1, "x");
    EXPECT_EQ(Label("index"), QString());
    DestroyProgressWindow(w);
}

TEST_F(QtWindows, FormatWindow) {
    ProgressWindow *w = CreateFormatWindow(owner.get());
    ASSERT_NE(Dialog(), nullptr);
    EXPECT_EQ(Dialog()->windowTitle(), QStringLiteral("Format"));
    EXPECT_EQ(Label("status"), QStringLiteral("Formating..."));
    EXPECT_EQ(Dialog()->findChild<QPushButton *>(), nullptr);
    DestroyProgressWindow(w);
    EXPECT_EQ(Dialog(), nullptr);
}

}  // namespace

int main(int argc, char **argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
