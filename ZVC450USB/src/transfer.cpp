// transfer.cpp - file transfers: download (PC to player), replace, upload
// (player to PC, copied or converted to WAV), and the data phases that the
// maintenance operations share.
//
// Download: "W" announces the file (8.3 name, stamp and size as text on
// older firmware; the FAT entry set with the size in its short entry on
// newer firmware), the player answers with the new file's number, then the
// file follows in bulk transfers of up to 16 KiB, the last one padded to a
// multiple of 512.  No answer follows the data.
//
// Upload: "R" names the file by its number, the player answers twice (the
// file is open, the data follows), then sends the file the same way.  The
// player never says how long the file is here; the caller knows it from the
// listing.

#include "transfer.h"

#include "convert.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

namespace zvc450 {

namespace {

constexpr int kMinOwnBuffer = 1024;

// Answer fields.
constexpr int kFileNumberOffset = 6;

// Bytes of a file the player takes: its sizes are 32-bit.
constexpr uint64_t kMaxFileSize = 0xFFFFFFFFull;

int roundUpBlock(int n) { return (n + kPacketSize - 1) / kPacketSize * kPacketSize; }


// The file number the player gave a new file (answer of "W").
int announcedFileNumber()
{
    return fwWideProtocol(effectiveFirmware()) ? int(getBE16(g_packet + kFileNumberOffset))
                                               : int(g_packet[kFileNumberOffset]);
}

// Older firmware: the 8.3 name as text, FAT date and time little-endian,
// the size big-endian; one ordinary command packet.
bool announceShortName(HZVC450 h, int memory, const char *localPath, const FatStamp &stamp, uint32_t size)
{
    std::string shortName;
    bool lossy = false;
    if (!makeShortName(localPath, &shortName, &lossy))
        return false;  // error 13 set
    if (shortName.size() > 12)
        return fail(ZVS450USB_ERR_INVALID_FILENAME) != 0;
    uint8_t payload[12 + 8];
    const size_t n = shortName.size();
    std::memcpy(payload, shortName.data(), n);
    putLE16(payload + n, stamp.date);
    putLE16(payload + n + 2, stamp.time);
    putBE32(payload + n + 4, size);
    if (!ZVC450_SendCommand(h, memory, 'W', payload, int(n + 8)))
        return fail(ZVC450USB_ERR_USB) != 0;
    return true;
}

// Newer firmware: the name's entry set with the size in the short entry, as
// an irregular command without parameters.
bool announceEntrySet(HZVC450 h, int memory, const char *localPath, const FatStamp &stamp, uint32_t size)
{
    std::vector<uint8_t> set;
    if (!encodeNameAt(localPath, false, stamp, &set)) {
        if (ZVC450_GetError() != ZVS450USB_ERR_INVALID_FILENAME)
            fail(ZVC450USB_ERR_MEMORY_ALLOC);
        return false;
    }
    putLE32(set.data() + set.size() - 4, size);
    if (!ZVC450_SendCommandIrregular(h, memory, 'W', 2, nullptr, 0, set.data(), int(set.size())))
        return fail(ZVC450USB_ERR_USB) != 0;
    return true;
}

// The data phase failed or was cancelled: the player may still be in the
// transfer, tell it to stop so the next command finds it listening.
void stopPlayer(HZVC450 h) { abortTransfer(h); }

// How long a player may pause between two transfers of one file.  A probe
// that waits this long for more data follows every transfer from the player
// on a real bus.
constexpr unsigned kSurplusWaitMs = 20;

// ".zvc450-" + 6 random letters + ".part" in folder (with its "/", or "").
std::string temporaryName(const std::string &folder)
{
    static const char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    uint8_t random[6];
    if (getrandom(random, sizeof random, 0) != ssize_t(sizeof random)) {
        const unsigned t = unsigned(ProgressTickCount()) ^ unsigned(getpid());
        for (size_t i = 0; i < sizeof random; ++i)
            random[i] = uint8_t(t >> (i * 5));
    }
    std::string name = folder + ".zvc450-";
    for (uint8_t r : random)
        name += kLetters[r % (sizeof kLetters - 1)];
    return name + ".part";
}

}  // namespace

bool requestFile(HZVC450 h, int memory, const uint8_t *number, int numberLen)
{
    if (!ZVC450_SendCommand(h, memory, 'R', number, numberLen))
        return fail(ZVC450USB_ERR_USB) != 0;
    if (ZVC450_RecvUSB(h, g_packet, kPacketSize) == 0)
        return fail(ZVC450USB_ERR_USB) != 0;
    if (!checkAnswer())
        return fail(ZVC450USB_ERR_INTERNAL) != 0;
    // The second answer says the data follows.  One that never comes is
    // the link's failure; one that refuses is the player's.
    if (ZVC450_RecvUSB(h, g_packet, kPacketSize) == 0)
        return fail(ZVC450USB_ERR_USB) != 0;
    if (!checkAnswer())
        return fail(ZVC450USB_ERR_INTERNAL) != 0;
    return true;
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

// ---- Local output ----------------------------------------------------------------

int LocalOutput::open(const char *dest, bool seekable)
{
    discard();
    direct_ = false;
    dest_ = dest;
    // Write through a symbolic link to the file it names, as opening the
    // link would.
    char resolved[PATH_MAX];
    struct stat st;
    const bool exists = ::stat(dest, &st) == 0;
    if (exists && ::realpath(dest, resolved))
        dest_ = resolved;
    if (exists && S_ISDIR(st.st_mode))
        return EISDIR;
    if (exists && !S_ISREG(st.st_mode)) {
        // A device or a FIFO: written in place.  A FIFO cannot take a WAV
        // (its header is written last), and one without a reader must not
        // block us.
        if (seekable && (S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode)))
            return ESPIPE;
        direct_ = true;
        path_ = dest_;
        if (seekable)
            return 0;  // the converter opens it itself
        const int fd = ::open(dest_.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
        if (fd < 0)
            return errno;
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
        file_.reset(fd);
        return 0;
    }
    // A file the user may not write is not replaced behind its back, even
    // though its folder would let us.
    if (exists && ::access(dest_.c_str(), W_OK) != 0)
        return errno;
    const size_t slash = dest_.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string() : dest_.substr(0, slash + 1);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string name = temporaryName(folder);
        // 0666: the umask applies as to any new file.
        const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0) {
            if (errno == EEXIST)
                continue;
            return errno;
        }
        if (exists)
            ::fchmod(fd, st.st_mode & 0777);
        path_ = name;
        file_.reset(fd);
        return 0;
    }
    return EEXIST;
}

bool LocalOutput::commit()
{
    if (path_.empty()) {
        errno = EBADF;
        return false;
    }
    if (!file_.close()) {
        const int err = errno;  // the last write-back failed (disk full on close)
        discard();
        errno = err;
        return false;
    }
    if (!direct_ && ::rename(path_.c_str(), dest_.c_str()) != 0) {
        const int err = errno;
        discard();
        errno = err;
        return false;
    }
    path_.clear();
    return true;
}

void LocalOutput::discard()
{
    file_.close();
    if (!direct_ && !path_.empty())
        ::unlink(path_.c_str());
    path_.clear();
}

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

// ---- Local file helpers --------------------------------------------------------

bool readFully(int fd, void *buf, size_t len)
{
    auto *p = static_cast<uint8_t *>(buf);
    while (len > 0) {
        const ssize_t r = ::read(fd, p, len);
        if (r < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (r == 0) {
            errno = ENODATA;  // the file is shorter than it was when we announced it
            return false;
        }
        p += r;
        len -= size_t(r);
    }
    return true;
}

bool writeFully(int fd, const void *buf, size_t len)
{
    const auto *p = static_cast<const uint8_t *>(buf);
    while (len > 0) {
        const ssize_t r = ::write(fd, p, len);
        if (r < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (r == 0) {
            errno = ENOSPC;
            return false;
        }
        p += r;
        len -= size_t(r);
    }
    return true;
}

// ---- Data phases ------------------------------------------------------------------

namespace {

// The transfer window of one data phase: opened (when the phase owns it) and
// set to the phase's range at the start, closed when the phase ends.
class PhaseWindow {
public:
    PhaseWindow(void *owner, ProgressRecord *rec, uint64_t size, const DataPhaseOptions &opt)
        : rec_(rec), own_(opt.ownWindow)
    {
        if (own_)
            CreateProgressWindow(owner, rec);
        SetProgressRange(rec, 0, unsigned(size), nullptr);
        start_ = opt.showSpeed ? ProgressTickCount() : 0;
        UpdateProgress(rec, 0, start_);
    }
    ~PhaseWindow()
    {
        if (own_)
            DestroyProgressWindow(rec_->hDlg);
    }
    PhaseWindow(const PhaseWindow &) = delete;
    PhaseWindow &operator=(const PhaseWindow &) = delete;

    // Lets the window take its events; true when the user pressed Cancel.
    bool cancelRequested()
    {
        PumpWaitingMessages(rec_->hDlg);
        return rec_->flags & kProgressCancelled;
    }
    void advance(uint64_t done) { UpdateProgress(rec_, unsigned(done), start_); }

private:
    ProgressRecord *rec_;
    bool own_;
    uint32_t start_ = 0;
};

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
            const int padded = roundUpBlock(chunk);
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
            const int got = recvData(h, buf.data(), roundUpBlock(chunk));
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

}  // namespace zvc450

using namespace zvc450;

namespace {

// The temporary folder: $TMPDIR when set, else /tmp (no trailing slash).
std::string tempFolder()
{
    const char *env = std::getenv("TMPDIR");
    std::string dir = env != nullptr && *env != '\0' ? env : "/tmp";
    while (dir.size() > 1 && dir.back() == '/')
        dir.pop_back();
    return dir;
}

// Creates the temporary file that receives a recording before conversion:
// "$450" and a unique suffix in the temporary folder.
int createTempFile(std::string *path)
{
    std::string tmpl = tempFolder() + "/$450XXXXXX";
    std::vector<char> buf(tmpl.begin(), tmpl.end());
    buf.push_back('\0');
    const int fd = mkstemp(buf.data());
    if (fd >= 0)
        *path = buf.data();
    return fd;
}

// Converts the received recording into the WAV at localPath in its own
// window.  The converters remove a WAV they do not finish.
int convertRecording(void *owner, int kind, const std::string &source, const char *localPath, const char *shown)
{
    ProgressRecord rec{};
    rec.title = kStrConverting;
    rec.index = -1;
    rec.status = shown;
    rec.flags = kProgressCountMode;
    CreateProgressWindow(owner, &rec);
    ConvertStatus status;
    const bool ok = kind == ZVC450_UPLOAD_BCW2WAV
                        ? ConvertBcwToWav(source.c_str(), localPath, ConversionProgressCallback, &rec, &status)
                        : ConvertBvfToWav(source.c_str(), localPath, ConversionProgressCallback, &rec, &status);
    DestroyProgressWindow(rec.hDlg);
    if (ok)
        return 1;
    if (status.error == ZVC450USB_ERR_WINDOWS)
        return failSystem(status.sysError);
    return fail(status.error ? status.error : ZVC450USB_ERR_FORMAT);
}

}  // namespace

extern "C" {

ZVC450_API int ZVC450_Download(void *owner, HZVC450 h, int memory, const char *localPath)
{
    return ZVC450_DownloadEx(owner, h, memory, localPath, 0);
}

ZVC450_API int ZVC450_DownloadEx(void *owner, HZVC450 h, int memory, const char *localPath, unsigned flags)
{
    if (!validMemory(memory) || (flags & ~unsigned(ZVC450_DOWNLOAD_KEEP_TIME)) != 0)
        return fail(ZVC450USB_ERR_UNSUPPORTED);
    if (!localPath || !*localPath)
        return failSystem(ENOENT);
    // Only a regular file has a size to announce.  Anything else is refused
    // before it is opened: opening a FIFO without a writer blocks for good,
    // opening a device may act on it.  O_NONBLOCK covers a swap between the
    // look and the open.
    struct stat st;
    if (::stat(localPath, &st) != 0)
        return failSystem(errno);
    if (!S_ISREG(st.st_mode))
        return failSystem(S_ISDIR(st.st_mode) ? EISDIR : EINVAL);
    FileHandle file(::open(localPath, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (file.get() < 0)
        return failSystem(errno);
    FatStamp stamp = fatStampNow();
    if (fstat(file.get(), &st) != 0)
        return failSystem(errno);
    if (flags & ZVC450_DOWNLOAD_KEEP_TIME)
        stamp = fatStampOf(st.st_mtime);
    if (!S_ISREG(st.st_mode))
        return failSystem(S_ISDIR(st.st_mode) ? EISDIR : EINVAL);
    ::fcntl(file.get(), F_SETFL, ::fcntl(file.get(), F_GETFL) & ~O_NONBLOCK);
    if (uint64_t(st.st_size) > kMaxFileSize)
        return fail(ZVC450USB_ERR_FILE_TOOBIG);
    const uint32_t size = uint32_t(st.st_size);

    const bool announced = fwWideProtocol(effectiveFirmware())
                               ? announceEntrySet(h, memory, localPath, stamp, size)
                               : announceShortName(h, memory, localPath, stamp, size);
    if (!announced)
        return 0;
    if (ZVC450_RecvUSB(h, g_packet, kPacketSize) == 0)
        return fail(ZVC450USB_ERR_USB);
    if (!checkAnswer()) {
        // The player has no room: its own "out of memory" is our "disk full".
        if (g_lib.internalError == ZVC450INT_ERR_OUT_OF_MEMORY)
            return fail(ZVC450USB_ERR_DISKFULL);
        return fail(ZVC450USB_ERR_INTERNAL);
    }

    ProgressRecord rec{};
    rec.title = kStrDownloading;
    rec.index = announcedFileNumber();
    rec.status = localPath;
    return sendFileData(owner, h, file.get(), size, &rec) ? 1 : 0;
}

ZVC450_API int ZVC450_Replace(HZVC450 h, int memory, int fileA, int fileB)
{
    uint8_t payload[4];
    int lenA = 0, lenB = 0;
    if (!validMemory(memory) || !putFileNumber(payload, fileA, &lenA) || !putFileNumber(payload + lenA, fileB, &lenB))
        return fail(ZVC450USB_ERR_UNSUPPORTED);
    if (!ZVC450_SendCommand(h, memory, 'P', payload, lenA + lenB))
        return fail(ZVC450USB_ERR_USB);
    if (ZVC450_RecvUSB(h, g_packet, kPacketSize) == 0)
        return fail(ZVC450USB_ERR_USB);
    if (!checkAnswer())
        return fail(ZVC450USB_ERR_INTERNAL);
    return 1;
}

ZVC450_API int ZVC450_Upload(void *owner, HZVC450 h, int memory, int fileIndex, const char *localPath,
                             const char *displayName, unsigned size, int kind)
{
    if (kind != ZVC450_UPLOAD_COPY && kind != ZVC450_UPLOAD_BCW2WAV && kind != ZVC450_UPLOAD_BVF2WAV)
        return fail(ZVC450USB_ERR_UNSUPPORTED);
    uint8_t index[2];
    int indexLen = 0;
    if (!validMemory(memory) || !putFileNumber(index, fileIndex, &indexLen))
        return fail(ZVC450USB_ERR_UNSUPPORTED);
    if (!localPath || !*localPath)
        return failSystem(ENOENT);

    // Everything local is ready before the player is asked: a destination
    // that cannot be written costs no transfer to stop.  The copy goes into
    // a temporary file beside the destination and replaces it only when
    // complete; a recording first lands in a temporary file of its own.
    const bool convert = kind != ZVC450_UPLOAD_COPY;
    LocalOutput out;
    if (int err = out.open(localPath, convert))
        return failSystem(err);
    std::string recording;
    FileHandle file(convert ? createTempFile(&recording) : -1);
    if (convert && file.get() < 0)
        return failSystem(errno);
    struct RemoveRecording {
        const std::string &path;
        ~RemoveRecording()
        {
            if (!path.empty())
                ::unlink(path.c_str());
        }
    } removeRecording{recording};

    if (!requestFile(h, memory, index, indexLen))
        return 0;

    const char *shown = displayName ? displayName : localPath;
    ProgressRecord rec{};
    rec.title = kStrUploading;
    rec.index = fileIndex;
    rec.status = shown;
    if (!convert) {
        if (!receiveFileData(owner, h, out.fd(), size, &rec))
            return 0;  // out's destructor removes the partial copy
        if (!out.commit())
            return failSystem(errno);
        return 1;
    }
    if (!receiveFileData(owner, h, file.get(), size, &rec))
        return 0;
    if (!file.close())
        return failSystem(errno);
    out.closeFile();
    if (!convertRecording(owner, kind, recording, out.path().c_str(), shown))
        return 0;  // the converter removed its partial WAV; the old one stays
    if (!out.commit())
        return failSystem(errno);
    return 1;
}

}  // extern "C"
