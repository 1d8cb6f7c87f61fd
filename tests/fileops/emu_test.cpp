// End to end against the emulated player, once per firmware generation that
// changes the protocol: transfers in both directions with the bytes checked
// by the library and by mtools, listings, names, the file and directory
// commands, format, and the faults a user meets (player full, unplugged).

#include "fileops_fixture.h"

#include <cstdio>

using namespace fileops;

namespace {

struct Generation {
    const char *text;
    unsigned number;
};

const Generation kGenerations[] = {
    {"1.1", 0x11000}, {"1.20", 0x12000}, {"1.25", 0x12500},
    {"1.30", 0x13000}, {"1.42", 0x14200}, {"1.43", 0x14300},
};

class EmuTest : public ::testing::TestWithParam<Generation> {
protected:
    unsigned fw() const { return GetParam().number; }
    bool wide() const { return fw() >= 0x13000; }
    bool dirs() const { return fw() >= 0x14300; }
};

std::string GenName(const ::testing::TestParamInfo<Generation> &info)
{
    std::string s = std::string("v") + info.param.text;
    for (char &c : s)
        if (c == '.')
            c = '_';
    return s;
}

}  // namespace

// Download then upload: the same bytes come back, the listing knows the
// size, and mtools reads the same bytes from the player's image.
TEST_P(EmuTest, RoundTripKeepsEveryByte)
{
    const size_t sizes[] = {0, 1, 63, 64, 500, 511, 512, 513, 16383, 16384, 16385,
                            (1u << 20) + 7, (3u << 20) + 500};
    EmuSession s(GetParam().text);
    ASSERT_EQ(ZVC450_GetFirmwareVersion(), fw());
    TempDir local;
    for (size_t size : sizes) {
        char name[16];
        std::snprintf(name, sizeof name, "R%07zu.BIN", size);
        const Bytes content = Pattern(size, uint32_t(size));
        WriteFile(local / name, content);
        ASSERT_TRUE(ZVC450_Download(nullptr, s.h, 0, (local / name).c_str()))
            << name << ": error " << ZVC450_GetError();
    }
    Listing l;
    ASSERT_TRUE(List(s.h, 0, &l));
    EXPECT_EQ(l.summary.dwFileCount, std::size(sizes));
    for (size_t size : sizes) {
        char name[16];
        std::snprintf(name, sizeof name, "R%07zu.BIN", size);
        SCOPED_TRACE(name);
        const int index = l.IndexOf(name);
        ASSERT_GE(index, 0);
        EXPECT_EQ(l.files[size_t(index)].dwSize, size);
        const std::string back = local / (std::string(name) + ".up");
        ASSERT_TRUE(ZVC450_Upload(nullptr, s.h, 0, index, back.c_str(), name, unsigned(size), 0))
            << "error " << ZVC450_GetError();
        EXPECT_TRUE(ReadFile(back) == Pattern(size, uint32_t(size)));
    }
    // mtools reads the same bytes from the player's image.
    TempDir viaMtools;
    ASSERT_EQ(RunTool("mcopy -n -i '" + s.Internal() + "' '::R*.BIN' '" + viaMtools.path() + "/'"), 0);
    for (size_t size : sizes) {
        char name[16];
        std::snprintf(name, sizeof name, "R%07zu.BIN", size);
        EXPECT_TRUE(ReadFile(viaMtools / name) == Pattern(size, uint32_t(size))) << name;
        EXPECT_TRUE(Exists(viaMtools / name)) << name;
    }
}

// Long and UTF-8 names survive the trip on firmware that takes entry sets;
// older firmware stores the 8.3 form.
TEST_P(EmuTest, NamesAsTheListingShowsThem)
{
    EmuSession s(GetParam().text);
    TempDir local;
    struct Row {
        const char *pcName;
        const char *newer;  // listed name from 1.30 on
        const char *older;  // listed name before 1.30
    };
    const Row rows[] = {
        {"MUSIC.MP3", "MUSIC.MP3", "MUSIC.MP3"},
        {"readme.txt", "readme.txt", "README.TXT"},
        {"A rather long file name that needs several slots.mp3",
         "A rather long file name that needs several slots.mp3", "ARATHERL.MP3"},
        {"Grüße aus Köln – 日本語.wav", "Grüße aus Köln – 日本語.wav", nullptr},
    };
    for (const Row &r : rows) {
        if (!wide() && !r.older)
            continue;
        WriteFile(local / r.pcName, Pattern(100, 1));
        ASSERT_TRUE(ZVC450_Download(nullptr, s.h, 0, (local / r.pcName).c_str())) << r.pcName;
    }
    Listing l;
    ASSERT_TRUE(List(s.h, 0, &l));
    for (const Row &r : rows) {
        const char *expected = wide() ? r.newer : r.older;
        if (expected) {
            EXPECT_GE(l.IndexOf(expected), 0) << expected;
        }
    }
    if (wide()) {
        const int i = l.IndexOf("A rather long file name that needs several slots.mp3");
        ASSERT_GE(i, 0);
        EXPECT_EQ(l.files[size_t(i)].bLongNameStatus, 0);
        Bytes viaMtools;
        EXPECT_TRUE(MtoolsRead(s.Internal(), "A rather long file name that needs several slots.mp3", &viaMtools));
        EXPECT_TRUE(viaMtools == Pattern(100, 1));
    }
}

// Files, directories and the current path on 1.43; older firmware refuses
// the directory commands without sending anything.
TEST_P(EmuTest, DirectoryWithMoreFilesThanTheRootHolds)
{
    EmuSession s(GetParam().text);
    char path[300];
    ASSERT_TRUE(ZVC450_GetCurrentDirectory(s.h, 0, path, sizeof path));
    EXPECT_STREQ(path, "/");
    if (!dirs()) {
        EXPECT_FALSE(ZVC450_MakeDirectory(s.h, 0, "Sub"));
        EXPECT_EQ(ZVC450_GetError(), ZVC450USB_ERR_UNSUPPORTED);
        EXPECT_FALSE(ZVC450_ChangeDirectory(s.h, 0, 2));
        EXPECT_EQ(ZVC450_GetError(), ZVC450USB_ERR_UNSUPPORTED);
        // The link is still in step.
        Listing l;
        EXPECT_TRUE(List(s.h, 0, &l));
        return;
    }
    const std::string dirName = "Lots of Recordings – Übersicht";
    ASSERT_TRUE(ZVC450_MakeDirectory(s.h, 0, dirName.c_str())) << ZVC450_GetError();
    Listing root;
    ASSERT_TRUE(List(s.h, 0, &root));
    const ZVC450_DIRENTRY *d = root.Dir(dirName);
    ASSERT_NE(d, nullptr);
    ASSERT_TRUE(ZVC450_ChangeDirectory(s.h, 0, d->dwFirstCluster & 0xFFFF));
    ASSERT_TRUE(ZVC450_GetCurrentDirectory(s.h, 0, path, sizeof path));
    EXPECT_EQ(std::string(path), "/" + dirName);

    // More entries than a FAT16 root directory could hold: mtools fills the
    // directory while the player is unplugged (the player's own file
    // creation is covered above), the library adds a few more.
    constexpr int kCopied = 527, kFiles = kCopied + 3;
    TempDir local;
    ::mkdir((local / "batch").c_str(), 0755);
    for (int i = 0; i < kFiles; ++i) {
        char name[64];
        std::snprintf(name, sizeof name, "%03d track of the long list.mp3", i);
        WriteFile(local / (i < kCopied ? "batch/" : "") + name, Bytes(size_t(i % 3), uint8_t(i)));
    }
    s.Restart([&] {
        ASSERT_EQ(RunTool("mcopy -i '" + s.Internal() + "' '" + local.path() + "/batch/'* '::/" + dirName + "/'"), 0);
    });
    ASSERT_TRUE(ZVC450_ChangeDirectory(s.h, 0, d->dwFirstCluster & 0xFFFF));
    for (int i = kCopied; i < kFiles; ++i) {
        char name[64];
        std::snprintf(name, sizeof name, "%03d track of the long list.mp3", i);
        ASSERT_TRUE(ZVC450_Download(nullptr, s.h, 0, (local / name).c_str())) << name;
    }
    Listing l;
    ASSERT_TRUE(List(s.h, 0, &l));
    EXPECT_EQ(l.summary.dwFilesFound, unsigned(kFiles));
    ASSERT_EQ(l.files.size(), size_t(kFiles));
    for (int i = 0; i < kFiles; i += 37) {
        char name[64];
        std::snprintf(name, sizeof name, "%03d track of the long list.mp3", i);
        const int at = l.IndexOf(name);
        ASSERT_GE(at, 0) << name;
        EXPECT_EQ(l.files[size_t(at)].dwSize, unsigned(i % 3));
    }
    // "." and ".." are listed as directories; ".." leads back to the root.
    const ZVC450_DIRENTRY *up = l.Dir("..");
    ASSERT_NE(up, nullptr);
    ASSERT_TRUE(ZVC450_ChangeDirectory(s.h, 0, up->dwFirstCluster & 0xFFFF));
    ASSERT_TRUE(ZVC450_GetCurrentDirectory(s.h, 0, path, sizeof path));
    EXPECT_STREQ(path, "/");

    // Rename the directory, then remove it (refused while it holds files).
    ASSERT_TRUE(ZVC450_RenameDirectory(s.h, 0, "RENAMED", d));
    ASSERT_TRUE(List(s.h, 0, &root));
    const ZVC450_DIRENTRY *renamed = root.Dir("RENAMED");
    ASSERT_NE(renamed, nullptr);
    EXPECT_EQ(renamed->dwFirstCluster, d->dwFirstCluster);
    EXPECT_FALSE(ZVC450_RemoveDirectory(s.h, 0, renamed->dwFirstCluster & 0xFFFF));
    EXPECT_EQ(ZVC450_GetError(), ZVC450USB_ERR_INTERNAL);
    ASSERT_TRUE(ZVC450_MakeDirectory(s.h, 0, "EMPTY"));
    ASSERT_TRUE(List(s.h, 0, &root));
    ASSERT_NE(root.Dir("EMPTY"), nullptr);
    EXPECT_TRUE(ZVC450_RemoveDirectory(s.h, 0, root.Dir("EMPTY")->dwFirstCluster & 0xFFFF));
    EXPECT_EQ(RunTool("fsck.fat -n '" + s.Internal() + "'"), 0);
}

// Replace, rename and delete address files by their index in the listing.
TEST_P(EmuTest, ReplaceRenameDelete)
{
    EmuSession s(GetParam().text);
    TempDir local;
    for (const char *n : {"ONE.MP3", "TWO.MP3", "THREE.MP3"}) {
        WriteFile(local / n, Pattern(700, 2));
        ASSERT_TRUE(ZVC450_Download(nullptr, s.h, 0, (local / n).c_str()));
    }
    Listing l;
    ASSERT_TRUE(List(s.h, 0, &l));
    ASSERT_EQ(l.IndexOf("ONE.MP3"), 0);
    ASSERT_EQ(l.IndexOf("TWO.MP3"), 1);
    ASSERT_TRUE(ZVC450_Replace(s.h, 0, 0, 1));
    ASSERT_TRUE(List(s.h, 0, &l));
    EXPECT_EQ(l.IndexOf("TWO.MP3"), 0);
    EXPECT_EQ(l.IndexOf("ONE.MP3"), 1);

    const int three = l.IndexOf("THREE.MP3");
    const ZVC450_DIRENTRY old = l.files[size_t(three)];
    const char *newName = wide() ? "Drei – the third.mp3" : "DREI.MP3";
    ASSERT_TRUE(ZVC450_Rename(s.h, 0, three, newName, &old)) << ZVC450_GetError();
    ASSERT_TRUE(List(s.h, 0, &l));
    const int renamed = l.IndexOf(newName);
    ASSERT_GE(renamed, 0);
    EXPECT_EQ(l.files[size_t(renamed)].dwSize, 700u);
    EXPECT_EQ(l.files[size_t(renamed)].dwFirstCluster, old.dwFirstCluster);
    Bytes content;
    ASSERT_TRUE(MtoolsRead(s.Internal(), wide() ? newName : "DREI.MP3", &content));
    EXPECT_TRUE(content == Pattern(700, 2));

    ASSERT_TRUE(ZVC450_Delete(nullptr, s.h, 0, l.IndexOf("TWO.MP3"), "TWO.MP3"));
    ASSERT_TRUE(List(s.h, 0, &l));
    EXPECT_EQ(l.files.size(), 2u);
    EXPECT_LT(l.IndexOf("TWO.MP3"), 0);
    // A file that is not there is the player's refusal (20).
    EXPECT_FALSE(ZVC450_Delete(nullptr, s.h, 0, 40, "none"));
    EXPECT_EQ(ZVC450_GetError(), ZVC450USB_ERR_INTERNAL);
    EXPECT_EQ(ZVC450_GetInternalError(), ZVC450INT_ERR_FILE_NOT_EXIST);
    EXPECT_EQ(RunTool("fsck.fat -n '" + s.Internal() + "'"), 0);
}

// Format (with progress answers from 1.20 on) empties the memory; medium
// information exists from 1.42 on.
TEST_P(EmuTest, FormatAndMediumInformation)
{
    EmuSession s(GetParam().text);
    TempDir local;
    WriteFile(local / "A.BIN", Pattern(40000, 3));
    ASSERT_TRUE(ZVC450_Download(nullptr, s.h, 0, (local / "A.BIN").c_str()));

    ZVC450_MEDIUMINFO info{};
    if (fw() >= 0x14200) {
        ASSERT_TRUE(ZVC450_GetMediumInfo(s.h, 0, &info));
        EXPECT_EQ(+info.wTotalFileCount, 1);
        EXPECT_EQ(+info.wBytesPerSector, 512);
        EXPECT_EQ(+info.bSectorsPerCluster, 32);
        EXPECT_EQ(+info.bFATType, 1);  // 8 MiB is FAT12
        EXPECT_EQ(+info.bMediumType, 1);
        EXPECT_GE(+info.wUsedBlockCount, 3);
    } else {
        EXPECT_FALSE(ZVC450_GetMediumInfo(s.h, 0, &info));
        EXPECT_EQ(ZVC450_GetError(), ZVC450USB_ERR_UNSUPPORTED);
    }

    ZVC450_SetError(ZVC450USB_ERR_USB);
    ASSERT_TRUE(ZVC450_Format(nullptr, s.h, 0));
    EXPECT_EQ(ZVC450_GetError(), 0);
    Listing l;
    ASSERT_TRUE(List(s.h, 0, &l));
    EXPECT_EQ(l.files.size(), 0u);
    EXPECT_GT(l.summary.dwTotalBlocks, 0u);

    ASSERT_TRUE(ZVC450_Download(nullptr, s.h, 1, (local / "A.BIN").c_str()));
    ASSERT_TRUE(ZVC450_FormatLow(nullptr, s.h, 1));
    ASSERT_TRUE(List(s.h, 1, &l));
    EXPECT_EQ(l.files.size(), 0u);
    EXPECT_EQ(RunTool("fsck.fat -n '" + s.Internal() + "'"), 0);
}

INSTANTIATE_TEST_SUITE_P(Generations, EmuTest, ::testing::ValuesIn(kGenerations), GenName);

// ---- Faults -------------------------------------------------------------------------

// A full player refuses the announcement with its code 25: "disk full".
TEST(EmuFaults, PlayerFullIsDiskFull)
{
    for (const char *version : {"1.25", "1.43"}) {
        EmuSession s(version);
        TempDir local;
        WriteFile(local / "SONG.MP3", Pattern(5000, 4));
        s.emulator->Faults().fullMedium = true;
        EXPECT_FALSE(ZVC450_Download(nullptr, s.h, 0, (local / "SONG.MP3").c_str()));
        EXPECT_EQ(ZVC450_GetError(), ZVC450USB_ERR_DISKFULL) << version;
        s.emulator->Faults().fullMedium = false;
        EXPECT_TRUE(ZVC450_Download(nullptr, s.h, 0, (local / "SONG.MP3").c_str()));
    }
}

// The player unplugged in the middle of a transfer: error 4, no partial
// local file, and the library lives on.
TEST(EmuFaults, UnpluggedDuringTransfer)
{
    EmuSession s("1.43");
    TempDir local;
    const Bytes content = Pattern(3u << 20, 5);
    WriteFile(local / "BIG.BIN", content);
    ASSERT_TRUE(ZVC450_Download(nullptr, s.h, 0, (local / "BIG.BIN").c_str()));
    Listing l;
    ASSERT_TRUE(List(s.h, 0, &l));
    const int index = l.IndexOf("BIG.BIN");
    ASSERT_GE(index, 0);

    // A new connection counts its bytes afresh: cut it a third into the upload.
    s.Close();
    s.emulator->Link().cutAfterBytes = 1u << 20;
    s.Open();
    ZVC450_SetTimeout(2000, 2000);
    const std::string dest = local / "back.bin";
    EXPECT_FALSE(ZVC450_Upload(nullptr, s.h, 0, index, dest.c_str(), nullptr, unsigned(content.size()), 0));
    EXPECT_EQ(ZVC450_GetError(), ZVC450USB_ERR_USB);
    EXPECT_FALSE(Exists(dest));

    s.Close();
    s.Open();
    WriteFile(local / "BIG2.BIN", content);
    EXPECT_FALSE(ZVC450_Download(nullptr, s.h, 0, (local / "BIG2.BIN").c_str()));
    EXPECT_EQ(ZVC450_GetError(), ZVC450USB_ERR_USB);

    // Plugged in again: everything works.
    s.emulator->Link().cutAfterBytes = 0;
    s.Close();
    s.Open();
    ASSERT_TRUE(List(s.h, 0, &l));
    EXPECT_GE(l.IndexOf("BIG.BIN"), 0);
    ZVC450_SetTimeout(zvc450::kDefaultRecvTimeoutMs, zvc450::kDefaultSendTimeoutMs);
}
