// LCD font and raw blocks end to end against the emulated player, and the
// font information answer byte by byte against a scripted link.

#include "fake_player.h"
#include "maint_fixture.h"

#include <sys/stat.h>

#include <cstring>

using namespace maint;

namespace {

TEST(LcdFont, DownloadDescribeUploadErase)
{
    Player p;
    const Bytes font = Noise(70000, 6);
    const std::string path = p.dir / "Gothic12.fot";
    Store(path, font);
    ASSERT_TRUE(ZVC450_DownloadFont(nullptr, p.h, path.c_str())) << "error " << ZVC450_GetError();

    // No answer follows the data; the next exchange is the player's word
    // that it has stored the font.
    ZVC450_FONTINFO info{};
    ASSERT_TRUE(ZVC450_GetFontInfo(p.h, &info)) << "error " << ZVC450_GetError();
    EXPECT_TRUE(Load(p.StateFile("font.bin")) == font);
    EXPECT_STREQ(info.szFontName, "Gothic12.fot");
    EXPECT_EQ(info.dwFontSize, font.size());

    const std::string back = p.dir / "back.fot";
    Store(back, Noise(100000, 7));  // an older, longer file is replaced
    ASSERT_TRUE(ZVC450_UploadFont(nullptr, p.h, back.c_str(), nullptr, info.dwFontSize))
        << "error " << ZVC450_GetError();
    EXPECT_TRUE(Load(back) == font);

    ASSERT_TRUE(ZVC450_EraseFont(p.h));
    info = ZVC450_FONTINFO{};
    ASSERT_TRUE(ZVC450_GetFontInfo(p.h, &info));
    EXPECT_STREQ(info.szFontName, "");
    EXPECT_EQ(info.dwFontSize, 0u);
    EXPECT_TRUE(Load(p.StateFile("font.bin")).empty());
}

// Players before 1.30 have no font area: refused before anything is sent.
TEST(LcdFont, DownloadNeedsNewerFirmware)
{
    Player p("1.20");
    const std::string path = p.dir / "a.fot";
    Store(path, Noise(600, 8));
    EXPECT_FALSE(ZVC450_DownloadFont(nullptr, p.h, path.c_str()));
    EXPECT_EQ(ZVC450_GetError(), ZVC450USB_ERR_UNSUPPORTED);
    EXPECT_FALSE(Exists(p.StateFile("font.bin")));
    EXPECT_TRUE(ZVC450_RetrieveFirmwareVersion(p.h));
}

// A refused upload leaves no local file behind, not even an older one.
TEST(LcdFont, RefusedUploadCreatesNoFile)
{
    Player p;
    p.emulator->Faults().Refuse("R", 30);
    const std::string dest = p.dir / "font.fot";
    EXPECT_FALSE(ZVC450_UploadFont(nullptr, p.h, dest.c_str(), nullptr, 1000));
    EXPECT_EQ(ZVC450_GetError(), ZVC450USB_ERR_INTERNAL);
    EXPECT_EQ(ZVC450_GetInternalError(), 30);
    EXPECT_FALSE(Exists(dest));
}

// Only a regular file is sent as a font: a FIFO without a writer would
// block its open for good, and a folder has no bytes.
TEST(LcdFont, DownloadRefusesWhatIsNoRegularFile)
{
    TempDir dir;
    const std::string fifo = dir / "pipe.fot";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const struct {
        std::string path;
        unsigned errnoValue;
    } rows[] = {{fifo, EINVAL}, {dir.path(), EISDIR}, {dir / "missing.fot", ENOENT}};
    for (const auto &row : rows) {
        zvc450test::MemoryHandle player;
        zvc450::g_lib.effectiveFw = 0x14300;
        EXPECT_FALSE(ZVC450_DownloadFont(nullptr, player.h(), row.path.c_str())) << row.path;
        EXPECT_EQ(ZVC450_GetError(), ZVC450USB_ERR_WINDOWS) << row.path;
        EXPECT_EQ(ZVC450_GetWindowsError(), row.errnoValue) << row.path;
        EXPECT_TRUE(player.link.written.empty()) << row.path;
    }
}

// The download command names the file by the last component of its path and
// gives its size high byte first.
TEST(LcdFont, DownloadCommandCarriesNameAndSize)
{
    TempDir dir;
    const std::string path = dir / "ABCDEFGH.FOT";
    Store(path, Noise(70000, 9));
    zvc450test::MemoryHandle player;
    zvc450::g_lib.effectiveFw = 0x13000;
    player.link.toRead = {zvc450test::okAnswer()};
    ASSERT_TRUE(ZVC450_DownloadFont(nullptr, player.h(), path.c_str())) << "error " << ZVC450_GetError();
    ASSERT_FALSE(player.link.written.empty());
    const Bytes &cmd = player.link.written[0];
    EXPECT_EQ(cmd[2], 2 + 16 + 2);  // "U", "W", 16 payload bytes, ":" and "."
    const std::string expected = std::string("UWABCDEFGH.FOT") + std::string("\x00\x01\x11\x70.", 5);
    EXPECT_EQ(std::string(cmd.begin() + 4, cmd.begin() + 4 + long(expected.size())), expected);
    size_t sent = 0;
    for (size_t i = 1; i < player.link.written.size(); ++i)
        sent += player.link.written[i].size();
    EXPECT_EQ(sent, 70144u);  // rounded up to whole blocks
}

// The information answer: L at bytes 1-2, the name from byte 5 (L - 7
// bytes), the size in the four bytes before "." at L + 2.
struct InfoCase {
    const char *name;
    Bytes answer;
    bool ok;
    std::string fontName;
    uint32_t size;
    int error, internal;
};

Bytes InfoAnswer(const std::string &name, uint32_t size, int lengthField = -1)
{
    Bytes body{0};
    body.insert(body.end(), name.begin(), name.end());
    for (int shift = 24; shift >= 0; shift -= 8)
        body.push_back(uint8_t(size >> shift));
    return framedAnswer(body, lengthField);
}

std::vector<InfoCase> InfoCases()
{
    const std::string longName(300, 'n');
    // A name that fills the packet: L = 510, the size in bytes 508-511 and
    // no room for the ".".
    const std::string fullName(503, 'f');
    // 259 ASCII bytes and a two-byte character that would straddle the cut.
    const std::string straddling = std::string(259, 'a') + "\xC3\xA9" + "z";
    return {
        {"EmptyName", InfoAnswer("", 0x01020304), true, "", 0x01020304, 0, 0},
        {"Name", InfoAnswer("Gothic12.fot", 70000), true, "Gothic12.fot", 70000, 0, 0},
        {"LongNameCutAt260", InfoAnswer(longName, 1234), true, longName.substr(0, 260), 1234, 0, 0},
        {"CutOnACharacterBoundary", InfoAnswer(straddling, 5), true, std::string(259, 'a'), 5, 0, 0},
        {"NameFillsThePacket", InfoAnswer(fullName, 77), true, fullName.substr(0, 260), 77, 0, 0},
        {"LengthPastThePacket", InfoAnswer("x", 1, 511), false, "", 0, ZVC450USB_ERR_INTERNAL, -1},
        {"LengthFarPastThePacket", InfoAnswer("x", 1, 0xFFFF), false, "", 0, ZVC450USB_ERR_INTERNAL, -1},
        {"LengthTooShort", framedAnswer(Bytes{0, 1, 2}), false, "", 0, ZVC450USB_ERR_USB, 0},
        {"Refused", zvc450test::refusedAnswer(30), false, "", 0, ZVC450USB_ERR_INTERNAL, 30},
    };
}

class FontInfoAnswer : public ::testing::TestWithParam<InfoCase> {};

TEST_P(FontInfoAnswer, FillsTheRecordOrFails)
{
    const InfoCase &c = GetParam();
    zvc450test::MemoryHandle player;
    zvc450::g_lib.effectiveFw = 0x14300;
    ZVC450_SetInternalError(0);
    ZVC450_SetError(0);
    player.link.toRead = {c.answer};
    ZVC450_FONTINFO info{};
    ASSERT_EQ(ZVC450_GetFontInfo(player.h(), &info) != 0, c.ok);
    ASSERT_EQ(player.link.written.size(), 1u);
    EXPECT_EQ(std::string(player.link.written[0].begin() + 4, player.link.written[0].begin() + 7), "UV.");
    if (c.ok) {
        EXPECT_EQ(std::string(info.szFontName), c.fontName);
        EXPECT_EQ(info.dwFontSize, c.size);
    } else {
        EXPECT_EQ(ZVC450_GetError(), c.error);
        if (c.error == ZVC450USB_ERR_INTERNAL) {
            EXPECT_EQ(ZVC450_GetInternalError(), c.internal);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Answers, FontInfoAnswer, ::testing::ValuesIn(InfoCases()),
                         [](const auto &test) { return std::string(test.param.name); });

// Players before 1.30 frame every answer with a one-byte length: L is byte 2
// alone, byte 1 holds whatever their buffer held.  So does the information
// answer, whose name is therefore at most 248 bytes (L = 255).
TEST(LcdFont, InformationOfOlderFirmwareHasAOneByteLength)
{
    for (const std::string &name : {std::string(), std::string("Small.fot"), std::string(248, 'n')}) {
        Bytes answer = InfoAnswer(name, 4242);
        answer[1] = 0xAB;
        zvc450test::MemoryHandle player;
        zvc450::g_lib.effectiveFw = 0x12500;
        player.link.toRead = {answer};
        ZVC450_FONTINFO info{};
        ASSERT_TRUE(ZVC450_GetFontInfo(player.h(), &info)) << name.size() << ": error " << ZVC450_GetError();
        EXPECT_EQ(std::string(info.szFontName), name);
        EXPECT_EQ(info.dwFontSize, 4242u);
    }
}

// Blocks 2 to 4 of the internal memory are bytes 32768 to 81919 of its image.
TEST(RawBlocks, BlocksAreTheMemoryImageBytes)
{
    Player p;
    // Put something other than an empty file system into those blocks.
    const std::string music = p.dir / "SONG.MP3";
    Store(music, Noise(200000, 10));
    ASSERT_TRUE(ZVC450_Download(nullptr, p.h, 0, music.c_str())) << "error " << ZVC450_GetError();

    const std::string dest = p.dir / "raw.dat";
    ASSERT_TRUE(ZVC450_UploadRawData(nullptr, p.h, 0, 2, 3, dest.c_str(), nullptr, 3 * 16384))
        << "error " << ZVC450_GetError();
    const Bytes image = Load(p.StateFile("internal.img"));
    ASSERT_GE(image.size(), 81920u);
    EXPECT_TRUE(Load(dest) == Bytes(image.begin() + 32768, image.begin() + 81920));
}

TEST(RawBlocks, RangesThePlayerCannotServe)
{
    Player p;
    const std::string dest = p.dir / "raw.dat";
    Store(dest, Noise(10, 11));
    // 8 MiB are 512 blocks: the player refuses a range past its end.
    EXPECT_FALSE(ZVC450_UploadRawData(nullptr, p.h, 0, 510, 3, dest.c_str(), nullptr, 3 * 16384));
    EXPECT_EQ(ZVC450_GetError(), ZVC450USB_ERR_INTERNAL);
    EXPECT_NE(ZVC450_GetInternalError(), 0);
    EXPECT_TRUE(Load(dest) == Noise(10, 11)) << "a refused range leaves the local file alone";

    // An end beyond the 16-bit block numbers would name other blocks; a
    // memory other than the two has no raw blocks.  The library refuses
    // both itself: never dressed as the player's refusal.
    ZVC450_SetInternalError(0);
    EXPECT_FALSE(ZVC450_UploadRawData(nullptr, p.h, 0, 0xFFF0, 0x20, dest.c_str(), nullptr, 0x20 * 16384));
    EXPECT_EQ(ZVC450_GetError(), ZVC450USB_ERR_UNSUPPORTED);
    EXPECT_FALSE(ZVC450_UploadRawData(nullptr, p.h, 2, 0, 1, dest.c_str(), nullptr, 16384));
    EXPECT_EQ(ZVC450_GetError(), ZVC450USB_ERR_UNSUPPORTED);
    EXPECT_TRUE(Load(dest) == Noise(10, 11));
    EXPECT_TRUE(ZVC450_RetrieveFirmwareVersion(p.h));
}

}  // namespace
