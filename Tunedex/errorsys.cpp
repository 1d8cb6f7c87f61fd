#include "errorsys.h"

#include <QApplication>
#include <QByteArray>
#include <QMessageBox>

#include <cerrno>
#include <cstdio>
#include <cstring>

QString errorsys_Text(int error)
{
    if (error == 0)
        error = errno;
    // strerror invents "Unknown error N" for numbers it does not know; the
    // description table tells known from unknown without that guess.
    if (strerrordesc_np(error) == nullptr)
        return QString::fromLatin1(kErrorsysUnknownText);
    char buffer[256];
    const char *text = strerror_r(error, buffer, sizeof buffer); // GNU form: may return a static text
    if (text == nullptr || *text == '\0')
        return QString::fromLatin1(kErrorsysUnknownText);
    return QString::fromLocal8Bit(text);
}

void errorsys_GetText(int error, char *buffer, int size)
{
    if (buffer == nullptr || size <= 0)
        return;
    const QByteArray text = errorsys_Text(error).toUtf8();
    int length = qMin(static_cast<int>(text.size()), size - 1);
    // Step back over UTF-8 continuation bytes so a character is never split.
    if (length < text.size())
        while (length > 0 && (static_cast<unsigned char>(text[length]) & 0xC0) == 0x80)
            --length;
    std::memcpy(buffer, text.constData(), static_cast<size_t>(length));
    buffer[length] = '\0';
}

QString errorsys_Message(int error, const QString &path)
{
    const QString text = errorsys_Text(error);
    return path.isEmpty() ? text : path + QLatin1Char('\n') + text;
}

void errorsys_Show(int error, QWidget *owner, const QString &path)
{
    const int saved = error == 0 ? errno : error;
    const QString text = errorsys_Message(saved, path);
    if (qobject_cast<QApplication *>(QCoreApplication::instance()) == nullptr) {
        std::fprintf(stderr, "%s\n", QString(text).replace(QLatin1Char('\n'), QStringLiteral(": ")).toLocal8Bit().constData());
        return;
    }
    QMessageBox::warning(owner, QApplication::applicationDisplayName(), text,
                         QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Ok);
}
