#include "errorsys.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

namespace {

TEST(Errorsys, TextsComeFromTheSystemOrTheFallback)
{
    const QString fallback = QStringLiteral("System Internal Errors(null)");
    const struct {
        int error;
        int errnoBefore;
        QString expected;
    } rows[] = {
        {ENOENT, 0, QString::fromLocal8Bit(std::strerror(ENOENT))},
        {0, EACCES, QString::fromLocal8Bit(std::strerror(EACCES))}, // 0 = the thread's errno
        {ENAMETOOLONG, 0, QString::fromLocal8Bit(std::strerror(ENAMETOOLONG))},
        {99999, 0, fallback},
        {-3, 0, fallback},
    };
    for (const auto &row : rows) {
        errno = row.errnoBefore;
        EXPECT_EQ(errorsys_Text(row.error), row.expected) << row.error;
    }
    EXPECT_FALSE(errorsys_Text(ENOENT).isEmpty());
}

TEST(Errorsys, BufferGetsAtMostSizeMinusOneCharacters)
{
    const std::string full = errorsys_Text(99999).toStdString();
    const struct {
        int size;
        std::string expected;
    } rows[] = {
        {1, ""},
        {7, full.substr(0, 6)},
        {int(full.size()), full.substr(0, full.size() - 1)},
        {int(full.size()) + 1, full},
        {200, full},
    };
    for (const auto &row : rows) {
        char buffer[256];
        std::memset(buffer, 'x', sizeof buffer);
        errorsys_GetText(99999, buffer, row.size);
        EXPECT_EQ(std::string(buffer), row.expected) << row.size;
    }
    for (int size : {0, -1}) {
        char buffer[4] = {'x', 'x', 'x', '\0'};
        errorsys_GetText(ENOENT, buffer, size);
        EXPECT_STREQ(buffer, "xxx") << size;
    }
}

TEST(Errorsys, ShowIsAWarningWithOkAndCancel)
{
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    QTimer::singleShot(0, [&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        text = box->text();
        icon = box->icon();
        buttons = box->standardButtons();
        box->button(QMessageBox::Cancel)->click(); // Cancel changes nothing
    });
    errorsys_Show(ENOENT, nullptr);
    EXPECT_EQ(text, errorsys_Text(ENOENT));
    EXPECT_EQ(icon, QMessageBox::Warning);
    EXPECT_EQ(buttons, QMessageBox::Ok | QMessageBox::Cancel);
}

// The box says which file or folder failed, not only how.
TEST(Errorsys, ShowNamesTheFileOrFolder)
{
    QString text;
    QTimer::singleShot(0, [&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        text = box->text();
        box->button(QMessageBox::Ok)->click();
    });
    errorsys_Show(EACCES, nullptr, QStringLiteral("/media/stick/Music"));
    EXPECT_EQ(text, QStringLiteral("/media/stick/Music\n") + errorsys_Text(EACCES));
}

} // namespace
