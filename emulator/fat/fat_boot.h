// Boot sector and layout of the FAT engine's volumes: where the FATs, the
// root directory and the data area lie, chosen for a new volume as mkfs.fat
// chooses them and read back from the boot sector of an existing one.
// Internal to emulator/fat.
#pragma once

#include <cstdint>
#include <string>

#include "fat_io.h"

namespace emu {
namespace fat {

constexpr uint32_t kSectorsPerCluster = 32;

struct Geometry {
    uint32_t totalSectors = 0, reserved = 0, fatSectors = 0, numFats = 2, rootEntries = 0, rootSectors = 0,
             spc = kSectorsPerCluster, clusters = 0;
    int type = 0;  // 12 or 16
    uint32_t rootStart() const { return reserved + numFats * fatSectors; }
    uint32_t dataStart() const { return rootStart() + rootSectors; }
    uint32_t clusterBytes() const { return spc * kSector; }
    uint64_t clusterOffset(uint32_t c) const { return (uint64_t{dataStart()} + uint64_t{c - 2} * spc) * kSector; }
};

// Bytes of a FAT of `type` (12 or 16) for `clusters` data clusters.
uint32_t FatBytesFor(int type, uint32_t clusters);

// The layout of a new volume of `bytes` bytes with `rootEntries` root slots:
// FAT12 or FAT16 by cluster count, as mkfs.fat decides.  false with a
// message in *err when no FAT12/FAT16 volume with 16 KiB clusters fits.
bool PlanLayout(uint64_t bytes, uint32_t rootEntries, Geometry *g, std::string *err);

// Writes an empty file system with layout `g` over the first bytes of `fd`
// and sizes the file to `bytes`.
bool WriteFreshFs(int fd, const Geometry &g, uint64_t bytes, bool lowLevel, uint32_t volumeId);

// A volume id made from the clock, as mkfs.fat makes one.
uint32_t ClockVolumeId();

// The layout the image's boot sector describes, checked against itself and
// against the image's size: 0, or kNotFormatted with the reason in *err
// (*g is left alone then).
int ReadBootSector(const ImageFile &image, Geometry *g, std::string *err);

}  // namespace fat
}  // namespace emu
