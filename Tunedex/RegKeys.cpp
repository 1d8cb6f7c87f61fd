#include "RegKeys.h"

#include <QDir>
#include <QSettings>
#include <QVariant>

#include <limits>

namespace RegKeys {

namespace {

// Cached between start and exit; everything else is read when needed.
QString g_fileListFilter = QString::fromLatin1(Key::FileListFilter.defaultValue);
QString g_lastDirectory;
bool g_lastDirectoryHold = false;

QString settingPath(const QString &section, const QString &key)
{
    return section.isEmpty() ? key : section + QLatin1Char('/') + key;
}

bool validView(int view)
{
    Q_ASSERT_X(view >= kDesktopView, "RegKeys", "view number below -1");
    return view >= kDesktopView;
}

bool validColumn(int column)
{
    Q_ASSERT_X(column >= 0, "RegKeys", "negative column number");
    return column >= 0;
}

} // namespace

int readInt(const QString &section, const QString &key, int defaultValue)
{
    const QSettings settings(QString::fromLatin1(kOrganization), QString::fromLatin1(kApplication));
    const QVariant stored = settings.value(settingPath(section, key));
    if (!stored.isValid())
        return defaultValue;
    // A number that does not fit 32 bits is as unreadable as text.
    bool ok = false;
    const qlonglong number = stored.toLongLong(&ok);
    if (!ok || number < std::numeric_limits<int>::min() || number > std::numeric_limits<int>::max())
        return defaultValue;
    return static_cast<int>(number);
}

QString readString(const QString &section, const QString &key, const QString &defaultValue)
{
    const QSettings settings(QString::fromLatin1(kOrganization), QString::fromLatin1(kApplication));
    const QVariant stored = settings.value(settingPath(section, key));
    return stored.isValid() ? stored.toString() : defaultValue;
}

void writeInt(const QString &section, const QString &key, int value)
{
    QSettings settings(QString::fromLatin1(kOrganization), QString::fromLatin1(kApplication));
    settings.setValue(settingPath(section, key), value);
}

void writeString(const QString &section, const QString &key, const QString &value)
{
    QSettings settings(QString::fromLatin1(kOrganization), QString::fromLatin1(kApplication));
    settings.setValue(settingPath(section, key), value);
}

int value(const IntKey &key)
{
    return readInt(QString::fromLatin1(key.section), QString::fromLatin1(key.key), key.defaultValue);
}

void setValue(const IntKey &key, int value)
{
    writeInt(QString::fromLatin1(key.section), QString::fromLatin1(key.key), value);
}

QString value(const StringKey &key)
{
    return readString(QString::fromLatin1(key.section), QString::fromLatin1(key.key),
                      QString::fromLatin1(key.defaultValue));
}

void setValue(const StringKey &key, const QString &value)
{
    writeString(QString::fromLatin1(key.section), QString::fromLatin1(key.key), value);
}

QString viewSection(int view)
{
    if (view == kDesktopView)
        return QStringLiteral("Desktop");
    return QStringLiteral("Mp3Mem_%1").arg(view);
}

QString columnWidthKey(int column)
{
    return QStringLiteral("SubItemWidth_%1").arg(column);
}

namespace {

// Earlier versions stored 0 for an empty field, which the USB stack would take as
// "wait for ever": it reads as the default.
unsigned timeout(const IntKey &key)
{
    const int stored = value(key);
    return static_cast<unsigned>(stored != 0 ? stored : key.defaultValue);
}

} // namespace

void getTimeouts(unsigned *recvMs, unsigned *sendMs, unsigned *formatMs)
{
    if (recvMs)
        *recvMs = timeout(Key::TimeoutRecv);
    if (sendMs)
        *sendMs = timeout(Key::TimeoutSend);
    if (formatMs)
        *formatMs = timeout(Key::TimeoutFormat);
}

void setTimeouts(unsigned recvMs, unsigned sendMs, unsigned formatMs)
{
    setValue(Key::TimeoutRecv, static_cast<int>(recvMs));
    setValue(Key::TimeoutSend, static_cast<int>(sendMs));
    setValue(Key::TimeoutFormat, static_cast<int>(formatMs));
}

QString codecCodeName() { return value(Key::CodecCodeName); }
void setCodecCodeName(const QString &path) { setValue(Key::CodecCodeName, path); }
QString bootCodeName() { return value(Key::BootCodeName); }
void setBootCodeName(const QString &path) { setValue(Key::BootCodeName, path); }
QString fontName() { return value(Key::FontName); }
void setFontName(const QString &path) { setValue(Key::FontName, path); }
QString rawDataFileName() { return value(Key::RawDataFileName); }
void setRawDataFileName(const QString &path) { setValue(Key::RawDataFileName, path); }
QString rawDataViewer() { return value(Key::RawDataViewer); }
void setRawDataViewer(const QString &path) { setValue(Key::RawDataViewer, path); }

void getRawDataRange(unsigned *firstBlock, unsigned *blockCount)
{
    if (firstBlock)
        *firstBlock = static_cast<unsigned>(value(Key::RawDataAddr));
    if (blockCount)
        *blockCount = static_cast<unsigned>(value(Key::RawDataCount));
}

void setRawDataRange(unsigned firstBlock, unsigned blockCount)
{
    setValue(Key::RawDataAddr, static_cast<int>(firstBlock));
    setValue(Key::RawDataCount, static_cast<int>(blockCount));
}

int romSelect() { return value(Key::ROMSelect); }
void setRomSelect(int v) { setValue(Key::ROMSelect, v); }
int adpcmConvert() { return value(Key::AdpcmConvert); }
void setAdpcmConvert(int v) { setValue(Key::AdpcmConvert, v); }
int bvfConvert() { return value(Key::BvfConvert); }
void setBvfConvert(int v) { setValue(Key::BvfConvert, v); }

unsigned expectedFirmwareVersion() { return static_cast<unsigned>(value(Key::ExpVer)); }
void setExpectedFirmwareVersion(unsigned version) { setValue(Key::ExpVer, static_cast<int>(version)); }

void getUserUsbId(unsigned *vid, unsigned *pid)
{
    if (vid)
        *vid = static_cast<unsigned>(value(Key::UserVID));
    if (pid)
        *pid = static_cast<unsigned>(value(Key::UserPID));
}

void setUserUsbId(unsigned vid, unsigned pid)
{
    setValue(Key::UserVID, static_cast<int>(vid));
    setValue(Key::UserPID, static_cast<int>(pid));
}

bool internalOnly() { return value(Key::IntOnly) != 0; }
void setInternalOnly(bool internalOnly) { setValue(Key::IntOnly, internalOnly ? 1 : 0); }
bool verifyCopies() { return value(Key::VerifyCopies) != 0; }
void setVerifyCopies(bool verify) { setValue(Key::VerifyCopies, verify ? 1 : 0); }
int windowState() { return value(Key::WindowState); }
void setWindowState(int state) { setValue(Key::WindowState, state); }
QByteArray windowGeometry() { return QByteArray::fromBase64(value(Key::WindowGeometry).toLatin1()); }
void setWindowGeometry(const QByteArray &geometry)
{
    setValue(Key::WindowGeometry, QString::fromLatin1(geometry.toBase64()));
}
int paneDivider() { return value(Key::PaneDivider); }
void setPaneDivider(int desktopWidth) { setValue(Key::PaneDivider, desktopWidth); }

int sortKey(int view)
{
    if (!validView(view))
        return 0;
    return readInt(viewSection(view), QString::fromLatin1(kSortKey), 0);
}

void setSortKey(int view, int column)
{
    if (validView(view))
        writeInt(viewSection(view), QString::fromLatin1(kSortKey), column);
}

bool sortAscendent(int view)
{
    if (!validView(view))
        return true;
    return readInt(viewSection(view), QString::fromLatin1(kSortAscendent), 1) != 0;
}

void setSortAscendent(int view, bool ascending)
{
    if (validView(view))
        writeInt(viewSection(view), QString::fromLatin1(kSortAscendent), ascending ? 1 : 0);
}

bool hasColumnWidth(int view, int column)
{
    return validView(view) && validColumn(column) && readInt(viewSection(view), columnWidthKey(column), -1) > 0;
}

int columnWidth(int view, int column)
{
    if (!validView(view) || !validColumn(column))
        return kDefaultColumnWidth;
    return readInt(viewSection(view), columnWidthKey(column), kDefaultColumnWidth);
}

void setColumnWidth(int view, int column, int width)
{
    if (validView(view) && validColumn(column))
        writeInt(viewSection(view), columnWidthKey(column), width);
}

void loadFileListFilter() { g_fileListFilter = value(Key::FileListFilter); }
void saveFileListFilter() { setValue(Key::FileListFilter, g_fileListFilter); }
QString fileListFilter() { return g_fileListFilter; }
void setFileListFilter(const QString &filter) { g_fileListFilter = filter; }

void loadLastDirectory()
{
    g_lastDirectory = readString(QString::fromLatin1(Key::LastDirectory.section),
                                 QString::fromLatin1(Key::LastDirectory.key), QDir::currentPath());
    g_lastDirectoryHold = true;
}

void saveLastDirectory()
{
    // Before a load there is nothing to keep; an empty text would only wipe the stored folder.
    if (!g_lastDirectory.isEmpty())
        setValue(Key::LastDirectory, g_lastDirectory);
}
QString lastDirectory() { return g_lastDirectory; }

void setLastDirectory(const QString &path)
{
    if (!g_lastDirectoryHold)
        g_lastDirectory = path;
}

bool lastDirectoryHold() { return g_lastDirectoryHold; }
void setLastDirectoryHold(bool hold) { g_lastDirectoryHold = hold; }

} // namespace RegKeys
