// format.cpp - format and low-level format of a memory.
//
// Players before 1.20 take "F" (or "L" for low level) and answer once when
// they are done, which can take a while; the "Format" window stands there
// meanwhile.  From 1.20 on "FD"/"LD" make the player report its percentage
// in answers of their own.  Its last progress answer says 99, never 100, and
// one more answer with the outcome follows it.  Cancel has no effect on a
// format: the player cannot stop half-way.
//
// A player that keeps reporting without getting any further is stuck, not
// busy: the format fails with error 4 once its percentage has not risen for
// a whole receive time-out, however often the player repeats itself, or
// after kMaxProgressAnswers reports in all.

#include "interrupt.h"
#include "progress.h"
#include "protocol.h"

#include <chrono>

namespace zvc450 {
namespace {

// The player's last progress report; the outcome follows in one more answer.
constexpr int kLastProgress = 99;
constexpr int kProgressOffset = 5;
// A real player reports a few times per percent at most.
constexpr int kMaxProgressAnswers = 10000;

bool formatOneShot(void *owner, HZVC450 h, int memory, bool lowLevel)
{
    if (!ZVC450_SendCommand(h, memory, lowLevel ? 'L' : 'F', nullptr, 0))
        return fail(ZVC450USB_ERR_USB) != 0;
    ScopedWindow window(CreateFormatWindow(owner));
    return receiveAnswer(h);
}

bool formatWithProgress(void *owner, HZVC450 h, int memory, bool lowLevel)
{
    if (!ZVC450_SendCommandEx(h, memory, twoCharCommand(lowLevel ? 'L' : 'F', 'D'), nullptr, 0))
        return fail(ZVC450USB_ERR_USB) != 0;
    const char *status = ProgressString(kStrFormating);
    ProgressRecord rec = MakeProgressRecord(lowLevel ? kStrLowLevelFormat : kStrFormating, -1, status);
    rec.initialMaximum = 100;
    ScopedWindow window(CreateProgressWindow(owner, &rec));
    SetProgressRange(&rec, 0, 100, status);

    using Clock = std::chrono::steady_clock;
    const std::chrono::milliseconds patience(g_lib.recvTimeoutMs);  // 0: as long as it takes
    Clock::time_point lastRise = Clock::now();
    int progress = 0, best = -1, answers = 0;
    bool ok = true;
    while (ok && progress < kLastProgress) {
        PumpWaitingMessages(rec.hDlg);
        ok = receiveAnswer(h);
        if (!ok)
            break;
        progress = g_packet[kProgressOffset];
        if (progress > best) {
            best = progress;
            lastRise = Clock::now();
        } else if ((patience.count() != 0 && Clock::now() - lastRise >= patience) ||
                   answers >= kMaxProgressAnswers) {
            ok = fail(ZVC450USB_ERR_USB) != 0;  // no progress: as if the player had fallen silent
        }
        ++answers;
        UpdateProgress(&rec, unsigned(progress + 1), 0);
    }
    ok = ok && receiveAnswer(h);
    // Progress answers can come in a burst; let the window show where it
    // ended before it goes.
    PumpWaitingMessages(rec.hDlg);
    return ok;
}

int format(void *owner, HZVC450 h, int memory, bool lowLevel)
{
    // The font and code areas are not formatted through here.
    if (!validMemory(memory))
        return fail(ZVC450USB_ERR_UNSUPPORTED);
    UncancellableScope formatting;
    const bool formatted = fwHasFormatProgress(effectiveFirmware()) ? formatWithProgress(owner, h, memory, lowLevel)
                                                                     : formatOneShot(owner, h, memory, lowLevel);
    if (!formatted)
        return 0;  // 4, or 5 with the player's reason
    ZVC450_SetError(0);
    return 1;
}

}  // namespace
}  // namespace zvc450

extern "C" {

ZVC450_API int ZVC450_Format(void *owner, HZVC450 h, int memory) { return zvc450::format(owner, h, memory, false); }

ZVC450_API int ZVC450_FormatLow(void *owner, HZVC450 h, int memory)
{
    return zvc450::format(owner, h, memory, true);
}

}  // extern "C"
