// firmware.cpp - replacing the player's boot code or application code.
//
// The code flash has two areas: the boot code from address 0 (8 KiB) and
// the application ("codec") code from 0x2000.  An upgrade is three steps on
// the player's maintenance targets:
//
//   "G" 'O' 0x10 rom        select the ROM (the answer means nothing)
//   "C" 0x03 area           erase with progress: an announcement with the
//                           step count, one report per step, the outcome;
//                           players without it answer a plain success and
//                           erase on "C" 0x02, answering once when done
//   "C" 0x01 area n(16)     write n blocks of 512 bytes, then the outcome
//
// The area byte is 'R' for the boot code and 'P' for the application.
// Neither the erase nor the write can be stopped half-way without leaving
// the player without code, so Cancel (and Ctrl-C) does nothing during an
// upgrade.  An erase whose reports stop getting further is stuck, though:
// it fails with error 4 once no step has been finished for a whole receive
// time-out, or after kMaxEraseReports repeated reports.
//
// An image that cannot be read in the middle of the write fails with the
// system error, and the player is told to abort: it leaves the write then,
// so that a new upgrade finds it listening for commands instead of taking
// them for more code.

#include "interrupt.h"
#include "data_phase.h"

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <thread>

namespace zvc450 {
namespace {

constexpr uint8_t kCmdSelectRom = 'O';
constexpr uint8_t kSelectRomParameter = 0x10;
constexpr uint8_t kCmdWrite = 0x01;
constexpr uint8_t kCmdErase = 0x02;
constexpr uint8_t kCmdEraseWithProgress = 0x03;

constexpr uint8_t kAreaBoot = 'R';
constexpr uint8_t kAreaApplication = 'P';

constexpr uint64_t kMaxBootImage = 8192;
constexpr uint64_t kMaxBlocks = 65535;      // the block count travels in 16 bits
constexpr uint64_t kMaxImageFile = 0xFFFFFFFFull;

// The player needs a moment between the ROM selection, the erase and the write.
constexpr auto kSettleTime = std::chrono::milliseconds(10);

// Erase progress: the announcement is a success answer with 0 at byte 5 and
// its terminator at byte 8, so bytes 6-7 are the step count; each report
// carries the number of the step just finished at 6-7.
constexpr int kEraseMarkOffset = 5;
constexpr int kEraseStepsOffset = 6;
constexpr int kEraseAnnouncementEnd = 8;
// Reports that finish no new step, beyond which an erase counts as stuck.
constexpr unsigned kMaxEraseReports = 10000;

bool isEraseAnnouncement()
{
    return g_packet[kEraseMarkOffset] == 0 && g_packet[kEraseAnnouncementEnd] == '.';
}

bool selectRom(HZVC450 h, int romSelect)
{
    const Payload rom = Payload().byte(kSelectRomParameter).byte(uint8_t(romSelect));
    // Players that have one ROM refuse the selection; the upgrade goes on.
    return rawAnswerTo(h, ZVC450_SendCommand(h, kTargetRomSelect, kCmdSelectRom, rom.data(), rom.size()));
}

// The erase, in the window rec (already open).
bool erase(HZVC450 h, uint8_t area, ProgressRecord *rec, const char *erasingText)
{
    if (!exchange(h, kTargetCodeFlash, kCmdEraseWithProgress, Payload().byte(area)))
        return false;

    if (isEraseAnnouncement()) {
        const unsigned steps = getBE16(g_packet + kEraseStepsOffset);
        SetProgressRange(rec, 0, steps, erasingText);
        using Clock = std::chrono::steady_clock;
        const std::chrono::milliseconds patience(g_lib.recvTimeoutMs);  // 0: as long as it takes
        Clock::time_point lastStep = Clock::now();
        unsigned done = 0, repeats = 0;
        while (done < steps) {
            if (!receiveAnswer(h))
                return false;
            const unsigned reported = getBE16(g_packet + kEraseStepsOffset) + 1;
            if (reported > done) {
                done = reported;
                lastStep = Clock::now();
            } else if ((patience.count() != 0 && Clock::now() - lastStep >= patience) ||
                       ++repeats > kMaxEraseReports) {
                return fail(ZVC450USB_ERR_USB) != 0;  // stuck: as if the player had fallen silent
            }
            UpdateProgress(rec, reported, 0);
        }
        return receiveAnswer(h);
    }

    // A plain success: this player erases only without progress, and says
    // nothing until it has finished (about 20 seconds).
    SetProgressWaiting(rec, ProgressString(kStrWaitErase), erasingText);
    return exchange(h, kTargetCodeFlash, kCmdErase, Payload().byte(area));
}

// The write, in the window rec (already open): the command with the block
// count, the blocks, the outcome.
bool write(HZVC450 h, uint8_t area, int fd, uint64_t size, unsigned blocks, ProgressRecord *rec)
{
    SetProgressRange(rec, 0, unsigned(size), nullptr);
    if (!exchange(h, kTargetCodeFlash, kCmdWrite, Payload().byte(area).be16(blocks)))
        return false;

    DataPhaseOptions opt;
    opt.showSpeed = false;
    opt.ownWindow = false;
    opt.blockSize = kPacketSize;   // the flash takes one block per transfer
    opt.cancellable = false;
    return sendFileData(nullptr, h, fd, size, rec, opt) && receiveAnswer(h);
}


}  // namespace
}  // namespace zvc450

using namespace zvc450;

extern "C" {

ZVC450_API int ZVC450_UpgradeFirmware(void *owner, HZVC450 h, int bootCode, int romSelect, const char *imagePath,
                                      const char *displayName)
{
    UncancellableScope upgrading;
    FileHandle image;
    struct stat st;
    if (int err = openSourceFile(imagePath, &image, &st))
        return failSystem(err);

    // Sizes the flash cannot take are refused before the player hears of them.
    const uint64_t size = uint64_t(st.st_size);
    if (size > kMaxImageFile || (bootCode && size > kMaxBootImage))
        return failSystem(kSysInvalidFormSize);
    const uint64_t blocks = (size + kPacketSize - 1) / kPacketSize;
    if (blocks == 0 || blocks > kMaxBlocks)
        return failSystem(kSysInvalidFormSize);

    const uint8_t area = bootCode ? kAreaBoot : kAreaApplication;
    const unsigned caption = bootCode ? kStrBootUpgrade : kStrCodecUpgrade;
    const char *erasing = ProgressString(bootCode ? kStrBootErasing : kStrCodecErasing);

    if (!selectRom(h, romSelect))
        return 0;
    std::this_thread::sleep_for(kSettleTime);

    {
        ProgressRecord rec = MakeProgressRecord(caption, -1, "");
        ScopedWindow window(CreateProgressWindow(owner, &rec));
        if (!erase(h, area, &rec, erasing))
            return 0;
    }
    std::this_thread::sleep_for(kSettleTime);

    ProgressRecord rec = MakeProgressRecord(caption, -1, displayName ? displayName : imagePath);
    ScopedWindow window(CreateProgressWindow(owner, &rec));
    return write(h, area, image.get(), size, unsigned(blocks), &rec);
}

}  // extern "C"
