// progress_term.cpp - the library windows on a terminal.
//
// Without a QApplication (the command-line tool, scripts) a window is one
// line on stderr, redrawn in place with a carriage return whenever what it
// says changes, and finished with a newline when the window closes.  When
// stderr is not a terminal nothing at all is written, so logs and pipes stay
// clean.  While a transfer window is open, Ctrl-C is its Cancel button: the
// operation stops the player, removes its partial file and returns error 14.

#include "interrupt.h"
#include "progress.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <memory>
#include <sys/ioctl.h>
#include <unistd.h>

namespace zvc450 {
namespace detail {

namespace {

// ---- Drawing --------------------------------------------------------------

constexpr int kBarWidth = 20;

void WriteAll(const std::string &s) {
    const char *p = s.data();
    size_t left = s.size();
    while (left > 0) {
        ssize_t n = ::write(STDERR_FILENO, p, left);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return;  // a broken terminal is no reason to fail a transfer
        }
        p += n;
        left -= static_cast<size_t>(n);
    }
}

unsigned TerminalColumns() {
    struct winsize ws = {};
    if (ioctl(STDERR_FILENO, TIOCGWINSZ, &ws) == 0 && ws.ws_col >= 20)
        return ws.ws_col;
    return 80;
}

// Length in characters (UTF-8 sequences count once).
size_t CharCount(const std::string &s) {
    size_t n = 0;
    for (unsigned char c : s)
        if ((c & 0xC0) != 0x80)
            ++n;
    return n;
}

// Byte offset of character number `chars` (or the end).
size_t ByteOffset(const std::string &s, size_t chars) {
    size_t i = 0;
    for (; i < s.size(); ++i) {
        if ((static_cast<unsigned char>(s[i]) & 0xC0) != 0x80) {
            if (chars == 0)
                return i;
            --chars;
        }
    }
    return i;
}

// Shortens a path in the middle, "/home/u/.../song.mp3", keeping both ends.
std::string ElideMiddle(const std::string &s, size_t width) {
    const size_t len = CharCount(s);
    if (len <= width)
        return s;
    if (width <= 3)
        return s.substr(0, ByteOffset(s, width));
    const size_t head = (width - 3) / 2;
    const size_t tail = width - 3 - head;
    return s.substr(0, ByteOffset(s, head)) + "..." + s.substr(ByteOffset(s, len - tail));
}

// A text (a name from the player, say) with its control characters as '?':
// they would move the cursor, retitle the terminal or worse.  C1 controls
// (U+0080..U+009F) count, and so does a byte that is no valid UTF-8, which a
// terminal in another encoding may take for one.
std::string Printable(const std::string &s) {
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size();) {
        const auto c = static_cast<unsigned char>(s[i]);
        size_t len = c < 0x80 ? 1 : c < 0xC2 ? 0 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : c < 0xF5 ? 4 : 0;
        for (size_t k = 1; k < len; ++k)
            if (i + k >= s.size() || (static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80)
                len = 0;
        const bool c1 = c == 0xC2 && len == 2 && static_cast<unsigned char>(s[i + 1]) < 0xA0;
        const bool control = c < 0x20 || c == 0x7F || c1;
        if (len == 0 || control) {
            out += '?';
            i += len == 0 ? 1 : len;
        } else {
            out.append(s, i, len);
            i += len;
        }
    }
    return out;
}

std::string Trimmed(const std::string &s) {
    size_t b = s.find_first_not_of(' ');
    if (b == std::string::npos)
        return std::string();
    size_t e = s.find_last_not_of(' ');
    return s.substr(b, e - b + 1);
}

class TermWindow final : public ProgressWindow {
public:
    TermWindow(WindowKind kind, ProgressRecord *rec, const std::string &caption, const std::string &index,
               const std::string &status)
        : ProgressWindow(rec), kind_(kind), draw_(isatty(STDERR_FILENO) == 1) {
        InitText(Caption, caption);
        InitText(Index, index);
        InitText(Status, status);
        if (kind_ == WindowKind::Transfer) {
            InitText(Percentage, " 0 %");
            interrupts_ = std::make_unique<InterruptScope>();
        }
        Redraw();
    }

    ~TermWindow() override {
        if (drawn_)
            WriteAll("\n");
    }

protected:
    void ShowText(Field, const std::string &) override { Redraw(); }
    // The bar moves only together with the percentage (or right before a new
    // range gets its first text), so it is drawn with the next text change
    // rather than costing a line of its own.
    void ShowBar() override {}

private:
    std::string Compose() const {
        std::string head = Text(Caption);
        if (!Text(Index).empty())
            head += " " + Text(Index);
        const std::string &status = Text(Status);
        if (kind_ == WindowKind::Format)
            return Join(status, std::string(), std::string());
        if (kind_ != WindowKind::Transfer)
            return Join(head, status, std::string());

        std::string bar = "[";
        // A player may report more than it announced (a format at 104 %):
        // the bar is full then, never longer.
        const uint64_t span = uint64_t(BarMaximum()) - BarMinimum();
        const uint64_t position = BarPosition() < BarMinimum() ? BarMinimum() : BarPosition();
        const uint64_t done = std::min<uint64_t>(position - BarMinimum(), span);
        const int filled = span == 0 ? 0 : static_cast<int>(done * kBarWidth / span);
        bar.append(filled, '#');
        bar.append(kBarWidth - filled, '-');
        bar += "]";
        std::string tail = bar + " " + Trimmed(Text(Percentage));
        if (!Text(Speed).empty())
            tail += "  " + Text(Speed);
        return Join(head, status, tail);
    }

    // "head status  tail", the status shortened in the middle to fit one line.
    static std::string Join(const std::string &head, const std::string &status, const std::string &tail) {
        const size_t columns = TerminalColumns() - 1;  // never touch the last column: no wrap
        const size_t fixed = CharCount(head) + 1 + (tail.empty() ? 0 : 2 + CharCount(tail));
        std::string line = Printable(head);
        if (!status.empty()) {
            size_t room = columns > fixed + 8 ? columns - fixed : 8;
            line += " " + ElideMiddle(Printable(status), room);
        }
        if (!tail.empty())
            line += "  " + tail;
        return line.substr(0, ByteOffset(line, columns));
    }

    void Redraw() {
        if (!draw_)
            return;
        std::string line = Compose();
        if (drawn_ && line == shown_)
            return;
        shown_ = line;
        drawn_ = true;
        WriteAll("\r" + line + "\033[K");
    }

    WindowKind kind_;
    std::unique_ptr<InterruptScope> interrupts_;  // Ctrl-C is Cancel while a transfer window is open
    bool draw_;
    bool drawn_ = false;
    std::string shown_;
};

}  // namespace

ProgressWindow *CreateTermWindow(WindowKind kind, ProgressRecord *rec, const std::string &caption,
                                 const std::string &index, const std::string &status) {
    return new TermWindow(kind, rec, caption, index, status);
}

}  // namespace detail
}  // namespace zvc450
