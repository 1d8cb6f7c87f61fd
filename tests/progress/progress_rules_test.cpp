// Rules of the progress record (percentage, count, speed) and the terminal
// windows.  No QApplication exists in this process, so the library falls back
// to the terminal backend.

#include "progress.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <climits>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <string>
#include <unistd.h>
#include <vector>

using namespace zvc450;

namespace {

uint32_t g_now = 1;
uint32_t FakeClock() { return g_now; }

// Records what the record logic tells a window to show.
class FakeWindow final : public ProgressWindow {
public:
    explicit FakeWindow(ProgressRecord *rec) : ProgressWindow(rec) { InitText(Percentage, " 0 %"); }
    std::vector<std::string> shown[FieldCount];
    int barChanges = 0;

protected:
    void ShowText(Field f, const std::string &t) override { shown[f].push_back(t); }
    void ShowBar() override { ++barChanges; }
};

class ProgressRules : public ::testing::Test {
protected:
    void SetUp() override {
        g_now = 1;
        SetProgressClock(FakeClock);
        window = new FakeWindow(&rec);
        rec.hDlg = window;
    }
    void TearDown() override {
        DestroyProgressWindow(rec.hDlg);
        SetProgressClock(nullptr);
    }
    const std::vector<std::string> &Shown(ProgressWindow::Field f) { return window->shown[f]; }

    ProgressRecord rec{};
    FakeWindow *window = nullptr;
};

TEST(ProgressSpeed, FormatsLikeThePlayerSoftware) {
    const struct {
        unsigned speed;
        const char *text;
    } rows[] = {
        {1, "1 KB/s"},          {800, "800 KB/s"},      {1000, "1000 KB/s"},
        {1001, "0.97 MB/s"},    {1030, "1 MB/s"},       {1050, "1.02 MB/s"},
        {1100, "1.07 MB/s"},    {1500, "1.46 MB/s"},    {2097152, "2 GB/s"},
        {UINT_MAX, "4095.99 GB/s"},
    };
    for (const auto &row : rows)
        EXPECT_EQ(detail::FormatSpeed(row.speed), row.text) << row.speed;
}

TEST(ProgressStrings, WindowTexts) {
    EXPECT_STREQ(ProgressString(kStrFormating), "Formating...");
    EXPECT_STREQ(ProgressString(kStrFontDownloading), "Font Downloading....");
    EXPECT_STREQ(ProgressString(kStrWaitErase), "Wait about 20 seconds....");
    EXPECT_STREQ(ProgressString(kStrConverting), "Converting... (BVF -> WAV)");
    EXPECT_EQ(ProgressString(3020), nullptr);
    EXPECT_EQ(detail::IndexText(-1), "");
    EXPECT_EQ(detail::IndexText(0), "0");
    EXPECT_EQ(detail::IndexText(1234), "1234");
}

TEST_F(ProgressRules, EmptyRangeAndStartPositionChangeNothing) {
    SetProgressRange(&rec, 0, 0, nullptr);
    UpdateProgress(&rec, 0, 0);
    UpdateProgress(&rec, 5, 0);
    EXPECT_TRUE(Shown(ProgressWindow::Percentage).empty());
    EXPECT_EQ(window->Text(ProgressWindow::Percentage), " 0 %");

    SetProgressRange(&rec, 10, 100, nullptr);
    UpdateProgress(&rec, 10, 0);
    EXPECT_TRUE(Shown(ProgressWindow::Percentage).empty());
}

TEST_F(ProgressRules, RangeIsOrderedAndResets) {
    rec.lastPercentage = 50;
    SetProgressRange(&rec, 100, 10, "file.mp3");
    EXPECT_EQ(rec.minimum, 10u);
    EXPECT_EQ(rec.maximum, 100u);
    EXPECT_EQ(rec.lastPercentage, -1);
    EXPECT_EQ(window->Text(ProgressWindow::Status), "file.mp3");
    EXPECT_EQ(window->BarMinimum(), 10u);
    EXPECT_EQ(window->BarMaximum(), 100u);
}

TEST_F(ProgressRules, EveryPercentageShownOnceUpTo100) {
    SetProgressRange(&rec, 0, 1000, nullptr);
    for (unsigned pos = 0; pos <= 1000; ++pos)
        UpdateProgress(&rec, pos, 0);
    UpdateProgress(&rec, 1000, 0);
    const auto &texts = Shown(ProgressWindow::Percentage);
    ASSERT_EQ(texts.size(), 101u);  // "0 %" once the first byte has gone
    EXPECT_EQ(texts.front(), "0 %");
    EXPECT_EQ(texts.back(), "100 %");
    EXPECT_EQ(window->BarPosition(), 1000u);
    EXPECT_EQ(rec.lastPercentage, 100);
}

TEST_F(ProgressRules, PercentageOfLargeFilesIn64Bits) {
    const struct {
        unsigned min, max, pos;
        const char *text;
    } rows[] = {
        {0, UINT_MAX, 0x80000000u, "50 %"},
        {0, UINT_MAX, UINT_MAX, "100 %"},
        {0, 3000000000u, 2999999999u, "99 %"},
        {1000, 2000, 1500, "50 %"},
        {0, 100, 250, "100 %"},  // a caller overshooting its range
    };
    for (const auto &row : rows) {
        SetProgressRange(&rec, row.min, row.max, nullptr);
        UpdateProgress(&rec, row.pos, 0);
        EXPECT_EQ(window->Text(ProgressWindow::Percentage), row.text) << row.max << " " << row.pos;
    }
}

TEST_F(ProgressRules, CountModeShowsPositionAndMaximum) {
    rec.flags = kProgressCountMode;
    SetProgressRange(&rec, 0, 5000, nullptr);
    UpdateProgress(&rec, 1200, 0);
    EXPECT_EQ(window->Text(ProgressWindow::Percentage), "1200 / 5000");
    UpdateProgress(&rec, 1200, 0);  // same text: the window is not touched again
    EXPECT_EQ(Shown(ProgressWindow::Percentage).size(), 1u);
}

TEST_F(ProgressRules, SpeedNeedsAStartTick) {
    SetProgressRange(&rec, 0, 1u << 30, nullptr);
    g_now = 5000;
    UpdateProgress(&rec, 1u << 20, 0);
    EXPECT_EQ(window->Text(ProgressWindow::Speed), "");
    UpdateProgress(&rec, 1u << 20, 5000);  // no time has passed
    EXPECT_EQ(window->Text(ProgressWindow::Speed), "");
    g_now = 6000;
    UpdateProgress(&rec, 1100 * 1000, 5000);
    EXPECT_EQ(window->Text(ProgressWindow::Speed), "1.07 MB/s");
}

TEST_F(ProgressRules, SmallSpeedDropsDoNotFlicker) {
    // Each row: bytes per millisecond over one second, and what the field reads.
    const struct {
        unsigned speed;
        const char *shown;
    } rows[] = {
        {3, "3 KB/s"}, {2, "3 KB/s"}, {1, "3 KB/s"}, {4, "4 KB/s"},
        {0, "4 KB/s"}, {1, "1 KB/s"}, {0, "1 KB/s"}, {1000, "1000 KB/s"},
        {999, "1000 KB/s"}, {997, "997 KB/s"},
    };
    SetProgressRange(&rec, 0, UINT_MAX, nullptr);
    g_now = 1001;
    for (const auto &row : rows) {
        UpdateProgress(&rec, row.speed * 1000, 1);
        EXPECT_EQ(window->Text(ProgressWindow::Speed), row.shown) << row.speed;
    }
    // A new range starts afresh: the field empties and a lower speed shows.
    SetProgressRange(&rec, 0, UINT_MAX, nullptr);
    EXPECT_EQ(window->Text(ProgressWindow::Speed), "");
    UpdateProgress(&rec, 996 * 1000, 1);
    EXPECT_EQ(window->Text(ProgressWindow::Speed), "996 KB/s");
}

TEST_F(ProgressRules, WaitingState) {
    SetProgressRange(&rec, 0, 50, nullptr);
    g_now = 11;
    UpdateProgress(&rec, 30, 1);
    SetProgressWaiting(&rec, ProgressString(kStrWaitErase), ProgressString(kStrCodecErasing));
    EXPECT_EQ(window->Text(ProgressWindow::Percentage), "Wait about 20 seconds....");
    EXPECT_EQ(window->Text(ProgressWindow::Status), "Codec Area Erasing...");
    EXPECT_EQ(window->Text(ProgressWindow::Speed), "");
    EXPECT_EQ(window->BarMaximum(), 1u);
    EXPECT_EQ(rec.lastPercentage, 0);
}

TEST_F(ProgressRules, ConversionCallbackFollowsTheRecording) {
    rec.flags = kProgressCountMode;
    EXPECT_EQ(ConversionProgressCallback(2048, 5000, &rec), 0);
    EXPECT_EQ(rec.maximum, 5000u);
    EXPECT_EQ(window->Text(ProgressWindow::Percentage), "2048 / 5000");
    EXPECT_EQ(window->Text(ProgressWindow::Speed), "");
    rec.flags |= kProgressCancelled;
    EXPECT_EQ(ConversionProgressCallback(4096, 5000, &rec), -1);
    EXPECT_EQ(ConversionProgressCallback(1, 2, nullptr), 0);
}

TEST(ProgressNoWindow, CallsOnAMissingWindowDoNothing) {
    ProgressRecord rec{};
    SetProgressRange(&rec, 0, 100, "x");
    UpdateProgress(&rec, 50, 1);
    SetProgressWaiting(&rec, "wait", nullptr);
    UpdateProgress(nullptr, 1, 1);
    DestroyProgressWindow(nullptr);
    PumpWaitingMessages(nullptr);
    EXPECT_EQ(rec.lastPercentage, 0);
}

// ---- Terminal windows ----------------------------------------------------

// Points fd 2 somewhere else for the lifetime of the object.
class StderrTo {
public:
    explicit StderrTo(int fd) : saved_(dup(STDERR_FILENO)) { dup2(fd, STDERR_FILENO); }
    ~StderrTo() {
        dup2(saved_, STDERR_FILENO);
        close(saved_);
    }

private:
    int saved_;
};

std::string ReadAll(int fd) {
    std::string out;
    char buf[4096];
    ssize_t n;
    while ((n = read(fd, buf, sizeof buf)) > 0)
        out.append(buf, static_cast<size_t>(n));
    return out;
}

void RunTransfer(ProgressRecord &rec) {
    rec.title = kStrDownloading;
    rec.index = 3;
    rec.status = "/music/song.mp3";
    CreateProgressWindow(nullptr, &rec);
    SetProgressRange(&rec, 0, 1000, nullptr);
    UpdateProgress(&rec, 0, 1);
    for (unsigned pos = 0; pos <= 1000; pos += 10)
        UpdateProgress(&rec, pos, 0);
    DestroyProgressWindow(rec.hDlg);
    DestroyProgressWindow(CreateDeletingWindow(nullptr, -1, "song.mp3"));
    DestroyProgressWindow(CreateFormatWindow(nullptr));
}

TEST(ProgressTerminal, SilentWhenStderrIsNotATerminal) {
    char path[] = "/tmp/progress-stderr-XXXXXX";
    int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    unlink(path);
    ProgressRecord rec{};
    {
        StderrTo redirect(fd);
        RunTransfer(rec);
    }
    EXPECT_EQ(rec.hDlg, nullptr);
    lseek(fd, 0, SEEK_SET);
    EXPECT_EQ(ReadAll(fd), "");
    close(fd);
}

// What the library draws on a terminal (a pseudo-terminal as stderr).
std::string OnTerminal(void (*run)()) {
    int master = posix_openpt(O_RDWR | O_NOCTTY);
    EXPECT_GE(master, 0);
    EXPECT_EQ(grantpt(master), 0);
    EXPECT_EQ(unlockpt(master), 0);
    int slave = open(ptsname(master), O_RDWR | O_NOCTTY);
    EXPECT_GE(slave, 0);
    {
        StderrTo redirect(slave);
        run();
    }
    close(slave);
    fcntl(master, F_SETFL, O_NONBLOCK);
    std::string out = ReadAll(master);
    close(master);
    return out;
}

TEST(ProgressTerminal, OneLineRedrawnOnlyWhenItChanges) {
    const std::string out = OnTerminal([] {
        ProgressRecord rec{};
        RunTransfer(rec);
    });
    EXPECT_NE(out.find("Downloading 3 /music/song.mp3"), std::string::npos) << out;
    EXPECT_NE(out.find("[##########----------] 50 %"), std::string::npos) << out;
    EXPECT_NE(out.find("[####################] 100 %"), std::string::npos) << out;
    EXPECT_NE(out.find("Deleting... song.mp3"), std::string::npos) << out;
    EXPECT_NE(out.find("Formating..."), std::string::npos) << out;
    // The first line, then one redraw per percent; one newline per window.
    auto count = [&out](const std::string &what) {
        size_t n = 0;
        for (size_t at = out.find(what); at != std::string::npos; at = out.find(what, at + 1))
            ++n;
        return n;
    };
    EXPECT_EQ(count("\033[K"), 1u + 100u + 1u + 1u) << out;
    EXPECT_EQ(count("\n"), 3u) << out;
}

TEST(ProgressTerminal, LongPathFitsOneLine) {
    const std::string out = OnTerminal([] {
        static const std::string path = "/home/user/" + std::string(200, 'x') + "/Gr\u00fc\u00dfe/song.mp3";
        ProgressRecord rec{};
        rec.title = kStrUploading;
        rec.index = -1;
        rec.status = path.c_str();
        CreateProgressWindow(nullptr, &rec);
        DestroyProgressWindow(rec.hDlg);
    });
    const size_t start = out.find('\r') + 1, end = out.find("\033[K");
    ASSERT_LT(start, end) << out;
    const std::string line = out.substr(start, end - start);
    EXPECT_EQ(line.rfind("Uploading... /home/user/xx", 0), 0u) << line;
    EXPECT_NE(line.find("...x"), std::string::npos) << line;
    EXPECT_NE(line.find("x/Gr\u00fc\u00dfe/song.mp3  [---"), std::string::npos) << line;
    EXPECT_LE(line.size(), 79u + 2u);  // 79 columns; two of the characters take two bytes
}

// ---- Ctrl-C ----------------------------------------------------------------

volatile sig_atomic_t g_previousHandlerCalls = 0;
extern "C" void PreviousHandler(int) { g_previousHandlerCalls = g_previousHandlerCalls + 1; }

// Ctrl-C is the Cancel of the open transfer window, and it still reaches
// the program's own handler: the library never swallows it (a program that
// quits on its second Ctrl-C must be able to).
TEST(ProgressInterrupt, CtrlCCancelsTheOpenTransferAndReachesTheProgram) {
    struct sigaction mine = {}, old = {};
    mine.sa_handler = PreviousHandler;
    sigemptyset(&mine.sa_mask);
    ASSERT_EQ(sigaction(SIGINT, &mine, &old), 0);
    g_previousHandlerCalls = 0;

    ProgressRecord rec{};
    int devnull = open("/dev/null", O_WRONLY);
    {
        StderrTo redirect(devnull);
        CreateProgressWindow(nullptr, &rec);
        SetProgressRange(&rec, 0, 100, nullptr);
        EXPECT_EQ(rec.flags & kProgressCancelled, 0u);
        raise(SIGINT);
        EXPECT_EQ(g_previousHandlerCalls, 1);
        UpdateProgress(&rec, 0, 0);
        EXPECT_NE(rec.flags & kProgressCancelled, 0u);
        DestroyProgressWindow(rec.hDlg);

        // Through the pump as well, for loops that look between chunks.
        ProgressRecord second{};
        CreateProgressWindow(nullptr, &second);
        raise(SIGINT);
        PumpWaitingMessages(second.hDlg);
        EXPECT_NE(second.flags & kProgressCancelled, 0u);
        DestroyProgressWindow(second.hDlg);
    }
    close(devnull);

    EXPECT_EQ(g_previousHandlerCalls, 2);

    // With the window gone the program's own handler is back, alone.
    raise(SIGINT);
    EXPECT_EQ(g_previousHandlerCalls, 3);
    sigaction(SIGINT, &old, nullptr);
}

// In a program without a handler of its own the first Ctrl-C is Cancel and
// the second does what Ctrl-C does: it ends the process at once.
TEST(ProgressInterrupt, SecondCtrlCQuitsAProgramWithoutAHandler) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        signal(SIGINT, SIG_DFL);
        const int devnull = open("/dev/null", O_WRONLY);
        dup2(devnull, STDERR_FILENO);
        ProgressRecord rec{};
        CreateProgressWindow(nullptr, &rec);
        raise(SIGINT);
        UpdateProgress(&rec, 0, 0);
        if (!(rec.flags & kProgressCancelled))
            _exit(1);
        raise(SIGINT);
        _exit(2);  // not reached
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status)) << "exit status " << WEXITSTATUS(status);
    EXPECT_EQ(WTERMSIG(status), SIGINT);
}

}  // namespace
