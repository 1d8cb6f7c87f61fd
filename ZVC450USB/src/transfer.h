// transfer.h - the data phases shared by every operation that moves a file.
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

#include "progress.h"
#include "protocol.h"

#include <cstdint>
#include <string>
#include <unistd.h>

namespace zvc450 {

struct DataPhaseOptions {
    bool showSpeed = true;      // firmware writes show no speed
    bool ownWindow = true;      // create and destroy the transfer window around the phase;
                                // false: the caller's record already has its window open
    // Sending only:
    int blockSize = 0;          // bytes per bulk transfer, a multiple of 512; 0 = the
                                // transfer buffer (firmware writes: 512, one flash block)
    bool cancellable = true;    // false: Cancel is ignored (a half-written flash is worse)
};

// Sends size bytes of the local file fd (read from its current position) to
// the player.  Bytes of the last block past the end of the file are zeros.
bool sendFileData(void *owner, HZVC450 h, int fd, uint64_t size, ProgressRecord *rec,
                  const DataPhaseOptions &opt = DataPhaseOptions());

// Receives size bytes from the player and writes them to fd.
bool receiveFileData(void *owner, HZVC450 h, int fd, uint64_t size, ProgressRecord *rec,
                     const DataPhaseOptions &opt = DataPhaseOptions());

// Asks the player for a file of a memory's current directory ("R" with the
// file number as putFileNumber wrote it) and takes its two answers: the
// file's data follows.  False with the library error set (4 or 5).
bool requestFile(HZVC450 h, int memory, const uint8_t *number, int numberLen);

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

// Closes a descriptor when the operation ends, whatever the path.
class FileHandle {
public:
    explicit FileHandle(int fd = -1) : fd_(fd) {}
    ~FileHandle() { close(); }
    FileHandle(const FileHandle &) = delete;
    FileHandle &operator=(const FileHandle &) = delete;
    int get() const { return fd_; }
    // Closes what it held and takes fd.
    void reset(int fd)
    {
        close();
        fd_ = fd;
    }
    // Closes now; false with errno when the close reported a write error.
    bool close()
    {
        if (fd_ < 0)
            return true;
        const int r = ::close(fd_);
        fd_ = -1;
        return r == 0 || errno == EINTR;
    }

private:
    int fd_;
};

// Where a transfer from the player writes its local file.  A regular file,
// new or existing, is written under a temporary name in its own folder
// (".zvc450-XXXXXX.part") and moved over the destination only by commit():
// a transfer that fails or is cancelled leaves the file that was there as
// it was and no partial file.  The new file gets the old one's permissions,
// or those of any new file.  An existing device or FIFO (/dev/null, a pipe
// with a reader) is written directly and never removed.
//
//     LocalOutput out;
//     if (int err = out.open(localPath, true)) return failSystem(err);
//     ... receiveFileData(owner, h, out.fd(), size, &rec) ...
//     if (!out.commit()) return failSystem(errno);
class LocalOutput {
public:
    LocalOutput() = default;
    ~LocalOutput() { discard(); }
    LocalOutput(const LocalOutput &) = delete;
    LocalOutput &operator=(const LocalOutput &) = delete;

    // Prepares the output for dest; 0 or an errno (EISDIR for a folder,
    // ESPIPE for a FIFO when seekable output is asked for).  Nothing is
    // changed at dest yet.
    int open(const char *dest, bool seekable = false);
    int fd() const { return file_.get(); }
    // Where the bytes go now: the temporary file, or dest when written directly.
    const std::string &path() const { return path_; }
    // Closes the descriptor (for writers that open path() themselves).
    bool closeFile() { return file_.close(); }
    // Closes and moves the file into place; false with errno set (the
    // temporary file is removed then).
    bool commit();
    // Removes the temporary file; dest is untouched.
    void discard();

private:
    FileHandle file_;
    std::string dest_;
    std::string path_;
    bool direct_ = false;
};

// Local file helpers with errno semantics, retrying on EINTR.
// Reads exactly len bytes; false with errno set (ENODATA when the file ended early).
bool readFully(int fd, void *buf, size_t len);
// Writes exactly len bytes; false with errno set.
bool writeFully(int fd, const void *buf, size_t len);

}  // namespace zvc450
