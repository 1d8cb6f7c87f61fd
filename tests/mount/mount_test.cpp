// mount_test.cpp - `zvc450 mount` through the kernel: the real tool mounts
// the real emulated player, ordinary programs use the mount point, and the
// emulator's FAT images are read back with mtools and checked with fsck.fat.

#include "harness.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <thread>

using namespace clitest;

namespace {

struct Output {
    int status = -1;
    std::string text;  // stdout and stderr together
};

// Runs a shell command line, with its output.
Output Sh(const std::string &command)
{
    Output o;
    FILE *p = ::popen((command + " 2>&1").c_str(), "r");
    if (!p)
        return o;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0)
        o.text.append(buf, n);
    const int wstatus = ::pclose(p);
    o.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
    return o;
}

std::string Q(const std::string &s) { return "'" + s + "'"; }
bool Has(const std::string &text, const std::string &part) { return text.find(part) != std::string::npos; }

bool IsMountPoint(const std::string &path)
{
    std::ifstream in("/proc/self/mountinfo");
    for (std::string line; std::getline(in, line);)
        if (Has(line, " " + path + " ") && Has(line, "fuse.zvc450"))
            return true;
    return false;
}

// Waits (up to a limit far above any normal run) for `done`.
template <class F>
bool Eventually(F done)
{
    for (int i = 0; i < 3000; ++i) {
        if (done())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return done();
}

class Mount : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (::access("/dev/fuse", R_OK | W_OK) != 0)
            GTEST_SKIP() << "/dev/fuse is absent: this machine cannot mount FUSE file systems";
        mnt_ = dir_.Path("mnt");
        work_ = dir_.Path("work");
        cache_ = dir_.Path("cache");
        for (const std::string &d : {mnt_, work_, cache_})
            ::mkdir(d.c_str(), 0755);
    }

    void TearDown() override
    {
        if (IsMountPoint(mnt_))
            Sh("fusermount3 -u -z " + Q(mnt_));
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }

    void Start(const std::vector<std::string> &extra = {})
    {
        player_.reset();
        player_ = std::make_unique<Player>(dir_, extra);
        ASSERT_TRUE(player_->running()) << ReadFile(dir_.Path("emu.log"));
    }
    void Unplug() { player_.reset(); }
    std::string Image(const char *name = "internal.img") const { return dir_.Path(std::string("state/") + name); }
    std::string Env() const
    {
        return "ZVC450_VUSB=" + Q(dir_.Path("emu.sock")) + " XDG_CACHE_HOME=" + Q(cache_) + " ";
    }
    // The tool on the emulated player, as a user would run it.
    Output Tool(const std::string &args) { return Sh(Env() + Q(ToolPath()) + " " + args); }

    // `zvc450 mount -f` as a child process; returns once the mount is up.
    void MountForeground(const std::vector<std::string> &options = {})
    {
        std::vector<std::string> args = {ToolPath(), "mount", "-f"};
        args.insert(args.end(), options.begin(), options.end());
        args.push_back(mnt_);
        const std::string log = dir_.Path("mount.log");
        pid_ = ::fork();
        if (pid_ == 0) {
            ::setenv("ZVC450_VUSB", dir_.Path("emu.sock").c_str(), 1);
            ::setenv("XDG_CACHE_HOME", cache_.c_str(), 1);
            const int fd = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            ::dup2(fd, 1);
            ::dup2(fd, 2);
            std::vector<char *> argv;
            for (std::string &a : args)
                argv.push_back(&a[0]);
            argv.push_back(nullptr);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
        const bool up = Eventually([&] { return IsMountPoint(mnt_) || ::waitpid(pid_, nullptr, WNOHANG) == pid_; });
        ASSERT_TRUE(up && IsMountPoint(mnt_)) << ReadFile(log);
    }

    // fusermount3 -u, then the exit status of the mount process.
    int Unmount()
    {
        Output u = Sh("fusermount3 -u " + Q(mnt_));
        EXPECT_EQ(u.status, 0) << u.text;
        if (u.status != 0)
            ::kill(pid_, SIGTERM);  // it detaches the mount itself: the test fails rather than waits for ever
        int wstatus = 0;
        ::waitpid(pid_, &wstatus, 0);
        pid_ = -1;
        return WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
    }

    std::string M(const std::string &rel) const { return mnt_ + "/" + rel; }
    std::string W(const std::string &rel) const { return work_ + "/" + rel; }

    // The image is a clean FAT file system; `folder` of it (copied out with
    // mtools) equals the local `expected` folder.
    void ExpectImage(const std::string &folder = std::string(), const std::string &expected = std::string(),
                     const char *image = "internal.img")
    {
        const Output fsck = Sh("fsck.fat -n " + Q(Image(image)));
        EXPECT_EQ(fsck.status, 0) << fsck.text;
        if (folder.empty())
            return;
        const std::string out = dir_.Path("from-image");
        Sh("rm -rf " + Q(out) + " && mkdir " + Q(out));
        const Output copy = Sh("LC_ALL=C.UTF-8 mcopy -s -n -i " + Q(Image(image)) + " " + Q("::" + folder) + " " + Q(out));
        EXPECT_EQ(copy.status, 0) << copy.text;
        const Output diff = Sh("diff -r " + Q(expected) + " " + Q(out + "/" + BaseOf(folder)));
        EXPECT_EQ(diff.status, 0) << diff.text;
    }
    static std::string BaseOf(const std::string &path) { return path.substr(path.rfind('/') + 1); }
    // The names in a folder of the image (mtools' own listing).
    std::string ImageListing(const std::string &folder, const char *image = "internal.img")
    {
        return Sh("LC_ALL=C.UTF-8 mdir -b -i " + Q(Image(image)) + " " + Q("::" + folder)).text;
    }

    void MakeFile(const std::string &path, size_t size, unsigned seed = 1) { WriteFile(path, Pattern(size, seed)); }

    TempDir dir_;
    std::string mnt_, work_, cache_;
    std::unique_ptr<Player> player_;
    pid_t pid_ = -1;
};

// ---- copies ---------------------------------------------------------------------------

// A tree with long, UTF-8 and lower-case names and the sizes that break
// transfer code goes onto the mount with cp -r and comes back unchanged,
// through the mount and through mtools.
TEST_F(Mount, CopyOfATreeComesBackByteForByte)
{
    Start();
    const std::string tree = W("Album – Ünïcödé");
    ASSERT_EQ(Sh("mkdir -p " + Q(tree + "/Disc one/deeper")).status, 0);
    const size_t sizes[] = {0, 1, 511, 512, 513, 16383, 16384, 16385, 1 << 20};
    unsigned seed = 1;
    for (size_t size : sizes)
        MakeFile(tree + "/track of " + std::to_string(size) + " bytes.mp3", size, seed++);
    MakeFile(tree + "/Disc one/日本語のファイル名.txt", 3000, seed++);
    MakeFile(tree + "/Disc one/deeper/README", 100, seed++);
    MakeFile(tree + "/Disc one/deeper/A name that is a good deal longer than eight dot three.flac", 70000, seed++);
    MountForeground();

    Output cp = Sh("cp -r " + Q(tree) + " " + Q(M("internal/")));
    ASSERT_EQ(cp.status, 0) << cp.text;
    Output diff = Sh("diff -r " + Q(tree) + " " + Q(M("internal/Album – Ünïcödé")));
    EXPECT_EQ(diff.status, 0) << diff.text;
    EXPECT_EQ(Unmount(), 0) << ReadFile(dir_.Path("mount.log"));
    ExpectImage("/Album – Ünïcödé", tree);
    // No temporary name of a copy is left behind.
    EXPECT_FALSE(Has(ImageListing("/Album – Ünïcödé"), ".TMP")) << ImageListing("/Album – Ünïcödé");
}

// rsync writes a temporary file and renames it over the old one: the mount
// replaces the file, the second run copies nothing, a changed file is
// copied again.
TEST_F(Mount, RsyncTwiceCopiesNothingTheSecondTimeAndReplacesAChangedFile)
{
    Start();
    const std::string src = W("music");
    ASSERT_EQ(Sh("mkdir -p " + Q(src + "/live")).status, 0);
    for (int i = 0; i < 5; ++i)
        MakeFile(src + "/song " + std::to_string(i) + ".mp3", 20000 + size_t(i) * 3000, unsigned(i + 1));
    MakeFile(src + "/live/encore.mp3", 40000, 9);
    // FAT keeps write times in steps of two seconds.
    ASSERT_EQ(Sh("find " + Q(src) + " -exec touch -d '2024-05-06 07:08:10' {} +").status, 0);
    MountForeground();
    const std::string dst = M("internal/music");
    const std::string rsync = "rsync -a --stats " + Q(src + "/") + " " + Q(dst + "/");

    Output first = Sh(rsync);
    ASSERT_EQ(first.status, 0) << first.text;
    EXPECT_TRUE(Has(first.text, "Number of regular files transferred: 6")) << first.text;
    Output second = Sh(rsync);
    ASSERT_EQ(second.status, 0) << second.text;
    EXPECT_TRUE(Has(second.text, "Number of regular files transferred: 0")) << second.text;

    MakeFile(src + "/song 2.mp3", 25555, 42);
    Output third = Sh(rsync);
    ASSERT_EQ(third.status, 0) << third.text;
    EXPECT_TRUE(Has(third.text, "Number of regular files transferred: 1")) << third.text;
    EXPECT_EQ(Sh("diff -r " + Q(src) + " " + Q(dst)).status, 0);
    // Times as FAT holds them: rsync -a with --modify-window=1 agrees too.
    Output window = Sh("rsync -a --stats --modify-window=1 " + Q(src + "/") + " " + Q(dst + "/"));
    EXPECT_TRUE(Has(window.text, "Number of regular files transferred: 0")) << window.text;
    EXPECT_EQ(Unmount(), 0);
    ExpectImage("/music", src);
    const std::string names = ImageListing("/music");
    EXPECT_FALSE(Has(names, ".TMP") || Has(names, "/.song")) << names;  // no temporary names left
}

// The everyday commands, each checked on the image afterwards.
TEST_F(Mount, MoveRemoveMakeTouchTruncateAndDf)
{
    Start();
    MountForeground();
    const std::string in = M("internal");
    ASSERT_EQ(Sh("mkdir -p " + Q(in + "/a/b/c") + " " + Q(in + "/other")).status, 0);
    MakeFile(W("one.bin"), 50000, 1);
    MakeFile(W("two.bin"), 3000, 2);
    ASSERT_EQ(Sh("cp " + Q(W("one.bin")) + " " + Q(W("two.bin")) + " " + Q(in + "/a/")).status, 0);

    // Rename in a folder (the player's rename), move across folders (mv
    // copies and deletes, as between file systems).
    ASSERT_EQ(Sh("mv " + Q(in + "/a/one.bin") + " " + Q(in + "/a/First File.bin")).status, 0);
    Output across = Sh("mv " + Q(in + "/a/two.bin") + " " + Q(in + "/other/"));
    ASSERT_EQ(across.status, 0) << across.text;
    ASSERT_EQ(Sh("mv " + Q(in + "/a/b/c") + " " + Q(in + "/a/b/see")).status, 0);

    // touch: a new empty file, and a write time for an existing one.
    ASSERT_EQ(Sh("touch " + Q(in + "/a/b/see/empty.txt")).status, 0);
    ASSERT_EQ(Sh("touch -d '2021-03-04 05:06:08' " + Q(in + "/a/First File.bin")).status, 0);
    struct stat st;
    ASSERT_EQ(::stat((in + "/a/First File.bin").c_str(), &st), 0);
    struct tm tm = {};
    localtime_r(&st.st_mtime, &tm);
    EXPECT_EQ(tm.tm_year + 1900, 2021);
    EXPECT_EQ(tm.tm_hour * 3600 + tm.tm_min * 60 + tm.tm_sec, 5 * 3600 + 6 * 60 + 8);

    // truncate: shorter, longer, empty.
    ASSERT_EQ(Sh("truncate -s 1000 " + Q(in + "/a/First File.bin")).status, 0);
    ASSERT_EQ(Sh("truncate -s 5000 " + Q(in + "/other/two.bin")).status, 0);
    ASSERT_EQ(::stat((in + "/a/First File.bin").c_str(), &st), 0);
    EXPECT_EQ(st.st_size, 1000);
    Bytes one = Pattern(50000, 1).substr(0, 1000);
    Bytes two = Pattern(3000, 2) + Bytes(2000, '\0');
    EXPECT_TRUE(ReadFile(in + "/a/First File.bin") == one);
    EXPECT_TRUE(ReadFile(in + "/other/two.bin") == two);

    // df shows the memory's size.
    Output df = Sh("df -B1 --output=size " + Q(in));
    EXPECT_TRUE(Has(df.text, "4161536")) << df.text;  // the 254 clusters of 16 KiB of a 4 MiB image

    // rm -r of a tree.
    ASSERT_EQ(Sh("mkdir -p " + Q(in + "/gone/deep") + " && cp " + Q(W("two.bin")) + " " + Q(in + "/gone/deep/")).status, 0);
    Output rm = Sh("rm -r " + Q(in + "/gone"));
    EXPECT_EQ(rm.status, 0) << rm.text;
    EXPECT_FALSE(Exists(in + "/gone"));
    EXPECT_EQ(Unmount(), 0);

    const std::string expected = W("expected");
    ASSERT_EQ(Sh("mkdir -p " + Q(expected + "/a/b/see") + " " + Q(expected + "/other")).status, 0);
    WriteFile(expected + "/a/First File.bin", one);
    WriteFile(expected + "/other/two.bin", two);
    WriteFile(expected + "/a/b/see/empty.txt", "");
    ExpectImage("/a", expected + "/a");
    ExpectImage("/other", expected + "/other");
    EXPECT_FALSE(Has(ImageListing("/"), "gone"));
}

// ---- names and errors ---------------------------------------------------------------

TEST_F(Mount, NamesThePlayerCannotStoreAreInvalidAndRefusalsHaveTheirErrno)
{
    Start();
    MountForeground();
    const std::string in = M("internal");
    const char *invalid[] = {"AC\\DC.mp3", "Artist: Song.mp3", "what?.mp3", "star*.mp3", "pipe|.mp3",
                             "ends with a dot.", "ends with a space ", ".mp3"};
    for (const char *name : invalid) {
        Output touch = Sh("touch " + Q(in + "/" + name));
        EXPECT_NE(touch.status, 0) << name;
        EXPECT_TRUE(Has(touch.text, "Invalid argument")) << name << ": " << touch.text;
        Output mkdir = Sh("mkdir " + Q(in + "/" + name));
        EXPECT_TRUE(Has(mkdir.text, "Invalid argument")) << name << ": " << mkdir.text;
    }
    ASSERT_EQ(Sh("touch " + Q(in + "/fine.mp3")).status, 0);
    EXPECT_NE(Sh("mv " + Q(in + "/fine.mp3") + " " + Q(in + "/bad:name.mp3")).status, 0);  // EINVAL from rename
    EXPECT_TRUE(Exists(in + "/fine.mp3"));

    ASSERT_EQ(Sh("mkdir " + Q(in + "/Full") + " && touch " + Q(in + "/Full/x")).status, 0);
    EXPECT_TRUE(Has(Sh("mkdir " + Q(in + "/Full")).text, "File exists"));
    EXPECT_TRUE(Has(Sh("mkdir " + Q(in + "/FULL")).text, "File exists"));  // FAT's case rule
    EXPECT_TRUE(Has(Sh("rmdir " + Q(in + "/Full")).text, "Directory not empty"));
    EXPECT_TRUE(Has(Sh("cat " + Q(in + "/missing")).text, "No such file or directory"));
    EXPECT_TRUE(Has(Sh("mv " + Q(in + "/missing") + " " + Q(in + "/other")).text, "No such file or directory"));
    // The same file under another case of its name.
    EXPECT_EQ(Sh("cat " + Q(in + "/FINE.MP3")).status, 0);
    EXPECT_EQ(Unmount(), 0);
    ExpectImage();
}

// A full player: cp says so, and nothing of the copy stays on the player.
TEST_F(Mount, AFullPlayerGivesNoSpaceLeftAndKeepsNoPartialFile)
{
    Start({"--full"});
    MakeFile(W("song.mp3"), 40000);
    MountForeground();
    Output cp = Sh("cp " + Q(W("song.mp3")) + " " + Q(M("internal/")));
    EXPECT_NE(cp.status, 0);
    EXPECT_TRUE(Has(cp.text, "No space left on device")) << cp.text;
    EXPECT_FALSE(Exists(M("internal/song.mp3")));
    EXPECT_EQ(Unmount(), 0);
    EXPECT_EQ(ImageListing("/"), "") << "the player keeps a file";
    ExpectImage();
}

TEST_F(Mount, AFileLargerThanTheCardIsRefusedWhileItIsWritten)
{
    Start();  // a 2 MiB card
    MakeFile(W("big.bin"), 3 << 20);
    MountForeground();
    Output cp = Sh("cp " + Q(W("big.bin")) + " " + Q(M("card/")));
    EXPECT_NE(cp.status, 0);
    EXPECT_TRUE(Has(cp.text, "No space left on device")) << cp.text;
    EXPECT_FALSE(Exists(M("card/big.bin")));
    EXPECT_EQ(Unmount(), 0);
    EXPECT_EQ(ImageListing("/", "card.img"), "");
    ExpectImage(std::string(), std::string(), "card.img");
}

// The player answers every step of a copy with success but stores the file
// short: the size check after the copy fails cp with EIO, and neither the
// short file nor its temporary name is left; the next copy goes through.
TEST_F(Mount, AFileThePlayerStoredShortFailsTheCopyAndIsRemoved)
{
    Start({"--short-write", "1"});
    MakeFile(W("song.mp3"), 40000, 5);
    MountForeground();
    const std::string in = M("internal");
    Output cp = Sh("cp " + Q(W("song.mp3")) + " " + Q(in + "/"));
    EXPECT_NE(cp.status, 0) << "a short copy must not succeed";
    EXPECT_TRUE(Has(cp.text, "Input/output error")) << cp.text;
    EXPECT_EQ(Sh("ls -a " + Q(in)).text, ".\n..\n");
    Output again = Sh("cp " + Q(W("song.mp3")) + " " + Q(in + "/") + " && cmp " + Q(W("song.mp3")) + " " + Q(in + "/song.mp3"));
    EXPECT_EQ(again.status, 0) << again.text << ReadFile(dir_.Path("mount.log"));
    EXPECT_EQ(Unmount(), 0);
    EXPECT_EQ(ImageListing("/"), "::/song.mp3\n");
    ExpectImage();
}

// Changes that follow each other quickly in one folder (numbers of the
// player's files move with every one) each reach the file they name.
TEST_F(Mount, QuickChangesInOneFolderEachReachTheirFile)
{
    Start();
    const std::string src = W("src");
    ASSERT_EQ(Sh("mkdir " + Q(src)).status, 0);
    for (int i = 0; i < 6; ++i)
        MakeFile(src + "/f" + std::to_string(i) + ".bin", 3000 + size_t(i) * 700, unsigned(20 + i));
    MakeFile(W("new4.bin"), 9000, 40);
    MountForeground();
    const std::string d = M("internal/d");
    ASSERT_EQ(Sh("mkdir " + Q(d) + " && cp " + Q(src) + "/* " + Q(d + "/")).status, 0);
    const std::string f = Q(d) + "/f";
    Output burst = Sh("set -e; rm " + f + "1.bin; mv " + f + "3.bin " + Q(d + "/third.bin") + "; cp " + Q(W("new4.bin")) +
                      " " + f + "4.bin; rm " + f + "0.bin; mv " + f + "5.bin " + f + "2.bin; touch " + Q(d + "/last.bin"));
    ASSERT_EQ(burst.status, 0) << burst.text;
    EXPECT_EQ(Unmount(), 0);

    const std::string expected = W("expected/d");
    ASSERT_EQ(Sh("mkdir -p " + Q(expected)).status, 0);
    MakeFile(expected + "/f2.bin", 3000 + 5 * 700, 25);
    MakeFile(expected + "/third.bin", 3000 + 3 * 700, 23);
    MakeFile(expected + "/f4.bin", 9000, 40);
    WriteFile(expected + "/last.bin", "");
    ExpectImage("/d", expected);
}

// ---- the link ---------------------------------------------------------------------------

// The cable is pulled in the middle of a copy: cp fails, the mount stays,
// every operation fails while the player is away, and it is picked up again.
TEST_F(Mount, UnplugMidCopyFailsTheCopyAndAReplugIsPickedUp)
{
    Start({"--cut-after", "1500000"});
    MakeFile(W("small.txt"), 300, 3);
    ASSERT_EQ(Tool("-q put " + Q(W("small.txt"))).status, 0);
    MakeFile(W("big.bin"), 3 << 20, 4);
    MountForeground();
    Output cp = Sh("cp " + Q(W("big.bin")) + " " + Q(M("internal/")));
    EXPECT_NE(cp.status, 0) << "a copy cut short must not succeed";
    // The link comes back (the emulator takes the next connection): the
    // cut copy is gone, under both its names.
    Output ls = Sh("ls -a " + Q(M("internal")));
    EXPECT_EQ(ls.status, 0) << ls.text;
    EXPECT_EQ(ls.text, ".\n..\nsmall.txt\n");

    Unplug();
    Output cat = Sh("cat " + Q(M("internal/small.txt")));
    EXPECT_NE(cat.status, 0);
    EXPECT_TRUE(Has(cat.text, "Input/output error") || Has(cat.text, "No such device")) << cat.text;
    Output gone = Sh("ls " + Q(M("internal")));
    EXPECT_NE(gone.status, 0);
    EXPECT_TRUE(Has(gone.text, "No such device")) << gone.text;

    Start();  // plugged in again, without the fault
    Output again = Sh("cp " + Q(W("big.bin")) + " " + Q(M("internal/")) + " && cmp " + Q(W("big.bin")) + " " +
                      Q(M("internal/big.bin")));
    EXPECT_EQ(again.status, 0) << again.text << ReadFile(dir_.Path("mount.log"));
    EXPECT_EQ(ReadFile(M("internal/small.txt")), Pattern(300, 3));
    EXPECT_EQ(Unmount(), 0);
    EXPECT_EQ(Sh("LC_ALL=C mdir -b -i " + Q(Image()) + " ::/ | sort").text, "::/big.bin\n::/small.txt\n");
    ExpectImage();
}

// ---- reading ---------------------------------------------------------------------------------

TEST_F(Mount, ParallelReadersAndAListingAllSucceed)
{
    Start({"--internal-size", "16M"});
    MakeFile(W("a.bin"), 5 << 20, 5);
    MakeFile(W("b.bin"), 4 << 20, 6);
    MakeFile(W("c.txt"), 10, 7);
    ASSERT_EQ(Tool("-q put " + Q(W("a.bin")) + " " + Q(W("b.bin")) + " " + Q(W("c.txt"))).status, 0);
    MountForeground();
    const std::string in = M("internal");
    Output all = Sh("cat " + Q(in + "/a.bin") + " > " + Q(W("a.out")) + " & cat " + Q(in + "/b.bin") + " > " +
                    Q(W("b.out")) + " & ls -l " + Q(in) + " > " + Q(W("ls.out")) + "; s=$?; wait %1 && wait %2 && exit $s");
    EXPECT_EQ(all.status, 0) << all.text;
    EXPECT_TRUE(ReadFile(W("a.out")) == Pattern(5 << 20, 5));
    EXPECT_TRUE(ReadFile(W("b.out")) == Pattern(4 << 20, 6));
    EXPECT_TRUE(Has(ReadFile(W("ls.out")), "c.txt"));
    // Random reads of a file that is cached now.
    const std::string compare = "cmp <(dd if=\"" + in + "/a.bin\" bs=1000 skip=3001 count=2 status=none) <(dd if=\"" +
                                W("a.bin") + "\" bs=1000 skip=3001 count=2 status=none)";
    EXPECT_EQ(Sh("bash -c " + Q(compare)).status, 0);
    EXPECT_EQ(Unmount(), 0);
}

// On a slow link: the first bytes of a file reach the reader long before
// the last ones arrive, and ls is answered while the transfer runs.
TEST_F(Mount, ReadersGetBytesAsTheyArriveAndListingsDoNotWaitForATransfer)
{
    const size_t size = 2 << 20;  // about five seconds on the slow link
    MakeFile(W("slow.bin"), size, 12);
    Start();
    Unplug();
    ASSERT_EQ(Sh("mcopy -i " + Q(Image()) + " " + Q(W("slow.bin")) + " ::/slow.bin").status, 0);
    Start({"--bus-speed", "400000"});
    MountForeground();
    const std::string in = M("internal");
    ASSERT_EQ(Sh("ls " + Q(in)).text, "slow.bin\n");
    // The cache file that the transfer fills.
    auto cached = [&] {
        Output find = Sh("find " + Q(cache_) + " -type f -printf '%s\\n'");
        return find.text.empty() ? 0ul : std::stoul(find.text);
    };
    Output head = Sh("head -c 1000 " + Q(in + "/slow.bin") + " > " + Q(W("head.out")));
    ASSERT_EQ(head.status, 0) << head.text;
    EXPECT_TRUE(ReadFile(W("head.out")) == Pattern(size, 12).substr(0, 1000));
    Output ls = Sh("ls -l " + Q(in));
    EXPECT_EQ(ls.status, 0) << ls.text;
    EXPECT_TRUE(Has(ls.text, "slow.bin")) << ls.text;
    EXPECT_LT(cached(), size) << "the whole file had arrived before the first bytes were read";
    EXPECT_TRUE(ReadFile(in + "/slow.bin") == Pattern(size, 12));
    EXPECT_EQ(Unmount(), 0);
}

class MountRecordings : public Mount {
protected:
    void SetUp() override
    {
        Mount::SetUp();
        if (IsSkipped())
            return;
        if (Sh("command -v espeak-ng && command -v sox && command -v soxi && command -v ffprobe").status != 0)
            GTEST_SKIP() << "espeak-ng, sox and ffmpeg are needed to make and read recordings";
        const std::string speech = W("speech.wav");
        ASSERT_EQ(Sh("espeak-ng -w " + Q(speech) + " 'The player records speech for the mount.'").status, 0);
        ASSERT_EQ(Sh("sox " + Q(speech) + " -r 8000 -c 1 -e ima-adpcm " + Q(W("adpcm.wav"))).status, 0);
        ASSERT_EQ(Sh("sox " + Q(speech) + " -r 8000 -c 1 -b 16 -e signed-integer -t raw " + Q(W("pcm.raw"))).status, 0);
        ASSERT_EQ(Sh(Q(MkrecPath()) + " bcw " + Q(W("adpcm.wav")) + " " + Q(W("MEMO0001.BCW"))).status, 0);
        ASSERT_EQ(Sh(Q(MkrecPath()) + " bvf 59 --dtx " + Q(W("pcm.raw")) + " " + Q(W("Meeting notes.bvf"))).status, 0);
    }
};

TEST_F(MountRecordings, RecordingsAppearAsTheWavThatZvc450GetMakes)
{
    Start();
    ASSERT_EQ(Tool("-q put " + Q(W("MEMO0001.BCW")) + " " + Q(W("Meeting notes.bvf"))).status, 0);
    ASSERT_EQ(Sh("mkdir " + Q(W("got"))).status, 0);
    ASSERT_EQ(Tool("-q get MEMO0001.BCW 'Meeting notes.bvf' -o " + Q(W("got"))).status, 0);
    MountForeground({"--recordings-as-wav"});
    const std::string in = M("internal");
    EXPECT_EQ(Sh("ls " + Q(in)).text, "MEMO0001.WAV\nMeeting notes.WAV\n");
    for (const char *name : {"MEMO0001.WAV", "Meeting notes.WAV"}) {
        const std::string file = in + "/" + name;
        Output soxi = Sh("soxi -r " + Q(file));
        EXPECT_EQ(soxi.status, 0) << name << soxi.text;
        EXPECT_EQ(soxi.text, "8000\n");
        Output probe = Sh("ffprobe -v error -show_entries stream=sample_rate -of csv=p=0 " + Q(file));
        EXPECT_EQ(probe.status, 0) << probe.text;
        EXPECT_TRUE(Has(probe.text, "8000")) << probe.text;
        EXPECT_EQ(Sh("cmp " + Q(file) + " " + Q(W(std::string("got/") + name))).status, 0) << name;
        // Once made, the WAV shows with its own size.
        struct stat st;
        ASSERT_EQ(::stat(file.c_str(), &st), 0);
        EXPECT_EQ(uint64_t(st.st_size), ReadFile(W(std::string("got/") + name)).size()) << name;
    }
    // Recordings are read-only here; deleting one deletes the recording.
    EXPECT_TRUE(Has(Sh("{ echo more >> " + Q(in + "/MEMO0001.WAV") + "; }").text, "Permission denied"));
    EXPECT_EQ(Sh("rm " + Q(in + "/MEMO0001.WAV")).status, 0);
    EXPECT_EQ(Unmount(), 0);
    EXPECT_EQ(Sh("LC_ALL=C mdir -b -i " + Q(Image()) + " ::/").text, "::/Meeting notes.bvf\n");
}

// ---- layout and life cycle -----------------------------------------------------------------

TEST_F(Mount, LayoutFollowsTheMemoriesAndUnmountingCleansUp)
{
    Start();
    MakeFile(W("on-card.txt"), 123, 8);
    ASSERT_EQ(Tool("-q --external put " + Q(W("on-card.txt"))).status, 0);

    // In the background: the command returns once mounted.
    Output bg = Tool("mount " + Q(mnt_));
    ASSERT_EQ(bg.status, 0) << bg.text;
    ASSERT_TRUE(IsMountPoint(mnt_));
    EXPECT_EQ(Sh("ls " + Q(mnt_)).text, "card\ninternal\n");
    EXPECT_EQ(ReadFile(M("card/on-card.txt")), Pattern(123, 8));
    EXPECT_EQ(FolderEntries(cache_ + "/zvc450").size(), 1u);
    ASSERT_EQ(Sh("fusermount3 -u " + Q(mnt_)).status, 0);
    // The cache folder goes with the mount.
    EXPECT_TRUE(Eventually([&] { return FolderEntries(cache_ + "/zvc450").empty(); }));

    // One memory at the mount point itself.
    Output ext = Tool("--external mount " + Q(mnt_));
    ASSERT_EQ(ext.status, 0) << ext.text;
    EXPECT_EQ(Sh("ls " + Q(mnt_)).text, "on-card.txt\n");
    ASSERT_EQ(Sh("fusermount3 -u " + Q(mnt_)).status, 0);
    EXPECT_TRUE(Eventually([&] { return FolderEntries(cache_ + "/zvc450").empty(); }));

    // No card: no card folder, and --external says why it cannot mount.
    Start({"--no-card"});
    Output none = Tool("--external mount " + Q(mnt_));
    EXPECT_EQ(none.status, 1);
    EXPECT_FALSE(IsMountPoint(mnt_));
    MountForeground();
    EXPECT_EQ(Sh("ls " + Q(mnt_)).text, "internal\n");
    // Ctrl-C in the foreground unmounts.
    ::kill(pid_, SIGINT);
    int wstatus = 0;
    ::waitpid(pid_, &wstatus, 0);
    pid_ = -1;
    EXPECT_TRUE(WIFEXITED(wstatus) && WEXITSTATUS(wstatus) == 0) << ReadFile(dir_.Path("mount.log"));
    EXPECT_FALSE(IsMountPoint(mnt_));
}

// Firmware before 1.43 has no directories, before 1.30 no long names.
TEST_F(Mount, OlderFirmwareShowsWhatItCanStore)
{
    Start({"--firmware", "1.20"});
    MountForeground();
    const std::string in = M("internal");
    MakeFile(W("SONG.MP3"), 20000, 11);
    EXPECT_EQ(Sh("cp " + Q(W("SONG.MP3")) + " " + Q(in + "/") + " && cmp " + Q(W("SONG.MP3")) + " " + Q(in + "/SONG.MP3")).status, 0);
    EXPECT_TRUE(Has(Sh("touch " + Q(in + "/a long name.mp3")).text, "Invalid argument"));
    EXPECT_TRUE(Has(Sh("touch " + Q(in + "/TOOLONGNAME.MP3")).text, "File name too long"));
    EXPECT_TRUE(Has(Sh("mkdir " + Q(in + "/DIR")).text, "Operation not permitted"));
    EXPECT_EQ(Sh("mv " + Q(in + "/SONG.MP3") + " " + Q(in + "/TUNE.MP3")).status, 0);
    EXPECT_EQ(Sh("ls " + Q(in)).text, "TUNE.MP3\n");
    EXPECT_EQ(Unmount(), 0);
    ExpectImage();
}

}  // namespace
