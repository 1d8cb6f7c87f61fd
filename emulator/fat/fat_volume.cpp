// FAT engine of the emulated player: the operations on a volume.  Its parts,
// one concern to a file: fat_io (the image file), fat_boot
// (boot sector and layout), fat_table (the allocation table), fat_dir
// (directories, their layout for crash consistency and the writes of a
// change), fat_names (entry sets, long names, aliases).
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
// before it is written, so no stale bytes ever read as entries.  How
// directories are laid out so that each change is one such sequence (entry
// sets within a cluster, copy on write): fat_dir.cpp.
#include "fat_volume.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <set>

#include "fat_boot.h"
#include "fat_dir.h"
#include "fat_io.h"
#include "fat_names.h"
#include "fat_table.h"

namespace emu {

using fat::Get16;
using fat::Get32;
using fat::IsDirAttr;
using fat::IsDotEntry;
using fat::IsFileAttr;
using fat::kAttrDir;
using fat::kAttrLfn;
using fat::kAttrVolume;
using fat::kSector;
using fat::kSlot;
using fat::Put32;
using fat::SetSlotCluster;
using fat::SlotCluster;
using fat::UsedSlots;

struct FatVolume::Impl {
    std::string path;
    fat::ImageFile image;
    fat::Geometry g;
    fat::FatTable table{g};
    fat::Directories dirs{image, g, table};

    // What was read before may be stale once this changes: bumped by every
    // write to the image and every time the FAT in memory is loaded or put
    // back.
    uint64_t Changes() const { return image.Writes() + table.Generation(); }

    // Where the last read of a file stopped: the cluster that holds byte
    // `at` of file `index` of directory `dir`, valid while Changes() is
    // what `changes` says.  The host reads a file from start to end in 16 KiB steps;
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

    // The file of BeginWrite: its entry planned in the current directory.
    struct Writer {
        bool active = false;
        fat::DirChange change;
        size_t shortPos = 0;
        std::vector<uint32_t> chain;
        uint64_t written = 0;
    } w;

    uint32_t CurCluster() const { return cwd.empty() ? 0 : cwd.back().cluster; }

    // Reads the layout and the FAT from the image; the current directory is
    // the root again.
    int Load(std::string *err)
    {
        if (!image.UpdateSize()) {
            *err = std::strerror(errno);
            return kInternal;
        }
        if (int e = fat::ReadBootSector(image, &g, err))
            return e;
        if (!table.Load(image)) {
            *err = "cannot read the FAT";
            return kInternal;
        }
        cwd.clear();
        return 0;
    }

    // Rename of the entry `r` of the current directory `d`.
    int RenameRec(const fat::Dir &d, const fat::Rec &r, const uint8_t *set, size_t slots, bool keepStamps)
    {
        fatnames::ParsedSet p;
        if (int e = fatnames::ParseEntrySet(set, slots, &p))
            return e;
        const uint8_t *old = fat::SlotOf(d, r);
        uint8_t fresh[32];
        std::memcpy(fresh, keepStamps ? old : p.shortSlot, 32);
        std::memcpy(fresh, p.shortSlot, 11);
        // A file stays a file, a directory stays a directory; where its data is
        // and how long it is are the medium's business, not the host's.
        fresh[11] = static_cast<uint8_t>((fresh[11] & ~(kAttrDir | kAttrVolume)) | (old[11] & kAttrDir));
        if (fresh[11] == kAttrLfn)
            fresh[11] = old[11];
        std::memcpy(fresh + 20, old + 20, 2);
        std::memcpy(fresh + 26, old + 26, 6);
        std::memcpy(p.shortSlot, fresh, 32);
        if (int e = fat::CheckNames(d, &p, r.pos))
            return e;
        fat::DirChange c = dirs.Change(d);
        if (int e = dirs.PlanRename(&c, r, fatnames::BuildEntrySet(p.shortSlot, p.longName))) {
            table.Rollback();
            return e;
        }
        return dirs.Commit(c);
    }

    void AbortWrite()
    {
        if (!w.active)
            return;
        table.Rollback();
        w = Writer();
    }

    // A change of a file or a sub-directory starts by dropping a write in
    // progress; then the current directory is read and the file with index
    // `index` found in it,
    int FindFile(int index, fat::Dir *d, fat::Rec *r)
    {
        AbortWrite();
        if (int e = dirs.Load(CurCluster(), d))
            return e;
        return fat::FindFile(*d, index, r);
    }
    // or the sub-directory with key `key` (the root's, 0, is kRootDir).
    int FindDir(uint16_t key, fat::Dir *d, fat::Rec *r)
    {
        AbortWrite();
        if (key == 0)
            return kRootDir;
        if (int e = dirs.Load(CurCluster(), d))
            return e;
        return fat::FindDir(*d, key, r);
    }

    // The entries of the current directory whose attribute byte `wanted`
    // takes, decoded, in directory order.
    std::vector<DirEntryInfo> Entries(bool (*wanted)(uint8_t attr)) const
    {
        std::vector<DirEntryInfo> out;
        fat::Dir d;
        if (dirs.Load(CurCluster(), &d) != 0)
            return out;
        for (const auto &r : fat::Records(d))
            if (wanted(fat::SlotOf(d, r)[11]))
                out.push_back(fat::Describe(d, r));
        return out;
    }

    int CountFiles(uint32_t cluster, std::set<uint32_t> *seen) const
    {
        fat::Dir d;
        if (dirs.Load(cluster, &d) != 0)
            return 0;
        int n = 0;
        for (const fat::Rec &r : fat::Records(d)) {
            const uint8_t *s = fat::SlotOf(d, r);
            if (IsFileAttr(s[11])) {
                ++n;
            } else if (IsDirAttr(s[11]) && !IsDotEntry(s)) {
                const uint32_t c = SlotCluster(s);
                if (c >= 2 && seen->insert(c).second)
                    n += CountFiles(c, seen);
            }
        }
        return n;
    }
};

// ---------------------------------------------------------------------------

FatVolume::FatVolume() : d_(new Impl) {}
FatVolume::~FatVolume()
{
    if (d_)
        d_->AbortWrite();
}

bool FatVolume::Format(const std::string &image, uint64_t bytes, std::string *err, const FormatOptions &opt)
{
    std::string dummy;
    if (err == nullptr)
        err = &dummy;
    fat::Geometry g;
    bytes -= bytes % kSector;
    if (!fat::PlanLayout(bytes, opt.rootEntries, &g, err))
        return false;
    const int fd = open(image.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        *err = image + ": " + std::strerror(errno);
        return false;
    }
    const bool ok = fat::WriteFreshFs(fd, g, bytes, opt.lowLevel, opt.volumeId ? opt.volumeId : fat::ClockVolumeId());
    if (!ok)
        *err = image + ": " + std::strerror(errno);
    close(fd);
    return ok;
}

std::unique_ptr<FatVolume> FatVolume::Open(const std::string &image, std::string *err)
{
    std::string dummy;
    if (err == nullptr)
        err = &dummy;
    const int fd = open(image.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) {
        *err = image + ": " + std::strerror(errno);
        return nullptr;
    }
    std::unique_ptr<FatVolume> v(new FatVolume);
    v->d_->path = image;
    v->d_->image.Adopt(fd);
    if (v->d_->Load(err) != 0) {
        *err = image + ": " + *err;
        return nullptr;
    }
    return v;
}

int FatVolume::Reformat(bool lowLevel)
{
    Impl &m = *d_;
    m.AbortWrite();
    fat::Geometry g;
    std::string err;
    const uint64_t size = m.image.Size();
    if (!fat::PlanLayout(size - size % kSector, m.g.rootEntries, &g, &err))
        return kInvalidParam;
    if (!fat::WriteFreshFs(m.image.Fd(), g, size, lowLevel, fat::ClockVolumeId()))
        return kInternal;
    const int e = m.Load(&err);
    return e ? kInternal : 0;
}

std::vector<uint8_t> FatVolume::CurrentSlots() const
{
    fat::Dir d;
    if (d_->dirs.Load(d_->CurCluster(), &d) != 0)
        return {};
    return fat::Used(d);
}

int FatVolume::FileCount() const
{
    fat::Dir d;
    if (d_->dirs.Load(d_->CurCluster(), &d) != 0)
        return 0;
    int n = 0;
    for (const auto &r : fat::Records(d))
        n += IsFileAttr(fat::SlotOf(d, r)[11]);
    return n;
}

std::vector<DirEntryInfo> FatVolume::Files() const { return d_->Entries(IsFileAttr); }

std::vector<DirEntryInfo> FatVolume::Directories() const { return d_->Entries(IsDirAttr); }

uint32_t FatVolume::TotalBlocks() const
{
    return static_cast<uint32_t>(uint64_t{d_->g.clusters} * d_->g.clusterBytes() / kBlockSize);
}

uint32_t FatVolume::UsedBlocks() const
{
    const uint32_t used = d_->g.clusters - d_->table.FreeCount();
    return static_cast<uint32_t>(uint64_t{used} * d_->g.clusterBytes() / kBlockSize);
}

uint64_t FatVolume::FreeBytes() const { return uint64_t{d_->table.FreeCount()} * d_->g.clusterBytes(); }

int FatVolume::FatType() const { return d_->g.type; }

MediumInfo FatVolume::Info() const
{
    const Impl &m = *d_;
    MediumInfo i;
    std::set<uint32_t> seen;
    i.totalFiles = static_cast<uint16_t>(std::min(m.CountFiles(0, &seen), 0xFFFF));
    i.totalBlocks = static_cast<uint16_t>(std::min<uint32_t>(TotalBlocks(), 0xFFFF));
    i.usedBlocks = static_cast<uint16_t>(std::min<uint32_t>(UsedBlocks(), 0xFFFF));
    i.physicalBlocks = static_cast<uint16_t>(std::min<uint32_t>(PhysicalBlocks(), 0xFFFF));
    i.badBlocks = static_cast<uint16_t>(m.table.BadCount());
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

std::vector<uint8_t> FatVolume::CurrentPathEntries() const
{
    std::vector<uint8_t> out;
    for (const auto &c : d_->cwd)
        out.insert(out.end(), c.slots.begin(), c.slots.end());
    return out;
}

bool FatVolume::AtRoot() const { return d_->cwd.empty(); }

int FatVolume::ChangeDir(uint16_t key)
{
    Impl &m = *d_;
    m.AbortWrite();
    if (key == 0) {
        m.cwd.clear();
        return 0;
    }
    fat::Dir d;
    if (int e = m.dirs.Load(m.CurCluster(), &d))
        return e;
    for (const auto &r : fat::Records(d)) {
        const uint8_t *s = fat::SlotOf(d, r);
        if (!IsDirAttr(s[11]) || (SlotCluster(s) & 0xFFFF) != key)
            continue;
        if (IsDotEntry(s)) {
            if (s[1] == '.' && !m.cwd.empty())
                m.cwd.pop_back();  // ".."; "." stays here
            return 0;
        }
        m.cwd.push_back({SlotCluster(s), std::vector<uint8_t>(d.bytes.begin() + r.first * kSlot,
                                                              d.bytes.begin() + (r.pos + 1) * kSlot)});
        return 0;
    }
    return kNotFound;
}

int FatVolume::MakeDir(const uint8_t *entrySet, size_t slots, uint16_t *newKey)
{
    Impl &m = *d_;
    m.AbortWrite();
    fatnames::ParsedSet p;
    if (int e = fatnames::ParseEntrySet(entrySet, slots, &p))
        return e;
    p.shortSlot[11] = kAttrDir;
    Put32(p.shortSlot + 28, 0);
    fat::Dir d;
    if (int e = m.dirs.Load(m.CurCluster(), &d))
        return e;
    if (int e = fat::CheckNames(d, &p, SIZE_MAX))
        return e;
    std::vector<uint32_t> chain;
    if (!m.table.Alloc(1, &chain))
        return kOutOfMemory;
    SetSlotCluster(p.shortSlot, chain[0]);
    fat::DirChange c = m.dirs.Change(d);
    c.fatFirst = true;
    size_t at;
    if (int e = m.dirs.PlanAppend(&c, fatnames::BuildEntrySet(p.shortSlot, p.longName), &at)) {
        m.table.Rollback();
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
    if (!m.image.Write(nd.data(), nd.size(), m.g.clusterOffset(chain[0]))) {
        m.table.Rollback();
        return kInternal;
    }
    if (int e = m.dirs.Commit(c))
        return e;
    if (newKey)
        *newKey = static_cast<uint16_t>(chain[0] & 0xFFFF);
    return 0;
}

int FatVolume::RemoveDir(uint16_t key)
{
    Impl &m = *d_;
    fat::Dir d;
    fat::Rec r;
    if (int e = m.FindDir(key, &d, &r))
        return e == kNotFound && key == (m.CurCluster() & 0xFFFF) ? kNotPermitted : e;
    fat::Dir child;
    if (int e = m.dirs.Load(SlotCluster(fat::SlotOf(d, r)), &child))
        return e;
    const size_t used = UsedSlots(child.bytes);
    for (size_t i = 0; i < used; ++i) {
        const uint8_t *s = &child.bytes[i * kSlot];
        if (s[0] != 0xE5 && !IsDotEntry(s))
            return kNotPermitted;  // not empty
    }
    fat::DirChange c = m.dirs.Change(d);
    fat::MarkDeleted(&c.dir.bytes, r.first, r.pos + 1);
    m.table.FreeChain(child.chain);
    return m.dirs.Commit(c);
}

int FatVolume::RenameDir(uint16_t key, const uint8_t *entrySet, size_t slots)
{
    Impl &m = *d_;
    fat::Dir d;
    fat::Rec r;
    if (int e = m.FindDir(key, &d, &r))
        return e;
    return m.RenameRec(d, r, entrySet, slots, true);
}

int FatVolume::CreateFile(const uint8_t *entrySet, size_t slots, const uint8_t *data, uint64_t size, int *index)
{
    if (size > 0xFFFFFFFFull)
        return kInvalidParam;
    std::vector<uint8_t> set(entrySet, entrySet + slots * kSlot);
    if (slots > 0)
        Put32(&set[(slots - 1) * kSlot + 28], static_cast<uint32_t>(size));
    if (int e = BeginWrite(set.data(), slots, index))
        return e;
    if (int e = WriteData(data, static_cast<size_t>(size))) {
        AbortWrite();
        return e;
    }
    return CommitWrite();
}

int FatVolume::BeginWrite(const uint8_t *entrySet, size_t slots, int *index)
{
    Impl &m = *d_;
    if (m.w.active)
        return kNotPermitted;
    fatnames::ParsedSet p;
    if (int e = fatnames::ParseEntrySet(entrySet, slots, &p))
        return e;
    p.shortSlot[11] &= static_cast<uint8_t>(~(kAttrDir | kAttrVolume));
    const uint32_t announced = Get32(p.shortSlot + 28);
    fat::Dir d;
    if (int e = m.dirs.Load(m.CurCluster(), &d))
        return e;
    if (int e = fat::CheckNames(d, &p, SIZE_MAX))
        return e;
    int files = 0;
    for (const auto &r : fat::Records(d))
        files += IsFileAttr(fat::SlotOf(d, r)[11]);
    Impl::Writer w;
    const size_t cb = m.g.clusterBytes();
    if (!m.table.Alloc(static_cast<uint32_t>((uint64_t{announced} + cb - 1) / cb), &w.chain))
        return kOutOfMemory;
    w.change = m.dirs.Change(d);
    w.change.fatFirst = true;
    const std::vector<uint8_t> set = fatnames::BuildEntrySet(p.shortSlot, p.longName);
    size_t at;
    if (int e = m.dirs.PlanAppend(&w.change, set, &at)) {
        m.table.Rollback();
        return e;
    }
    w.shortPos = at + set.size() / kSlot - 1;
    w.active = true;
    m.w = std::move(w);
    if (index)
        *index = files;
    return 0;
}

int FatVolume::WriteData(const uint8_t *data, size_t len)
{
    Impl &m = *d_;
    if (!m.w.active)
        return kInvalidParam;
    if (m.w.written + len > 0xFFFFFFFFull)
        return kInvalidParam;
    const size_t cb = m.g.clusterBytes();
    const uint64_t need = (m.w.written + len + cb - 1) / cb;
    if (need > m.w.chain.size() && !m.table.Alloc(static_cast<uint32_t>(need - m.w.chain.size()), &m.w.chain))
        return kOutOfMemory;
    while (len > 0) {
        const size_t ci = static_cast<size_t>(m.w.written / cb), off = static_cast<size_t>(m.w.written % cb);
        const size_t n = std::min(len, cb - off);
        if (!m.image.Write(data, n, m.g.clusterOffset(m.w.chain[ci]) + off))
            return kInternal;
        data += n;
        len -= n;
        m.w.written += n;
    }
    return 0;
}

int FatVolume::CommitWrite()
{
    Impl &m = *d_;
    if (!m.w.active)
        return kInvalidParam;
    const size_t cb = m.g.clusterBytes();
    const size_t keep = static_cast<size_t>((m.w.written + cb - 1) / cb);
    if (m.w.chain.size() > keep) {
        m.table.FreeChain(std::vector<uint32_t>(m.w.chain.begin() + keep, m.w.chain.end()));
        m.w.chain.resize(keep);
        if (keep > 0)
            m.table.Set(m.w.chain.back(), m.table.Eoc());
    }
    uint8_t *s = &m.w.change.dir.bytes[m.w.shortPos * kSlot];
    SetSlotCluster(s, keep ? m.w.chain[0] : 0);
    Put32(s + 28, static_cast<uint32_t>(m.w.written));
    fat::DirChange change = std::move(m.w.change);
    m.w = Impl::Writer();
    return m.dirs.Commit(change);
}

void FatVolume::AbortWrite() { d_->AbortWrite(); }
bool FatVolume::Writing() const { return d_->w.active; }

int FatVolume::ReadAt(int index, uint64_t offset, uint8_t *out, size_t len, size_t *got) const
{
    const Impl &m = *d_;
    Impl::ReadCursor &c = m.cursor;
    *got = 0;
    if (c.changes != m.Changes() || c.dir != m.CurCluster() || c.index != index) {
        fat::Dir d;
        if (int e = m.dirs.Load(m.CurCluster(), &d))
            return e;
        fat::Rec r;
        if (int e = fat::FindFile(d, index, &r))
            return e;
        const uint8_t *s = fat::SlotOf(d, r);
        c = Impl::ReadCursor{m.Changes(), m.CurCluster(), index, SlotCluster(s), Get32(s + 28), 0, SlotCluster(s)};
    }
    if (offset >= c.size)
        return 0;
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
            const uint32_t next = m.table.Follow(c.cluster);
            if (next < 2 || next > m.table.LastCluster()) {
                c.changes = UINT64_MAX;
                return kInternal;
            }
            c.cluster = next;
            c.at += cb;
        }
        if (c.cluster < 2 || c.cluster > m.table.LastCluster()) {
            c.changes = UINT64_MAX;
            return kInternal;
        }
        const size_t off = static_cast<size_t>(offset - c.at);
        const size_t n = std::min(len, cb - off);
        if (!m.image.Read(out, n, m.g.clusterOffset(c.cluster) + off))
            return kInternal;
        out += n;
        len -= n;
        offset += n;
        *got += n;
    }
    return 0;
}

int FatVolume::ReadFile(int index, std::vector<uint8_t> *out) const
{
    out->clear();
    std::vector<DirEntryInfo> files = Files();
    if (index < 0 || static_cast<size_t>(index) >= files.size())
        return kFileNotExist;
    out->resize(files[static_cast<size_t>(index)].size);
    size_t got = 0;
    const int e = ReadAt(index, 0, out->data(), out->size(), &got);
    if (e != 0 || got != out->size()) {
        out->clear();
        return e ? e : kInternal;
    }
    return 0;
}

int FatVolume::Delete(int index)
{
    Impl &m = *d_;
    fat::Dir d;
    fat::Rec r;
    if (int e = m.FindFile(index, &d, &r))
        return e;
    std::vector<uint32_t> chain;
    const bool chainOk = m.table.Chain(SlotCluster(fat::SlotOf(d, r)), &chain);
    fat::DirChange c = m.dirs.Change(d);
    fat::MarkDeleted(&c.dir.bytes, r.first, r.pos + 1);
    if (chainOk)
        m.table.FreeChain(chain);  // a broken chain is left for fsck rather than guessed at
    return m.dirs.Commit(c);
}

int FatVolume::Rename(int index, const uint8_t *entrySet, size_t slots, bool keepStamps)
{
    Impl &m = *d_;
    fat::Dir d;
    fat::Rec r;
    if (int e = m.FindFile(index, &d, &r))
        return e;
    return m.RenameRec(d, r, entrySet, slots, keepStamps);
}

int FatVolume::Swap(int a, int b)
{
    Impl &m = *d_;
    fat::Dir d;
    fat::Rec ra, rb;
    if (int e = m.FindFile(a, &d, &ra))
        return e;
    if (int e = fat::FindFile(d, b, &rb))
        return e;
    if (ra.pos == rb.pos)
        return 0;
    if (ra.pos > rb.pos)
        std::swap(ra, rb);
    auto at = [&](size_t slot) { return d.bytes.begin() + static_cast<std::ptrdiff_t>(slot * kSlot); };
    const std::vector<uint8_t> setA(at(ra.first), at(ra.pos + 1)), setB(at(rb.first), at(rb.pos + 1));
    const size_t spc = m.dirs.SlotsPerCluster(), used = UsedSlots(d.bytes);
    const size_t ka = ra.first / spc, kb = rb.first / spc;
    fat::DirChange c = m.dirs.Change(d);
    // Both in one cluster (or in the root directory): one write.
    if (d.cluster == 0 || ka == rb.pos / spc) {
        std::vector<uint8_t> next = setB;
        next.insert(next.end(), at(ra.pos + 1), at(rb.first));
        next.insert(next.end(), setA.begin(), setA.end());
        std::copy(next.begin(), next.end(), c.dir.bytes.begin() + static_cast<std::ptrdiff_t>(ra.first * kSlot));
        return m.dirs.Commit(c);
    }
    // Entries [from, ...) laid out again with the part of the entry holding
    // slot `pos` from `first` on replaced (or, with `after`, followed) by `set`.
    auto tailWith = [&](size_t from, std::vector<std::pair<fat::Rec, const std::vector<uint8_t> *>> edits, bool after) {
        std::vector<fat::Unit> units = fat::UnitsIn(d.bytes, from, used), out;
        for (fat::Unit &u : units) {
            const fat::Unit *extra = nullptr;
            fat::Unit added{0, {}};
            for (const auto &[r, set] : edits) {
                if (r.pos < u.first || r.pos >= u.first + u.slots.size() / kSlot)
                    continue;
                if (after) {
                    added.slots = *set;
                    extra = &added;
                } else {
                    u.slots.resize((r.first - u.first) * kSlot);
                    u.slots.insert(u.slots.end(), set->begin(), set->end());
                }
            }
            out.push_back(std::move(u));
            if (extra)
                out.push_back(*extra);
        }
        std::vector<uint8_t> tail;
        m.dirs.Pack(out, &tail, 0);
        return tail;
    };
    // Both past the first cluster: the clusters from the first one's on, by
    // copy on write.
    if (ka >= 1 && fat::StartsEntry(d.bytes, ka * spc)) {
        if (!m.dirs.ReplaceTail(&c, ka, tailWith(ka * spc, {{ra, &setB}, {rb, &setA}}, false))) {
            m.table.Rollback();
            return kOutOfMemory;
        }
        return m.dirs.Commit(c);
    }
    // The first in the directory's first cluster, which is only ever written
    // in place: it leaves that cluster (one write) and takes the second's place
    // in the copied clusters (the FAT write) - the two are in flight one at a
    // time, never both, never one twice.
    if (kb < 1 || !fat::StartsEntry(d.bytes, kb * spc))
        return kNoEmptyEntry;
    bool between = false;
    for (size_t i = ra.pos + 1; i < rb.first; ++i)
        between |= d.bytes[i * kSlot] != 0xE5;
    fat::MarkDeleted(&c.dir.bytes, ra.first, ra.pos + 1);
    if (!between) {
        // Neighbours: the first goes right after the second.
        if (!m.dirs.ReplaceTail(&c, kb, tailWith(kb * spc, {{rb, &setA}}, true))) {
            m.table.Rollback();
            return kOutOfMemory;
        }
        return m.dirs.Commit(c);
    }
    // Else the second then takes the first's place in the first cluster.
    fat::Dir second = c.dir;
    const fat::Rec hole{ra.first, ra.pos};
    if (setB.size() <= setA.size()) {
        std::memcpy(&second.bytes[(ra.pos + 1) * kSlot - setB.size()], setB.data(), setB.size());
    } else if (!m.dirs.Absorb(&second, 0, hole, setB)) {
        return kNoEmptyEntry;
    }
    if (!m.dirs.ReplaceTail(&c, kb, tailWith(kb * spc, {{rb, &setA}}, false))) {
        m.table.Rollback();
        return kOutOfMemory;
    }
    if (int e = m.dirs.Commit(c))
        return e;
    fat::DirChange c2 = m.dirs.Change(c.dir);
    std::copy(second.bytes.begin(), second.bytes.begin() + static_cast<std::ptrdiff_t>(spc * kSlot),
              c2.dir.bytes.begin());
    return m.dirs.Commit(c2);
}

uint64_t FatVolume::LinksFollowed() const { return d_->table.LinksFollowed(); }

uint32_t FatVolume::PhysicalBlocks() const
{
    return static_cast<uint32_t>((d_->image.Size() + kBlockSize - 1) / kBlockSize);
}

int FatVolume::ReadBlock(uint32_t block, uint8_t *out) const
{
    const uint64_t off = uint64_t{block} * kBlockSize;
    if (off >= d_->image.Size())
        return kInvalidBlock;
    const size_t n = static_cast<size_t>(std::min<uint64_t>(kBlockSize, d_->image.Size() - off));
    std::memset(out, 0, kBlockSize);
    return d_->image.Read(out, n, off) ? 0 : kInternal;
}

void FatVolume::Flush() { d_->image.Sync(); }

void FatVolume::SetWriteFaults(WriteFaults *faults) { d_->image.SetFaults(faults); }

}  // namespace emu
