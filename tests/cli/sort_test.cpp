// sort_test.cpp - zvc450 sort against the emulated player: the order the
// player's directory ends up in, as mtools reads it from the image (mdir
// lists directory order), the number of exchanges, and interruptions.

#include "cli_fixture.h"

#include <algorithm>
#include <numeric>
#include <random>

using namespace clitest;

namespace {

class Sort : public Cli {
protected:
    // The names of a directory of the internal memory, in directory order.
    std::vector<std::string> Mdir(const std::string &dir = "/") const
    {
        const std::string listing = Local("mdir.txt");
        Shell("MTOOLS_SKIP_CHECK=1 mdir -b -i '" + player_->StateFile("internal.img") + "' '::" + dir + "' > '" +
              listing + "' 2>/dev/null");
        const std::string prefix = "::" + dir + (dir == "/" ? "" : "/");
        std::vector<std::string> names;
        for (const std::string &line : Lines(ReadFile(listing)))
            if (line.compare(0, prefix.size(), prefix) == 0)
                names.push_back(line.substr(prefix.size()));
        return names;
    }
    bool FsckClean() const
    {
        return Shell("fsck.fat -n '" + player_->StateFile("internal.img") + "' > /dev/null 2>&1") == 0;
    }
    // Copies `names` (empty files, or of the given sizes) to the player in
    // that order.
    void PutInOrder(const std::vector<std::string> &names, const std::vector<size_t> &sizes = {})
    {
        MakeFolder("src");
        std::vector<std::string> put = {"put"};
        for (size_t i = 0; i < names.size(); ++i) {
            WriteFile(Local("src/" + names[i]), Pattern(sizes.empty() ? 0 : sizes[i], unsigned(i)));
            put.push_back("src/" + names[i]);
        }
        const Result r = Z(put);
        ASSERT_EQ(r.status, 0) << r.err;
    }
};

// Exchanges that a permutation needs at least: n minus its cycles.
size_t FewestExchanges(const std::vector<std::string> &from, const std::vector<std::string> &to)
{
    std::vector<bool> seen(from.size());
    size_t cycles = 0;
    for (size_t i = 0; i < from.size(); ++i) {
        if (seen[i])
            continue;
        ++cycles;
        for (size_t j = i; !seen[j];) {
            seen[j] = true;
            j = size_t(std::find(to.begin(), to.end(), from[j]) - to.begin());
        }
    }
    return from.size() - cycles;
}

}  // namespace

// Random orders of 1, 2, 50 and 300 files end up sorted by name, on the
// player and as mtools reads the image, with the fewest exchanges; a dry run
// prints those exchanges and changes nothing.  Older firmware numbers at most
// 256 files, so 300 only from 1.30 on.
TEST_F(Sort, RandomOrdersEndUpSortedWithTheFewestExchanges)
{
    std::mt19937 random(21);
    struct Row {
        const char *firmware;
        size_t count;
    };
    const Row rows[] = {{"1.20", 1}, {"1.20", 2}, {"1.20", 50}, {"1.30", 300}, {"1.43", 2}, {"1.43", 50}};
    for (const Row &row : rows) {
        SCOPED_TRACE(std::string(row.firmware) + ", " + std::to_string(row.count) + " files");
        Shell("rm -rf '" + dir_.Path("state") + "' '" + Local("src") + "'");
        Start({"--firmware", row.firmware, "--internal-size", "8M"});
        std::vector<std::string> sorted;
        for (size_t i = 0; i < row.count; ++i) {
            char name[32];
            std::snprintf(name, sizeof name, "F%03u.MP3", unsigned(i));
            sorted.push_back(name);
        }
        std::vector<std::string> copied = sorted;
        std::shuffle(copied.begin(), copied.end(), random);
        PutInOrder(copied);
        ASSERT_EQ(Mdir(), copied);

        const Result plan = Z({"sort", "--dry-run"});
        ASSERT_EQ(plan.status, 0) << plan.err;
        const std::vector<std::string> lines = Lines(plan.out);
        EXPECT_EQ(lines.size(), FewestExchanges(copied, sorted));
        EXPECT_LE(lines.size(), row.count - 1);
        for (const std::string &line : lines)
            EXPECT_EQ(line.rfind("swap ", 0), 0u) << line;
        EXPECT_EQ(Mdir(), copied) << "a dry run changes nothing";

        const Result r = Z({"sort"});
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(Mdir(), sorted);
        EXPECT_EQ(Ls(), sorted);
        EXPECT_TRUE(FsckClean());
        // Sorted already: nothing to exchange.
        EXPECT_TRUE(Z({"sort", "--dry-run"}).out.empty());
    }
}

// The other orders, reversed too; directories keep their places.
TEST_F(Sort, NaturalDateAndSizeOrders)
{
    Start({"--internal-size", "8M"});
    const std::vector<std::string> names = {"10 Song.mp3", "2 Song.mp3", "1 song.mp3", "b.mp3"};
    const std::vector<size_t> sizes = {300, 100, 400, 200};
    ASSERT_EQ(Z({"mkdir", "Album"}).status, 0);
    PutInOrder(names, sizes);
    struct Row {
        std::vector<std::string> args;
        std::vector<std::string> expected;
    };
    const Row rows[] = {
        {{"sort"}, {"1 song.mp3", "10 Song.mp3", "2 Song.mp3", "b.mp3"}},
        {{"sort", "--by", "natural"}, {"1 song.mp3", "2 Song.mp3", "10 Song.mp3", "b.mp3"}},
        {{"sort", "--by=natural", "--reverse"}, {"b.mp3", "10 Song.mp3", "2 Song.mp3", "1 song.mp3"}},
        {{"sort", "--by", "size"}, {"2 Song.mp3", "b.mp3", "10 Song.mp3", "1 song.mp3"}},
        {{"sort", "--by", "size", "--reverse"}, {"1 song.mp3", "10 Song.mp3", "b.mp3", "2 Song.mp3"}},
    };
    for (const Row &row : rows) {
        const Result r = Z(row.args);
        ASSERT_EQ(r.status, 0) << row.args.back() << ": " << r.err;
        std::vector<std::string> expected = {"Album/"};
        expected.insert(expected.end(), row.expected.begin(), row.expected.end());
        EXPECT_EQ(Mdir(), expected) << row.args.back();
    }

    // Dates as the files carried them in: mcopy -m keeps each file's time.
    player_.reset();
    const std::string image = dir_.Path("state/internal.img");
    Shell("MTOOLS_SKIP_CHECK=1 mdel -i '" + image + "' '::*.mp3'");
    const char *stamps[] = {"2021-03-04 10:00", "2019-01-01 08:00", "2021-03-04 09:59", "2020-06-01 12:00"};
    for (size_t i = 0; i < names.size(); ++i) {
        Shell("touch -d '" + std::string(stamps[i]) + "' '" + Local("src/" + names[i]) + "'");
        Shell("MTOOLS_SKIP_CHECK=1 mcopy -m -i '" + image + "' '" + Local("src/" + names[i]) + "' ::/");
    }
    Start({"--internal-size", "8M"});
    const Result byDate = Z({"sort", "--by", "date"});
    ASSERT_EQ(byDate.status, 0) << byDate.err;
    EXPECT_EQ(Mdir(), (std::vector<std::string>{"Album/", "2 Song.mp3", "b.mp3", "1 song.mp3", "10 Song.mp3"}));

    const Result bad = Z({"sort", "--by", "colour"});
    EXPECT_EQ(bad.status, 2);
    EXPECT_TRUE(Has(bad.err, "--by takes name, natural, date or size")) << bad.err;
}

// A sort cut off by an unplugged cable or Ctrl-C leaves every file there and
// intact, in a partial order that the next sort completes.
TEST_F(Sort, InterruptedSortsLoseNothing)
{
    Start({"--firmware", "1.43", "--internal-size", "8M"});
    std::vector<std::string> sorted, copied;
    for (int i = 0; i < 50; ++i)
        sorted.push_back("Track " + std::string(i < 10 ? "0" : "") + std::to_string(i) + ".mp3");
    copied = sorted;
    std::reverse(copied.begin(), copied.end());
    std::vector<size_t> sizes(50);
    std::iota(sizes.begin(), sizes.end(), 1000);
    PutInOrder(copied, sizes);
    auto everyFileIntact = [&] {
        std::vector<std::string> now = Mdir();
        std::sort(now.begin(), now.end());
        EXPECT_EQ(now, sorted);
        EXPECT_TRUE(FsckClean());
        for (size_t i = 0; i < copied.size(); ++i) {
            Shell("MTOOLS_SKIP_CHECK=1 mcopy -n -i '" + player_->StateFile("internal.img") + "' '::" + copied[i] +
                  "' '" + Local("back.bin") + "'");
            EXPECT_TRUE(ReadFile(Local("back.bin")) == ReadFile(Local("src/" + copied[i]))) << copied[i];
        }
    };

    // Unplugged half-way through the exchanges.
    Start({"--firmware", "1.43", "--internal-size", "8M", "--cut-after", "20000"});
    const Result cut = Z({"sort"});
    EXPECT_EQ(cut.status, 1);
    EXPECT_TRUE(Has(cut.err, "every file is intact")) << cut.err;
    EXPECT_NE(Mdir(), copied) << "some exchanges were made";
    EXPECT_NE(Mdir(), sorted) << "not all of them";
    everyFileIntact();

    // Ctrl-C while the exchanges run (each answer comes late).
    Start({"--firmware", "1.43", "--internal-size", "8M", "--slow", "40"});
    const Result ctrlC = RunOnTerminalAndInterrupt(Socket(), {"sort", "--by", "name", "--reverse"}, work_, "Sorting");
    EXPECT_EQ(ctrlC.status, 130) << ctrlC.out;
    EXPECT_TRUE(Has(ctrlC.out, "every file is intact")) << ctrlC.out;
    everyFileIntact();

    Start({"--firmware", "1.43", "--internal-size", "8M"});
    ASSERT_EQ(Z({"sort"}).status, 0);
    EXPECT_EQ(Mdir(), sorted);
}
