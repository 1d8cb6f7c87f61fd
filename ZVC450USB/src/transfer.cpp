// transfer.cpp - file transfers: download (PC to player), replace and
// upload (player to PC, copied or converted to WAV).  Their data phases,
// which the maintenance operations share, are in data_phase.cpp.
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

#include "convert.h"
#include "data_phase.h"

#include <cerrno>
#include <string>
#include <vector>

namespace zvc450 {
namespace {

// Answer fields.
constexpr int kFileNumberOffset = 6;

// Bytes of a file the player takes: its sizes are 32-bit.
constexpr uint64_t kMaxFileSize = 0xFFFFFFFFull;

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
    return exchange(h, memory, 'W', Payload().text(shortName).le16(stamp.date).le16(stamp.time).be32(size));
}

// Newer firmware: the name's entry set with the size in the short entry, as
// an irregular command without parameters.
bool announceEntrySet(HZVC450 h, int memory, const char *localPath, const FatStamp &stamp, uint32_t size)
{
    std::vector<uint8_t> set;
    if (!encodeNameAt(localPath, false, stamp, &set))
        return false;  // error 13 set
    putLE32(set.data() + set.size() - kDirEntrySize + kEntrySize, size);
    return answerTo(h, ZVC450_SendCommandIrregular(h, memory, 'W', 2, nullptr, 0, set.data(), int(set.size())));
}

}  // namespace
}  // namespace zvc450

using namespace zvc450;

namespace {

// Converts the received recording into the WAV at localPath in its own
// window.  The converters remove a WAV they do not finish.
int convertRecording(void *owner, int kind, const std::string &source, const char *localPath, const char *shown)
{
    ProgressRecord rec = MakeProgressRecord(kStrConverting, -1, shown);
    rec.flags = kProgressCountMode;
    ScopedWindow window(CreateProgressWindow(owner, &rec));
    ConvertStatus status;
    const bool ok = kind == ZVC450_UPLOAD_BCW2WAV
                        ? ConvertBcwToWav(source.c_str(), localPath, ConversionProgressCallback, &rec, &status)
                        : ConvertBvfToWav(source.c_str(), localPath, ConversionProgressCallback, &rec, &status);
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
    FileHandle file;
    struct stat st;
    if (int err = openSourceFile(localPath, &file, &st))
        return failSystem(err);
    const FatStamp stamp = (flags & ZVC450_DOWNLOAD_KEEP_TIME) ? fatStampOf(st.st_mtime) : fatStampNow();
    if (uint64_t(st.st_size) > kMaxFileSize)
        return fail(ZVC450USB_ERR_FILE_TOOBIG);
    const uint32_t size = uint32_t(st.st_size);

    const bool announced = fwWideProtocol(effectiveFirmware())
                               ? announceEntrySet(h, memory, localPath, stamp, size)
                               : announceShortName(h, memory, localPath, stamp, size);
    if (!announced) {
        // The player has no room: its own "out of memory" is our "disk full".
        if (refusedWith(ZVC450INT_ERR_OUT_OF_MEMORY))
            return fail(ZVC450USB_ERR_DISKFULL);
        return 0;
    }

    ProgressRecord rec = MakeProgressRecord(kStrDownloading, announcedFileNumber(), localPath);
    return sendFileData(owner, h, file.get(), size, &rec);
}

ZVC450_API int ZVC450_Replace(HZVC450 h, int memory, int fileA, int fileB)
{
    Payload numbers;
    if (!validMemory(memory) || !numbers.fileNumber(fileA) || !numbers.fileNumber(fileB))
        return fail(ZVC450USB_ERR_UNSUPPORTED);
    return exchange(h, memory, 'P', numbers);
}

ZVC450_API int ZVC450_Upload(void *owner, HZVC450 h, int memory, int fileIndex, const char *localPath,
                             const char *displayName, unsigned size, int kind)
{
    if (kind != ZVC450_UPLOAD_COPY && kind != ZVC450_UPLOAD_BCW2WAV && kind != ZVC450_UPLOAD_BVF2WAV)
        return fail(ZVC450USB_ERR_UNSUPPORTED);
    Payload number;
    if (!validMemory(memory) || !number.fileNumber(fileIndex))
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
    FileHandle file(convert ? createTempFile("$450", &recording) : -1);
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

    if (!requestFile(h, memory, number))
        return 0;

    const char *shown = displayName ? displayName : localPath;
    ProgressRecord rec = MakeProgressRecord(kStrUploading, fileIndex, shown);
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
