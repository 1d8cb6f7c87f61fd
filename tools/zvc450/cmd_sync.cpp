// cmd_sync.cpp - sync: make the player's current directory hold the files of
// a PC folder.
//
// Copies are dated with their file's modification time, so a file is copied
// when the player lacks it, when the sizes differ, or when the player's copy
// is dated otherwise than the file (to FAT's two seconds).  Right after a sync
// every copy matches its file and nothing is copied again.
//
// Sub-folders become directories on firmware that has them.  Hidden files and
// folders (names starting with a dot) are left out.  Names the player cannot
// store are reported and skipped, or stored in a form it can with
// --rename-invalid.  Everything is checked before the first change in a
// directory, and each change is complete on the player before the next; an
// interrupted sync leaves the player consistent, only partly synced.

#include "commands.h"
#include "copy_to_player.h"
#include "device.h"
#include "interrupt.h"
#include "listing.h"
#include "output.h"
#include "localfile.h"
#include "player_names.h"
#include "playorder.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

namespace cli {
namespace {

// The player's sizes are 32-bit.
constexpr unsigned long long kMaxFileSize = 0xFFFFFFFFull;

struct SyncOptions {
    bool remove = false;         // --delete
    bool dryRun = false;         // --dry-run
    bool renameInvalid = false;  // --rename-invalid
    bool verify = false;         // --verify
};

// One entry of a PC folder that takes part.
struct PcEntry {
    std::string name;        // as on the PC
    std::string path;        // PC path
    std::string playerName;  // what it is called on the player
    bool folder = false;
    struct stat st {};
};

// FAT's date and time of a moment in local time, as one comparable number
// (date in the high half).  Seconds count in steps of two; years before 1980
// and after 2107 are FAT's first and last.
uint32_t FatStampOf(time_t t)
{
    struct tm local;
    if (!localtime_r(&t, &local))
        return 0;
    const int year = std::min(std::max(local.tm_year + 1900, 1980), 2107);
    const uint32_t date = uint32_t(year - 1980) << 9 | uint32_t(local.tm_mon + 1) << 5 | uint32_t(local.tm_mday);
    const uint32_t time = uint32_t(local.tm_hour) << 11 | uint32_t(local.tm_min) << 5 | uint32_t(local.tm_sec / 2);
    return date << 16 | time;
}

// A copy is up to date when it has the file's size and is dated like it.
// FAT keeps local time: after a change to or from summer time a date is off
// by exactly one hour, which is no change of the file.
bool UpToDate(const PcEntry &pc, const Entry &copy)
{
    if (uint64_t(pc.st.st_size) != copy.record.dwSize)
        return false;
    const uint32_t copyStamp = uint32_t(copy.record.wWriteDate) << 16 | copy.record.wWriteTime;
    constexpr time_t kHour = 3600;
    const time_t t = pc.st.st_mtime;
    return FatStampOf(t) == copyStamp || FatStampOf(t - kHour) == copyStamp || FatStampOf(t + kHour) == copyStamp;
}

class Syncer {
public:
    Syncer(Device &device, const SyncOptions &options) : device_(device), options_(options) {}

    // Syncs the PC folder `pcDir` into the player's current directory;
    // `shown` is the path the messages give it ("" for the top, else
    // "Album/").  With onPlayer false the directory does not exist yet on
    // the player (a dry run that would have made it).  Returns kExitOk or
    // the exit status of a failure that ends the sync.
    int Folder(const std::string &pcDir, const std::string &shown, bool onPlayer);

    bool skipped() const { return skipped_; }

private:
    struct FolderScan {
        std::vector<PcEntry> entries;          // what takes part
        std::vector<std::string> untouchable;  // player names --delete leaves alone
    };
    bool Scan(const std::string &pcDir, const std::string &shown, FolderScan *scan);
    std::string PlayerName(const std::string &name, std::string *why) const;
    int RemoveTree(const Entry &dir, const std::string &shown);
    int EmptyDirectory(const std::string &inside);
    int DeleteFile(const Listing &listing, const std::string &playerName, const std::string &shown);
    int Enter(unsigned key, const std::string &shown);
    // Back to the parent directory; `report` says why when that fails.
    int Leave(const std::string &shown, bool report = true);
    bool Read(Listing *listing, const std::string &shown);

    void Did(const char *action, const std::string &path) const
    {
        std::printf("%-8s %s\n", action, ForOutput(path).c_str());
        std::fflush(stdout);
    }
    void Skip(const std::string &path, const std::string &why)
    {
        std::fprintf(stderr, "zvc450: sync: skipped %s: %s\n", ForMessage(path).c_str(), ForMessage(why).c_str());
        skipped_ = true;
    }

    Device &device_;
    SyncOptions options_;
    bool skipped_ = false;
};

std::string Syncer::PlayerName(const std::string &name, std::string *why) const
{
    if (device_.firmware() < kFwWideIndexes)
        return ShortNameFor(name, options_.renameInvalid, why);
    *why = WhyPlayerCannotStore(name);
    if (why->empty())
        return name;
    const std::string mended = StorableName(name);
    if (options_.renameInvalid)
        return mended;
    if (!mended.empty())
        *why += " (--rename-invalid would store it as '" + mended + "')";
    return std::string();
}

// The entries of a PC folder that take part, in natural order (the order
// new files reach the player, and so the order they play in).  False when
// the folder cannot be read: then nothing of it may be judged gone.
bool Syncer::Scan(const std::string &pcDir, const std::string &shown, FolderScan *scan)
{
    DIR *dir = ::opendir(pcDir.c_str());
    if (!dir) {
        Skip(shown.empty() ? pcDir : shown, std::strerror(errno));
        return false;
    }
    std::vector<PcEntry> entries;
    for (;;) {
        errno = 0;
        const struct dirent *d = ::readdir(dir);
        if (!d)
            break;
        PcEntry e;
        e.name = d->d_name;
        if (e.name.empty() || e.name[0] == '.')
            continue;  // ".", "..", and hidden files and folders
        e.path = JoinPath(pcDir, e.name);
        const std::string here = shown + e.name;
        std::string why;
        e.playerName = PlayerName(e.name, &why);
        if (e.playerName.empty()) {
            // What an earlier sync with --rename-invalid made of it stays.
            std::string ignored;
            const std::string mended = device_.firmware() < kFwWideIndexes ? ShortNameFor(e.name, true, &ignored)
                                                                            : StorableName(e.name);
            if (!mended.empty())
                scan->untouchable.push_back(mended);
            Skip(here, why);
            continue;
        }
        // Whatever goes wrong below, the player's copy of it is not "gone".
        scan->untouchable.push_back(e.playerName);
        if (::lstat(e.path.c_str(), &e.st) != 0) {
            Skip(here, std::strerror(errno));
            continue;
        }
        const bool link = S_ISLNK(e.st.st_mode);
        if (link && ::stat(e.path.c_str(), &e.st) != 0) {
            Skip(here, "a symbolic link to nothing");
            continue;
        }
        e.folder = S_ISDIR(e.st.st_mode);
        if (e.folder && link) {
            Skip(here, "a symbolic link to a folder (not followed)");
            continue;
        }
        if (!e.folder && !S_ISREG(e.st.st_mode)) {
            Skip(here, "not a regular file");
            continue;
        }
        entries.push_back(e);
    }
    const int readError = errno;
    ::closedir(dir);
    if (readError != 0) {
        Skip(shown.empty() ? pcDir : shown, std::strerror(readError));
        return false;
    }
    std::sort(entries.begin(), entries.end(), [](const PcEntry &a, const PcEntry &b) {
        playorder::Track x, y;
        x.name = a.name;
        y.name = b.name;
        return playorder::Compare(x, y, playorder::Key::Natural) < 0;
    });
    // Two names the player takes for one (it ignores case) cannot both go.
    for (const PcEntry &e : entries) {
        const auto same = std::find_if(scan->entries.begin(), scan->entries.end(), [&](const PcEntry &u) {
            return SameAsciiText(u.playerName, e.playerName);
        });
        if (same != scan->entries.end())
            Skip(shown + e.name, "the player would take it for " + shown + same->name);
        else
            scan->entries.push_back(e);
    }
    return true;
}

bool Syncer::Read(Listing *listing, const std::string &shown)
{
    if (!ReadListing(device_, listing, "sync " + (shown.empty() ? std::string(".") : shown)))
        return false;
    // A directory listed in part would look like files to copy or delete.
    if (listing->files().size() != listing->summary().dwFileCount) {
        Fail("sync: the player lists " + std::to_string(listing->files().size()) + " of the " +
             std::to_string(listing->summary().dwFileCount) + " files of " + (shown.empty() ? "." : shown));
        return false;
    }
    return true;
}

int Syncer::Enter(unsigned key, const std::string &shown)
{
    if (ZVC450_ChangeDirectory(device_.handle(), device_.memory(), key))
        return kExitOk;
    return ReportError("sync " + shown + ": entering the directory");
}

int Syncer::Leave(const std::string &shown, bool report)
{
    Listing here;
    QuietScope quiet(!report);
    if (!ReadListing(device_, &here, "sync " + shown))
        return kExitFailed;
    for (const Entry &d : here.dirs())
        if (d.name == "..")
            return Enter(d.key, shown + "..");
    return Fail("sync " + shown + ": the directory has no way back up");
}

int Syncer::DeleteFile(const Listing &listing, const std::string &playerName, const std::string &shown)
{
    std::string error;
    const Entry *e = Resolve(listing, "./" + playerName, Want::File, &error);
    if (!e)
        return Fail("sync " + shown + ": " + error);
    QuietScope quiet(true);
    if (!ZVC450_Delete(nullptr, device_.handle(), device_.memory(), e->number, e->name.c_str()))
        return ReportError("sync " + shown + ": deleting");
    return kExitOk;
}

// Empties a directory of the player and removes it.
int Syncer::RemoveTree(const Entry &dir, const std::string &shown)
{
    const std::string inside = shown + "/";
    if (const int exit = Enter(dir.key, inside))
        return exit;
    const int emptied = EmptyDirectory(inside);
    const int back = Leave(inside, emptied == kExitOk);
    if (emptied != kExitOk)
        return emptied;
    if (back != kExitOk)
        return back;
    if (!options_.dryRun && !ZVC450_RemoveDirectory(device_.handle(), device_.memory(), dir.key))
        return ReportError("sync " + shown + ": removing the directory");
    Did("rmdir", shown);
    return kExitOk;
}

// Deletes everything in the player's current directory.
int Syncer::EmptyDirectory(const std::string &inside)
{
    Listing listing;
    if (!Read(&listing, inside))
        return kExitFailed;
    // From the last file to the first: the numbers before stay valid.
    for (auto it = listing.files().rbegin(); it != listing.files().rend(); ++it) {
        if (InterruptPending())
            return kExitCancelled;
        if (!options_.dryRun) {
            QuietScope quiet(true);
            if (!ZVC450_Delete(nullptr, device_.handle(), device_.memory(), it->number, it->name.c_str()))
                return ReportError("sync " + inside + it->name + ": deleting");
        }
        Did("delete", inside + it->name);
    }
    for (const Entry &sub : listing.dirs()) {
        if (sub.IsDotEntry())
            continue;
        if (const int exit = RemoveTree(sub, inside + sub.name))
            return exit;
    }
    return kExitOk;
}

int Syncer::Folder(const std::string &pcDir, const std::string &shown, bool onPlayer)
{
    FolderScan scan;
    if (!Scan(pcDir, shown, &scan))
        return kExitOk;  // reported; the player's directory stays as it is
    const std::vector<PcEntry> &entries = scan.entries;
    Listing listing;
    if (onPlayer && !Read(&listing, shown))
        return kExitFailed;

    // What each PC entry is on the player, before anything changes.  Copies:
    // every change below reads the listing again.
    std::vector<std::optional<Entry>> match(entries.size());
    std::vector<bool> blocked(entries.size(), false);
    std::vector<std::string> kept;  // stored 8.3 names of the player's entries that stay
    for (const std::string &name : scan.untouchable) {
        std::string error;
        if (const Entry *e = onPlayer ? Resolve(listing, "./" + name, Want::Any, &error) : nullptr)
            kept.push_back(StoredShortName(e->record));
    }
    for (size_t i = 0; i < entries.size() && onPlayer; ++i) {
        std::string error;
        const Entry *e = Resolve(listing, "./" + entries[i].playerName, Want::Any, &error);
        if (!e)
            continue;
        if (e->directory != entries[i].folder) {
            Skip(shown + entries[i].name, std::string("the player has a ") + (e->directory ? "directory" : "file") +
                                              " '" + shown + e->name + "' in its place");
            blocked[i] = true;
            continue;
        }
        match[i] = *e;
    }
    const auto isKept = [&](const Entry &e) {
        return std::find(kept.begin(), kept.end(), StoredShortName(e.record)) != kept.end();
    };

    // Deletions first: they make room.  Files from the last to the first, so
    // the numbers of those still to go stay valid.
    if (options_.remove && onPlayer) {
        bool deleted = false;
        for (auto it = listing.files().rbegin(); it != listing.files().rend(); ++it) {
            if (isKept(*it))
                continue;
            if (InterruptPending())
                return kExitCancelled;
            if (!options_.dryRun) {
                QuietScope quiet(true);
                if (!ZVC450_Delete(nullptr, device_.handle(), device_.memory(), it->number, it->name.c_str()))
                    return ReportError("sync " + shown + it->name + ": deleting");
            }
            Did("delete", shown + it->name);
            deleted = true;
        }
        for (const Entry &d : listing.dirs()) {
            if (d.IsDotEntry() || isKept(d))
                continue;
            if (const int exit = RemoveTree(d, shown + d.name))
                return exit;
            deleted = true;
        }
        if (deleted && !options_.dryRun && !Read(&listing, shown))
            return kExitFailed;
    }

    for (size_t i = 0; i < entries.size(); ++i) {
        const PcEntry &pc = entries[i];
        if (pc.folder || blocked[i] || (match[i] && UpToDate(pc, *match[i])))
            continue;
        if (InterruptPending())
            return kExitCancelled;
        if (uint64_t(pc.st.st_size) > kMaxFileSize) {
            Skip(shown + pc.name, "the player takes files of less than 4 GiB");
            continue;
        }
        std::string error;
        if (!CheckLocalSource(pc.path, &error)) {
            Skip(shown + pc.name, error);
            continue;
        }
        const std::string here = shown + pc.playerName;
        if (!options_.dryRun) {
            // The player refuses a name it has: the old copy goes first.
            if (match[i]) {
                if (const int exit = DeleteFile(listing, match[i]->name, here))
                    return exit;
                if (!Read(&listing, shown))
                    return kExitFailed;
            }
            CopyOptions copy;
            copy.verify = options_.verify;
            copy.keepTime = true;
            if (const int exit = CopyToPlayer(device_, &listing, pc.path, pc.playerName, copy, "sync " + shown + pc.name))
                return exit;
        }
        Did(match[i] ? "replace" : "put", here);
    }

    for (size_t i = 0; i < entries.size(); ++i) {
        const PcEntry &pc = entries[i];
        if (!pc.folder || blocked[i])
            continue;
        const std::string here = shown + pc.playerName;
        if (!device_.HasDirectories()) {
            Skip(shown + pc.name + "/", "the player's firmware has no directories");
            continue;
        }
        if (InterruptPending())
            return kExitCancelled;
        bool exists = match[i].has_value();
        unsigned key = exists ? match[i]->key : 0;
        if (!exists) {
            if (!options_.dryRun) {
                if (!ZVC450_MakeDirectory(device_.handle(), device_.memory(), pc.playerName.c_str()))
                    return ReportError("sync " + here + ": making the directory");
                if (!Read(&listing, shown))
                    return kExitFailed;
                std::string error;
                const Entry *made = Resolve(listing, "./" + pc.playerName, Want::Directory, &error);
                if (!made)
                    return Fail("sync " + here + ": the new directory is not listed");
                key = made->key;
                exists = true;
            }
            Did("mkdir", here);
        }
        if (exists) {
            if (const int exit = Enter(key, here + "/"))
                return exit;
        }
        const int exit = Folder(pc.path, here + "/", exists);
        // Back where the sync started, however the directory's sync ended.
        const int back = exists ? Leave(here + "/", exit == kExitOk) : kExitOk;
        if (exit != kExitOk)
            return exit;
        if (back != kExitOk)
            return back;
    }
    return kExitOk;
}

}  // namespace

int RunSync(Invocation &inv)
{
    const std::string folder = inv.args.operands[0];
    struct stat st;
    if (::stat(folder.c_str(), &st) != 0)
        return Fail("sync: " + folder + ": " + std::strerror(errno));
    if (!S_ISDIR(st.st_mode))
        return Fail("sync: " + folder + ": not a folder");
    SyncOptions options;
    options.remove = inv.args.Has("delete");
    options.dryRun = inv.args.Has("dry-run");
    options.renameInvalid = inv.args.Has("rename-invalid");
    options.verify = inv.args.Has("verify");

    Device device(inv.global);
    if (!device.Open())
        return kExitFailed;
    Syncer syncer(device, options);
    const int exit = syncer.Folder(folder, "", true);
    if (exit == kExitCancelled || (exit == kExitOk && InterruptPending())) {
        std::fprintf(stderr, "zvc450: sync: cancelled; what was done so far stays on the player\n");
        return kExitCancelled;
    }
    if (exit != kExitOk)
        return exit;
    return syncer.skipped() ? kExitFailed : kExitOk;
}

}  // namespace cli
