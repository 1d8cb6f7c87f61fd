// Shared fixture of the desktop-pane tests: a machine made of temporary folders.
#pragma once

#include "Folder.h"
#include "RegKeys.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <cstdlib>
#include <ctime>

// Drives, network mounts and special places made of folders under one temporary folder:
// "/" is the fixed drive, <base>/usbstick a removable one, <base>/cdrom an optical one,
// <base>/netshare a mounted network share.
class FakeFolderSource : public HFolderSource {
public:
    explicit FakeFolderSource(const QString &base) : m_base(base)
    {
        for (const char *d : {"usbstick", "cdrom", "netshare", "home/Desktop", "home/Documents"})
            QDir().mkpath(base + QLatin1Char('/') + QLatin1String(d));
    }
    QList<HVolume> drives() const override
    {
        return {vol(QStringLiteral("/"), QStringLiteral("System (/)"), HVolume::Fixed),
                vol(m_base + QStringLiteral("/usbstick"), QStringLiteral("STICK (usbstick)"), HVolume::Removable),
                vol(m_base + QStringLiteral("/cdrom"), QStringLiteral("DISC (cdrom)"), HVolume::Optical)};
    }
    QList<HVolume> networkMounts() const override
    {
        HVolume v = vol(m_base + QStringLiteral("/netshare"), QStringLiteral("music"), HVolume::Network);
        v.device = QStringLiteral("//server/music");
        v.fsType = QStringLiteral("cifs");
        return {v};
    }
    QString desktopPath() const override { return m_base + QStringLiteral("/home/Desktop"); }
    QString documentsPath() const override { return m_base + QStringLiteral("/home/Documents"); }

private:
    static HVolume vol(const QString &root, const QString &name, HVolume::Type type)
    {
        HVolume v;
        v.rootPath = root;
        v.displayName = name;
        v.type = type;
        return v;
    }
    QString m_base;
};

inline void writeFile(const QString &path, qint64 size, const QDateTime &mtime = QDateTime())
{
    QFile f(path);
    QVERIFY2(f.open(QIODevice::WriteOnly), qPrintable(path));
    if (size > 0)
        QVERIFY(f.resize(size));
    if (mtime.isValid())
        QVERIFY(f.setFileTime(mtime, QFileDevice::FileModificationTime));
}

inline void clearSettings()
{
    QSettings(QString::fromLatin1(RegKeys::kOrganization), QString::fromLatin1(RegKeys::kApplication)).clear();
    RegKeys::setLastDirectoryHold(false);
    RegKeys::setLastDirectory(QString());
    RegKeys::setFileListFilter(QStringLiteral("*.*"));
}

// Runs a Qt Test object in a private home: settings, desktop and time zone are the
// test's own, whatever the machine has.
#define DESK_TEST_MAIN(TestObject)                                                  \
    int main(int argc, char **argv)                                                 \
    {                                                                               \
        QTemporaryDir home;                                                         \
        qputenv("HOME", home.path().toLocal8Bit());                                 \
        qputenv("XDG_CONFIG_HOME", (home.path() + "/config").toLocal8Bit());        \
        qputenv("TZ", "JST-9");                                                     \
        tzset();                                                                    \
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))                         \
            qputenv("QT_QPA_PLATFORM", "offscreen");                                \
        QStandardPaths::setTestModeEnabled(true);                                   \
        QApplication app(argc, argv);                                               \
        TestObject tc;                                                              \
        return QTest::qExec(&tc, argc, argv);                                       \
    }
