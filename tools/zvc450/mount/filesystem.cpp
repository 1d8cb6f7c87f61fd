// filesystem.cpp - the file-system threads' side: paths, cached listings,
// open files, and the jobs they hand to the worker.

#include "filesystem.h"

#include "../device.h"
#include "../localfile.h"
#include "log.h"
#include "names.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace mountfs {
namespace {

// A listing younger than this is used as it is.  Older ones are read again
// when the player is free, so that an unplugged player shows within this
// time; while a transfer runs, any listing is used as it is.
constexpr auto kListingFresh = std::chrono::seconds(2);
// Programs that copy use buffers of the preferred block size: big writes
// cost fewer trips through the kernel.
constexpr blksize_t kPreferredBlock = 1 << 20;
// The player allocates space in blocks of 16 KiB.
constexpr uint64_t kBlock = 16384;
// Firmware from which entries carry long names and the rename command
// takes a whole directory entry (with its time).
constexpr unsigned kFwEntrySets = 0x13000;
// Cached files beyond this total are removed, least recently opened first,
// once nothing reads them.
constexpr uint64_t kCacheBudget = 512ull << 20;

std::vector<std::string> Components(const char *path)
{
    std::vector<std::string> parts;
    const std::string p = path ? path : "";
    size_t pos = 0;
    while (pos < p.size()) {
        size_t slash = p.find('/', pos);
        if (slash == std::string::npos)
            slash = p.size();
        if (slash > pos)
            parts.push_back(p.substr(pos, slash - pos));
        pos = slash + 1;
    }
    return parts;
}

std::string LastComponent(const char *path)
{
    const std::vector<std::string> parts = Components(path);
    return parts.empty() ? std::string() : parts.back();
}

const char *const kMemoryFolders[2] = {"internal", "card"};

}  // namespace

// ---- small types ------------------------------------------------------------------

std::string FolderPath::Key() const
{
    std::string key = std::to_string(memory) + ":";
    for (const std::string &n : names)
        key += "/" + Folded(n);
    return key;
}

FolderPath FolderPath::Child(const std::string &name) const
{
    FolderPath c = *this;
    c.names.push_back(name);
    return c;
}

bool FolderPath::Within(const FolderPath &ancestor) const
{
    if (memory != ancestor.memory || names.size() < ancestor.names.size())
        return false;
    for (size_t i = 0; i < ancestor.names.size(); ++i)
        if (Folded(names[i]) != Folded(ancestor.names[i]))
            return false;
    return true;
}

std::string Item::Stored() const
{
    return std::string(entry.record.szName, 8) + std::string(entry.record.szExt, 3);
}

const Item *Folder::Find(const std::string &name) const
{
    auto it = byName.find(Folded(name));
    if (it == byName.end() || items[it->second].hidden)
        return nullptr;
    return &items[it->second];
}

const Item *Folder::FindStored(const std::string &stored) const
{
    for (const Item &i : items)
        if (i.Stored() == stored)
            return &i;
    return nullptr;
}

Draft::Draft(std::string p, int f, FolderPath where, std::string n)
    : path(std::move(p)), fd(f), folder(std::move(where)), name(std::move(n))
{
}

Draft::~Draft()
{
    if (fd >= 0)
        ::close(fd);
    ::unlink(path.c_str());
}

// ---- set-up --------------------------------------------------------------------------

Filesystem::Filesystem(const MountOptions &options, CacheFolder &cache, unsigned firmware)
    : options_(options),
      both_(!options.global.memoryChosen),
      cache_(cache),
      uid_(::getuid()),
      gid_(::getgid()),
      mountTime_(::time(nullptr)),
      firmware_(firmware)
{
}

Filesystem::~Filesystem() { Shutdown(); }

void Filesystem::Shutdown()
{
    worker_.Run([this] {
        if (device_) {
            // Leave the player as a fresh connection finds it.
            for (int m = 0; m < 2; ++m)
                if (position_[m].known && !position_[m].path.empty())
                    W_GoTo(FolderPath{m, {}});
        }
        device_.reset();
        connected_ = false;
        return 0;
    });
}

void Filesystem::SetAttributeInvalidator(std::function<void(const std::string &)> invalidate)
{
    std::lock_guard<std::mutex> lock(mutex_);
    invalidate_ = std::move(invalidate);
}

// ---- paths and listings ----------------------------------------------------------------------

int Filesystem::Split(const char *path, bool *top, int *memory, std::vector<std::string> *parts)
{
    *parts = Components(path);
    *top = false;
    if (!both_) {
        *memory = options_.global.memory;
        return 0;
    }
    if (parts->empty()) {
        *top = true;
        return 0;
    }
    const std::string first = parts->front();
    // Whether a card is in is learnt with the first connection.
    if (first == kMemoryFolders[1] && !cardKnown_)
        worker_.Run([this] { return W_Connect(); });
    if (first == kMemoryFolders[0])
        *memory = 0;
    else if (first == kMemoryFolders[1] && cardPresent_)
        *memory = 1;
    else
        return ENOENT;
    parts->erase(parts->begin());
    return 0;
}

bool Filesystem::Fresh(const Folder &f) const { return Clock::now() - f.readAt < kListingFresh; }

int Filesystem::ResolveExisting(const char *path, Kind kind, Resolved *r)
{
    if (int e = Resolve(path, r))
        return e;
    if (!r->exists)
        return ENOENT;
    if (kind == Kind::Folder && !r->isFolder)
        return ENOTDIR;
    if (kind == Kind::File && r->isFolder)
        return EISDIR;
    return 0;
}

int Filesystem::GetFolder(const FolderPath &p, std::shared_ptr<const Folder> *out)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = folders_.find(p.Key());
        // While the player is busy with a transfer, the listing we have is
        // the best answer there is: nobody else changes the player.
        if (it != folders_.end() && connected_ && (Fresh(*it->second) || worker_.Busy())) {
            *out = it->second;
            return 0;
        }
    }
    return worker_.Run([&] { return W_List(p, out); });
}

int Filesystem::Resolve(const char *path, Resolved *r)
{
    int memory = 0;
    std::vector<std::string> parts;
    if (int e = Split(path, &r->top, &memory, &parts))
        return e;
    if (r->top) {
        r->exists = true;
        r->isFolder = true;
        return 0;
    }
    FolderPath here{memory, {}};
    if (parts.empty()) {
        // A memory's root: it exists when the memory can be listed.
        std::shared_ptr<const Folder> listing;
        if (int e = GetFolder(here, &listing))
            return e;
        r->exists = true;
        r->isFolder = true;
        r->folder = here;
        return 0;
    }
    for (size_t i = 0; i + 1 < parts.size(); ++i) {
        std::shared_ptr<const Folder> f;
        if (int e = GetFolder(here, &f))
            return e;
        const Item *it = f->Find(parts[i]);
        if (!it)
            return FindDraft(here, parts[i]) ? ENOTDIR : ENOENT;
        if (!it->entry.directory)
            return ENOTDIR;
        here = here.Child(it->name);
    }
    r->parent = here;
    r->name = parts.back();
    if (int e = GetFolder(here, &r->listing))
        return e;
    r->draft = FindDraft(here, r->name);
    if (const Item *it = r->listing->Find(r->name)) {
        r->item = *it;
        r->listed = true;
        r->exists = true;
        r->name = it->name;
        if (it->entry.directory) {
            r->isFolder = true;
            r->folder = here.Child(it->name);
        }
    } else if (r->draft) {
        std::lock_guard<std::mutex> lock(r->draft->mutex);
        r->exists = true;
        r->name = r->draft->name;
    }
    return 0;
}

// ---- attributes ----------------------------------------------------------------------------------

void Filesystem::FillFolderStat(struct stat *st) const
{
    std::memset(st, 0, sizeof *st);
    st->st_mode = S_IFDIR | 0755;
    st->st_nlink = 2;
    st->st_uid = uid_;
    st->st_gid = gid_;
    st->st_blksize = kPreferredBlock;
    st->st_atime = st->st_mtime = st->st_ctime = mountTime_;
}

std::string Filesystem::ContentKey(const FolderPath &p, const Item &item) const
{
    const ZVC450_DIRENTRY &r = item.entry.record;
    return p.Key() + "\n" + item.Stored() + "\n" + std::to_string(r.dwSize) + "." + std::to_string(r.wWriteDate) +
           "." + std::to_string(r.wWriteTime) + "." + std::to_string(r.dwFirstCluster) + "." +
           std::to_string(item.kind);
}

void Filesystem::FillStat(const Item &item, const FolderPath &folder, struct stat *st) const
{
    FillFolderStat(st);
    const ZVC450_DIRENTRY &r = item.entry.record;
    st->st_mtime = st->st_ctime = FatToUnix(r.wWriteDate, r.wWriteTime);
    st->st_atime = FatToUnix(r.wAccessDate, 0);
    if (item.entry.directory)
        return;
    st->st_nlink = 1;
    // The read-only attribute, and recordings seen as WAV, cannot be written.
    const bool readOnly = (r.bAttribute & 0x01) != 0 || item.kind != 0;
    st->st_mode = S_IFREG | (readOnly ? 0444 : 0644);
    uint64_t size = r.dwSize;
    if (item.kind != 0) {
        auto it = wavSizes_.find(ContentKey(folder, item));
        size = it != wavSizes_.end() ? it->second : EstimatedWavSize(item.kind, r.dwSize);
    }
    st->st_size = off_t(size);
    st->st_blocks = blkcnt_t((size + kBlock - 1) / kBlock * (kBlock / 512));
}

void Filesystem::FillDraftStat(Draft &d, struct stat *st) const
{
    FillFolderStat(st);
    std::lock_guard<std::mutex> lock(d.mutex);
    st->st_mode = S_IFREG | 0644;
    st->st_nlink = 1;
    st->st_size = off_t(d.size);
    st->st_blocks = blkcnt_t((d.size + kBlock - 1) / kBlock * (kBlock / 512));
    struct stat local;
    if (::fstat(d.fd, &local) == 0)
        st->st_mtime = st->st_ctime = st->st_atime = local.st_mtime;
    if (d.hasTime)
        st->st_mtime = d.time;
}

int Filesystem::GetAttr(const char *path, struct stat *st)
{
    Resolved r;
    if (int e = ResolveExisting(path, Kind::Any, &r))
        return e;
    if (r.draft) {
        FillDraftStat(*r.draft, st);
        return 0;
    }
    if (r.listed) {
        std::lock_guard<std::mutex> lock(mutex_);
        FillStat(r.item, r.parent, st);
    } else {
        FillFolderStat(st);
    }
    return 0;
}

int Filesystem::GetAttr(Handle *h, struct stat *st)
{
    if (h->draft) {
        FillDraftStat(*h->draft, st);
        return 0;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    FillStat(h->item, h->folder, st);
    uint64_t size = 0;
    if (h->content && h->content->Complete(&size))
        st->st_size = off_t(size);
    return 0;
}

int Filesystem::ReadDir(const char *path, std::vector<std::pair<std::string, struct stat>> *entries)
{
    Resolved r;
    if (int e = ResolveExisting(path, Kind::Folder, &r))
        return e;
    struct stat st;
    FillFolderStat(&st);
    entries->push_back({".", st});
    entries->push_back({"..", st});
    if (r.top) {
        // Whether a card is in the slot is asked again now and then.
        bool ask;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            ask = Clock::now() - cardCheckedAt_ > kListingFresh && !worker_.Busy();
        }
        if (ask || !cardKnown_)
            worker_.Run([this] {
                if (W_Connect() == 0)
                    W_CheckCard();
                return 0;
            });
        if (!connected_)
            return ENODEV;
        entries->push_back({kMemoryFolders[0], st});
        if (cardPresent_)
            entries->push_back({kMemoryFolders[1], st});
        return 0;
    }
    std::shared_ptr<const Folder> f;
    if (int e = GetFolder(r.folder, &f))
        return e;
    std::set<std::string> listed;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (const Item &it : f->items) {
            if (it.hidden)
                continue;
            FillStat(it, r.folder, &st);
            entries->push_back({it.name, st});
            listed.insert(Folded(it.name));
        }
    }
    // Files being written that the player does not have yet.
    const std::string prefix = r.folder.Key() + "/";
    std::vector<std::shared_ptr<Draft>> drafts;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (auto it = drafts_.lower_bound(prefix); it != drafts_.end() && it->first.compare(0, prefix.size(), prefix) == 0;
             ++it)
            if (it->first.find('/', prefix.size()) == std::string::npos)
                drafts.push_back(it->second);
    }
    for (const auto &d : drafts) {
        std::string name;
        {
            std::lock_guard<std::mutex> lock(d->mutex);
            name = d->name;
        }
        if (listed.count(Folded(name)))
            continue;
        FillDraftStat(*d, &st);
        entries->push_back({name, st});
    }
    return 0;
}

// ---- cached contents --------------------------------------------------------------------------

std::shared_ptr<Content> Filesystem::ContentFor(const FolderPath &p, const Item &item)
{
    const std::string key = ContentKey(p, item);
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = contents_.find(key);
    if (it != contents_.end())
        return it->second;
    // Make room: drop the oldest cached files nobody has open.
    uint64_t total = 0;
    for (const auto &c : contents_)
        total += c.second->bytes();
    for (auto c = contents_.begin(); c != contents_.end() && total > kCacheBudget;) {
        if (c->second.use_count() == 1) {
            total -= c->second->bytes();
            c = contents_.erase(c);
        } else {
            ++c;
        }
    }
    auto content = std::make_shared<Content>(cache_.NewPath("file-"), item.kind == 0);
    contents_[key] = content;
    return content;
}

void Filesystem::StartFetch(const std::shared_ptr<Content> &content, const FolderPath &p, const Item &item)
{
    if (!content->Claim())
        return;
    const std::string key = ContentKey(p, item);
    worker_.Post([this, content, p, item, key] { W_Fetch(content, p, item, key); });
}

void Filesystem::Forget(const FolderPath &p, const std::string &stored)
{
    const std::string prefix = p.Key() + "\n" + stored + "\n";
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto it = contents_.lower_bound(prefix);
         it != contents_.end() && it->first.compare(0, prefix.size(), prefix) == 0;)
        it = contents_.erase(it);
}

void Filesystem::ForgetFolders(const FolderPath &below)
{
    std::lock_guard<std::mutex> lock(mutex_);
    const std::string key = below.Key();
    for (auto it = folders_.begin(); it != folders_.end();) {
        if (it->first == key || it->first.compare(0, key.size() + 1, key + "/") == 0)
            it = folders_.erase(it);
        else
            ++it;
    }
}

// ---- drafts ----------------------------------------------------------------------------------------

static std::string DraftKey(const FolderPath &p, const std::string &name) { return p.Key() + "/" + Folded(name); }

std::shared_ptr<Draft> Filesystem::FindDraft(const FolderPath &p, const std::string &name)
{
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = drafts_.find(DraftKey(p, name));
    return it == drafts_.end() ? nullptr : it->second;
}

std::shared_ptr<Draft> Filesystem::NewDraft(const FolderPath &p, const std::string &name)
{
    const std::string path = cache_.NewPath("draft-");
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0)
        return nullptr;
    return std::make_shared<Draft>(path, fd, p, name);
}

void Filesystem::Register(const std::shared_ptr<Draft> &d)
{
    std::lock_guard<std::mutex> lock(mutex_);
    std::lock_guard<std::mutex> dlock(d->mutex);
    drafts_[DraftKey(d->folder, d->name)] = d;
}

void Filesystem::Unregister(Draft &d)
{
    std::lock_guard<std::mutex> lock(mutex_);
    std::lock_guard<std::mutex> dlock(d.mutex);
    auto it = drafts_.find(DraftKey(d.folder, d.name));
    if (it != drafts_.end() && it->second.get() == &d)
        drafts_.erase(it);
}

int Filesystem::FillDraft(Draft &d, const FolderPath &p, const Item &item, uint64_t bytes)
{
    std::shared_ptr<Content> content = ContentFor(p, item);
    StartFetch(content, p, item);
    if (int e = content->WaitFor(bytes))
        return e;
    uint64_t available = 0;
    const int from = content->Descriptor(&available);
    if (from < 0 || available < bytes)
        return EIO;
    std::vector<char> buf(1 << 20);
    for (uint64_t done = 0; done < bytes;) {
        const size_t chunk = size_t(std::min<uint64_t>(buf.size(), bytes - done));
        const ssize_t got = ::pread(from, buf.data(), chunk, off_t(done));
        if (got <= 0)
            return got < 0 ? errno : EIO;
        if (::pwrite(d.fd, buf.data(), size_t(got), off_t(done)) != got)
            return errno ? errno : EIO;
        done += uint64_t(got);
    }
    std::lock_guard<std::mutex> lock(d.mutex);
    d.size = bytes;
    return 0;
}

int Filesystem::Send(Draft &d)
{
    const int e = worker_.Run([this, &d] { return W_Send(d); });
    std::lock_guard<std::mutex> lock(d.mutex);
    if (e == 0) {
        d.dirty = false;
        d.onPlayer = true;
        d.failed = 0;
        d.hasTime = false;
    } else {
        d.failed = e;
    }
    return e;
}

uint64_t Filesystem::FreeBytes(int memory)
{
    std::lock_guard<std::mutex> lock(mutex_);
    const ZVC450_SUMMARY &s = summaries_[memory];
    if (s.dwTotalBlocks == 0)
        return UINT64_MAX;  // not known yet: the player will say
    return s.dwUsedBlocks >= s.dwTotalBlocks ? 0 : uint64_t(s.dwTotalBlocks - s.dwUsedBlocks) * kBlock;
}

// ---- open files ------------------------------------------------------------------------------------

int Filesystem::Open(const char *path, int flags, Handle **out)
{
    Resolved r;
    if (int e = ResolveExisting(path, Kind::File, &r))
        return e;
    auto h = std::make_unique<Handle>();
    h->writable = (flags & O_ACCMODE) != O_RDONLY;
    h->folder = r.parent;
    if (!h->writable) {
        if (r.draft) {
            h->draft = r.draft;
        } else {
            h->item = r.item;
            h->content = ContentFor(r.parent, r.item);
        }
        if (h->draft) {
            std::lock_guard<std::mutex> lock(h->draft->mutex);
            ++h->draft->opens;
        }
        *out = h.release();
        return 0;
    }
    if (r.listed && (r.item.kind != 0 || (r.item.entry.record.bAttribute & 0x01)))
        return EACCES;
    std::shared_ptr<Draft> d = r.draft;
    if (!d) {
        d = NewDraft(r.parent, r.name);
        if (!d)
            return errno ? errno : EIO;
        d->onPlayer = true;
        if (!(flags & O_TRUNC) && r.item.entry.record.dwSize > 0)
            if (int e = FillDraft(*d, r.parent, r.item, r.item.entry.record.dwSize))
                return e;
        Register(d);
    }
    {
        std::lock_guard<std::mutex> lock(d->mutex);
        if (flags & O_TRUNC) {
            if (::ftruncate(d->fd, 0) != 0)
                return errno;
            d->dirty = d->dirty || d->size != 0 || !d->onPlayer;
            d->size = 0;
        }
        ++d->opens;
    }
    h->draft = d;
    *out = h.release();
    return 0;
}

int Filesystem::Create(const char *path, int flags, Handle **out)
{
    Resolved r;
    if (int e = Resolve(path, &r))
        return e;
    if (r.top || (r.isFolder && r.name.empty()))
        return EEXIST;
    if (r.exists) {
        if (flags & O_EXCL)
            return EEXIST;
        return Open(path, flags | O_TRUNC, out);
    }
    const std::string name = LastComponent(path);
    if (int e = CheckNewName(name, firmware_, false))
        return e;
    std::shared_ptr<Draft> d = NewDraft(r.parent, name);
    if (!d)
        return errno ? errno : EIO;
    d->dirty = true;  // even an empty new file must reach the player
    d->opens = 1;
    Register(d);
    auto h = std::make_unique<Handle>();
    h->writable = true;
    h->folder = r.parent;
    h->draft = d;
    *out = h.release();
    return 0;
}

int Filesystem::Read(Handle *h, uint64_t offset, size_t size, int *fd, size_t *n)
{
    *n = 0;
    if (h->draft) {
        std::lock_guard<std::mutex> lock(h->draft->mutex);
        *fd = h->draft->fd;
        if (offset < h->draft->size)
            *n = size_t(std::min<uint64_t>(size, h->draft->size - offset));
        return 0;
    }
    StartFetch(h->content, h->folder, h->item);
    // A plain file streams: wait only for the bytes asked for.  A recording
    // is converted whole first.
    const uint64_t known = h->item.entry.record.dwSize;
    const uint64_t end = h->item.kind != 0 ? UINT64_MAX : std::min<uint64_t>(offset + size, known);
    if (int e = h->content->WaitFor(end))
        return e;
    uint64_t available = 0;
    *fd = h->content->Descriptor(&available);
    if (*fd < 0)
        return EIO;
    if (offset < available)
        *n = size_t(std::min<uint64_t>(size, available - offset));
    return 0;
}

int Filesystem::Write(Handle *h, uint64_t offset, size_t size, const std::function<long(int fd)> &copy,
                      size_t *written)
{
    *written = 0;
    if (!h->draft || !h->writable)
        return EBADF;
    Draft &d = *h->draft;
    int memory;
    {
        std::lock_guard<std::mutex> lock(d.mutex);
        memory = d.folder.memory;
    }
    // The player refuses a file it has no room for only once the file is
    // closed; say it while the program is still writing.
    // A file that could not be written whole is never sent: the player
    // would hold a shorter file than the program wrote.
    const uint64_t end = offset + size;
    const uint64_t free = FreeBytes(memory);
    const long n = free != UINT64_MAX && (end + kBlock - 1) / kBlock * kBlock > free ? -ENOSPC : copy(d.fd);
    std::lock_guard<std::mutex> lock(d.mutex);
    if (n < 0) {
        d.failed = int(-n);
        return d.failed;
    }
    d.size = std::max<uint64_t>(d.size, offset + uint64_t(n));
    d.dirty = true;
    *written = size_t(n);
    return 0;
}

int Filesystem::Flush(Handle *h)
{
    if (!h->draft || !h->writable)
        return 0;
    Draft &d = *h->draft;
    int e;
    {
        std::lock_guard<std::mutex> lock(d.mutex);
        if (d.orphan || !d.dirty)
            return 0;
        e = d.failed;  // already said; nothing changed since
    }
    if (e == 0)
        e = Send(d);
    // A new file that did not reach the player is gone with the close that
    // says so (the kernel's release comes later, on its own).
    bool drop;
    {
        std::lock_guard<std::mutex> lock(d.mutex);
        drop = e != 0 && !d.onPlayer;
        if (drop)
            d.orphan = true;
    }
    if (drop)
        Unregister(d);
    return e;
}

void Filesystem::Release(Handle *h)
{
    std::unique_ptr<Handle> owned(h);
    if (!h->draft)
        return;
    Draft &d = *h->draft;
    bool last, send;
    {
        std::lock_guard<std::mutex> lock(d.mutex);
        last = --d.opens == 0;
        // Changes made through a memory map reach us after the last close.
        send = last && h->writable && d.dirty && !d.orphan && !d.failed;
    }
    if (send && Send(d) != 0) {
        std::lock_guard<std::mutex> lock(d.mutex);
        Log("%s: could not be stored on the player: %s", d.name.c_str(), std::strerror(d.failed));
    }
    if (last)
        Unregister(d);
}

int Filesystem::Truncate(const char *path, uint64_t size, Handle *h)
{
    std::shared_ptr<Draft> d = h && h->writable ? h->draft : nullptr;
    Resolved r;
    if (!d) {
        if (int e = ResolveExisting(path, Kind::File, &r))
            return e;
        d = r.draft;
    }
    if (d) {
        std::lock_guard<std::mutex> lock(d->mutex);
        if (::ftruncate(d->fd, off_t(size)) != 0)
            return errno;
        d->dirty = d->dirty || d->size != size;
        d->size = size;
        return 0;  // goes to the player when its writer closes it
    }
    if (r.item.kind != 0 || (r.item.entry.record.bAttribute & 0x01))
        return EACCES;
    if (r.item.entry.record.dwSize == size)
        return 0;
    std::shared_ptr<Draft> fresh = NewDraft(r.parent, r.name);
    if (!fresh)
        return errno ? errno : EIO;
    fresh->onPlayer = true;
    if (size > 0)
        if (int e = FillDraft(*fresh, r.parent, r.item, std::min<uint64_t>(size, r.item.entry.record.dwSize)))
            return e;
    if (::ftruncate(fresh->fd, off_t(size)) != 0)
        return errno;
    fresh->size = size;
    fresh->dirty = true;
    return Send(*fresh);
}

int Filesystem::SetTime(const char *path, const struct timespec times[2], Handle *h)
{
    if (times && times[1].tv_nsec == UTIME_OMIT)
        return 0;
    const time_t when = !times || times[1].tv_nsec == UTIME_NOW ? ::time(nullptr) : times[1].tv_sec;
    std::shared_ptr<Draft> d = h ? h->draft : nullptr;
    Resolved r;
    if (!d) {
        if (int e = ResolveExisting(path, Kind::Any, &r))
            return e;
        d = r.draft;
    }
    if (d) {
        std::lock_guard<std::mutex> lock(d->mutex);
        d->hasTime = true;
        d->time = when;
        if (d->dirty || !d->onPlayer)
            return 0;  // goes with the data
        path = nullptr;
    }
    if (!path) {
        // A file open for writing that the player already has in full.
        FolderPath folder;
        std::string name;
        {
            std::lock_guard<std::mutex> lock(d->mutex);
            folder = d->folder;
            name = d->name;
        }
        std::shared_ptr<const Folder> f;
        if (int e = GetFolder(folder, &f))
            return e;
        const Item *it = f->Find(name);
        if (!it)
            return 0;
        r.item = *it;
        r.parent = folder;
        r.listed = true;
    }
    // The player keeps a directory's stamps itself, and firmware before 1.30
    // renames by 8.3 name only, without a time: nothing can be stored.
    if (!r.listed || r.item.entry.directory || firmware_ < kFwEntrySets)
        return 0;
    const std::string stored = r.item.Stored();
    const FolderPath folder = r.parent;
    return worker_.Run([&] { return W_SetTime(folder, stored, when); });
}

// ---- names -----------------------------------------------------------------------------------------

int Filesystem::Unlink(const char *path)
{
    Resolved r;
    if (int e = ResolveExisting(path, Kind::Any, &r))
        return e;
    if (r.isFolder)
        return r.top || r.name.empty() ? EPERM : EISDIR;
    if (r.draft) {
        {
            std::lock_guard<std::mutex> lock(r.draft->mutex);
            r.draft->orphan = true;
        }
        Unregister(*r.draft);
    }
    if (!r.listed)
        return 0;  // it never reached the player
    const std::string stored = r.item.Stored();
    const int e = worker_.Run([&] { return W_Delete(r.parent, stored); });
    Forget(r.parent, stored);
    return e;
}

int Filesystem::MakeDirectory(const char *path)
{
    Resolved r;
    if (int e = Resolve(path, &r))
        return e;
    if (r.exists)
        return EEXIST;
    // Players before 1.43 have one folder per memory.
    if (firmware_ < cli::kFwDirectories)
        return EPERM;
    const std::string name = LastComponent(path);
    if (int e = CheckNewName(name, firmware_, true))
        return e;
    return worker_.Run([&] { return W_MakeDirectory(r.parent, name); });
}

int Filesystem::RemoveDirectory(const char *path)
{
    Resolved r;
    if (int e = ResolveExisting(path, Kind::Folder, &r))
        return e;
    if (r.top || r.name.empty())
        return EBUSY;  // a memory's root
    {
        const std::string prefix = r.folder.Key() + "/";
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = drafts_.lower_bound(prefix);
        if (it != drafts_.end() && it->first.compare(0, prefix.size(), prefix) == 0)
            return ENOTEMPTY;
    }
    const std::string stored = r.item.Stored();
    const int e = worker_.Run([&] { return W_RemoveDirectory(r.parent, stored, r.folder); });
    if (e == 0)
        ForgetFolders(r.folder);
    return e;
}

int Filesystem::Rename(const char *from, const char *to, unsigned flags)
{
    if (flags & RENAME_EXCHANGE)
        return EINVAL;  // the player cannot swap two names in one step
    Resolved src, dst;
    if (int e = Resolve(from, &src))
        return e;
    if (!src.exists)
        return ENOENT;
    if (src.top || (src.isFolder && src.name.empty()))
        return EBUSY;
    if (int e = Resolve(to, &dst))
        return e == ENOENT ? ENOENT : e;
    if (dst.top || (dst.isFolder && dst.name.empty()))
        return EBUSY;
    // The player renames within a folder only; `mv` copies across folders
    // as it does between file systems.
    if (src.parent.Key() != dst.parent.Key())
        return EXDEV;
    std::string newName = LastComponent(to);
    if (src.listed && src.item.kind != 0) {
        // A recording seen as WAV keeps its own kind of name on the player.
        if (Folded(cli::Extension(newName)) != "WAV")
            return EINVAL;
        newName = cli::WithExtension(newName, cli::Extension(src.item.entry.name));
    }
    if (int e = CheckNewName(newName, firmware_, src.isFolder))
        return e;
    const bool same = src.listed && dst.listed && src.item.Stored() == dst.item.Stored();
    if (dst.exists && !same) {
        if (flags & RENAME_NOREPLACE)
            return EEXIST;
        if (src.isFolder && !dst.isFolder)
            return ENOTDIR;
        if (!src.isFolder && dst.isFolder)
            return EISDIR;
    }
    if (same && src.item.entry.name == newName)
        return 0;

    // Data still on its way goes first, under the old name.
    if (src.draft) {
        bool dirty;
        {
            std::lock_guard<std::mutex> lock(src.draft->mutex);
            dirty = src.draft->dirty && !src.draft->orphan;
        }
        if (dirty)
            if (int e = Send(*src.draft))
                return e;
        std::shared_ptr<const Folder> f;
        if (int e = GetFolder(src.parent, &f))
            return e;
        const Item *it = f->Find(src.name);
        if (!it)
            return ENOENT;
        src.item = *it;
        src.listed = true;
    }
    if (!src.listed)
        return ENOENT;
    // A file open for writing under the name being replaced now writes to
    // a file that is gone.
    if (dst.draft && dst.draft != src.draft) {
        {
            std::lock_guard<std::mutex> lock(dst.draft->mutex);
            dst.draft->orphan = true;
        }
        Unregister(*dst.draft);
    }
    const std::string from83 = src.item.Stored();
    const std::string over83 = dst.listed && !same ? dst.item.Stored() : std::string();
    const int e = worker_.Run([&] { return W_RenameOver(src.parent, from83, over83, newName); });
    if (e != 0)
        return e;
    if (src.draft) {
        Unregister(*src.draft);
        {
            std::lock_guard<std::mutex> lock(src.draft->mutex);
            src.draft->name = newName;
        }
        bool open;
        {
            std::lock_guard<std::mutex> lock(src.draft->mutex);
            open = src.draft->opens > 0 && !src.draft->orphan;
        }
        if (open)
            Register(src.draft);
    }
    if (src.isFolder)
        ForgetFolders(src.folder);
    Forget(src.parent, from83);
    if (!over83.empty())
        Forget(src.parent, over83);
    return 0;
}

int Filesystem::StatFs(const char *path, struct statvfs *st)
{
    bool top = false;
    int memory = 0;
    std::vector<std::string> parts;
    if (int e = Split(path, &top, &memory, &parts))
        return e;
    ZVC450_SUMMARY s;
    bool fresh;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        s = summaries_[memory];
        fresh = connected_ && s.dwTotalBlocks != 0 &&
                (Clock::now() - summaryAt_[memory] < kListingFresh || worker_.Busy());
    }
    if (!fresh) {
        if (int e = worker_.Run([&] { return W_Summary(memory); }))
            return e;
        std::lock_guard<std::mutex> lock(mutex_);
        s = summaries_[memory];
    }
    std::memset(st, 0, sizeof *st);
    st->f_bsize = kBlock;
    st->f_frsize = kBlock;
    st->f_blocks = s.dwTotalBlocks;
    st->f_bfree = st->f_bavail = s.dwUsedBlocks >= s.dwTotalBlocks ? 0 : s.dwTotalBlocks - s.dwUsedBlocks;
    st->f_namemax = 255;
    return 0;
}

}  // namespace mountfs
