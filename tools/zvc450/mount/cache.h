// cache.h - the mount's files on the PC.
//
// The player sends a file only whole and in order, and takes one only with
// its size announced first.  So a file read through the mount is brought into
// a cache file (Content) and served from there, and a file written through
// the mount collects in a draft file (Draft) until it is closed.  Both live
// in one folder under $XDG_CACHE_HOME that is removed at unmount.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace mountfs {

class CacheFolder {
public:
    CacheFolder() = default;
    ~CacheFolder();  // removes the folder and everything in it
    CacheFolder(const CacheFolder &) = delete;
    CacheFolder &operator=(const CacheFolder &) = delete;

    // Makes $XDG_CACHE_HOME/zvc450/mount-PID-XXXXXX (mode 0700), after
    // removing the folders that mounts which are no longer running left.
    bool Create(std::string *error);
    // After the mount went to the background: the folder takes the new
    // process's number, so that no later mount takes it for abandoned.
    void Adopt();
    const std::string &path() const { return path_; }
    // A new, unused path inside the folder (nothing is created).
    std::string NewPath(const char *prefix);

private:
    std::string path_;
    std::atomic<unsigned> next_{0};
};

// Removes a folder and what is in it; quiet about what it cannot remove.
void RemoveTree(const std::string &path);

// The bytes of one file of the player as they arrive.  The worker names
// Destination() as the library's local file and calls Finish() when the
// library returns; readers wait for the bytes they need meanwhile.
class Content {
public:
    // `folder`: a folder of its own that nobody else uses (created here).
    // With `streamable`, readers may read the first bytes while later ones
    // still arrive (a plain copy); otherwise only once Finish() was called
    // (a converted recording, whose header is written last).
    Content(std::string folder, bool streamable);
    ~Content();  // closes its files and removes the folder
    Content(const Content &) = delete;
    Content &operator=(const Content &) = delete;

    std::string Destination() const { return folder_ + "/data"; }
    // True for the first caller only: the one that asks the worker to fetch.
    bool Claim() { return !claimed_.exchange(true); }
    void Finish(int error);

    // Waits until the bytes [0, end) can be read, or the file is complete.
    // 0, or the errno of a failed transfer that ended before `end`.
    int WaitFor(uint64_t end);
    // After WaitFor: a descriptor to read from and the bytes readable now.
    int Descriptor(uint64_t *available);
    // The size once complete (0 before).
    bool Complete(uint64_t *size);
    uint64_t bytes() const { return bytes_; }

private:
    uint64_t AvailableLocked();

    std::mutex mutex_;
    std::condition_variable changed_;
    const std::string folder_;
    const bool streamable_;
    bool done_ = false;
    int error_ = 0;
    int fd_ = -1;                 // what readers read; open for as long as we live
    std::vector<int> retired_;    // earlier descriptors, kept open for readers still splicing
    std::atomic<uint64_t> bytes_{0};
    std::atomic<bool> claimed_{false};
};

}  // namespace mountfs
