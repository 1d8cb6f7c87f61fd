// dir_entry.h - the 32-byte FAT directory entry, as the player sends it in
// listings and the current path and takes it in new names.
//
// A short entry holds the 8.3 name, the attribute, the stamps, the first
// cluster and the size (all little-endian).  A long name stands in front of
// it in long-name entries (attribute 0x0F), 13 UTF-16 characters each,
// stored last part first: the first entry of the set carries the highest
// ordinal with bit 0x40 set, the one just before the short entry ordinal 1.
#pragma once

#include "zvc450usb.h"

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>

namespace zvc450 {

constexpr int kDirEntrySize = 32;

// Fields of a short entry.
constexpr int kEntryName = 0;          // 8 bytes, space padded
constexpr int kEntryExt = 8;           // 3 bytes, space padded
constexpr int kEntryAttribute = 11;
constexpr int kEntryCaseFlags = 12;    // Windows NT and Linux's vfat: bits 3 and 4 show
constexpr uint8_t kCaseFlagBits = 0x18;  // the 8.3 base and extension in lower case
constexpr int kEntryCreateFine = 13;   // 10 ms units of the creation second
constexpr int kEntryCreateTime = 14;
constexpr int kEntryCreateDate = 16;
constexpr int kEntryAccessDate = 18;
constexpr int kEntryClusterHigh = 20;
constexpr int kEntryWriteTime = 22;
constexpr int kEntryWriteDate = 24;
constexpr int kEntryClusterLow = 26;
constexpr int kEntrySize = 28;

constexpr uint8_t kAttrVolume = 0x08;
constexpr uint8_t kAttrDirectory = 0x10;
constexpr uint8_t kAttrArchive = 0x20;
constexpr uint8_t kAttrLongName = 0x0F;  // read-only, hidden, system and volume at once

// First name byte.
constexpr uint8_t kEntryFree = 0x00;     // this and every later slot are unused
constexpr uint8_t kEntryDeleted = 0xE5;  // a first name byte of 0xE5 means "deleted"...
constexpr uint8_t kEntryE5Escape = 0x05; // ...so a name that starts with 0xE5 stores 0x05

// Long-name entries.
constexpr int kEntryOrdinal = 0;
constexpr uint8_t kLastLongEntry = 0x40;  // marks the entry with the highest ordinal
constexpr uint8_t kOrdinalMask = 0x3F;
constexpr int kEntryChecksum = 13;        // of the short entry's 11 name bytes
constexpr int kCharsPerLongEntry = 13;
constexpr int kMaxLongNameEntries = 63;   // the ordinal has 6 bits
constexpr int kMaxLongNameUnits = kMaxLongNameEntries * kCharsPerLongEntry;

inline bool isLongEntry(const uint8_t *entry) { return entry[kEntryAttribute] == kAttrLongName; }

// Local time split into FAT fields (little-endian when stored).
struct FatStamp {
    uint16_t date;    // day + month*32 + (year-1980)*512; 1980-01-01 is 33
    uint16_t time;    // seconds/2 + minutes*32 + hours*2048
    uint8_t fine;     // milliseconds / 5
};
FatStamp fatStamp(const struct tm &local, int milliseconds);
FatStamp fatStampNow();
// A file's modification time in FAT form (local time).
FatStamp fatStampOf(time_t t);

// Checksum of the 11 name bytes of a short entry, stored in its long entries.
uint8_t shortNameChecksum(const uint8_t name11[11]);

// A short entry as the program sees it: name bytes (a leading 0x05 back to
// 0xE5), attribute, stamps, first cluster and size; no long name (empty,
// status 0).
void entryToRecord(const uint8_t *entry, ZVC450_DIRENTRY *record);

// Everything of a record but its name back into a short entry: attribute,
// byte 12, stamps, first cluster and size.
void putRecordFields(uint8_t *entry, const ZVC450_DIRENTRY &record);

// Creation, access and write stamps of a new short entry.
void putStamp(uint8_t *entry, const FatStamp &stamp);

// Characters [first, first + 13) of a long name into the long-name entry
// with the given ordinal.  The name's terminator counts as one more
// character when it fits; the last entry of a set is padded with 0xFFFF.
void putLongEntry(uint8_t *entry, int ordinal, bool last, uint8_t checksum, const std::u16string &name);

// Joins the long-name entries that stand in front of a short entry into its
// name.  Feed it every long-name entry in stored order; at the short entry
// ask for the name, then clear it for the next one.
class LongNameDecoder {
public:
    void add(const uint8_t *entry);
    // No long name came since the last clear().
    bool empty() const { return previous_ == -1; }
    // The entries did not make one well-formed set: an ordinal out of turn,
    // a set that began anew before it ended, or one that did not end with
    // ordinal 1 in front of the short entry.
    bool irregular() const { return irregular_ || previous_ > 1; }
    // The name in UTF-8 (empty when none came).  At most 259 UTF-16 units
    // are kept: a longer name is not a FAT name.
    std::string text() const;
    void clear();

private:
    static constexpr int kUnits = 261;   // characters go at most up to
    static constexpr int kLastPos = 259;  // position 259: the last unit stays 0
    int previous_ = -1;                   // ordinal of the entry before, -1: none
    bool irregular_ = false;
    uint8_t units_[2 * kUnits] = {};      // UTF-16LE
};

}  // namespace zvc450
