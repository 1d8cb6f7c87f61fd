// bench_common.h - small helpers shared by the listing and many-files
// benchmarks: a clock, an emulated player whose internal memory is filled
// before it starts serving, and a library handle on it (the scratch folder
// and the player come from tests/support).
#pragma once

#include "emulated_player.h"
#include "emulator.h"
#include "fat_volume.h"
#include "temp_dir.h"
#include "zvc450usb.h"

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace bench {

using Clock = std::chrono::steady_clock;

inline double Seconds(Clock::time_point since)
{
    return std::chrono::duration<double>(Clock::now() - since).count();
}

// Peak resident set of this process so far, in KiB.
inline long PeakKiB()
{
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    return ru.ru_maxrss;
}

// One 32-byte short directory slot: 8.3 name (11 bytes, space padded),
// attribute, size; a fixed write stamp of 2024-01-01 12:00.
inline std::vector<uint8_t> ShortSlot(const char name11[11], uint8_t attribute, uint32_t size = 0)
{
    std::vector<uint8_t> slot(32, 0);
    std::memcpy(slot.data(), name11, 11);
    slot[11] = attribute;
    const uint16_t time = 12 << 11, date = uint16_t((2024 - 1980) << 9 | 1 << 5 | 1);
    slot[22] = uint8_t(time), slot[23] = uint8_t(time >> 8);
    slot[24] = uint8_t(date), slot[25] = uint8_t(date >> 8);
    slot[16] = slot[24], slot[17] = slot[25];
    slot[28] = uint8_t(size), slot[29] = uint8_t(size >> 8), slot[30] = uint8_t(size >> 16),
    slot[31] = uint8_t(size >> 24);
    return slot;
}

// Writes a fresh internal memory image of `bytes` with a sub-directory `dir`
// (8.3, e.g. "BIG") holding `files` empty files F0000000.DAT, F0000001.DAT ...
// The engine formats the image; the directory is then written straight into
// it (its clusters chained in both FATs, its slots in one write), because
// creating the files one at a time costs time that grows with the square of
// their number and would only measure the set-up.
inline bool FillImage(const std::string &image, uint64_t bytes, const char *dir, int files)
{
    std::string err;
    if (!emu::FatVolume::Format(image, bytes, &err)) {
        std::fprintf(stderr, "format: %s\n", err.c_str());
        return false;
    }
    FILE *f = std::fopen(image.c_str(), "r+b");
    if (!f)
        return false;
    uint8_t boot[512];
    if (std::fread(boot, 1, 512, f) != 512) {
        std::fclose(f);
        return false;
    }
    auto le16 = [&](int at) { return unsigned(boot[at] | boot[at + 1] << 8); };
    const unsigned sector = le16(11), perCluster = boot[13], reserved = le16(14), fats = boot[16];
    const unsigned rootEntries = le16(17), fatSectors = le16(22);
    const long fatAt = long(reserved) * sector;
    const long rootAt = fatAt + long(fats) * fatSectors * sector;
    const long dataAt = rootAt + long(rootEntries) * 32;
    const size_t clusterBytes = size_t(sector) * perCluster;
    const bool fat16 = std::memcmp(boot + 54, "FAT16", 5) == 0;
    if (!fat16) {
        std::fclose(f);
        std::fprintf(stderr, "image: expected FAT16\n");
        return false;
    }

    // Directory bytes: ".", "..", the files; clusters 2, 3, ... in a chain.
    const size_t slots = size_t(files) + 2;
    const unsigned clusters = unsigned((slots * 32 + clusterBytes - 1) / clusterBytes);
    std::vector<uint8_t> dirBytes(size_t(clusters) * clusterBytes, 0);
    char name11[12];
    auto put = [&](size_t at, const std::vector<uint8_t> &slot) { std::memcpy(&dirBytes[at * 32], slot.data(), 32); };
    std::vector<uint8_t> dot = ShortSlot(".          ", 0x10);
    dot[26] = 2;
    put(0, dot);
    put(1, ShortSlot("..         ", 0x10));
    for (int i = 0; i < files; ++i) {
        std::snprintf(name11, sizeof name11, "F%07dDAT", i % 10000000);
        put(size_t(i) + 2, ShortSlot(name11, 0x20));
    }
    std::vector<uint8_t> fat(size_t(fatSectors) * sector);
    bool ok = std::fseek(f, fatAt, SEEK_SET) == 0 && std::fread(fat.data(), 1, fat.size(), f) == fat.size();
    for (unsigned c = 2; c < 2 + clusters; ++c) {
        const unsigned next = c + 1 < 2 + clusters ? c + 1 : 0xFFFF;
        fat[c * 2] = uint8_t(next), fat[c * 2 + 1] = uint8_t(next >> 8);
    }
    for (unsigned i = 0; i < fats && ok; ++i)
        ok = std::fseek(f, fatAt + long(i) * fatSectors * sector, SEEK_SET) == 0 &&
             std::fwrite(fat.data(), 1, fat.size(), f) == fat.size();
    // The root entry goes into the first free root slot (after the label).
    std::vector<uint8_t> root(size_t(rootEntries) * 32);
    ok = ok && std::fseek(f, rootAt, SEEK_SET) == 0 && std::fread(root.data(), 1, root.size(), f) == root.size();
    size_t freeSlot = 0;
    while (freeSlot < rootEntries && root[freeSlot * 32] != 0)
        ++freeSlot;
    std::snprintf(name11, sizeof name11, "%-11s", dir);
    std::vector<uint8_t> d = ShortSlot(name11, 0x10);
    d[26] = 2;
    ok = ok && freeSlot < rootEntries && std::fseek(f, rootAt + long(freeSlot) * 32, SEEK_SET) == 0 &&
         std::fwrite(d.data(), 1, 32, f) == 32;
    ok = ok && std::fseek(f, dataAt, SEEK_SET) == 0 &&
         std::fwrite(dirBytes.data(), 1, dirBytes.size(), f) == dirBytes.size();
    ok = std::fclose(f) == 0 && ok;
    // The engine must find it a sound file system holding every file.
    auto vol = emu::FatVolume::Open(image, &err);
    ok = ok && vol && vol->ChangeDir(2) == 0 && vol->FileCount() == files;
    if (!ok)
        std::fprintf(stderr, "image: writing the directory failed\n");
    return ok;
}

// The state folder `state` (made here) of a player whose internal memory of
// `bytes` holds `files` empty files in the sub-directory BIG.
inline bool FillState(const std::string &state, uint64_t bytes, int files)
{
    if (::mkdir(state.c_str(), 0755) != 0 && errno != EEXIST) {
        std::perror(state.c_str());
        return false;
    }
    return FillImage(state + "/internal.img", bytes, "BIG", files);
}

// Key of the directory FillImage makes: its first cluster.
constexpr unsigned kFilledDirKey = 2;

// The emulated player on the state folder `folder` (internal memory of
// `internalBytes`, maybe filled beforehand), served in a thread, with the
// library open on it; the benchmark ends when it cannot start.
struct Player : zvc450test::EmulatedPlayer {
    Player(const std::string &folder, uint64_t internalBytes)
        : EmulatedPlayer("1.43",
                         [&](emu::EmulatorOptions &o) {
                             o.state = emu::StateOptions();
                             o.state.folder = folder;
                             o.state.internalBytes = internalBytes;
                         },
                         "zvc450-bench-")
    {
        if (!ok()) {
            std::fprintf(stderr, "%s\n", error.c_str());
            std::exit(1);
        }
    }
};

// Enters the sub-directory `name` (8.3 text without padding) of the
// current directory.
inline bool EnterDirectory(HZVC450 h, const char *name)
{
    std::vector<ZVC450_DIRENTRY> files(1024), dirs(64);
    int nf = int(files.size()), nd = int(dirs.size());
    if (!ZVC450_RefreshEx(h, 0, nullptr, files.data(), &nf, dirs.data(), &nd))
        return false;
    char padded[9];
    std::snprintf(padded, sizeof padded, "%-8s", name);
    for (int i = 0; i < nd; ++i)
        if (std::strncmp(dirs[size_t(i)].szName, padded, 8) == 0)
            return ZVC450_ChangeDirectory(h, 0, dirs[size_t(i)].dwFirstCluster & 0xFFFF) != 0;
    return false;
}

}  // namespace bench
