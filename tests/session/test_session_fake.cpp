// The device session against the scripted library: life cycle, connection,
// the cached listing and the wrappers' failure reporting.

#include "fake_zvc450.h"
#include "scripted_ui.h"

#include "FileTran.h"
#include "RegKeys.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include <cerrno>
#include <cstring>
#include <functional>

namespace {

using Answer = Zvs450Ui::Answer;

class Session : public ::testing::Test
{
protected:
    void SetUp() override
    {
        fake::reset();
        clearSettings();
        zvs450_SetUi(&ui);
        ASSERT_TRUE(dir.isValid());
    }
    void TearDown() override
    {
        zvs450_Terminate();
        zvs450_SetUi(nullptr);
    }
    // Initialises the session and connects with both memories listed.
    void connect()
    {
        zvs450_Initialize();
        int count = 0;
        int mask = 0;
        ASSERT_TRUE(zvs450_Connect(true, &count, &mask));
        ASSERT_EQ(count, 2);
        ASSERT_EQ(mask, 3);
        fake::lib().calls.clear();
        fake::lib().listCapacities.clear();
    }
    QString path(const char *name) const { return dir.filePath(QString::fromUtf8(name)); }
    void touch(const QString &file) const
    {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    size_t listings() const { return fake::callsOf("RefreshEx").size(); }

    ScriptedUi ui;
    QTemporaryDir dir;
};

struct Names : Zvs450ItemSink {
    QStringList names;
    std::vector<int> indexes;
    void addItem(const QString &name, int index, quint32, quint32) override
    {
        names << name;
        indexes.push_back(index);
    }
};

// ---- Life cycle and connection -----------------------------------------------------

TEST_F(Session, FirstRunPushesTheDefaultSettingsAndTerminateStoresTheTimeouts)
{
    // An exit without a start leaves the stored time-outs alone.
    zvs450_Terminate();
    EXPECT_FALSE(QSettings(QStringLiteral("Brightfen"), QStringLiteral("TuneDeck")).contains(QStringLiteral("ZVS450/TIMEOUT_RECV")));

    zvs450_Initialize();
    ASSERT_EQ(fake::lib().timeouts.size(), 1u);
    EXPECT_EQ(fake::lib().timeouts[0], std::make_pair(300000u, 100000u));
    EXPECT_EQ(fake::lib().expectedVersion, 0u);
    EXPECT_EQ(fake::lib().vid, 0u);
    EXPECT_EQ(fake::lib().pid, 0u);
    EXPECT_EQ(zvs450_GetMemoryCount(), 2);
    unsigned format = 0;
    zvs450_GetTimeouts(nullptr, nullptr, &format);
    EXPECT_EQ(format, 3000000u);

    zvs450_SetTimeouts(1000, 2000, 3000);
    zvs450_Terminate();
    const QString file = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
                         + QStringLiteral("/Brightfen/TuneDeck.conf");
    const QSettings written(file, QSettings::IniFormat);
    EXPECT_EQ(written.value(QStringLiteral("ZVS450/TIMEOUT_RECV")).toInt(), 1000);
    EXPECT_EQ(written.value(QStringLiteral("ZVS450/TIMEOUT_SEND")).toInt(), 2000);
    EXPECT_EQ(written.value(QStringLiteral("ZVS450/TIMEOUT_FORMAT")).toInt(), 3000);

    RegKeys::setInternalOnly(true);
    RegKeys::setUserUsbId(0x1234, 0x5678);
    zvs450_Initialize();
    EXPECT_EQ(zvs450_GetMemoryCount(), 1);
    EXPECT_EQ(fake::lib().timeouts.back(), std::make_pair(1000u, 2000u));
    EXPECT_EQ(fake::lib().vid, 0x1234u);
    EXPECT_EQ(fake::lib().pid, 0x5678u);
}

TEST_F(Session, ConnectKeepsAWorkingConnectionAndReopensADeadOne)
{
    connect();
    int count = -7;
    int mask = -7;
    EXPECT_TRUE(zvs450_Connect(true, &count, &mask));
    EXPECT_EQ(listings(), 0u);
    EXPECT_EQ(count, -7);
    EXPECT_EQ(mask, -7);
    EXPECT_EQ(fake::lib().opens, 1);

    // The player stopped answering and came back: closed, reopened on the
    // same record, listed again.
    fake::lib().open = false;
    EXPECT_TRUE(zvs450_Connect(true, &count, &mask));
    EXPECT_EQ(fake::lib().opens, 2);
    EXPECT_NE(fake::lib().lastGivenRecord, nullptr);
    EXPECT_EQ(listings(), 2u);
    EXPECT_EQ(mask, 3);

    // Unplugged.
    zvs450_Close();
    fake::lib().playerAnswers = false;
    EXPECT_FALSE(zvs450_Connect(true, &count, &mask));
    EXPECT_FALSE(zvs450_IsOpen());
    EXPECT_EQ(zvs450_Delete(nullptr, 0, 0, QStringLiteral("A")), ZVC450USB_ERR_DEVICE_OPEN);
    ASSERT_EQ(fake::lib().messages.size(), 1u);
    EXPECT_EQ(fake::lib().messages[0].code, ZVC450USB_ERR_DEVICE_OPEN);
}

TEST_F(Session, MissingCardLeavesItsBitOutOfThePresentMask)
{
    fake::lib().memory[1].totalBlocks = 0;
    zvs450_Initialize();
    int count = 0;
    int mask = 0;
    ASSERT_TRUE(zvs450_Connect(true, &count, &mask));
    EXPECT_EQ(mask, 1);
    Names sink;
    EXPECT_FALSE(zvs450_EnumFiles(1, sink, true));
    EXPECT_EQ(ZVC450_GetError(), ZVC450USB_ERR_NODISK);
    fake::lib().memory[0].listFails = true;
    EXPECT_FALSE(zvs450_EnumFiles(0, sink, true));
    EXPECT_EQ(ZVC450_GetError(), ZVC450USB_ERR_USB);
    EXPECT_EQ(zvs450_GetFileCount(0), 0);
}

// ---- Cached listing ---------------------------------------------------------------------

TEST_F(Session, ListingGrowsInStepsOf512AndDeliversEveryEntry)
{
    const struct {
        int files;
        std::vector<int> capacities; // handed to the library, listing by listing
    } rows[] = {
        {0, {512}},
        {512, {512}},
        {513, {512, 1024}},
        {1100, {512, 1536}},
    };
    for (const auto &row : rows) {
        // Capacities only grow: every row starts from a fresh session.
        fake::reset();
        for (int i = 0; i < row.files; ++i)
            fake::lib().memory[0].files.push_back(
                fake::entry(QByteArray::number(i).constData(), "MP3", "", 10, static_cast<uint32_t>(i + 2)));
        zvs450_Initialize();
        ASSERT_TRUE(zvs450_Connect(false, nullptr, nullptr));
        Names sink;
        ASSERT_TRUE(zvs450_EnumFiles(0, sink, true)) << row.files;
        EXPECT_EQ(fake::lib().listCapacities, row.capacities) << row.files;
        ASSERT_EQ(sink.names.size(), row.files);
        if (row.files > 0) {
            EXPECT_EQ(sink.names.last(), QString::number(row.files - 1) + QStringLiteral(".MP3"));
            EXPECT_EQ(sink.indexes.back(), row.files - 1);
        }
        EXPECT_EQ(zvs450_GetFileCount(0), row.files);
        zvs450_Terminate();
    }
}

// The header's count against the entries that arrived: a listing that stopped
// early is told from a whole one.
TEST_F(Session, ListedFileCountsTellAnIncompleteListing)
{
    for (int i = 0; i < 16; ++i)
        fake::lib().memory[0].files.push_back(fake::entry("F", "MP3", "", 1, uint32_t(2 + i)));
    fake::lib().memory[0].announcedFiles = 100;
    connect();
    int found = -1;
    int announced = -1;
    ASSERT_TRUE(zvs450_GetListedFileCounts(0, &found, &announced));
    EXPECT_EQ(found, 16);
    EXPECT_EQ(announced, 100);
    ASSERT_TRUE(zvs450_GetListedFileCounts(1, &found, &announced));
    EXPECT_EQ(found, 0);
    EXPECT_EQ(announced, 0);
    zvs450_Close();
    EXPECT_FALSE(zvs450_GetListedFileCounts(0, &found, &announced));
}

TEST_F(Session, DisplayNamesComeFromTheLongNameOrTheTrimmedShortName)
{
    const struct {
        const char *name8, *ext3, *longName, *shown;
    } rows[] = {
        {"README  ", "   ", "", "README"},
        {"README  ", "TXT", "", "README.TXT"},
        {"A       ", "MP ", "", "A.MP"},
        {"SONG~1  ", "MP3", "My Song.mp3", "My Song.mp3"},
        {"M\x9aLLER  ", "MP3", "", "M\xc3\x9cLLER.MP3"}, // CP437 0x9A is U+00DC
        {"        ", "   ", "", ""},
    };
    connect();
    fake::lib().memory[0].files.clear();
    for (const auto &row : rows)
        fake::lib().memory[0].files.push_back(fake::entry(row.name8, row.ext3, row.longName, 1, 9));
    Names sink;
    ASSERT_TRUE(zvs450_EnumFiles(0, sink, true));
    ASSERT_EQ(sink.names.size(), std::size(rows));
    for (size_t i = 0; i < std::size(rows); ++i)
        EXPECT_EQ(sink.names[static_cast<qsizetype>(i)], QString::fromUtf8(rows[i].shown)) << rows[i].name8;
}

TEST_F(Session, MediumStatusWordFollowsTheMediumInformation)
{
    const struct {
        bool read;
        uint8_t io, fat, fatType;
        uint16_t bytesPerSector;
        uint8_t sectorsPerCluster;
        unsigned status;
    } rows[] = {
        {true, 1, 1, 2, 512, 32, 15},
        {true, 1, 1, 2, 512, 16, 7},
        {true, 1, 1, 2, 2048, 32, 7},
        {true, 1, 0, 2, 512, 32, 3},
        {true, 1, 1, 0, 512, 32, 3},
        {true, 0, 1, 2, 512, 32, 1},
        {false, 1, 1, 2, 512, 32, 14},
    };
    connect();
    for (const auto &row : rows) {
        fake::Memory &m = fake::lib().memory[0];
        m.mediumInfoOk = row.read;
        m.info.bDeviceIOStatus = row.io;
        m.info.bFATStatus = row.fat;
        m.info.bFATType = row.fatType;
        m.info.wBytesPerSector = row.bytesPerSector;
        m.info.bSectorsPerCluster = row.sectorsPerCluster;
        Names sink;
        ASSERT_TRUE(zvs450_EnumFiles(0, sink, true));
        EXPECT_EQ(zvs450_GetMediumStatus(0), row.status) << int(row.io) << int(row.fat) << row.bytesPerSector;
    }
}

TEST_F(Session, CapacityIsCountedInSixteenKilobyteBlocks)
{
    fake::lib().memory[1].totalBlocks = 65536; // a 1 GiB card does not fit 32 bits of free bytes
    fake::lib().memory[1].usedBlocks = 1;
    connect();
    quint64 total = 0;
    quint64 free = 0;
    ASSERT_TRUE(zvs450_GetCapacity(1, &total, &free));
    EXPECT_EQ(total, 65536ull * 16384);
    EXPECT_EQ(free, 65535ull * 16384);
    EXPECT_FALSE(zvs450_GetCapacity(2, &total, &free));
}

// What a device view shows comes in one read: the rows, the sizes, the path and the
// counts; a medium that cannot be listed says only whether it could be formatted.
TEST_F(Session, ReadListingGivesTheViewEverythingInOneRead)
{
    fake::Memory &m = fake::lib().memory[0];
    m.files = {fake::entry("SONG    ", "MP3", "", 5000, 9), fake::entry("NOTE    ", "TXT", "Note.txt", 10, 12)};
    m.dirs = {fake::entry("..      ", "   ", "", 0, 3), fake::entry("MUSIC   ", "   ", "", 0, 20)};
    m.path = "/A";
    m.totalBlocks = 64;
    m.usedBlocks = 4;
    connect();
    Zvs450Listing listing;
    ASSERT_TRUE(zvs450_ReadListing(0, true, &listing));
    ASSERT_EQ(listing.files.size(), 2u);
    EXPECT_EQ(listing.files[1].name, QStringLiteral("Note.txt"));
    EXPECT_EQ(listing.files[1].index, 1);
    EXPECT_EQ(listing.files[1].size, 10u);
    EXPECT_EQ(listing.files[1].firstCluster, 12u);
    ASSERT_EQ(listing.directories.size(), 2u);
    EXPECT_EQ(listing.directories[0].name, QStringLiteral(".."));
    EXPECT_EQ(listing.directories[1].firstCluster, 20u);
    EXPECT_EQ(listing.totalBytes, 64u * 16384);
    EXPECT_EQ(listing.freeBytes, 60u * 16384);
    EXPECT_EQ(listing.path, QStringLiteral("/A"));
    EXPECT_EQ(listing.status, 15u);
    EXPECT_EQ(listing.fileCount, 2);
    EXPECT_EQ(listing.directoryCount, 2);
    EXPECT_EQ(listing.filesFound, 2);
    EXPECT_EQ(listing.filesAnnounced, 2);

    // A medium without a file system refuses its listing, yet can be formatted.
    m.listFails = true;
    m.info.bFATStatus = 0;
    m.info.wTotalBlockCount = 0;
    m.info.wPhysicalBlockCount = 128;
    EXPECT_FALSE(zvs450_ReadListing(0, true, &listing));
    EXPECT_TRUE(listing.files.empty());
    EXPECT_EQ(listing.status, kZvs450MediumInfoRead | kZvs450DeviceIoGood);
    EXPECT_EQ(listing.totalBytes, 128u * 16384);
    // One whose medium does not answer either is just not there.
    m.info.bDeviceIOStatus = 0;
    EXPECT_FALSE(zvs450_ReadListing(0, true, &listing));
    EXPECT_EQ(listing.status, 0u);
    EXPECT_EQ(listing.totalBytes, 0u);
}

TEST_F(Session, ChangeToParentFindsTheDotDotEntryAndReadsThePathAgain)
{
    fake::lib().memory[0].dirs = {fake::entry(".       ", "   ", "", 0, 7), fake::entry("..      ", "   ", "", 0, 3)};
    fake::lib().memory[0].path = "/MUSIC";
    connect();
    QString path;
    ASSERT_TRUE(zvs450_GetCurrentDirectory(0, &path));
    EXPECT_EQ(path, QStringLiteral("/MUSIC"));

    // No enumeration has trimmed the padded names since the listing.
    fake::lib().memory[0].path = "/";
    EXPECT_EQ(zvs450_ChangeToParent(0), 0);
    EXPECT_EQ(fake::callsOf("ChangeDirectory"), std::vector<std::string>{"ChangeDirectory 0 3"});
    ASSERT_TRUE(zvs450_GetCurrentDirectory(0, &path));
    EXPECT_EQ(path, QStringLiteral("/"));

    // At the root there is no "..": nothing is sent.
    fake::lib().memory[0].dirs.clear();
    Names sink;
    ASSERT_TRUE(zvs450_EnumDirectories(0, sink, true));
    EXPECT_EQ(zvs450_ChangeToParent(0), 0);
    EXPECT_EQ(fake::callsOf("ChangeDirectory").size(), 1u);
}

// ---- Files and directories ---------------------------------------------------------------

TEST_F(Session, UploadNamesTheLocalFileAndChoosesTheConversion)
{
    const struct {
        const char *device;
        int adpcmConvert, bvfConvert;
        const char *local;
        const char *second; // the name the progress window shows
        int kind;
    } rows[] = {
        {"VOICE001.BCW", 0, 0, "VOICE001.WAV", "VOICE001.BCW", 1},
        {"voice.bcw", 0, 0, "voice.WAV", "voice.bcw", 1},
        {"REC.BVF", 0, 0, "REC.WAV", "REC.BVF", 2},
        {"VOICE001.BCW", 1, 0, "VOICE001.BCW", "(null)", 0},
        {"REC.BVF", 0, 1, "REC.BVF", "(null)", 0},
        {"SONG.MP3", 0, 0, "SONG.MP3", "(null)", 0},
        {".bcw", 0, 0, "_bcw", "(null)", 0},
        // Names from the player never lead out of the chosen folder.
        {"..", 0, 0, "__", "(null)", 0},
        {"../../x.bcw", 0, 0, "_._.._x.WAV", "../../x.bcw", 1},
        {"a\\b:c", 0, 0, "a_b_c", "(null)", 0},
    };
    for (const auto &row : rows) {
        fake::reset();
        RegKeys::setAdpcmConvert(row.adpcmConvert);
        RegKeys::setBvfConvert(row.bvfConvert);
        fake::lib().memory[0].files = {fake::entry("X", "", "", 1, 2), fake::entry("Y", "", "", 1234, 3)};
        zvs450_Initialize();
        ASSERT_TRUE(zvs450_Connect(true, nullptr, nullptr));
        HFileTransferList list;
        list.add(QString::fromUtf8(row.device), 1, 1234);
        EXPECT_EQ(zvs450_Upload(nullptr, 0, dir.path(), list), 0) << row.device;
        const std::string expected = "Upload 0 1 " + dir.path().toStdString() + "/" + row.local + " " + row.second
                                     + " 1234 " + std::to_string(row.kind);
        EXPECT_EQ(fake::callsOf("Upload"), std::vector<std::string>{expected});
        zvs450_Terminate();
    }
}

TEST_F(Session, OverwriteQuestionSkipsOnNoAndEndsTheBatchOnCancel)
{
    connect();
    fake::lib().memory[0].files = {fake::entry("A", "MP3", "", 1, 2), fake::entry("B", "MP3", "", 1, 3),
                                   fake::entry("C", "MP3", "", 1, 4), fake::entry("D", "MP3", "", 1, 5)};
    touch(path("A.MP3"));
    touch(path("B.MP3"));
    touch(path("D.MP3"));
    HFileTransferList list;
    for (int i = 0; i < 4; ++i)
        list.add(QString(QChar('A' + i)) + QStringLiteral(".MP3"), i, 1);

    ui.answers = {Answer::No, Answer::Yes, Answer::Cancel};
    EXPECT_EQ(zvs450_Upload(nullptr, 0, dir.path(), list), 0);
    const auto uploads = fake::callsOf("Upload");
    ASSERT_EQ(uploads.size(), 2u); // B (Yes) and C (new); A skipped; Cancel at D
    EXPECT_NE(uploads[0].find("/B.MP3"), std::string::npos);
    EXPECT_NE(uploads[1].find("/C.MP3"), std::string::npos);
    ASSERT_EQ(ui.questions.size(), 3u);
    // The file is the caption and is named in the box itself, under the question.
    EXPECT_EQ(ui.questions[0].text, QString::fromUtf8(text::kOverwrite) + QStringLiteral("\n\n") + path("A.MP3"));
    EXPECT_EQ(ui.questions[0].caption, path("A.MP3"));
    EXPECT_TRUE(fake::lib().messages.empty());
}

TEST_F(Session, FailedTransferStopsTheBatchShowsOneMessageAndMarksTheListingStale)
{
    connect();
    fake::lib().memory[0].files = {fake::entry("A", "MP3", "", 1, 2), fake::entry("B", "MP3", "", 1, 3),
                                   fake::entry("C", "MP3", "", 1, 4)};
    HFileTransferList list;
    for (int i = 0; i < 3; ++i)
        list.add(path("f") + QString::number(i), i, 1);

    fake::failCall("Download", 2, ZVC450USB_ERR_DISKFULL);
    EXPECT_EQ(zvs450_Download(nullptr, 0, list), ZVC450USB_ERR_DISKFULL);
    EXPECT_EQ(fake::callsOf("Download").size(), 2u);
    ASSERT_EQ(fake::lib().messages.size(), 1u);
    EXPECT_EQ(fake::lib().messages[0].code, ZVC450USB_ERR_DISKFULL);
    // Under the library's text: the file that did not fit, and what to do.
    EXPECT_EQ(fake::lib().messages[0].detail,
              (path("f1") + "\n\nThe memory of the player is full. Delete files on the player to make room.").toStdString());
    const size_t before = listings();
    Names sink;
    ASSERT_TRUE(zvs450_EnumFiles(0, sink, false));
    EXPECT_EQ(listings(), before + 1);

    // The same for uploads; a cancel in the progress window is silent.
    fake::lib().calls.clear();
    fake::failCall("Upload", 2, ZVC450USB_ERR_USB);
    EXPECT_EQ(zvs450_Upload(nullptr, 0, dir.path(), list), ZVC450USB_ERR_USB);
    EXPECT_EQ(fake::callsOf("Upload").size(), 2u);
    EXPECT_EQ(fake::lib().messages.size(), 2u);
    fake::failCall("Upload", 1, ZVS450USB_ERR_USERBREAK);
    EXPECT_EQ(zvs450_Upload(nullptr, 0, QDir::tempPath() + QStringLiteral("/zvs450-none"), list),
              ZVS450USB_ERR_USERBREAK);
    fake::failCall("Download", 1, ZVS450USB_ERR_USERBREAK);
    EXPECT_EQ(zvs450_Download(nullptr, 0, list), ZVS450USB_ERR_USERBREAK);
    EXPECT_EQ(fake::lib().messages.size(), 2u);
}

TEST_F(Session, FileIndexOutsideTheListingIsRefusedBeforeAnythingIsSent)
{
    connect();
    fake::lib().memory[0].files = {fake::entry("A", "MP3", "", 1, 2)};
    HFileTransferList list;
    list.add(QStringLiteral("A.MP3"), 1, 1);
    const struct {
        const char *what;
        std::function<int()> call;
    } rows[] = {
        {"delete", [] { return zvs450_Delete(nullptr, 0, 1, QStringLiteral("A.MP3")); }},
        {"delete -1", [] { return zvs450_Delete(nullptr, 0, -1, QStringLiteral("A.MP3")); }},
        {"rename", [] { return zvs450_Rename(0, 5, QStringLiteral("B.MP3")); }},
        {"replace", [] { return zvs450_Replace(0, 0, 1); }},
        {"upload", [&] { return zvs450_Upload(nullptr, 0, dir.path(), list); }},
    };
    for (const auto &row : rows) {
        fake::lib().messages.clear();
        EXPECT_EQ(row.call(), ZVS450USB_ERR_INVALID_FILENAME) << row.what;
        ASSERT_EQ(fake::lib().messages.size(), 1u) << row.what;
        EXPECT_EQ(fake::lib().messages[0].code, ZVS450USB_ERR_INVALID_FILENAME);
    }
    EXPECT_TRUE(fake::callsOf("Delete").empty());
    EXPECT_TRUE(fake::callsOf("Rename").empty());
    EXPECT_TRUE(fake::callsOf("Replace").empty());
    EXPECT_TRUE(fake::callsOf("Upload").empty());
}

TEST_F(Session, CancelIsShownForDeleteAndFormatAndSilentForDirectories)
{
    connect();
    fake::lib().memory[0].files = {fake::entry("A", "MP3", "", 1, 2)};
    const struct {
        const char *name;
        std::function<int()> call;
        bool shown;
    } rows[] = {
        {"Delete", [] { return zvs450_Delete(nullptr, 0, 0, QStringLiteral("A.MP3")); }, true},
        {"Format", [] { return zvs450_Format(nullptr, 0); }, true},
        {"FormatLow", [] { return zvs450_FormatLow(nullptr, 1); }, true},
        {"MakeDirectory", [] { return zvs450_MakeDirectory(0, QStringLiteral("NEW")); }, false},
        {"RemoveDirectory", [] { return zvs450_RemoveDirectory(0, 5); }, false},
        {"ChangeDirectory", [] { return zvs450_ChangeDirectory(0, 5); }, false},
    };
    for (const auto &row : rows) {
        fake::lib().messages.clear();
        fake::failCall(row.name, 1, ZVS450USB_ERR_USERBREAK);
        EXPECT_EQ(row.call(), ZVS450USB_ERR_USERBREAK) << row.name;
        EXPECT_EQ(fake::lib().messages.size(), row.shown ? 1u : 0u) << row.name;
        // Other failures are always shown.
        fake::lib().messages.clear();
        fake::failCall(row.name, 1, ZVC450USB_ERR_INTERNAL);
        EXPECT_EQ(row.call(), ZVC450USB_ERR_INTERNAL) << row.name;
        EXPECT_EQ(fake::lib().messages.size(), 1u) << row.name;
        EXPECT_EQ(row.call(), 0) << row.name;
    }
}

TEST_F(Session, FormatRunsWithTheFormatTimeoutAndRestoresTheReceiveTimeout)
{
    connect();
    zvs450_SetTimeouts(10, 20, 30);
    fake::lib().timeouts.clear();
    EXPECT_EQ(zvs450_Format(nullptr, 0), 0);
    const std::vector<std::pair<unsigned, unsigned>> expected{{30, 20}, {10, 20}};
    EXPECT_EQ(fake::lib().timeouts, expected);
}

TEST_F(Session, DirectoryCommandsWithoutConnectionSayNothing)
{
    zvs450_Initialize();
    EXPECT_EQ(zvs450_MakeDirectory(0, QStringLiteral("A")), ZVC450USB_ERR_DEVICE_OPEN);
    EXPECT_EQ(zvs450_ChangeToParent(0), ZVC450USB_ERR_DEVICE_OPEN);
    EXPECT_EQ(zvs450_RenameDirectory(0, 4, QStringLiteral("B")), ZVC450USB_ERR_DEVICE_OPEN);
    EXPECT_TRUE(fake::lib().messages.empty());
    EXPECT_EQ(zvs450_Replace(0, 0, 1), ZVC450USB_ERR_DEVICE_OPEN);
    EXPECT_EQ(fake::lib().messages.size(), 1u);
}

TEST_F(Session, RenameDirectorySendsTheCachedEntryOfItsKey)
{
    fake::lib().memory[0].dirs = {fake::entry("OLD", "", "", 0, 44)};
    connect();
    EXPECT_EQ(zvs450_RenameDirectory(0, 44, QStringLiteral("New")), 0);
    EXPECT_EQ(fake::callsOf("RenameDirectory"), std::vector<std::string>{"RenameDirectory 0 New 44"});
    EXPECT_EQ(zvs450_RenameDirectory(0, 45, QStringLiteral("New")), ZVS450USB_ERR_INVALID_FILENAME);
    ASSERT_EQ(fake::lib().messages.size(), 1u);
    EXPECT_EQ(fake::lib().messages[0].code, ZVS450USB_ERR_INVALID_FILENAME);
}

// ---- Names ---------------------------------------------------------------------------------

TEST(Names, WhatThePlayersFileSystemCannotHold)
{
    const struct {
        const char *name;
        const char *problem;  // empty: a good name
    } rows[] = {
        {"Song.mp3", ""},
        {".hidden.mp3", ""},
        {"a.b.c", ""},
        {".", "\".\" and \"..\" stand for a folder itself"},
        {"..", "\".\" and \"..\" stand for a folder itself"},
        {"   ", "A name cannot be blank."},
        {"", "A name cannot be blank."},
        {"Music.", "cannot end in a dot or a space"},
        {"Music ", "cannot end in a dot or a space"},
        {"Artist: Song.mp3", "The player cannot store the character ':' in a name."},
        {"AC\\DC\\x", "The player cannot store the character '\\' in a name."},
        {"a:b\\c?", "The player cannot store the characters ':', '\\' and '?' in a name."},
        {"bell\a", "The player cannot store the character U+0007 in a name."},
    };
    for (const auto &row : rows) {
        const QString problem = zvs450_NameProblem(QString::fromUtf8(row.name));
        if (!*row.problem)
            EXPECT_TRUE(problem.isEmpty()) << row.name << ": " << problem.toStdString();
        else
            EXPECT_TRUE(problem.contains(QString::fromUtf8(row.problem))) << row.name << ": " << problem.toStdString();
    }
    EXPECT_EQ(zvs450_StorableName(QStringLiteral("AC\\DC: \"Live\"")), QStringLiteral("AC_DC_ _Live_"));
}

// Names the user did not type, taken from the player, never plant a hidden file or
// carry control characters into a local name.
TEST_F(Session, UploadNamesFromThePlayerAreMadeSafe)
{
    const struct {
        const char *device;
        const char *local;
    } rows[] = {
        {".bashrc", "_bashrc"},
        {".profile", "_profile"},
        {"...", "_.."},
        {"line\nbreak.mp3", "line_break.mp3"},
        {"esc\x1b[2Jx", "esc_[2Jx"},
        {"del\x7f.mp3", "del_.mp3"},
        {"Song.mp3", "Song.mp3"},
    };
    for (const auto &row : rows)
        EXPECT_EQ(zvs450_LocalFileName(QString::fromUtf8(row.device)), QString::fromUtf8(row.local)) << row.device;

    connect();
    fake::lib().memory[0].files = {fake::entry("BASHRC", "", ".bashrc", 10, 2)};
    HFileTransferList list;
    list.add(QStringLiteral(".bashrc"), 0, 10);
    EXPECT_EQ(zvs450_Upload(nullptr, 0, dir.path(), list), 0);
    EXPECT_EQ(fake::callsOf("Upload"),
              std::vector<std::string>{"Upload 0 0 " + path("_bashrc").toStdString() + " (null) 10 0"});

    // A link whose target is gone is something a write would go through: asked first.
    ASSERT_TRUE(QFile::link(path("nowhere/autostart.desktop"), path("_bashrc")));
    ui.answers = {Answer::No};
    EXPECT_EQ(zvs450_Upload(nullptr, 0, dir.path(), list), 0);
    ASSERT_EQ(ui.questions.size(), 1u);
    EXPECT_EQ(ui.questions[0].caption, path("_bashrc"));
    EXPECT_EQ(fake::callsOf("Upload").size(), 1u);
}

// A name that shows "song.mp3" and is "song<U+202E>3pm.exe" must not reach the PC as
// it is: characters that reorder text go as the command-line tool lets them go.
TEST_F(Session, UploadNamesLoseCharactersThatReorderText)
{
    EXPECT_EQ(zvs450_LocalFileName(QString::fromUtf8("gpj.\xE2\x80\xAE" "exe")), QStringLiteral("gpj._exe"));
    EXPECT_EQ(zvs450_LocalFileName(QString::fromUtf8("a\xE2\x81\xA6" "b\xE2\x81\xA9")), QStringLiteral("a_b_"));
}

// ':' and '\' are ordinary characters of a Linux name that no FAT name holds: the
// user says, once before the batch starts, whether those copies go with "_".
TEST_F(Session, DownloadAsksBeforeTheBatchAboutCharactersThePlayerCannotStore)
{
    const QString colon = path("Artist: Song.mp3");
    const QString backslash = path("AC\\DC - Thunder.mp3");
    const QString plain = path("plain.mp3");
    for (const QString &f : {colon, backslash, plain})
        touch(f);
    HFileTransferList list;
    for (const QString &f : {colon, plain, backslash})
        list.add(f, -1, 0);
    const auto downloads = [] {
        std::vector<std::string> names;
        for (const std::string &call : fake::callsOf("Download"))
            names.push_back(call.substr(call.rfind('/') + 1));
        return names;
    };

    connect();
    ui.answers = {Answer::Cancel};
    EXPECT_EQ(zvs450_Download(nullptr, 0, list), ZVS450USB_ERR_USERBREAK);
    EXPECT_TRUE(fake::callsOf("Download").empty());
    EXPECT_TRUE(fake::lib().messages.empty());
    ASSERT_EQ(ui.questions.size(), 1u);
    const QString question = ui.questions[0].text;
    EXPECT_TRUE(question.startsWith(QStringLiteral("The player cannot store the characters ':' and '\\' in a name:")))
        << question.toStdString();
    EXPECT_TRUE(question.contains(QStringLiteral("Artist: Song.mp3  ") + QChar(0x2192) + QStringLiteral("  Artist_ Song.mp3")));
    EXPECT_TRUE(question.contains(QStringLiteral("AC_DC - Thunder.mp3")));
    EXPECT_FALSE(question.contains(QStringLiteral("plain.mp3")));

    ui.answers = {Answer::No};
    EXPECT_EQ(zvs450_Download(nullptr, 0, list), 0);
    EXPECT_EQ(downloads(), std::vector<std::string>{"plain.mp3"});

    fake::lib().calls.clear();
    ui.answers = {Answer::Yes};
    EXPECT_EQ(zvs450_Download(nullptr, 0, list), 0);
    EXPECT_EQ(downloads(), (std::vector<std::string>{"Artist_ Song.mp3", "plain.mp3", "AC_DC - Thunder.mp3"}));
    EXPECT_TRUE(fake::lib().messages.empty());

    // Nothing to ask when every name can go as it is.
    ui.questions.clear();
    HFileTransferList good;
    good.add(plain, -1, 0);
    EXPECT_EQ(zvs450_Download(nullptr, 0, good), 0);
    EXPECT_TRUE(ui.questions.empty());
}

// A name no FAT file system holds is refused with its reason before the player hears
// of it; the batch stops there.
TEST_F(Session, NamesThePlayerCannotHoldAreRefusedBeforeSending)
{
    fake::lib().memory[0].files = {fake::entry("A", "MP3", "", 1, 2)};
    fake::lib().memory[0].dirs = {fake::entry("OLD", "", "", 0, 44)};
    connect();
    const QString trailing = path("Demo.");
    touch(trailing);
    HFileTransferList list;
    list.add(trailing, -1, 0);
    const struct {
        const char *what;
        std::function<int()> call;
        QString name;
    } rows[] = {
        {"make directory", [] { return zvs450_MakeDirectory(0, QStringLiteral("..")); }, QStringLiteral("..")},
        {"make directory", [] { return zvs450_MakeDirectory(0, QStringLiteral("  ")); }, QStringLiteral("  ")},
        {"rename directory", [] { return zvs450_RenameDirectory(0, 44, QStringLiteral("New ")); },
         QStringLiteral("New ")},
        {"rename", [] { return zvs450_Rename(0, 0, QStringLiteral("a:b.mp3")); }, QStringLiteral("a:b.mp3")},
        {"download", [&] { return zvs450_Download(nullptr, 0, list); }, QStringLiteral("Demo.")},
    };
    for (const auto &row : rows) {
        ui.messages.clear();
        EXPECT_EQ(row.call(), ZVS450USB_ERR_INVALID_FILENAME) << row.what;
        ASSERT_EQ(ui.messages.size(), 1u) << row.what;
        EXPECT_TRUE(ui.messages[0].text.startsWith(QLatin1Char('"') + row.name + QStringLiteral("\"\n")))
            << ui.messages[0].text.toStdString();
    }
    for (const char *call : {"MakeDirectory", "RenameDirectory", "Rename", "Download"})
        EXPECT_TRUE(fake::callsOf(call).empty()) << call;
    EXPECT_TRUE(fake::lib().messages.empty());
}

// ---- Maintenance ---------------------------------------------------------------------------

TEST_F(Session, FirmwareUpgradeConvertsIntelHexIntoATemporaryImage)
{
    connect();
    // Bytes at 0x2000, 0x2001 and 0x2003: the application image starts at 0x2000
    // and the gap is filled with zero.
    const QString hex = path("code.HEX");
    {
        QFile f(hex);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(":0220000041425B\n:012003004399\n:00000001FF\n");
    }
    const QString bin = path("boot.bin");
    {
        QFile f(bin);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("XYZ");
    }
    RegKeys::setRomSelect(2);
    zvs450_SetTimeouts(10, 20, 30);
    fake::lib().timeouts.clear();

    ui.files = {hex};
    EXPECT_EQ(zvs450_UpgradeApplicationCode(nullptr), 0);
    ASSERT_EQ(fake::callsOf("UpgradeFirmware").size(), 1u);
    const std::string call = fake::callsOf("UpgradeFirmware")[0];
    EXPECT_EQ(call.rfind("UpgradeFirmware 0 2 " + QDir::tempPath().toStdString() + "/$450", 0), 0u) << call;
    EXPECT_NE(call.find(" " + hex.toStdString()), std::string::npos);
    EXPECT_EQ(fake::lib().firmwareImage, std::string("AB\0C", 4));
    const std::string image = call.substr(call.find('/'), call.find(' ', call.find('/')) - call.find('/'));
    EXPECT_FALSE(QFile::exists(QString::fromStdString(image))) << "temporary image left behind";
    EXPECT_EQ(RegKeys::codecCodeName(), hex);
    EXPECT_EQ(ui.dialogTitles.back(), QStringLiteral("Codec Upgrade"));
    EXPECT_EQ(ui.dialogFilters.back(), QStringLiteral("Intel Hex File (*.hex);;All Files (*)"));
    const std::vector<std::pair<unsigned, unsigned>> swapped{{30, 20}, {10, 20}};
    EXPECT_EQ(fake::lib().timeouts, swapped);

    // Any other extension goes to the player as it is; a failure is shown,
    // a cancel in the dialog is not.
    fake::lib().calls.clear();
    ui.files = {bin};
    fake::failCall("UpgradeFirmware", 1, ZVS450USB_ERR_USERBREAK);
    EXPECT_EQ(zvs450_UpgradeBootCode(nullptr), ZVS450USB_ERR_USERBREAK);
    EXPECT_EQ(fake::callsOf("UpgradeFirmware"),
              std::vector<std::string>{"UpgradeFirmware 1 2 " + bin.toStdString() + " " + bin.toStdString()});
    EXPECT_EQ(fake::lib().messages.size(), 1u);
    EXPECT_EQ(RegKeys::bootCodeName(), bin);
    EXPECT_EQ(zvs450_UpgradeBootCode(nullptr), ZVS450USB_ERR_USERBREAK);
    EXPECT_EQ(fake::lib().messages.size(), 1u);

    // A damaged hex file never reaches the player.
    const QString bad = path("bad.hex");
    {
        QFile f(bad);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(":0220000041425C\n:00000001FF\n");
    }
    ui.files = {bad};
    EXPECT_NE(zvs450_UpgradeApplicationCode(nullptr), 0);
    EXPECT_EQ(fake::callsOf("UpgradeFirmware").size(), 1u);
    EXPECT_EQ(ui.messages.size(), 1u);
}

// The program tells the user to unplug the player only when its code flash was
// touched: a file refused before anything is sent leaves it as it was.
TEST_F(Session, FirmwareFilesRefusedBeforeSendingLeaveTheCodeAreaUntouched)
{
    connect();
    const auto file = [&](const char *name, qint64 size) {
        QFile f(path(name));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(size, 'c'));
        return f.fileName();
    };
    const QString badHex = path("bad.hex");
    {
        QFile f(badHex);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(":0220000041425C\n:00000001FF\n");
    }
    const struct {
        const char *what;
        QString chosen;
        bool boot;
        int libraryError;      // the library's answer when it is called
        bool touched;
        const char *reason;    // in the session's message, after the file's path
    } rows[] = {
        {"damaged hex", badHex, false, 0, false, "checksum"},
        {"empty image", file("empty.bin", 0), false, 0, false, "The image is empty."},
        {"boot image of 8193 bytes", file("big.bin", 8193), true, 0, false,
         "The image has 8,193 bytes; the boot area holds at most 8,192."},
        {"application image past 65535 blocks", file("huge.bin", 65535 * 512 + 1), false, 0, false,
         "The image has 33,553,921 bytes; the application area holds at most 33,553,920."},
        {"a folder", dir.path(), false, 0, false, "Is a directory"},
        {"a file that is gone", path("gone.bin"), false, 0, false, "No such file or directory"},
        {"boot image of 8192 bytes", file("boot.bin", 8192), true, 0, true, nullptr},
        {"the player fails", file("codec.bin", 1000), false, ZVC450USB_ERR_USB, true, nullptr},
    };
    for (const auto &row : rows) {
        fake::lib().calls.clear();
        ui.messages.clear();
        if (row.libraryError)
            fake::failCall("UpgradeFirmware", 1, row.libraryError);
        ui.files = {row.chosen};
        bool touched = !row.touched;
        const int result = row.boot ? zvs450_UpgradeBootCode(nullptr, &touched)
                                    : zvs450_UpgradeApplicationCode(nullptr, &touched);
        EXPECT_EQ(touched, row.touched) << row.what;
        EXPECT_EQ(fake::callsOf("UpgradeFirmware").size(), row.touched ? 1u : 0u) << row.what;
        EXPECT_EQ(result, row.touched ? row.libraryError : ZVC450USB_ERR_WINDOWS) << row.what;
        if (row.reason) {
            ASSERT_EQ(ui.messages.size(), 1u) << row.what;
            EXPECT_TRUE(ui.messages[0].text.startsWith(row.chosen + QStringLiteral("\n"))) << row.what;
            EXPECT_TRUE(ui.messages[0].text.contains(QString::fromUtf8(row.reason)))
                << row.what << ": " << ui.messages[0].text.toStdString();
        }
    }
}

TEST_F(Session, RawDataChecksItsRangeBeforeAnythingIsRead)
{
    fake::lib().memory[0].totalBlocks = 0xFFFFFFFF; // a range check may not lean on the medium's size
    fake::lib().memory[1].totalBlocks = 100;
    connect();
    const QString file = path("raw.dat");
    const struct {
        const char *file;
        int memory;
        unsigned first, count;
        const char *message; // null: uploaded
    } rows[] = {
        {"", 0, 0, 1, text::kRawDataUnset},
        {"raw.dat", 0, 0, 0x40000, text::kRawDataRange},
        {"raw.dat", 0, 0, 0, text::kRawDataUnset},
        {"raw.dat", 1, 90, 11, text::kRawDataRange},
        {"raw.dat", 1, 0xFFFFFFFF, 2, text::kRawDataRange},
        {"raw.dat", 1, 90, 10, nullptr},
        {"raw.dat", 0, 1, 0x3FFFF, nullptr},
    };
    for (const auto &row : rows) {
        fake::lib().calls.clear();
        ui.messages.clear();
        RegKeys::setRawDataFileName(*row.file ? file : QString());
        RegKeys::setRawDataRange(row.first, row.count);
        EXPECT_EQ(zvs450_RawData(nullptr, row.memory), 0);
        if (row.message) {
            ASSERT_EQ(ui.messages.size(), 1u) << row.count;
            EXPECT_EQ(ui.messages[0].text, QString::fromUtf8(row.message));
            EXPECT_TRUE(fake::callsOf("UploadRawData").empty());
        } else {
            EXPECT_TRUE(ui.messages.empty());
            EXPECT_EQ(fake::callsOf("UploadRawData"),
                      std::vector<std::string>{"UploadRawData " + std::to_string(row.memory) + " "
                                               + std::to_string(row.first) + " " + std::to_string(row.count) + " "
                                               + file.toStdString() + " (null) "
                                               + std::to_string(row.count * 16384u)});
        }
    }
}

TEST_F(Session, RawDataAsksBeforeOverwritingAndOpensTheViewer)
{
    connect();
    const QString file = path("raw.dat");
    RegKeys::setRawDataFileName(file);
    RegKeys::setRawDataRange(0, 2);
    RegKeys::setRawDataViewer(QStringLiteral("hexviewer"));

    // View only, no file yet: the missing file is reported, nothing started.
    EXPECT_EQ(zvs450_RawData(nullptr, -1), 0);
    ASSERT_EQ(fake::lib().messages.size(), 1u);
    EXPECT_EQ(fake::lib().messages[0].code, ZVC450USB_ERR_WINDOWS);
    EXPECT_EQ(fake::lib().messages[0].sysError, unsigned(ENOENT));
    EXPECT_TRUE(ui.viewers.empty());

    touch(file);
    ui.answers = {Answer::Cancel, Answer::No, Answer::Yes};
    EXPECT_EQ(zvs450_RawData(nullptr, 0), 0); // Cancel: nothing at all
    EXPECT_TRUE(ui.viewers.empty());
    EXPECT_EQ(zvs450_RawData(nullptr, 0), 0); // No: the old file is shown
    EXPECT_TRUE(fake::callsOf("UploadRawData").empty());
    EXPECT_EQ(ui.viewers.size(), 1u);
    EXPECT_EQ(zvs450_RawData(nullptr, 0), 0); // Yes: read again, then shown
    EXPECT_EQ(fake::callsOf("UploadRawData").size(), 1u);
    ASSERT_EQ(ui.viewers.size(), 2u);
    EXPECT_EQ(ui.viewers[1], (QStringList{QStringLiteral("hexviewer"), file}));

    // A failed read shows its error and no viewer; a cancelled one neither.
    ui.answers = {Answer::Yes, Answer::Yes};
    fake::failCall("UploadRawData", 1, ZVC450USB_ERR_USB);
    EXPECT_EQ(zvs450_RawData(nullptr, 0), ZVC450USB_ERR_USB);
    fake::failCall("UploadRawData", 1, ZVS450USB_ERR_USERBREAK);
    EXPECT_EQ(zvs450_RawData(nullptr, 0), ZVS450USB_ERR_USERBREAK);
    EXPECT_EQ(fake::lib().messages.size(), 2u);
    EXPECT_EQ(ui.viewers.size(), 2u);
}

TEST_F(Session, FontOperationsAskBeforeReplacingAndKeepTheFontInsideTheFolder)
{
    connect();
    // No font on the player: straight to the dialog.
    const QString fontFile = path("new.fot");
    ui.files = {fontFile};
    EXPECT_EQ(zvs450_DownloadFont(nullptr), 0);
    EXPECT_EQ(fake::callsOf("DownloadFont"), std::vector<std::string>{"DownloadFont " + fontFile.toStdString()});
    EXPECT_EQ(RegKeys::fontName(), fontFile);
    EXPECT_EQ(ui.dialogFilters.back(), QStringLiteral("Bitmap font (*.fot);;All Files (*)"));
    EXPECT_TRUE(ui.questions.empty());

    // A font is there: No keeps it, without a dialog.
    fake::lib().hasFont = true;
    std::strcpy(fake::lib().font.szFontName, "../../evil.fot");
    fake::lib().font.dwFontSize = 4096;
    ui.answers = {Answer::No};
    EXPECT_EQ(zvs450_DownloadFont(nullptr), 0);
    EXPECT_EQ(ui.questions.back().caption, QStringLiteral("../../evil.fot"));
    EXPECT_EQ(ui.dialogTitles.size(), 1u);

    EXPECT_EQ(zvs450_UploadFont(nullptr, dir.path()), 0);
    EXPECT_EQ(fake::callsOf("UploadFont"),
              std::vector<std::string>{"UploadFont " + path("_._.._evil.fot").toStdString() + " (null) 4096"});
    touch(path("_._.._evil.fot"));
    ui.answers = {Answer::No};
    EXPECT_EQ(zvs450_UploadFont(nullptr, dir.path()), ZVS450USB_ERR_USERBREAK);
    EXPECT_EQ(fake::callsOf("UploadFont").size(), 1u);
    EXPECT_TRUE(fake::lib().messages.empty());

    ZVC450_FONTINFO info{};
    EXPECT_EQ(zvs450_GetFontInfo(&info), 0);
    EXPECT_EQ(info.dwFontSize, 4096u);
    fake::lib().hasFont = false;
    EXPECT_NE(zvs450_GetFontInfo(&info), 0);
    EXPECT_EQ(fake::lib().messages.size(), 1u);
}

// ---- One operation at a time -----------------------------------------------------------

// While the library works for one operation, its windows let the program's
// events run; everything they try on the player is refused, leaves the
// library's state alone, and is told once, after the running operation.
TEST_F(Session, OperationsAskedWhileOneRunsAreRefusedAndToldAfterIt)
{
    connect();
    fake::lib().memory[0].files = {fake::entry("A", "MP3", "", 1, 2)};
    fake::lib().memory[0].dirs = {fake::entry("..", "", "", 0, 0), fake::entry("SUB", "", "", 0, 7)};
    Names listed;
    ASSERT_TRUE(zvs450_EnumFiles(0, listed, true));
    HFileTransferList list;
    list.add(path("NEW.MP3"), 0, 1);
    ui.files = {path("codec.bin"), path("codec.bin")};
    RegKeys::setRawDataFileName(path("raw.dat"));
    RegKeys::setRawDataRange(0, 1);

    const struct {
        const char *what;
        std::function<int()> call;
    } rows[] = {
        {"change directory", [] { return zvs450_ChangeDirectory(0, 7); }},
        {"parent", [] { return zvs450_ChangeToParent(0); }},
        {"make directory", [] { return zvs450_MakeDirectory(0, QStringLiteral("X")); }},
        {"remove directory", [] { return zvs450_RemoveDirectory(0, 7); }},
        {"rename directory", [] { return zvs450_RenameDirectory(0, 7, QStringLiteral("Y")); }},
        {"delete", [] { return zvs450_Delete(nullptr, 0, 0, QStringLiteral("A.MP3")); }},
        {"rename", [] { return zvs450_Rename(0, 0, QStringLiteral("B.MP3")); }},
        {"reorder", [] { return zvs450_Replace(0, 0, 0); }},
        {"download", [&] { return zvs450_Download(nullptr, 0, list); }},
        {"upload", [&] { return zvs450_Upload(nullptr, 0, dir.path(), list); }},
        {"format", [] { return zvs450_Format(nullptr, 0); }},
        {"low-level format", [] { return zvs450_FormatLow(nullptr, 1); }},
        {"upgrade", [] { return zvs450_UpgradeApplicationCode(nullptr); }},
        {"font", [] { return zvs450_EraseFont(nullptr); }},
        {"raw data", [] { return zvs450_RawData(nullptr, 0); }},
    };
    fake::lib().error = ZVC450USB_ERR_NONE;
    size_t callsBefore = 0;
    size_t callsAfter = 0;
    size_t messagesMeanwhile = 0;
    fake::lib().during["Download"] = [&] {
        callsBefore = fake::lib().calls.size();
        for (const auto &row : rows)
            EXPECT_EQ(row.call(), kZvs450ErrBusy) << row.what;
        callsAfter = fake::lib().calls.size();
        messagesMeanwhile = ui.messages.size() + ui.questions.size() + ui.dialogTitles.size();
        EXPECT_EQ(fake::lib().error, ZVC450USB_ERR_NONE);
    };
    EXPECT_EQ(zvs450_Download(nullptr, 0, list), 0);
    // Nothing reached the player, nothing was asked meanwhile.
    EXPECT_EQ(callsAfter, callsBefore);
    EXPECT_EQ(messagesMeanwhile, 0u);
    EXPECT_TRUE(fake::lib().messages.empty());
    // One message, once the copy had ended.
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, QString::fromUtf8(text::kBusy));
    EXPECT_FALSE(zvs450_IsBusy());

    // Free again: the next operation runs.
    fake::lib().calls.clear();
    EXPECT_EQ(zvs450_ChangeDirectory(0, 7), 0);
    EXPECT_EQ(fake::callsOf("ChangeDirectory").size(), 1u);
    EXPECT_EQ(ui.messages.size(), 1u);
}

// Readers and the device watcher get what is known without asking the player,
// and nobody is told: those were no requests of the user.
TEST_F(Session, ReadsWhileAnOperationRunsAnswerFromTheCache)
{
    connect();
    fake::lib().memory[0].files = {fake::entry("A", "MP3", "", 1, 2)};
    Names before;
    ASSERT_TRUE(zvs450_EnumFiles(0, before, true));
    HFileTransferList list;
    list.add(path("NEW.MP3"), 0, 1);

    fake::lib().during["Download"] = [&] {
        const size_t calls = fake::lib().calls.size();
        Names names;
        EXPECT_TRUE(zvs450_EnumFiles(0, names, true));
        EXPECT_EQ(names.names, QStringList{QStringLiteral("A.MP3")});
        QString path;
        EXPECT_TRUE(zvs450_GetCurrentDirectory(0, &path));
        quint64 total = 0;
        EXPECT_TRUE(zvs450_GetCapacity(0, &total, nullptr));
        EXPECT_EQ(total, 4096ull * 16384);
        ZVC450_MEDIUMINFO info{};
        EXPECT_EQ(zvs450_GetMediumInfo(0, &info), kZvs450ErrBusy);
        bool present = false;
        EXPECT_FALSE(zvs450_TestConnection(&present));
        int count = -1;
        int mask = -1;
        EXPECT_TRUE(zvs450_Connect(true, &count, &mask));
        EXPECT_EQ(count, -1);
        zvs450_Close();
        EXPECT_TRUE(zvs450_IsOpen());
        EXPECT_TRUE(zvs450_IsBusy());
        EXPECT_EQ(fake::lib().calls.size(), calls);
    };
    EXPECT_EQ(zvs450_Download(nullptr, 0, list), 0);
    EXPECT_TRUE(ui.messages.empty());
    bool present = false;
    EXPECT_TRUE(zvs450_TestConnection(&present));
    EXPECT_TRUE(present);
}

// ---- Copies that do not reach the player whole ---------------------------------------------

// A copy that ends early leaves the part that arrived under the file's full
// name. While the player answers it is deleted again and the user told;
// when it does not, the user is told which file it is.
TEST_F(Session, IncompleteCopyIsDeletedOrNamed)
{
    enum class Told { Nothing, Deleted, Kept };
    const struct {
        const char *what;
        int failure;          // the copy's library error, 0: it reported success
        int partial;          // bytes the player's new entry has, -1: no new entry
        bool playerGone;      // the listing afterwards fails
        int result;
        bool errorShown;
        bool deleted;
        Told told;
    } rows[] = {
        {"whole copy", 0, 5000, false, 0, false, false, Told::Nothing},
        {"cancelled", ZVS450USB_ERR_USERBREAK, 2048, false, ZVS450USB_ERR_USERBREAK, false, true, Told::Deleted},
        {"time-out", ZVC450USB_ERR_USB, 1024, false, ZVC450USB_ERR_USB, true, true, Told::Deleted},
        {"reported whole, listed short", 0, 4096, false, ZVC450USB_ERR_USB, true, true, Told::Deleted},
        {"name refused", ZVC450USB_ERR_DISKFULL, -1, false, ZVC450USB_ERR_DISKFULL, true, false, Told::Nothing},
        {"player gone", ZVC450USB_ERR_USB, 1024, true, ZVC450USB_ERR_USB, true, false, Told::Kept},
        {"gone after a whole copy", 0, 5000, true, ZVC450USB_ERR_USB, true, false, Told::Kept},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.what);
        fake::reset();
        ui = ScriptedUi();
        zvs450_Terminate();
        connect();
        fake::lib().memory[0].files = {fake::entry("OLD", "MP3", "", 10, 2)};
        const QString source = path("Long song name.mp3");
        {
            QFile f(source);
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            f.write(QByteArray(5000, 's'));
        }
        HFileTransferList list;
        list.add(source, -1, 0);
        fake::lib().during["Download"] = [&] {
            if (row.partial >= 0)
                fake::lib().memory[0].files.push_back(
                    fake::entry("LONGSO~1", "MP3", "Long song name.mp3", uint32_t(row.partial), 9));
            fake::lib().memory[0].listFails = row.playerGone;
        };
        if (row.failure)
            fake::failCall("Download", 1, row.failure);

        EXPECT_EQ(zvs450_Download(nullptr, 0, list), row.result);
        EXPECT_EQ(fake::lib().messages.size(), row.errorShown ? 1u : 0u);
        if (row.errorShown && !fake::lib().messages.empty()) {
            EXPECT_EQ(fake::lib().messages[0].code, row.result);
        }
        EXPECT_EQ(fake::callsOf("Delete"),
                  row.deleted ? std::vector<std::string>{"Delete 0 1 Long song name.mp3"} : std::vector<std::string>{});
        switch (row.told) {
        case Told::Nothing:
            EXPECT_TRUE(ui.messages.empty());
            break;
        case Told::Deleted:
            ASSERT_EQ(ui.messages.size(), 1u);
            EXPECT_EQ(ui.messages[0].text, QString::fromUtf8(text::kIncompleteDeleted).arg(source, QStringLiteral("Long song name.mp3")));
            break;
        case Told::Kept:
            ASSERT_EQ(ui.messages.size(), 1u);
            EXPECT_EQ(ui.messages[0].text, QString::fromUtf8(text::kIncompleteKept).arg(source, QStringLiteral("Long song name.mp3")));
            break;
        }
    }
}

// Each copy of a batch is checked against the listing made after the one before it.
TEST_F(Session, BatchChecksEveryCopyAgainstTheListingBeforeIt)
{
    connect();
    HFileTransferList list;
    for (const char *name : {"A.MP3", "B.MP3"}) {
        QFile f(path(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(700, 'x'));
        list.add(path(name), -1, 0);
    }
    // The second copy is cancelled after 512 bytes arrived.
    fake::failCall("Download", 2, ZVS450USB_ERR_USERBREAK);
    std::function<void()> second = [] { fake::lib().memory[0].files.push_back(fake::entry("B", "MP3", "", 512, 5)); };
    fake::lib().during["Download"] = [second] {
        fake::lib().memory[0].files.push_back(fake::entry("A", "MP3", "", 700, 4));
        fake::lib().during["Download"] = second;
    };
    EXPECT_EQ(zvs450_Download(nullptr, 0, list), ZVS450USB_ERR_USERBREAK);
    // A stays, B goes: only the new file of the cancelled copy is deleted.
    EXPECT_EQ(fake::callsOf("Delete"), std::vector<std::string>{"Delete 0 1 B.MP3"});
    EXPECT_EQ(ui.messages.size(), 1u);
}

} // namespace
