// fs_worker.cpp - the worker thread's side of the file system: the
// connection, the player's current directories, and every command.
//
// Everything here runs on the worker thread and is the only code that calls
// the library.  It takes the shared lock only to publish listings.

#include "filesystem.h"

#include "../device.h"
#include "errors.h"
#include "log.h"
#include "names.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <localname_core.h>

namespace mountfs {
namespace {

// Directories nest at most this deep in practice; a longer climb means the
// player's answers are inconsistent.
constexpr int kMaxDepth = 128;
constexpr unsigned kFwEntrySets = 0x13000;

// Windows (and Linux's vfat) keep an 8.3 name that is all lower case in its
// base or extension without a long name, as two flags in byte 12 of the
// short entry; the name shows the way it was written.
constexpr uint8_t kLowerCaseBase = 0x08;
constexpr uint8_t kLowerCaseExtension = 0x10;

std::string ShownName(const cli::Entry &e)
{
    if (e.record.szLongName[0] != '\0' || e.IsDotEntry() ||
        !(e.record.bReserved & (kLowerCaseBase | kLowerCaseExtension)))
        return e.name;
    std::string name = e.name;
    const size_t dot = name.find('.');
    for (size_t i = 0; i < name.size(); ++i) {
        const bool inBase = dot == std::string::npos || i < dot;
        if ((inBase ? e.record.bReserved & kLowerCaseBase : e.record.bReserved & kLowerCaseExtension) &&
            name[i] >= 'A' && name[i] <= 'Z')
            name[i] = char(name[i] - 'A' + 'a');
    }
    return name;
}

}  // namespace

// ---- connection ----------------------------------------------------------------------------------

int Filesystem::W_Connect()
{
    if (device_)
        return 0;
    auto device = std::make_unique<cli::Device>(options_.global);
    ZVC450_SetError(ZVC450USB_ERR_NONE);
    if (!device->Open()) {
        const cli::LibraryError e = cli::CaptureError();
        connected_ = false;
        if (!lossReported_) {
            Log("the player does not answer; every operation fails until it is back");
            lossReported_ = true;
        }
        const int err = e.code == ZVC450USB_ERR_NONE ? ENODEV : ErrnoFor(e);
        return err == EIO ? ENODEV : err;
    }
    device_ = std::move(device);
    position_[0] = Position();
    position_[1] = Position();
    W_Changing(0);  // what was listed before is not known to be current
    W_Changing(1);
    firmware_ = device_->firmware();
    if (everConnected_) {
        // A player that was away may have been changed elsewhere.
        Log("the player is back");
        std::lock_guard<std::mutex> lock(mutex_);
        folders_.clear();
        contents_.clear();
        wavSizes_.clear();
        summaries_[0] = summaries_[1] = ZVC450_SUMMARY{};
    }
    everConnected_ = true;
    lossReported_ = false;
    connected_ = true;
    if (both_)
        W_CheckCard();
    // Temporary files of copies that a lost link cut short.
    std::vector<std::pair<FolderPath, std::string>> pending;
    pending.swap(cleanups_);
    for (const auto &c : pending)
        if (device_)
            W_RemoveTemporary(c.first, c.second);
    return device_ ? 0 : ENODEV;
}

void Filesystem::W_Disconnect()
{
    device_.reset();
    connected_ = false;
    position_[0] = Position();
    position_[1] = Position();
}

int Filesystem::W_Fail(const char *what)
{
    const cli::LibraryError e = cli::CaptureError();
    const int err = ErrnoFor(e);
    if (LinkFailed(e)) {
        Log("%s: the link to the player failed", what);
        W_Disconnect();
    }
    return err;
}

void Filesystem::W_CheckCard()
{
    device_->set_memory(1);
    cli::Listing listing;
    const bool present = listing.Read(*device_);
    if (!present && LinkFailed(cli::CaptureError())) {
        W_Fail("card");
        return;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    cardPresent_ = present;
    cardKnown_ = true;
    cardCheckedAt_ = Clock::now();
    if (present) {
        summaries_[1] = listing.summary();
        summaryAt_[1] = Clock::now();
    }
}

// ---- the player's current directory ------------------------------------------------------------

int Filesystem::W_ClimbToRoot(int memory)
{
    Position &pos = position_[memory];
    pos = Position();
    if (!device_->HasDirectories()) {
        pos.known = true;
        return 0;
    }
    for (int depth = 0; depth < kMaxDepth; ++depth) {
        device_->set_memory(memory);
        cli::Listing listing;
        if (!listing.Read(*device_))
            return W_Fail("listing");
        const cli::Entry *up = nullptr;
        for (const cli::Entry &e : listing.dirs())
            if (e.name == "..")
                up = &e;
        if (!up) {
            pos.known = true;
            return 0;
        }
        if (!ZVC450_ChangeDirectory(device_->handle(), memory, up->key))
            return W_Fail("change directory");
    }
    Log("the player's directories nest deeper than %d levels", kMaxDepth);
    return EIO;
}

int Filesystem::W_GoTo(const FolderPath &p)
{
    if (int e = W_Connect())
        return e;
    const int m = p.memory;
    device_->set_memory(m);
    if (!position_[m].known)
        if (int e = W_ClimbToRoot(m))
            return e;
    auto &path = position_[m].path;
    size_t common = 0;
    while (common < path.size() && common < p.names.size() && Folded(path[common].first) == Folded(p.names[common]))
        ++common;
    // Up through the parents: a directory's ".." entry holds its parent's
    // key, which is 0 for the root.
    while (path.size() > common) {
        const unsigned up = path.size() >= 2 ? path[path.size() - 2].second : 0;
        if (!ZVC450_ChangeDirectory(device_->handle(), m, up)) {
            position_[m].known = false;
            return W_Fail("change directory");
        }
        path.pop_back();
    }
    for (size_t i = common; i < p.names.size(); ++i) {
        FolderPath here{m, std::vector<std::string>(p.names.begin(), p.names.begin() + long(i))};
        std::shared_ptr<const Folder> f;
        {
            // Keys change only when we change the directories ourselves.
            std::lock_guard<std::mutex> lock(mutex_);
            auto it = folders_.find(here.Key());
            if (it != folders_.end())
                f = it->second;
        }
        const Item *dir = f ? f->Find(p.names[i]) : nullptr;
        if (!dir || !dir->entry.directory) {
            if (int e = W_ReadHere(here, &f))
                return e;
            dir = f->Find(p.names[i]);
        }
        if (!dir)
            return ENOENT;
        if (!dir->entry.directory)
            return ENOTDIR;
        if (!ZVC450_ChangeDirectory(device_->handle(), m, dir->entry.key)) {
            const cli::LibraryError e = cli::CaptureError();
            if (LinkFailed(e))
                return W_Fail("change directory");
            ForgetFolders(here);  // the directory went away: list again next time
            return ENOENT;
        }
        path.push_back({dir->name, dir->entry.key});
    }
    return 0;
}

std::shared_ptr<const Folder> Filesystem::BuildFolder(const FolderPath &p, const cli::Listing &listing)
{
    auto f = std::make_shared<Folder>();
    f->summary = listing.summary();
    f->maxNumber = listing.maxNumber();
    f->readAt = Clock::now();
    f->mark = changes_[p.memory];
    const std::string key = p.Key();
    // A name shows once, under FAT's case rule; an entry whose name cannot
    // be a file name here, or that clashes with one shown before (a damaged
    // or hostile listing), shows under its 8.3 name, or not at all.
    auto add = [&](const cli::Entry &e, const std::vector<std::pair<std::string, int>> &choices) {
        for (const auto &choice : choices) {
            const std::string &name = choice.first;
            if (!zvs450_IsOnePathComponent(name) || f->byName.count(Folded(name)))
                continue;
            Item item;
            item.name = name;
            item.entry = e;
            item.kind = choice.second;
            item.hidden = inFlight_.count(key + "/" + Folded(name)) != 0;
            f->byName[Folded(name)] = f->items.size();
            f->items.push_back(std::move(item));
            return;
        }
        Log("an entry of the player's folder /%s cannot be shown (its name is '%s')", key.c_str(), e.name.c_str());
    };
    std::lock_guard<std::mutex> lock(mutex_);
    for (const cli::Entry &e : listing.dirs())
        if (!e.IsDotEntry())
            add(e, {{ShownName(e), 0}, {e.shortName, 0}});
    std::vector<const cli::Entry *> recordings;
    for (const cli::Entry &e : listing.files()) {
        if (options_.recordingsAsWav && RecordingKind(e.name) != 0)
            recordings.push_back(&e);
        else
            add(e, {{ShownName(e), 0}, {e.shortName, 0}});
    }
    // Recordings last, so that a real file of the WAV name keeps its name.
    for (const cli::Entry *e : recordings)
        add(*e, {{WavViewName(ShownName(*e)), RecordingKind(e->name)}, {ShownName(*e), 0}, {e->shortName, 0}});
    if (listing.summary().dwFilesFound < listing.summary().dwFileCount)
        Log("the player lists %u of the %u files it counts in /%s; the folder shows only those", unsigned(listing.summary().dwFilesFound),
            unsigned(listing.summary().dwFileCount), key.c_str());
    return f;
}

int Filesystem::W_ReadHere(const FolderPath &p, std::shared_ptr<const Folder> *out)
{
    device_->set_memory(p.memory);
    cli::Listing listing;
    if (!listing.Read(*device_)) {
        const cli::LibraryError e = cli::CaptureError();
        if (e.code == ZVC450USB_ERR_NODISK)
            return ENOMEDIUM;
        return W_Fail("listing");
    }
    std::shared_ptr<const Folder> f = BuildFolder(p, listing);
    std::lock_guard<std::mutex> lock(mutex_);
    folders_[p.Key()] = f;
    summaries_[p.memory] = listing.summary();
    summaryAt_[p.memory] = Clock::now();
    if (out)
        *out = f;
    return 0;
}

int Filesystem::W_List(const FolderPath &p, std::shared_ptr<const Folder> *out)
{
    // Listing changes nothing, so when the link failed it is tried once more
    // on a new connection: a player that was unplugged and plugged in again
    // (or an emulator restarted) answers the same ls.
    for (int attempt = 0;; ++attempt) {
        int e = W_GoTo(p);
        if (e == 0)
            e = W_ReadHere(p, out);
        if (e == 0 || device_ || attempt > 0 || !everConnected_)
            return e;
    }
}

int Filesystem::W_Current(const FolderPath &p, std::shared_ptr<const Folder> *out)
{
    // Only this connection changes the internal memory while it is open; a
    // card can be swapped in the player's slot at any time, so its folders
    // are always read again.
    std::shared_ptr<const Folder> cached;
    if (device_ && p.memory == 0) {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = folders_.find(p.Key());
        if (it != folders_.end() && it->second->mark == changes_[p.memory] && Fresh(*it->second))
            cached = it->second;
    }
    if (cached && W_GoTo(p) == 0) {
        *out = cached;
        return 0;
    }
    return W_List(p, out);
}

void Filesystem::W_Changing(int memory) { ++changes_[memory]; }

int Filesystem::W_Summary(int memory)
{
    if (int e = W_Connect())
        return e;
    if (!position_[memory].known)
        if (int e = W_ClimbToRoot(memory))
            return e;
    FolderPath here{memory, {}};
    for (const auto &step : position_[memory].path)
        here.names.push_back(step.first);
    return W_ReadHere(here, nullptr);
}

int Filesystem::W_FindStored(const FolderPath &p, const std::string &stored, std::shared_ptr<const Folder> *folder,
                             const Item **item)
{
    if (int e = W_Current(p, folder))
        return e;
    *item = (*folder)->FindStored(stored);
    return *item ? 0 : ENOENT;
}

// ---- commands ------------------------------------------------------------------------------------------

int Filesystem::W_Delete(const FolderPath &p, const std::string &stored)
{
    std::shared_ptr<const Folder> f;
    const Item *it = nullptr;
    if (int e = W_FindStored(p, stored, &f, &it))
        return e;
    if (it->entry.number > f->maxNumber)
        return EOVERFLOW;
    W_Changing(p.memory);
    if (!ZVC450_Delete(nullptr, device_->handle(), p.memory, it->entry.number, it->entry.name.c_str()))
        return W_Fail("delete");
    return W_ReadHere(p, nullptr);
}

int Filesystem::W_Rename(const FolderPath &p, const std::string &stored, const std::string &newName)
{
    std::shared_ptr<const Folder> f;
    const Item *it = nullptr;
    if (int e = W_FindStored(p, stored, &f, &it))
        return e;
    int ok;
    if (it->entry.directory) {
        W_Changing(p.memory);
        ok = ZVC450_RenameDirectory(device_->handle(), p.memory, newName.c_str(), &it->entry.record);
    } else {
        if (it->entry.number > f->maxNumber)
            return EOVERFLOW;
        W_Changing(p.memory);
        ok = ZVC450_Rename(device_->handle(), p.memory, it->entry.number, newName.c_str(), &it->entry.record);
    }
    if (!ok)
        return W_Fail("rename");
    return W_ReadHere(p, nullptr);
}

int Filesystem::W_RenameOver(const FolderPath &p, const std::string &from, const std::string &over,
                             const std::string &newName)
{
    std::shared_ptr<const Folder> f;
    const Item *src = nullptr;
    if (int e = W_FindStored(p, from, &f, &src))
        return e;
    if (!over.empty()) {
        const Item *old = f->FindStored(over);
        if (old && old->entry.directory) {
            // POSIX lets a directory replace an empty one (W_RemoveDirectory
            // refuses one that is not).
            if (int e = W_RemoveDirectory(p, over, p.Child(old->name)))
                return e;
        } else if (old) {
            // Everything that could refuse the rename has been checked (the
            // name, the kinds, the source): only now does the old file go.
            if (int e = W_Delete(p, over))
                return e;
        }
    }
    return W_Rename(p, from, newName);
}

int Filesystem::W_SetTime(const FolderPath &p, const std::string &stored, time_t when)
{
    std::shared_ptr<const Folder> f;
    const Item *it = nullptr;
    if (int e = W_FindStored(p, stored, &f, &it))
        return e;
    ZVC450_DIRENTRY record = it->entry.record;
    UnixToFat(when, &record.wWriteDate, &record.wWriteTime);
    if (record.wWriteDate == it->entry.record.wWriteDate && record.wWriteTime == it->entry.record.wWriteTime)
        return 0;
    record.wAccessDate = record.wWriteDate;
    if (it->entry.number > f->maxNumber)
        return EOVERFLOW;
    // The rename command carries the whole directory entry, stamps and all:
    // renaming a file to its own name gives it the new write time.
    const std::string &name = it->kind == 0 ? it->name : it->entry.name;
    W_Changing(p.memory);
    if (!ZVC450_Rename(device_->handle(), p.memory, it->entry.number, name.c_str(), &record))
        return W_Fail("set time");
    return W_ReadHere(p, nullptr);
}

int Filesystem::W_MakeDirectory(const FolderPath &p, const std::string &name)
{
    if (int e = W_GoTo(p))
        return e;
    W_Changing(p.memory);
    if (!ZVC450_MakeDirectory(device_->handle(), p.memory, name.c_str())) {
        const int e = W_Fail("make directory");
        W_ReadHere(p, nullptr);
        return e;
    }
    return W_ReadHere(p, nullptr);
}

int Filesystem::W_RemoveDirectory(const FolderPath &p, const std::string &stored, const FolderPath &dir)
{
    std::shared_ptr<const Folder> inside;
    if (int e = W_Current(dir, &inside))
        return e;
    for (const Item &i : inside->items)
        if (!i.entry.IsDotEntry())
            return ENOTEMPTY;
    std::shared_ptr<const Folder> f;
    const Item *it = nullptr;
    if (int e = W_FindStored(p, stored, &f, &it))
        return e;
    if (!it->entry.directory)
        return ENOENT;
    W_Changing(p.memory);
    if (!ZVC450_RemoveDirectory(device_->handle(), p.memory, it->entry.key))
        return W_Fail("remove directory");
    ForgetFolders(dir);
    return W_ReadHere(p, nullptr);
}

// ---- transfers ------------------------------------------------------------------------------------------

std::string Filesystem::W_TemporaryName(const Folder &f)
{
    // A plain upper-case 8.3 name: one directory entry, valid for every
    // firmware, and never a name a user picked by chance.
    for (;;) {
        char name[16];
        std::snprintf(name, sizeof name, "ZV%06X.TMP", (unsigned(::getpid()) * 7919u + ++tempCounter_) & 0xFFFFFFu);
        if (!f.FindStored(std::string(name, 8) + "TMP") && f.byName.count(name) == 0)
            return name;
    }
}

void Filesystem::W_RemoveTemporary(const FolderPath &p, const std::string &temp)
{
    std::shared_ptr<const Folder> f;
    if (W_Current(p, &f) != 0)
        return;
    auto it = f->byName.find(Folded(temp));
    if (it != f->byName.end())
        W_Delete(p, f->items[it->second].Stored());
}

int Filesystem::W_Send(Draft &d)
{
    FolderPath p;
    std::string name;
    uint64_t size;
    bool hasTime;
    time_t when;
    {
        std::lock_guard<std::mutex> lock(d.mutex);
        p = d.folder;
        name = d.name;
        size = d.size;
        hasTime = d.hasTime;
        when = d.time;
    }
    // The names of the folder as this mount last left it are enough here;
    // the copy's own number comes from a listing read after the copy.
    std::shared_ptr<const Folder> f;
    if (int e = W_Current(p, &f))
        return e;
    const Item *old = f->Find(name);
    if (old && old->entry.directory)
        return EISDIR;
    const std::string oldStored = old ? old->Stored() : std::string();

    // The file goes up under a temporary name and takes its own name only
    // once the player holds all of it: an interrupted copy never shows
    // under the name of the file it was to be, nor replaces it.
    const std::string temp = W_TemporaryName(*f);
    const std::string marker = p.Key() + "/" + Folded(temp);
    // The library names the file on the player after the local file: the
    // draft goes up through a link of the temporary name.  A hard link (the
    // draft is in the same cache folder) costs the file system no new inode,
    // which a symbolic link does at every copy.
    if (stage_.empty()) {
        const std::string stage = cache_.NewPath("send-");
        if (::mkdir(stage.c_str(), 0700) != 0)
            return errno;
        stage_ = stage;
    }
    const std::string local = stage_ + "/" + temp;
    if (::link(d.path.c_str(), local.c_str()) != 0 && ::symlink(d.path.c_str(), local.c_str()) != 0)
        return errno;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        inFlight_.insert(marker);
    }
    auto unmark = [&] {
        std::lock_guard<std::mutex> lock(mutex_);
        inFlight_.erase(marker);
    };
    device_->set_memory(p.memory);
    W_Changing(p.memory);
    const int ok = ZVC450_Download(nullptr, device_->handle(), p.memory, local.c_str());
    const cli::LibraryError error = cli::CaptureError();
    ::unlink(local.c_str());
    if (!ok) {
        const int e = ErrnoFor(error);
        if (LinkFailed(error)) {
            Log("%s: the link to the player failed during the copy", name.c_str());
            W_Disconnect();
            cleanups_.push_back({p, temp});
        } else {
            W_RemoveTemporary(p, temp);
        }
        unmark();
        return e;
    }
    // The player sends no answer after the data: the copy counts once a
    // fresh listing shows it whole.
    if (int e = W_List(p, &f)) {
        cleanups_.push_back({p, temp});
        unmark();
        return e;
    }
    auto sent = f->byName.find(Folded(temp));
    if (sent == f->byName.end()) {
        Log("%s: the player does not list the copy", name.c_str());
        unmark();
        return EIO;
    }
    const Item copy = f->items[sent->second];
    if (copy.entry.record.dwSize != size) {
        Log("%s: the player took %u of %llu bytes; the short copy is removed", name.c_str(),
            unsigned(copy.entry.record.dwSize), static_cast<unsigned long long>(size));
        if (W_Delete(p, copy.Stored()) != 0 && !device_)
            cleanups_.push_back({p, temp});  // the link went: at the next connection
        unmark();
        return EIO;
    }
    if (!oldStored.empty()) {
        if (int e = W_Delete(p, oldStored)) {
            W_Delete(p, copy.Stored());
            unmark();
            return e;
        }
        Forget(p, oldStored);
    }
    unmark();
    if (int e = W_Rename(p, copy.Stored(), name)) {
        Log("%s: the copy is complete but could not take its name; it is kept as %s", name.c_str(), temp.c_str());
        return e;
    }
    if (hasTime && firmware_ >= kFwEntrySets) {
        std::shared_ptr<const Folder> now;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            now = folders_[p.Key()];
        }
        const Item *it = now ? now->Find(name) : nullptr;
        if (it)
            return W_SetTime(p, it->Stored(), when);
    }
    return 0;
}

void Filesystem::W_Fetch(const std::shared_ptr<Content> &content, const FolderPath &p, const Item &item,
                         const std::string &key)
{
    auto fail = [&](int e) {
        content->Finish(e);
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = contents_.find(key);
        if (it != contents_.end() && it->second == content)
            contents_.erase(it);  // the next open tries again
    };
    std::shared_ptr<const Folder> f;
    if (int e = W_Current(p, &f))
        return fail(e);
    const Item *now = f->FindStored(item.Stored());
    // The file is found again by its 8.3 name; if it is not the same file
    // any more, the bytes would not be the ones asked for.
    if (!now || now->entry.record.dwSize != item.entry.record.dwSize ||
        now->entry.record.dwFirstCluster != item.entry.record.dwFirstCluster ||
        now->entry.record.wWriteDate != item.entry.record.wWriteDate ||
        now->entry.record.wWriteTime != item.entry.record.wWriteTime)
        return fail(ESTALE);
    if (now->entry.number > f->maxNumber)
        return fail(EOVERFLOW);
    const int ok = ZVC450_Upload(nullptr, device_->handle(), p.memory, now->entry.number, content->Destination().c_str(),
                                 now->entry.name.c_str(), now->entry.record.dwSize, item.kind);
    if (!ok)
        return fail(W_Fail("read"));
    content->Finish(0);
    if (item.kind == 0)
        return;
    uint64_t size = 0;
    if (!content->Complete(&size))
        return;
    std::function<void(const std::string &)> invalidate;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        wavSizes_[key] = size;
        invalidate = invalidate_;
    }
    if (invalidate) {
        std::string path = both_ ? std::string("/") + (p.memory == 0 ? "internal" : "card") : std::string();
        for (const std::string &n : p.names)
            path += "/" + n;
        invalidate(path + "/" + item.name);
    }
}

}  // namespace mountfs
