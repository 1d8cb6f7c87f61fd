// End to end against the emulated player: every command acts on the file
// the user chose, names the player cannot store go nowhere, and a copy to
// the PC that fails keeps what was there.  The player's images are set up
// and checked with mtools and fsck.fat.

#include "fileops_fixture.h"

#include <set>

using namespace fileops;

namespace {

// Runs an mtools command on the image; fails the test when it fails.
void Mtools(const std::string &image, const std::string &tool, const std::string &args)
{
    std::string out;
    ASSERT_EQ(RunTool(tool + " -i '" + image + "' " + args, &out), 0) << tool << " " << args << ": " << out;
}

std::string Mdir(const std::string &image, const std::string &folder = "::/")
{
    std::string out;
    RunTool("mdir -a -i '" + image + "' '" + folder + "'", &out);
    return out;
}

void ExpectClean(const std::string &image)
{
    std::string out;
    EXPECT_EQ(RunTool("fsck.fat -n '" + image + "'", &out), 0) << out;
}

}  // namespace

// A.MP3, a hidden folder, B.MP3, a system folder, an archive folder, C.MP3:
// the player numbers the files 0, 1, 2; copying and deleting "B" by the
// library's number copies and deletes B, never C.
TEST(EmuSafety, FoldersWithOtherAttributeBitsKeepFileNumbersRight)
{
    for (const char *version : {"1.42", "1.43"}) {
        SCOPED_TRACE(version);
        EmuSession s(version);
        TempDir local;
        const char *files[] = {"A.MP3", "B.MP3", "C.MP3"};
        for (int i = 0; i < 3; ++i)
            WriteFile(local / files[i], Pattern(3000 + size_t(i), uint32_t(i)));
        s.Restart([&] {
            const std::string img = s.Internal();
            auto copy = [&](const char *name) { Mtools(img, "mcopy", "'" + local / name + "' ::/"); };
            copy("A.MP3");
            Mtools(img, "mmd", "::/HIDDEN");
            Mtools(img, "mattrib", "+h ::/HIDDEN");
            copy("B.MP3");
            Mtools(img, "mmd", "::/SYSTEM");
            Mtools(img, "mattrib", "+s +h ::/SYSTEM");
            Mtools(img, "mmd", "::/ARCHIVE");
            Mtools(img, "mattrib", "+a ::/ARCHIVE");
            copy("C.MP3");
        });
        Listing l;
        ASSERT_TRUE(List(s.h, 0, &l)) << ZVC450_GetError();
        ASSERT_EQ(l.files.size(), 3u);
        EXPECT_EQ(l.IndexOf("B.MP3"), 1);
        EXPECT_EQ(l.dirs.size(), std::string(version) == "1.43" ? 3u : 0u);

        const std::string back = local / "b.back";
        ASSERT_TRUE(ZVC450_Upload(nullptr, s.h, 0, l.IndexOf("B.MP3"), back.c_str(), nullptr, 3001, 0));
        EXPECT_TRUE(ReadFile(back) == Pattern(3001, 1)) << "the copy of B has another file's bytes";

        ASSERT_TRUE(ZVC450_Delete(nullptr, s.h, 0, l.IndexOf("B.MP3"), "B.MP3"));
        const std::string dir = Mdir(s.Internal());
        EXPECT_EQ(dir.find("B        MP3"), std::string::npos) << dir;
        EXPECT_NE(dir.find("C        MP3"), std::string::npos) << dir;
        Bytes c;
        ASSERT_TRUE(MtoolsRead(s.Internal(), "C.MP3", &c));
        EXPECT_TRUE(c == Pattern(3002, 2));
        ExpectClean(s.Internal());
    }
}

// Below 1.30 the file number is one byte: a larger one is refused before
// anything is sent, never wrapped onto another file (257 would be file 1).
TEST(EmuSafety, OneByteFileNumbersDoNotWrap)
{
    EmuSession s("1.25");
    TempDir local;
    for (const char *n : {"ONE.MP3", "TWO.MP3", "THREE.MP3"}) {
        WriteFile(local / n, Pattern(700, 1));
        ASSERT_TRUE(ZVC450_Download(nullptr, s.h, 0, (local / n).c_str()));
    }
    const ZVC450_DIRENTRY any{};
    EXPECT_FALSE(ZVC450_Delete(nullptr, s.h, 0, 257, "x"));
    EXPECT_EQ(ZVC450_GetError(), ZVC450USB_ERR_UNSUPPORTED);
    EXPECT_FALSE(ZVC450_Rename(s.h, 0, 257, "NEW.MP3", &any));
    EXPECT_EQ(ZVC450_GetError(), ZVC450USB_ERR_UNSUPPORTED);
    EXPECT_FALSE(ZVC450_Replace(s.h, 0, 0, 257));
    EXPECT_EQ(ZVC450_GetError(), ZVC450USB_ERR_UNSUPPORTED);
    EXPECT_FALSE(ZVC450_Upload(nullptr, s.h, 0, -255, (local / "x").c_str(), nullptr, 700, 0));
    EXPECT_EQ(ZVC450_GetError(), ZVC450USB_ERR_UNSUPPORTED);
    EXPECT_FALSE(Exists(local / "x"));
    Listing l;
    ASSERT_TRUE(List(s.h, 0, &l));
    EXPECT_EQ(l.files.size(), 3u);
    EXPECT_EQ(l.IndexOf("ONE.MP3"), 0);
    EXPECT_EQ(l.IndexOf("TWO.MP3"), 1);
    EXPECT_EQ(l.IndexOf("THREE.MP3"), 2);
}

// A plain 8.3 file after a folder with a long name keeps its own name.
// (The emulated player leaves folders and their long names out of the
// files-only listing; the scripted player shows a player that does not.)
TEST(EmuSafety, FileAfterALongNamedFolderKeepsItsName)
{
    EmuSession s("1.42");
    TempDir local;
    WriteFile(local / "PLAIN.MP3", Pattern(10, 1));
    s.Restart([&] {
        Mtools(s.Internal(), "mmd", "'::/My Music'");
        Mtools(s.Internal(), "mcopy", "'" + local / "PLAIN.MP3" + "' ::/");
    });
    std::vector<ZVC450_DIRENTRY> f(4);
    int n = 4;
    ASSERT_TRUE(ZVC450_Refresh(s.h, 0, nullptr, f.data(), &n));
    ASSERT_EQ(n, 1);
    EXPECT_STREQ(f[0].szLongName, "");
    EXPECT_EQ(NameOf(f[0]), "PLAIN.MP3");
}

// A refused listing is an error with the player's reason, not an empty
// memory made of the refusal's padding.
TEST(EmuSafety, RefusedListingIsAnError)
{
    {
        EmuSession s("1.43", [](emu::EmulatorOptions &o) { o.state.card = false; });
        std::vector<ZVC450_DIRENTRY> f(4), d(4);
        int nf = 4, nd = 4;
        EXPECT_FALSE(ZVC450_RefreshEx(s.h, 1, nullptr, f.data(), &nf, d.data(), &nd));
        EXPECT_EQ(ZVC450_GetError(), ZVC450USB_ERR_INTERNAL);
        EXPECT_EQ(ZVC450_GetInternalError(), ZVC450INT_ERR_CARD_NOT_DETECTED);
        Listing l;
        EXPECT_TRUE(List(s.h, 0, &l)) << "the link is in step";
    }
    for (const char *version : {"1.25", "1.43"}) {
        EmuSession s(version, [](emu::EmulatorOptions &o) { o.state.unformatted = true; });
        std::vector<ZVC450_DIRENTRY> f(4);
        int n = 4;
        EXPECT_FALSE(ZVC450_Refresh(s.h, 0, nullptr, f.data(), &n)) << version;
        EXPECT_EQ(ZVC450_GetError(), ZVC450USB_ERR_INTERNAL);
        EXPECT_EQ(ZVC450_GetInternalError(), ZVC450INT_ERR_NOT_FORMATTED);
        ASSERT_TRUE(ZVC450_Format(nullptr, s.h, 0));
        n = 4;
        EXPECT_TRUE(ZVC450_Refresh(s.h, 0, nullptr, f.data(), &n));
        EXPECT_EQ(n, 0);
    }
}

// A listing cut short by the link: what arrived, once each, and a summary
// that shows how many files the header announced.
TEST(EmuSafety, ListingCutShortShowsItself)
{
    EmuSession s("1.43");
    TempDir local;
    ::mkdir((local / "batch").c_str(), 0755);
    for (int i = 0; i < 40; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "F%02d.MP3", i);
        WriteFile(local / "batch/" + name, Bytes(1, uint8_t(i)));
    }
    s.Restart([&] { Mtools(s.Internal(), "mcopy", "'" + local.path() + "/batch/'* ::/"); });
    // Identification and listing command, header and one block of slots.
    s.Close();
    s.emulator->Link().cutAfterBytes = 512 * 5;
    s.Open();
    std::vector<ZVC450_DIRENTRY> f(64), d(4);
    int nf = 64, nd = 4;
    ZVC450_SUMMARY sum{};
    ASSERT_TRUE(ZVC450_RefreshEx(s.h, 0, &sum, f.data(), &nf, d.data(), &nd)) << ZVC450_GetError();
    std::set<std::string> names;
    for (int i = 0; i < nf; ++i)
        EXPECT_TRUE(names.insert(NameOf(f[size_t(i)])).second) << NameOf(f[size_t(i)]) << " listed twice";
    EXPECT_EQ(sum.dwFileCount, 40u);
    EXPECT_EQ(sum.dwFilesFound, unsigned(nf));
    EXPECT_LT(nf, 40);
    s.emulator->Link().cutAfterBytes = 0;
    s.Close();
    s.Open();
    Listing l;
    ASSERT_TRUE(List(s.h, 0, &l));
    EXPECT_EQ(l.files.size(), 40u);
}

// Names holding a character the player cannot store, or that FAT refuses,
// are refused with 13 and nothing reaches the player.
TEST(EmuSafety, NamesThePlayerCannotStoreGoNowhere)
{
    for (const char *version : {"1.25", "1.43"}) {
        SCOPED_TRACE(version);
        EmuSession s(version);
        TempDir local;
        const char *names[] = {"AC\\DC - Thunder.mp3", "Artist: Song.mp3", "take 1.", "take 2 "};
        for (const char *n : names) {
            WriteFile(local / n, Pattern(100, 1));
            EXPECT_FALSE(ZVC450_Download(nullptr, s.h, 0, (local / n).c_str())) << n;
            EXPECT_EQ(ZVC450_GetError(), ZVS450USB_ERR_INVALID_FILENAME) << n;
        }
        WriteFile(local / "SONG.MP3", Pattern(100, 2));
        ASSERT_TRUE(ZVC450_Download(nullptr, s.h, 0, (local / "SONG.MP3").c_str()));
        Listing l;
        ASSERT_TRUE(List(s.h, 0, &l));
        const ZVC450_DIRENTRY song = l.files.at(0);
        for (const char *n : {"a:b.mp3", "..", ".", "  ", "new.", "x\\y.mp3"}) {
            EXPECT_FALSE(ZVC450_Rename(s.h, 0, 0, n, &song)) << n;
            EXPECT_EQ(ZVC450_GetError(), ZVS450USB_ERR_INVALID_FILENAME) << n;
        }
        if (std::string(version) == "1.43") {
            for (const char *n : {"a:b", "c\\d", "..", "e."}) {
                EXPECT_FALSE(ZVC450_MakeDirectory(s.h, 0, n)) << n;
                EXPECT_EQ(ZVC450_GetError(), ZVS450USB_ERR_INVALID_FILENAME) << n;
            }
        }
        ASSERT_TRUE(List(s.h, 0, &l));
        EXPECT_EQ(l.files.size(), 1u);
        EXPECT_EQ(l.dirs.size(), 0u);
        const std::string dir = Mdir(s.Internal());
        EXPECT_NE(dir.find("SONG     MP3"), std::string::npos) << dir;
        EXPECT_NE(dir.find(" 1 file"), std::string::npos) << dir;
        ExpectClean(s.Internal());
    }
}

// A rename drops the old 8.3 name's lower-case flags: the new name shows
// as written.
TEST(EmuSafety, RenameShowsTheNewNameAsWritten)
{
    EmuSession s("1.43");
    TempDir local;
    WriteFile(local / "readme.txt", Pattern(10, 1));
    s.Restart([&] { Mtools(s.Internal(), "mcopy", "'" + local / "readme.txt" + "' ::/"); });
    Listing l;
    ASSERT_TRUE(List(s.h, 0, &l));
    ASSERT_EQ(l.files.size(), 1u);
    EXPECT_EQ(l.files[0].bReserved & 0x18, 0x18) << "mtools keeps readme.txt as README.TXT shown in lower case";
    ASSERT_TRUE(ZVC450_Rename(s.h, 0, 0, "NOTES.TXT", &l.files[0]));
    const std::string dir = Mdir(s.Internal());
    EXPECT_NE(dir.find("NOTES    TXT"), std::string::npos) << dir;
    ExpectClean(s.Internal());
}

// A copy to the PC that fails (the link is cut, the user cancels in the
// next test, the recording is no recording) keeps the file that was there
// and leaves no temporary file.
TEST(EmuSafety, FailedCopyKeepsTheOldFile)
{
    EmuSession s("1.43");
    TempDir local;
    const Bytes content = Pattern(3u << 20, 5);
    WriteFile(local / "BIG.BIN", content);
    ASSERT_TRUE(ZVC450_Download(nullptr, s.h, 0, (local / "BIG.BIN").c_str()));
    WriteFile(local / "NOTBVF.BVF", Pattern(3000, 6));
    ASSERT_TRUE(ZVC450_Download(nullptr, s.h, 0, (local / "NOTBVF.BVF").c_str()));
    Listing l;
    ASSERT_TRUE(List(s.h, 0, &l));

    TempDir out;
    const std::string dest = out / "big.bin", wav = out / "voice.wav";
    WriteFile(dest, Pattern(1000, 7));
    WriteFile(wav, Pattern(2000, 8));
    EXPECT_FALSE(ZVC450_Upload(nullptr, s.h, 0, l.IndexOf("NOTBVF.BVF"), wav.c_str(), nullptr, 3000,
                               ZVC450_UPLOAD_BVF2WAV));
    EXPECT_EQ(ZVC450_GetError(), ZVC450USB_ERR_FORMAT);
    EXPECT_TRUE(ReadFile(wav) == Pattern(2000, 8));

    s.Close();
    s.emulator->Link().cutAfterBytes = 1u << 20;
    s.Open();
    ZVC450_SetTimeout(2000, 2000);
    EXPECT_FALSE(ZVC450_Upload(nullptr, s.h, 0, l.IndexOf("BIG.BIN"), dest.c_str(), nullptr,
                               unsigned(content.size()), 0));
    EXPECT_EQ(ZVC450_GetError(), ZVC450USB_ERR_USB);
    EXPECT_TRUE(ReadFile(dest) == Pattern(1000, 7));
    EXPECT_EQ(CountFiles(out.path(), ""), 2) << "a temporary file was left behind";

    // Complete, the copy replaces it.
    s.emulator->Link().cutAfterBytes = 0;
    s.Close();
    s.Open();
    ASSERT_TRUE(ZVC450_Upload(nullptr, s.h, 0, l.IndexOf("BIG.BIN"), dest.c_str(), nullptr,
                              unsigned(content.size()), 0));
    EXPECT_TRUE(ReadFile(dest) == content);
    EXPECT_EQ(CountFiles(out.path(), ""), 2);
    ZVC450_SetTimeout(zvc450::kDefaultRecvTimeoutMs, zvc450::kDefaultSendTimeoutMs);
}

// Asked for less than the file holds, the copy gets what was asked for and
// the rest of the file does not answer the next command.
TEST(EmuSafety, CopyOfLessThanTheFileStaysInStep)
{
    for (const char *version : {"1.25", "1.43"}) {
        SCOPED_TRACE(version);
        EmuSession s(version);
        TempDir local;
        const Bytes content = Pattern(40000, 3);
        WriteFile(local / "FILE.BIN", content);
        ASSERT_TRUE(ZVC450_Download(nullptr, s.h, 0, (local / "FILE.BIN").c_str()));
        for (unsigned size : {0u, 16384u, 20000u, 512u}) {
            SCOPED_TRACE(size);
            const std::string dest = local / ("part" + std::to_string(size));
            if (ZVC450_Upload(nullptr, s.h, 0, 0, dest.c_str(), nullptr, size, 0)) {
                EXPECT_TRUE(ReadFile(dest) == Bytes(content.begin(), content.begin() + size));
            }
            Listing l;
            ASSERT_TRUE(List(s.h, 0, &l)) << "error " << ZVC450_GetError();
            EXPECT_EQ(l.IndexOf("FILE.BIN"), 0);
        }
    }
}
