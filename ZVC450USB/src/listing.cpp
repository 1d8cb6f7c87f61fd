// listing.cpp - what is on a memory: medium information, the listing of the
// current directory and the current directory's path.
//
// The player sends its directories as raw FAT directory slots in 512-byte
// blocks behind a framed header; we join the long-name slots in front of
// each short slot into one record per file or directory.  The path of the
// current directory comes the same way: one short entry per component from
// the root down, each behind its long-name entries.

#include "data_phase.h"

#include <cstring>
#include <vector>

namespace zvc450 {
namespace {

constexpr int kSlotsPerBlock = kPacketSize / kDirEntrySize;

// Listing header fields.
constexpr int kHdrFileCount = 6;
constexpr int kHdrSlotCount = 8;
constexpr int kHdrTotalBlocks = 10;
constexpr int kHdrUsedBlocks = 12;

// Medium information: the record's fields follow the status byte.
constexpr int kMediumInfoOffset = 5;

// Current-path answer: byte count at 5-6, then the first entries.
constexpr int kPathCountOffset = 5;
constexpr int kPathFirstByte = 7;

// Where the records of a listing go.
struct ListingTarget {
    ZVC450_SUMMARY summary{};
    ZVC450_DIRENTRY *files = nullptr;
    int fileCapacity = 0;
    int filesStored = 0;
    bool storeFiles = false;           // a count pointer was given
    ZVC450_DIRENTRY *dirs = nullptr;   // withDirs only
    int dirCapacity = 0;
    int dirsStored = 0;
    bool storeDirs = false;
    bool withDirs = false;             // "GG": directories are listed apart
};

// Walks the slots of a listing and fills the target.
class SlotWalker {
public:
    explicit SlotWalker(ListingTarget *t) : t_(t) {}

    void walk(const uint8_t *slot)
    {
        if (slot[kEntryName] == kEntryFree || slot[kEntryName] == kEntryDeleted)
            return;
        if (isLongEntry(slot)) {
            longName_.add(slot);
            return;
        }
        // A folder is a folder whatever else its attribute says (hidden,
        // system, archive): the player numbers files only, and so must we.
        const uint8_t attr = slot[kEntryAttribute];
        const bool directory = (attr & kAttrDirectory) != 0;
        if (!(attr & kAttrVolume) && (!directory || t_->withDirs)) {
            if (directory) {
                ++t_->summary.dwDirsFound;
                if (t_->storeDirs && t_->dirsStored < t_->dirCapacity)
                    store(&t_->dirs[t_->dirsStored++], slot);
            } else {
                ++t_->summary.dwFilesFound;
                if (t_->storeFiles && t_->filesStored < int(t_->summary.dwFileCount) &&
                    t_->filesStored < t_->fileCapacity)
                    store(&t_->files[t_->filesStored++], slot);
            }
        }
        longName_.clear();  // a skipped entry takes its long name along
    }

private:
    void store(ZVC450_DIRENTRY *r, const uint8_t *slot)
    {
        entryToRecord(slot, r);
        if (longName_.empty())
            return;  // no long name: empty, status 0
        copyUtf8Cut(r->szLongName, sizeof r->szLongName, longName_.text());
        r->bLongNameStatus = longName_.irregular() ? 1 : 0;
    }

    ListingTarget *t_;
    LongNameDecoder longName_;
};

// Sends the listing command, reads the header and the slot blocks.  false
// when the command or the header did not go through (error 4), or when the
// player refused the listing (error 5 with its reason: no card, no file
// system); a refusal's counts are not read, they would come from whatever
// follows its terminator.  A block that does not arrive ends the listing
// with what was read; a block that arrives short gives the slots in it.
// Either way the summary's file count (the header's) then exceeds the files
// found, which is how a caller tells an incomplete listing.
bool list(HZVC450 h, int memory, ListingTarget *t)
{
    const bool answered = t->withDirs ? exchangeEx(h, memory, twoCharCommand('G', 'G')) : exchange(h, memory, 'G');
    if (!answered || !answerHolds(kHdrUsedBlocks + 2))
        return false;  // 4, or 5 with the player's reason (-1: an answer too short)
    t->summary.dwFileCount = getBE16(g_packet + kHdrFileCount);
    const unsigned slots = getBE16(g_packet + kHdrSlotCount);
    t->summary.dwTotalBlocks = getBE16(g_packet + kHdrTotalBlocks);
    t->summary.dwUsedBlocks = getBE16(g_packet + kHdrUsedBlocks);
    // The files-only listing has nothing to read when the directory holds
    // no file; the player sends no slots then.
    if (!t->withDirs && t->summary.dwFileCount == 0)
        return true;

    const unsigned blocks = (slots + kSlotsPerBlock - 1) / kSlotsPerBlock;
    SlotWalker walker(t);
    uint8_t block[kPacketSize];
    for (unsigned b = 0; b < blocks; ++b) {
        const int got = recvData(h, block, kPacketSize);
        if (got <= 0)
            break;
        // Only whole slots that arrived; the rest of the buffer still holds
        // the block before (or nothing at all).
        for (int i = 0; i < got / kDirEntrySize; ++i)
            walker.walk(block + i * kDirEntrySize);
    }
    return true;
}

int capacityOf(const int *count) { return count && *count > 0 ? *count : 0; }

// Lists the current directory into the caller's arrays: a count pointer
// gives the capacity of its array and gets the records stored.
int refresh(HZVC450 h, int memory, bool withDirs, ZVC450_SUMMARY *summary, ZVC450_DIRENTRY *files, int *fileCount,
            ZVC450_DIRENTRY *dirs, int *dirCount)
{
    ListingTarget t;
    t.withDirs = withDirs;
    t.files = files;
    t.fileCapacity = files ? capacityOf(fileCount) : 0;
    t.storeFiles = fileCount != nullptr;
    t.dirs = dirs;
    t.dirCapacity = dirs ? capacityOf(dirCount) : 0;
    t.storeDirs = dirCount != nullptr;
    if (!list(h, memory, &t))
        return 0;
    if (summary)
        *summary = t.summary;
    if (fileCount)
        *fileCount = t.filesStored;
    if (dirCount)
        *dirCount = t.dirsStored;
    return 1;
}

// The entries of the current path after its "DG" answer: those in the
// answer behind the byte count, then raw blocks with the rest.  False
// (error 4) when a block does not come.
bool receivePathEntries(HZVC450 h, std::vector<uint8_t> *entries, size_t *count)
{
    const size_t bytes = getBE16(g_packet + kPathCountOffset);
    entries->assign(g_packet + kPathFirstByte, g_packet + kPacketSize);
    while (entries->size() < bytes) {
        // A short block carries what it carries; the rest of it stays zero.
        const size_t have = entries->size();
        entries->resize(have + kPacketSize);
        if (recvData(h, entries->data() + have, kPacketSize) <= 0)
            return fail(ZVC450USB_ERR_USB) != 0;
    }
    *count = bytes / kDirEntrySize;
    return true;
}

// "/" and each component of the path (its long name, else its 8.3 name),
// at most room bytes; a component cut short ends at a character boundary.
std::string pathOf(const uint8_t *entries, size_t count, size_t room)
{
    std::string path;
    LongNameDecoder longName;
    for (size_t i = 0; i < count && path.size() < room; ++i) {
        const uint8_t *entry = entries + i * kDirEntrySize;
        if (isLongEntry(entry)) {
            longName.add(entry);
            continue;
        }
        const std::string name = longName.empty() ? shortEntryToText(entry) : longName.text();
        longName.clear();
        path += '/';
        path += utf8Prefix(name, room - path.size()).c_str();  // up to a NUL the name may hold
    }
    return path;
}

}  // namespace
}  // namespace zvc450

using namespace zvc450;

extern "C" {

ZVC450_API int ZVC450_GetMediumInfo(HZVC450 h, int memory, ZVC450_MEDIUMINFO *info)
{
    if (!validMemory(memory) || !fwHasMediumInfo(effectiveFirmware()))
        return fail(ZVC450USB_ERR_UNSUPPORTED);
    // A refusal is error 5 with the player's reason (no card, say), so the
    // message names it; an answer too short for the record is error 5 with
    // -1, never a record read from its terminator and padding.
    if (!exchange(h, memory, 'I') || !answerHolds(kMediumInfoOffset + int(sizeof(ZVC450_MEDIUMINFO))))
        return 0;
    if (!info)
        return 1;
    const uint8_t *p = g_packet + kMediumInfoOffset;
    ZVC450_MEDIUMINFO m;
    std::memset(&m, 0, sizeof m);
    m.wTotalFileCount = uint16_t(getBE16(p + 0));
    m.wTotalBlockCount = uint16_t(getBE16(p + 2));
    m.wUsedBlockCount = uint16_t(getBE16(p + 4));
    m.wPhysicalBlockCount = uint16_t(getBE16(p + 6));
    m.wBadBlockCount = uint16_t(getBE16(p + 8));
    m.bDeviceIOStatus = p[10];
    m.bFATStatus = p[11];
    m.bMediumType = p[12];
    m.wFATStartSector = uint16_t(getBE16(p + 13));
    m.wFATSectorCount = uint16_t(getBE16(p + 15));
    m.wRootStartSector = uint16_t(getBE16(p + 17));
    m.bBlockSizeCode = p[19];
    m.wBytesPerSector = uint16_t(getBE16(p + 20));
    m.bSectorsPerCluster = p[22];
    m.bClustersPerBlock = p[23];
    m.wRootEntryCount = uint16_t(getBE16(p + 24));
    m.bFATType = p[26];
    std::memcpy(info, &m, sizeof m);
    return 1;
}

ZVC450_API int ZVC450_Refresh(HZVC450 h, int memory, ZVC450_SUMMARY *summary, ZVC450_DIRENTRY *entries,
                              int *count)
{
    if (!validMemory(memory))
        return fail(ZVC450USB_ERR_UNSUPPORTED);
    return refresh(h, memory, false, summary, entries, count, nullptr, nullptr);
}

ZVC450_API int ZVC450_RefreshEx(HZVC450 h, int memory, ZVC450_SUMMARY *summary, ZVC450_DIRENTRY *files,
                                int *fileCount, ZVC450_DIRENTRY *dirs, int *dirCount)
{
    if (!validMemory(memory))
        return fail(ZVC450USB_ERR_UNSUPPORTED);
    if (fwListsDirectories(effectiveFirmware()))
        return refresh(h, memory, true, summary, files, fileCount, dirs, dirCount);
    if (dirCount)
        *dirCount = 0;
    return refresh(h, memory, false, summary, files, fileCount, nullptr, nullptr);
}

ZVC450_API int ZVC450_GetCurrentDirectory(HZVC450 h, int memory, char *buf, int size)
{
    if (!buf || size < 1)
        return 1;
    if (!validMemory(memory))
        return fail(ZVC450USB_ERR_UNSUPPORTED);
    copyUtf8Cut(buf, size_t(size), "/");  // the root, and all that players without directories have
    if (!fwHasDirectories(effectiveFirmware()))
        return 1;
    std::vector<uint8_t> entries;
    size_t count = 0;
    if (!exchangeEx(h, memory, twoCharCommand('D', 'G')) || !receivePathEntries(h, &entries, &count))
        return 0;  // 4, or 5 with the player's reason
    const std::string path = pathOf(entries.data(), count, size_t(size) - 1);
    if (!path.empty())
        std::memcpy(buf, path.c_str(), path.size() + 1);
    return receiveAnswer(h);
}

}  // extern "C"
