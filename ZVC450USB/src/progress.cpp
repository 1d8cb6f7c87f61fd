// progress.cpp - progress record, texts and rules of the library's windows.
//
// This file decides what the windows say; progress_qt.cpp and
// progress_term.cpp only draw it.  The window strings are kept here, with
// their numbers, as one table.

#include "progress.h"

#include "interrupt.h"

#include <chrono>
#include <cstdio>
#include <iterator>
#include <utility>

#ifndef QT_TRANSLATE_NOOP
#define QT_TRANSLATE_NOOP(context, text) text
#endif

namespace zvc450 {

namespace {

struct WindowString {
    unsigned id;
    const char *text;
};

// Captions, status texts and the wait text of the library windows.  The
// spelling of "Formating..." is what users of the player have always seen.
// The Qt windows show them in the user's language when the program has a
// catalogue for it (context "ZVC450USB"; the mark is for its tools).
constexpr WindowString kWindowStrings[] = {
    {kStrUploading, QT_TRANSLATE_NOOP("ZVC450USB", "Uploading...")},
    {kStrDownloading, QT_TRANSLATE_NOOP("ZVC450USB", "Downloading")},
    {kStrFormating, QT_TRANSLATE_NOOP("ZVC450USB", "Formating...")},
    {kStrLowLevelFormat, QT_TRANSLATE_NOOP("ZVC450USB", "Low Level Formating...")},
    {kStrFontUploading, QT_TRANSLATE_NOOP("ZVC450USB", "Font Uploading...")},
    {kStrFontDownloading, QT_TRANSLATE_NOOP("ZVC450USB", "Font Downloading....")},
    {kStrBootUpgrade, QT_TRANSLATE_NOOP("ZVC450USB", "Boot Code Upgrade")},
    {kStrCodecUpgrade, QT_TRANSLATE_NOOP("ZVC450USB", "Codec Upgrade")},
    {kStrBootErasing, QT_TRANSLATE_NOOP("ZVC450USB", "Boot Area Erasing...")},
    {kStrCodecErasing, QT_TRANSLATE_NOOP("ZVC450USB", "Codec Area Erasing...")},
    {kStrWaitErase, QT_TRANSLATE_NOOP("ZVC450USB", "Wait about 20 seconds....")},
    {kStrConverting, QT_TRANSLATE_NOOP("ZVC450USB", "Converting... (BVF -> WAV)")},
    {kStrVerifying, QT_TRANSLATE_NOOP("ZVC450USB", "Verifying...")},
};

// Texts of the window templates themselves.
constexpr const char *kTransferCaption = "ZVC450";  // replaced by the record's title
constexpr const char *kDeletingCaption = QT_TRANSLATE_NOOP("ZVC450USB", "Deleting...");
constexpr const char *kFormatCaption = QT_TRANSLATE_NOOP("ZVC450USB", "Format");
constexpr const char *kFormatText = QT_TRANSLATE_NOOP("ZVC450USB", "Formating...");

constexpr const char *kSpeedUnits[] = {"KB/s", "MB/s", "GB/s"};

// The record of the transfer window now open (one at a time) and the speed it
// shows last; a new range starts the speed afresh.
ProgressRecord *g_current = nullptr;
unsigned g_lastSpeed = 0;

ProgressClock g_clock = nullptr;

// A converter reports every frame of a recording, and in count mode each
// report is a new text; repainting the window for every one of them would
// cost more than the decoding.  Texts are still set at once, but the events
// (and so the repaint) are pumped at most this often from UpdateProgress.
constexpr std::chrono::milliseconds kPumpInterval{20};
std::chrono::steady_clock::time_point g_lastPump;

uint32_t MonotonicTick() {
    using namespace std::chrono;
    static const steady_clock::time_point origin = steady_clock::now();
    // Counted from the first use, plus one: 0 is the caller's "no speed".
    return static_cast<uint32_t>(duration_cast<milliseconds>(steady_clock::now() - origin).count()) + 1;
}

std::string CountText(unsigned position, unsigned maximum) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%u / %u", position, maximum);
    return buf;
}

// A Ctrl-C on the terminal is the Cancel button of the window now open.
void FoldInterrupt() {
    if (TakeInterrupt() && g_current != nullptr)
        g_current->flags |= kProgressCancelled;
}

std::string StatusText(const char *status) { return status != nullptr ? status : ""; }

ProgressWindow *MakeWindow(detail::WindowKind kind, void *owner, ProgressRecord *rec,
                           const std::string &caption, const std::string &index,
                           const std::string &status) {
    ProgressWindow *w = detail::CreateQtWindow(kind, owner, rec, caption, index, status);
    if (w == nullptr)
        w = detail::CreateTermWindow(kind, rec, caption, index, status);
    return w;
}

}  // namespace

const char *ProgressString(unsigned id) {
    for (const WindowString &s : kWindowStrings)
        if (s.id == id)
            return s.text;
    return nullptr;
}

// ---- ProgressWindow ---------------------------------------------------------

ProgressWindow::~ProgressWindow() = default;

void ProgressWindow::SetText(Field field, const std::string &text) {
    if (texts_[field] == text)
        return;
    texts_[field] = text;
    ShowText(field, text);
}

void ProgressWindow::SetBarRange(unsigned min, unsigned max) {
    unsigned pos = barPos_ < min ? min : barPos_ > max ? max : barPos_;
    if (min == barMin_ && max == barMax_ && pos == barPos_)
        return;
    barMin_ = min;
    barMax_ = max;
    barPos_ = pos;
    ShowBar();
}

void ProgressWindow::SetBarPosition(unsigned position) {
    // The bar never leaves its range, whatever the player reports.
    position = position < barMin_ ? barMin_ : position > barMax_ ? barMax_ : position;
    if (position == barPos_)
        return;
    barPos_ = position;
    ShowBar();
}

// ---- Helpers ----------------------------------------------------------------

namespace detail {

std::string IndexText(int index) {
    if (index < 0)
        return std::string();
    return std::to_string(index);
}

std::string FormatSpeed(unsigned speed) {
    unsigned unit = 0, fraction = 0;
    while (speed > 1000 && unit < std::size(kSpeedUnits) - 1) {
        fraction = ((speed % 1024) * 100) >> 10;  // hundredths of the next unit
        speed >>= 10;
        ++unit;
    }
    char buf[64];
    if (fraction == 0)
        std::snprintf(buf, sizeof buf, "%u %s", speed, kSpeedUnits[unit]);
    else if (fraction < 10)
        std::snprintf(buf, sizeof buf, "%u.0%u %s", speed, fraction, kSpeedUnits[unit]);
    else
        std::snprintf(buf, sizeof buf, "%u.%u %s", speed, fraction, kSpeedUnits[unit]);
    return buf;
}

}  // namespace detail

uint32_t ProgressTickCount() {
    if (g_clock != nullptr)
        return g_clock();
    return MonotonicTick();
}

void SetProgressClock(ProgressClock clock) { g_clock = clock; }

// ---- Transfer window --------------------------------------------------------

ProgressWindow *CreateProgressWindow(void *hwndParent, ProgressRecord *rec) {
    if (rec == nullptr)
        return nullptr;
    g_current = rec;
    const char *caption = ProgressString(rec->title);
    ProgressWindow *w = MakeWindow(detail::WindowKind::Transfer, hwndParent, rec,
                                   caption != nullptr ? caption : kTransferCaption,
                                   detail::IndexText(rec->index), StatusText(rec->status));
    rec->hDlg = w;
    if (w != nullptr)
        w->SetBarRange(0, rec->initialMaximum);
    PumpWaitingMessages(w);
    return w;
}

void SetProgressRange(ProgressRecord *rec, unsigned min, unsigned max, const char *statusText) {
    if (rec == nullptr)
        return;
    g_lastSpeed = 0;
    if (min > max)
        std::swap(min, max);
    rec->minimum = min;
    rec->maximum = max;
    rec->lastPercentage = -1;
    if (ProgressWindow *w = rec->hDlg) {
        w->SetBarRange(min, max);
        if (statusText != nullptr)
            w->SetText(ProgressWindow::Status, statusText);
        w->SetText(ProgressWindow::Speed, std::string());
    }
    PumpWaitingMessages(rec->hDlg);
}

void UpdateProgress(ProgressRecord *rec, unsigned position, uint32_t startTick) {
    if (rec == nullptr)
        return;
    FoldInterrupt();
    ProgressWindow *w = rec->hDlg;
    bool wrote = false;

    if (rec->minimum < rec->maximum && position > rec->minimum) {
        std::string text;
        if (rec->flags & kProgressCountMode) {
            text = CountText(position, rec->maximum);
        } else {
            // A caller that overshoots its range still reads 100 %.
            const uint64_t done = (position < rec->maximum ? position : rec->maximum) - rec->minimum;
            const int percent = static_cast<int>(done * 100 / (rec->maximum - rec->minimum));
            if (percent != rec->lastPercentage) {
                rec->lastPercentage = percent;
                char buf[16];
                std::snprintf(buf, sizeof buf, "%d %%", percent);
                text = buf;
            }
        }
        if (!text.empty()) {
            wrote = true;
            if (w != nullptr) {
                w->SetBarPosition(position);
                w->SetText(ProgressWindow::Percentage, text);
            }
        }
    }

    if (startTick != 0 && position > rec->minimum) {
        const uint32_t now = ProgressTickCount();
        if (now > startTick) {
            // Bytes per millisecond are (nearly) kilobytes per second.
            const unsigned speed = (position - rec->minimum) / (now - startTick);
            const unsigned last = g_lastSpeed;
            // Small drops are not shown, so the number does not flicker
            // between neighbours; any rise is.
            const bool steady = last >= 2 && speed >= last - 2 && speed <= last;
            if (speed != 0 && !steady) {
                g_lastSpeed = speed;
                wrote = true;
                if (w != nullptr)
                    w->SetText(ProgressWindow::Speed, detail::FormatSpeed(speed));
            }
        }
    }

    if (wrote && std::chrono::steady_clock::now() - g_lastPump >= kPumpInterval)
        PumpWaitingMessages(w);
}

void SetProgressWaiting(ProgressRecord *rec, const char *waitText, const char *statusText) {
    if (rec == nullptr)
        return;
    rec->minimum = 0;
    rec->maximum = 1;
    rec->lastPercentage = 0;
    g_lastSpeed = 0;  // the speed field is emptied, so nothing is shown any more
    if (ProgressWindow *w = rec->hDlg) {
        w->SetBarRange(0, 1);
        if (statusText != nullptr)
            w->SetText(ProgressWindow::Status, statusText);
        w->SetText(ProgressWindow::Speed, std::string());
        w->SetText(ProgressWindow::Percentage, StatusText(waitText));
    }
    PumpWaitingMessages(rec->hDlg);
}

void DestroyProgressWindow(ProgressWindow *hDlg) {
    if (hDlg == nullptr)
        return;
    if (ProgressRecord *rec = hDlg->Record()) {
        if (rec->hDlg == hDlg)
            rec->hDlg = nullptr;
        if (g_current == rec)
            g_current = nullptr;
    }
    delete hDlg;
}

void PumpWaitingMessages(ProgressWindow *) {
    detail::QtPumpEvents();
    g_lastPump = std::chrono::steady_clock::now();
    FoldInterrupt();
}

int ConversionProgressCallback(unsigned position, unsigned total, void *record) {
    auto *rec = static_cast<ProgressRecord *>(record);
    if (rec == nullptr)
        return 0;
    // The converters know only the size of the recording; the range follows it.
    if (rec->minimum != 0 || rec->maximum != total)
        SetProgressRange(rec, 0, total, nullptr);
    UpdateProgress(rec, position, 0);
    return (rec->flags & kProgressCancelled) ? -1 : 0;
}

// ---- Status windows ---------------------------------------------------------

ProgressWindow *CreateDeletingWindow(void *hwndParent, int fileNumber, const char *name) {
    ProgressWindow *w = MakeWindow(detail::WindowKind::Deleting, hwndParent, nullptr, kDeletingCaption,
                                   detail::IndexText(fileNumber), StatusText(name));
    PumpWaitingMessages(w);
    return w;
}

ProgressWindow *CreateFormatWindow(void *hwndParent) {
    ProgressWindow *w =
        MakeWindow(detail::WindowKind::Format, hwndParent, nullptr, kFormatCaption, std::string(), kFormatText);
    PumpWaitingMessages(w);
    return w;
}

}  // namespace zvc450
