// font.cpp - the LCD font the player keeps in a flash area of its own
// (target "U").  The library treats the font as opaque bytes:
//
//   "U" 'W' name size(32)   download: one answer, then the font as file data
//   "U" 'V'                 information: the name and the size in one answer
//   "U" 'E'                 erase: one answer
//   "U" 'R'                 upload: one answer, then the font as file data
//
// The data moves exactly as a file download or upload does.

#include "data_phase.h"

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

namespace zvc450 {
namespace {

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

}  // namespace

}  // namespace zvc450

using namespace zvc450;

extern "C" {

ZVC450_API int ZVC450_DownloadFont(void *owner, HZVC450 h, const char *fontPath)
{
    FileHandle file;
    struct stat st;
    if (int err = openSourceFile(fontPath, &file, &st))
        return failSystem(err);
    if (uint64_t(st.st_size) > kMaxFontFile)
        return fail(ZVC450USB_ERR_FILE_TOOBIG);
    // The font area is addressed with entry-set era commands only.
    if (!fwWideProtocol(effectiveFirmware()))
        return fail(ZVC450USB_ERR_UNSUPPORTED);

    // The player keeps the font under the last component of the local path.
    const char *name = pathTail(fontPath);
    const uint32_t size = uint32_t(st.st_size);
    if (!exchange(h, kTargetFont, kCmdDownload, Payload().bytes(name, std::strlen(name)).be32(size)))
        return 0;

    ProgressRecord rec = MakeProgressRecord(kStrFontDownloading, -1, fontPath);
    return sendFileData(owner, h, file.get(), size, &rec);
}

ZVC450_API int ZVC450_GetFontInfo(HZVC450 h, ZVC450_FONTINFO *info)
{
    if (!info)
        return fail(ZVC450USB_ERR_UNSUPPORTED);  // the caller's mistake, not the player's refusal
    if (!exchange(h, kTargetFont, kCmdInformation))
        return 0;  // 4, or 5 with the player's code
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
    return exchange(h, kTargetFont, kCmdErase);
}

ZVC450_API int ZVC450_UploadFont(void *owner, HZVC450 h, const char *fontPath, const char *displayName,
                                 unsigned size)
{
    if (!fontPath || !*fontPath)
        return failSystem(ENOENT);
    if (!exchange(h, kTargetFont, kCmdUpload))
        return 0;
    ProgressRecord rec = MakeProgressRecord(kStrFontUploading, -1, displayName ? displayName : fontPath);
    return receiveIntoNewFile(owner, h, fontPath, size, &rec);
}

}  // extern "C"
