// Directories of the FAT engine: the 32-byte slots of a directory and the
// entries they make up, and changes of one directory planned in memory and
// then written in the order that keeps the image consistent through a crash
// (fat_dir.cpp tells how a directory is laid out for that).  Internal to
// emulator/fat.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "fat_boot.h"
#include "fat_io.h"
#include "fat_names.h"
#include "fat_table.h"
#include "fat_volume.h"

namespace emu {
namespace fat {

using fatnames::kAttrDir;
using fatnames::kAttrLfn;
using fatnames::kAttrVolume;
using fatnames::kSlot;

// FAT allows 65,536 slots in a directory, but the player's listing counts
// them in 16 bits: a sub-directory stops one short of that.
constexpr size_t kMaxDirSlots = 65535;

// ---- Slots and entries ------------------------------------------------------

inline uint32_t SlotCluster(const uint8_t *s) { return Get16(s + 26) | (static_cast<uint32_t>(Get16(s + 20)) << 16); }
inline void SetSlotCluster(uint8_t *s, uint32_t c)
{
    Put16(s + 26, c & 0xFFFF);
    Put16(s + 20, c >> 16);
}
inline bool IsDotEntry(const uint8_t *s) { return s[0] == '.'; }
inline bool IsFileAttr(uint8_t a) { return (a & (kAttrDir | kAttrVolume)) == 0; }
inline bool IsDirAttr(uint8_t a) { return (a & kAttrDir) && !(a & kAttrVolume); }

// Slots before the end-of-directory mark (the first slot starting with 0x00).
size_t UsedSlots(const std::vector<uint8_t> &bytes);

struct Dir {
    uint32_t cluster = 0;  // 0: root
    std::vector<uint32_t> chain;
    std::vector<uint8_t> bytes;  // whole directory, capacity included
};
// A short slot in a directory and the first slot of its set.
struct Rec {
    size_t first, pos;
};

// True when slot `i` of a directory begins an entry (its long-name slots
// or its short slot) rather than continuing one from the slot before.
bool StartsEntry(const std::vector<uint8_t> &b, size_t i);
void MarkDeleted(std::vector<uint8_t> *b, size_t from, size_t to);

// The entries of slots [from, to) in order, deleted slots left out: each
// one's long-name slots and short slot (long-name slots that lead to no
// short slot are kept as they are).
struct Unit {
    size_t first;
    std::vector<uint8_t> slots;
};
std::vector<Unit> UnitsIn(const std::vector<uint8_t> &b, size_t from, size_t to);

// Every entry of `d` (short slots that are not deleted) in directory order.
std::vector<Rec> Records(const Dir &d);
inline const uint8_t *SlotOf(const Dir &d, const Rec &r) { return &d.bytes[r.pos * kSlot]; }
// The used slots of `d`, as the player lists them.
std::vector<uint8_t> Used(const Dir &d);
DirEntryInfo Describe(const Dir &d, const Rec &r);

// The current directory's file number `index`.
int FindFile(const Dir &d, int index, Rec *out);
// A sub-directory of `d` (not "." or "..") by its key.
int FindDir(const Dir &d, uint16_t key, Rec *out);

// Checks the new name against the entries of `d` (skipping the entry at
// slot `self`): a long name or text that names another entry (FAT compares
// without regard to case) is kFileExist; a short alias that only clashes
// with another alias gets a numeric tail.
int CheckNames(const Dir &d, fatnames::ParsedSet *p, size_t self);

// ---- Changes ------------------------------------------------------------

// A change of one directory, planned in memory, then written by Commit
// (see the top of fat_volume.cpp for the order of the writes).
struct DirChange {
    Dir dir;                     // the directory as it will be
    std::vector<uint8_t> disk;   // the bytes of its clusters as the image has them
    size_t kept = 0;             // dir.chain[0, kept) are clusters it had, the rest are new
    std::vector<uint32_t> drop;  // clusters it gives up, freed by the FAT write that commits it
    bool fatFirst = false;       // the directory refers to clusters the change allocates
};

// The directories of one volume: they are read from its image, and changes
// to them allocate clusters in its FAT.
class Directories {
public:
    Directories(ImageFile &image, const Geometry &g, FatTable &table) : image_(image), g_(g), table_(table) {}

    // The directory whose first cluster is `cluster` (0: the root).
    int Load(uint32_t cluster, Dir *d) const;
    size_t SlotsPerCluster() const { return g_.clusterBytes() / kSlot; }

    DirChange Change(const Dir &d) const { return DirChange{d, d.bytes, d.chain.size(), {}, false}; }
    // Plans a new entry set after the last entry of the directory (the
    // directory's order is the player's play order).  *at receives its slot.
    int PlanAppend(DirChange *c, const std::vector<uint8_t> &set, size_t *at);
    // Plans the entry `r` with a new set.
    int PlanRename(DirChange *c, const Rec &r, const std::vector<uint8_t> &set);
    // Copy on write: clusters [from, ...) of a sub-directory are replaced by
    // new clusters holding `tail`; the FAT write that commits the change links
    // them in after cluster from-1 and frees the old ones.  `from` is never 0:
    // the first cluster is where the parent's entry, "." and the children's
    // ".." point, and the directory's key is its number.
    bool ReplaceTail(DirChange *c, size_t from, std::vector<uint8_t> tail);
    // Makes room in cluster k for a set longer than the entry `r` it replaces,
    // from deleted (or unused) slots of that cluster alone: the entries
    // between move up or down, none leaves the cluster.  false when it has
    // too few.
    bool Absorb(Dir *d, size_t k, const Rec &r, const std::vector<uint8_t> &set) const;
    // Lays entries out from slot `at` of `b` (grown by whole clusters as
    // needed), each inside one cluster: an entry that would run into the next
    // cluster starts there and the slots it skips are marked deleted.
    // Returns the slot after the last entry.
    size_t Pack(const std::vector<Unit> &units, std::vector<uint8_t> *b, size_t at) const;

    // Writes a planned change, FAT included; on a failed write the FAT in
    // memory goes back to the image's (kInternal).
    int Commit(DirChange &c);

private:
    // The directory gets one more (zeroed) cluster.
    bool Grow(DirChange *c);

    ImageFile &image_;
    const Geometry &g_;
    FatTable &table_;
};

}  // namespace fat
}  // namespace emu
