// data_phase.h - the data phases shared by every operation that moves a file.
//
// A file download (PC to player), the font download and the firmware write
// stream a local file to the player; a file upload (player to PC), the font
// upload and the raw-data upload stream the player's data into a local file.
// The command and its answers differ; the data phase is always the same:
// transfers of up to 16 KiB straight between the file and the link (the last
// one rounded up to a multiple of 512 bytes, the player's block), the
// transfer window following the count, Cancel between chunks.
//
//     ProgressRecord rec{};
//     rec.title = kStrDownloading; rec.index = fileNumber; rec.status = path;
//     if (!sendFileData(owner, h, fd, size, &rec, DataPhaseOptions{}))
//         return 0;                       // library error already set
//
// On failure the library error is set: 4 (the link failed or ended the
// transfer short), 6 with the errno (the local file could not be read or
// written; the player was told to abort), 14 (the user cancelled; the player
// was told to abort and what it still sent was dropped).  The caller deletes
// a partial local file.
#pragma once

#include "local_file.h"
#include "progress.h"
#include "protocol.h"

#include <cstdint>

namespace zvc450 {

// Raw data blocks straight from and to the caller's buffer (no copies).
// sendData: true when all len bytes went in one transfer.  recvData: the
// bytes read (a short read is not an error here), 0 on failure.  Neither sets
// an error code; callers set ZVC450USB_ERR_USB.
bool sendData(HZVC450 h, const void *buf, int len);
int recvData(HZVC450 h, void *buf, int len);

// Sends the vendor abort request and then drops the data the player had
// already queued, so the next command starts in step.  Result ignored by
// the callers; true when the player acknowledged.
bool abortTransfer(HZVC450 h);

struct DataPhaseOptions {
    bool showSpeed = true;      // firmware writes show no speed
    bool ownWindow = true;      // create and destroy the transfer window around the phase;
                                // false: the caller's record already has its window open
    // Sending only:
    int blockSize = 0;          // bytes per bulk transfer, a multiple of 512; 0 = the
                                // transfer buffer (firmware writes: 512, one flash block)
    bool cancellable = true;    // false: Cancel is ignored (a half-written flash is worse)
};

// A transfer of n bytes as the player moves it: whole 512-byte blocks.
inline int roundUpToBlock(int n) { return (n + kPacketSize - 1) / kPacketSize * kPacketSize; }

// The transfer window of one data phase: opened (when the phase owns it)
// and set to the phase's range at the start, closed when the phase ends.
class PhaseWindow {
public:
    PhaseWindow(void *owner, ProgressRecord *rec, uint64_t size, const DataPhaseOptions &opt);
    PhaseWindow(const PhaseWindow &) = delete;
    PhaseWindow &operator=(const PhaseWindow &) = delete;

    // Lets the window take its events; true when the user pressed Cancel.
    bool cancelRequested();
    // Shows done bytes of the phase (and the speed, when it shows one).
    void advance(uint64_t done);

private:
    ProgressRecord *rec_;
    ScopedWindow window_;  // null when the caller's window serves the phase
    uint32_t start_ = 0;
};

// Sends size bytes of the local file fd (read from its current position) to
// the player.  Bytes of the last block past the end of the file are zeros.
bool sendFileData(void *owner, HZVC450 h, int fd, uint64_t size, ProgressRecord *rec,
                  const DataPhaseOptions &opt = DataPhaseOptions());

// Receives size bytes from the player and writes them to fd.
bool receiveFileData(void *owner, HZVC450 h, int fd, uint64_t size, ProgressRecord *rec,
                     const DataPhaseOptions &opt = DataPhaseOptions());

// Asks the player for a file of a memory's current directory ("R" with the
// file's number, Payload::fileNumber) and takes its two answers: the file's
// data follows.  False with the library error set (4 or 5).
bool requestFile(HZVC450 h, int memory, const Payload &fileNumber);

// After the size asked for has arrived: drops whatever more the player sends
// of the file, so that the next command finds it listening.
void dropSurplus(HZVC450 h);

// The transfer buffer of a data phase: 16 KiB when it can be had, else
// halving down to 1 KiB, else the library's 512-byte packet buffer.  Always
// a multiple of 512.
class TransferBuffer {
public:
    TransferBuffer();
    ~TransferBuffer();
    TransferBuffer(const TransferBuffer &) = delete;
    TransferBuffer &operator=(const TransferBuffer &) = delete;
    uint8_t *data() const { return data_; }
    int size() const { return size_; }

private:
    uint8_t *data_;
    int size_;
    bool own_;
};

// Receives size bytes of the player's data into the local file path in the
// window of rec.  The player must already be sending.  The data goes into a
// temporary file that replaces path only when all of it has arrived; on
// failure path is as it was.  The library error is set (4, 6 with errno, 14).
bool receiveIntoNewFile(void *owner, HZVC450 h, const char *path, uint64_t size, ProgressRecord *rec);

}  // namespace zvc450
