// listing.cpp - what is on a memory: medium information, the listing of the
// current directory and the current directory's path.
//
// The player sends its directories as raw FAT directory slots in 512-byte
// blocks behind a framed header; we join the long-name slots in front of
// each short slot into one record per file or directory.  The path of the
// current directory comes the same way: one short entry per component from
// the root down, each behind its long-name entries.

#include "data_phase.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace zvc450 {
namespace {

constexpr int kSlotsPerBlock = kPacketSize / kDirEntrySize;

// FAT slot fields.
constexpr int kAttrOffset = 11;
constexpr uint8_t kAttrLongName = 0x0F;
constexpr uint8_t kAttrVolume = 0x08;
constexpr uint8_t kAttrDirectory = 0x10;
constexpr uint8_t kSlotFree = 0x00;
constexpr uint8_t kSlotDeleted = 0xE5;
constexpr uint8_t kLastLongSlot = 0x40;
constexpr int kCharsPerLongSlot = 13;
// Offsets of the 13 UTF-16 characters of a long-name slot (5 + 6 + 2).
constexpr int kLongCharOffsets[kCharsPerLongSlot] = {1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30};

// Long names are collected in 261 UTF-16 units; characters go at most up to
// position 259, so the last unit always stays the terminator.
constexpr int kLongNameUnits = 261;
constexpr int kLongNameLastPos = 259;

// Listing header fields.
constexpr int kHdrFileCount = 6;
constexpr int kHdrSlotCount = 8;
constexpr int kHdrTotalBlocks = 10;
constexpr int kHdrUsedBlocks = 12;

// Medium information: the record's fields follow the status byte.
constexpr int kMediumInfoOffset = 5;

// Current-path answer: byte count at 5-6, then the first path bytes.
constexpr int kPathCountOffset = 5;
constexpr int kPathFirstByte = 7;
constexpr int kPathBytesInFirst = kPacketSize - kPathFirstByte;  // 505

bool isLongSlot(const uint8_t *s) { return s[kAttrOffset] == kAttrLongName; }

// Copies the 13 characters of a long-name slot into units (UTF-16LE bytes)
// from position pos on, as far as lastPos.
void putLongChars(const uint8_t *slot, uint8_t *units, int pos, int lastPos)
{
    for (int i = 0; i < kCharsPerLongSlot && pos + i <= lastPos; ++i) {
        units[2 * (pos + i)] = slot[kLongCharOffsets[i]];
        units[2 * (pos + i) + 1] = slot[kLongCharOffsets[i] + 1];
    }
}

void fillRecord(ZVC450_DIRENTRY *r, const uint8_t *s)
{
    std::memset(r, 0, sizeof *r);
    std::memcpy(r->szName, s, 8);
    if (static_cast<uint8_t>(r->szName[0]) == 0x05)  // a name that really starts with 0xE5
        r->szName[0] = char(0xE5);
    std::memcpy(r->szExt, s + 8, 3);
    r->bAttribute = s[11];
    r->bReserved = s[12];
    r->bCreateTimeFine = s[13];
    r->wCreateTime = uint16_t(getLE16(s + 14));
    r->wCreateDate = uint16_t(getLE16(s + 16));
    r->wAccessDate = uint16_t(getLE16(s + 18));
    r->dwFirstCluster = uint32_t(getLE16(s + 20)) << 16 | getLE16(s + 26);
    r->wWriteTime = uint16_t(getLE16(s + 22));
    r->wWriteDate = uint16_t(getLE16(s + 24));
    r->dwSize = getLE32(s + 28);
}

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
        if (slot[0] == kSlotFree || slot[0] == kSlotDeleted)
            return;
        if (isLongSlot(slot)) {
            longSlot(slot);
            return;
        }
        // A folder is a folder whatever else its attribute says (hidden,
        // system, archive): the player numbers files only, and so must we.
        const uint8_t attr = slot[kAttrOffset];
        const bool directory = (attr & kAttrDirectory) != 0;
        if ((attr & kAttrVolume) || (directory && !t_->withDirs)) {
            endName();  // a skipped entry takes its long name along
            return;
        }
        shortSlot(slot, directory);
    }

private:
    void longSlot(const uint8_t *slot)
    {
        const int ordinal = slot[0] & 0x3F;
        if (ordinal == 0) {
            irregular_ = true;
            return;
        }
        if ((slot[0] & kLastLongSlot) || previous_ < 1) {
            // A new name begins; a name still in progress never ended.
            irregular_ = previous_ >= 0;
            std::memset(units_, 0, sizeof units_);
        } else if (previous_ != ordinal + 1) {
            irregular_ = true;
        }
        putLongChars(slot, units_, (ordinal - 1) * kCharsPerLongSlot, kLongNameLastPos);
        previous_ = ordinal;
    }

    void shortSlot(const uint8_t *slot, bool directory)
    {
        if (previous_ > 1)
            irregular_ = true;  // the name did not end with ordinal 1
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
        endName();
    }

    void endName()
    {
        previous_ = -1;
        irregular_ = false;
    }

    void store(ZVC450_DIRENTRY *r, const uint8_t *slot)
    {
        fillRecord(r, slot);
        if (previous_ == -1)
            return;  // no long name: empty, status 0
        copyUtf8Cut(r->szLongName, sizeof r->szLongName, utf16leToUtf8(units_, kLongNameUnits));
        r->bLongNameStatus = irregular_ ? 1 : 0;
    }

    ListingTarget *t_;
    int previous_ = -1;
    bool irregular_ = false;
    uint8_t units_[2 * kLongNameUnits] = {};
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
    ListingTarget t;
    t.files = entries;
    t.fileCapacity = entries ? capacityOf(count) : 0;
    t.storeFiles = count != nullptr;
    if (!list(h, memory, &t))
        return 0;
    if (summary)
        *summary = t.summary;
    if (count)
        *count = t.filesStored;
    return 1;
}

ZVC450_API int ZVC450_RefreshEx(HZVC450 h, int memory, ZVC450_SUMMARY *summary, ZVC450_DIRENTRY *files,
                                int *fileCount, ZVC450_DIRENTRY *dirs, int *dirCount)
{
    if (!validMemory(memory))
        return fail(ZVC450USB_ERR_UNSUPPORTED);
    if (!fwListsDirectories(effectiveFirmware())) {
        if (dirCount)
            *dirCount = 0;
        return ZVC450_Refresh(h, memory, summary, files, fileCount);
    }
    ListingTarget t;
    t.withDirs = true;
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

ZVC450_API int ZVC450_GetCurrentDirectory(HZVC450 h, int memory, char *buf, int size)
{
    if (!buf || size < 1)
        return 1;
    if (!validMemory(memory))
        return fail(ZVC450USB_ERR_UNSUPPORTED);
    if (!fwHasDirectories(effectiveFirmware())) {
        if (size >= 2) {
            buf[0] = '/';
            buf[1] = '\0';
        } else {
            buf[0] = '\0';
        }
        return 1;
    }
    copyUtf8Cut(buf, size_t(size), "/");
    if (!exchangeEx(h, memory, twoCharCommand('D', 'G')))
        return 0;  // 4, or 5 with the player's reason

    const unsigned total = getBE16(g_packet + kPathCountOffset);
    // The path bytes that did not fit the answer come in raw blocks.
    const unsigned blocksExpected =
        total > unsigned(kPathBytesInFirst) ? (total - kPathBytesInFirst + kPacketSize - 1) / kPacketSize : 0;
    unsigned blocksRead = 0;
    std::vector<uint8_t> work(g_packet + kPathFirstByte, g_packet + kPacketSize);
    size_t readPos = 0;

    std::vector<uint8_t> component;  // UTF-16LE units of the long name, last part first in storage
    size_t out = 0;                  // the "/" written above stays the answer for the root
    const size_t room = size_t(size) - 1;
    bool full = false;
    for (unsigned e = 0; e < total / kDirEntrySize && !full; ++e) {
        if (work.size() - readPos < size_t(kDirEntrySize)) {
            work.erase(work.begin(), work.begin() + long(readPos));
            readPos = 0;
            const size_t have = work.size();
            work.resize(have + kPacketSize);
            if (recvData(h, work.data() + have, kPacketSize) <= 0)
                return fail(ZVC450USB_ERR_USB);
            ++blocksRead;
        }
        const uint8_t *entry = work.data() + readPos;
        readPos += kDirEntrySize;
        if (isLongSlot(entry)) {
            // Stored order puts the last part first: each slot goes in front.
            uint8_t chars[2 * kCharsPerLongSlot];
            putLongChars(entry, chars, 0, kCharsPerLongSlot - 1);
            component.insert(component.begin(), chars, chars + sizeof chars);
            continue;
        }
        if (out >= room) {
            full = true;
            break;
        }
        buf[out++] = '/';
        if (out >= room) {
            buf[out] = '\0';
            full = true;
            break;
        }
        std::string text;
        if (!component.empty()) {
            component.push_back(0);
            component.push_back(0);
            text = utf16leToUtf8(component.data(), component.size() / 2);
        } else {
            text = shortEntryToText(entry);
        }
        copyUtf8Cut(buf + out, room + 1 - out, text);
        out += std::strlen(buf + out);
        component.clear();
        full = out >= room;
    }
    if (out > 0)
        buf[out] = '\0';

    // A path cut short still has its blocks on the way: read them, so the
    // final answer is the next thing we take from the link.
    for (; blocksRead < blocksExpected; ++blocksRead) {
        uint8_t block[kPacketSize];
        if (recvData(h, block, kPacketSize) <= 0)
            return fail(ZVC450USB_ERR_USB);
    }
    return receiveAnswer(h) ? 1 : 0;
}

}  // extern "C"
