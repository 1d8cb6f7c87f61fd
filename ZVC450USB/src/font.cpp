// font.cpp - the LCD font the player keeps in a flash area of its own
// (target "U").  The library treats the font as opaque bytes:
//
//   "U" 'W' name size(32)   download: one answer, then the font as file data
//   "U" 'V'                 information: the name and the size in one answer
//   "U" 'E'                 erase: one answer
//   "U" 'R'                 upload: one answer, then the font as file data
//
// The data moves exactly as a file download or upload does.

#include "maintenance.h"
#include "transfer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

namespace zvc450 {
namespace {

constexpr int kTargetFont = 2;  // "U"

constexpr uint8_t kCmdDownload = 'W';
constexpr uint8_t kCmdInformation = 'V';
constexpr uint8_t kCmdErase = 'E';
constexpr uint8_t kCmdUpload = 'R';

constexpr uint64_t kMaxFontFile = 0xFFFFFFFFull;

// Information answer: status at 4, the name from 5 (L - 7 bytes, no
// terminator), the size (32 bits, high first) in the four bytes before the
// terminator at L + 2.  L is the answer's length field as for every answer
// of the player's generation: bytes 1-2 from 1.30 on, byte 2 alone before
// (byte 1 then holds whatever the player's buffer held), so an older
// player's font name has at most 248 bytes.
constexpr int kInfoNameOffset = 5;
constexpr int kInfoFixedLength = 7;   // L of an answer with an empty name
constexpr size_t kMaxFontName = 260;


// Sends a command without payload to the font area and checks its answer.
bool exchange(HZVC450 h, uint8_t cmd)
{
    if (!ZVC450_SendCommand(h, kTargetFont, cmd, nullptr, 0))
        return fail(ZVC450USB_ERR_USB) != 0;
    if (ZVC450_RecvUSB(h, g_packet, kPacketSize) == 0)
        return fail(ZVC450USB_ERR_USB) != 0;
    if (!checkAnswer())
        return fail(ZVC450USB_ERR_INTERNAL) != 0;
    return true;
}

}  // namespace

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

using namespace zvc450;

extern "C" {

ZVC450_API int ZVC450_DownloadFont(void *owner, HZVC450 h, const char *fontPath)
{
    if (!fontPath || !*fontPath)
        return failSystem(ENOENT);
    FileHandle file(::open(fontPath, O_RDONLY | O_CLOEXEC));
    if (file.get() < 0)
        return failSystem(errno);
    struct stat st;
    if (fstat(file.get(), &st) != 0)
        return failSystem(errno);
    if (!S_ISREG(st.st_mode))
        return failSystem(S_ISDIR(st.st_mode) ? EISDIR : EINVAL);
    if (uint64_t(st.st_size) > kMaxFontFile)
        return fail(ZVC450USB_ERR_FILE_TOOBIG);
    // The font area is addressed with entry-set era commands only.
    if (!fwWideProtocol(effectiveFirmware()))
        return fail(ZVC450USB_ERR_UNSUPPORTED);

    // The player keeps the font under the last component of the local path.
    const char *name = pathTail(fontPath);
    const size_t nameLen = std::strlen(name);
    const uint32_t size = uint32_t(st.st_size);
    std::vector<uint8_t> payload(nameLen + 4);
    std::memcpy(payload.data(), name, nameLen);
    putBE32(payload.data() + nameLen, size);
    if (!ZVC450_SendCommand(h, kTargetFont, kCmdDownload, payload.data(), int(payload.size())))
        return fail(ZVC450USB_ERR_USB);
    if (ZVC450_RecvUSB(h, g_packet, kPacketSize) == 0)
        return fail(ZVC450USB_ERR_USB);
    if (!checkAnswer())
        return fail(ZVC450USB_ERR_INTERNAL);

    ProgressRecord rec{};
    rec.title = kStrFontDownloading;
    rec.index = -1;
    rec.status = fontPath;
    return sendFileData(owner, h, file.get(), size, &rec) ? 1 : 0;
}

ZVC450_API int ZVC450_GetFontInfo(HZVC450 h, ZVC450_FONTINFO *info)
{
    if (!info)
        return fail(ZVC450USB_ERR_UNSUPPORTED);  // the caller's mistake, not the player's refusal
    if (!ZVC450_SendCommand(h, kTargetFont, kCmdInformation, nullptr, 0))
        return fail(ZVC450USB_ERR_USB);
    if (ZVC450_RecvUSB(h, g_packet, kPacketSize) == 0)
        return fail(ZVC450USB_ERR_USB);
    if (!checkAnswer())
        return 0;  // error 5 with the player's code
    const int L = answerLength(g_packet, fwWideProtocol(effectiveFirmware()));
    if (L < kInfoFixedLength)
        return fail(ZVC450USB_ERR_USB);
    // The size ends at byte L + 1; a length that puts it past the packet
    // is a broken answer, not a name to read beyond our buffer.
    if (L + 1 >= kPacketSize)
        return failInternal(-1);

    const size_t nameLen = size_t(L - kInfoFixedLength);
    // At most 260 bytes reach the record, never half a character.
    const std::string name(reinterpret_cast<const char *>(g_packet + kInfoNameOffset), nameLen);
    copyUtf8Cut(info->szFontName, kMaxFontName + 1, name);
    info->dwFontSize = getBE32(g_packet + kInfoNameOffset + nameLen);
    return 1;
}

ZVC450_API int ZVC450_EraseFont(HZVC450 h)
{
    return exchange(h, kCmdErase) ? 1 : 0;
}

ZVC450_API int ZVC450_UploadFont(void *owner, HZVC450 h, const char *fontPath, const char *displayName,
                                 unsigned size)
{
    if (!fontPath || !*fontPath)
        return failSystem(ENOENT);
    if (!exchange(h, kCmdUpload))
        return 0;
    ProgressRecord rec{};
    rec.title = kStrFontUploading;
    rec.index = -1;
    rec.status = displayName ? displayName : fontPath;
    return receiveIntoNewFile(owner, h, fontPath, size, &rec) ? 1 : 0;
}

}  // extern "C"
