// Directories of the FAT engine: slots and entries, and changes planned in
// memory and written by Commit in the engine's order of writes (the top of
// fat_volume.cpp).
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
#include "fat_dir.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>

namespace emu {
namespace fat {

size_t UsedSlots(const std::vector<uint8_t> &bytes)
{
    size_t n = bytes.size() / kSlot;
    for (size_t i = 0; i < n; ++i)
        if (bytes[i * kSlot] == 0x00)
            return i;
    return n;
}

bool StartsEntry(const std::vector<uint8_t> &b, size_t i)
{
    if (i == 0)
        return true;
    const uint8_t *prev = &b[(i - 1) * kSlot];
    return prev[0] == 0x00 || prev[0] == 0xE5 || prev[11] != kAttrLfn;
}

void MarkDeleted(std::vector<uint8_t> *b, size_t from, size_t to)
{
    for (size_t i = from; i < to; ++i)
        (*b)[i * kSlot] = 0xE5;
}

std::vector<Unit> UnitsIn(const std::vector<uint8_t> &b, size_t from, size_t to)
{
    std::vector<Unit> out;
    Unit cur{0, {}};
    for (size_t i = from; i < to; ++i) {
        const uint8_t *s = &b[i * kSlot];
        if (s[0] == 0x00)
            break;
        if (s[0] == 0xE5) {
            if (!cur.slots.empty())
                out.push_back(std::move(cur));
            cur = Unit{0, {}};
            continue;
        }
        if (cur.slots.empty())
            cur.first = i;
        cur.slots.insert(cur.slots.end(), s, s + kSlot);
        if (s[11] != kAttrLfn) {
            out.push_back(std::move(cur));
            cur = Unit{0, {}};
        }
    }
    if (!cur.slots.empty())
        out.push_back(std::move(cur));
    return out;
}

std::vector<Rec> Records(const Dir &d)
{
    std::vector<Rec> out;
    const size_t used = UsedSlots(d.bytes);
    for (size_t i = 0; i < used; ++i) {
        const uint8_t *s = &d.bytes[i * kSlot];
        if (s[0] == 0xE5 || s[11] == kAttrLfn)
            continue;
        Rec r{i, i};
        fatnames::LongNameBefore(d.bytes.data(), i, &r.first);
        out.push_back(r);
    }
    return out;
}

std::vector<uint8_t> Used(const Dir &d)
{
    return std::vector<uint8_t>(d.bytes.begin(), d.bytes.begin() + UsedSlots(d.bytes) * kSlot);
}

DirEntryInfo Describe(const Dir &d, const Rec &r)
{
    const uint8_t *s = SlotOf(d, r);
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

int FindFile(const Dir &d, int index, Rec *out)
{
    if (index < 0)
        return kFileNotExist;
    int n = 0;
    for (const Rec &r : Records(d)) {
        if (!IsFileAttr(SlotOf(d, r)[11]))
            continue;
        if (n++ == index) {
            *out = r;
            return 0;
        }
    }
    return kFileNotExist;
}

int FindDir(const Dir &d, uint16_t key, Rec *out)
{
    for (const Rec &r : Records(d)) {
        const uint8_t *s = SlotOf(d, r);
        if (IsDirAttr(s[11]) && !IsDotEntry(s) && (SlotCluster(s) & 0xFFFF) == key) {
            *out = r;
            return 0;
        }
    }
    return kNotFound;
}

int CheckNames(const Dir &d, fatnames::ParsedSet *p, size_t self)
{
    const std::u16string shortText = fatnames::ShortText16(p->shortSlot);
    const std::u16string &name = p->longName.empty() ? shortText : p->longName;
    std::vector<std::string> taken;
    bool aliasClash = false;
    for (const Rec &r : Records(d)) {
        const uint8_t *s = SlotOf(d, r);
        if (r.pos == self || IsDotEntry(s) || (s[11] & kAttrVolume))
            continue;
        size_t first;
        const std::u16string otherLong = fatnames::LongNameBefore(d.bytes.data(), r.pos, &first);
        const std::u16string otherShort = fatnames::ShortText16(s);
        if (fatnames::SameName(name, otherShort) || (!otherLong.empty() && fatnames::SameName(name, otherLong)))
            return kFileExist;
        if (!otherLong.empty() && fatnames::SameName(shortText, otherLong))
            aliasClash = true;
        taken.emplace_back(reinterpret_cast<const char *>(s), 11);
    }
    if (p->longName.empty())
        return 0;  // its own name; clashes were caught above
    if (aliasClash)
        taken.emplace_back(reinterpret_cast<const char *>(p->shortSlot), 11);
    return fatnames::MakeUniqueAlias(p->shortSlot, taken) ? 0 : kNoEmptyEntry;
}

// ---- Changes ----------------------------------------------------------------

int Directories::Load(uint32_t cluster, Dir *d) const
{
    d->cluster = cluster;
    d->chain.clear();
    if (cluster == 0) {
        d->bytes.assign(size_t{g_.rootEntries} * kSlot, 0);
        return image_.Read(d->bytes.data(), d->bytes.size(), uint64_t{g_.rootStart()} * kSector) ? 0 : kInternal;
    }
    if (!table_.Chain(cluster, &d->chain) || d->chain.empty())
        return kInternal;
    const size_t cb = g_.clusterBytes();
    d->bytes.assign(d->chain.size() * cb, 0);
    for (size_t i = 0; i < d->chain.size(); ++i)
        if (!image_.Read(&d->bytes[i * cb], cb, g_.clusterOffset(d->chain[i])))
            return kInternal;
    return 0;
}

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
int Directories::Commit(DirChange &c)
{
    auto fail = [&] {
        table_.Rollback();
        return static_cast<int>(kInternal);
    };
    Dir &d = c.dir;
    table_.FreeChain(c.drop);
    if (d.cluster == 0) {
        if (c.fatFirst && !table_.Flush(image_))
            return fail();
        size_t first = 0, last = d.bytes.size();
        while (first < last && d.bytes[first] == c.disk[first])
            ++first;
        while (last > first && d.bytes[last - 1] == c.disk[last - 1])
            --last;
        if (first < last) {
            first -= first % kSector;
            last += (kSector - last % kSector) % kSector;
            if (!image_.Write(&d.bytes[first], last - first, uint64_t{g_.rootStart()} * kSector + first))
                return fail();
        }
        return !c.fatFirst && !table_.Flush(image_) ? fail() : 0;
    }
    const size_t cb = g_.clusterBytes();
    const bool grows = d.chain.size() > c.kept;
    if (!grows && c.fatFirst && !table_.Flush(image_))
        return fail();
    for (size_t i = 0; i < d.chain.size(); ++i) {
        if (i < c.kept && std::memcmp(&d.bytes[i * cb], &c.disk[i * cb], cb) == 0)
            continue;
        if (!image_.Write(&d.bytes[i * cb], cb, g_.clusterOffset(d.chain[i])))
            return fail();
    }
    return (grows || !c.fatFirst) && !table_.Flush(image_) ? fail() : 0;
}

size_t Directories::Pack(const std::vector<Unit> &units, std::vector<uint8_t> *b, size_t at) const
{
    const size_t spc = SlotsPerCluster();
    for (const Unit &u : units) {
        const size_t n = u.slots.size() / kSlot;
        const size_t start = n <= spc && at % spc + n > spc ? (at / spc + 1) * spc : at;
        const size_t need = (start + n + spc - 1) / spc * spc * kSlot;
        if (b->size() < need)
            b->resize(need, 0);
        MarkDeleted(b, at, start);
        std::memcpy(&(*b)[start * kSlot], u.slots.data(), u.slots.size());
        at = start + n;
    }
    return at;
}

bool Directories::Grow(DirChange *c)
{
    std::vector<uint32_t> chain = c->dir.chain;
    if (!table_.Alloc(1, &chain))
        return false;
    c->dir.chain.swap(chain);
    c->dir.bytes.resize(c->dir.bytes.size() + g_.clusterBytes(), 0);
    return true;
}

bool Directories::ReplaceTail(DirChange *c, size_t from, std::vector<uint8_t> tail)
{
    Dir &d = c->dir;
    const size_t cb = g_.clusterBytes();
    const size_t count = std::max<size_t>(1, (tail.size() + cb - 1) / cb);
    std::vector<uint32_t> fresh{d.chain[from - 1]};
    if (!table_.Alloc(static_cast<uint32_t>(count), &fresh))
        return false;
    for (size_t i = from; i < d.chain.size(); ++i)
        if (i < c->kept)
            c->drop.push_back(d.chain[i]);
        else
            table_.Set(d.chain[i], 0);  // a cluster this change had added
    d.chain.resize(from);
    d.chain.insert(d.chain.end(), fresh.begin() + 1, fresh.end());
    tail.resize(count * cb, 0);
    d.bytes.resize(from * cb);
    d.bytes.insert(d.bytes.end(), tail.begin(), tail.end());
    c->kept = std::min(c->kept, from);
    return true;
}

int Directories::PlanAppend(DirChange *c, const std::vector<uint8_t> &set, size_t *at)
{
    Dir &d = c->dir;
    const size_t n = set.size() / kSlot, used = UsedSlots(d.bytes), cap = d.bytes.size() / kSlot;
    auto put = [&](size_t pos) {
        std::memcpy(&d.bytes[pos * kSlot], set.data(), set.size());
        *at = pos;
        return 0;
    };
    if (d.cluster == 0) {
        if (used + n <= cap)
            return put(used);
        // Full: the deleted slots go and the entries close up (the root
        // directory is written in one piece).
        std::vector<uint8_t> packed;
        for (const Unit &u : UnitsIn(d.bytes, 0, used))
            packed.insert(packed.end(), u.slots.begin(), u.slots.end());
        if (packed.size() / kSlot + n > cap)
            return kNoEmptyEntry;
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
        if (tail.size() / g_.clusterBytes() < d.chain.size() && spc + end <= kMaxDirSlots &&
            ReplaceTail(c, 1, std::move(tail))) {
            *at = spc + end - n;
            return 0;
        }
    }
    // The directory grows by a cluster that starts with the set; the rest
    // of its last cluster is marked deleted.
    if (cap + n > kMaxDirSlots)
        return kNoEmptyEntry;
    if (!Grow(c))
        return kOutOfMemory;
    MarkDeleted(&d.bytes, used, cap);
    return put(cap);
}

bool Directories::Absorb(Dir *d, size_t k, const Rec &r, const std::vector<uint8_t> &set) const
{
    const size_t spc = SlotsPerCluster(), old = r.pos - r.first + 1, n = set.size() / kSlot;
    // Entries that run in from the cluster before or on into the next stay put.
    size_t lo = k * spc, hi = (k + 1) * spc;
    while (lo < r.first && !StartsEntry(d->bytes, lo))
        ++lo;
    while (hi > r.pos + 1 && hi < d->bytes.size() / kSlot && !StartsEntry(d->bytes, hi))
        --hi;
    std::vector<uint8_t> seq(d->bytes.begin() + lo * kSlot, d->bytes.begin() + r.first * kSlot);
    const size_t setAt = seq.size() / kSlot;
    seq.insert(seq.end(), set.begin(), set.end());
    seq.insert(seq.end(), d->bytes.begin() + (r.pos + 1) * kSlot, d->bytes.begin() + hi * kSlot);
    auto hole = [&](size_t i) { return seq[i * kSlot] == 0x00 || seq[i * kSlot] == 0xE5; };
    std::vector<bool> drop(seq.size() / kSlot, false);
    size_t missing = n - old;
    for (size_t i = setAt + n; i < drop.size() && missing; ++i)
        if (hole(i))
            drop[i] = true, --missing;
    for (size_t i = setAt; i-- > 0 && missing;)
        if (hole(i))
            drop[i] = true, --missing;
    if (missing)
        return false;
    std::vector<uint8_t> region;
    for (size_t i = 0; i < drop.size(); ++i)
        if (!drop[i])
            region.insert(region.end(), seq.begin() + i * kSlot, seq.begin() + (i + 1) * kSlot);
    std::vector<uint8_t> next = d->bytes;
    std::copy(region.begin(), region.end(), next.begin() + lo * kSlot);
    if (UsedSlots(next) > kMaxDirSlots)
        return false;
    d->bytes.swap(next);
    return true;
}

// Plans the entry `r` with a new set: in its place when the set is no
// longer, or when its cluster has room; else the clusters from its own
// on are copied (not the first cluster); else it moves to the end of the
// directory - the one change that needs two steps, so that a crash in
// between can lose it but never leave it twice.
int Directories::PlanRename(DirChange *c, const Rec &r, const std::vector<uint8_t> &set)
{
    Dir &d = c->dir;
    const size_t n = set.size() / kSlot, old = r.pos - r.first + 1, used = UsedSlots(d.bytes);
    if (d.cluster == 0) {
        std::vector<uint8_t> next(d.bytes.begin(), d.bytes.begin() + r.first * kSlot);
        next.insert(next.end(), set.begin(), set.end());
        next.insert(next.end(), d.bytes.begin() + (r.pos + 1) * kSlot, d.bytes.begin() + used * kSlot);
        if (next.size() > d.bytes.size()) {
            std::vector<uint8_t> packed;
            for (const Unit &u : UnitsIn(next, 0, next.size() / kSlot))
                packed.insert(packed.end(), u.slots.begin(), u.slots.end());
            if (packed.size() > d.bytes.size())
                return kNoEmptyEntry;
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
        if (Absorb(&d, k, r, set))
            return 0;
    }
    if (k >= 1 && StartsEntry(d.bytes, k * spc)) {
        std::vector<Unit> units = UnitsIn(d.bytes, k * spc, used);
        for (Unit &u : units)
            if (u.first <= r.pos && r.pos < u.first + u.slots.size() / kSlot) {
                u.slots.resize((r.first - u.first) * kSlot);
                u.slots.insert(u.slots.end(), set.begin(), set.end());
            }
        std::vector<uint8_t> tail;
        const size_t end = Pack(units, &tail, 0);
        if (k * spc + end <= kMaxDirSlots && ReplaceTail(c, k, std::move(tail)))
            return 0;
    }
    MarkDeleted(&d.bytes, r.first, r.pos + 1);
    size_t at;
    return PlanAppend(c, set, &at);
}

}  // namespace fat
}  // namespace emu
