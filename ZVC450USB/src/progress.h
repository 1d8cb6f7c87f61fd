// progress.h - the library's own windows for long operations.
//
// Every long operation (download, upload, conversion, format, firmware, font,
// raw data) shows a small modeless window while it runs on the caller's
// thread.  The window keeps the program alive by pumping events whenever its
// text changes, and its Cancel button (Esc, closing the window, or Ctrl-C on a
// terminal) is how the user stops a transfer.
//
// With a QApplication the windows are Qt dialogs owned by the caller's
// widget.  Without one (command-line tool, tests) the same calls drive a
// one-line progress bar on stderr when stderr is a terminal and stay silent
// otherwise; SIGINT while a transfer window is open then acts as Cancel.
//
// Calling order of an operation with a transfer window:
//
//     ProgressRecord rec = MakeProgressRecord(kStrDownloading, n, path);
//     ScopedWindow window(CreateProgressWindow(owner, &rec));  // closes on return
//     SetProgressRange(&rec, 0, size, nullptr);
//     const uint32_t start = ProgressTickCount();
//     UpdateProgress(&rec, 0, start);
//     while (...) {
//         if (rec.flags & kProgressCancelled) { abort; break; }
//         ... move a chunk ...
//         UpdateProgress(&rec, done, start);
//     }
//
// Every call accepts a record whose window could not be created (hDlg null):
// the texts then go nowhere and the operation carries on.
#pragma once

#include <cstdint>
#include <string>

namespace zvc450 {

// ---- Library strings shown by the windows ---------------------------------
enum : unsigned {
    kStrUploading        = 3000,  // "Uploading..."
    kStrDownloading      = 3001,  // "Downloading"
    kStrFormating        = 3002,  // "Formating..."
    kStrLowLevelFormat   = 3003,  // "Low Level Formating..."
    kStrFontUploading    = 3004,  // "Font Uploading..."
    kStrFontDownloading  = 3005,  // "Font Downloading...."
    kStrBootUpgrade      = 3015,  // "Boot Code Upgrade"
    kStrCodecUpgrade     = 3016,  // "Codec Upgrade"
    kStrBootErasing      = 3017,  // "Boot Area Erasing..."
    kStrCodecErasing     = 3018,  // "Codec Area Erasing..."
    kStrWaitErase        = 3019,  // "Wait about 20 seconds...."
    kStrConverting       = 3021,  // "Converting... (BVF -> WAV)"
    kStrVerifying        = 3022,  // "Verifying..."
};

// Text of a window string (3000..3022), or null when there is no such entry.
const char *ProgressString(unsigned id);

// ---- Progress record --------------------------------------------------------
enum : unsigned {
    kProgressCountMode = 1,  // percentage field shows "position / maximum"
    kProgressCancelled = 2,  // the user pressed Cancel (or Ctrl-C)
};

class ProgressWindow;

// Owned by the operation (usually on its stack), zero-filled before use and
// alive for as long as its window exists.
struct ProgressRecord {
    ProgressWindow *hDlg;     // the transfer window; set by CreateProgressWindow
    unsigned title;           // string number of the caption
    int index;                // shown in the INDEX field; negative = empty
    const char *status;       // STATUS text (a path or an activity text), may be null
    unsigned initialMaximum;  // upper end of the bar when the window opens
    unsigned flags;           // kProgressCountMode | kProgressCancelled
    int lastPercentage;       // last percentage shown, -1 = none yet
    unsigned minimum;
    unsigned maximum;
};

// A zero-filled record with the caption's string number, the INDEX
// (negative: empty) and the STATUS text.
inline ProgressRecord MakeProgressRecord(unsigned title, int index, const char *status)
{
    ProgressRecord rec{};
    rec.title = title;
    rec.index = index;
    rec.status = status;
    return rec;
}

// ---- Transfer window --------------------------------------------------------

// Opens the transfer window owned by hwndParent (a QWidget* or null), makes
// rec the library's current record, stores the window in rec->hDlg, shows
// caption, INDEX and STATUS and pumps events once.  Returns rec->hDlg (null
// when no window could be made).
ProgressWindow *CreateProgressWindow(void *hwndParent, ProgressRecord *rec);

// Sets the range (ordered), forgets the last percentage and the last speed,
// puts statusText (when not null) into STATUS, empties the speed field, pumps.
void SetProgressRange(ProgressRecord *rec, unsigned min, unsigned max, const char *statusText);

// Shows the progress of position (percentage or count, bar) and, when
// startTick is not 0, the speed since startTick; pumps when a text changed
// (at most every 20 ms, so per-frame reports of a converter stay cheap).
// Also folds a pending Ctrl-C into rec->flags.
void UpdateProgress(ProgressRecord *rec, unsigned position, uint32_t startTick);

// For long waits the player does not measure: range 0..1, waitText in the
// percentage field, statusText (when not null) in STATUS, speed emptied.
void SetProgressWaiting(ProgressRecord *rec, const char *waitText, const char *statusText);

// Closes any library window (transfer, deleting or format); null is ignored.
// A transfer window also clears its record's hDlg and stops being current.
void DestroyProgressWindow(ProgressWindow *hDlg);

// Lets every window of the thread handle its waiting events, then folds a
// pending Ctrl-C into the current transfer record.  hDlg may be null.
void PumpWaitingMessages(ProgressWindow *hDlg);

// Progress callback of the recording converters; record is a ProgressRecord*.
// Sets the range to 0..total when it differs, shows position (no speed) and
// returns -1 when Cancel was pressed, else 0.
int ConversionProgressCallback(unsigned position, unsigned total, void *record);

// ---- Status windows without progress ---------------------------------------

// "Deleting..." window: INDEX = fileNumber (empty when negative), FileName =
// name.  Its Cancel button does nothing.  Close with DestroyProgressWindow.
ProgressWindow *CreateDeletingWindow(void *hwndParent, int fileNumber, const char *name);

// "Format" window with the text "Formating...", shown while older players
// format without reporting progress.  Close with DestroyProgressWindow.
ProgressWindow *CreateFormatWindow(void *hwndParent);

// A library window that closes itself when the operation that opened it
// ends, on every way out of it.  Declare it after the record it shows.
//
//     ProgressRecord rec = MakeProgressRecord(kStrUploading, n, path);
//     ScopedWindow window(CreateProgressWindow(owner, &rec));
//     ScopedWindow deleting(CreateDeletingWindow(owner, n, name));
class ScopedWindow {
public:
    explicit ScopedWindow(ProgressWindow *window) : window_(window) {}
    ~ScopedWindow() { DestroyProgressWindow(window_); }
    ScopedWindow(const ScopedWindow &) = delete;
    ScopedWindow &operator=(const ScopedWindow &) = delete;
    ProgressWindow *get() const { return window_; }

private:
    ProgressWindow *window_;
};

// ---- Clock ------------------------------------------------------------------

// Milliseconds of a monotonic clock, never 0 (0 means "no speed").
uint32_t ProgressTickCount();

// Replaces the clock (tests); null restores the monotonic clock.
using ProgressClock = uint32_t (*)();
void SetProgressClock(ProgressClock clock);

// ---- Window backends --------------------------------------------------------

// A shown library window.  The record logic talks to it through the fields
// below; the base class passes a text on only when it differs from what the
// field already shows, so a window repaints only when something changed.
class ProgressWindow {
public:
    enum Field { Caption, Index, Status, Percentage, Speed, FieldCount };

    virtual ~ProgressWindow();
    ProgressWindow(const ProgressWindow &) = delete;
    ProgressWindow &operator=(const ProgressWindow &) = delete;

    void SetText(Field field, const std::string &text);
    const std::string &Text(Field field) const { return texts_[field]; }
    void SetBarRange(unsigned min, unsigned max);
    void SetBarPosition(unsigned position);
    unsigned BarMinimum() const { return barMin_; }
    unsigned BarMaximum() const { return barMax_; }
    unsigned BarPosition() const { return barPos_; }

    // The transfer record this window serves (null for the status windows).
    ProgressRecord *Record() const { return record_; }

protected:
    explicit ProgressWindow(ProgressRecord *record) : record_(record) {}
    // Seeds a field with the text its template shows, without drawing.
    void InitText(Field field, const std::string &text) { texts_[field] = text; }

    virtual void ShowText(Field field, const std::string &text) = 0;
    virtual void ShowBar() = 0;

private:
    ProgressRecord *record_;
    std::string texts_[FieldCount];
    unsigned barMin_ = 0, barMax_ = 0, barPos_ = 0;
};

namespace detail {

enum class WindowKind { Transfer, Deleting, Format };

// Text of the INDEX field: decimal, empty when negative.
std::string IndexText(int index);

// Speed in KB/s (bytes per millisecond) as the window shows it:
// 800 -> "800 KB/s", 1100 -> "1.07 MB/s", 1030 -> "1 MB/s".
std::string FormatSpeed(unsigned kbPerSecond);

// Qt backend, drawn by the Qt module (qt_bridge.cpp): null when no
// QApplication exists or the module cannot be loaded.
ProgressWindow *CreateQtWindow(WindowKind kind, void *owner, ProgressRecord *rec,
                               const std::string &caption, const std::string &index,
                               const std::string &status);
bool QtPumpEvents();  // false when there is no Qt event loop to pump
// Shows text in the Qt "Error" box owned by owner (a QWidget* or null) and
// returns true once it is closed; false (nothing shown) without Qt.
bool QtErrorBox(void *owner, const std::string &text, const std::string &detail);

// Terminal backend: always makes a window; it draws only when stderr is a
// terminal.  Transfer windows turn SIGINT into Cancel while they exist
// (interrupt.h).
ProgressWindow *CreateTermWindow(WindowKind kind, ProgressRecord *rec, const std::string &caption,
                                 const std::string &index, const std::string &status);

}  // namespace detail
}  // namespace zvc450
