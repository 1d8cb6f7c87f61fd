// cli_test.cpp - the zvc450 tool end to end: the real executable against
// the real emulated player process.

#include "cli_fixture.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdio>
#include <memory>

using namespace clitest;

namespace {

// ---- Usage ------------------------------------------------------------------

TEST(CliUsage, WrongArgumentsExitWithTwoAndSayWhy)
{
    struct Row {
        std::vector<std::string> args;
        const char *said;
    };
    const Row rows[] = {
        {{}, "no command given"},
        {{"frob"}, "unknown command 'frob'"},
        {{"--frob", "ls"}, "unknown option '--frob'"},
        {{"ls", "extra"}, "too many operands"},
        {{"ls", "--bogus"}, "unknown option '--bogus'"},
        {{"get"}, "missing operand"},
        {{"get", "x", "-o"}, "--output needs a value"},
        {{"mv", "a"}, "too few operands"},
        {{"mv", "a", "b/c"}, "not a path"},
        {{"mkdir", "a/b"}, "not a path"},
        {{"swap", "a", "b", "c"}, "too many operands"},
        {{"raw", "x", "1", "f"}, "FIRST"},
        {{"raw", "0", "0", "f"}, "COUNT"},
        {{"firmware", "f.hex"}, "--boot or --app"},
        {{"firmware", "--boot", "--app", "f.hex"}, "--boot or --app"},
        {{"font", "frob"}, "unknown font command"},
        {{"font", "erase", "x"}, "takes no operand"},
        {{"convert", "song.mp3"}, "*.BCW or *.BVF"},
        {{"--internal", "--external", "ls"}, "exclude each other"},
        {{"--timeout", "soon", "ls"}, "--timeout"},
        {{"format", "--low=1"}, "takes no value"},
        {{"help", "frob"}, "no command named 'frob'"},
    };
    TempDir dir;
    for (const Row &row : rows) {
        const Result r = clitest::Run(dir.Path("nobody.sock"), row.args, dir.path());
        std::string shown;
        for (const std::string &a : row.args)
            shown += a + " ";
        EXPECT_EQ(r.status, 2) << shown << r.err;
        EXPECT_TRUE(Has(r.err, row.said)) << shown << r.err;
        EXPECT_TRUE(r.out.empty()) << shown;
    }
}

TEST(CliUsage, HelpForTheToolAndEveryCommand)
{
    const char *commands[] = {"info", "ls", "cd", "pwd", "mkdir", "rmdir", "mv", "put", "get",
                              "rm", "swap", "format", "firmware", "font", "raw", "convert"};
    TempDir dir;
    const Result tool = clitest::Run(dir.Path("nobody.sock"), {"--help"}, dir.path());
    EXPECT_EQ(tool.status, 0);
    for (const char *name : commands) {
        EXPECT_TRUE(Has(tool.out, std::string("  ") + name + " ")) << name;
        const Result r = clitest::Run(dir.Path("nobody.sock"), {name, "--help"}, dir.path());
        EXPECT_EQ(r.status, 0) << name;
        EXPECT_EQ(r.out.rfind(std::string("Usage: zvc450 [--internal|--external] ") + name, 0), 0u) << r.out;
    }
    EXPECT_EQ(clitest::Run(dir.Path("nobody.sock"), {"help", "get"}, dir.path()).out,
              clitest::Run(dir.Path("nobody.sock"), {"get", "-h"}, dir.path()).out);
}

TEST_F(Cli, NoPlayerIsADeviceError)
{
    const Result r = Z({"ls"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(Has(r.err, "no player answers")) << r.err;
    // An offline conversion needs no player at all; a missing file is a file error.
    EXPECT_EQ(Z({"convert", "nothing.BCW"}).status, 1);
}

// ---- Copies --------------------------------------------------------------

// A folder of files of the sizes that break transfer code, with long,
// lower-case and non-ASCII names, goes to the player and back unchanged.
TEST_F(Cli, RoundTripOfAFolderIsByteForByte)
{
    Start();
    struct File {
        const char *name;
        size_t size;
    };
    const File files[] = {{"empty.dat", 0},        {"one.bin", 1},          {"A511.BIN", 511},
                          {"b512.bin", 512},       {"c513.bin", 513},       {"Song with spaces.mp3", 16383},
                          {"exact16k.bin", 16384}, {"Grüße €.txt", 16385}, {"big.bin", 300000}};
    MakeFolder("music");
    std::vector<std::string> put = {"put"};
    for (size_t i = 0; i < sizeof files / sizeof files[0]; ++i) {
        WriteFile(Local(std::string("music/") + files[i].name), Pattern(files[i].size, unsigned(i)));
        put.push_back(std::string("music/") + files[i].name);
    }
    const Result putResult = Z(put);
    ASSERT_EQ(putResult.status, 0) << putResult.err;
    EXPECT_TRUE(putResult.err.empty()) << "no progress without a terminal: " << putResult.err;

    // ls: the names in the order they were put; ls -l: numbers and sizes.
    std::vector<std::string> expected;
    for (const File &f : files)
        expected.push_back(f.name);
    EXPECT_EQ(Ls(), expected);
    const Result longList = Z({"ls", "-l"});
    ASSERT_EQ(longList.status, 0);
    const std::vector<std::string> lines = Lines(longList.out);
    ASSERT_EQ(lines.size(), expected.size());
    for (size_t i = 0; i < lines.size(); ++i) {
        char type = 0;
        int number = -1;
        unsigned long size = 0;
        ASSERT_EQ(std::sscanf(lines[i].c_str(), "%c %d %lu", &type, &number, &size), 3) << lines[i];
        EXPECT_EQ(type, 'f');
        EXPECT_EQ(number, int(i));
        EXPECT_EQ(size, files[i].size);
        EXPECT_EQ(lines[i].substr(42), files[i].name) << "the name starts in column 43";
    }

    MakeFolder("back");
    std::vector<std::string> get = {"get", "-o", "back"};
    get.insert(get.end(), expected.begin(), expected.end());
    const Result getResult = Z(get);
    ASSERT_EQ(getResult.status, 0) << getResult.err;
    EXPECT_EQ(FolderEntries(Local("back")).size(), expected.size()) << "no temporary files left";
    for (const File &f : files)
        EXPECT_TRUE(ReadFile(Local(std::string("back/") + f.name)) == ReadFile(Local(std::string("music/") + f.name)))
            << f.name;

    // By number, into the current folder, over an older file of that name:
    // the name comes from the player, so only with --force.
    WriteFile(Local("big.bin"), "old");
    EXPECT_EQ(Z({"get", "8"}).status, 1);
    EXPECT_EQ(ReadFile(Local("big.bin")), "old");
    ASSERT_EQ(Z({"get", "--force", "8"}).status, 0);
    EXPECT_TRUE(ReadFile(Local("big.bin")) == ReadFile(Local("music/big.bin")));
}

TEST_F(Cli, PutChecksEveryFileBeforeCopyingAny)
{
    Start();
    MakeLocal("a.bin", 100);
    MakeLocal("b.bin", 100);
    MakeFolder("folder");
    struct Row {
        std::vector<std::string> args;
        const char *said;
    };
    const Row rows[] = {
        {{"put", "a.bin", "missing.bin"}, "missing.bin: No such file or directory"},
        {{"put", "a.bin", "folder"}, "is a folder"},
        {{"put", "a.bin", "folder/../a.bin"}, "same name"},
    };
    for (const Row &row : rows) {
        const Result r = Z(row.args);
        EXPECT_EQ(r.status, 1) << row.said;
        EXPECT_TRUE(Has(r.err, row.said)) << r.err;
        EXPECT_TRUE(Ls().empty()) << row.said;
    }
    ASSERT_EQ(Z({"put", "a.bin"}).status, 0);
    MakeLocal("A.BIN", 100, 3);
    const Result again = Z({"put", "b.bin", "A.BIN"});
    EXPECT_EQ(again.status, 1);
    EXPECT_TRUE(Has(again.err, "already exists")) << again.err;
    EXPECT_EQ(Ls(), std::vector<std::string>{"a.bin"});
}

// On Linux "\\" and ":" are characters of a file name, but the player cannot
// store them: put says which character, and stores the copy with '_' in its
// place only when told to.  mkdir and mv say the same.
TEST_F(Cli, NamesThePlayerCannotStoreAreNamedAndMendedOnlyOnRequest)
{
    Start();
    MakeLocal("AC\\DC - Thunder.mp3", 100);
    MakeLocal("Artist: Song.mp3", 200, 2);
    MakeLocal("take 1.", 300, 3);
    const Result refused = Z({"put", "AC\\DC - Thunder.mp3"});
    EXPECT_EQ(refused.status, 1);
    EXPECT_TRUE(Has(refused.err, "cannot store '\\' in a name")) << refused.err;
    EXPECT_TRUE(Has(refused.err, "--rename-invalid it is stored as 'AC_DC - Thunder.mp3'")) << refused.err;
    const Result dot = Z({"put", "take 1."});
    EXPECT_EQ(dot.status, 1);
    EXPECT_TRUE(Has(dot.err, "ends in a dot")) << dot.err;
    EXPECT_TRUE(Ls().empty());

    const Result stored = Z({"put", "--rename-invalid", "AC\\DC - Thunder.mp3", "Artist: Song.mp3", "take 1."});
    ASSERT_EQ(stored.status, 0) << stored.err;
    EXPECT_TRUE(Has(stored.err, "stored as 'AC_DC - Thunder.mp3'")) << stored.err;
    EXPECT_EQ(Ls(), (std::vector<std::string>{"AC_DC - Thunder.mp3", "Artist_ Song.mp3", "take 1_"}));
    MakeFolder("back");
    ASSERT_EQ(Z({"get", "Artist_ Song.mp3", "-o", "back"}).status, 0);
    EXPECT_TRUE(ReadFile(Local("back/Artist_ Song.mp3")) == ReadFile(Local("Artist: Song.mp3")));

    const Result mkdir = Z({"mkdir", "a:b"});
    EXPECT_EQ(mkdir.status, 1);
    EXPECT_TRUE(Has(mkdir.err, "cannot store ':'")) << mkdir.err;
    const Result mv = Z({"mv", "take 1_", "x?y"});
    EXPECT_EQ(mv.status, 1);
    EXPECT_TRUE(Has(mv.err, "cannot store '?'")) << mv.err;
    EXPECT_EQ(Ls().size(), 3u);
}

// Failures of the player reach the user as exit status 1 and the library's
// own text, whatever the command, with a plain sentence on the next line:
// what happened and what to do.
TEST_F(Cli, DeviceErrorsCarryTheLibrarysText)
{
    struct Row {
        std::vector<std::string> player;
        std::vector<std::string> command;
        std::vector<const char *> said;
    };
    const Row rows[] = {
        {{"--full"},
         {"put", "a.bin"},
         {"put a.bin: ZVC450USB_ERR_DISKFULL\n"
          "The memory of the player is full. Delete files on the player to make room.\n"}},
        {{"--refuse", "DM=16"},
         {"mkdir", "New"},
         {"ZVC450USB_ERR_INTERNAL - ZVC450INT_ERR_FILE_EXIST\n"
          "A file or directory of this name is already on the player. Rename or delete it first.\n"}},
        {{"--cut-after", "60000"},
         {"put", "a.bin"},
         {"ZVC450USB_ERR_USB or TIMEOUT Please check Timeout Value\nThe player did not answer in time.",
          "incomplete copy of 'a.bin'"}},
        {{"--mute"},
         {"--timeout", "1", "ls"},
         {"does not identify itself: ZVC450USB_ERR_USB or TIMEOUT Please check Timeout Value\n"
          "The player did not answer in time."}},
    };
    MakeLocal("a.bin", 200000);
    for (const Row &row : rows) {
        Start(row.player);
        const Result r = Z(row.command);
        EXPECT_EQ(r.status, 1) << row.player[0];
        for (const char *said : row.said)
            EXPECT_TRUE(Has(r.err, said)) << row.player[0] << ": " << r.err;
    }
}

// ---- Names and file commands -------------------------------------------------

TEST_F(Cli, MissingNamesAreClearErrorsAndChangeNothing)
{
    Start();
    MakeLocal("a.bin", 10);
    ASSERT_EQ(Z({"put", "a.bin"}).status, 0);
    ASSERT_EQ(Z({"mkdir", "Dir"}).status, 0);
    const char *rows[][4] = {
        {"get", "nope.bin", nullptr, "no file named 'nope.bin'"},
        {"get", "7", nullptr, "no file number 7"},
        {"get", "Dir", nullptr, "'Dir' is a directory"},
        {"rm", "a.bin", "nope.bin", "nothing was deleted"},
        {"mv", "nope.bin", "x.bin", "no file or directory named 'nope.bin'"},
        {"swap", "a.bin", "nope.bin", "no file named 'nope.bin'"},
        {"rmdir", "nope", nullptr, "no directory named 'nope'"},
        {"rmdir", "a.bin", nullptr, "'a.bin' is not a directory"},
        {"cd", "nope", nullptr, "no directory named 'nope'"},
        {"cd", "..", nullptr, "the root"},
        {"mkdir", "dir", nullptr, "'Dir' already exists"},
        {"mv", "a.bin", "DIR", "'Dir' already exists"},
    };
    for (const auto &row : rows) {
        std::vector<std::string> args = {row[0], row[1]};
        if (row[2])
            args.push_back(row[2]);
        const Result r = Z(args);
        EXPECT_EQ(r.status, 1) << row[0] << " " << row[1];
        EXPECT_TRUE(Has(r.err, row[3])) << r.err;
    }
    EXPECT_EQ(Ls(), (std::vector<std::string>{"Dir/", "a.bin"}));
    EXPECT_FALSE(Exists(Local("nope.bin")));
}

TEST_F(Cli, NamesNumbersCaseAndAmbiguity)
{
    Start();
    for (const char *name : {"zero.bin", "1", "two.bin", "three.bin"})
        MakeLocal(name, 20);
    ASSERT_EQ(Z({"put", "zero.bin", "1", "two.bin", "three.bin"}).status, 0);

    // "1" is the name of file 1... which is also its number: not ambiguous.
    EXPECT_EQ(Z({"get", "-o", ".", "1"}).status, 0);
    // "3" names no file but numbers three.bin; "2" numbers two.bin.
    ASSERT_EQ(Z({"swap", "3", "2"}).status, 0);
    EXPECT_EQ(Ls(), (std::vector<std::string>{"zero.bin", "1", "three.bin", "two.bin"}));
    // Now "1" would be the name of file 1 and the number of... file 1 still.
    // Move the file named "1" to the end: its name and number part ways.
    ASSERT_EQ(Z({"swap", "1", "3"}).status, 0);
    const Result ambiguous = Z({"get", "1"});
    EXPECT_EQ(ambiguous.status, 1);
    EXPECT_TRUE(Has(ambiguous.err, "ambiguous")) << ambiguous.err;
    EXPECT_EQ(Z({"rm", "./1"}).status, 0);
    EXPECT_EQ(Ls(), (std::vector<std::string>{"zero.bin", "two.bin", "three.bin"}));

    // FAT ignores case, so do names; rename keeps the file.
    ASSERT_EQ(Z({"mv", "TWO.BIN", "Deux.bin"}).status, 0);
    // Several names and numbers are all looked up in one listing.
    ASSERT_EQ(Z({"rm", "0", "deux.bin"}).status, 0);
    EXPECT_EQ(Ls(), std::vector<std::string>{"three.bin"});
}

TEST_F(Cli, DirectoriesCdPwdMkdirRmdirMv)
{
    Start();
    MakeLocal("song.mp3", 3000);
    ASSERT_EQ(Z({"mkdir", "Music"}).status, 0);
    ASSERT_EQ(Z({"cd", "Music"}).status, 0);
    ASSERT_EQ(Z({"mkdir", "Rock"}).status, 0);
    ASSERT_EQ(Z({"cd", "Rock"}).status, 0);
    EXPECT_EQ(Z({"pwd"}).out, "/Music/Rock\n");
    ASSERT_EQ(Z({"put", "song.mp3"}).status, 0);
    // The current directory belongs to the memory: the card is still at its root.
    EXPECT_EQ(Z({"--external", "pwd"}).out, "/\n");

    ASSERT_EQ(Z({"cd", "/"}).status, 0);
    EXPECT_EQ(Z({"pwd"}).out, "/\n");
    ASSERT_EQ(Z({"cd", "music/rock"}).status, 0);
    EXPECT_EQ(Ls(), std::vector<std::string>{"song.mp3"});
    // A path that fails half-way leaves the player where it was.
    const Result half = Z({"cd", "../nope"});
    EXPECT_EQ(half.status, 1);
    EXPECT_EQ(Z({"pwd"}).out, "/Music/Rock\n");
    const Result absolute = Z({"cd", "/Music/nope"});
    EXPECT_EQ(absolute.status, 1);
    EXPECT_EQ(Z({"pwd"}).out, "/Music/Rock\n");

    ASSERT_EQ(Z({"cd", "../.."}).status, 0);
    ASSERT_EQ(Z({"mv", "Music", "Songs"}).status, 0);
    const Result notEmpty = Z({"rmdir", "Songs"});
    EXPECT_EQ(notEmpty.status, 1);
    EXPECT_TRUE(Has(notEmpty.err, "ZVC450USB_ERR_INTERNAL")) << "the library's text: " << notEmpty.err;
    ASSERT_EQ(Z({"cd", "Songs/Rock"}).status, 0);
    ASSERT_EQ(Z({"rm", "song.mp3"}).status, 0);
    ASSERT_EQ(Z({"cd", ".."}).status, 0);
    ASSERT_EQ(Z({"rmdir", "Rock"}).status, 0);
    ASSERT_EQ(Z({"cd", ".."}).status, 0);
    ASSERT_EQ(Z({"rmdir", "songs"}).status, 0);
    EXPECT_TRUE(Ls().empty());
}

// Fills a directory of the stopped player's internal memory with `count`
// empty files F0000.BIN... through mtools, which knows nothing of us.
void FillWithMtools(const std::string &image, const std::string &folder, const std::string &target, int count)
{
    ::mkdir(folder.c_str(), 0755);
    for (int i = 0; i < count; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "/F%04d.BIN", i);
        WriteFile(folder + name, std::string());
    }
    if (target != "::/") {
        ASSERT_EQ(Shell("MTOOLS_SKIP_CHECK=1 mmd -i '" + image + "' '" + target + "'"), 0);
    }
    ASSERT_EQ(Shell("MTOOLS_SKIP_CHECK=1 mcopy -i '" + image + "' '" + folder + "'/* '" + target + "'"), 0);
}

// More entries than the first listing has room for: the arrays grow.
TEST_F(Cli, LargeDirectoriesAreListedWhole)
{
    Start();
    player_.reset();
    FillWithMtools(dir_.Path("state/internal.img"), Local("many"), "::/MANY", 600);
    Start();
    ASSERT_EQ(Z({"cd", "MANY"}).status, 0);
    const std::vector<std::string> names = Ls();
    ASSERT_EQ(names.size(), 600u);
    EXPECT_EQ(names.back(), "F0599.BIN");
    const Result r = Z({"get", "599", "F0598.BIN"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(Exists(Local("F0599.BIN")) && Exists(Local("F0598.BIN")));
}

// Older players carry file numbers in one byte: file 256 would be file 0.
TEST_F(Cli, OlderFirmwareCannotReachFilesBeyond255)
{
    Start({"--firmware", "1.25"});
    player_.reset();
    FillWithMtools(dir_.Path("state/internal.img"), Local("many"), "::/", 300);
    Start({"--firmware", "1.25"});
    EXPECT_EQ(Z({"get", "255"}).status, 0);
    for (const char *word : {"256", "F0299.BIN"}) {
        const Result r = Z({"rm", word});
        EXPECT_EQ(r.status, 1) << word;
        EXPECT_TRUE(Has(r.err, "only files 0 to 255")) << r.err;
    }
    EXPECT_EQ(Ls().size(), 300u);
}

// ---- The player as a whole ----------------------------------------------------

TEST_F(Cli, InfoReportsFirmwareAndEachMemory)
{
    Start();
    const Result r = Z({"info"});
    ASSERT_EQ(r.status, 0) << r.err;
    for (const char *line : {"firmware: 1.43\n", "firmware-number: 0x14300\n", "internal.status: ok\n",
                             "internal.capacity: ", "internal.fat-type: FAT12\n", "external.status: ok\n",
                             "external.medium: MMC/SD\n"})
        EXPECT_TRUE(Has(r.out, line)) << line << "\n" << r.out;
    const Result external = Z({"--external", "info"});
    EXPECT_FALSE(Has(external.out, "internal.")) << external.out;
    EXPECT_TRUE(Has(external.out, "external.total-blocks: ")) << external.out;
    for (const std::string &line : Lines(r.out))
        EXPECT_NE(line.find(": "), std::string::npos) << "key: value lines only: " << line;
}

// Both programs read "--name=value" as "--name value" (getopt_long's
// convention): the player started that way, the tool's global and command
// options given that way.
TEST_F(Cli, OptionsTakeTheirValueAfterAnEqualsSign)
{
    Start({"--firmware=1.30", "--internal-size=8M", "--no-card"});
    const Result info = Z({"--timeout=5", "--internal", "info"});
    ASSERT_EQ(info.status, 0) << info.err;
    EXPECT_TRUE(Has(info.out, "firmware-number: 0x13000\n")) << info.out;
    EXPECT_TRUE(Has(info.out, "internal.total-blocks: 510\n")) << info.out;  // 8 MiB
    MakeLocal("song.mp3", 5000);
    ASSERT_EQ(Z({"put", "song.mp3"}).status, 0);
    MakeFolder("back");
    const Result get = Z({"--timeout=5", "get", "--output=back", "song.mp3"});
    ASSERT_EQ(get.status, 0) << get.err;
    EXPECT_TRUE(ReadFile(Local("back/song.mp3")) == ReadFile(Local("song.mp3")));
    const Result bad = Z({"--timeout=", "ls"});
    EXPECT_EQ(bad.status, 2);
    EXPECT_TRUE(Has(bad.err, "--timeout")) << bad.err;
}

TEST_F(Cli, NoCardIsAStatusForInfoAndAnErrorForCommands)
{
    Start({"--no-card"});
    const Result info = Z({"info"});
    EXPECT_EQ(info.status, 0) << info.err;
    EXPECT_TRUE(Has(info.out, "internal.status: ok\n")) << info.out;
    EXPECT_TRUE(Has(info.out, "external.status: no medium\n")) << info.out;
    const Result ls = Z({"--external", "ls"});
    EXPECT_EQ(ls.status, 1);
    EXPECT_TRUE(Has(ls.err, "ZVC450USB_ERR_")) << ls.err;
}

TEST_F(Cli, OlderFirmwareHasFilesButNoDirectories)
{
    // 1.25: 8.3 names and one-byte file numbers.
    Start({"--firmware", "1.25"});
    const Result info = Z({"info"});
    EXPECT_TRUE(Has(info.out, "firmware: 1.25\n")) << info.out;
    EXPECT_FALSE(Has(info.out, "internal.medium:")) << "medium information starts with 1.42";
    MakeLocal("song.mp3", 5000);
    ASSERT_EQ(Z({"put", "song.mp3"}).status, 0);
    EXPECT_EQ(Ls(), std::vector<std::string>{"SONG.MP3"});
    MakeFolder("back");
    ASSERT_EQ(Z({"get", "song.mp3", "-o", "back"}).status, 0);
    EXPECT_TRUE(ReadFile(Local("back/SONG.MP3")) == ReadFile(Local("song.mp3")));
    EXPECT_EQ(Z({"pwd"}).out, "/\n");
    const Result mkdir = Z({"mkdir", "Music"});
    EXPECT_EQ(mkdir.status, 1);
    EXPECT_TRUE(Has(mkdir.err, "ZVC450USB_ERR_UNSUPPORTED")) << mkdir.err;
}

TEST_F(Cli, FormatAsksUnlessTold)
{
    Start();
    MakeLocal("a.bin", 100);
    ASSERT_EQ(Z({"put", "a.bin"}).status, 0);
    ASSERT_EQ(Z({"--external", "put", "a.bin"}).status, 0);

    for (const char *answer : {"n\n", "", "maybe\n"}) {
        const Result r = Z({"format"}, answer);
        EXPECT_EQ(r.status, 1) << answer;
        EXPECT_TRUE(Has(r.err, "Format the internal memory")) << r.err;
        EXPECT_EQ(Ls(), std::vector<std::string>{"a.bin"});
    }
    EXPECT_EQ(Z({"format"}, "y\n").status, 0);
    EXPECT_TRUE(Ls().empty());
    EXPECT_EQ(Ls({"--external"}), std::vector<std::string>{"a.bin"}) << "only the chosen memory";
    const Result low = Z({"format", "--low", "--yes", "--external"});
    EXPECT_EQ(low.status, 0) << low.err;
    EXPECT_TRUE(Ls({"--external"}).empty());
}

// ---- Ctrl-C ------------------------------------------------------------------

// On a terminal the library draws its progress line, and Ctrl-C is its
// Cancel: the player stops, nothing is left behind, the next command works.
TEST_F(Cli, CtrlCDuringGetOnATerminalLeavesNoFile)
{
    Start();
    const std::string big = MakeLocal("big.bin", 1500000);
    MakeLocal("small.bin", 1000, 2);
    ASSERT_EQ(Z({"put", "big.bin", "small.bin"}).status, 0);
    Start({"--bus-speed", "300000"});  // about 5 s for the big file

    MakeFolder("back");
    const Result r = RunOnTerminalAndInterrupt(Socket(), {"get", "big.bin", "small.bin", "-o", "back"}, work_,
                                               "Uploading...");
    EXPECT_EQ(r.status, 130) << r.out;
    EXPECT_TRUE(Has(r.out, "cancelled")) << r.out;
    EXPECT_TRUE(FolderEntries(Local("back")).empty()) << "no partial or temporary file";

    EXPECT_EQ(Ls(), (std::vector<std::string>{"big.bin", "small.bin"}));
    ASSERT_EQ(Z({"get", "small.bin", "-o", "back"}).status, 0);
    EXPECT_TRUE(ReadFile(Local("back/small.bin")) == ReadFile(Local("small.bin")));
}

// Without a terminal SIGINT cancels just the same; the file that the player
// created for the cancelled copy is removed again.
TEST_F(Cli, CtrlCDuringPutLeavesNoFileOnThePlayer)
{
    Start({"--bus-speed", "300000"});
    MakeLocal("big.bin", 1500000);
    MakeLocal("small.bin", 1000, 2);
    const Result r = RunAndSignal(Socket(), {"put", "big.bin"}, work_, 1000);
    EXPECT_EQ(r.status, 130) << r.err;
    EXPECT_TRUE(Has(r.err, "cancelled")) << r.err;
    EXPECT_TRUE(Ls().empty());

    ASSERT_EQ(Z({"put", "small.bin"}).status, 0);
    MakeFolder("back");
    ASSERT_EQ(Z({"get", "small.bin", "-o", "back"}).status, 0);
    EXPECT_TRUE(ReadFile(Local("back/small.bin")) == ReadFile(Local("small.bin")));
}

TEST_F(Cli, ProgressOnlyOnATerminalAndNeverWhenQuiet)
{
    Start();
    MakeLocal("a.bin", 200000);
    MakeLocal("b.bin", 200000, 2);
    const Result shown = RunOnTerminalAndInterrupt(Socket(), {"put", "a.bin"}, work_, std::string());
    EXPECT_EQ(shown.status, 0) << shown.out;
    EXPECT_TRUE(Has(shown.out, "Downloading")) << shown.out;
    const Result quiet = RunOnTerminalAndInterrupt(Socket(), {"put", "-q", "b.bin"}, work_, std::string());
    EXPECT_EQ(quiet.status, 0) << quiet.out;
    EXPECT_TRUE(quiet.out.empty()) << quiet.out;
}

// ---- Recordings ----------------------------------------------------------------

class CliRecordings : public Cli {
protected:
    void SetUp() override
    {
        Cli::SetUp();
        if (Shell("command -v espeak-ng >/dev/null && command -v sox >/dev/null && command -v soxi >/dev/null") != 0)
            GTEST_SKIP() << "espeak-ng and sox are needed to make recordings";
        const std::string speech = Local("speech.wav");
        ASSERT_EQ(Shell("espeak-ng -w '" + speech + "' 'The player records speech.' 2>/dev/null"), 0);
        ASSERT_EQ(Shell("sox '" + speech + "' -r 8000 -c 1 -e ima-adpcm '" + Local("adpcm.wav") + "'"), 0);
        ASSERT_EQ(Shell("sox '" + speech + "' -r 8000 -c 1 -b 16 -e signed-integer -t raw '" + Local("pcm.raw") + "'"),
                  0);
        ASSERT_EQ(Shell("'" + MkrecPath() + "' bcw '" + Local("adpcm.wav") + "' '" + Local("VOICE001.BCW") + "'"), 0);
        ASSERT_EQ(Shell("'" + MkrecPath() + "' bvf 475 '" + Local("pcm.raw") + "' '" + Local("VOICE002.BVF") + "'"), 0);
    }

    std::string Soxi(const std::string &option, const std::string &file)
    {
        const std::string out = Local("soxi.txt");
        Shell("soxi " + option + " '" + file + "' > '" + out + "' 2>/dev/null");
        std::string text = ReadFile(out);
        while (!text.empty() && text.back() == '\n')
            text.pop_back();
        return text;
    }
};

TEST_F(CliRecordings, ConvertOfflineAndOnGetGiveTheSameWav)
{
    // Offline: default name next to the recording, or the given name.
    ASSERT_EQ(Z({"convert", "VOICE001.BCW"}).status, 0);
    ASSERT_EQ(Z({"convert", "VOICE002.BVF", "speech2.wav"}).status, 0);
    EXPECT_EQ(Soxi("-e", Local("VOICE001.WAV")), "IMA ADPCM");
    EXPECT_EQ(Soxi("-r", Local("VOICE001.WAV")), "8000");
    EXPECT_EQ(Soxi("-e", Local("speech2.wav")), "Signed Integer PCM");
    EXPECT_EQ(Soxi("-b", Local("speech2.wav")), "16");

    // Through the player: get converts by extension unless --raw.
    Start();
    ASSERT_EQ(Z({"put", "VOICE001.BCW", "VOICE002.BVF"}).status, 0);
    MakeFolder("wav");
    MakeFolder("raw");
    ASSERT_EQ(Z({"get", "VOICE001.BCW", "1", "-o", "wav"}).status, 0);
    EXPECT_EQ(FolderEntries(Local("wav")), (std::vector<std::string>{"VOICE001.WAV", "VOICE002.WAV"}));
    EXPECT_TRUE(ReadFile(Local("wav/VOICE001.WAV")) == ReadFile(Local("VOICE001.WAV")));
    EXPECT_TRUE(ReadFile(Local("wav/VOICE002.WAV")) == ReadFile(Local("speech2.wav")));
    ASSERT_EQ(Z({"get", "--raw", "0", "1", "-o", "raw"}).status, 0);
    EXPECT_TRUE(ReadFile(Local("raw/VOICE001.BCW")) == ReadFile(Local("VOICE001.BCW")));
    EXPECT_TRUE(ReadFile(Local("raw/VOICE002.BVF")) == ReadFile(Local("VOICE002.BVF")));
}

TEST_F(CliRecordings, ConvertRefusesBadInputAndKeepsOlderFiles)
{
    WriteFile(Local("junk.BVF"), "this is not a recording at all");
    WriteFile(Local("junk.WAV"), "older file");
    const Result junk = Z({"convert", "junk.BVF"});
    EXPECT_EQ(junk.status, 1);
    EXPECT_TRUE(Has(junk.err, "ZVC450USB_ERR_FORMAT")) << "the library's text: " << junk.err;
    EXPECT_EQ(ReadFile(Local("junk.WAV")), "older file");

    const Result itself = Z({"convert", "VOICE001.BCW", "VOICE001.BCW"});
    EXPECT_EQ(itself.status, 1);
    EXPECT_TRUE(Has(itself.err, "the recording itself")) << itself.err;
    EXPECT_EQ(Z({"convert", "missing.BCW"}).status, 1);
    for (const std::string &name : FolderEntries(work_))
        EXPECT_EQ(name.find(".zvc450-"), std::string::npos) << name;
}

// ---- Maintenance: skipped until the library exports the calls -------------------

#define REQUIRE_EXPORTS(...)                                                       \
    for (const char *name : {__VA_ARGS__})                                        \
        if (!LibraryExports(name))                                                \
            GTEST_SKIP() << "libzvc450usb does not export " << name << " yet";

TEST_F(Cli, FontPutInfoGetErase)
{
    REQUIRE_EXPORTS("ZVC450_DownloadFont", "ZVC450_GetFontInfo", "ZVC450_UploadFont", "ZVC450_EraseFont");
    Start();
    const std::string font = MakeLocal("unicode.fot", 70000, 9);
    ASSERT_EQ(Z({"font", "put", font}).status, 0);
    const Result info = Z({"font", "info"});
    ASSERT_EQ(info.status, 0) << info.err;
    EXPECT_EQ(info.out, "name: unicode.fot\nsize: 70000\n");
    MakeFolder("back");
    ASSERT_EQ(Z({"font", "get", "back"}).status, 0);
    EXPECT_TRUE(ReadFile(Local("back/unicode.fot")) == ReadFile(Local(font)));
    ASSERT_EQ(Z({"font", "get", "copy.fot"}).status, 0);
    EXPECT_TRUE(ReadFile(Local("copy.fot")) == ReadFile(Local(font)));
    EXPECT_EQ(Z({"font", "erase"}).status, 0);
    EXPECT_NE(Z({"font", "info"}).out, info.out);
}

TEST_F(Cli, RawBlocksAreSavedWholeAndRangesChecked)
{
    REQUIRE_EXPORTS("ZVC450_UploadRawData");
    Start();
    const Result r = Z({"raw", "2", "3", "blocks.dat"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ReadFile(Local("blocks.dat")).size(), 3u * 16384u);
    const Result beyond = Z({"raw", "250", "10", "beyond.dat"});
    EXPECT_EQ(beyond.status, 1);
    EXPECT_TRUE(Has(beyond.err, "beyond")) << beyond.err;
    EXPECT_FALSE(Exists(Local("beyond.dat")));
}

// Intel-hex text of `data` at `address` (extended linear address records).
std::string IntelHex(const std::string &data, unsigned address, bool breakChecksum = false)
{
    std::string hex;
    auto record = [&hex](unsigned type, unsigned addr, const std::string &bytes, bool broken) {
        char buf[16];
        unsigned sum = unsigned(bytes.size()) + (addr >> 8) + (addr & 0xFF) + type;
        std::snprintf(buf, sizeof buf, ":%02X%04X%02X", unsigned(bytes.size()), addr & 0xFFFF, type);
        hex += buf;
        for (char c : bytes) {
            std::snprintf(buf, sizeof buf, "%02X", unsigned(uint8_t(c)));
            hex += buf;
            sum += uint8_t(c);
        }
        std::snprintf(buf, sizeof buf, "%02X\n", ((0x100 - (sum & 0xFF)) + (broken ? 1 : 0)) & 0xFF);
        hex += buf;
    };
    record(4, 0, std::string{char(address >> 24), char((address >> 16) & 0xFF)}, false);
    for (size_t i = 0; i < data.size(); i += 16)
        record(0, unsigned((address + i) & 0xFFFF), data.substr(i, 16), breakChecksum && i == 16);
    record(1, 0, std::string(), false);
    return hex;
}

TEST_F(Cli, FirmwareFromIntelHexOrImageAfterConfirmation)
{
    REQUIRE_EXPORTS("ZVC450_UpgradeFirmware");
    Start();
    const std::string code = Pattern(1000, 5);
    WriteFile(Local("codec.hex"), IntelHex(code, 0x2000));
    WriteFile(Local("broken.hex"), IntelHex(code, 0x2000, true));
    WriteFile(Local("boot.bin"), Pattern(8192, 6));

    const Result declined = Z({"firmware", "--app", "codec.hex"}, "n\n");
    EXPECT_EQ(declined.status, 1);
    EXPECT_FALSE(Exists(player_->StateFile("app.bin")) && ReadFile(player_->StateFile("app.bin")).size() > 0);
    const Result broken = Z({"firmware", "--app", "--yes", "broken.hex"});
    EXPECT_EQ(broken.status, 1);
    EXPECT_TRUE(Has(broken.err, "broken.hex")) << broken.err;

    const Result app = Z({"firmware", "--app", "codec.hex"}, "y\n");
    ASSERT_EQ(app.status, 0) << app.err;
    EXPECT_TRUE(ReadFile(player_->StateFile("app.bin")).substr(0, code.size()) == code);
    const Result boot = Z({"firmware", "--boot", "-y", "boot.bin"});
    ASSERT_EQ(boot.status, 0) << boot.err;
    EXPECT_TRUE(ReadFile(player_->StateFile("boot.bin")) == ReadFile(Local("boot.bin")));
    WriteFile(Local("toolong.bin"), Pattern(8193, 7));
    EXPECT_EQ(Z({"firmware", "--boot", "-y", "toolong.bin"}).status, 1);
}

}  // namespace
