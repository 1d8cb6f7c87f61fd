// Cancel through the transfer window's Cancel button (Qt, offscreen) and
// through Ctrl-C (terminal mode, no QApplication), format progress in the
// Qt window, and uploads of recordings converted to WAV.

#include "fileops_fixture.h"
#include "qt_app.h"

#include <QDialog>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

#include <csignal>
#include <thread>

#include "recording_writer.h"

using namespace fileops;
using zvc450test::QtApp;

namespace {

constexpr size_t kBig = 3u << 20;
// Slow enough that a 3 MiB transfer takes most of a second.
constexpr uint32_t kThrottle = 4000000;

// Clicks Cancel of the library's transfer window owned by owner as soon as
// it has been up for a moment.
class CancelClicker {
public:
    explicit CancelClicker(QWidget *owner)
    {
        QObject::connect(&timer_, &QTimer::timeout, [this, owner] {
            auto *dialog = owner->findChild<QDialog *>(QStringLiteral("zvc450-progress"));
            if (!dialog || ++seen_ < 5)
                return;
            if (auto *button = dialog->findChild<QPushButton *>(QStringLiteral("cancel"))) {
                button->click();
                ++clicks;
            }
        });
        timer_.start(20);
    }
    int clicks = 0;

private:
    QTimer timer_;
    int seen_ = 0;
};

// The player still answers, and the link is in step.
void ExpectPlayerAnswers(HZVC450 h, const std::string &present)
{
    Listing l;
    ASSERT_TRUE(List(h, 0, &l)) << "error " << ZVC450_GetError();
    EXPECT_GE(l.IndexOf(present), 0);
    EXPECT_TRUE(ZVC450_RetrieveFirmwareVersion(h));
    EXPECT_EQ(ZVC450_GetFirmwareVersion(), 0x14300u);
}

void Throttled(emu::EmulatorOptions &o) { o.bytesPerSecond = kThrottle; }

}  // namespace

TEST(Cancel, QtCancelButtonStopsDownloadAndUpload)
{
    QtApp qt;
    QWidget owner;
    EmuSession s("1.43", Throttled);
    TempDir local;
    WriteFile(local / "BIG.BIN", Pattern(kBig, 1));
    {
        CancelClicker clicker(&owner);
        EXPECT_FALSE(ZVC450_Download(&owner, s.h, 0, (local / "BIG.BIN").c_str()));
        EXPECT_EQ(ZVC450_GetError(), ZVS450USB_ERR_USERBREAK);
        EXPECT_EQ(clicker.clicks, 1);
    }
    EXPECT_EQ(owner.findChild<QDialog *>(QStringLiteral("zvc450-progress")), nullptr);
    ExpectPlayerAnswers(s.h, "BIG.BIN");  // the player keeps what arrived

    s.emulator->Link().bytesPerSecond = 0;
    WriteFile(local / "FULL.BIN", Pattern(kBig, 2));
    ASSERT_TRUE(ZVC450_Download(&owner, s.h, 0, (local / "FULL.BIN").c_str()));
    s.emulator->Link().bytesPerSecond = kThrottle;
    Listing l;
    ASSERT_TRUE(List(s.h, 0, &l));
    const int index = l.IndexOf("FULL.BIN");
    ASSERT_GE(index, 0);
    {
        // A cancelled copy leaves the file that was there as it was.
        CancelClicker clicker(&owner);
        const std::string dest = local / "back.bin";
        WriteFile(dest, Pattern(100, 9));
        EXPECT_FALSE(ZVC450_Upload(&owner, s.h, 0, index, dest.c_str(), "FULL.BIN", unsigned(kBig), 0));
        EXPECT_EQ(ZVC450_GetError(), ZVS450USB_ERR_USERBREAK);
        EXPECT_EQ(clicker.clicks, 1);
        EXPECT_TRUE(ReadFile(dest) == Pattern(100, 9));
        EXPECT_EQ(CountFiles(local.path(), ".zvc450-"), 0);
    }
    ExpectPlayerAnswers(s.h, "FULL.BIN");
}

namespace {
volatile sig_atomic_t g_programsInterrupts = 0;
extern "C" void CountInterrupt(int) { g_programsInterrupts = g_programsInterrupts + 1; }

// Sends SIGINT to the process after delayMs, as Ctrl-C on the terminal would.
std::thread InterruptAfter(int delayMs)
{
    return std::thread([delayMs] {
        std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
        kill(getpid(), SIGINT);
    });
}
}  // namespace

TEST(Cancel, CtrlCStopsTransfersInTerminalMode)
{
    // Our own handler stands behind the library's, so an interrupt that
    // arrives outside a transfer cannot end the test; the library passes
    // each Ctrl-C on to it as well.
    signal(SIGINT, CountInterrupt);
    EmuSession s("1.43", Throttled);
    TempDir local;
    WriteFile(local / "BIG.BIN", Pattern(kBig, 1));
    std::thread t = InterruptAfter(200);
    EXPECT_FALSE(ZVC450_Download(nullptr, s.h, 0, (local / "BIG.BIN").c_str()));
    t.join();
    EXPECT_EQ(ZVC450_GetError(), ZVS450USB_ERR_USERBREAK);
    ExpectPlayerAnswers(s.h, "BIG.BIN");

    s.emulator->Link().bytesPerSecond = 0;
    WriteFile(local / "FULL.BIN", Pattern(kBig, 2));
    ASSERT_TRUE(ZVC450_Download(nullptr, s.h, 0, (local / "FULL.BIN").c_str()));
    s.emulator->Link().bytesPerSecond = kThrottle;
    Listing l;
    ASSERT_TRUE(List(s.h, 0, &l));
    const std::string dest = local / "back.bin";
    t = InterruptAfter(200);
    EXPECT_FALSE(ZVC450_Upload(nullptr, s.h, 0, l.IndexOf("FULL.BIN"), dest.c_str(), nullptr, unsigned(kBig), 0));
    t.join();
    EXPECT_EQ(ZVC450_GetError(), ZVS450USB_ERR_USERBREAK);
    EXPECT_FALSE(Exists(dest));
    ExpectPlayerAnswers(s.h, "FULL.BIN");
    EXPECT_EQ(g_programsInterrupts, 2) << "the library never swallows the program's Ctrl-C";
    signal(SIGINT, SIG_DFL);
}

// The format window follows the player's percentage up to 100 %.
TEST(Cancel, QtFormatWindowShowsProgress)
{
    QtApp qt;
    QWidget owner;
    EmuSession s("1.43");
    s.emulator->Faults().slowMs = 40;
    QString title, percent;
    int barMax = 0, barValue = 0;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto *dialog = owner.findChild<QDialog *>(QStringLiteral("zvc450-progress"));
        if (!dialog)
            return;
        title = dialog->windowTitle();
        if (auto *bar = dialog->findChild<QProgressBar *>()) {
            barMax = bar->maximum();
            barValue = std::max(barValue, bar->value());
        }
        if (auto *label = dialog->findChild<QLabel *>(QStringLiteral("percentage")))
            percent = label->text();
    });
    poll.start(1);
    ASSERT_TRUE(ZVC450_FormatLow(&owner, s.h, 0));
    EXPECT_EQ(title, QStringLiteral("Low Level Formating..."));
    EXPECT_EQ(barMax, 100);
    EXPECT_EQ(barValue, 100);
    EXPECT_EQ(percent, QStringLiteral("100 %"));
    EXPECT_EQ(owner.findChild<QDialog *>(QStringLiteral("zvc450-progress")), nullptr);
}

// ---- Recordings --------------------------------------------------------------------

namespace {

Bytes MakeBcw(int frames)
{
    Bytes out;
    Bytes block = Pattern(256, 77);
    for (int i = 0; i < frames; ++i) {
        out.insert(out.end(), 4, 0x7F);
        block[0] = uint8_t(i);  // predictor
        block[1] = 0;
        block[2] = uint8_t(i % 60);  // step index
        block[3] = 0;
        out.insert(out.end(), block.begin(), block.end());
    }
    return out;
}

// Downloads a recording, uploads it converted, and compares the WAV with
// what the offline converter makes of the same recording.
void UploadConverted(EmuSession &s, const TempDir &local, const std::string &name, const Bytes &rec, int kind)
{
    WriteFile(local / name, rec);
    ASSERT_TRUE(ZVC450_Download(nullptr, s.h, 0, (local / name).c_str()));
    Listing l;
    ASSERT_TRUE(List(s.h, 0, &l));
    const int index = l.IndexOf(name);
    ASSERT_GE(index, 0);
    const std::string wav = local / (name + ".wav"), ref = local / (name + ".ref.wav");
    ASSERT_TRUE(ZVC450_Upload(nullptr, s.h, 0, index, wav.c_str(), name.c_str(), unsigned(rec.size()), kind))
        << "error " << ZVC450_GetError();
    const int refOk = kind == 1 ? ZVC450_ConvertBcwToWav((local / name).c_str(), ref.c_str(), nullptr, nullptr)
                                : ZVC450_ConvertBvfToWav((local / name).c_str(), ref.c_str(), nullptr, nullptr);
    ASSERT_TRUE(refOk);
    const Bytes got = ReadFile(wav);
    ASSERT_GT(got.size(), 44u);
    EXPECT_EQ(std::string(got.begin(), got.begin() + 4), "RIFF");
    EXPECT_TRUE(got == ReadFile(ref));
}

}  // namespace

TEST(Recordings, UploadConvertsAndLeavesNoTemporaryFile)
{
    EmuSession s("1.43");
    TempDir local, tmp;
    setenv("TMPDIR", tmp.path().c_str(), 1);
    UploadConverted(s, local, "VOICE001.BCW", MakeBcw(40), ZVC450_UPLOAD_BCW2WAV);
    EXPECT_EQ(CountFiles(tmp.path(), "$450"), 0);
    std::vector<int16_t> pcm(8000);
    for (size_t i = 0; i < pcm.size(); ++i)
        pcm[i] = int16_t(8000 * ((i / 20) % 2 ? 1 : -1));
    zvc450::recording::BvfWriter writer(0, true);
    for (const auto &frame : zvc450::recording::EncodeAmr(pcm, 0, false))
        ASSERT_TRUE(writer.Add(frame));
    UploadConverted(s, local, "VOICE002.BVF", writer.bytes(), ZVC450_UPLOAD_BVF2WAV);
    EXPECT_EQ(CountFiles(tmp.path(), "$450"), 0);
    // A file that is no BVF recording: the upload fails, no WAV, no temporary file.
    WriteFile(local / "NOTBVF.BVF", Pattern(3000, 5));
    ASSERT_TRUE(ZVC450_Download(nullptr, s.h, 0, (local / "NOTBVF.BVF").c_str()));
    Listing l;
    ASSERT_TRUE(List(s.h, 0, &l));
    const std::string wav = local / "bad.wav";
    EXPECT_FALSE(ZVC450_Upload(nullptr, s.h, 0, l.IndexOf("NOTBVF.BVF"), wav.c_str(), nullptr, 3000,
                               ZVC450_UPLOAD_BVF2WAV));
    EXPECT_EQ(ZVC450_GetError(), ZVC450USB_ERR_FORMAT);
    EXPECT_FALSE(Exists(wav));
    EXPECT_EQ(CountFiles(tmp.path(), "$450"), 0);
    unsetenv("TMPDIR");
}
