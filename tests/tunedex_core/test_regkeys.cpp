#include "RegKeys.h"

#include <QDir>
#include <QFile>
#include <QMap>
#include <QSettings>
#include <QStandardPaths>

#include <gtest/gtest.h>

#include <functional>

namespace {

QString settingsFile()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/Brightfen/TuneDeck.conf");
}

// The written file as section -> key -> text, read line by line rather than
// through QSettings, so the test sees what is really on disk.
QMap<QString, QMap<QString, QString>> writtenFile()
{
    QMap<QString, QMap<QString, QString>> sections;
    QFile file(settingsFile());
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return sections;
    QString section;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.startsWith(QLatin1Char('[')) && line.endsWith(QLatin1Char(']')))
            section = line.mid(1, line.size() - 2);
        else if (const qsizetype eq = line.indexOf(QLatin1Char('=')); eq > 0)
            sections[section][line.left(eq)] = line.mid(eq + 1);
    }
    return sections;
}

class RegKeysTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        QSettings(QString::fromLatin1(RegKeys::kOrganization), QString::fromLatin1(RegKeys::kApplication)).clear();
        QFile::remove(settingsFile());
        RegKeys::setLastDirectoryHold(false);
    }
};

TEST_F(RegKeysTest, FirstRunReadsTheDefaultsAndWritesNothing)
{
    unsigned recv = 0, send = 0, format = 0;
    RegKeys::getTimeouts(&recv, &send, &format);
    EXPECT_EQ(recv, 300000u);
    EXPECT_EQ(send, 100000u);
    EXPECT_EQ(format, 3000000u);
    unsigned first = 9, count = 9, vid = 9, pid = 9;
    RegKeys::getRawDataRange(&first, &count);
    RegKeys::getUserUsbId(&vid, &pid);
    EXPECT_EQ(first, 0u);
    EXPECT_EQ(count, 1u);
    EXPECT_EQ(vid, 0u);
    EXPECT_EQ(pid, 0u);

    const struct {
        const char *what;
        std::function<QString()> read;
        const char *expected;
    } strings[] = {
        {"CodecCodeName", RegKeys::codecCodeName, ""},
        {"BootCodeName", RegKeys::bootCodeName, ""},
        {"FontName", RegKeys::fontName, ""},
        {"RawDataFileName", RegKeys::rawDataFileName, ""},
        {"RawDataViewer", RegKeys::rawDataViewer, ""},
    };
    for (const auto &row : strings)
        EXPECT_EQ(row.read(), QString::fromLatin1(row.expected)) << row.what;

    const struct {
        const char *what;
        std::function<int()> read;
        int expected;
    } numbers[] = {
        {"ROMSelect", RegKeys::romSelect, 0},
        {"ADPCM", RegKeys::adpcmConvert, 0},
        {"BVF", RegKeys::bvfConvert, 0},
        {"ExpVer", [] { return int(RegKeys::expectedFirmwareVersion()); }, 0},
        {"IntOnly", [] { return int(RegKeys::internalOnly()); }, 0},
        {"WindowState", RegKeys::windowState, 5},
        {"desktop SortKey", [] { return RegKeys::sortKey(RegKeys::kDesktopView); }, 0},
        {"desktop SortAscendent", [] { return int(RegKeys::sortAscendent(RegKeys::kDesktopView)); }, 1},
        {"device 1 SortKey", [] { return RegKeys::sortKey(1); }, 0},
        {"device 1 SortAscendent", [] { return int(RegKeys::sortAscendent(1)); }, 1},
        {"device 0 column 3", [] { return RegKeys::columnWidth(0, 3); }, 100},
        {"desktop column 0", [] { return RegKeys::columnWidth(RegKeys::kDesktopView, 0); }, 100},
    };
    for (const auto &row : numbers)
        EXPECT_EQ(row.read(), row.expected) << row.what;

    RegKeys::loadFileListFilter();
    EXPECT_EQ(RegKeys::fileListFilter(), QStringLiteral("*.*"));
    RegKeys::loadLastDirectory();
    EXPECT_EQ(RegKeys::lastDirectory(), QDir::currentPath());

    EXPECT_FALSE(QFile::exists(settingsFile()));
}

TEST_F(RegKeysTest, EverySettingLandsUnderItsExactSectionAndKey)
{
    RegKeys::setTimeouts(1001, 1002, 1003);
    RegKeys::setCodecCodeName(QStringLiteral("/fw/codec.hex"));
    RegKeys::setBootCodeName(QStringLiteral("/fw/boot.bin"));
    RegKeys::setFontName(QStringLiteral("/fw/font.fot"));
    RegKeys::setRawDataFileName(QStringLiteral("/tmp/raw.bin"));
    RegKeys::setRawDataViewer(QStringLiteral("/usr/bin/xxd"));
    RegKeys::setRawDataRange(7, 9);
    RegKeys::setRomSelect(2);
    RegKeys::setAdpcmConvert(1);
    RegKeys::setBvfConvert(1);
    RegKeys::setExpectedFirmwareVersion(0x14300);
    RegKeys::setUserUsbId(0x0419, 0xA001);
    RegKeys::setInternalOnly(true);
    RegKeys::setWindowState(3);
    RegKeys::setSortKey(RegKeys::kDesktopView, 2);
    RegKeys::setSortAscendent(RegKeys::kDesktopView, false);
    RegKeys::setSortKey(1, 3);
    RegKeys::setSortAscendent(1, false);
    RegKeys::setColumnWidth(1, 0, 120);
    RegKeys::setColumnWidth(1, 1, 130);
    RegKeys::setColumnWidth(RegKeys::kDesktopView, 4, 77);
    RegKeys::setFileListFilter(QStringLiteral("*.mp3"));
    RegKeys::saveFileListFilter();
    RegKeys::loadLastDirectory();
    RegKeys::setLastDirectoryHold(false);
    RegKeys::setLastDirectory(QStringLiteral("/home/music"));
    RegKeys::saveLastDirectory();

    const auto file = writtenFile();
    const struct {
        const char *section; // QSettings keeps top-level keys under [General]
        const char *key;
        const char *value;
    } expected[] = {
        {"ZVS450", "TIMEOUT_RECV", "1001"},
        {"ZVS450", "TIMEOUT_SEND", "1002"},
        {"ZVS450", "TIMEOUT_FORMAT", "1003"},
        {"TuneDeck", "CodecCodeName", "/fw/codec.hex"},
        {"TuneDeck", "BootCodeName", "/fw/boot.bin"},
        {"TuneDeck", "FontName", "/fw/font.fot"},
        {"TuneDeck", "RawDataFileName", "/tmp/raw.bin"},
        {"TuneDeck", "RawDataViewer", "/usr/bin/xxd"},
        {"TuneDeck", "RawDataAddr", "7"},
        {"TuneDeck", "RawDataCount", "9"},
        {"TuneDeck", "ROMSelect", "2"},
        {"ADPCM", "Convert", "1"},
        {"BVF", "Convert", "1"},
        {"Firmware", "ExpVer", "82688"},
        {"Firmware", "UserVID", "1049"},
        {"Firmware", "UserPID", "40961"},
        {"Firmware", "IntOnly", "1"},
        {"Desktop", "LastDirectory", "/home/music"},
        {"Desktop", "SortKey", "2"},
        {"Desktop", "SortAscendent", "0"},
        {"Desktop", "SubItemWidth_4", "77"},
        {"General", "FileListFilter", "*.mp3"},
        {"General", "WindowState", "3"},
        {"Mp3Mem_1", "SortKey", "3"},
        {"Mp3Mem_1", "SortAscendent", "0"},
        {"Mp3Mem_1", "SubItemWidth_0", "120"},
        {"Mp3Mem_1", "SubItemWidth_1", "130"},
    };
    int keys = 0;
    for (const auto &section : file)
        keys += int(section.size());
    EXPECT_EQ(keys, int(std::size(expected))) << "unexpected extra keys in the file";
    for (const auto &row : expected) {
        const QString section = QString::fromLatin1(row.section);
        const QString key = QString::fromLatin1(row.key);
        ASSERT_TRUE(file.value(section).contains(key)) << row.section << "/" << row.key;
        EXPECT_EQ(file.value(section).value(key), QString::fromLatin1(row.value)) << row.section << "/" << row.key;
    }

    // And they read back through the getters.
    EXPECT_EQ(RegKeys::columnWidth(1, 1), 130);
    EXPECT_EQ(RegKeys::columnWidth(1, 2), 100);
    EXPECT_EQ(RegKeys::columnWidth(RegKeys::kDesktopView, 4), 77);
    EXPECT_EQ(RegKeys::columnWidth(0, 0), 100) << "device view 0 has a section of its own";
    EXPECT_EQ(RegKeys::expectedFirmwareVersion(), 0x14300u);
    EXPECT_TRUE(RegKeys::internalOnly());
    EXPECT_FALSE(RegKeys::sortAscendent(1));
}

TEST_F(RegKeysTest, UnreadableNumbersYieldTheirDefaults)
{
    {
        QSettings settings(QString::fromLatin1(RegKeys::kOrganization), QString::fromLatin1(RegKeys::kApplication));
        settings.setValue(QStringLiteral("ZVS450/TIMEOUT_RECV"), QStringLiteral("soon"));
        settings.setValue(QStringLiteral("Mp3Mem_0/SubItemWidth_1"), QStringLiteral(""));
        settings.setValue(QStringLiteral("WindowState"), QStringLiteral("99999999999"));
    }
    unsigned recv = 0;
    RegKeys::getTimeouts(&recv, nullptr, nullptr);
    EXPECT_EQ(recv, 300000u);
    EXPECT_EQ(RegKeys::columnWidth(0, 1), 100);
    EXPECT_EQ(RegKeys::windowState(), 5);
}

// Earlier versions stored 0 for an empty time-out field, which the USB stack takes as
// "no limit"; such a value reads as the default. Values past 2^31 ms come back whole.
TEST_F(RegKeysTest, StoredTimeoutsOfZeroReadAsTheDefaults)
{
    RegKeys::setTimeouts(0, 0, 0);
    unsigned recv = 0, send = 0, format = 0;
    RegKeys::getTimeouts(&recv, &send, &format);
    EXPECT_EQ(recv, 300000u);
    EXPECT_EQ(send, 100000u);
    EXPECT_EQ(format, 3000000u);
    RegKeys::setTimeouts(4294967295u, 1000, 2147483648u);
    RegKeys::getTimeouts(&recv, &send, &format);
    EXPECT_EQ(recv, 4294967295u);
    EXPECT_EQ(send, 1000u);
    EXPECT_EQ(format, 2147483648u);
}

TEST_F(RegKeysTest, HeldLastDirectoryIsNotOverwrittenByTheFirstFolderShown)
{
    RegKeys::setValue(RegKeys::Key::LastDirectory, QStringLiteral("/stored/folder"));
    RegKeys::loadLastDirectory();
    EXPECT_TRUE(RegKeys::lastDirectoryHold());
    EXPECT_EQ(RegKeys::lastDirectory(), QStringLiteral("/stored/folder"));

    RegKeys::setLastDirectory(QStringLiteral("/where/the/view/started"));
    EXPECT_EQ(RegKeys::lastDirectory(), QStringLiteral("/stored/folder"));

    RegKeys::setLastDirectoryHold(false);
    RegKeys::setLastDirectory(QStringLiteral("/chosen/later"));
    EXPECT_EQ(RegKeys::value(RegKeys::Key::LastDirectory), QStringLiteral("/stored/folder"))
        << "written only at exit";
    RegKeys::saveLastDirectory();
    EXPECT_EQ(RegKeys::value(RegKeys::Key::LastDirectory), QStringLiteral("/chosen/later"));
}

} // namespace
