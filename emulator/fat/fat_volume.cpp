// FAT engine of the emulated player: volume layout, FAT, directories, files.
//
// How the engine keeps the image consistent (the guarantee is stated in
// fat_volume.h).  The FAT lives in memory and is the only thing that can be
// "pending": an operation checks every precondition and plans its change in
// memory - clusters allocated in the in-memory FAT, the directory's new
// bytes - and when anything fails it drops the plan (the FAT in memory goes
// back to what is on the image) with the image untouched.  Then it writes,
// always in this order:
//   1. file data and new clusters (a new directory, a directory's new or
//      copied clusters) - free on the image, so nothing sees them yet;
//   2. the FAT, changed sectors in one write into the first copy, then one
//      into each other copy: the write into the first copy is the moment an
//      allocation, a link of new clusters or a release happens;
//   3. directory slots in clusters a directory already had, one cluster per
//      write (the root directory in one write).
// A change that makes an entry refer to new clusters writes 2 before 3 (a
// crash between leaves clusters no entry uses); one that releases clusters
// writes 3 before 2 (the same).  A directory cluster is never linked in
// before it is written, so no stale bytes ever read as entries.
//
// Directory order is the player's play order: new entries go after the last
// used slot, an entry set never runs across a cluster boundary (the slots it
// skips are marked deleted), and deleted slots stay until a directory runs
// out of room.  Writing one cluster in place is atomic for a crash between
// writes, but moving an entry from one cluster to another in place takes two
// writes, and a crash between them would show it twice or not at all.  So a
// change that spans clusters replaces them by copy on write: the clusters
// from the first one that changes on are written anew elsewhere and the FAT
// write links them in instead of the old ones.  A sub-directory's first
// cluster cannot be replaced (its number is the directory's key and what its
// parent, "." and its children's ".." point at), so changes there are made
// within it: a full root or first cluster is compacted in place, a longer
// name takes deleted slots beside it; where that cannot be, the entry moves
// to the end of the directory - deleted first, written again after - which a
// crash between can lose but never double.
#include "fat_volume.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <set>

#include "fat_names.h"

namespace emu {

using fatnames::kAttrDir;
using fatnames::kAttrLfn;
using fatnames::kAttrVolume;
using fatnames::kSlot;

namespace {

constexpr uint32_t kSector = 512;
constexpr uint32_t kSectorsPerCluster = 32;
// Cluster-count limits of the two FAT types.  FAT12 ends below 4085; mkfs.fat
// keeps FAT16 at 4087 or more because some drivers misjudge the two counts
// in between, and so do we.
constexpr uint32_t kMaxClusters12 = 4084;
constexpr uint32_t kMinClusters16 = 4087;
constexpr uint32_t kMaxClusters16 = 65524;
// FAT allows 65,536 slots in a directory, but the player's listing counts
// them in 16 bits: a sub-directory stops one short of that.
constexpr size_t kMaxDirSlots = 65535;

uint16_t Get16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t Get32(const uint8_t* p) { return Get16(p) | (static_cast<uint32_t>(Get16(p + 2)) << 16); }
void Put16(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
void Put32(uint8_t* p, uint32_t v) {
  Put16(p, v & 0xFFFF);
  Put16(p + 2, v >> 16);
}

bool PRead(int fd, void* buf, size_t len, uint64_t off) {
  auto* p = static_cast<uint8_t*>(buf);
  while (len > 0) {
    ssize_t n = pread(fd, p, len, static_cast<off_t>(off));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    off += static_cast<uint64_t>(n);
    len -= static_cast<size_t>(n);
  }
  return true;
}

bool PWrite(int fd, const void* buf, size_t len, uint64_t off) {
  auto* p = static_cast<const uint8_t*>(buf);
  while (len > 0) {
    ssize_t n = pwrite(fd, p, len, static_cast<off_t>(off));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    off += static_cast<uint64_t>(n);
    len -= static_cast<size_t>(n);
  }
  return true;
}

struct Geometry {
  uint32_t totalSectors = 0, reserved = 0, fatSectors = 0, numFats = 2, rootEntries = 0,
           rootSectors = 0, spc = kSectorsPerCluster, clusters = 0;
  int type = 0;  // 12 or 16
  uint32_t rootStart() const { return reserved + numFats * fatSectors; }
  uint32_t dataStart() const { return rootStart() + rootSectors; }
  uint32_t clusterBytes() const { return spc * kSector; }
};

uint32_t FatBytesFor(int type, uint32_t clusters) {
  return type == 12 ? ((clusters + 2) * 3 + 1) / 2 : (clusters + 2) * 2;
}

// Lays out a volume of `total` sectors with FAT type `type`: the FAT is big
// enough for every cluster, and the data area starts on a cluster boundary
// (extra reserved sectors).  FAT16 FATs take whole clusters, so a 64 MiB
// volume comes out exactly as mkfs.fat -s 32 makes it (4092 clusters).
bool Layout(uint32_t total, int type, uint32_t rootEntries, uint32_t reservedBase, Geometry* g) {
  g->totalSectors = total;
  g->type = type;
  g->rootEntries = rootEntries;
  g->rootSectors = (rootEntries * 32 + kSector - 1) / kSector;
  uint32_t fat = 1;
  for (;;) {
    const uint64_t meta = uint64_t{reservedBase} + 2ull * fat + g->rootSectors;
    if (meta >= total) return false;
    const uint32_t cl = static_cast<uint32_t>((total - meta) / g->spc);
    uint32_t need = (FatBytesFor(type, cl) + kSector - 1) / kSector;
    if (type == 16) need = (need + g->spc - 1) / g->spc * g->spc;  // whole clusters, as mkfs.fat
    if (need <= fat) break;
    fat = need;
  }
  g->fatSectors = fat;
  const uint32_t meta = reservedBase + 2 * fat + g->rootSectors;
  g->reserved = reservedBase + (g->spc - meta % g->spc) % g->spc;
  if (g->dataStart() >= total) return false;
  g->clusters = (total - g->dataStart()) / g->spc;
  return true;
}

bool PlanLayout(uint64_t bytes, uint32_t rootEntries, Geometry* g, std::string* err) {
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
      if (!Layout(static_cast<uint32_t>(total), 12, rootEntries, reserved, &g12)) break;
    } while (g12.clusters > kMaxClusters12);
    *g = g12;
  }
  if (g->clusters < 8 || g->type == 0) {
    *err = "image too small for a FAT file system with 16 KiB clusters";
    return false;
  }
  return true;
}

// Writes an empty file system with layout `g` over the first bytes of `fd`
// and sizes the file to `bytes`.
bool WriteFreshFs(int fd, const Geometry& g, uint64_t bytes, bool lowLevel, uint32_t volumeId) {
  if (lowLevel && ftruncate(fd, 0) != 0) return false;  // the erased medium reads as zeros
  if (ftruncate(fd, static_cast<off_t>(bytes)) != 0) return false;
  std::vector<uint8_t> meta(size_t{g.dataStart()} * kSector, 0);
  uint8_t* b = meta.data();
  const uint8_t jump[3] = {0xEB, 0x3C, 0x90};
  std::memcpy(b, jump, 3);
  std::memcpy(b + 3, "ZVC450  ", 8);
  Put16(b + 11, kSector);
  b[13] = static_cast<uint8_t>(g.spc);
  Put16(b + 14, g.reserved);
  b[16] = static_cast<uint8_t>(g.numFats);
  Put16(b + 17, g.rootEntries);
  if (g.totalSectors < 65536) Put16(b + 19, g.totalSectors);
  else Put32(b + 32, g.totalSectors);
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
    uint8_t* f = b + size_t{g.reserved + k * g.fatSectors} * kSector;
    f[0] = 0xF8;
    f[1] = 0xFF;
    f[2] = 0xFF;
    if (g.type == 16) f[3] = 0xFF;
  }
  return PWrite(fd, meta.data(), meta.size(), 0) && fsync(fd) == 0;
}

uint32_t ClockVolumeId() {
  const time_t t = time(nullptr);
  return static_cast<uint32_t>(t) ^ 0x5A5A0000u;
}

uint32_t SlotCluster(const uint8_t* s) { return Get16(s + 26) | (static_cast<uint32_t>(Get16(s + 20)) << 16); }
void SetSlotCluster(uint8_t* s, uint32_t c) {
  Put16(s + 26, c & 0xFFFF);
  Put16(s + 20, c >> 16);
}
bool IsDotEntry(const uint8_t* s) { return s[0] == '.'; }
bool IsFileAttr(uint8_t a) { return (a & (kAttrDir | kAttrVolume)) == 0; }
bool IsDirAttr(uint8_t a) { return (a & kAttrDir) && !(a & kAttrVolume); }

size_t UsedSlots(const std::vector<uint8_t>& bytes) {
  size_t n = bytes.size() / kSlot;
  for (size_t i = 0; i < n; ++i)
    if (bytes[i * kSlot] == 0x00) return i;
  return n;
}

}  // namespace

struct FatVolume::Impl {
  int fd = -1;
  std::string path;
  uint64_t imageBytes = 0;
  Geometry g;
  std::vector<uint8_t> fat, fatDisk;  // first FAT: in memory (may hold pending allocations) and on disk
  uint32_t hint = 2;
  mutable uint64_t linksFollowed = 0;
  uint64_t changes = 0;  // bumped by every write to the image: what was read may be stale
  // FAT sectors the other copies still have to get from the first one.
  uint32_t copiesFirst = UINT32_MAX, copiesLast = 0;

  // Where the last read of a file stopped: the cluster that holds byte
  // `at` of file `index` of directory `dir`, valid while `changes` is
  // unchanged.  The host reads a file from start to end in 16 KiB steps;
  // each step goes on from here instead of walking the chain again.
  struct ReadCursor {
    uint64_t changes = UINT64_MAX;
    uint32_t dir = 0;
    int index = -1;
    uint32_t first = 0, size = 0;
    uint64_t at = 0;  // a multiple of the cluster size
    uint32_t cluster = 0;
  };
  mutable ReadCursor cursor;

  struct PathComp {
    uint32_t cluster;
    std::vector<uint8_t> slots;  // long-name slots then short slot, as in the parent
  };
  std::vector<PathComp> cwd;  // empty at the root

  struct Dir {
    uint32_t cluster = 0;  // 0: root
    std::vector<uint32_t> chain;
    std::vector<uint8_t> bytes;  // whole directory, capacity included
  };
  // A short slot in a directory and the first slot of its set.
  struct Rec {
    size_t first, pos;
  };

  // A change of one directory, planned in memory, then written by Commit
  // (see the top of this file for the order of the writes).
  struct DirChange {
    Dir dir;                     // the directory as it will be
    std::vector<uint8_t> disk;   // the bytes of its clusters as the image has them
    size_t kept = 0;             // dir.chain[0, kept) are clusters it had, the rest are new
    std::vector<uint32_t> drop;  // clusters it gives up, freed by the FAT write that commits it
    bool fatFirst = false;       // the directory refers to clusters the change allocates
  };

  struct Writer {
    bool active = false;
    DirChange change;
    size_t shortPos = 0;
    std::vector<uint32_t> chain;
    uint64_t written = 0;
  } w;

  ~Impl() {
    if (fd >= 0) close(fd);
  }

  // ---- FAT -------------------------------------------------------------
  uint32_t Get(uint32_t n) const {
    if (g.type == 12) {
      const size_t off = n + n / 2;
      const uint32_t v = fat[off] | (fat[off + 1] << 8);
      return (n & 1) ? (v >> 4) : (v & 0xFFF);
    }
    return Get16(&fat[size_t{n} * 2]);
  }
  void Set(uint32_t n, uint32_t v) {
    if (g.type == 12) {
      const size_t off = n + n / 2;
      if (n & 1) {
        fat[off] = static_cast<uint8_t>((fat[off] & 0x0F) | ((v << 4) & 0xF0));
        fat[off + 1] = static_cast<uint8_t>(v >> 4);
      } else {
        fat[off] = static_cast<uint8_t>(v);
        fat[off + 1] = static_cast<uint8_t>((fat[off + 1] & 0xF0) | ((v >> 8) & 0x0F));
      }
    } else {
      Put16(&fat[size_t{n} * 2], v);
    }
  }
  uint32_t Eoc() const { return g.type == 12 ? 0xFFF : 0xFFFF; }
  bool IsEoc(uint32_t v) const { return v >= (g.type == 12 ? 0xFF8u : 0xFFF8u); }
  uint32_t BadMark() const { return g.type == 12 ? 0xFF7 : 0xFFF7; }
  uint32_t LastCluster() const { return g.clusters + 1; }

  uint32_t FreeCount() const {
    uint32_t n = 0;
    for (uint32_t c = 2; c <= LastCluster(); ++c) n += Get(c) == 0;
    return n;
  }

  // Appends `count` free clusters to `chain` (linking them after its last
  // cluster).  false, with nothing changed, when they are not there.
  bool Alloc(uint32_t count, std::vector<uint32_t>* chain) {
    if (count == 0) return true;
    if (FreeCount() < count) return false;
    uint32_t c = hint < 2 || hint > LastCluster() ? 2 : hint;
    while (count > 0) {
      if (Get(c) == 0) {
        if (!chain->empty()) Set(chain->back(), c);
        Set(c, Eoc());
        chain->push_back(c);
        --count;
      }
      c = c >= LastCluster() ? 2 : c + 1;
    }
    hint = c;
    return true;
  }

  void FreeChain(const std::vector<uint32_t>& chain) {
    for (uint32_t c : chain) Set(c, 0);
  }

  bool Chain(uint32_t first, std::vector<uint32_t>* out) const {
    out->clear();
    uint32_t c = first;
    while (c >= 2 && c <= LastCluster()) {
      ++linksFollowed;
      out->push_back(c);
      if (out->size() > g.clusters) return false;  // a loop
      const uint32_t v = Get(c);
      if (IsEoc(v)) return true;
      c = v;
    }
    return first == 0;  // a chain that runs into a free, bad or wild entry is broken
  }

  WriteFaults* faults = nullptr;

  // Every write to the open image goes through here: one call is one write
  // of the crash model.
  bool Write(const void* buf, size_t len, uint64_t off) {
    ++changes;
    if (faults && !faults->Admit()) {
      errno = EIO;
      return false;
    }
    if (!PWrite(fd, buf, len, off)) return false;
    if (faults) faults->Done();
    return true;
  }

  uint64_t ClusterOffset(uint32_t c) const {
    return (uint64_t{g.dataStart()} + uint64_t{c - 2} * g.spc) * kSector;
  }

  // Writes the sectors of the FAT that changed: one write into the first
  // FAT, then one into each other copy.  The write into the first FAT is
  // what makes the change happen (fsck.fat and mtools go by the first FAT,
  // and fsck.fat repairs the others from it); a FAT12 entry that spans two
  // sectors changes in that one write too.  Sectors of the other copies
  // whose write failed are written again next time.
  bool FlushFat() {
    uint32_t first = UINT32_MAX, last = 0;
    for (uint32_t s = 0; s < g.fatSectors; ++s) {
      if (std::memcmp(&fat[size_t{s} * kSector], &fatDisk[size_t{s} * kSector], kSector) == 0) continue;
      first = std::min(first, s);
      last = s;
    }
    if (first != UINT32_MAX) {
      const size_t off = size_t{first} * kSector, len = size_t{last - first + 1} * kSector;
      if (!Write(&fat[off], len, uint64_t{g.reserved} * kSector + off)) return false;
      std::memcpy(&fatDisk[off], &fat[off], len);
      copiesFirst = std::min(copiesFirst, first);
      copiesLast = std::max(copiesLast, last);
    }
    if (copiesFirst == UINT32_MAX) return true;
    const size_t off = size_t{copiesFirst} * kSector, len = size_t{copiesLast - copiesFirst + 1} * kSector;
    for (uint32_t k = 1; k < g.numFats; ++k)
      if (!Write(&fatDisk[off], len, (uint64_t{g.reserved} + uint64_t{k} * g.fatSectors) * kSector + off))
        return false;
    copiesFirst = UINT32_MAX;
    copiesLast = 0;
    return true;
  }
  void Rollback() {
    fat = fatDisk;
    ++changes;
  }

  // ---- Directories -------------------------------------------------------
  uint32_t CurCluster() const { return cwd.empty() ? 0 : cwd.back().cluster; }

  int LoadDir(uint32_t cluster, Dir* d) const {
    d->cluster = cluster;
    d->chain.clear();
    if (cluster == 0) {
      d->bytes.assign(size_t{g.rootEntries} * kSlot, 0);
      return PRead(fd, d->bytes.data(), d->bytes.size(), uint64_t{g.rootStart()} * kSector) ? 0 : kInternal;
    }
    if (!Chain(cluster, &d->chain) || d->chain.empty()) return kInternal;
    const size_t cb = g.clusterBytes();
    d->bytes.assign(d->chain.size() * cb, 0);
    for (size_t i = 0; i < d->chain.size(); ++i)
      if (!PRead(fd, &d->bytes[i * cb], cb, ClusterOffset(d->chain[i]))) return kInternal;
    return 0;
  }

  size_t SlotsPerCluster() const { return g.clusterBytes() / kSlot; }

  DirChange Change(const Dir& d) const { return DirChange{d, d.bytes, d.chain.size(), {}, false}; }

  // Writes a planned change.  Root directory: one write (of the sectors
  // that changed), after the FAT when the change refers to new clusters,
  // else before it.  Sub-directory: when it keeps its clusters, the
  // clusters that changed (the plans change only one, or one plus slots
  // they mark deleted), again after or before the FAT; when it has new
  // clusters, first the clusters it keeps that changed (only changes that
  // leave a consistent directory by themselves), then the new clusters,
  // then the FAT, whose first copy links them in and frees what they
  // replace at once.  On a failed write the FAT in memory goes back to the
  // image's.
  int Commit(DirChange& c) {
    auto fail = [&] {
      Rollback();
      return static_cast<int>(kInternal);
    };
    Dir& d = c.dir;
    FreeChain(c.drop);
    if (d.cluster == 0) {
      if (c.fatFirst && !FlushFat()) return fail();
      size_t first = 0, last = d.bytes.size();
      while (first < last && d.bytes[first] == c.disk[first]) ++first;
      while (last > first && d.bytes[last - 1] == c.disk[last - 1]) --last;
      if (first < last) {
        first -= first % kSector;
        last += (kSector - last % kSector) % kSector;
        if (!Write(&d.bytes[first], last - first, uint64_t{g.rootStart()} * kSector + first)) return fail();
      }
      return !c.fatFirst && !FlushFat() ? fail() : 0;
    }
    const size_t cb = g.clusterBytes();
    const bool grows = d.chain.size() > c.kept;
    if (!grows && c.fatFirst && !FlushFat()) return fail();
    for (size_t i = 0; i < d.chain.size(); ++i) {
      if (i < c.kept && std::memcmp(&d.bytes[i * cb], &c.disk[i * cb], cb) == 0) continue;
      if (!Write(&d.bytes[i * cb], cb, ClusterOffset(d.chain[i]))) return fail();
    }
    return (grows || !c.fatFirst) && !FlushFat() ? fail() : 0;
  }

  // True when slot `i` of a directory begins an entry (its long-name slots
  // or its short slot) rather than continuing one from the slot before.
  static bool StartsEntry(const std::vector<uint8_t>& b, size_t i) {
    if (i == 0) return true;
    const uint8_t* prev = &b[(i - 1) * kSlot];
    return prev[0] == 0x00 || prev[0] == 0xE5 || prev[11] != kAttrLfn;
  }

  static void MarkDeleted(std::vector<uint8_t>* b, size_t from, size_t to) {
    for (size_t i = from; i < to; ++i) (*b)[i * kSlot] = 0xE5;
  }

  // The entries of slots [from, to) in order, deleted slots left out: each
  // one's long-name slots and short slot (long-name slots that lead to no
  // short slot are kept as they are).
  struct Unit {
    size_t first;
    std::vector<uint8_t> slots;
  };
  static std::vector<Unit> UnitsIn(const std::vector<uint8_t>& b, size_t from, size_t to) {
    std::vector<Unit> out;
    Unit cur{0, {}};
    for (size_t i = from; i < to; ++i) {
      const uint8_t* s = &b[i * kSlot];
      if (s[0] == 0x00) break;
      if (s[0] == 0xE5) {
        if (!cur.slots.empty()) out.push_back(std::move(cur));
        cur = Unit{0, {}};
        continue;
      }
      if (cur.slots.empty()) cur.first = i;
      cur.slots.insert(cur.slots.end(), s, s + kSlot);
      if (s[11] != kAttrLfn) {
        out.push_back(std::move(cur));
        cur = Unit{0, {}};
      }
    }
    if (!cur.slots.empty()) out.push_back(std::move(cur));
    return out;
  }

  // Lays entries out from slot `at` of `b` (grown by whole clusters as
  // needed), each inside one cluster: an entry that would run into the next
  // cluster starts there and the slots it skips are marked deleted.
  // Returns the slot after the last entry.
  size_t Pack(const std::vector<Unit>& units, std::vector<uint8_t>* b, size_t at) const {
    const size_t spc = SlotsPerCluster();
    for (const Unit& u : units) {
      const size_t n = u.slots.size() / kSlot;
      const size_t start = n <= spc && at % spc + n > spc ? (at / spc + 1) * spc : at;
      const size_t need = (start + n + spc - 1) / spc * spc * kSlot;
      if (b->size() < need) b->resize(need, 0);
      MarkDeleted(b, at, start);
      std::memcpy(&(*b)[start * kSlot], u.slots.data(), u.slots.size());
      at = start + n;
    }
    return at;
  }

  // The directory gets one more (zeroed) cluster.
  bool Grow(DirChange* c) {
    std::vector<uint32_t> chain = c->dir.chain;
    if (!Alloc(1, &chain)) return false;
    c->dir.chain.swap(chain);
    c->dir.bytes.resize(c->dir.bytes.size() + g.clusterBytes(), 0);
    return true;
  }

  // Copy on write: clusters [from, ...) of a sub-directory are replaced by
  // new clusters holding `tail`; the FAT write that commits the change links
  // them in after cluster from-1 and frees the old ones.  `from` is never 0:
  // the first cluster is where the parent's entry, "." and the children's
  // ".." point, and the directory's key is its number.
  bool ReplaceTail(DirChange* c, size_t from, std::vector<uint8_t> tail) {
    Dir& d = c->dir;
    const size_t cb = g.clusterBytes();
    const size_t count = std::max<size_t>(1, (tail.size() + cb - 1) / cb);
    std::vector<uint32_t> fresh{d.chain[from - 1]};
    if (!Alloc(static_cast<uint32_t>(count), &fresh)) return false;
    for (size_t i = from; i < d.chain.size(); ++i)
      if (i < c->kept) c->drop.push_back(d.chain[i]);
      else Set(d.chain[i], 0);  // a cluster this change had added
    d.chain.resize(from);
    d.chain.insert(d.chain.end(), fresh.begin() + 1, fresh.end());
    tail.resize(count * cb, 0);
    d.bytes.resize(from * cb);
    d.bytes.insert(d.bytes.end(), tail.begin(), tail.end());
    c->kept = std::min(c->kept, from);
    return true;
  }

  // Plans a new entry set after the last entry of the directory (the
  // directory's order is the player's play order).  *at receives its slot.
  int PlanAppend(DirChange* c, const std::vector<uint8_t>& set, size_t* at) {
    Dir& d = c->dir;
    const size_t n = set.size() / kSlot, used = UsedSlots(d.bytes), cap = d.bytes.size() / kSlot;
    auto put = [&](size_t pos) {
      std::memcpy(&d.bytes[pos * kSlot], set.data(), set.size());
      *at = pos;
      return 0;
    };
    if (d.cluster == 0) {
      if (used + n <= cap) return put(used);
      // Full: the deleted slots go and the entries close up (the root
      // directory is written in one piece).
      std::vector<uint8_t> packed;
      for (const Unit& u : UnitsIn(d.bytes, 0, used)) packed.insert(packed.end(), u.slots.begin(), u.slots.end());
      if (packed.size() / kSlot + n > cap) return kNoEmptyEntry;
      const size_t end = packed.size() / kSlot;
      packed.resize(d.bytes.size(), 0);
      d.bytes.swap(packed);
      return put(end);
    }
    const size_t spc = SlotsPerCluster();
    // After the last entry, or at the start of the next cluster when the
    // set would run into it.
    if (used < cap) {
      const size_t pos = used % spc + n > spc ? (used / spc + 1) * spc : used;
      if (pos + n <= cap && pos + n <= kMaxDirSlots) {
        MarkDeleted(&d.bytes, used, pos);
        return put(pos);
      }
    }
    // No room at the end: deleted slots are reclaimed by closing the
    // entries up - in place in a directory of one cluster, by copy on write
    // in the clusters after the first of a longer one - unless the
    // directory would need another cluster all the same.
    if (d.chain.size() == 1) {
      std::vector<uint8_t> packed;
      const size_t end = Pack(UnitsIn(d.bytes, 0, used), &packed, 0);
      if (end + n <= spc) {
        packed.resize(d.bytes.size(), 0);
        d.bytes.swap(packed);
        return put(end);
      }
    } else if (StartsEntry(d.bytes, spc)) {
      std::vector<Unit> units = UnitsIn(d.bytes, spc, used);
      units.push_back(Unit{0, set});
      std::vector<uint8_t> tail;
      const size_t end = Pack(units, &tail, 0);
      if (tail.size() / g.clusterBytes() < d.chain.size() && spc + end <= kMaxDirSlots &&
          ReplaceTail(c, 1, std::move(tail))) {
        *at = spc + end - n;
        return 0;
      }
    }
    // The directory grows by a cluster that starts with the set; the rest
    // of its last cluster is marked deleted.
    if (cap + n > kMaxDirSlots) return kNoEmptyEntry;
    if (!Grow(c)) return kOutOfMemory;
    MarkDeleted(&d.bytes, used, cap);
    return put(cap);
  }

  // Makes room in cluster k for a set longer than the entry `r` it replaces,
  // from deleted (or unused) slots of that cluster alone: the entries
  // between move up or down, none leaves the cluster.  false when it has
  // too few.
  bool Absorb(Dir* d, size_t k, const Rec& r, const std::vector<uint8_t>& set) {
    const size_t spc = SlotsPerCluster(), old = r.pos - r.first + 1, n = set.size() / kSlot;
    // Entries that run in from the cluster before or on into the next stay put.
    size_t lo = k * spc, hi = (k + 1) * spc;
    while (lo < r.first && !StartsEntry(d->bytes, lo)) ++lo;
    while (hi > r.pos + 1 && hi < d->bytes.size() / kSlot && !StartsEntry(d->bytes, hi)) --hi;
    std::vector<uint8_t> seq(d->bytes.begin() + lo * kSlot, d->bytes.begin() + r.first * kSlot);
    const size_t setAt = seq.size() / kSlot;
    seq.insert(seq.end(), set.begin(), set.end());
    seq.insert(seq.end(), d->bytes.begin() + (r.pos + 1) * kSlot, d->bytes.begin() + hi * kSlot);
    auto hole = [&](size_t i) { return seq[i * kSlot] == 0x00 || seq[i * kSlot] == 0xE5; };
    std::vector<bool> drop(seq.size() / kSlot, false);
    size_t missing = n - old;
    for (size_t i = setAt + n; i < drop.size() && missing; ++i)
      if (hole(i)) drop[i] = true, --missing;
    for (size_t i = setAt; i-- > 0 && missing;)
      if (hole(i)) drop[i] = true, --missing;
    if (missing) return false;
    std::vector<uint8_t> region;
    for (size_t i = 0; i < drop.size(); ++i)
      if (!drop[i]) region.insert(region.end(), seq.begin() + i * kSlot, seq.begin() + (i + 1) * kSlot);
    std::vector<uint8_t> next = d->bytes;
    std::copy(region.begin(), region.end(), next.begin() + lo * kSlot);
    if (UsedSlots(next) > kMaxDirSlots) return false;
    d->bytes.swap(next);
    return true;
  }

  // Plans the entry `r` with a new set: in its place when the set is no
  // longer, or when its cluster has room; else the clusters from its own
  // on are copied (not the first cluster); else it moves to the end of the
  // directory - the one change that needs two steps, so that a crash in
  // between can lose it but never leave it twice.
  int PlanRename(DirChange* c, const Rec& r, const std::vector<uint8_t>& set) {
    Dir& d = c->dir;
    const size_t n = set.size() / kSlot, old = r.pos - r.first + 1, used = UsedSlots(d.bytes);
    if (d.cluster == 0) {
      std::vector<uint8_t> next(d.bytes.begin(), d.bytes.begin() + r.first * kSlot);
      next.insert(next.end(), set.begin(), set.end());
      next.insert(next.end(), d.bytes.begin() + (r.pos + 1) * kSlot, d.bytes.begin() + used * kSlot);
      if (next.size() > d.bytes.size()) {
        std::vector<uint8_t> packed;
        for (const Unit& u : UnitsIn(next, 0, next.size() / kSlot))
          packed.insert(packed.end(), u.slots.begin(), u.slots.end());
        if (packed.size() > d.bytes.size()) return kNoEmptyEntry;
        next.swap(packed);
      }
      next.resize(d.bytes.size(), 0);
      d.bytes.swap(next);
      return 0;
    }
    const size_t spc = SlotsPerCluster(), k = r.first / spc;
    if (k == r.pos / spc) {
      if (n <= old) {
        MarkDeleted(&d.bytes, r.first, r.pos + 1 - n);
        std::memcpy(&d.bytes[(r.pos + 1 - n) * kSlot], set.data(), set.size());
        return 0;
      }
      if (Absorb(&d, k, r, set)) return 0;
    }
    if (k >= 1 && StartsEntry(d.bytes, k * spc)) {
      std::vector<Unit> units = UnitsIn(d.bytes, k * spc, used);
      for (Unit& u : units)
        if (u.first <= r.pos && r.pos < u.first + u.slots.size() / kSlot) {
          u.slots.resize((r.first - u.first) * kSlot);
          u.slots.insert(u.slots.end(), set.begin(), set.end());
        }
      std::vector<uint8_t> tail;
      const size_t end = Pack(units, &tail, 0);
      if (k * spc + end <= kMaxDirSlots && ReplaceTail(c, k, std::move(tail))) return 0;
    }
    MarkDeleted(&d.bytes, r.first, r.pos + 1);
    size_t at;
    return PlanAppend(c, set, &at);
  }

  static std::vector<Rec> Records(const Dir& d) {
    std::vector<Rec> out;
    const size_t used = UsedSlots(d.bytes);
    for (size_t i = 0; i < used; ++i) {
      const uint8_t* s = &d.bytes[i * kSlot];
      if (s[0] == 0xE5 || s[11] == kAttrLfn) continue;
      Rec r{i, i};
      fatnames::LongNameBefore(d.bytes.data(), i, &r.first);
      out.push_back(r);
    }
    return out;
  }
  static const uint8_t* SlotOf(const Dir& d, const Rec& r) { return &d.bytes[r.pos * kSlot]; }

  // The current directory's file number `index`.
  int FindFile(const Dir& d, int index, Rec* out) const {
    if (index < 0) return kFileNotExist;
    int n = 0;
    for (const Rec& r : Records(d)) {
      if (!IsFileAttr(SlotOf(d, r)[11])) continue;
      if (n++ == index) {
        *out = r;
        return 0;
      }
    }
    return kFileNotExist;
  }

  // A sub-directory of `d` (not "." or "..") by its key.
  static int FindDir(const Dir& d, uint16_t key, Rec* out) {
    for (const Rec& r : Records(d)) {
      const uint8_t* s = SlotOf(d, r);
      if (IsDirAttr(s[11]) && !IsDotEntry(s) && (SlotCluster(s) & 0xFFFF) == key) {
        *out = r;
        return 0;
      }
    }
    return kNotFound;
  }

  // Checks the new name against the entries of `d` (skipping the entry at
  // slot `self`): a long name or text that names another entry (FAT compares
  // without regard to case) is kFileExist; a short alias that only clashes
  // with another alias gets a numeric tail.
  int CheckNames(const Dir& d, fatnames::ParsedSet* p, size_t self) const {
    const std::u16string shortText = fatnames::ShortText16(p->shortSlot);
    const std::u16string& name = p->longName.empty() ? shortText : p->longName;
    std::vector<std::string> taken;
    bool aliasClash = false;
    for (const Rec& r : Records(d)) {
      const uint8_t* s = SlotOf(d, r);
      if (r.pos == self || IsDotEntry(s) || (s[11] & kAttrVolume)) continue;
      size_t first;
      const std::u16string otherLong = fatnames::LongNameBefore(d.bytes.data(), r.pos, &first);
      const std::u16string otherShort = fatnames::ShortText16(s);
      if (fatnames::SameName(name, otherShort) || (!otherLong.empty() && fatnames::SameName(name, otherLong)))
        return kFileExist;
      if (!otherLong.empty() && fatnames::SameName(shortText, otherLong)) aliasClash = true;
      taken.emplace_back(reinterpret_cast<const char*>(s), 11);
    }
    if (p->longName.empty()) return 0;  // its own name; clashes were caught above
    if (aliasClash) taken.emplace_back(reinterpret_cast<const char*>(p->shortSlot), 11);
    return fatnames::MakeUniqueAlias(p->shortSlot, taken) ? 0 : kNoEmptyEntry;
  }

  static std::vector<uint8_t> Used(const Dir& d) {
    return std::vector<uint8_t>(d.bytes.begin(), d.bytes.begin() + UsedSlots(d.bytes) * kSlot);
  }

  // Rename of the entry `r` of the current directory `d`.
  int RenameRec(const Dir& d, const Rec& r, const uint8_t* set, size_t slots, bool keepStamps) {
    fatnames::ParsedSet p;
    if (int e = fatnames::ParseEntrySet(set, slots, &p)) return e;
    const uint8_t* old = SlotOf(d, r);
    uint8_t fresh[32];
    std::memcpy(fresh, keepStamps ? old : p.shortSlot, 32);
    std::memcpy(fresh, p.shortSlot, 11);
    // A file stays a file, a directory stays a directory; where its data is
    // and how long it is are the medium's business, not the host's.
    fresh[11] = static_cast<uint8_t>((fresh[11] & ~(kAttrDir | kAttrVolume)) | (old[11] & kAttrDir));
    if (fresh[11] == kAttrLfn) fresh[11] = old[11];
    std::memcpy(fresh + 20, old + 20, 2);
    std::memcpy(fresh + 26, old + 26, 6);
    std::memcpy(p.shortSlot, fresh, 32);
    if (int e = CheckNames(d, &p, r.pos)) return e;
    DirChange c = Change(d);
    if (int e = PlanRename(&c, r, fatnames::BuildEntrySet(p.shortSlot, p.longName))) {
      Rollback();
      return e;
    }
    return Commit(c);
  }

  void AbortWrite() {
    if (!w.active) return;
    Rollback();
    w = Writer();
  }

  int CountFiles(uint32_t cluster, std::set<uint32_t>* seen) const {
    Dir d;
    if (LoadDir(cluster, &d) != 0) return 0;
    int n = 0;
    for (const Rec& r : Records(d)) {
      const uint8_t* s = SlotOf(d, r);
      if (IsFileAttr(s[11])) {
        ++n;
      } else if (IsDirAttr(s[11]) && !IsDotEntry(s)) {
        const uint32_t c = SlotCluster(s);
        if (c >= 2 && seen->insert(c).second) n += CountFiles(c, seen);
      }
    }
    return n;
  }

  DirEntryInfo Describe(const Dir& d, const Rec& r) const {
    const uint8_t* s = SlotOf(d, r);
    DirEntryInfo e;
    size_t first;
    e.longName = fatnames::Utf16ToUtf8(fatnames::LongNameBefore(d.bytes.data(), r.pos, &first));
    e.shortName = fatnames::ShortText(s);
    e.attr = s[11];
    e.firstCluster = SlotCluster(s);
    e.size = Get32(s + 28);
    e.writeTime = Get16(s + 22);
    e.writeDate = Get16(s + 24);
    return e;
  }

  int Load(int newFd, std::string* err) {
    fd = newFd;
    struct stat st;
    if (fstat(fd, &st) != 0) {
      *err = std::strerror(errno);
      return kInternal;
    }
    imageBytes = static_cast<uint64_t>(st.st_size);
    uint8_t b[kSector];
    if (imageBytes < kSector || !PRead(fd, b, kSector, 0)) {
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
    if (uint64_t{ng.totalSectors} * kSector > imageBytes) {
      *err = "image is shorter than its file system";
      return kNotFormatted;
    }
    g = ng;
    fat.assign(size_t{g.fatSectors} * kSector, 0);
    if (!PRead(fd, fat.data(), fat.size(), uint64_t{g.reserved} * kSector)) {
      *err = "cannot read the FAT";
      return kInternal;
    }
    fatDisk = fat;
    copiesFirst = UINT32_MAX;
    copiesLast = 0;
    cwd.clear();
    hint = 2;
    ++changes;
    return 0;
  }
};

// ---------------------------------------------------------------------------

FatVolume::FatVolume() : d_(new Impl) {}
FatVolume::~FatVolume() {
  if (d_) d_->AbortWrite();
}

bool FatVolume::Format(const std::string& image, uint64_t bytes, std::string* err, const FormatOptions& opt) {
  std::string dummy;
  if (err == nullptr) err = &dummy;
  Geometry g;
  bytes -= bytes % kSector;
  if (!PlanLayout(bytes, opt.rootEntries, &g, err)) return false;
  const int fd = open(image.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) {
    *err = image + ": " + std::strerror(errno);
    return false;
  }
  const bool ok = WriteFreshFs(fd, g, bytes, opt.lowLevel, opt.volumeId ? opt.volumeId : ClockVolumeId());
  if (!ok) *err = image + ": " + std::strerror(errno);
  close(fd);
  return ok;
}

std::unique_ptr<FatVolume> FatVolume::Open(const std::string& image, std::string* err) {
  std::string dummy;
  if (err == nullptr) err = &dummy;
  const int fd = open(image.c_str(), O_RDWR | O_CLOEXEC);
  if (fd < 0) {
    *err = image + ": " + std::strerror(errno);
    return nullptr;
  }
  std::unique_ptr<FatVolume> v(new FatVolume);
  v->d_->path = image;
  if (v->d_->Load(fd, err) != 0) {
    *err = image + ": " + *err;
    return nullptr;
  }
  return v;
}

int FatVolume::Reformat(bool lowLevel) {
  Impl& m = *d_;
  m.AbortWrite();
  Geometry g;
  std::string err;
  if (!PlanLayout(m.imageBytes - m.imageBytes % kSector, m.g.rootEntries, &g, &err)) return kInvalidParam;
  if (!WriteFreshFs(m.fd, g, m.imageBytes, lowLevel, ClockVolumeId())) return kInternal;
  const int fd = m.fd;
  m.fd = -1;
  const int e = m.Load(fd, &err);
  return e ? kInternal : 0;
}

std::vector<uint8_t> FatVolume::CurrentSlots() const {
  Impl::Dir d;
  if (d_->LoadDir(d_->CurCluster(), &d) != 0) return {};
  return Impl::Used(d);
}

int FatVolume::FileCount() const {
  Impl::Dir d;
  if (d_->LoadDir(d_->CurCluster(), &d) != 0) return 0;
  int n = 0;
  for (const auto& r : Impl::Records(d)) n += IsFileAttr(Impl::SlotOf(d, r)[11]);
  return n;
}

std::vector<DirEntryInfo> FatVolume::Files() const {
  std::vector<DirEntryInfo> out;
  Impl::Dir d;
  if (d_->LoadDir(d_->CurCluster(), &d) != 0) return out;
  for (const auto& r : Impl::Records(d))
    if (IsFileAttr(Impl::SlotOf(d, r)[11])) out.push_back(d_->Describe(d, r));
  return out;
}

std::vector<DirEntryInfo> FatVolume::Directories() const {
  std::vector<DirEntryInfo> out;
  Impl::Dir d;
  if (d_->LoadDir(d_->CurCluster(), &d) != 0) return out;
  for (const auto& r : Impl::Records(d))
    if (IsDirAttr(Impl::SlotOf(d, r)[11])) out.push_back(d_->Describe(d, r));
  return out;
}

uint32_t FatVolume::TotalBlocks() const {
  return static_cast<uint32_t>(uint64_t{d_->g.clusters} * d_->g.clusterBytes() / kBlockSize);
}

uint32_t FatVolume::UsedBlocks() const {
  const uint32_t used = d_->g.clusters - d_->FreeCount();
  return static_cast<uint32_t>(uint64_t{used} * d_->g.clusterBytes() / kBlockSize);
}

uint64_t FatVolume::FreeBytes() const { return uint64_t{d_->FreeCount()} * d_->g.clusterBytes(); }

int FatVolume::FatType() const { return d_->g.type; }

MediumInfo FatVolume::Info() const {
  const Impl& m = *d_;
  MediumInfo i;
  std::set<uint32_t> seen;
  i.totalFiles = static_cast<uint16_t>(std::min(m.CountFiles(0, &seen), 0xFFFF));
  i.totalBlocks = static_cast<uint16_t>(std::min<uint32_t>(TotalBlocks(), 0xFFFF));
  i.usedBlocks = static_cast<uint16_t>(std::min<uint32_t>(UsedBlocks(), 0xFFFF));
  i.physicalBlocks = static_cast<uint16_t>(std::min<uint32_t>(PhysicalBlocks(), 0xFFFF));
  uint32_t bad = 0;
  for (uint32_t c = 2; c <= m.LastCluster(); ++c) bad += m.Get(c) == m.BadMark();
  i.badBlocks = static_cast<uint16_t>(bad);
  i.fatStartSector = static_cast<uint16_t>(m.g.reserved);
  i.fatSectorCount = static_cast<uint16_t>(m.g.fatSectors);
  i.rootStartSector = static_cast<uint16_t>(m.g.rootStart());
  i.bytesPerSector = kSector;
  i.sectorsPerCluster = static_cast<uint8_t>(m.g.spc);
  i.clustersPerBlock = static_cast<uint8_t>(std::max<uint32_t>(1, kBlockSize / m.g.clusterBytes()));
  i.rootEntryCount = static_cast<uint16_t>(m.g.rootEntries);
  i.fatType = m.g.type == 12 ? 1 : 2;
  return i;
}

std::vector<uint8_t> FatVolume::CurrentPathEntries() const {
  std::vector<uint8_t> out;
  for (const auto& c : d_->cwd) out.insert(out.end(), c.slots.begin(), c.slots.end());
  return out;
}

bool FatVolume::AtRoot() const { return d_->cwd.empty(); }

int FatVolume::ChangeDir(uint16_t key) {
  Impl& m = *d_;
  m.AbortWrite();
  if (key == 0) {
    m.cwd.clear();
    return 0;
  }
  Impl::Dir d;
  if (int e = m.LoadDir(m.CurCluster(), &d)) return e;
  for (const auto& r : Impl::Records(d)) {
    const uint8_t* s = Impl::SlotOf(d, r);
    if (!IsDirAttr(s[11]) || (SlotCluster(s) & 0xFFFF) != key) continue;
    if (IsDotEntry(s)) {
      if (s[1] == '.' && !m.cwd.empty()) m.cwd.pop_back();  // ".."; "." stays here
      return 0;
    }
    m.cwd.push_back({SlotCluster(s), std::vector<uint8_t>(d.bytes.begin() + r.first * kSlot,
                                                          d.bytes.begin() + (r.pos + 1) * kSlot)});
    return 0;
  }
  return kNotFound;
}

int FatVolume::MakeDir(const uint8_t* entrySet, size_t slots, uint16_t* newKey) {
  Impl& m = *d_;
  m.AbortWrite();
  fatnames::ParsedSet p;
  if (int e = fatnames::ParseEntrySet(entrySet, slots, &p)) return e;
  p.shortSlot[11] = kAttrDir;
  Put32(p.shortSlot + 28, 0);
  Impl::Dir d;
  if (int e = m.LoadDir(m.CurCluster(), &d)) return e;
  if (int e = m.CheckNames(d, &p, SIZE_MAX)) return e;
  std::vector<uint32_t> chain;
  if (!m.Alloc(1, &chain)) return kOutOfMemory;
  SetSlotCluster(p.shortSlot, chain[0]);
  Impl::DirChange c = m.Change(d);
  c.fatFirst = true;
  size_t at;
  if (int e = m.PlanAppend(&c, fatnames::BuildEntrySet(p.shortSlot, p.longName), &at)) {
    m.Rollback();
    return e;
  }
  // The new directory: "." (itself) and ".." (its parent, 0 for the root),
  // on the image before anything links its cluster in.
  std::vector<uint8_t> nd(m.g.clusterBytes(), 0);
  std::memcpy(&nd[0], p.shortSlot, kSlot);
  std::memcpy(&nd[0], ".          ", 11);
  std::memcpy(&nd[kSlot], p.shortSlot, kSlot);
  std::memcpy(&nd[kSlot], "..         ", 11);
  SetSlotCluster(&nd[kSlot], m.CurCluster());
  if (!m.Write(nd.data(), nd.size(), m.ClusterOffset(chain[0]))) {
    m.Rollback();
    return kInternal;
  }
  if (int e = m.Commit(c)) return e;
  if (newKey) *newKey = static_cast<uint16_t>(chain[0] & 0xFFFF);
  return 0;
}

int FatVolume::RemoveDir(uint16_t key) {
  Impl& m = *d_;
  m.AbortWrite();
  if (key == 0) return kRootDir;
  Impl::Dir d;
  if (int e = m.LoadDir(m.CurCluster(), &d)) return e;
  Impl::Rec r;
  if (m.FindDir(d, key, &r) != 0) return key == (m.CurCluster() & 0xFFFF) ? kNotPermitted : kNotFound;
  Impl::Dir child;
  if (int e = m.LoadDir(SlotCluster(Impl::SlotOf(d, r)), &child)) return e;
  const size_t used = UsedSlots(child.bytes);
  for (size_t i = 0; i < used; ++i) {
    const uint8_t* s = &child.bytes[i * kSlot];
    if (s[0] != 0xE5 && !IsDotEntry(s)) return kNotPermitted;  // not empty
  }
  Impl::DirChange c = m.Change(d);
  Impl::MarkDeleted(&c.dir.bytes, r.first, r.pos + 1);
  m.FreeChain(child.chain);
  return m.Commit(c);
}

int FatVolume::RenameDir(uint16_t key, const uint8_t* entrySet, size_t slots) {
  Impl& m = *d_;
  m.AbortWrite();
  if (key == 0) return kRootDir;
  Impl::Dir d;
  if (int e = m.LoadDir(m.CurCluster(), &d)) return e;
  Impl::Rec r;
  if (int e = m.FindDir(d, key, &r)) return e;
  return m.RenameRec(d, r, entrySet, slots, true);
}

int FatVolume::CreateFile(const uint8_t* entrySet, size_t slots, const uint8_t* data, uint64_t size, int* index) {
  if (size > 0xFFFFFFFFull) return kInvalidParam;
  std::vector<uint8_t> set(entrySet, entrySet + slots * kSlot);
  if (slots > 0) Put32(&set[(slots - 1) * kSlot + 28], static_cast<uint32_t>(size));
  if (int e = BeginWrite(set.data(), slots, index)) return e;
  if (int e = WriteData(data, static_cast<size_t>(size))) {
    AbortWrite();
    return e;
  }
  return CommitWrite();
}

int FatVolume::BeginWrite(const uint8_t* entrySet, size_t slots, int* index) {
  Impl& m = *d_;
  if (m.w.active) return kNotPermitted;
  fatnames::ParsedSet p;
  if (int e = fatnames::ParseEntrySet(entrySet, slots, &p)) return e;
  p.shortSlot[11] &= static_cast<uint8_t>(~(kAttrDir | kAttrVolume));
  const uint32_t announced = Get32(p.shortSlot + 28);
  Impl::Dir d;
  if (int e = m.LoadDir(m.CurCluster(), &d)) return e;
  if (int e = m.CheckNames(d, &p, SIZE_MAX)) return e;
  int files = 0;
  for (const auto& r : Impl::Records(d)) files += IsFileAttr(Impl::SlotOf(d, r)[11]);
  Impl::Writer w;
  const size_t cb = m.g.clusterBytes();
  if (!m.Alloc(static_cast<uint32_t>((uint64_t{announced} + cb - 1) / cb), &w.chain)) return kOutOfMemory;
  w.change = m.Change(d);
  w.change.fatFirst = true;
  const std::vector<uint8_t> set = fatnames::BuildEntrySet(p.shortSlot, p.longName);
  size_t at;
  if (int e = m.PlanAppend(&w.change, set, &at)) {
    m.Rollback();
    return e;
  }
  w.shortPos = at + set.size() / kSlot - 1;
  w.active = true;
  m.w = std::move(w);
  if (index) *index = files;
  return 0;
}

int FatVolume::WriteData(const uint8_t* data, size_t len) {
  Impl& m = *d_;
  if (!m.w.active) return kInvalidParam;
  if (m.w.written + len > 0xFFFFFFFFull) return kInvalidParam;
  const size_t cb = m.g.clusterBytes();
  const uint64_t need = (m.w.written + len + cb - 1) / cb;
  if (need > m.w.chain.size() && !m.Alloc(static_cast<uint32_t>(need - m.w.chain.size()), &m.w.chain))
    return kOutOfMemory;
  while (len > 0) {
    const size_t ci = static_cast<size_t>(m.w.written / cb), off = static_cast<size_t>(m.w.written % cb);
    const size_t n = std::min(len, cb - off);
    if (!m.Write(data, n, m.ClusterOffset(m.w.chain[ci]) + off)) return kInternal;
    data += n;
    len -= n;
    m.w.written += n;
  }
  return 0;
}

int FatVolume::CommitWrite() {
  Impl& m = *d_;
  if (!m.w.active) return kInvalidParam;
  const size_t cb = m.g.clusterBytes();
  const size_t keep = static_cast<size_t>((m.w.written + cb - 1) / cb);
  if (m.w.chain.size() > keep) {
    m.FreeChain(std::vector<uint32_t>(m.w.chain.begin() + keep, m.w.chain.end()));
    m.w.chain.resize(keep);
    if (keep > 0) m.Set(m.w.chain.back(), m.Eoc());
  }
  uint8_t* s = &m.w.change.dir.bytes[m.w.shortPos * kSlot];
  SetSlotCluster(s, keep ? m.w.chain[0] : 0);
  Put32(s + 28, static_cast<uint32_t>(m.w.written));
  Impl::DirChange change = std::move(m.w.change);
  m.w = Impl::Writer();
  return m.Commit(change);
}

void FatVolume::AbortWrite() { d_->AbortWrite(); }
bool FatVolume::Writing() const { return d_->w.active; }

int FatVolume::ReadAt(int index, uint64_t offset, uint8_t* out, size_t len, size_t* got) const {
  const Impl& m = *d_;
  Impl::ReadCursor& c = m.cursor;
  *got = 0;
  if (c.changes != m.changes || c.dir != m.CurCluster() || c.index != index) {
    Impl::Dir d;
    if (int e = m.LoadDir(m.CurCluster(), &d)) return e;
    Impl::Rec r;
    if (int e = m.FindFile(d, index, &r)) return e;
    const uint8_t* s = Impl::SlotOf(d, r);
    c = Impl::ReadCursor{m.changes, m.CurCluster(), index, SlotCluster(s), Get32(s + 28), 0, SlotCluster(s)};
  }
  if (offset >= c.size) return 0;
  len = static_cast<size_t>(std::min<uint64_t>(len, c.size - offset));
  const size_t cb = m.g.clusterBytes();
  if (offset < c.at) {
    c.at = 0;
    c.cluster = c.first;
  }
  while (len > 0) {
    // Step along the chain to the cluster that holds `offset`; a link that
    // leads nowhere before the file's size is a broken chain.
    while (offset >= c.at + cb) {
      ++m.linksFollowed;
      const uint32_t next = m.Get(c.cluster);
      if (next < 2 || next > m.LastCluster()) {
        c.changes = UINT64_MAX;
        return kInternal;
      }
      c.cluster = next;
      c.at += cb;
    }
    if (c.cluster < 2 || c.cluster > m.LastCluster()) {
      c.changes = UINT64_MAX;
      return kInternal;
    }
    const size_t off = static_cast<size_t>(offset - c.at);
    const size_t n = std::min(len, cb - off);
    if (!PRead(m.fd, out, n, m.ClusterOffset(c.cluster) + off)) return kInternal;
    out += n;
    len -= n;
    offset += n;
    *got += n;
  }
  return 0;
}

int FatVolume::ReadFile(int index, std::vector<uint8_t>* out) const {
  out->clear();
  std::vector<DirEntryInfo> files = Files();
  if (index < 0 || static_cast<size_t>(index) >= files.size()) return kFileNotExist;
  out->resize(files[static_cast<size_t>(index)].size);
  size_t got = 0;
  const int e = ReadAt(index, 0, out->data(), out->size(), &got);
  if (e != 0 || got != out->size()) {
    out->clear();
    return e ? e : kInternal;
  }
  return 0;
}

int FatVolume::Delete(int index) {
  Impl& m = *d_;
  m.AbortWrite();
  Impl::Dir d;
  if (int e = m.LoadDir(m.CurCluster(), &d)) return e;
  Impl::Rec r;
  if (int e = m.FindFile(d, index, &r)) return e;
  std::vector<uint32_t> chain;
  const bool chainOk = m.Chain(SlotCluster(Impl::SlotOf(d, r)), &chain);
  Impl::DirChange c = m.Change(d);
  Impl::MarkDeleted(&c.dir.bytes, r.first, r.pos + 1);
  if (chainOk) m.FreeChain(chain);  // a broken chain is left for fsck rather than guessed at
  return m.Commit(c);
}

int FatVolume::Rename(int index, const uint8_t* entrySet, size_t slots, bool keepStamps) {
  Impl& m = *d_;
  m.AbortWrite();
  Impl::Dir d;
  if (int e = m.LoadDir(m.CurCluster(), &d)) return e;
  Impl::Rec r;
  if (int e = m.FindFile(d, index, &r)) return e;
  return m.RenameRec(d, r, entrySet, slots, keepStamps);
}

int FatVolume::Swap(int a, int b) {
  Impl& m = *d_;
  m.AbortWrite();
  Impl::Dir d;
  if (int e = m.LoadDir(m.CurCluster(), &d)) return e;
  Impl::Rec ra, rb;
  if (int e = m.FindFile(d, a, &ra)) return e;
  if (int e = m.FindFile(d, b, &rb)) return e;
  if (ra.pos == rb.pos) return 0;
  if (ra.pos > rb.pos) std::swap(ra, rb);
  auto at = [&](size_t slot) { return d.bytes.begin() + static_cast<std::ptrdiff_t>(slot * kSlot); };
  const std::vector<uint8_t> setA(at(ra.first), at(ra.pos + 1)), setB(at(rb.first), at(rb.pos + 1));
  const size_t spc = m.SlotsPerCluster(), used = UsedSlots(d.bytes);
  const size_t ka = ra.first / spc, kb = rb.first / spc;
  Impl::DirChange c = m.Change(d);
  // Both in one cluster (or in the root directory): one write.
  if (d.cluster == 0 || ka == rb.pos / spc) {
    std::vector<uint8_t> next = setB;
    next.insert(next.end(), at(ra.pos + 1), at(rb.first));
    next.insert(next.end(), setA.begin(), setA.end());
    std::copy(next.begin(), next.end(), c.dir.bytes.begin() + static_cast<std::ptrdiff_t>(ra.first * kSlot));
    return m.Commit(c);
  }
  // Entries [from, ...) laid out again with the part of the entry holding
  // slot `pos` from `first` on replaced (or, with `after`, followed) by `set`.
  auto tailWith = [&](size_t from, std::vector<std::pair<Impl::Rec, const std::vector<uint8_t>*>> edits,
                      bool after) {
    std::vector<Impl::Unit> units = Impl::UnitsIn(d.bytes, from, used), out;
    for (Impl::Unit& u : units) {
      const Impl::Unit* extra = nullptr;
      Impl::Unit added{0, {}};
      for (const auto& [r, set] : edits) {
        if (r.pos < u.first || r.pos >= u.first + u.slots.size() / kSlot) continue;
        if (after) {
          added.slots = *set;
          extra = &added;
        } else {
          u.slots.resize((r.first - u.first) * kSlot);
          u.slots.insert(u.slots.end(), set->begin(), set->end());
        }
      }
      out.push_back(std::move(u));
      if (extra) out.push_back(*extra);
    }
    std::vector<uint8_t> tail;
    m.Pack(out, &tail, 0);
    return tail;
  };
  // Both past the first cluster: the clusters from the first one's on, by
  // copy on write.
  if (ka >= 1 && Impl::StartsEntry(d.bytes, ka * spc)) {
    if (!m.ReplaceTail(&c, ka, tailWith(ka * spc, {{ra, &setB}, {rb, &setA}}, false))) {
      m.Rollback();
      return kOutOfMemory;
    }
    return m.Commit(c);
  }
  // The first in the directory's first cluster, which is only ever written
  // in place: it leaves that cluster (one write) and takes the second's place
  // in the copied clusters (the FAT write) - the two are in flight one at a
  // time, never both, never one twice.
  if (kb < 1 || !Impl::StartsEntry(d.bytes, kb * spc)) return kNoEmptyEntry;
  bool between = false;
  for (size_t i = ra.pos + 1; i < rb.first; ++i) between |= d.bytes[i * kSlot] != 0xE5;
  Impl::MarkDeleted(&c.dir.bytes, ra.first, ra.pos + 1);
  if (!between) {
    // Neighbours: the first goes right after the second.
    if (!m.ReplaceTail(&c, kb, tailWith(kb * spc, {{rb, &setA}}, true))) {
      m.Rollback();
      return kOutOfMemory;
    }
    return m.Commit(c);
  }
  // Else the second then takes the first's place in the first cluster.
  Impl::Dir second = c.dir;
  const Impl::Rec hole{ra.first, ra.pos};
  if (setB.size() <= setA.size()) {
    std::memcpy(&second.bytes[(ra.pos + 1) * kSlot - setB.size()], setB.data(), setB.size());
  } else if (!m.Absorb(&second, 0, hole, setB)) {
    return kNoEmptyEntry;
  }
  if (!m.ReplaceTail(&c, kb, tailWith(kb * spc, {{rb, &setA}}, false))) {
    m.Rollback();
    return kOutOfMemory;
  }
  if (int e = m.Commit(c)) return e;
  Impl::DirChange c2 = m.Change(c.dir);
  std::copy(second.bytes.begin(), second.bytes.begin() + static_cast<std::ptrdiff_t>(spc * kSlot),
            c2.dir.bytes.begin());
  return m.Commit(c2);
}

uint64_t FatVolume::LinksFollowed() const { return d_->linksFollowed; }

uint32_t FatVolume::PhysicalBlocks() const {
  return static_cast<uint32_t>((d_->imageBytes + kBlockSize - 1) / kBlockSize);
}

int FatVolume::ReadBlock(uint32_t block, uint8_t* out) const {
  const uint64_t off = uint64_t{block} * kBlockSize;
  if (off >= d_->imageBytes) return kInvalidBlock;
  const size_t n = static_cast<size_t>(std::min<uint64_t>(kBlockSize, d_->imageBytes - off));
  std::memset(out, 0, kBlockSize);
  return PRead(d_->fd, out, n, off) ? 0 : kInternal;
}

void FatVolume::Flush() {
  if (d_->fd >= 0) fsync(d_->fd);
}

void FatVolume::SetWriteFaults(WriteFaults* faults) { d_->faults = faults; }

bool WriteFaults::Admit() const { return writes_ < failAfter; }

void WriteFaults::Done() {
  const uint64_t n = ++writes_;
  if (n == killAfter) kill(getpid(), SIGKILL);
}

}  // namespace emu
