// Boot sector and layout of the FAT engine's volumes.
#include "fat_boot.h"

#include <unistd.h>

#include <cstring>
#include <ctime>
#include <vector>

namespace emu {
namespace fat {

namespace {

// Cluster-count limits of the two FAT types.  FAT12 ends below 4085; mkfs.fat
// keeps FAT16 at 4087 or more because some drivers misjudge the two counts
// in between, and so do we.
constexpr uint32_t kMaxClusters12 = 4084;
constexpr uint32_t kMinClusters16 = 4087;
constexpr uint32_t kMaxClusters16 = 65524;

// Lays out a volume of `total` sectors with FAT type `type`: the FAT is big
// enough for every cluster, and the data area starts on a cluster boundary
// (extra reserved sectors).  FAT16 FATs take whole clusters, so a 64 MiB
// volume comes out exactly as mkfs.fat -s 32 makes it (4092 clusters).
bool Layout(uint32_t total, int type, uint32_t rootEntries, uint32_t reservedBase, Geometry *g)
{
    g->totalSectors = total;
    g->type = type;
    g->rootEntries = rootEntries;
    g->rootSectors = (rootEntries * 32 + kSector - 1) / kSector;
    uint32_t fat = 1;
    for (;;) {
        const uint64_t meta = uint64_t{reservedBase} + 2ull * fat + g->rootSectors;
        if (meta >= total)
            return false;
        const uint32_t cl = static_cast<uint32_t>((total - meta) / g->spc);
        uint32_t need = (FatBytesFor(type, cl) + kSector - 1) / kSector;
        if (type == 16)
            need = (need + g->spc - 1) / g->spc * g->spc;  // whole clusters, as mkfs.fat
        if (need <= fat)
            break;
        fat = need;
    }
    g->fatSectors = fat;
    const uint32_t meta = reservedBase + 2 * fat + g->rootSectors;
    g->reserved = reservedBase + (g->spc - meta % g->spc) % g->spc;
    if (g->dataStart() >= total)
        return false;
    g->clusters = (total - g->dataStart()) / g->spc;
    return true;
}

}  // namespace

uint32_t FatBytesFor(int type, uint32_t clusters)
{
    return type == 12 ? ((clusters + 2) * 3 + 1) / 2 : (clusters + 2) * 2;
}

bool PlanLayout(uint64_t bytes, uint32_t rootEntries, Geometry *g, std::string *err)
{
    if (rootEntries == 0 || rootEntries % 16 != 0 || rootEntries > 4096) {
        *err = "root directory entry count must be a multiple of 16, at most 4096";
        return false;
    }
    const uint64_t total = bytes / kSector;
    if (total > 0xFFFFFFFFull) {
        *err = "image too large for FAT16 with 16 KiB clusters";
        return false;
    }
    Geometry g12, g16;
    const bool ok12 = Layout(static_cast<uint32_t>(total), 12, rootEntries, 1, &g12);
    if (ok12 && g12.clusters <= kMaxClusters12) {
        *g = g12;
    } else if (Layout(static_cast<uint32_t>(total), 16, rootEntries, 1, &g16) && g16.clusters >= kMinClusters16) {
        if (g16.clusters > kMaxClusters16) {
            *err = "image too large: FAT16 with 16 KiB clusters ends at 1 GiB";
            return false;
        }
        *g = g16;
    } else {
        // Between the two types: FAT12 that leaves the last few clusters unused.
        uint32_t reserved = 1;
        do {
            reserved += (g12.clusters - kMaxClusters12) * g12.spc;
            if (!Layout(static_cast<uint32_t>(total), 12, rootEntries, reserved, &g12))
                break;
        } while (g12.clusters > kMaxClusters12);
        *g = g12;
    }
    if (g->clusters < 8 || g->type == 0) {
        *err = "image too small for a FAT file system with 16 KiB clusters";
        return false;
    }
    return true;
}

bool WriteFreshFs(int fd, const Geometry &g, uint64_t bytes, bool lowLevel, uint32_t volumeId)
{
    if (lowLevel && ftruncate(fd, 0) != 0)
        return false;  // the erased medium reads as zeros
    if (ftruncate(fd, static_cast<off_t>(bytes)) != 0)
        return false;
    std::vector<uint8_t> meta(size_t{g.dataStart()} * kSector, 0);
    uint8_t *b = meta.data();
    const uint8_t jump[3] = {0xEB, 0x3C, 0x90};
    std::memcpy(b, jump, 3);
    std::memcpy(b + 3, "ZVC450  ", 8);
    Put16(b + 11, kSector);
    b[13] = static_cast<uint8_t>(g.spc);
    Put16(b + 14, g.reserved);
    b[16] = static_cast<uint8_t>(g.numFats);
    Put16(b + 17, g.rootEntries);
    if (g.totalSectors < 65536)
        Put16(b + 19, g.totalSectors);
    else
        Put32(b + 32, g.totalSectors);
    b[21] = 0xF8;  // fixed medium
    Put16(b + 22, g.fatSectors);
    Put16(b + 24, 32);  // sectors per track
    Put16(b + 26, 64);  // heads
    b[36] = 0x80;
    b[38] = 0x29;  // extended boot signature: id, label and type follow
    Put32(b + 39, volumeId);
    std::memcpy(b + 43, "NO NAME    ", 11);
    std::memcpy(b + 54, g.type == 12 ? "FAT12   " : "FAT16   ", 8);
    const uint8_t halt[3] = {0xF4, 0xEB, 0xFD};  // not bootable: hlt; jmp back
    std::memcpy(b + 62, halt, 3);
    b[510] = 0x55;
    b[511] = 0xAA;
    for (uint32_t k = 0; k < g.numFats; ++k) {
        uint8_t *f = b + size_t{g.reserved + k * g.fatSectors} * kSector;
        f[0] = 0xF8;
        f[1] = 0xFF;
        f[2] = 0xFF;
        if (g.type == 16)
            f[3] = 0xFF;
    }
    return WriteFull(fd, meta.data(), meta.size(), 0) && fsync(fd) == 0;
}

uint32_t ClockVolumeId()
{
    const time_t t = time(nullptr);
    return static_cast<uint32_t>(t) ^ 0x5A5A0000u;
}

int ReadBootSector(const ImageFile &image, Geometry *g, std::string *err)
{
    uint8_t b[kSector];
    if (image.Size() < kSector || !image.Read(b, kSector, 0)) {
        *err = "image too short for a boot sector";
        return kNotFormatted;
    }
    Geometry ng;
    const uint32_t spc = b[13];
    ng.spc = spc;
    ng.reserved = Get16(b + 14);
    ng.numFats = b[16];
    ng.rootEntries = Get16(b + 17);
    ng.totalSectors = Get16(b + 19) ? Get16(b + 19) : Get32(b + 32);
    ng.fatSectors = Get16(b + 22);
    ng.rootSectors = (ng.rootEntries * 32 + kSector - 1) / kSector;
    if (b[510] != 0x55 || b[511] != 0xAA || Get16(b + 11) != kSector || spc == 0 || (spc & (spc - 1)) != 0 ||
        ng.reserved == 0 || ng.numFats == 0 || ng.numFats > 4 || ng.rootEntries == 0 || ng.fatSectors == 0 ||
        ng.dataStart() >= ng.totalSectors) {
        *err = "no FAT12/FAT16 file system with 512-byte sectors";
        return kNotFormatted;
    }
    ng.clusters = (ng.totalSectors - ng.dataStart()) / spc;
    ng.type = ng.clusters < 4085 ? 12 : ng.clusters < 65525 ? 16 : 0;
    if (ng.type == 0 || ng.clusters == 0) {
        *err = "file system is neither FAT12 nor FAT16";
        return kNotFormatted;
    }
    if (FatBytesFor(ng.type, ng.clusters) > ng.fatSectors * kSector) {
        *err = "FAT too small for the cluster count";
        return kNotFormatted;
    }
    if (uint64_t{ng.totalSectors} * kSector > image.Size()) {
        *err = "image is shorter than its file system";
        return kNotFormatted;
    }
    *g = ng;
    return 0;
}

}  // namespace fat
}  // namespace emu
