// The file allocation table of the FAT engine: entries, allocation, chains,
// and the writes that make a planned change happen.
#include "fat_table.h"

#include <algorithm>
#include <cstring>

namespace emu {
namespace fat {

bool FatTable::Load(const ImageFile &image)
{
    fat_.assign(size_t{g_.fatSectors} * kSector, 0);
    if (!image.Read(fat_.data(), fat_.size(), uint64_t{g_.reserved} * kSector))
        return false;
    disk_ = fat_;
    copiesFirst_ = UINT32_MAX;
    copiesLast_ = 0;
    hint_ = 2;
    ++generation_;
    return true;
}

void FatTable::Set(uint32_t n, uint32_t v)
{
    if (g_.type == 12) {
        const size_t off = n + n / 2;
        if (n & 1) {
            fat_[off] = static_cast<uint8_t>((fat_[off] & 0x0F) | ((v << 4) & 0xF0));
            fat_[off + 1] = static_cast<uint8_t>(v >> 4);
        } else {
            fat_[off] = static_cast<uint8_t>(v);
            fat_[off + 1] = static_cast<uint8_t>((fat_[off + 1] & 0xF0) | ((v >> 8) & 0x0F));
        }
    } else {
        Put16(&fat_[size_t{n} * 2], v);
    }
}

uint32_t FatTable::FreeCount() const
{
    uint32_t n = 0;
    for (uint32_t c = 2; c <= LastCluster(); ++c)
        n += Get(c) == 0;
    return n;
}

uint32_t FatTable::BadCount() const
{
    uint32_t n = 0;
    for (uint32_t c = 2; c <= LastCluster(); ++c)
        n += Get(c) == BadMark();
    return n;
}

bool FatTable::Alloc(uint32_t count, std::vector<uint32_t> *chain)
{
    if (count == 0)
        return true;
    if (FreeCount() < count)
        return false;
    uint32_t c = hint_ < 2 || hint_ > LastCluster() ? 2 : hint_;
    while (count > 0) {
        if (Get(c) == 0) {
            if (!chain->empty())
                Set(chain->back(), c);
            Set(c, Eoc());
            chain->push_back(c);
            --count;
        }
        c = c >= LastCluster() ? 2 : c + 1;
    }
    hint_ = c;
    return true;
}

void FatTable::FreeChain(const std::vector<uint32_t> &chain)
{
    for (uint32_t c : chain)
        Set(c, 0);
}

bool FatTable::Chain(uint32_t first, std::vector<uint32_t> *out) const
{
    out->clear();
    uint32_t c = first;
    while (c >= 2 && c <= LastCluster()) {
        ++linksFollowed_;
        out->push_back(c);
        if (out->size() > g_.clusters)
            return false;  // a loop
        const uint32_t v = Get(c);
        if (IsEoc(v))
            return true;
        c = v;
    }
    return first == 0;  // a chain that runs into a free, bad or wild entry is broken
}

// Writes the sectors of the FAT that changed: one write into the first
// FAT, then one into each other copy.  The write into the first FAT is
// what makes the change happen (fsck.fat and mtools go by the first FAT,
// and fsck.fat repairs the others from it); a FAT12 entry that spans two
// sectors changes in that one write too.  Sectors of the other copies
// whose write failed are written again next time.
bool FatTable::Flush(ImageFile &image)
{
    uint32_t first = UINT32_MAX, last = 0;
    for (uint32_t s = 0; s < g_.fatSectors; ++s) {
        if (std::memcmp(&fat_[size_t{s} * kSector], &disk_[size_t{s} * kSector], kSector) == 0)
            continue;
        first = std::min(first, s);
        last = s;
    }
    if (first != UINT32_MAX) {
        const size_t off = size_t{first} * kSector, len = size_t{last - first + 1} * kSector;
        if (!image.Write(&fat_[off], len, uint64_t{g_.reserved} * kSector + off))
            return false;
        std::memcpy(&disk_[off], &fat_[off], len);
        copiesFirst_ = std::min(copiesFirst_, first);
        copiesLast_ = std::max(copiesLast_, last);
    }
    if (copiesFirst_ == UINT32_MAX)
        return true;
    const size_t off = size_t{copiesFirst_} * kSector, len = size_t{copiesLast_ - copiesFirst_ + 1} * kSector;
    for (uint32_t k = 1; k < g_.numFats; ++k)
        if (!image.Write(&disk_[off], len, (uint64_t{g_.reserved} + uint64_t{k} * g_.fatSectors) * kSector + off))
            return false;
    copiesFirst_ = UINT32_MAX;
    copiesLast_ = 0;
    return true;
}

void FatTable::Rollback()
{
    fat_ = disk_;
    ++generation_;
}

}  // namespace fat
}  // namespace emu
