// FAT engine of the emulated player: volume layout, FAT, directories, files.
//
// How the engine keeps the image consistent: the FAT lives in memory and is
// the only thing that can be "pending".  An operation first checks every
// precondition and allocates clusters in the in-memory FAT; when anything
// fails it drops those allocations (the FAT in memory goes back to what is on
// disk) and the image is untouched.  When all is well it writes file data
// and new directory clusters, then the changed FAT sectors (into every FAT
// copy), then the directory.  A crash in between can at worst leave clusters
// that no entry uses, never an entry that points at free clusters.
//
// Directories are read and written whole.  Their order is the player's play
// order, so new entries are appended after the last used slot; deleted slots
// stay in place (0xE5) until a directory runs out of room, then it is
// compacted before it grows (sub-directories) or refuses (root).
#include "fat_volume.h"

#include <fcntl.h>
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
constexpr size_t kMaxDirSlots = 65536;  // FAT's limit for one directory

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

  struct Writer {
    bool active = false;
    Dir dir;
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

  // Every write to the open image goes through here.
  bool Write(const void* buf, size_t len, uint64_t off) {
    ++changes;
    return PWrite(fd, buf, len, off);
  }

  uint64_t ClusterOffset(uint32_t c) const {
    return (uint64_t{g.dataStart()} + uint64_t{c - 2} * g.spc) * kSector;
  }

  bool FlushFat() {
    for (uint32_t s = 0; s < g.fatSectors; ++s) {
      const size_t off = size_t{s} * kSector;
      if (std::memcmp(&fat[off], &fatDisk[off], kSector) == 0) continue;
      for (uint32_t k = 0; k < g.numFats; ++k)
        if (!Write(&fat[off], kSector, (uint64_t{g.reserved} + k * g.fatSectors + s) * kSector)) return false;
      std::memcpy(&fatDisk[off], &fat[off], kSector);
    }
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

  int StoreDir(const Dir& d) {
    if (d.cluster == 0)
      return Write(d.bytes.data(), d.bytes.size(), uint64_t{g.rootStart()} * kSector) ? 0 : kInternal;
    const size_t cb = g.clusterBytes();
    for (size_t i = 0; i < d.chain.size(); ++i)
      if (!Write(&d.bytes[i * cb], cb, ClusterOffset(d.chain[i]))) return kInternal;
    return 0;
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

  // Puts `used` (the directory's in-use slots) into `d`: compacts deleted
  // slots away when it does not fit, then grows a sub-directory by zeroed
  // clusters (in the in-memory FAT) or refuses for the root.
  int Fit(Dir* d, std::vector<uint8_t> used) {
    size_t cap = d->bytes.size();
    if (used.size() > cap) {
      std::vector<uint8_t> packed;
      packed.reserve(used.size());
      for (size_t i = 0; i < used.size(); i += kSlot)
        if (used[i] != 0xE5) packed.insert(packed.end(), used.begin() + i, used.begin() + i + kSlot);
      used.swap(packed);
    }
    if (used.size() > cap) {
      if (d->cluster == 0 || used.size() > kMaxDirSlots * kSlot) return kNoEmptyEntry;
      const size_t cb = g.clusterBytes();
      const size_t extra = (used.size() - cap + cb - 1) / cb;
      if (!Alloc(static_cast<uint32_t>(extra), &d->chain)) return kOutOfMemory;
      cap += extra * cb;
    }
    used.resize(cap, 0);
    d->bytes.swap(used);
    return 0;
  }

  static std::vector<uint8_t> Used(const Dir& d) {
    return std::vector<uint8_t>(d.bytes.begin(), d.bytes.begin() + UsedSlots(d.bytes) * kSlot);
  }

  // Replaces the set of `r` by `set` (rename), keeping the order.
  int ReplaceSet(Dir* d, const Rec& r, const std::vector<uint8_t>& set) {
    std::vector<uint8_t> used = Used(*d);
    std::vector<uint8_t> next(used.begin(), used.begin() + r.first * kSlot);
    next.insert(next.end(), set.begin(), set.end());
    next.insert(next.end(), used.begin() + (r.pos + 1) * kSlot, used.end());
    return Fit(d, std::move(next));
  }

  // Rename of the entry `r` of the current directory `d`.
  int RenameRec(Dir* d, const Rec& r, const uint8_t* set, size_t slots, bool keepStamps) {
    fatnames::ParsedSet p;
    if (int e = fatnames::ParseEntrySet(set, slots, &p)) return e;
    const uint8_t* old = SlotOf(*d, r);
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
    if (int e = CheckNames(*d, &p, r.pos)) return e;
    if (int e = ReplaceSet(d, r, fatnames::BuildEntrySet(p.shortSlot, p.longName))) {
      Rollback();
      return e;
    }
    if (!FlushFat()) return kInternal;
    return StoreDir(*d);
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
  std::vector<uint8_t> used = Impl::Used(d);
  const std::vector<uint8_t> set = fatnames::BuildEntrySet(p.shortSlot, p.longName);
  used.insert(used.end(), set.begin(), set.end());
  if (int e = m.Fit(&d, std::move(used))) {
    m.Rollback();
    return e;
  }
  // The new directory: "." (itself) and ".." (its parent, 0 for the root).
  std::vector<uint8_t> nd(m.g.clusterBytes(), 0);
  std::memcpy(&nd[0], p.shortSlot, kSlot);
  std::memcpy(&nd[0], ".          ", 11);
  std::memcpy(&nd[kSlot], p.shortSlot, kSlot);
  std::memcpy(&nd[kSlot], "..         ", 11);
  SetSlotCluster(&nd[kSlot], m.CurCluster());
  if (!m.Write(nd.data(), nd.size(), m.ClusterOffset(chain[0])) || !m.FlushFat()) return kInternal;
  if (int e = m.StoreDir(d)) return e;
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
  for (size_t i = r.first; i <= r.pos; ++i) d.bytes[i * kSlot] = 0xE5;
  if (int e = m.StoreDir(d)) return e;
  m.FreeChain(child.chain);
  return m.FlushFat() ? 0 : kInternal;
}

int FatVolume::RenameDir(uint16_t key, const uint8_t* entrySet, size_t slots) {
  Impl& m = *d_;
  m.AbortWrite();
  if (key == 0) return kRootDir;
  Impl::Dir d;
  if (int e = m.LoadDir(m.CurCluster(), &d)) return e;
  Impl::Rec r;
  if (int e = m.FindDir(d, key, &r)) return e;
  return m.RenameRec(&d, r, entrySet, slots, true);
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
  Impl::Writer w;
  if (int e = m.LoadDir(m.CurCluster(), &w.dir)) return e;
  if (int e = m.CheckNames(w.dir, &p, SIZE_MAX)) return e;
  int files = 0;
  for (const auto& r : Impl::Records(w.dir)) files += IsFileAttr(Impl::SlotOf(w.dir, r)[11]);
  const size_t cb = m.g.clusterBytes();
  if (!m.Alloc(static_cast<uint32_t>((uint64_t{announced} + cb - 1) / cb), &w.chain)) return kOutOfMemory;
  std::vector<uint8_t> used = Impl::Used(w.dir);
  const std::vector<uint8_t> set = fatnames::BuildEntrySet(p.shortSlot, p.longName);
  used.insert(used.end(), set.begin(), set.end());
  if (int e = m.Fit(&w.dir, std::move(used))) {
    m.Rollback();
    return e;
  }
  w.shortPos = UsedSlots(w.dir.bytes) - 1;
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
  uint8_t* s = &m.w.dir.bytes[m.w.shortPos * kSlot];
  SetSlotCluster(s, keep ? m.w.chain[0] : 0);
  Put32(s + 28, static_cast<uint32_t>(m.w.written));
  int e = m.FlushFat() ? m.StoreDir(m.w.dir) : kInternal;
  m.w = Impl::Writer();
  return e;
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
  for (size_t i = r.first; i <= r.pos; ++i) d.bytes[i * kSlot] = 0xE5;
  if (int e = m.StoreDir(d)) return e;
  if (chainOk) m.FreeChain(chain);  // a broken chain is left for fsck rather than guessed at
  return m.FlushFat() ? 0 : kInternal;
}

int FatVolume::Rename(int index, const uint8_t* entrySet, size_t slots, bool keepStamps) {
  Impl& m = *d_;
  m.AbortWrite();
  Impl::Dir d;
  if (int e = m.LoadDir(m.CurCluster(), &d)) return e;
  Impl::Rec r;
  if (int e = m.FindFile(d, index, &r)) return e;
  return m.RenameRec(&d, r, entrySet, slots, keepStamps);
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
  std::vector<uint8_t> next(at(rb.first), at(rb.pos + 1));
  next.insert(next.end(), at(ra.pos + 1), at(rb.first));
  next.insert(next.end(), at(ra.first), at(ra.pos + 1));
  std::copy(next.begin(), next.end(), at(ra.first));
  return m.StoreDir(d);
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

}  // namespace emu
