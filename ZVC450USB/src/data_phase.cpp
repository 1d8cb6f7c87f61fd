// data_phase.cpp - moving a file's bytes once its command has been answered
// (see data_phase.h): raw blocks, the abort request, the send and receive
// loops with their window, and what follows a cancel or a file longer than
// asked for.

#include "data_phase.h"

#include <chrono>
#include <cstring>
#include <new>

namespace zvc450 {
namespace {

constexpr int kMinOwnBuffer = 1024;

// Quiet time after an abort before we believe the IN pipe is empty.
constexpr unsigned kAbortDrainQuietMs = 200;
// A player stops a transfer within milliseconds of the abort request.  One
// that neither acknowledges nor falls quiet within this long, or that sends
// more than this after it (a 16 KiB transfer in flight is all a player has),
// is not stopping; the operation has failed either way, and a broken player
// must not hold the PC after Ctrl-C.
constexpr unsigned kAbortLimitMs = 3000;
constexpr size_t kAbortDrainBytes = 1u << 20;

// How long a player may pause between two transfers of one file.  A probe
// that waits this long for more data follows every transfer from the player
// on a real bus.
constexpr unsigned kSurplusWaitMs = 20;

// The data phase failed or was cancelled: the player may still be in the
// transfer, tell it to stop so the next command finds it listening.
void stopPlayer(HZVC450 h) { abortTransfer(h); }

}  // namespace

bool sendData(HZVC450 h, const void *buf, int len)
{
    return len > 0 && ZVC450_SendUSB(h, buf, len) == len;
}

int recvData(HZVC450 h, void *buf, int len)
{
    return ZVC450_RecvUSB(h, buf, len);
}

bool abortTransfer(HZVC450 h)
{
    Transport *link = transportOf(h);
    if (!link)
        return false;
    const auto start = std::chrono::steady_clock::now();
    const unsigned ackMs = g_lib.sendTimeoutMs != 0 && g_lib.sendTimeoutMs < kAbortLimitMs ? g_lib.sendTimeoutMs
                                                                                           : kAbortLimitMs;
    const bool acked = link->controlOut(kAbortSetup, ackMs) >= 0;
    const auto spent = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    const unsigned left = spent.count() < kAbortLimitMs ? kAbortLimitMs - unsigned(spent.count()) : 1;
    link->drainIn(kAbortDrainQuietMs, left, kAbortDrainBytes);
    return acked;
}

bool requestFile(HZVC450 h, int memory, const Payload &fileNumber)
{
    // The second answer says the data follows.  One that never comes is
    // the link's failure; one that refuses is the player's.
    return exchange(h, memory, 'R', fileNumber) && receiveAnswer(h);
}

// The player sends its whole file (or font, or range) whatever size the
// caller asked for; when it had more than that, the rest would be taken for
// the answer to the next command.  On the virtual link the abort
// request alone drops it (its status stage comes after the last data); on a
// real bus a short probe tells whether anything follows, and only then is
// the player stopped and the pipe drained.
void dropSurplus(HZVC450 h)
{
    Transport *link = transportOf(h);
    if (!link)
        return;
    if (link->abortDropsQueuedIn()) {
        link->controlOut(kAbortSetup, g_lib.sendTimeoutMs);
        return;
    }
    uint8_t probe[kPacketSize];
    if (link->read(probe, kPacketSize, kSurplusWaitMs) > 0)
        stopPlayer(h);
}

// ---- Phase window ---------------------------------------------------------------

PhaseWindow::PhaseWindow(void *owner, ProgressRecord *rec, uint64_t size, const DataPhaseOptions &opt)
    : rec_(rec), window_(opt.ownWindow ? CreateProgressWindow(owner, rec) : nullptr)
{
    SetProgressRange(rec, 0, unsigned(size), nullptr);
    start_ = opt.showSpeed ? ProgressTickCount() : 0;
    UpdateProgress(rec, 0, start_);
}

bool PhaseWindow::cancelRequested()
{
    PumpWaitingMessages(rec_->hDlg);
    return rec_->flags & kProgressCancelled;
}

void PhaseWindow::advance(uint64_t done) { UpdateProgress(rec_, unsigned(done), start_); }

// ---- Transfer buffer ---------------------------------------------------------

TransferBuffer::TransferBuffer() : data_(nullptr), size_(0), own_(true)
{
    for (int size = kMaxDataTransfer; size >= kMinOwnBuffer; size /= 2) {
        data_ = new (std::nothrow) uint8_t[size_t(size)];
        if (data_) {
            size_ = size;
            return;
        }
    }
    data_ = g_packet;
    size_ = kPacketSize;
    own_ = false;
}

TransferBuffer::~TransferBuffer()
{
    if (own_)
        delete[] data_;
}

// ---- Data phases ------------------------------------------------------------------

namespace {

// How a data phase ended: 0, or the library error with its errno for 6.
struct PhaseOutcome {
    int error = 0;
    int sysError = 0;
};

bool report(const PhaseOutcome &out)
{
    if (out.error == ZVC450USB_ERR_WINDOWS)
        return failSystem(out.sysError);
    if (out.error)
        return fail(out.error);
    return true;
}

}  // namespace

bool sendFileData(void *owner, HZVC450 h, int fd, uint64_t size, ProgressRecord *rec,
                  const DataPhaseOptions &opt)
{
    TransferBuffer buf;
    const int step = opt.blockSize > 0 && opt.blockSize < buf.size() ? opt.blockSize : buf.size();
    PhaseOutcome out;
    {
        PhaseWindow window(owner, rec, size, opt);
        uint64_t done = 0;
        while (done < size) {
            if (window.cancelRequested() && opt.cancellable) {
                stopPlayer(h);
                out.error = ZVS450USB_ERR_USERBREAK;
                break;
            }
            const int chunk = size - done < uint64_t(step) ? int(size - done) : step;
            const int padded = roundUpToBlock(chunk);
            if (!readFully(fd, buf.data(), size_t(chunk))) {
                // Never send bytes we did not read as if they were the file.
                out.sysError = errno;
                stopPlayer(h);
                out.error = ZVC450USB_ERR_WINDOWS;
                break;
            }
            std::memset(buf.data() + chunk, 0, size_t(padded - chunk));
            if (!sendData(h, buf.data(), padded)) {
                // Ctrl-C ends a wait for a player that takes nothing.
                if (window.cancelRequested() && opt.cancellable) {
                    stopPlayer(h);
                    out.error = ZVS450USB_ERR_USERBREAK;
                    break;
                }
                out.error = ZVC450USB_ERR_USB;
                break;
            }
            done += unsigned(chunk);
            window.advance(done);
        }
    }
    return report(out);
}

bool receiveFileData(void *owner, HZVC450 h, int fd, uint64_t size, ProgressRecord *rec,
                     const DataPhaseOptions &opt)
{
    TransferBuffer buf;
    PhaseOutcome out;
    {
        PhaseWindow window(owner, rec, size, opt);
        uint64_t done = 0;
        while (done < size) {
            if (window.cancelRequested()) {
                stopPlayer(h);
                out.error = ZVS450USB_ERR_USERBREAK;
                break;
            }
            const int chunk = size - done < uint64_t(buf.size()) ? int(size - done) : buf.size();
            const int got = recvData(h, buf.data(), roundUpToBlock(chunk));
            if (got <= 0) {
                // Ctrl-C ends a wait for a player that has gone silent.
                if (window.cancelRequested()) {
                    stopPlayer(h);
                    out.error = ZVS450USB_ERR_USERBREAK;
                    break;
                }
                // The player may still be sending (a transfer longer than
                // asked for is refused by the link): stop it.
                stopPlayer(h);
                out.error = ZVC450USB_ERR_USB;
                break;
            }
            // A short transfer carries only what it carries; the rest of the
            // chunk comes in the next one.
            const int bytes = got < chunk ? got : chunk;
            if (!writeFully(fd, buf.data(), size_t(bytes))) {
                out.sysError = errno;  // typically ENOSPC: the disk is full
                stopPlayer(h);
                out.error = ZVC450USB_ERR_WINDOWS;
                break;
            }
            done += unsigned(bytes);
            window.advance(done);
        }
    }
    if (out.error == 0)
        dropSurplus(h);
    return report(out);
}

bool receiveIntoNewFile(void *owner, HZVC450 h, const char *path, uint64_t size, ProgressRecord *rec)
{
    // Into a temporary file beside path: a failed transfer leaves what was
    // there before.
    LocalOutput out;
    if (int err = out.open(path)) {
        abortTransfer(h);  // the player is already sending: stop it
        return failSystem(err) != 0;
    }
    if (!receiveFileData(owner, h, out.fd(), size, rec))
        return false;
    return out.commit() || failSystem(errno) != 0;
}

}  // namespace zvc450
