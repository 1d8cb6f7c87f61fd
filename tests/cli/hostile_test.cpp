// hostile_test.cpp - zvc450 against players that lie.
//
// A USB device is outside the PC's trust boundary: a player with damaged
// firmware or file system, or a device that only pretends to be a player,
// can say anything.  Here a scripted player says the worst it can, and the
// real tool must neither harm the PC's files, nor hang, nor print anything
// that forges its output or reaches the terminal as a control sequence.

#include "harness.h"
#include "hostile_player.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <thread>

using namespace clitest;
using namespace hostile;

namespace {

// Control characters other than the line ends and the carriage return and
// erase-line sequence of a progress line.
bool HasRawControl(const std::string &text)
{
    for (size_t i = 0; i < text.size(); ++i) {
        const auto c = uint8_t(text[i]);
        if (c == '\n' || c == '\r')
            continue;
        if (c == 0x1B && text.compare(i, 3, "\033[K") == 0) {
            i += 2;
            continue;
        }
        if (c < 0x20 || c == 0x7F)
            return true;
    }
    return false;
}

Data Text(const std::string &s) { return Data(s.begin(), s.end()); }

// Sends `body` as messages of `type` from three threads at once until the
// host goes.
void Flood(Link &link, uint8_t type, const Data &body)
{
    std::vector<std::thread> senders;
    for (int i = 0; i < 3; ++i)
        senders.emplace_back([&] {
            while (link.send(type, body)) {
            }
        });
    for (std::thread &t : senders)
        t.join();
}

SlotEntry File(const std::string &longName, const std::string &shortName, const std::string &content,
               uint16_t cluster = 10)
{
    return SlotEntry{longName, shortName, 0x20, cluster, Text(content)};
}

SlotEntry Dir(const std::string &longName, const std::string &shortName, uint16_t cluster)
{
    return SlotEntry{longName, shortName, 0x10, cluster, {}};
}

class Hostile : public ::testing::Test {
protected:
    void SetUp() override
    {
        work_ = dir_.Path("work");
        ::mkdir(work_.c_str(), 0755);
    }

    Result Z(const std::vector<std::string> &args, RunOptions options = RunOptions())
    {
        return RunWith(player_.socket(), args, work_, options);
    }
    std::string Local(const std::string &name) const { return work_ + "/" + name; }
    std::string ReadLocal(const std::string &name) const { return ReadFile(Local(name)); }

    TempDir dir_;
    std::string work_;
    HostilePlayer player_;
};

// A run that must not take long; a hang is a failure, not a wait.
RunOptions Guarded(int ms = 20000)
{
    RunOptions o;
    o.hangGuardMs = ms;
    return o;
}

RunOptions Interrupted(std::vector<int> afterMs, const std::string &trigger = std::string(), bool terminal = false)
{
    RunOptions o = Guarded();
    o.interruptsMs = std::move(afterMs);
    o.trigger = trigger;
    o.terminal = terminal;
    return o;
}

// ---- The PC's files ---------------------------------------------------------

// Names that come from the player, not from the user, never become dot
// files, never carry control characters or a slash, and never replace a
// file without --force.
TEST_F(Hostile, NamesFromThePlayerBecomeSafeLocalNames)
{
    struct Case {
        std::string longName;
        std::string shortName;
        std::string local;
    };
    const Case cases[] = {
        {".bashrc", "BASHRC     ", "_bashrc"},
        {"a\nb.mp3", "AB~1    MP3", "a_b.mp3"},
        {"\033]0;owned\007.mp3", "OWNED~1 MP3", "_]0;owned_.mp3"},
        {"..", "DOTDOT     ", "_."},
        {"x/../y.mp3", "XY~1    MP3", "x_.._y.mp3"},
        {"tab\there\x7f.mp3", "TAB~1   MP3", "tab_here_.mp3"},
    };
    for (size_t i = 0; i < std::size(cases); ++i)
        player_.files.push_back(File(cases[i].longName, cases[i].shortName, "content " + std::to_string(i)));
    WriteFile(Local(".bashrc"), "echo mine\n");

    std::vector<std::string> args = {"get"};
    for (size_t i = 0; i < std::size(cases); ++i)
        args.push_back(std::to_string(i));
    const Result r = Z(args, Guarded());
    EXPECT_EQ(r.status, 0) << r.err;
    for (size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(ReadLocal(cases[i].local), "content " + std::to_string(i)) << cases[i].local;
    EXPECT_EQ(ReadLocal(".bashrc"), "echo mine\n");
    EXPECT_EQ(FolderEntries(work_).size(), std::size(cases) + 1) << "nothing else was made";
    EXPECT_TRUE(Has(r.err, "saved as '_bashrc'")) << r.err;
    EXPECT_FALSE(HasRawControl(r.err)) << r.err;

    // The 8.3 name typed by the user still gives the player's long name.
    ::unlink(Local("_bashrc").c_str());
    EXPECT_EQ(Z({"get", "BASHRC"}, Guarded()).status, 0);
    EXPECT_EQ(ReadLocal("_bashrc"), "content 0");
    EXPECT_EQ(ReadLocal(".bashrc"), "echo mine\n");

    // The long name typed exactly is the user's choice.
    const Result typed = Z({"get", ".bashrc"}, Guarded());
    EXPECT_EQ(typed.status, 0) << typed.err;
    EXPECT_EQ(ReadLocal(".bashrc"), "content 0");
}

TEST_F(Hostile, FilesNamedByThePlayerAreReplacedOnlyWithForce)
{
    player_.files = {File("song.mp3", "SONG    MP3", "new song"), File("Other.mp3", "OTHER   MP3", "new other")};
    WriteFile(Local("song.mp3"), "old song");
    WriteFile(Local("Other.mp3"), "old other");

    for (const char *word : {"0", "SONG.MP3", "song.MP3"}) {
        const Result r = Z({"get", word}, Guarded());
        EXPECT_EQ(r.status, 1) << word;
        EXPECT_TRUE(Has(r.err, "song.mp3") && Has(r.err, "--force")) << r.err;
    }
    EXPECT_EQ(ReadLocal("song.mp3"), "old song");
    EXPECT_TRUE(player_.Commands("MR").empty()) << "refused before anything was copied";

    // All names are checked before the first copy.
    EXPECT_EQ(Z({"get", "other.mp3", "0"}, Guarded()).status, 1);
    EXPECT_EQ(ReadLocal("Other.mp3"), "old other");

    EXPECT_EQ(Z({"get", "--force", "0"}, Guarded()).status, 0);
    EXPECT_EQ(ReadLocal("song.mp3"), "new song");
    // A name typed exactly as the player lists it replaces as it always did.
    EXPECT_EQ(Z({"get", "Other.mp3"}, Guarded()).status, 0);
    EXPECT_EQ(ReadLocal("Other.mp3"), "new other");
}

TEST_F(Hostile, FontNamesFromThePlayerAreSafeToo)
{
    player_.fontName = ".profile";
    WriteFile(Local(".profile"), "mine");
    Result r = Z({"font", "get"}, Guarded());
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ReadLocal(".profile"), "mine");
    EXPECT_EQ(ReadLocal("_profile"), std::string(1000, 'B'));

    r = Z({"font", "get"}, Guarded());
    EXPECT_EQ(r.status, 1) << "exists now";
    EXPECT_TRUE(Has(r.err, "--force")) << r.err;
    EXPECT_EQ(Z({"font", "get", "--force"}, Guarded()).status, 0);

    player_.fontName = "\033[2Jfont\n.fot";
    r = Z({"font", "get"}, Guarded());
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ReadLocal("_[2Jfont_.fot"), std::string(1000, 'B'));
    EXPECT_FALSE(HasRawControl(r.err)) << r.err;

    // An output name given by the user is the user's.
    EXPECT_EQ(Z({"font", "get", ".myfont"}, Guarded()).status, 0);
    EXPECT_EQ(ReadLocal(".myfont"), std::string(1000, 'B'));
}

// A name this file system cannot hold is refused before the data moves, not
// after all of it has arrived.
TEST_F(Hostile, NamesTooLongForThePcAreRefusedBeforeTheTransfer)
{
    // The library keeps 259 characters of a long name: 259 bytes here.
    player_.files = {File(std::string(256, 'a') + ".mp3", "AAAAAA~1MP3", std::string(100000, 'x')),
                     File(std::string(120, 'e') + "\xc3\xa9" + ".mp3", "EEEEEE~1MP3", "ok")};
    Result r = Z({"get", "0"}, Guarded());
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(Has(r.err, "too long")) << r.err;
    EXPECT_TRUE(player_.Commands("MR").empty());
    EXPECT_TRUE(FolderEntries(work_).empty());
    EXPECT_EQ(Z({"get", "1"}, Guarded()).status, 0) << "255 bytes and fewer are fine";

    player_.fontName = std::string(256, 'f');
    r = Z({"font", "get"}, Guarded());
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(Has(r.err, "too long")) << r.err;
    EXPECT_TRUE(player_.Commands("UR").empty());
}

// ---- Control characters on output ---------------------------------------------

TEST_F(Hostile, ListingsEscapeControlCharacters)
{
    player_.dirs = {Dir("dir\033[31mred", "DIR~1      ", 7)};
    player_.files = {File("a\nzvc450: forged line", "A~1     MP3", "x"), File("b\\n.mp3", "B~1     MP3", "y"),
                     File("c\t\x7f\xc2\x9b.mp3", "C~1     MP3", "z"), File("plain.mp3", "PLAIN   MP3", "p")};
    // Not on a terminal: \-escapes, so each entry stays one line and no two
    // names read alike.
    Result r = Z({"ls"}, Guarded());
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Lines(r.out), (std::vector<std::string>{"dir\\033[31mred/", "a\\nzvc450: forged line", "b\\\\n.mp3",
                                                      "c\\t\\177\\302\\233.mp3", "plain.mp3"}));
    r = Z({"ls", "-l"}, Guarded());
    EXPECT_EQ(Lines(r.out).size(), 5u) << r.out;
    EXPECT_FALSE(HasRawControl(r.out)) << r.out;
    // ls's own conventions: --hide-control-chars shows '?', -b forces escapes.
    r = Z({"ls", "--hide-control-chars"}, Guarded());
    EXPECT_EQ(Lines(r.out), (std::vector<std::string>{"dir?[31mred/", "a?zvc450: forged line", "b\\n.mp3",
                                                      "c???.mp3", "plain.mp3"}));
    // On a terminal: '?' as ls does, unless -b.
    RunOptions tty = Guarded();
    tty.terminal = true;
    r = Z({"ls"}, tty);
    EXPECT_TRUE(Has(r.out, "a?zvc450: forged line")) << r.out;
    EXPECT_FALSE(HasRawControl(r.out)) << r.out;
    r = Z({"ls", "--escape"}, tty);
    EXPECT_TRUE(Has(r.out, "a\\nzvc450: forged line")) << r.out;
}

TEST_F(Hostile, IdentificationPathAndErrorTextsAreEscaped)
{
    player_.identification = "BRIGHTFEN ZVC450 FILE SYSTEM A B C D 1.43\nfirmware: 9.99";
    player_.path = {Dir("Music\033]2;owned\007", "MUSIC      ", 5)};
    player_.files = {File("bad\033[2Jname.mp3", "BAD~1   MP3", "x")};
    player_.On("MR", [](const Data &, Link &link) { link.in(zvc450test::refusedAnswer(7)); });

    Result r = Z({"info", "--internal"}, Guarded());
    EXPECT_EQ(r.status, 0) << r.err;
    std::vector<std::string> firmwareLines;
    for (const std::string &line : Lines(r.out))
        if (line.rfind("firmware:", 0) == 0)
            firmwareLines.push_back(line);
    EXPECT_EQ(firmwareLines, std::vector<std::string>{"firmware: 1.43"}) << r.out;
    EXPECT_TRUE(Has(r.out, "identification: BRIGHTFEN ZVC450 FILE SYSTEM A B C D 1.43\\nfirmware: 9.99")) << r.out;

    r = Z({"pwd"}, Guarded());
    EXPECT_EQ(r.out, "/Music\\033]2;owned\\a\n");

    r = Z({"get", "0"}, Guarded());
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(Has(r.err, "bad\\033[2Jname.mp3")) << r.err;
    EXPECT_FALSE(HasRawControl(r.err)) << r.err;

    // The progress line on a terminal shows the name escaped as well.
    player_.On("MR", [this](const Data &packet, Link &link) { player_.AnswerUpload(packet, link); });
    RunOptions tty = Guarded();
    tty.terminal = true;
    r = Z({"get", "0"}, tty);
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_FALSE(Has(r.out, "\033[2J")) << r.out;
    EXPECT_FALSE(HasRawControl(r.out)) << r.out;
}

// ---- Time-outs and Ctrl-C -------------------------------------------------------

// Sends the file slowly, so that a Ctrl-C finds the copy in its data phase.
void SlowUpload(const Data &packet, Link &link, const Data &data)
{
    (void)packet;
    if (!link.in(Ok({0, 0, 0, 0})) || !link.in(Ok()))
        return;
    for (size_t at = 0; at < data.size() && link.pause(100, true); at += 512)
        if (!link.in(Data(data.begin() + long(at), data.begin() + long(at + 512))))
            return;
}

// After Ctrl-C the player is told to stop; one that never acknowledges and
// keeps sending, slowly or as fast as it can, holds the tool only briefly.
TEST_F(Hostile, TheDrainAfterAnAbortEnds)
{
    player_.files = {File("big.mp3", "BIG     MP3", std::string(512 * 200, 'd'))};
    player_.On("MR", [this](const Data &p, Link &link) { SlowUpload(p, link, player_.files[0].content); });
    struct Behaviour {
        const char *what;
        std::function<void(Link &)> abort;
    };
    const Behaviour behaviours[] = {
        {"trickles a block every 150 ms",
         [](Link &link) {
             while (link.pause(150) && link.in(Data(512, 0xEE))) {
             }
         }},
        {"floods blocks", [](Link &link) { Flood(link, 'I', Data(16385, 0xEE)); }},
        {"floods other messages", [](Link &link) { Flood(link, 'H', Data{0x19, 0x04, 0x01, 0xA0}); }},
    };
    for (const Behaviour &b : behaviours) {
        player_.OnAbort(b.abort);
        const int before = player_.Aborts();
        const Result r = Z({"get", "0"}, Interrupted({1000}));
        EXPECT_FALSE(r.hung) << b.what;
        EXPECT_EQ(r.status, 130) << b.what << ": " << r.err;
        EXPECT_TRUE(Has(r.err, "cancelled")) << r.err;
        EXPECT_EQ(player_.Aborts(), before + 1) << b.what;
        EXPECT_TRUE(FolderEntries(work_).empty()) << b.what;
    }
}

// Ctrl-C during a wait for a player that has gone silent ends the wait and
// is reported as a cancel.
TEST_F(Hostile, CtrlCEndsAWaitForASilentPlayer)
{
    player_.files = {File("song.mp3", "SONG    MP3", std::string(512 * 40, 's'))};
    struct Case {
        const char *what;
        std::vector<std::string> args;
        const char *key;
        HostilePlayer::Action action;
    };
    const Case cases[] = {
        {"listing", {"ls"}, "MGG", [](const Data &, Link &) {}},
        {"before the data", {"get", "song.mp3"}, "MR", [](const Data &, Link &link) { link.in(Ok({0, 0, 0, 0})); }},
        {"in the data",
         {"get", "song.mp3"},
         "MR",
         [](const Data &, Link &link) {
             if (link.in(Ok({0, 0, 0, 0})) && link.in(Ok()))
                 link.in(Data(512 * 8, 's'));
         }},
    };
    for (const Case &c : cases) {
        player_.On(c.key, c.action);
        for (bool terminal : {false, true}) {
            const Result r = Z(c.args, Interrupted({1500}, std::string(), terminal));
            EXPECT_FALSE(r.hung) << c.what;
            EXPECT_EQ(r.status, 130) << c.what << (terminal ? " on a terminal: " : ": ") << r.err << r.out;
            EXPECT_TRUE(Has(r.err + r.out, "cancelled")) << r.err << r.out;
            EXPECT_TRUE(FolderEntries(work_).empty()) << c.what;
        }
        player_.On(c.key, nullptr);
    }
}

// A format and a firmware write cannot stop half-way; Ctrl-C says so and
// the work goes on.  A second Ctrl-C still quits at once.
TEST_F(Hostile, FormatAndFirmwareSayTheyCannotBeCancelled)
{
    player_.On("MFD", [](const Data &, Link &link) {
        for (uint8_t percent = 0; percent < 99 && link.pause(150); percent = uint8_t(percent + 5))
            link.in(Ok({percent}));
        link.in(Ok({99}));
        link.in(Ok());
    });
    Result r = Z({"format", "--yes"}, Interrupted({500}, "Formating", true));
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_TRUE(Has(r.out, "cannot be cancelled; the player would be left unusable")) << r.out;

    // The write: the player takes its time over the outcome.
    WriteFile(Local("app.bin"), std::string(512 * 8, 'c'));
    player_.On("C\x01", [](const Data &, Link &link) {
        if (link.in(Ok()) && link.pause(1500))
            link.in(Ok());
    });
    r = Z({"firmware", "--app", "app.bin", "--yes"}, Interrupted({300}, "Codec Upgrade", true));
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_TRUE(Has(r.out, "cannot be cancelled; the player would be left unusable")) << r.out;

    // The player falls silent in the middle of the format: the second Ctrl-C quits.
    player_.On("MFD", [](const Data &, Link &link) { link.in(Ok({10})); });
    r = Z({"format", "--yes"}, Interrupted({300, 600}, "Formating", true));
    EXPECT_FALSE(r.hung);
    EXPECT_EQ(r.status, 130) << r.out;
    EXPECT_TRUE(Has(r.out, "cannot be cancelled")) << r.out;
}

// A player that keeps saying "0 %" (or "step 0") makes no progress: after
// the time-out without progress the command fails instead of waiting forever.
TEST_F(Hostile, ProgressThatNeverMovesEndsWithATimeOut)
{
    player_.On("MFD", [](const Data &, Link &link) {
        while (link.in(Ok({0})) && link.pause(500)) {
        }
    });
    Result r = Z({"--timeout", "2", "format", "--yes"}, Guarded(30000));
    EXPECT_FALSE(r.hung);
    EXPECT_EQ(r.status, 1) << r.err;

    // Up and down again is no progress either.
    player_.On("MFD", [](const Data &, Link &link) {
        for (uint8_t p = 0; link.in(Ok({uint8_t(p % 2 ? 50 : 10)})) && link.pause(300); ++p) {
        }
    });
    r = Z({"--timeout", "2", "format", "--yes"}, Guarded(30000));
    EXPECT_FALSE(r.hung);
    EXPECT_EQ(r.status, 1) << r.err;

    WriteFile(Local("app.bin"), std::string(1000, 'c'));
    player_.On("C\x03", [](const Data &, Link &link) {
        if (!link.in(Ok({0, 0, 16})))
            return;
        while (link.pause(500) && link.in(Ok({0, 0, 0}))) {
        }
    });
    r = Z({"--timeout", "2", "firmware", "--app", "app.bin", "--yes"}, Guarded(30000));
    EXPECT_FALSE(r.hung);
    EXPECT_EQ(r.status, 1) << r.err;
}

// Messages that are no answer (a greeting, a status stage) do not extend
// the time-out, however many of them come.  Once the tool waits for the
// answer, the player holds it still (as a busy PC would be) while it queues
// a hundred of them and the answer behind them, until the time-out has
// passed: a tool that still reads through them to the answer has let them
// extend its time-out.
TEST_F(Hostile, FloodsOfOtherMessagesCannotExtendATimeOut)
{
    for (uint8_t type : {uint8_t('H'), uint8_t('A')}) {
        player_.On("MGG", [this, type](const Data &, Link &link) {
            const pid_t tool = link.peer();
            ASSERT_GT(tool, 0);
            std::this_thread::sleep_for(std::chrono::milliseconds(300));  // the tool is waiting by now
            kill(tool, SIGSTOP);
            for (int i = 0; i < 100; ++i)
                link.send(type, Data{0x19, 0x04, 0x01, 0xA0});
            player_.AnswerListing(link, true);
            std::this_thread::sleep_for(std::chrono::milliseconds(2200));
            kill(tool, SIGCONT);
        });
        const Result r = Z({"--timeout", "2", "ls"}, Guarded(30000));
        EXPECT_EQ(r.status, 1) << type << ": " << r.err;
        EXPECT_TRUE(Has(r.err, "TIMEOUT")) << r.err;
    }
}

// ---- Output that tells the truth -------------------------------------------------

TEST_F(Hostile, AnIncompleteListingSaysSo)
{
    for (int i = 0; i < 16; ++i) {
        const std::string n = std::to_string(i);
        player_.files.push_back(File("song" + n + ".mp3", "SONG" + n + std::string(4 - n.size(), ' ') + "MP3", n));
    }
    player_.headerFileCount = 100;
    for (const char *form : {"", "-l"}) {
        std::vector<std::string> args = {"ls"};
        if (*form)
            args.push_back(form);
        const Result r = Z(args, Guarded());
        EXPECT_EQ(r.status, 1) << form;
        EXPECT_EQ(Lines(r.out).size(), 16u) << "what arrived is shown";
        EXPECT_TRUE(Has(r.err, "incomplete listing (16 of 100 files)")) << r.err;
    }
    player_.headerFileCount = -1;
    EXPECT_EQ(Z({"ls"}, Guarded()).status, 0);
}

// A `cd /` on a player whose every directory claims a parent climbs no
// further than the current path is deep, then goes back where it was.
TEST_F(Hostile, AFailedCdIsUndoneWithinBounds)
{
    player_.path = {Dir("A", "A          ", 5)};
    const Result r = Z({"cd", "/"}, Guarded());
    EXPECT_EQ(r.status, 1);
    const std::vector<Data> changes = player_.Commands("MDC");
    ASSERT_EQ(changes.size(), 2u) << "one step up, one back";
    EXPECT_EQ(changes[0][7] << 8 | changes[0][8], 0) << "up to the parent";
    EXPECT_EQ(changes[1][7] << 8 | changes[1][8], 5) << "back into A";
}

// ---- Recordings -----------------------------------------------------------------------

TEST_F(Hostile, RecordingsWithoutAFrameGiveAnEmptyWavAndAWarning)
{
    Data bvfHeaderOnly = {0, 1, 0xFF, 0xFB, 0, 0, 0, 0, 0};
    player_.files = {SlotEntry{"", "NOISE   BCW", 0x20, 10, Data(3000, 0x55)},
                     SlotEntry{"", "SILENT  BVF", 0x20, 11, bvfHeaderOnly}};
    for (const char *name : {"NOISE.BCW", "SILENT.BVF"}) {
        const Result r = Z({"get", name}, Guarded());
        EXPECT_EQ(r.status, 0) << r.err;
        const std::string wav = std::string(name).substr(0, std::string(name).find('.')) + ".WAV";
        EXPECT_TRUE(Exists(Local(wav))) << wav;
        EXPECT_TRUE(Has(r.err, "no sound")) << name << ": " << r.err;
    }
    WriteFile(Local("offline.BCW"), std::string(2000, 'q'));
    const Result r = Z({"convert", "offline.BCW"}, Guarded());
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(Has(r.err, "no sound")) << r.err;
}

// One-byte "no data" frames decode to 320 bytes each: a 17 MB recording of
// them would make a WAV past 4 GiB.  That is refused before a byte of it is
// written (the tool may write no file larger than 64 MiB here).
TEST_F(Hostile, ConversionsTooLargeForAWavAreRefusedBeforeWriting)
{
    Data bvf = {0, 1, 0xFF, 0xFB, 0, 0, 0, 0, 0};
    bvf.resize(17 * 1024 * 1024, 0x03);
    player_.files = {SlotEntry{"", "HUGE    BVF", 0x20, 10, bvf}};
    RunOptions limited = Guarded(60000);
    limited.fileSizeLimit = 64ull << 20;
    Result r = Z({"get", "HUGE.BVF"}, limited);
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_TRUE(Has(r.err, "too large")) << r.err;
    EXPECT_TRUE(FolderEntries(work_).empty());

    WriteFile(Local("huge.bvf"), std::string(bvf.begin(), bvf.end()));
    r = Z({"convert", "huge.bvf"}, limited);
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_TRUE(Has(r.err, "too large")) << r.err;
    EXPECT_EQ(FolderEntries(work_), std::vector<std::string>{"huge.bvf"});
}

// ---- Progress on a terminal ---------------------------------------------------------

// A progress report beyond the range (a format at 104 %, an erase step past
// the announced count) is shown as full, not a crash.
TEST_F(Hostile, ProgressBeyondTheRangeIsClampedOnATerminal)
{
    RunOptions tty = Guarded();
    tty.terminal = true;
    player_.On("MFD", [](const Data &, Link &link) {
        for (uint8_t percent : {uint8_t{10}, uint8_t{104}, uint8_t{250}})
            link.in(Ok({percent}));
        link.in(Ok());
    });
    Result r = Z({"format", "--yes"}, tty);
    EXPECT_EQ(r.status, 0) << r.out;

    WriteFile(Local("app.bin"), std::string(1000, 'c'));
    player_.On("C\x03", [](const Data &, Link &link) {
        link.in(Ok({0, 0, 2}));
        link.in(Ok({0, 0, 9}));
        link.in(Ok());
    });
    r = Z({"firmware", "--app", "app.bin", "--yes"}, tty);
    EXPECT_EQ(r.status, 0) << r.out;
}

}  // namespace
