// The file allocation table of the FAT engine.  The first FAT is kept in
// memory twice: as the engine plans it (allocations of a change that is not
// written yet) and as the image has it.  Planning changes only the first;
// Flush writes the difference, Rollback drops it.  Internal to emulator/fat.
#pragma once

#include <cstdint>
#include <vector>

#include "fat_boot.h"
#include "fat_io.h"

namespace emu {
namespace fat {

class FatTable {
public:
    // `g` is the volume's layout, which this table follows when it is loaded
    // again.
    explicit FatTable(const Geometry &g) : g_(g) {}
    FatTable(const FatTable &) = delete;
    FatTable &operator=(const FatTable &) = delete;

    // Reads the first FAT of the image; every planned change is gone.
    bool Load(const ImageFile &image);

    // Entry `n` (a cluster number from 2 to LastCluster()).
    uint32_t Get(uint32_t n) const
    {
        if (g_.type == 12) {
            const size_t off = n + n / 2;
            const uint32_t v = fat_[off] | (fat_[off + 1] << 8);
            return (n & 1) ? (v >> 4) : (v & 0xFFF);
        }
        return Get16(&fat_[size_t{n} * 2]);
    }
    void Set(uint32_t n, uint32_t v);
    uint32_t Eoc() const { return g_.type == 12 ? 0xFFF : 0xFFFF; }
    bool IsEoc(uint32_t v) const { return v >= (g_.type == 12 ? 0xFF8u : 0xFFF8u); }
    uint32_t BadMark() const { return g_.type == 12 ? 0xFF7 : 0xFFF7; }
    uint32_t LastCluster() const { return g_.clusters + 1; }

    uint32_t FreeCount() const;
    uint32_t BadCount() const;

    // Appends `count` free clusters to `chain` (linking them after its last
    // cluster).  false, with nothing changed, when they are not there.
    bool Alloc(uint32_t count, std::vector<uint32_t> *chain);
    void FreeChain(const std::vector<uint32_t> &chain);
    // The chain that starts at `first`; false when it is broken or loops.
    bool Chain(uint32_t first, std::vector<uint32_t> *out) const;
    // The entry of cluster `c` as a link followed (counted for LinksFollowed).
    uint32_t Follow(uint32_t c) const
    {
        ++linksFollowed_;
        return Get(c);
    }
    uint64_t LinksFollowed() const { return linksFollowed_; }

    // Writes the planned changes to the image; see fat_table.cpp.
    bool Flush(ImageFile &image);
    // Drops the planned changes: the FAT in memory is the image's again.
    void Rollback();
    // Bumped by every Load and Rollback: chains read before may be stale.
    uint64_t Generation() const { return generation_; }

private:
    const Geometry &g_;
    std::vector<uint8_t> fat_, disk_;  // first FAT: in memory (may hold pending allocations) and on disk
    uint32_t hint_ = 2;
    mutable uint64_t linksFollowed_ = 0;
    uint64_t generation_ = 0;
    // FAT sectors the other copies still have to get from the first one.
    uint32_t copiesFirst_ = UINT32_MAX, copiesLast_ = 0;
};

}  // namespace fat
}  // namespace emu
