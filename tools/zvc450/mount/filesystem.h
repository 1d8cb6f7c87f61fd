// filesystem.h - the player's memories as a tree of folders and files.
//
// The file-system threads answer from listings cached per folder and hand
// everything that needs the player to the worker thread.  The player names
// files by their position in the listing of its current directory, and that
// position changes with every delete, rename or new file, so the worker
// reads a fresh listing of the folder before each command that names a file
// and finds the file again by its 8.3 name, which is unique in a folder.
//
// Operations return 0 or an errno value.
#pragma once

#include "../cli.h"
#include "../listing.h"
#include "cache.h"
#include "worker.h"

#include <sys/stat.h>
#include <sys/statvfs.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace cli {
class Device;
}

namespace mountfs {

using Clock = std::chrono::steady_clock;

struct MountOptions {
    cli::GlobalOptions global;  // the memory (when one was chosen), time-outs
    bool recordingsAsWav = false;
};

// A folder of a memory: the names of the directories from the memory's root
// down, as the mount shows them.
struct FolderPath {
    int memory = 0;
    std::vector<std::string> names;

    std::string Key() const;
    FolderPath Child(const std::string &name) const;
    bool Within(const FolderPath &ancestor) const;  // the same folder or one below it
};

// One entry of a folder as the mount shows it.
struct Item {
    std::string name;      // shown: the long name, else the 8.3 name; a recording's WAV view
    cli::Entry entry;      // as listed
    int kind = 0;          // ZVC450_UPLOAD_*: how reading it converts
    bool hidden = false;   // a file the mount is sending under a temporary name

    // The 11 bytes of the 8.3 name: unique within a directory.
    std::string Stored() const;
};

struct Folder {
    std::vector<Item> items;
    std::map<std::string, size_t> byName;  // Folded(name) -> index
    ZVC450_SUMMARY summary = {};
    int maxNumber = 0xFFFF;
    Clock::time_point readAt;
    // The count of changes this mount had made to the memory when the
    // listing was read: while it is still the count, the listing is the
    // player's folder as it is, file numbers and all.
    uint64_t mark = 0;

    const Item *Find(const std::string &name) const;  // visible items, FAT's case rule
    const Item *FindStored(const std::string &stored) const;
};

// A file being written through the mount: its bytes collect in a draft file
// until it is closed or synced, and only then go to the player.
struct Draft {
    Draft(std::string path, int fd, FolderPath folder, std::string name);
    ~Draft();  // closes and removes the draft file
    Draft(const Draft &) = delete;
    Draft &operator=(const Draft &) = delete;

    const std::string path;
    const int fd;
    std::mutex mutex;      // guards the fields below
    FolderPath folder;     // where it goes, and under what name
    std::string name;
    uint64_t size = 0;
    bool dirty = false;    // holds changes the player does not have
    bool onPlayer = false; // a file of this name is on the player
    bool orphan = false;   // deleted or replaced while open: never sent
    int failed = 0;        // errno of the last send that failed
    bool hasTime = false;  // a write time asked for (touch, cp -p, rsync)
    time_t time = 0;
    int opens = 0;
};

// An open file.
struct Handle {
    std::shared_ptr<Content> content;  // reading a file of the player
    std::shared_ptr<Draft> draft;      // writing, or reading a file being written
    FolderPath folder;
    Item item;                         // the file as it was opened (content only)
    bool writable = false;
};

class Filesystem {
public:
    Filesystem(const MountOptions &options, CacheFolder &cache, unsigned firmware);
    ~Filesystem();
    Filesystem(const Filesystem &) = delete;
    Filesystem &operator=(const Filesystem &) = delete;

    // Leaves the player at the root of its memories and closes it, after
    // the jobs already asked for.
    void Shutdown();

    int GetAttr(const char *path, struct stat *st);
    int GetAttr(Handle *h, struct stat *st);
    int ReadDir(const char *path, std::vector<std::pair<std::string, struct stat>> *entries);
    int Open(const char *path, int flags, Handle **out);
    int Create(const char *path, int flags, Handle **out);
    // Where to read: *fd at `offset`, *n bytes (0 at the end of the file).
    int Read(Handle *h, uint64_t offset, size_t size, int *fd, size_t *n);
    // `copy` writes `size` bytes into the descriptor at `offset` and returns
    // the count or -errno.
    int Write(Handle *h, uint64_t offset, size_t size, const std::function<long(int fd)> &copy, size_t *written);
    int Flush(Handle *h);
    void Release(Handle *h);
    int Truncate(const char *path, uint64_t size, Handle *h);
    int SetTime(const char *path, const struct timespec times[2], Handle *h);
    int Unlink(const char *path);
    int MakeDirectory(const char *path);
    int RemoveDirectory(const char *path);
    int Rename(const char *from, const char *to, unsigned flags);
    int StatFs(const char *path, struct statvfs *st);

    // Called when a recording's WAV has been made, with the path it is seen
    // under, so that the kernel forgets the estimated size.
    void SetAttributeInvalidator(std::function<void(const std::string &)> invalidate);

private:
    // What a path names.
    struct Resolved {
        bool top = false;          // the mount root above internal/ and card/
        bool isFolder = false;     // a memory root or a directory: `folder`
        FolderPath folder;
        FolderPath parent;         // where the last component lives
        std::string name;          // the last component: as shown if it exists, else as given
        std::shared_ptr<const Folder> listing;  // of `parent`
        bool exists = false;
        Item item;                 // when it is an entry of the listing
        bool listed = false;
        std::shared_ptr<Draft> draft;  // open for writing through the mount
    };

    // ---- file-system threads (filesystem.cpp) ----
    int Split(const char *path, bool *top, int *memory, std::vector<std::string> *parts);
    int Resolve(const char *path, Resolved *r);
    // Resolve for a path that must name something of a kind: ENOENT when
    // nothing is there, ENOTDIR or EISDIR when it is not of that kind.
    enum class Kind { Any, Folder, File };
    int ResolveExisting(const char *path, Kind kind, Resolved *r);
    int GetFolder(const FolderPath &p, std::shared_ptr<const Folder> *out);
    void FillStat(const Item &item, const FolderPath &folder, struct stat *st) const;
    void FillFolderStat(struct stat *st) const;
    void FillDraftStat(Draft &d, struct stat *st) const;
    std::string ContentKey(const FolderPath &p, const Item &item) const;
    std::shared_ptr<Content> ContentFor(const FolderPath &p, const Item &item);
    void StartFetch(const std::shared_ptr<Content> &content, const FolderPath &p, const Item &item);
    int FillDraft(Draft &d, const FolderPath &p, const Item &item, uint64_t bytes);
    std::shared_ptr<Draft> NewDraft(const FolderPath &p, const std::string &name);
    std::shared_ptr<Draft> FindDraft(const FolderPath &p, const std::string &name);
    void Register(const std::shared_ptr<Draft> &d);
    void Unregister(Draft &d);
    int Send(Draft &d);
    void Forget(const FolderPath &p, const std::string &stored);
    void ForgetFolders(const FolderPath &below);
    uint64_t FreeBytes(int memory);
    bool Fresh(const Folder &f) const;

    // ---- the worker thread (fs_worker.cpp) ----
    int W_Connect();
    void W_Disconnect();
    int W_Fail(const char *what);
    int W_ClimbToRoot(int memory);
    int W_GoTo(const FolderPath &p);
    int W_ReadHere(const FolderPath &p, std::shared_ptr<const Folder> *out);
    int W_List(const FolderPath &p, std::shared_ptr<const Folder> *out);
    // The folder's listing (W_Current) and the entry stored as `stored` in it: ENOENT when there is none.
    int W_FindStored(const FolderPath &p, const std::string &stored, std::shared_ptr<const Folder> *folder,
                     const Item **item);
    // The folder's listing, read again when this mount changed the memory
    // since, when it is older than a fresh one, or when it is the card's;
    // the player's current directory is p afterwards.  What addresses a
    // file by its number takes the number from here.
    int W_Current(const FolderPath &p, std::shared_ptr<const Folder> *out);
    // Called before every command that may change a memory's folders.
    void W_Changing(int memory);
    int W_Summary(int memory);
    void W_CheckCard();
    int W_Delete(const FolderPath &p, const std::string &stored);
    int W_Rename(const FolderPath &p, const std::string &stored, const std::string &newName);
    int W_RenameOver(const FolderPath &p, const std::string &from, const std::string &over,
                     const std::string &newName);
    int W_SetTime(const FolderPath &p, const std::string &stored, time_t when);
    int W_MakeDirectory(const FolderPath &p, const std::string &name);
    int W_RemoveDirectory(const FolderPath &p, const std::string &stored, const FolderPath &dir);
    int W_Send(Draft &d);
    void W_Fetch(const std::shared_ptr<Content> &content, const FolderPath &p, const Item &item,
                 const std::string &key);
    void W_RemoveTemporary(const FolderPath &p, const std::string &temp);
    std::string W_TemporaryName(const Folder &f);
    std::shared_ptr<const Folder> BuildFolder(const FolderPath &p, const cli::Listing &listing);

    const MountOptions options_;
    const bool both_;  // internal/ and card/ under the mount root
    CacheFolder &cache_;
    const uid_t uid_;
    const gid_t gid_;
    const time_t mountTime_;

    // Shared between the threads, under mutex_.
    std::mutex mutex_;
    std::map<std::string, std::shared_ptr<const Folder>> folders_;   // by FolderPath::Key
    std::map<std::string, std::shared_ptr<Draft>> drafts_;           // by folder key + folded name
    std::map<std::string, std::shared_ptr<Content>> contents_;       // by ContentKey
    std::map<std::string, uint64_t> wavSizes_;                       // by ContentKey
    std::set<std::string> inFlight_;                                 // folder key + folded temporary name
    std::function<void(const std::string &)> invalidate_;
    ZVC450_SUMMARY summaries_[2] = {};
    Clock::time_point summaryAt_[2];
    std::atomic<bool> connected_{false};
    std::atomic<bool> cardPresent_{false};
    std::atomic<bool> cardKnown_{false};
    std::atomic<unsigned> firmware_;
    Clock::time_point cardCheckedAt_;

    // The worker's own.
    struct Position {
        bool known = false;
        std::vector<std::pair<std::string, unsigned>> path;  // name, directory key
    };
    std::unique_ptr<cli::Device> device_;
    bool everConnected_ = false;
    bool lossReported_ = false;
    Position position_[2];
    std::vector<std::pair<FolderPath, std::string>> cleanups_;  // temporary files to remove
    unsigned tempCounter_ = 0;
    uint64_t changes_[2] = {0, 0};  // commands sent that may have changed each memory (see Folder::mark)
    std::string stage_;             // folder of the links that name a draft as the player is to see it

    // Last member: its thread must stop before the rest goes.
    Worker worker_;
};

}  // namespace mountfs
