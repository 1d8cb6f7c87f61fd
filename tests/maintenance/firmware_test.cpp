// Firmware upgrade end to end against the emulated player: what ends up in
// its code areas, the erase variants, and the refusals that must happen
// before the player hears anything.

#include "fake_player.h"
#include "maint_fixture.h"

#include <fcntl.h>

using namespace maint;

namespace {

enum Area { kApplication = 0, kBoot = 1 };

// An application image of 1000 bytes is two blocks; the second carries 488
// image bytes and 24 zeros, and the code area holds exactly that.
struct EraseCase {
    const char *name;
    bool progress;  // the player announces its erase steps
    int steps;      // -1: the emulator's own count
};

class UpgradeErase : public ::testing::TestWithParam<EraseCase> {};

TEST_P(UpgradeErase, ApplicationImageLandsPaddedInTheCodeArea)
{
    const EraseCase c = GetParam();
    // The area holds older, longer code: the upgrade must erase it.
    Player p("1.43", [&](emu::EmulatorOptions &o) {
        o.firmware.eraseProgress = c.progress;
        o.firmware.eraseSteps = c.steps;
        std::filesystem::create_directories(o.state.folder);
        Store(o.state.folder + "/app.bin", Noise(4096, 1));
    });
    const Bytes image = Noise(1000, 2);
    Store(p.dir / "codec.bin", image);

    ASSERT_TRUE(ZVC450_UpgradeFirmware(nullptr, p.h, kApplication, 0, (p.dir / "codec.bin").c_str(), "codec.hex"))
        << "error " << ZVC450_GetError() << "/" << ZVC450_GetInternalError();
    Bytes expected = image;
    expected.resize(1024, 0);
    EXPECT_TRUE(Load(p.StateFile("app.bin")) == expected);
    EXPECT_TRUE(Load(p.StateFile("boot.bin")).empty()) << "the other area is not touched";
    // The link is in step afterwards.
    EXPECT_TRUE(ZVC450_RetrieveFirmwareVersion(p.h));
}

INSTANTIATE_TEST_SUITE_P(Erase, UpgradeErase,
                         ::testing::Values(EraseCase{"SixteenSteps", true, -1}, EraseCase{"NoSteps", true, 0},
                                           EraseCase{"PlainAnswerFallback", false, -1}),
                         [](const auto &test) { return std::string(test.param.name); });

TEST(FirmwareUpgrade, BootImageOfExactly8192BytesIsSixteenBlocks)
{
    Player p;
    const Bytes image = Noise(8192, 3);
    Store(p.dir / "boot.bin", image);
    ASSERT_TRUE(ZVC450_UpgradeFirmware(nullptr, p.h, kBoot, 0, (p.dir / "boot.bin").c_str(), nullptr))
        << "error " << ZVC450_GetError();
    EXPECT_TRUE(Load(p.StateFile("boot.bin")) == image);
}

// Single-ROM players refuse the selection; the upgrade goes on regardless.
TEST(FirmwareUpgrade, RefusedRomSelectionIsIgnored)
{
    Player p;
    p.emulator->Faults().Refuse("O", ZVC450INT_ERR_INVALID_PARAM);
    const Bytes image = Noise(512 * 3, 4);
    Store(p.dir / "codec.bin", image);
    ASSERT_TRUE(ZVC450_UpgradeFirmware(nullptr, p.h, kApplication, 2, (p.dir / "codec.bin").c_str(), nullptr))
        << "error " << ZVC450_GetError();
    EXPECT_TRUE(Load(p.StateFile("app.bin")) == image);
}

// A refused erase or write fails with the player's reason.
TEST(FirmwareUpgrade, RefusedEraseOrWriteFailsWithThePlayersCode)
{
    Player p;
    Store(p.dir / "codec.bin", Noise(700, 5));
    const std::string image = p.dir / "codec.bin";

    p.emulator->Faults().Refuse("\x03", ZVC450INT_ERR_INVALID_PARAM);
    EXPECT_FALSE(ZVC450_UpgradeFirmware(nullptr, p.h, kApplication, 0, image.c_str(), nullptr));
    EXPECT_EQ(ZVC450_GetError(), ZVC450USB_ERR_INTERNAL);
    EXPECT_EQ(ZVC450_GetInternalError(), ZVC450INT_ERR_INVALID_PARAM);

    p.emulator->Faults().ClearRefusals();
    p.emulator->Faults().Refuse("\x01", 35);
    EXPECT_FALSE(ZVC450_UpgradeFirmware(nullptr, p.h, kApplication, 0, image.c_str(), nullptr));
    EXPECT_EQ(ZVC450_GetError(), ZVC450USB_ERR_INTERNAL);
    EXPECT_EQ(ZVC450_GetInternalError(), 35);
    EXPECT_TRUE(Load(p.StateFile("app.bin")).empty()) << "erased, never written";
    EXPECT_TRUE(ZVC450_RetrieveFirmwareVersion(p.h));
}

// An image that cannot be read any more in the middle of the write (here it
// shrinks under the library) fails with the system error, and the player is
// told to abort: it leaves the write, so that the next upgrade finds it
// listening for commands instead of taking them for more code.  Nothing that
// was not read from the image is ever sent as code.
TEST(FirmwareUpgrade, ImageUnreadableMidWriteFailsWithTheSystemErrorAndStopsThePlayer)
{
    TempDir dir;
    const std::string path = dir / "codec.bin";
    Store(path, Noise(512 * 10, 6));
    zvc450test::MemoryHandle player;
    zvc450::g_lib.effectiveFw = 0x14300;
    // ROM selection, erase (a plain success: erase without progress), its
    // outcome, the write command.
    player.link.toRead = {zvc450test::okAnswer(), zvc450test::okAnswer(), zvc450test::okAnswer(),
                          zvc450test::okAnswer()};
    constexpr size_t kCommands = 4;
    player.link.onWrite = [&](const Bytes &) {
        if (player.link.written.size() == kCommands + 3) {
            ASSERT_EQ(::truncate(path.c_str(), 512 * 3), 0);
        }
    };
    EXPECT_FALSE(ZVC450_UpgradeFirmware(nullptr, player.h(), kApplication, 0, path.c_str(), nullptr));
    EXPECT_EQ(ZVC450_GetError(), ZVC450USB_ERR_WINDOWS);
    EXPECT_EQ(ZVC450_GetWindowsError(), unsigned(ENODATA));
    EXPECT_EQ(player.link.controlRequests, 1) << "the abort request";
    EXPECT_EQ(player.link.written.size(), kCommands + 3) << "no block after the unreadable one";
}

// Images the flash cannot take, and files that are not images, are refused
// before a single byte goes to the player.
struct RefusedImage {
    const char *name;
    int area;
    off_t size;       // -1: no such file, -2: a folder, -3: a FIFO (opening it would block)
    unsigned errnoValue;
};

class UpgradeRefusal : public ::testing::TestWithParam<RefusedImage> {};

TEST_P(UpgradeRefusal, NothingIsSent)
{
    const RefusedImage c = GetParam();
    TempDir dir;
    std::string path = dir / "image.bin";
    if (c.size == -2) {
        path = dir.path();
    } else if (c.size == -3) {
        ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
    } else if (c.size >= 0) {
        // Sparse: a 32 MiB image costs nothing.
        const int fd = ::open(path.c_str(), O_CREAT | O_WRONLY, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(ftruncate(fd, c.size), 0);
        ::close(fd);
    }
    zvc450test::MemoryHandle player;
    zvc450::g_lib.effectiveFw = 0x14300;
    EXPECT_FALSE(ZVC450_UpgradeFirmware(nullptr, player.h(), c.area, 0, path.c_str(), nullptr));
    EXPECT_EQ(ZVC450_GetError(), ZVC450USB_ERR_WINDOWS);
    EXPECT_EQ(ZVC450_GetWindowsError(), c.errnoValue);
    EXPECT_TRUE(player.link.written.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, UpgradeRefusal,
    ::testing::Values(RefusedImage{"Boot8193", kBoot, 8193, EFBIG}, RefusedImage{"BootEmpty", kBoot, 0, EFBIG},
                      RefusedImage{"ApplicationEmpty", kApplication, 0, EFBIG},
                      RefusedImage{"Application65536Blocks", kApplication, 65535 * 512 + 1, EFBIG},
                      RefusedImage{"Missing", kApplication, -1, ENOENT},
                      RefusedImage{"Folder", kApplication, -2, EISDIR},
                      RefusedImage{"Fifo", kApplication, -3, EINVAL}),
    [](const auto &test) { return std::string(test.param.name); });

// The largest image the block count can carry is announced as 65535 blocks.
TEST(FirmwareUpgrade, LargestImageAnnouncesAllBlocks)
{
    TempDir dir;
    const std::string path = dir / "image.bin";
    const int fd = ::open(path.c_str(), O_CREAT | O_WRONLY, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(ftruncate(fd, 65535 * 512), 0);
    ::close(fd);
    zvc450test::MemoryHandle player;
    zvc450::g_lib.effectiveFw = 0x14300;
    // Selection, erase answered plainly, erase without progress, write refused.
    using zvc450test::Bytes;
    player.link.toRead = {zvc450test::okAnswer(), zvc450test::okAnswer(), zvc450test::okAnswer(),
                          zvc450test::refusedAnswer(35)};
    EXPECT_FALSE(ZVC450_UpgradeFirmware(nullptr, player.h(), kApplication, 7, path.c_str(), nullptr));
    EXPECT_EQ(ZVC450_GetInternalError(), 35);
    const std::vector<Bytes> &out = player.link.written;
    ASSERT_EQ(out.size(), 4u);
    auto body = [](const Bytes &packet, size_t n) { return Bytes(packet.begin() + 4, packet.begin() + 4 + long(n)); };
    EXPECT_EQ(body(out[0], 5), (Bytes{'G', 'O', 0x10, 7, '.'}));
    EXPECT_EQ(body(out[1], 4), (Bytes{'C', 0x03, 'P', '.'}));
    EXPECT_EQ(body(out[2], 4), (Bytes{'C', 0x02, 'P', '.'}));
    EXPECT_EQ(body(out[3], 6), (Bytes{'C', 0x01, 'P', 0xFF, 0xFF, '.'}));
}

}  // namespace
