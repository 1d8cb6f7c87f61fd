// The listing: the header and the raw FAT directory slots a player sends
// for "G" and "GG", joined into records by the library.
//
// Input: flags, file capacity, directory capacity, then what the player
// sends, cut into 512-byte transfers (header first, then slot blocks).
//   flags bit 0     RefreshEx (files and directories) instead of Refresh
//   flags bits 1-2  firmware 1.20, 1.42, 1.43, 1.50
//   flags bit 3     no count pointers
//   flags bit 4     no arrays
#include "fuzz_link.h"

using namespace zvc450;
using namespace fuzzutil;

namespace {

void checkRecord(const ZVC450_DIRENTRY &e)
{
    FUZZ_CHECK(e.szName[8] == '\0');
    FUZZ_CHECK(e.szExt[3] == '\0');
    FUZZ_CHECK(e.bLongNameStatus <= 1);
    checkTextField(e.szLongName, sizeof e.szLongName);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 3)
        return 0;
    static const unsigned kFirmware[] = {0x12000, 0x14200, 0x14300, 0x15000};
    const uint8_t flags = data[0];
    const int fileCap = data[1] % 64, dirCap = data[2] % 64;
    const bool ex = flags & 1;
    const bool noCounts = flags & 8, noArrays = flags & 16;
    ScriptedHandle player(data + 3, size - 3);
    g_lib.effectiveFw = kFirmware[(flags >> 1) & 3];

    // Exactly as large as the counts say, so a record past the end is caught.
    std::vector<ZVC450_DIRENTRY> files(static_cast<size_t>(fileCap)), dirs(static_cast<size_t>(dirCap));
    int nFiles = fileCap, nDirs = dirCap;
    ZVC450_SUMMARY summary;
    std::memset(&summary, 0x5A, sizeof summary);
    ZVC450_DIRENTRY *f = noArrays || fileCap == 0 ? nullptr : files.data();
    ZVC450_DIRENTRY *d = noArrays || dirCap == 0 ? nullptr : dirs.data();
    const int r = ex ? ZVC450_RefreshEx(player.h(), 0, &summary, f, noCounts ? nullptr : &nFiles, d,
                                        noCounts ? nullptr : &nDirs)
                     : ZVC450_Refresh(player.h(), 0, &summary, f, noCounts ? nullptr : &nFiles);
    if (!r) {
        // The link failed, or the player refused (or sent a header too short
        // for its counts).
        FUZZ_CHECK(ZVC450_GetError() == ZVC450USB_ERR_USB || ZVC450_GetError() == ZVC450USB_ERR_INTERNAL);
        return 0;
    }
    FUZZ_CHECK(summary.dwStatus == 0);  // the program's word: the library leaves it 0
    if (noCounts)
        return 0;
    FUZZ_CHECK(nFiles >= 0 && nFiles <= (f ? fileCap : 0));
    FUZZ_CHECK(uint32_t(nFiles) <= summary.dwFilesFound);
    FUZZ_CHECK(uint32_t(nFiles) <= summary.dwFileCount);
    for (int i = 0; i < nFiles; ++i) {
        checkRecord(files[size_t(i)]);
        FUZZ_CHECK(!(files[size_t(i)].bAttribute & 0x08));  // no volume label
    }
    if (ex && fwListsDirectories(g_lib.effectiveFw)) {
        FUZZ_CHECK(nDirs >= 0 && nDirs <= (d ? dirCap : 0));
        FUZZ_CHECK(uint32_t(nDirs) <= summary.dwDirsFound);
        for (int i = 0; i < nDirs; ++i) {
            checkRecord(dirs[size_t(i)]);
            FUZZ_CHECK(dirs[size_t(i)].bAttribute & 0x10);
        }
        // A folder is never a file, whatever its other attribute bits.
        for (int i = 0; i < nFiles; ++i)
            FUZZ_CHECK(!(files[size_t(i)].bAttribute & 0x10));
    } else {
        FUZZ_CHECK(summary.dwDirsFound == 0);
        if (ex)
            FUZZ_CHECK(nDirs == 0);
        for (int i = 0; i < nFiles; ++i)
            FUZZ_CHECK(!(files[size_t(i)].bAttribute & 0x10));
    }
    return 0;
}
