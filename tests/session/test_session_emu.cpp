// The device session against the emulated player, through the real device
// library: what the views will see of listings and transfers.

#include "scripted_ui.h"

#include "FileTran.h"
#include "RegKeys.h"
#include "emulator.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSet>
#include <QStandardPaths>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

using Answer = Zvs450Ui::Answer;

// Collects everything the library writes to stderr (its messages, one line
// each, when there is no QApplication).
class StderrCapture
{
public:
    explicit StderrCapture(const QString &file)
    {
        std::fflush(stderr);
        saved_ = dup(STDERR_FILENO);
        out_ = std::fopen(QFile::encodeName(file).constData(), "w+");
        if (out_)
            dup2(fileno(out_), STDERR_FILENO);
    }
    ~StderrCapture() { stop(); }
    QStringList stop()
    {
        if (saved_ < 0)
            return lines_;
        std::fflush(stderr);
        dup2(saved_, STDERR_FILENO);
        close(saved_);
        saved_ = -1;
        if (out_) {
            std::rewind(out_);
            char line[1024];
            while (std::fgets(line, sizeof line, out_))
                lines_ << QString::fromUtf8(line).trimmed();
            std::fclose(out_);
        }
        return lines_;
    }

private:
    int saved_ = -1;
    std::FILE *out_ = nullptr;
    QStringList lines_;
};

struct Listing : Zvs450ItemSink {
    QStringList names;
    std::vector<int> indexes;
    std::vector<quint32> sizes, keys;
    void addItem(const QString &name, int index, quint32 size, quint32 key) override
    {
        names << name;
        indexes.push_back(index);
        sizes.push_back(size);
        keys.push_back(key);
    }
    int indexOf(const QString &name) const
    {
        const qsizetype at = names.indexOf(name);
        return at < 0 ? -1 : indexes[static_cast<size_t>(at)];
    }
};

Listing files(int memory, bool force)
{
    Listing listing;
    EXPECT_TRUE(zvs450_EnumFiles(memory, listing, force));
    return listing;
}

class EmulatedPlayer : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        clearSettings();
        zvs450_SetUi(&ui);
        options.state.folder = dir.filePath(QStringLiteral("player")).toStdString();
        options.state.internalBytes = 8u << 20;
        options.state.cardBytes = 2u << 20;
        // The images exist before the player serves, so mtools can fill them.
        emu::Emulator images(options);
        std::string error;
        ASSERT_TRUE(images.Prepare(&error)) << error;
        local = dir.filePath(QStringLiteral("pc"));
        ASSERT_TRUE(QDir().mkpath(local));
    }
    void TearDown() override
    {
        zvs450_Terminate();
        zvs450_SetUi(nullptr);
        if (player)
            player->Stop();
        unsetenv("ZVC450_VUSB");
    }

    QString internalImage() const
    {
        return QString::fromStdString(options.state.folder) + QStringLiteral("/internal.img");
    }
    // Runs an mtools command on the internal memory's image.
    void mtools(const QString &tool, QStringList args) const
    {
        qputenv("MTOOLS_SKIP_CHECK", "1");
        args.prepend(internalImage());
        args.prepend(QStringLiteral("-i"));
        QProcess process;
        process.start(tool, args);
        ASSERT_TRUE(process.waitForFinished(60000)) << tool.toStdString() << " did not finish";
        ASSERT_EQ(process.exitCode(), 0) << tool.toStdString() << ": " << process.readAllStandardError().toStdString();
    }
    QString write(const QString &name, const QByteArray &content) const
    {
        const QString path = dir.filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
        return path;
    }
    QByteArray read(const QString &path) const
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(missing)");
    }
    // Starts the player and connects with both memories listed.
    void start()
    {
        options.socketPath = dir.filePath(QStringLiteral("link")).toStdString();
        player = std::make_unique<emu::Emulator>(options);
        std::string error;
        ASSERT_TRUE(player->Start(&error)) << error;
        setenv("ZVC450_VUSB", options.socketPath.c_str(), 1);
        zvs450_Initialize();
        int count = 0;
        int mask = 0;
        ASSERT_TRUE(zvs450_Connect(true, &count, &mask));
        ASSERT_EQ(count, 2);
        ASSERT_EQ(mask, 3);
    }

    QTemporaryDir dir;
    QString local;
    emu::EmulatorOptions options;
    std::unique_ptr<emu::Emulator> player;
    ScriptedUi ui;
};

TEST_F(EmulatedPlayer, ConnectWhileConnectedKeepsTheListing)
{
    if (QStandardPaths::findExecutable(QStringLiteral("mcopy")).isEmpty())
        GTEST_SKIP() << "mtools not installed";
    start();
    EXPECT_TRUE(files(0, false).names.isEmpty());
    const char *version = zvs450_GetFirmwareVersionString();
    ASSERT_NE(version, nullptr);
    EXPECT_EQ(std::string(version).rfind("BRIGHTFEN ZVC450 FILE SYSTEM", 0), 0u) << version;

    // A file appears behind the session's back: a reconnect of a working
    // connection does not look, a forced refresh does.
    mtools(QStringLiteral("mcopy"), {write(QStringLiteral("NEW.MP3"), "x"), QStringLiteral("::/NEW.MP3")});
    int count = -1;
    int mask = -1;
    EXPECT_TRUE(zvs450_Connect(true, &count, &mask));
    EXPECT_EQ(count, -1);
    EXPECT_EQ(mask, -1);
    EXPECT_TRUE(files(0, false).names.isEmpty());
    EXPECT_EQ(files(0, true).names, QStringList{QStringLiteral("NEW.MP3")});
}

TEST_F(EmulatedPlayer, DirectoryOf513FilesIsListedWhole)
{
    if (QStandardPaths::findExecutable(QStringLiteral("mcopy")).isEmpty())
        GTEST_SKIP() << "mtools not installed";
    const QString many = dir.filePath(QStringLiteral("many"));
    ASSERT_TRUE(QDir().mkpath(many));
    QStringList sources;
    QSet<QString> expected;
    for (int i = 0; i < 513; ++i) {
        const QString name = QStringLiteral("F%1.MP3").arg(i, 4, 10, QLatin1Char('0'));
        QFile(many + QLatin1Char('/') + name).open(QIODevice::WriteOnly);
        sources << many + QLatin1Char('/') + name;
        expected.insert(name);
    }
    mtools(QStringLiteral("mmd"), {QStringLiteral("::/MANY")});
    mtools(QStringLiteral("mcopy"), sources << QStringLiteral("::/MANY/"));
    start();

    Listing root;
    ASSERT_TRUE(zvs450_EnumDirectories(0, root, false));
    const qsizetype at = root.names.indexOf(QStringLiteral("MANY"));
    ASSERT_GE(at, 0) << root.names.join(QLatin1Char(',')).toStdString();
    ASSERT_EQ(zvs450_ChangeDirectory(0, root.keys[static_cast<size_t>(at)] & 0xFFFFu), 0);

    const Listing listing = files(0, false);
    EXPECT_EQ(listing.names.size(), 513);
    EXPECT_EQ(QSet<QString>(listing.names.begin(), listing.names.end()), expected);
    EXPECT_EQ(zvs450_GetFileCount(0), 513);
    QString path;
    ASSERT_TRUE(zvs450_GetCurrentDirectory(0, &path));
    EXPECT_EQ(path, QStringLiteral("/MANY"));

    // "." and ".." are listed; the way back up is "..".
    Listing dirs;
    ASSERT_TRUE(zvs450_EnumDirectories(0, dirs, false));
    EXPECT_TRUE(dirs.names.contains(QStringLiteral("..")));
    EXPECT_EQ(zvs450_ChangeToParent(0), 0);
    ASSERT_TRUE(zvs450_GetCurrentDirectory(0, &path));
    EXPECT_EQ(path, QStringLiteral("/"));
}

TEST_F(EmulatedPlayer, ShortNamesAreShownWithoutTheirPadding)
{
    if (QStandardPaths::findExecutable(QStringLiteral("mcopy")).isEmpty())
        GTEST_SKIP() << "mtools not installed";
    mtools(QStringLiteral("mcopy"), {write(QStringLiteral("README"), "1"), QStringLiteral("::/README")});
    mtools(QStringLiteral("mcopy"), {write(QStringLiteral("README.TXT"), "22"), QStringLiteral("::/README.TXT")});
    mtools(QStringLiteral("mcopy"), {write(QStringLiteral("A.B"), "333"), QStringLiteral("::/Mixed Case.mp3")});
    start();
    Listing listing = files(0, false);
    listing.names.sort();
    EXPECT_EQ(listing.names, (QStringList{QStringLiteral("Mixed Case.mp3"), QStringLiteral("README"),
                                          QStringLiteral("README.TXT")}));
}

TEST_F(EmulatedPlayer, VoiceRecordingIsUploadedAsWav)
{
    if (QStandardPaths::findExecutable(QStringLiteral("mcopy")).isEmpty())
        GTEST_SKIP() << "mtools not installed";
    // Two recorder frames: four sync bytes and a 256-byte IMA ADPCM block.
    QByteArray frame(4, '\x7F');
    frame += QByteArray(256, '\0');
    mtools(QStringLiteral("mcopy"), {write(QStringLiteral("rec"), frame + frame), QStringLiteral("::/VOICE001.BCW")});
    start();
    const Listing listing = files(0, false);
    HFileTransferList list;
    list.add(QStringLiteral("VOICE001.BCW"), listing.indexOf(QStringLiteral("VOICE001.BCW")), 520);
    ASSERT_EQ(zvs450_Upload(nullptr, 0, local, list), 0);

    const QByteArray wav = read(local + QStringLiteral("/VOICE001.WAV"));
    ASSERT_GE(wav.size(), 44);
    EXPECT_TRUE(wav.startsWith("RIFF"));
    EXPECT_EQ(wav.mid(8, 4), QByteArray("WAVE"));
    EXPECT_EQ(static_cast<unsigned char>(wav[20]), 0x11u) << "IMA ADPCM format tag";
    EXPECT_FALSE(QFile::exists(local + QStringLiteral("/VOICE001.BCW")));

    // As it is, when the settings say so.
    RegKeys::setAdpcmConvert(1);
    ASSERT_EQ(zvs450_Upload(nullptr, 0, local, list), 0);
    EXPECT_EQ(read(local + QStringLiteral("/VOICE001.BCW")), frame + frame);
}

// A "recording" in which no frame is found becomes an empty WAV file, and the user
// is told so; a recording with sound is not remarked upon.
TEST_F(EmulatedPlayer, RecordingWithoutFramesGivesAnEmptyWavAndAWarning)
{
    if (QStandardPaths::findExecutable(QStringLiteral("mcopy")).isEmpty())
        GTEST_SKIP() << "mtools not installed";
    // A BVF header (4.75 kbit/s, sync word) and nothing after it; a BCW file of
    // bytes without a single frame sync.
    const QByteArray bvfHeader("\x00\x00\xFF\xFB\x00\x00\x00\x00\x00", 9);
    mtools(QStringLiteral("mcopy"), {write(QStringLiteral("bvf"), bvfHeader), QStringLiteral("::/EMPTY.BVF")});
    mtools(QStringLiteral("mcopy"), {write(QStringLiteral("bcw"), QByteArray(700, '\x11')), QStringLiteral("::/NOISE.BCW")});
    QByteArray frame(4, '\x7F');
    frame += QByteArray(256, '\0');
    mtools(QStringLiteral("mcopy"), {write(QStringLiteral("rec"), frame + frame), QStringLiteral("::/VOICE.BCW")});
    start();
    const Listing listing = files(0, false);
    HFileTransferList list;
    for (const char *name : {"EMPTY.BVF", "NOISE.BCW", "VOICE.BCW"}) {
        const qsizetype at = listing.names.indexOf(QString::fromLatin1(name));
        ASSERT_GE(at, 0) << name;
        list.add(QString::fromLatin1(name), listing.indexes[size_t(at)], listing.sizes[size_t(at)]);
    }
    ASSERT_EQ(zvs450_Upload(nullptr, 0, local, list), 0);

    for (const char *wav : {"EMPTY.WAV", "NOISE.WAV"}) {
        const QByteArray bytes = read(local + QLatin1Char('/') + QString::fromLatin1(wav));
        ASSERT_TRUE(bytes.startsWith("RIFF")) << wav;
        EXPECT_EQ(bytes.mid(bytes.indexOf("data") + 4, 4), QByteArray(4, '\0')) << wav << ": no sound";
    }
    ASSERT_EQ(ui.messages.size(), 2u);
    EXPECT_EQ(ui.messages[0].text, QStringLiteral("No sound was found in the recording \"EMPTY.BVF\":\n") + local
                                       + QStringLiteral("/EMPTY.WAV is empty."));
    EXPECT_TRUE(ui.messages[1].text.contains(QStringLiteral("\"NOISE.BCW\"")));
    EXPECT_GT(QFileInfo(local + QStringLiteral("/VOICE.WAV")).size(), 100);
}

TEST_F(EmulatedPlayer, DownloadBatchStopsAtTheFirstFailure)
{
    start();
    HFileTransferList list;
    list.add(write(QStringLiteral("a.mp3"), "first"), -1, 0);
    list.add(dir.filePath(QStringLiteral("missing.mp3")), -1, 0);
    list.add(write(QStringLiteral("c.mp3"), "third"), -1, 0);
    EXPECT_TRUE(files(0, false).names.isEmpty());

    StderrCapture capture(dir.filePath(QStringLiteral("stderr.txt")));
    const int error = zvs450_Download(nullptr, 0, list);
    const QStringList lines = capture.stop();
    EXPECT_NE(error, 0);
    // One message: the library's line, then the file it is about and what to do.
    EXPECT_EQ(lines, (QStringList{QString::fromUtf8(std::strerror(ENOENT)), dir.filePath(QStringLiteral("missing.mp3")),
                                  QString(),
                                  QStringLiteral("A file or folder on this computer was not found. Check that it still exists.")}));

    // Listed again without being forced: the download marked it stale.
    EXPECT_EQ(files(0, false).names, QStringList{QStringLiteral("a.mp3")});
}

// With "Verify copies to the player" every copy is read back: one the
// player's flash damaged is found, named and removed, and the batch stops
// there.  Without the setting the same damage goes unseen.
TEST_F(EmulatedPlayer, VerifiedDownloadsLeaveNoDamagedCopy)
{
    start();
    QByteArray big(40000, '\0');
    for (qsizetype i = 0; i < big.size(); ++i)
        big[i] = char(i * 7 + 3);
    HFileTransferList list;
    list.add(write(QStringLiteral("a.mp3"), "one block"), -1, 0);
    const QString b = write(QStringLiteral("b.mp3"), big);  // blocks 2, 3 and 4 written
    list.add(b, -1, 0);
    list.add(write(QStringLiteral("c.mp3"), "never sent"), -1, 0);
    player->Faults().CorruptWrites(3);

    RegKeys::setVerifyCopies(true);
    EXPECT_NE(zvs450_Download(nullptr, 0, list), 0);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, QString::fromLatin1(text::kCopyDiffers).arg(b).arg(16384 + 8192));
    EXPECT_EQ(files(0, false).names, QStringList{QStringLiteral("a.mp3")});

    RegKeys::setVerifyCopies(false);
    player->Faults().CorruptWrites(1);
    HFileTransferList unverified;
    unverified.add(b, -1, 0);
    EXPECT_EQ(zvs450_Download(nullptr, 0, unverified), 0);
    EXPECT_EQ(ui.messages.size(), 1u) << "nothing said";
    const Listing listing = files(0, false);
    ASSERT_EQ(listing.names, (QStringList{QStringLiteral("a.mp3"), QStringLiteral("b.mp3")}));
    player->Faults().CorruptWrites(0);
    HFileTransferList back;
    back.add(QStringLiteral("b.mp3"), listing.indexOf(QStringLiteral("b.mp3")), quint32(big.size()));
    ASSERT_EQ(zvs450_Upload(nullptr, 0, local, back), 0);
    const QByteArray stored = read(local + QStringLiteral("/b.mp3"));
    ASSERT_EQ(stored.size(), big.size());
    EXPECT_NE(stored, big);
}

// The play order: the fewest exchanges, reported as they go; stopped by the
// caller it stops at once, silently, with every file still there.
TEST_F(EmulatedPlayer, SortFilesReportsItsProgressAndStopsWhenAsked)
{
    start();
    HFileTransferList list;
    const QStringList copied = {QStringLiteral("d.mp3"), QStringLiteral("c.mp3"), QStringLiteral("b.mp3"),
                                QStringLiteral("a.mp3")};
    for (const QString &name : copied)
        list.add(write(name, name.toUtf8()), -1, 0);
    ASSERT_EQ(zvs450_Download(nullptr, 0, list), 0);

    std::vector<std::pair<int, int>> calls;
    const int stopped = zvs450_SortFiles(nullptr, 0, playorder::Key::Name, [&](int done, int total) {
        calls.emplace_back(done, total);
        return done < 1;
    });
    EXPECT_EQ(stopped, ZVS450USB_ERR_USERBREAK);
    EXPECT_EQ(calls, (std::vector<std::pair<int, int>>{{0, 2}, {1, 2}}));
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(files(0, false).names,
              (QStringList{QStringLiteral("a.mp3"), QStringLiteral("c.mp3"), QStringLiteral("b.mp3"),
                           QStringLiteral("d.mp3")}));

    calls.clear();
    EXPECT_EQ(zvs450_SortFiles(nullptr, 0, playorder::Key::Name, [&](int done, int total) {
                  calls.emplace_back(done, total);
                  return true;
              }),
              0);
    EXPECT_EQ(calls, (std::vector<std::pair<int, int>>{{0, 1}, {1, 1}}));
    EXPECT_EQ(files(0, false).names,
              (QStringList{QStringLiteral("a.mp3"), QStringLiteral("b.mp3"), QStringLiteral("c.mp3"),
                           QStringLiteral("d.mp3")}));
}

// A name with ':' or '\' goes to the player with "_" in their place once the user
// says so: the whole file, under that name, readable by tools nobody here wrote.
TEST_F(EmulatedPlayer, NamesWithCharactersFatCannotHoldGoWithUnderscores)
{
    if (QStandardPaths::findExecutable(QStringLiteral("mtype")).isEmpty())
        GTEST_SKIP() << "mtools not installed";
    start();
    const QByteArray song(70000, 's');
    const QByteArray thunder(513, 't');
    HFileTransferList list;
    list.add(write(QStringLiteral("Artist: Song.mp3"), song), -1, 0);
    list.add(write(QStringLiteral("AC\\DC - Thunder.mp3"), thunder), -1, 0);
    ui.answers = {Answer::Yes};
    ASSERT_EQ(zvs450_Download(nullptr, 0, list), 0);
    ASSERT_EQ(ui.questions.size(), 1u);
    EXPECT_TRUE(ui.questions[0].text.contains(QStringLiteral("':' and '\\'")));
    EXPECT_EQ(files(0, false).names, (QStringList{"Artist_ Song.mp3", "AC_DC - Thunder.mp3"}));

    player->Stop();
    player.reset();
    const QString back = dir.filePath(QStringLiteral("back"));
    mtools(QStringLiteral("mcopy"), {QStringLiteral("::/Artist_ Song.mp3"), back});
    EXPECT_EQ(read(back), song);
    mtools(QStringLiteral("mcopy"), {QStringLiteral("-o"), QStringLiteral("::/AC_DC - Thunder.mp3"), back});
    EXPECT_EQ(read(back), thunder);
}

// The cable comes out in the middle of a copy: what arrived stays on the
// player under the file's full name, and the user is told which file that is.
TEST_F(EmulatedPlayer, CopyCutOffNamesTheIncompleteFileOnThePlayer)
{
    if (QStandardPaths::findExecutable(QStringLiteral("mdir")).isEmpty())
        GTEST_SKIP() << "mtools not installed";
    start();
    const QString source = write(QStringLiteral("Cut short.mp3"), QByteArray(300000, 'c'));
    HFileTransferList list;
    list.add(source, -1, 0);
    player->Link().cutAfterBytes = 100000;

    StderrCapture capture(dir.filePath(QStringLiteral("stderr.txt")));
    EXPECT_EQ(zvs450_Download(nullptr, 0, list), ZVC450USB_ERR_USB);
    capture.stop();
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text,
              QString::fromUtf8(text::kIncompleteKept).arg(source, QStringLiteral("Cut short.mp3")));

    // That file is the one on the player.
    player->Stop();
    player.reset();
    QProcess mdir;
    mdir.start(QStringLiteral("mdir"), {QStringLiteral("-b"), QStringLiteral("-i"), internalImage(), QStringLiteral("::/")});
    ASSERT_TRUE(mdir.waitForFinished(60000));
    EXPECT_TRUE(QString::fromUtf8(mdir.readAllStandardOutput()).contains(QStringLiteral("Cut short.mp3")));
}

TEST_F(EmulatedPlayer, OverwriteQuestionDecidesFileByFile)
{
    if (QStandardPaths::findExecutable(QStringLiteral("mcopy")).isEmpty())
        GTEST_SKIP() << "mtools not installed";
    for (const char *name : {"A.MP3", "B.MP3", "C.MP3"})
        mtools(QStringLiteral("mcopy"), {write(QString::fromLatin1(name), QByteArray("device ") + name),
                                         QStringLiteral("::/") + QString::fromLatin1(name)});
    start();
    const QString a = local + QStringLiteral("/A.MP3");
    const QString b = local + QStringLiteral("/B.MP3");
    const QString c = local + QStringLiteral("/C.MP3");
    {
        QFile fa(a), fb(b);
        ASSERT_TRUE(fa.open(QIODevice::WriteOnly) && fb.open(QIODevice::WriteOnly));
        fa.write("mine");
        fb.write("mine");
    }
    const Listing listing = files(0, false);
    HFileTransferList list;
    for (const char *name : {"A.MP3", "B.MP3", "C.MP3"}) {
        const qsizetype at = listing.names.indexOf(QString::fromLatin1(name));
        ASSERT_GE(at, 0) << name;
        list.add(QString::fromLatin1(name), listing.indexes[size_t(at)], listing.sizes[size_t(at)]);
    }

    ui.answers = {Answer::No, Answer::Yes};
    EXPECT_EQ(zvs450_Upload(nullptr, 0, local, list), 0);
    EXPECT_EQ(read(a), QByteArray("mine"));
    EXPECT_EQ(read(b), QByteArray("device B.MP3"));
    EXPECT_EQ(read(c), QByteArray("device C.MP3"));

    // Cancel at the first question leaves everything as it was.
    QFile::remove(c);
    ui.answers = {Answer::Cancel};
    EXPECT_EQ(zvs450_Upload(nullptr, 0, local, list), 0);
    EXPECT_EQ(read(a), QByteArray("mine"));
    EXPECT_FALSE(QFile::exists(c));
    EXPECT_EQ(ui.questions.size(), 3u);
}

} // namespace

// Without a card the player refuses the card's listing with its reason; for
// the program that is the missing medium, and the internal memory lists on.
TEST_F(EmulatedPlayer, CardRefusedForLackOfACardIsNoMedium)
{
    options.state.card = false;
    options.socketPath = dir.filePath(QStringLiteral("link")).toStdString();
    player = std::make_unique<emu::Emulator>(options);
    std::string error;
    ASSERT_TRUE(player->Start(&error)) << error;
    setenv("ZVC450_VUSB", options.socketPath.c_str(), 1);
    zvs450_Initialize();
    int count = 0;
    int mask = 0;
    zvs450_Connect(true, &count, &mask);
    Listing card;
    EXPECT_FALSE(zvs450_EnumFiles(1, card, true));
    EXPECT_EQ(ZVC450_GetError(), ZVC450USB_ERR_NODISK);
    Listing internal;
    EXPECT_TRUE(zvs450_EnumFiles(0, internal, true));
}
