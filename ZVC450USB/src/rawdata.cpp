// rawdata.cpp - raw blocks of a memory, below its file system, for diagnosis.
//
//   "M"/"S" 'A' first(16) end(16)   one answer, then the blocks first .. end-1
//                                   (16 KiB each) as file data
//
// The player checks the range against its medium and refuses what it
// cannot serve.

#include "data_phase.h"

#include <cerrno>

namespace zvc450 {
namespace {

constexpr uint8_t kCmdRawBlocks = 'A';
// Block numbers travel in 16 bits.
constexpr uint64_t kMaxBlockEnd = 0xFFFF;

}  // namespace
}  // namespace zvc450

using namespace zvc450;

extern "C" {

ZVC450_API int ZVC450_UploadRawData(void *owner, HZVC450 h, int memory, unsigned firstBlock, unsigned blockCount,
                                    const char *localPath, const char *displayName, unsigned size)
{
    if (!localPath || !*localPath)
        return failSystem(ENOENT);
    // Only the two memories have raw blocks.  A range whose end does not fit
    // the command's 16-bit fields would ask the player for other blocks than
    // the caller meant and fill the file with them.
    const uint64_t end = uint64_t(firstBlock) + blockCount;
    if (!validMemory(memory) || end > kMaxBlockEnd)
        return fail(ZVC450USB_ERR_UNSUPPORTED);  // the library's refusal, not the player's

    if (!exchange(h, memory, kCmdRawBlocks, Payload().be16(firstBlock).be16(unsigned(end))))
        return 0;

    // The raw-data window shares the font upload's caption.
    ProgressRecord rec = MakeProgressRecord(kStrFontUploading, -1, displayName ? displayName : localPath);
    return receiveIntoNewFile(owner, h, localPath, size, &rec);
}

}  // extern "C"
