// The maintenance operations in the library's Qt windows (offscreen): the
// captions and texts the user sees, Cancel that cannot stop an upgrade, and
// Cancel that stops a font upload without leaving a file.

#include "fake_player.h"
#include "maint_fixture.h"
#include "qt_app.h"

#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include <functional>
#include <set>

using namespace maint;
using zvc450test::QtApp;

namespace {

// Watches the library's window under owner whenever the operation pumps
// events: records "caption | status | percentage" and, when asked, presses
// Cancel every time.
class Watcher {
public:
    Watcher(QWidget *owner, bool pressCancel)
    {
        QObject::connect(&timer_, &QTimer::timeout, [this, owner, pressCancel] {
            auto *dialog = owner->findChild<QDialog *>(QStringLiteral("zvc450-progress"));
            if (!dialog)
                return;
            const auto *status = dialog->findChild<QLabel *>(QStringLiteral("status"));
            const auto *percent = dialog->findChild<QLabel *>(QStringLiteral("percentage"));
            seen.insert(dialog->windowTitle().toStdString() + " | " +
                        (status ? status->toolTip().toStdString() : "?") + " | " +
                        (percent ? percent->text().toStdString() : "?"));
            if (pressCancel)
                if (auto *button = dialog->findChild<QPushButton *>(QStringLiteral("cancel"))) {
                    button->click();
                    ++clicks;
                }
        });
        timer_.start(0);
    }
    bool Saw(const std::string &line) const { return seen.count(line) != 0; }
    std::string All() const
    {
        std::string s;
        for (const std::string &line : seen)
            s += line + "\n";
        return s;
    }
    std::set<std::string> seen;
    int clicks = 0;

private:
    QTimer timer_;
};

struct WindowCase {
    const char *name;
    bool boot;
    bool eraseProgress;
    std::vector<std::string> lines;  // must all have been shown
};

class UpgradeWindows : public ::testing::TestWithParam<WindowCase> {};

// Cancel is pressed whenever the window pumps; the upgrade still completes.
TEST_P(UpgradeWindows, ShowTheirTextsAndIgnoreCancel)
{
    const WindowCase &c = GetParam();
    QtApp qt;
    QWidget owner;
    Player p("1.43", [&](emu::EmulatorOptions &o) { o.firmware.eraseProgress = c.eraseProgress; });
    const Bytes image = Noise(c.boot ? 8192 : 40000, 12);
    Store(p.dir / "image.bin", image);
    Watcher watcher(&owner, true);
    ASSERT_TRUE(ZVC450_UpgradeFirmware(&owner, p.h, c.boot, 0, (p.dir / "image.bin").c_str(), "chosen.hex"))
        << "error " << ZVC450_GetError() << "\n" << watcher.All();
    EXPECT_GT(watcher.clicks, 0);
    Bytes stored = Load(p.StateFile(c.boot ? "boot.bin" : "app.bin"));
    stored.resize(image.size());
    EXPECT_TRUE(stored == image);
    for (const std::string &line : c.lines)
        EXPECT_TRUE(watcher.Saw(line)) << line << " not among\n" << watcher.All();
    EXPECT_EQ(owner.findChild<QDialog *>(QStringLiteral("zvc450-progress")), nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    Areas, UpgradeWindows,
    ::testing::Values(
        WindowCase{"Boot", true, true,
                   {"Boot Code Upgrade |  |  0 %", "Boot Code Upgrade | Boot Area Erasing... |  0 %",
                    "Boot Code Upgrade | chosen.hex |  0 %"}},
        WindowCase{"Codec", false, true,
                   {"Codec Upgrade | Codec Area Erasing... |  0 %", "Codec Upgrade | chosen.hex |  0 %"}},
        WindowCase{"CodecWithoutEraseProgress", false, false,
                   {"Codec Upgrade | Codec Area Erasing... | Wait about 20 seconds....",
                    "Codec Upgrade | chosen.hex |  0 %"}}),
    [](const auto &test) { return std::string(test.param.name); });

// A font upload cancelled half-way: no local file, the player still answers.
TEST(FontWindow, CancelledUploadLeavesNoFile)
{
    QtApp qt;
    QWidget owner;
    Player p("1.43", [](emu::EmulatorOptions &o) { o.bytesPerSecond = 4000000; });
    const Bytes font = Noise(3u << 20, 13);
    const std::string path = p.dir / "big.fot";
    Store(path, font);
    p.emulator->Link().bytesPerSecond = 0;
    ASSERT_TRUE(ZVC450_DownloadFont(&owner, p.h, path.c_str())) << "error " << ZVC450_GetError();
    p.emulator->Link().bytesPerSecond = 4000000;

    const std::string dest = p.dir / "back.fot";
    {
        Watcher watcher(&owner, true);
        EXPECT_FALSE(ZVC450_UploadFont(&owner, p.h, dest.c_str(), nullptr, unsigned(font.size())));
        EXPECT_EQ(ZVC450_GetError(), ZVS450USB_ERR_USERBREAK);
        EXPECT_TRUE(watcher.Saw("Font Uploading... | " + dest + " |  0 %")) << watcher.All();
    }
    EXPECT_FALSE(Exists(dest));
    ZVC450_FONTINFO info{};
    ASSERT_TRUE(ZVC450_GetFontInfo(p.h, &info)) << "error " << ZVC450_GetError();
    EXPECT_EQ(info.dwFontSize, font.size());
}

// Every library window closes when its operation ends, on each way out: a
// refusal, a link that falls silent, a write that fails half-way.
TEST(Windows, CloseOnEveryWayOut)
{
    QtApp qt;
    QWidget owner;
    TempDir dir;
    const std::string image = dir / "image.bin";
    Store(image, Noise(4096, 21));
    using zvc450test::okAnswer;
    using zvc450test::refusedAnswer;
    struct Row {
        const char *what;
        unsigned firmware;
        std::vector<Bytes> answers;
        int failWritesAfter;
        std::function<int(HZVC450)> run;
    } rows[] = {
        {"delete refused", 0x14300, {refusedAnswer(5)}, -1,
         [&](HZVC450 h) { return ZVC450_Delete(&owner, h, 0, 3, "A.MP3"); }},
        {"format silent", 0x11000, {}, -1, [&](HZVC450 h) { return ZVC450_Format(&owner, h, 0); }},
        {"format refused half-way", 0x14300, {okAnswer({40}), refusedAnswer(9)}, -1,
         [&](HZVC450 h) { return ZVC450_FormatLow(&owner, h, 1); }},
        {"erase refused", 0x14300, {okAnswer(), refusedAnswer(35)}, -1,
         [&](HZVC450 h) { return ZVC450_UpgradeFirmware(&owner, h, 0, 0, image.c_str(), nullptr); }},
        {"flash write cut", 0x14300, {okAnswer(), okAnswer(), okAnswer(), okAnswer()}, 5,
         [&](HZVC450 h) { return ZVC450_UpgradeFirmware(&owner, h, 0, 0, image.c_str(), nullptr); }},
        {"download cut", 0x14300, {okAnswer({0, 7})}, 1,
         [&](HZVC450 h) { return ZVC450_Download(&owner, h, 0, image.c_str()); }},
        {"upload silent", 0x14300, {okAnswer(), okAnswer()}, -1,
         [&](HZVC450 h) { return ZVC450_Upload(&owner, h, 0, 2, (dir / "up.bin").c_str(), nullptr, 9000, 0); }},
    };
    for (const Row &row : rows) {
        zvc450test::MemoryHandle player;
        zvc450::g_lib.effectiveFw = row.firmware;
        player.link.toRead.assign(row.answers.begin(), row.answers.end());
        player.link.failWritesAfter = row.failWritesAfter;
        EXPECT_FALSE(row.run(player.h())) << row.what;
        EXPECT_TRUE(owner.findChildren<QDialog *>().isEmpty()) << row.what << ": a window stayed open";
    }
}

}  // namespace
