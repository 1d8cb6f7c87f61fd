// sync_test.cpp - zvc450 sync against the emulated player: what it copies,
// replaces and deletes, what a second run does (nothing), names the player
// cannot store, firmware without directories, and interruptions.  The
// player's memory is read back with mtools and checked with fsck.fat.

#include "cli_fixture.h"

#include <sys/time.h>

#include <algorithm>
#include <ctime>

using namespace clitest;

namespace {

class Sync : public Cli {
protected:
    std::string Image() const { return player_->StateFile("internal.img"); }
    // Every path of the internal memory, as mdir -/ lists them, sorted.
    std::vector<std::string> Tree() const
    {
        const std::string out = Local("../mdir.txt");
        Shell("MTOOLS_SKIP_CHECK=1 mdir -/ -b -i '" + Image() + "' ::/ > '" + out + "' 2>/dev/null");
        std::vector<std::string> paths;
        for (const std::string &line : Lines(ReadFile(out)))
            if (line.rfind("::/", 0) == 0)
                paths.push_back(line.substr(3));
        std::sort(paths.begin(), paths.end());
        return paths;
    }
    Bytes OnPlayer(const std::string &path) const
    {
        const std::string out = Local("../back.bin");
        Shell("rm -f '" + out + "'; MTOOLS_SKIP_CHECK=1 mcopy -n -i '" + Image() + "' '::/" + path + "' '" + out + "'");
        return ReadFile(out);
    }
    bool FsckClean() const { return Shell("fsck.fat -n '" + Image() + "' > /dev/null 2>&1") == 0; }
    void Write(const std::string &path, size_t size, unsigned seed)
    {
        const size_t slash = path.rfind('/');
        if (slash != std::string::npos)
            Shell("mkdir -p '" + Local("pc/" + path.substr(0, slash)) + "'");
        WriteFile(Local("pc/" + path), Pattern(size, seed));
    }
    void SetTime(const std::string &path, time_t t) const
    {
        const struct timeval times[2] = {{t, 0}, {t, 0}};
        ::utimes(Local("pc/" + path).c_str(), times);
    }
    // The sorted lines a run printed.
    static std::vector<std::string> Sorted(const std::string &out)
    {
        std::vector<std::string> lines = Lines(out);
        std::sort(lines.begin(), lines.end());
        return lines;
    }
};

time_t EvenSecondsAgo(int days)
{
    time_t t = std::time(nullptr) - days * 86400;
    return t - t % 2;
}

}  // namespace

// A folder with sub-folders arrives whole; the dry run says exactly what the
// run does; a second run copies nothing.
TEST_F(Sync, FirstRunCopiesEverythingAndTheSecondNothing)
{
    Start({"--internal-size", "8M"});
    MakeFolder("pc");
    Write("Intro.mp3", 40000, 1);
    Write("Album/01 First.mp3", 20000, 2);
    Write("Album/02 Second.mp3", 0, 3);
    Write("Album/Disc 2/01 Third.mp3", 16384, 4);
    Write(".hidden", 10, 5);
    Write("Album/.cover.jpg", 10, 6);
    MakeFolder("pc/Empty");

    const std::vector<std::string> plan = {
        "mkdir    Album",
        "mkdir    Album/Disc 2",
        "mkdir    Empty",
        "put      Album/01 First.mp3",
        "put      Album/02 Second.mp3",
        "put      Album/Disc 2/01 Third.mp3",
        "put      Intro.mp3",
    };
    const Result dry = Z({"sync", "--dry-run", "pc"});
    ASSERT_EQ(dry.status, 0) << dry.err;
    EXPECT_EQ(Sorted(dry.out), plan);
    EXPECT_TRUE(Tree().empty()) << "a dry run changes nothing";

    const Result first = Z({"sync", "pc"});
    ASSERT_EQ(first.status, 0) << first.err;
    EXPECT_EQ(Sorted(first.out), plan);
    EXPECT_TRUE(first.err.empty()) << first.err;
    EXPECT_EQ(Tree(), (std::vector<std::string>{"Album/", "Album/01 First.mp3", "Album/02 Second.mp3", "Album/Disc 2/",
                                                "Album/Disc 2/01 Third.mp3", "Empty/", "Intro.mp3"}));
    EXPECT_TRUE(OnPlayer("Album/Disc 2/01 Third.mp3") == Pattern(16384, 4));
    EXPECT_TRUE(OnPlayer("Intro.mp3") == Pattern(40000, 1));
    EXPECT_TRUE(FsckClean());
    EXPECT_EQ(Z({"pwd"}).out, "/\n") << "the player is back where the sync started";

    const Result second = Z({"sync", "pc"});
    EXPECT_EQ(second.status, 0) << second.err;
    EXPECT_TRUE(second.out.empty()) << second.out;
    EXPECT_TRUE(Z({"sync", "--delete", "--dry-run", "pc"}).out.empty());
}

// Changed files are replaced, by size or by write time to FAT's two
// seconds; what the PC no longer has goes only with --delete.
TEST_F(Sync, ChangesAndDeletions)
{
    Start({"--internal-size", "8M"});
    MakeFolder("pc");
    const time_t old = EvenSecondsAgo(30);
    for (const char *name : {"same.mp3", "older.mp3", "newer.mp3", "resized.mp3", "second.mp3", "gone.mp3",
                             "Gone/a.mp3", "Gone/Deeper/b.mp3", "Kept/c.mp3"}) {
        Write(name, 5000, 7);
        SetTime(name, old);
    }
    ASSERT_EQ(Z({"sync", "pc"}).status, 0);

    SetTime("older.mp3", old - 86400);        // an older version, same size
    SetTime("newer.mp3", old + 2);            // the next FAT step
    SetTime("second.mp3", old + 1);           // within the same two seconds: no change to FAT
    Write("resized.mp3", 5001, 7);
    SetTime("resized.mp3", old);
    Write("new.mp3", 100, 8);
    Shell("rm -rf '" + Local("pc/gone.mp3") + "' '" + Local("pc/Gone") + "'");

    const Result keep = Z({"sync", "pc"});
    ASSERT_EQ(keep.status, 0) << keep.err;
    EXPECT_EQ(Sorted(keep.out), (std::vector<std::string>{"put      new.mp3", "replace  newer.mp3",
                                                          "replace  older.mp3", "replace  resized.mp3"}));
    EXPECT_TRUE(OnPlayer("resized.mp3") == Pattern(5001, 7));
    EXPECT_EQ(OnPlayer("gone.mp3").size(), 5000u) << "kept without --delete";

    const std::vector<std::string> deletions = {"delete   Gone/Deeper/b.mp3", "delete   Gone/a.mp3",
                                                "delete   gone.mp3", "rmdir    Gone", "rmdir    Gone/Deeper"};
    const Result dry = Z({"sync", "--delete", "-n", "pc"});
    ASSERT_EQ(dry.status, 0) << dry.err;
    EXPECT_EQ(Sorted(dry.out), deletions);
    const Result del = Z({"sync", "--delete", "pc"});
    ASSERT_EQ(del.status, 0) << del.err;
    EXPECT_EQ(Sorted(del.out), deletions);
    EXPECT_EQ(Tree(), (std::vector<std::string>{"Kept/", "Kept/c.mp3", "new.mp3", "newer.mp3", "older.mp3",
                                                "resized.mp3", "same.mp3", "second.mp3"}));
    EXPECT_TRUE(FsckClean());
    EXPECT_TRUE(Z({"sync", "--delete", "pc"}).out.empty());
}

// Names the player cannot store are reported and skipped (exit 1, the rest
// synced), or stored with '_' for the characters at fault; so are two names
// the player would take for one.
TEST_F(Sync, NamesThePlayerCannotStore)
{
    Start({"--internal-size", "8M"});
    MakeFolder("pc");
    Write("AC\\DC - Thunder.mp3", 100, 1);
    Write("What?.mp3", 100, 2);
    Write("fine.mp3", 100, 3);
    Write("Case.mp3", 100, 4);
    Write("CASE.MP3", 100, 5);

    const Result skipped = Z({"sync", "pc"});
    EXPECT_EQ(skipped.status, 1);
    EXPECT_TRUE(Has(skipped.err, "skipped AC\\DC - Thunder.mp3: the player cannot store '\\' in a name")) << skipped.err;
    EXPECT_TRUE(Has(skipped.err, "skipped What?.mp3: the player cannot store '?'")) << skipped.err;
    EXPECT_TRUE(Has(skipped.err, "skipped Case.mp3: the player would take it for CASE.MP3")) << skipped.err;
    EXPECT_EQ(Tree(), (std::vector<std::string>{"CASE.MP3", "fine.mp3"}));

    const Result renamed = Z({"sync", "--rename-invalid", "pc"});
    EXPECT_EQ(renamed.status, 1) << "the two names for one still cannot both go";
    EXPECT_EQ(Sorted(renamed.out), (std::vector<std::string>{"put      AC_DC - Thunder.mp3", "put      What_.mp3"}));
    EXPECT_TRUE(OnPlayer("AC_DC - Thunder.mp3") == Pattern(100, 1));
    // Without --rename-invalid those files are skipped again, and --delete
    // does not take them for gone; nor a folder that a link stands for.
    Shell("mkdir -p '" + Local("elsewhere/Linked") + "' && ln -s '" + Local("elsewhere/Linked") + "' '" +
          Local("pc/Linked") + "'");
    ASSERT_EQ(Z({"mkdir", "Linked"}).status, 0);
    const Result kept = Z({"sync", "--delete", "pc"});
    EXPECT_EQ(kept.status, 1);
    EXPECT_TRUE(kept.out.empty()) << kept.out;
    EXPECT_TRUE(Has(kept.err, "skipped Linked: a symbolic link to a folder")) << kept.err;
    EXPECT_EQ(Tree(), (std::vector<std::string>{"AC_DC - Thunder.mp3", "CASE.MP3", "Linked/", "What_.mp3", "fine.mp3"}));
    Shell("rm '" + Local("pc/Case.mp3") + "' '" + Local("pc/Linked") + "'");
    const Result again = Z({"sync", "--rename-invalid", "--delete", "pc"});
    EXPECT_EQ(again.status, 0) << again.err;
    EXPECT_EQ(again.out, "rmdir    Linked\n");
}

// Firmware before 1.43 has no directories, and before 1.30 only 8.3 names.
TEST_F(Sync, OlderFirmware)
{
    Start({"--firmware", "1.20", "--internal-size", "8M"});
    MakeFolder("pc");
    Write("SONG.MP3", 300, 1);
    Write("track2.mp3", 300, 2);
    Write("A long name.mp3", 300, 3);
    Write("Album/x.mp3", 300, 4);

    const Result first = Z({"sync", "pc"});
    EXPECT_EQ(first.status, 1);
    EXPECT_TRUE(Has(first.err, "skipped A long name.mp3: this firmware stores 8.3 names only")) << first.err;
    EXPECT_TRUE(Has(first.err, "skipped Album/: the player's firmware has no directories")) << first.err;
    EXPECT_EQ(Tree(), (std::vector<std::string>{"SONG.MP3", "TRACK2.MP3"}));

    const Result mended = Z({"sync", "--rename-invalid", "pc"});
    EXPECT_EQ(mended.status, 1);
    EXPECT_EQ(Sorted(mended.out), std::vector<std::string>{"put      ALONGNAM.MP3"});
    EXPECT_TRUE(OnPlayer("ALONGNAM.MP3") == Pattern(300, 3));
    const Result again = Z({"sync", "--rename-invalid", "pc"});
    EXPECT_TRUE(again.out.empty()) << again.out;
    EXPECT_TRUE(FsckClean());

    // 1.30 takes long names, still without directories.
    Shell("rm -rf '" + dir_.Path("state") + "'");
    Start({"--firmware", "1.30", "--internal-size", "8M"});
    const Result longNames = Z({"sync", "pc"});
    EXPECT_EQ(longNames.status, 1);
    EXPECT_EQ(Sorted(longNames.out), (std::vector<std::string>{"put      A long name.mp3", "put      SONG.MP3",
                                                               "put      track2.mp3"}));
    EXPECT_TRUE(Has(longNames.err, "skipped Album/: the player's firmware has no directories")) << longNames.err;
    EXPECT_TRUE(Z({"sync", "pc"}).out.empty());
}

// Unplugged or stopped with Ctrl-C, the player keeps what was done and is
// consistent; the next sync completes the work.
TEST_F(Sync, InterruptedSyncsAreCompletedByTheNext)
{
    Start({"--internal-size", "8M"});
    MakeFolder("pc");
    for (int i = 0; i < 6; ++i)
        Write("Album/" + std::to_string(i) + ".mp3", 60000, unsigned(i));

    Start({"--internal-size", "8M", "--cut-after", "150000"});
    const Result cut = Z({"sync", "pc"});
    EXPECT_EQ(cut.status, 1);
    EXPECT_TRUE(FsckClean());

    Start({"--internal-size", "8M", "--bus-speed", "100000"});
    const Result ctrlC = RunOnTerminalAndInterrupt(Socket(), {"sync", "pc"}, work_, "Downloading");
    EXPECT_EQ(ctrlC.status, 130) << ctrlC.out;
    EXPECT_TRUE(Has(ctrlC.out, "cancelled")) << ctrlC.out;
    EXPECT_TRUE(FsckClean());

    Start({"--internal-size", "8M"});
    EXPECT_EQ(Z({"pwd"}).out, "/\n");
    const Result last = Z({"sync", "pc"});
    ASSERT_EQ(last.status, 0) << last.err;
    for (int i = 0; i < 6; ++i)
        EXPECT_TRUE(OnPlayer("Album/" + std::to_string(i) + ".mp3") == Pattern(60000, unsigned(i))) << i;
    EXPECT_TRUE(Z({"sync", "pc"}).out.empty());
}
